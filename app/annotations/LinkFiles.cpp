#include "LinkFiles.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

#include "nimbex/format/StrmFiles.h"

namespace fs = std::filesystem;

const char* const kFileLinkFolder = "FileLink";

namespace {

const char* const kModelExtraExtensions[] = {"vtw", "tex", "jpg"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsExistingFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::is_regular_file(path, error);
}

bool IsPlainFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(fs::symlink_status(path, error));
}

bool IsPlainFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(path, error));
}

// The part of a project-relative path after its prefix, with '/' between its components;
// empty for any other path, and when it is absolute or climbs with "..".
fs::path InsideProject(const std::string& path) {
  if (!IsProjectRelativePath(path)) return {};
  std::string rest = path.substr(2);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  const fs::path relative(rest);
  if (relative.empty() || relative.has_root_path()) return {};
  for (const fs::path& component : relative)
    if (component == "..") return {};
  return relative.lexically_normal();
}

void AddIfPlainFile(const fs::path& file, std::vector<fs::path>& files) {
  if (IsPlainFile(file) || IsExistingFile(file.string())) files.push_back(file);
}

// The companions of a link's file that exist beside it (see the header).
std::vector<fs::path> Companions(int type, const fs::path& file) {
  std::vector<fs::path> found;
  auto sibling = [&file](const std::string& extension) {
    return fs::path(file).replace_extension(extension);
  };
  if (type == LINK_MODEL) {
    if (Lower(file.extension().string()) == ".strm")
      for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind)
        AddIfPlainFile(sibling(GetStrmExtension(static_cast<StrmFileKind>(kind))), found);
    for (const char* extension : kModelExtraExtensions) AddIfPlainFile(sibling(extension), found);
  } else if (type == LINK_ORTHOPHOTO) {
    const std::string extension = Lower(file.extension().string());
    AddIfPlainFile(sibling(extension == ".jpg" || extension == ".jpeg" ? "jgw" : "tfw"), found);
    AddIfPlainFile(fs::path(file.string() + ".ovr"), found);
    AddIfPlainFile(sibling("ovr"), found);
    AddIfPlainFile(fs::path(file.string() + ".aux.xml"), found);
  } else if (type == LINK_VANTEL) {
    const std::string prefix = file.stem().string() + ".";
    std::error_code error;
    for (fs::directory_iterator entry(file.parent_path(), error), end; !error && entry != end;
         entry.increment(error))
      if (entry->path().filename().string().rfind(prefix, 0) == 0) AddIfPlainFile(*entry, found);
  }
  found.erase(std::remove(found.begin(), found.end(), file), found.end());
  return found;
}

std::string QuoteName(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

// Copies a file into the folder under its own name: into a fresh file there, renamed over
// the name at the end, so that a symbolic link of that name is replaced, not followed.
bool CopyInto(const fs::path& source, const fs::path& folder, std::string& error) {
  const fs::path target = folder / source.filename();
  std::error_code failure;
  if (fs::exists(target, failure) && fs::equivalent(source, target, failure)) return true;
  static std::atomic<unsigned> counter{0};
  const fs::path temporary =
      folder / ("." + source.filename().string() + ".embedding." + std::to_string(::getpid()) +
                "." + std::to_string(counter++));
  failure.clear();
  if (fs::copy_file(source, temporary, failure)) fs::rename(temporary, target, failure);
  if (!failure) return true;
  error = "The file " + QuoteName(source) + " cannot be copied into " + QuoteName(folder) + ": " +
          failure.message() + ". The link is not added.";
  fs::remove(temporary, failure);
  return false;
}

// The file of the FileLink folder that a stored path names, when it may be deleted; empty
// with `why` otherwise.
fs::path DeletableFile(const std::string& path, const fs::path& projectFolder, std::string& why) {
  const fs::path inside = InsideProject(path);
  if (inside.empty() || *inside.begin() != kFileLinkFolder ||
      std::distance(inside.begin(), inside.end()) < 2) {
    why = "it is not a path inside the project's FileLink folder";
    return {};
  }
  const fs::path folder = projectFolder / kFileLinkFolder;
  const fs::path file = projectFolder / inside;
  std::error_code folderError, parentError, projectError;
  const fs::path realFolder = fs::canonical(folder, folderError);
  const fs::path realParent = fs::canonical(file.parent_path(), parentError);
  const fs::path realProject = fs::canonical(projectFolder, projectError);
  const bool resolved = !folderError && !parentError && !projectError;
  const auto mismatch =
      std::mismatch(realFolder.begin(), realFolder.end(), realParent.begin(), realParent.end());
  if (!resolved || !IsPlainFolder(folder) || realFolder != realProject / kFileLinkFolder ||
      mismatch.first != realFolder.end()) {
    why =
        "its folder is not the project's FileLink folder (missing, or reached through a "
        "symbolic link that leaves it)";
    return {};
  }
  if (!IsPlainFile(file)) {
    why = "it is not a regular file (missing, a folder or a symbolic link)";
    return {};
  }
  return file;
}

// The files of the FileLink folder that a link names, with their companions when embedded.
std::vector<fs::path> FilesOfLink(const CLink& link, const fs::path& projectFolder,
                                  SLinkFilesRemoval* removal) {
  std::vector<fs::path> files;
  if (!IsProjectRelativePath(link.m_Path)) {
    if (link.m_Embedded && removal)
      removal->kept.push_back(link.m_Path +
                              ": it is not a path inside the project's FileLink folder");
    return files;
  }
  for (const std::string& path : LinkPaths(link.m_Type, link.m_Path)) {
    std::string why;
    const fs::path file = DeletableFile(path, projectFolder, why);
    if (file.empty()) {
      if (removal) removal->kept.push_back(path + ": " + why);
      continue;
    }
    files.push_back(file);
    if (link.m_Embedded)
      for (const fs::path& companion : Companions(link.m_Type, file))
        if (IsPlainFile(companion)) files.push_back(companion);
  }
  return files;
}

}  // namespace

