// Arbitrary bytes as a project's links file: reading it must not crash; what was read must
// save and read back to the same file (a second save gives the same bytes); a file that does
// not read is kept aside, not overwritten, when the links are saved. Every link read is then
// resolved and deleted in a scratch project: a resolved path never leaves the project, and
// deleting never touches a file outside the project's FileLink folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/annotations/LinkFiles.h"
#include "app/annotations/LinksFile.h"

namespace fs = std::filesystem;

namespace {

// The links of one input tried against the scratch project; the rest are only read.
constexpr size_t kLinksDeleted = 16;

const fs::path& ScratchFolder() {
  static const fs::path path =
      fs::temp_directory_path() / ("orvalis links_fuzz " + std::to_string(::getpid()));
  return path;
}

std::string ReadAll(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A project with a copied file in its FileLink folder, and files around it that no link may
// delete: beside the project, in it, and behind a symbolic link out of FileLink.
void MakeProject(const fs::path& project, const fs::path& outside) {
  fs::remove_all(project);
  fs::remove_all(outside);
  fs::create_directories(project / "FileLink");
  fs::create_directories(outside);
  Write(project / "FileLink" / "plan.pdf", "copy");
  Write(project / "victim.txt", "keep");
  Write(outside / "victim.txt", "keep");
  fs::create_directory_symlink(outside, project / "FileLink" / "out");
  fs::create_symlink(outside / "victim.txt", project / "FileLink" / "victim.txt");
}

void CheckDeletionStaysInside(const LinkList& links) {
  const fs::path project = ScratchFolder() / "project", outside = ScratchFolder() / "outside";
  MakeProject(project, outside);
  for (size_t i = 0; i < links.size() && i < kLinksDeleted; ++i) {
    for (const std::string& path : LinkPaths(links[i]->m_Type, links[i]->m_Path)) {
      const std::string resolved = ResolveLinkPath(path, project.string());
      if (!IsProjectRelativePath(path) || resolved.empty()) continue;
      const fs::path inside = fs::path(resolved).lexically_relative(project);
      Check(!inside.empty() && *inside.begin() != "..");
    }
    for (const std::string& deleted : DeleteLinkFiles(*links[i], links, project.string()).deleted)
      Check(fs::path(deleted).parent_path() == project / "FileLink");
  }
  Check(ReadAll(project / "victim.txt") == "keep");
  Check(ReadAll(outside / "victim.txt") == "keep");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fs::create_directories(ScratchFolder());
  const fs::path file = ScratchFolder() / "site_links.xml";
  const std::string input(reinterpret_cast<const char*>(data), size);
  Write(file, input);

  LinkList links;
  std::string error, keptAs;
  const int read = LoadLinks(file.string(), links, error);
  Check(read == 1 || (links.empty() && !error.empty()));
  Check(SaveLinks(file.string(), links, keptAs, error) == 1);
  if (read) {
    Check(keptAs.empty());
  } else {
    Check(ReadAll(keptAs) == input);
    fs::remove(keptAs);
  }
  const std::string saved = ReadAll(file);
  LinkList reread;
  Check(LoadLinks(file.string(), reread, error) == 1 && reread.size() == links.size());
  Check(SaveLinks(file.string(), reread, keptAs, error) == 1 && keptAs.empty());
  Check(ReadAll(file) == saved);
  CheckDeletionStaysInside(links);
  return 0;
}
