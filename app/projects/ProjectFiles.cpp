#include "ProjectFiles.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

const char* PatternOf(int kind) {
  switch (kind) {
    case PFK_INTERIOR_ORIENTATION:
      return "%s.int";
    case PFK_EXTERIOR_ORIENTATION:
      return "%s.est";
    case PFK_THUMBNAIL:
      return "thumb_%s.jpg";
    case PFK_OVERVIEW:
      return "%s.jpg";
    case PFK_NOTE:
      return "%s_note.txt";
    case PFK_SETTINGS:
      return "%s.ini";
    case PFK_FILTER:
      return "%s_filter.ini";
    case PFK_LINKS:
      return "%s_links.xml";
    default:
      return nullptr;
  }
}

// The folder part of a path with its closing separator, as written in the path.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Format(const char* pattern, const std::string& first, const std::string& second = {}) {
  const int size = std::snprintf(nullptr, 0, pattern, first.c_str(), second.c_str());
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, first.c_str(), second.c_str());
  text.resize(static_cast<size_t>(size));
  return text;
}

}  // namespace

std::string BaseName(const std::string& path) {
  const std::string file = path.substr(FolderOf(path).size());
  const size_t dot = file.find_last_of('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

std::string MakeFileName(int kind, const std::string& path) {
  const char* pattern = PatternOf(kind);
  if (path.empty() || !pattern) return std::string();
  return FolderOf(path) + Format(pattern, BaseName(path));
}

std::string MakeDataFolderName(const std::string& strmPath) {
  if (strmPath.empty()) return std::string();
  return Format("%s%s_data", FolderOf(strmPath), BaseName(strmPath));
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return std::string();
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : canonical).string();
}
