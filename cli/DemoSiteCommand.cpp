// `nimbex demo-site`: writes the synthetic survey site as a LAS file.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "common/progress/TerminalProgress.h"
#include "nimbex/demo/DemoSite.h"

namespace {

int Refuse(const std::string& message) {
  std::fprintf(stderr, "nimbex demo-site: %s\n", message.c_str());
  return 1;
}

}  // namespace

int RunDemoSite(const std::string& outputPath, long long points, unsigned seed) {
  const std::string problem = DemoSiteRequestProblem(outputPath, points);
  if (!problem.empty()) return Refuse(problem);

  TerminalProgress progress("demo-site");
  // The count is at most kMaxDemoSitePoints, which fits the progress range.
  progress.SetRange(0, int(points));
  progress.SetPos(0);
  DemoSiteSettings settings;
  settings.points = points;
  settings.seed = seed;
  std::string error;
  const bool written = WriteDemoSite(
      outputPath, settings, [&progress](long long done) { progress.SetPos(int(done)); }, error);
  if (written) progress.SetPos(int(points));
  progress.Finish();
  if (!written) return Refuse(error);
  std::printf("wrote %lld points to %s\n", points, outputPath.c_str());
  return 0;
}
