#include "ImportImagesCommand.h"

#include <algorithm>
#include <filesystem>

#include "ImageImport.h"
#include "OrvalisDoc.h"
#include "ProjectFiles.h"
#include "common/progress/TerminalProgress.h"

namespace fs = std::filesystem;

namespace {

// The terminal bar only moves forward: the import's closing return to 0 is not shown.
class ForwardProgress : public CProgressSink {
 public:
  explicit ForwardProgress(TerminalProgress& bar) : m_Bar(bar) {}
  void SetRange(int lower, int upper) override { m_Bar.SetRange(lower, upper); }
  void SetPos(int pos) override {
    if (pos > m_Bar.GetPos()) m_Bar.SetPos(pos);
  }

 private:
  TerminalProgress& m_Bar;
};

}  // namespace

int RunImportImages(const std::string& project, const std::vector<std::string>& images,
                    std::FILE* out, std::FILE* err) {
  const std::string strmPath = AbsolutePath(project);
  std::error_code error;
  if (!IsStreamPath(strmPath) || !fs::is_regular_file(strmPath, error)) {
    std::fprintf(err, "orvalis: %s is not a stream (.strm) file; give the project's stream\n",
                 strmPath.c_str());
    return 1;
  }
  if (images.empty()) {
    std::fprintf(err, "orvalis: no photographs to import into %s\n", strmPath.c_str());
    return 1;
  }
  std::vector<std::string> sources(images.size());
  std::transform(images.begin(), images.end(), sources.begin(), AbsolutePath);
  ProblemList problems;
  int stop = 0;
  {
    TerminalProgress bar("Import images into database...", err);
    ForwardProgress progress(bar);
    ImportImages(sources, &progress, nullptr, problems, &stop, strmPath);
    bar.SetPos(static_cast<int>(sources.size()));
    bar.Finish();
  }
  for (const auto& [source, problem] : problems)
    std::fprintf(out, "%s: %s\n", source.c_str(), problem.c_str());
  const bool failed = std::any_of(problems.begin(), problems.end(), IsImportFailure);
  std::fprintf(err, "%s: %s\n", MakeDataFolderName(strmPath).c_str(),
               failed ? "some photographs were not imported" : "photographs imported");
  return failed ? 1 : 0;
}
