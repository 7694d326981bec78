// What the readers of scanner exports and models share: list files naming the inputs, and
// the reading of text files line by line with numbers parsed as sscanf's "%lf" and "%d"
// parse them.
//
// Every text line is read into a fixed buffer; counts announced by a file are never used to
// size an allocation.
#pragma once

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

bool IsSpace(char c);
const char* SkipSpace(const char* p, const char* end);
bool IsBlank(const Line& line);
// "%d" with the value saturated at the int range, where sscanf's would be undefined.
bool ScanInt(const char*& p, const char* end, double& value);
// Converts the line's values in order, 'f' for "%lf" and 'd' for "%d", stopping at the first
// that fails; returns how many were converted (sscanf's count).
int ScanFields(const Line& line, const char* kinds, double* values);
// A line holding one integer and nothing else: PTX columns lines and PTS block counts.
// Stricter than "%d", which would take the "-0" of "-0.5 1.2 3.4" for a count.
bool IsLoneInteger(const Line& line, int64_t& value);
bool AllFinite(const double* values, int count);
uint8_t ColourByte(double value);
// "line N: what", for the problems readers report.
std::string LineProblem(int64_t lineNumber, const std::string& what);

// ---- 4x4 matrices ----

using Matrix4 = double[4][4];

bool IsIdentity(const Matrix4 m);
// Multiplies (x, y, z, 1) as a column vector and divides by the fourth component; false when
// that is zero or the result is not finite.
bool ApplyHomogeneous(const Matrix4 m, double& x, double& y, double& z);

}  // namespace scantext
