#include "DataFolder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

const char* const kDataFolderImageExtensions[5] = {"jpg", "tif", "jpeg", "bmp", "png"};

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The names of the regular files of a folder, sorted; empty when it cannot be read.
std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string LowerExtension(const std::string& path) {
  return Lower(fs::path(path).extension().string());
}

bool HasExtension(const std::string& fileName, const std::string& extension) {
  return !extension.empty() && LowerExtension(fileName) == "." + Lower(extension);
}

bool IsThumbnailName(const std::string& fileName) {
  return fileName.find("thumb_") != std::string::npos;
}

std::string GetImageExtension(const std::string& dataFolder) {
  const std::vector<std::string> names = FileNames(dataFolder);
  std::string found;
  for (const char* extension : kDataFolderImageExtensions)
    if (std::any_of(names.begin(), names.end(),
                    [extension](const std::string& name) { return HasExtension(name, extension); }))
      found = extension;
  return found;
}

std::vector<std::string> ListDataFolderFiles(const std::string& dataFolder,
                                             const std::string& extension, bool withThumbnails) {
  std::vector<std::string> paths;
  for (const std::string& name : FileNames(dataFolder))
    if (HasExtension(name, extension) && (withThumbnails || !IsThumbnailName(name)))
      paths.push_back((fs::path(dataFolder) / name).string());
  return paths;
}
