#include "nimbex/creation/ScanText.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

namespace scantext {

FilePtr OpenRegularFile(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  struct stat info;
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  // Whole blocks are read straight into the line buffer: stdio's would only add a copy.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

LineSource::LineSource(FilePtr file, size_t maxLine)
    : m_File(std::move(file)), m_MaxLine(maxLine), m_Buffer(kBlockSize) {}

bool LineSource::Next(Line& line) {
  for (;;) {
    char* first = m_Buffer.data() + m_Begin;
    char* newline = static_cast<char*>(std::memchr(first, '\n', m_End - m_Begin));
    if (newline) {
      m_Begin = newline + 1 - m_Buffer.data();
      return Deliver(first, newline, line);
    }
    if (m_AtEof) {
      if (m_Begin == m_End) return false;
      m_Begin = m_End;
      return Deliver(first, m_Buffer.data() + m_End, line);
    }
    if (m_Begin == 0 && m_End == m_Buffer.size()) return DiscardLongLine(line);
    Fill();
  }
}

bool LineSource::Deliver(const char* begin, const char* end, Line& line) {
  ++m_LineNumber;
  if (end > begin && end[-1] == '\r') --end;
  line.tooLong = size_t(end - begin) > m_MaxLine;
  line.begin = line.tooLong ? end : begin;
  line.end = end;
  return true;
}

// Moves the unread bytes to the front of the buffer and reads behind them.
void LineSource::Fill() {
  std::memmove(m_Buffer.data(), m_Buffer.data() + m_Begin, m_End - m_Begin);
  m_End -= m_Begin;
  m_Begin = 0;
  size_t got = std::fread(m_Buffer.data() + m_End, 1, m_Buffer.size() - m_End, m_File.get());
  m_End += got;
  if (got == 0) {
    m_AtEof = true;
    m_ReadFailed = std::ferror(m_File.get()) != 0;
  }
}

// The buffer is full without a line end: drop blocks until one turns up.
bool LineSource::DiscardLongLine(Line& line) {
  for (;;) {
    m_Begin = m_End = 0;
    Fill();
    char* newline = static_cast<char*>(std::memchr(m_Buffer.data(), '\n', m_End));
    if (newline || m_AtEof) {
      m_Begin = newline ? newline + 1 - m_Buffer.data() : m_End;
      ++m_LineNumber;
      line = Line{nullptr, nullptr, true};
      return true;
    }
  }
}

bool NextContentLine(LineSource& lines, Line& line) {
  while (lines.Next(line))
    if (!IsBlank(line)) return true;
  return false;
}

// ---- Numbers ----

std::from_chars_result ParseFullDecimal(const char* begin, const char* end, double& value) {
  if (end - begin > 1 && *begin == '+' && begin[1] != '-') ++begin;
  return std::from_chars(begin, end, value);
}

namespace {

// "%lf", with a value beyond the range of a double (or denormal) read as NaN: no usable
// coordinate either way.
bool ScanDouble(const char*& p, const char* end, double& value) {
  auto [next, failure] = ParseDouble(SkipSpace(p, end), end, value);
  if (failure == std::errc::invalid_argument) return false;
  if (failure == std::errc::result_out_of_range) value = std::nan("");
  p = next;
  return true;
}

}  // namespace

int ScanFields(const Line& line, const char* kinds, double* values) {
  if (line.tooLong) return 0;
  const char* p = line.begin;
  int count = 0;
  for (; kinds[count]; ++count) {
    bool converted = kinds[count] == 'f' ? ScanDouble(p, line.end, values[count])
                                         : ScanInt(p, line.end, values[count]);
    if (!converted) break;
  }
  return count;
}

bool IsLoneInteger(const Line& line, int64_t& value) {
  if (line.tooLong) return false;
  const char* p = SkipSpace(line.begin, line.end);
  if (line.end - p > 1 && *p == '+' && p[1] != '-') ++p;
  auto [next, failure] = std::from_chars(p, line.end, value);
  if (failure == std::errc::invalid_argument) return false;
  if (failure == std::errc::result_out_of_range) value = *p == '-' ? INT64_MIN : INT64_MAX;
  return SkipSpace(next, line.end) == line.end;
}

std::string LineProblem(int64_t lineNumber, const std::string& what) {
  return "line " + std::to_string(lineNumber) + ": " + what;
}

// ---- 4x4 matrices ----

bool IsIdentity(const Matrix4 m) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      if (m[row][column] != (row == column ? 1.0 : 0.0)) return false;
  return true;
}

bool ApplyHomogeneous(const Matrix4 m, double& x, double& y, double& z) {
  double out[4];
  for (int row = 0; row < 4; ++row)
    out[row] = m[row][0] * x + m[row][1] * y + m[row][2] * z + m[row][3];
  if (out[3] == 0) return false;
  double wx = out[0] / out[3], wy = out[1] / out[3], wz = out[2] / out[3];
  if (!std::isfinite(wx) || !std::isfinite(wy) || !std::isfinite(wz)) return false;
  x = wx, y = wy, z = wz;
  return true;
}

}  // namespace scantext

// ---- List files ----

std::vector<std::string> ReadListFile(const std::string& path, bool& opened,
                                      size_t* unusableLines) {
  std::vector<std::string> paths;
  size_t unusable = 0;
  scantext::FilePtr file = scantext::OpenRegularFile(path);
  opened = file != nullptr;
  if (file) {
    scantext::LineSource lines(std::move(file), kMaxListLine);
    for (scantext::Line line; lines.Next(line);) {
      if (line.begin == line.end && !line.tooLong) continue;
      if (line.tooLong || std::memchr(line.begin, '\0', line.end - line.begin)) {
        ++unusable;
        continue;
      }
      paths.emplace_back(line.begin, line.end);
    }
  }
  if (unusableLines) *unusableLines = unusable;
  return paths;
}