fs::path FileLinkFolder(const std::string& projectFolder, std::string& error) {
  const fs::path folder = fs::path(projectFolder) / kFileLinkFolder;
  std::error_code failure;
  if (!fs::exists(fs::symlink_status(folder, failure))) fs::create_directory(folder, failure);
  if (IsPlainFolder(folder)) return folder;
  error = "The folder " + QuoteName(folder) +
          " is not a plain folder of the project (it is missing, a file or a symbolic link): "
          "the files are not embedded. Remove what stands there and add the link again.";
  return {};
}

std::vector<std::string> LinkPaths(int type, const std::string& path) {
  if (type != LINK_MODEL) return {path};
  std::vector<std::string> paths;
  size_t start = 0;
  for (size_t end; (end = path.find(';', start)) != std::string::npos; start = end + 1)
    paths.push_back(path.substr(start, end - start));
  paths.push_back(path.substr(start));
  return paths;
}

bool IsProjectRelativePath(const std::string& path) {
  return path.size() > 2 && path[0] == '.' && (path[1] == '\\' || path[1] == '/');
}

std::string EmbeddedLinkPath(const std::string& name) {
  return std::string(".\\") + kFileLinkFolder + "\\" + name;
}

std::string ResolveLinkPath(const std::string& path, const std::string& projectFolder) {
  if (!IsProjectRelativePath(path)) return path;
  const fs::path inside = InsideProject(path);
  return inside.empty() ? std::string() : (fs::path(projectFolder) / inside).string();
}

bool LinkRefersToFiles(int type) {
  return type != LINK_WEB;
}

std::string CheckLinkEntry(int type, const std::string& path) {
  if (type == LINK_AUDIO) return {};
  if (path.empty()) return "Insert the path of link!";
  if (type == LINK_WEB) return path.find('.') == std::string::npos ? "Invalid web address!" : "";
  if (type != LINK_MODEL)
    return IsExistingFile(path) ? std::string() : "Unable to find selected file";
  const std::vector<std::string> models = LinkPaths(type, path);
  if (models.size() == 1)
    return IsExistingFile(path) ? std::string() : "Unable to find selected file";
  const std::string extension = Lower(fs::path(models.front()).extension().string());
  for (const std::string& model : models)
    if (Lower(fs::path(model).extension().string()) != extension)
      return "Cannot mix different model formats inside the same link!";
  for (const std::string& model : models)
    if (!IsExistingFile(model)) return "One or more 3D model file not found";
  return {};
}

std::string EmbedLinkFiles(int type, const std::string& path, const std::string& projectFolder,
                           std::string& error) {
  const std::vector<std::string> sources = LinkPaths(type, path);
  for (const std::string& source : sources) {
    if (!IsExistingFile(source)) {
      error = "Unable to find selected file!";
      return {};
    }
    if (fs::path(source).filename().string().find('\\') != std::string::npos) {
      error = "The file " + QuoteName(source) +
              " cannot be embedded: a link cannot store a name holding a backslash. Rename the "
              "file and add the link again.";
      return {};
    }
  }
  const fs::path folder = FileLinkFolder(projectFolder, error);
  if (folder.empty()) return {};
  std::string stored;
  for (const std::string& source : sources) {
    if (!CopyInto(source, folder, error)) return {};
    for (const fs::path& companion : Companions(type, source))
      if (!CopyInto(companion, folder, error)) return {};
    stored += (stored.empty() ? "" : ";") + EmbeddedLinkPath(fs::path(source).filename().string());
  }
  return stored;
}

SLinkFilesRemoval DeleteLinkFiles(const CLink& link, const LinkList& remaining,
                                  const std::string& projectFolder) {
  SLinkFilesRemoval removal;
  std::set<fs::path> stillNamed;
  for (const auto& other : remaining)
    if (other.get() != &link)
      for (const fs::path& file : FilesOfLink(*other, projectFolder, nullptr))
        stillNamed.insert(file);
  for (const fs::path& file : FilesOfLink(link, projectFolder, &removal)) {
    if (stillNamed.count(file)) {
      removal.kept.push_back(file.string() + ": another link names it");
      continue;
    }
    std::error_code error;
    if (fs::remove(file, error))
      removal.deleted.push_back(file.string());
    else if (error)
      removal.kept.push_back(file.string() + ": " + error.message());
  }
  return removal;
}
