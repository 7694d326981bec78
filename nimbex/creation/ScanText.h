// What the readers of scanner exports and models share: list files naming the inputs, and
// the reading of text files line by line with numbers parsed as sscanf's "%lf" and "%d"
// parse them.
//
// Every text line is read into a fixed buffer; counts announced by a file are never used to
// size an allocation.
#pragma once

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// ---- List files ----

// The input paths of a list file, one a line, in file order. The line end (LF, CRLF) is
// removed and empty lines are skipped. A line longer than kMaxListLine characters or holding a
// NUL byte cannot name a file: it is skipped and counted in `*unusableLines` when given.
// `opened` is false when the file cannot be opened (the result is then empty).
constexpr size_t kMaxListLine = 4096;
std::vector<std::string> ReadListFile(const std::string& path, bool& opened,
                                      size_t* unusableLines = nullptr);

namespace scantext {

// All text files here are read in blocks of this size.
constexpr size_t kBlockSize = size_t(1) << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Devices and pipes may never end; folders hold no lines. Null for those.
FilePtr OpenRegularFile(const std::string& path);

// One line without its LF or CRLF, pointing into the reader's buffer. A line longer than the
// reader's limit comes back as `tooLong` with no text.
struct Line {
  const char* begin = nullptr;
  const char* end = nullptr;
  bool tooLong = false;
};

// Reads a file in large blocks and hands out its lines.
class LineSource {
 public:
  LineSource(FilePtr file, size_t maxLine);

  bool Next(Line& line);
  int64_t LineNumber() const { return m_LineNumber; }
  bool ReadFailed() const { return m_ReadFailed; }

 private:
  bool Deliver(const char* begin, const char* end, Line& line);
  void Fill();
  bool DiscardLongLine(Line& line);

  FilePtr m_File;
  size_t m_MaxLine;
  std::vector<char> m_Buffer;
  size_t m_Begin = 0, m_End = 0;  // unread bytes of m_Buffer
  bool m_AtEof = false;
  bool m_ReadFailed = false;
  int64_t m_LineNumber = 0;
};

// The next line that holds more than blanks; false at the end of the file.
bool NextContentLine(LineSource& lines, Line& line);

// ---- Numbers ----
//
// Numbers are read the same whatever the locale: '.' is the decimal point, and the value of a
// decimal is the double nearest to it, as strtod gives in the "C" locale. The short cuts below
// are inline: they run for every column of every line.

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline const char* SkipSpace(const char* p, const char* end) {
  while (p < end && IsSpace(*p)) ++p;
  return p;
}

inline bool IsDigit(char c) {
  return static_cast<unsigned char>(c - '0') < 10;
}

// Plain decimals such as "-636083.30" or "255" fill nearly every column. With at most 15
// digits, mantissa and power of ten are exact doubles, so one division rounds correctly.
// False, without moving `p`, for anything else (an exponent, more digits, no digit).
inline bool ParsePlainDecimal(const char*& p, const char* end, double& value) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* cursor = p;
  const bool negative = cursor < end && *cursor == '-';
  if (cursor < end && (*cursor == '-' || *cursor == '+')) ++cursor;
  uint64_t mantissa = 0;
  const char* digitsBegin = cursor;
  for (; cursor < end && IsDigit(*cursor); ++cursor) mantissa = mantissa * 10 + (*cursor - '0');
  ptrdiff_t digits = cursor - digitsBegin, decimals = 0;
  if (cursor < end && *cursor == '.') {
    const char* decimalsBegin = ++cursor;
    for (; cursor < end && IsDigit(*cursor); ++cursor) mantissa = mantissa * 10 + (*cursor - '0');
    decimals = cursor - decimalsBegin;
    digits += decimals;
  }
  if (digits == 0 || digits > 15 || (cursor < end && (*cursor == 'e' || *cursor == 'E')))
    return false;
  value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
  if (negative) value = -value;
  p = cursor;
  return true;
}

// std::from_chars for a double, which also takes a leading '+' (but not "+-"). The longest
// prefix of [begin, end) that forms a number is read, as strtod reads it; hexadecimal is not.
std::from_chars_result ParseFullDecimal(const char* begin, const char* end, double& value);

inline std::from_chars_result ParseDouble(const char* begin, const char* end, double& value) {
  if (ParsePlainDecimal(begin, end, value)) return {begin, std::errc()};
  return ParseFullDecimal(begin, end, value);
}

inline bool IsBlank(const Line& line) {
  return !line.tooLong && SkipSpace(line.begin, line.end) == line.end;
}

// "%d" with the value saturated at the int range, where sscanf's would be undefined.
inline bool ScanInt(const char*& p, const char* end, double& value) {
  const char* cursor = SkipSpace(p, end);
  const bool negative = cursor < end && *cursor == '-';
  if (cursor < end && (*cursor == '-' || *cursor == '+')) ++cursor;
  if (cursor == end || !IsDigit(*cursor)) return false;
  constexpr int64_t kBeyond = int64_t(INT_MAX) + 1;  // magnitudes past it saturate
  int64_t magnitude = 0;
  for (; cursor < end && IsDigit(*cursor); ++cursor)
    magnitude = std::min(magnitude * 10 + (*cursor - '0'), kBeyond);
  value = double(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT_MIN, INT_MAX));
  p = cursor;
  return true;
}

// Converts the line's values in order, 'f' for "%lf" and 'd' for "%d", stopping at the first
// that fails; returns how many were converted (sscanf's count). A value beyond the range of a
// double reads as NaN.
int ScanFields(const Line& line, const char* kinds, double* values);
// A line holding one integer and nothing else: PTX columns lines and PTS block counts.
// Stricter than "%d", which would take the "-0" of "-0.5 1.2 3.4" for a count.
bool IsLoneInteger(const Line& line, int64_t& value);
inline bool AllFinite(const double* values, int count) {
  return std::all_of(values, values + count, [](double v) { return std::isfinite(v); });
}
inline uint8_t ColourByte(double value) {
  return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}
// "line N: what", for the problems readers report.
std::string LineProblem(int64_t lineNumber, const std::string& what);

// ---- 4x4 matrices ----

using Matrix4 = double[4][4];

bool IsIdentity(const Matrix4 m);
// Multiplies (x, y, z, 1) as a column vector and divides by the fourth component; false when
// that is zero or the result is not finite.
bool ApplyHomogeneous(const Matrix4 m, double& x, double& y, double& z);

}  // namespace scantext
