#include "nimbex/platform/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

// A fresh file next to `target`, readable like the file it replaces. -1 on failure.
int CreateTemporaryBeside(const fs::path& target, fs::path& temporary) {
  static std::atomic<unsigned> counter{0};
  struct stat original;
  bool replacing = ::stat(target.c_str(), &original) == 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target.parent_path() /
                ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                 std::to_string(counter++) + ".tmp");
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0 && replacing) ::fchmod(fd, original.st_mode & 07777);
    return fd;
  }
  return -1;
}

fs::path ResolveLink(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(path, error)) return path;
  fs::path target = fs::weakly_canonical(path, error);
  return error ? path : target;
}

}  // namespace

bool ReadRegularFile(const fs::path& path, std::string& data, size_t maxSize) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  char buffer[8192];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    data.append(buffer, static_cast<size_t>(in.gcount()));
    if (data.size() > maxSize) return false;
  }
  return in.eof() && !in.bad();
}

bool ReplaceFile(const fs::path& path, const std::string& text, bool durable) {
  const fs::path target = ResolveLink(path);
  fs::path temporary;
  int fd = CreateTemporaryBeside(target, temporary);
  if (fd < 0) return false;
  bool written = WriteAll(fd, text) && (!durable || ::fsync(fd) == 0);
  written = ::close(fd) == 0 && written;
  if (written && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t start = line.find_first_not_of(" \t");
  while (start != std::string::npos) {
    const size_t stop = line.find_first_of(" \t", start);
    words.push_back(line.substr(start, stop - start));
    start = line.find_first_not_of(" \t", stop);
  }
  return words;
}

bool ParseFiniteDouble(const std::string& word, double& value) {
  const char* end = word.data() + word.size();
  auto [next, error] = std::from_chars(word.data(), end, value);
  return error == std::errc() && next == end && std::isfinite(value);
}
