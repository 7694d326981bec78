#include "nimbex/creation/TextReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <utility>

#include "nimbex/creation/ScanText.h"

namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';';
}

// A line of nothing but separators and carriage returns holds no data and is ignored.
bool IsBlank(const char* begin, const char* end) {
  for (const char* c = begin; c < end; ++c)
    if (!IsSeparator(*c) && *c != '\r') return false;
  return true;
}

// Reads the number that starts a column; it must fill the column and be finite. A leading
// '+' is accepted. On success `begin` moves to the end of the column.
bool ParseNumber(const char*& begin, const char* end, double& value) {
  auto [next, failure] = scantext::ParseDouble(begin, end, value);
  if (failure != std::errc() || (next != end && !IsSeparator(*next)) || !std::isfinite(value))
    return false;
  begin = next;
  return true;
}

// Out-of-range colours are brought to the nearest limit rather than refusing the point.
uint16_t ColourComponent(double value) {
  return static_cast<uint16_t>(std::clamp(value, 0.0, 65535.0) + 0.5);
}

bool IsClass(double value) {
  return value >= 0 && value <= 255 && value == std::floor(value);
}

std::string SystemError() {
  return std::strerror(errno);
}

// Devices and pipes may never end and cannot be read twice; folders hold no lines.
bool IsRegularFile(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

CTextReader::CTextReader(std::FILE* file, std::string path, std::vector<ColumnRole> columns)
    : m_File(file), m_Path(std::move(path)), m_Columns(std::move(columns)), m_Buffer(kBlockSize) {}

std::unique_ptr<CTextReader> CTextReader::Open(const std::string& path,
                                               const std::string& parseString, std::string& error) {
  std::vector<ColumnRole> columns;
  std::string problem;
  if (!ParseColumns(parseString, columns, problem)) {
    error = "Cannot read point file '" + path + "': " + problem;
    return nullptr;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "Cannot open point file '" + path + "': " + SystemError() +
            ". Check the path and that you may read the file.";
    return nullptr;
  }
  if (!IsRegularFile(file)) {
    std::fclose(file);
    error = "Cannot read point file '" + path +
            "': it is not a regular file (a folder, device or pipe). Choose a text point file.";
    return nullptr;
  }
  // Whole blocks are read straight into the reader's buffer: stdio's would only add a copy.
  std::setvbuf(file, nullptr, _IONBF, 0);
  std::unique_ptr<CTextReader> reader(new CTextReader(file, path, std::move(columns)));
  if (!reader->CountDataLines() || !reader->Rewind()) {
    error = reader->m_Error;
    return nullptr;
  }
  return reader;
}

namespace {

// A header line longer than this names no columns.
constexpr size_t kMaxHeaderLine = 64 << 10;

// The fields of a line split as data lines are, except that a quoted field may hold
// separators.
std::vector<std::string> HeaderFields(std::string line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields;
  for (size_t at = 0; at < line.size();) {
    if (IsSeparator(line[at])) {
      ++at;
      continue;
    }
    const char quote = line[at] == '"' || line[at] == '\'' ? line[at] : 0;
    const size_t begin = quote ? at + 1 : at;
    size_t end = begin;
    while (end < line.size() && (quote ? line[end] != quote : !IsSeparator(line[end]))) ++end;
    fields.push_back(line.substr(begin, end - begin));
    at = quote ? end + 1 : end;
  }
  return fields;
}

// The parse letter of a column name; 's' for a name the reader has no use for.
char ColumnLetter(std::string name) {
  static const std::pair<const char*, char> kNames[] = {
      {"x", 'x'}, {"y", 'y'},    {"z", 'z'}, {"intensity", 'i'},
      {"i", 'i'}, {"red", 'r'},  {"r", 'r'}, {"green", 'g'},
      {"g", 'g'}, {"blue", 'b'}, {"b", 'b'}, {"classification", 'c'},
      {"c", 'c'}};
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [known, letter] : kNames)
    if (name == known) return letter;
  return 's';
}

}  // namespace

std::string CTextReader::ParseStringFromHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(kMaxHeaderLine + 1, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  const size_t newline = head.find('\n');
  if (newline == std::string::npos && head.size() > kMaxHeaderLine) return "";
  const size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 mark
  std::string parse;
  for (const std::string& field : HeaderFields(head.substr(start, newline - start))) {
    const char* cursor = field.c_str();
    double number;
    if (ParseNumber(cursor, cursor + field.size(), number)) return "";  // a data line
    const char letter = ColumnLetter(field);
    if (letter != 's' && parse.find(letter) != std::string::npos) return "";
    parse += letter;
  }
  for (char required : {'x', 'y', 'z'})
    if (parse.find(required) == std::string::npos) return "";
  // Columns after the last one read need not be there.
  return parse.substr(0, parse.find_last_not_of('s') + 1);
}

bool CTextReader::ParseColumns(const std::string& parseString, std::vector<ColumnRole>& columns,
                               std::string& problem) {
  static const char kLetters[] = "xyzirgbcs";  // in the order of ColumnRole
  const std::string quoted = "The parse string '" + parseString + "'";
  for (char letter : parseString) {
    if (letter == '-') continue;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const char* found = lower ? std::strchr(kLetters, lower) : nullptr;
    if (!found) {
      problem = quoted + " has the unknown letter '" + letter +
                "': use x, y, z (coordinates), i (intensity), r, g, b (colour), c (class), "
                "s (a column to ignore) and - (a separator only).";
      return false;
    }
    const auto role = static_cast<ColumnRole>(found - kLetters);
    if (role != kSkip && std::count(columns.begin(), columns.end(), role) > 0) {
      problem = quoted + " names '" + lower + "' twice: each letter stands for one column.";
      return false;
    }
    columns.push_back(role);
  }
  for (ColumnRole required : {kX, kY, kZ}) {
    if (std::count(columns.begin(), columns.end(), required) == 0) {
      problem = quoted + " lacks '" + kLetters[required] +
                "': it must name the x, y and z columns, for example xyz or xyzirgb.";
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Lines

void CTextReader::FailRead() {
  m_Error = "Could not read point file '" + m_Path + "': " + SystemError() +
            ". Check that it is a readable file and that its disk is still reachable.";
  m_ReadFailed = true;
}

// Moves the unread bytes to the front of the buffer and reads more behind them.
bool CTextReader::FillBuffer() {
  const size_t kept = m_End - m_Begin;
  std::memmove(m_Buffer.data(), m_Buffer.data() + m_Begin, kept);
  m_Begin = 0;
  const size_t wanted = m_Buffer.size() - kept;
  const size_t got = std::fread(m_Buffer.data() + kept, 1, wanted, m_File.get());
  m_End = kept + got;
  if (got < wanted) {
    if (std::ferror(m_File.get())) {
      FailRead();
      return false;
    }
    m_AtEof = true;
  }
  return true;
}

// Drops the buffered start of a line too long to hold and reads on past its '\n'.
bool CTextReader::DiscardRestOfLine() {
  for (;;) {
    m_Begin = m_End = 0;
    if (!FillBuffer()) return false;
    if (const void* newline = std::memchr(m_Buffer.data(), '\n', m_End)) {
      m_Begin = static_cast<const char*>(newline) - m_Buffer.data() + 1;
      return true;
    }
    if (m_AtEof) {
      m_Begin = m_End;
      return true;
    }
  }
}

bool CTextReader::NextLine(Line& line) {
  for (;;) {
    const char* data = m_Buffer.data();
    if (const void* found = std::memchr(data + m_Begin, '\n', m_End - m_Begin)) {
      const char* newline = static_cast<const char*>(found);
      line = {data + m_Begin, newline, false};
      m_Begin = newline - data + 1;
      return true;
    }
    if (m_AtEof) {
      if (m_Begin == m_End) return false;
      line = {data + m_Begin, data + m_End, false};  // the last line has no '\n'
      m_Begin = m_End;
      return true;
    }
    if (m_Begin == 0 && m_End == m_Buffer.size()) {
      if (!DiscardRestOfLine()) return false;
      line = {nullptr, nullptr, true};
      return true;
    }
    if (m_ReadFailed || !FillBuffer()) return false;
  }
}

bool CTextReader::CountDataLines() {
  Line line;
  while (NextLine(line))
    if (line.tooLong || !IsBlank(line.begin, line.end)) ++m_DataLines;
  return !m_ReadFailed;
}

// ---------------------------------------------------------------------------------------
// Points

// False when the value cannot be what its column names.
bool CTextReader::StoreColumn(ColumnRole role, double value, SPoint& point) {
  switch (role) {
    case kX:
      point.x = value;
      break;
    case kY:
      point.y = value;
      break;
    case kZ:
      point.z = value;
      break;
    case kIntensity:
      if (std::fabs(value) > std::numeric_limits<float>::max()) return false;
      point.intensity = static_cast<float>(value);
      break;
    case kRed:
    case kGreen:
    case kBlue:
      point.rgb[role - kRed] = ColourComponent(value);
      break;
    case kClass:
      if (!IsClass(value)) return false;
      point.classification = static_cast<uint8_t>(value);
      break;
    case kSkip:
      break;
  }
  return true;
}

bool CTextReader::ParseLine(const char* begin, const char* end, SPoint& point) const {
  while (end > begin && end[-1] == '\r') --end;
  const char* cursor = begin;
  for (ColumnRole role : m_Columns) {
    while (cursor < end && IsSeparator(*cursor)) ++cursor;
    if (cursor == end) return false;  // fewer columns than the parse string names
    if (role == kSkip) {
      while (cursor < end && !IsSeparator(*cursor)) ++cursor;
      continue;
    }
    double value;
    if (!ParseNumber(cursor, end, value) || !StoreColumn(role, value, point)) return false;
  }
  return true;
}

int CTextReader::Read(SPoint& point) {
  Line line;
  while (NextLine(line)) {
    if (!line.tooLong && IsBlank(line.begin, line.end)) continue;
    point = SPoint();
    if (!line.tooLong && ParseLine(line.begin, line.end, point)) return SP_VALID;
    ++m_SkippedThisPass;
    return SP_SKIP;
  }
  return SP_END;
}

bool CTextReader::GetHeaderBounds(double[6]) const {
  return false;
}

bool CTextReader::Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
                       const int* cancel) {
  count = 0;
  if ((cancel && *cancel) || !Rewind()) return false;
  constexpr double kHuge = std::numeric_limits<double>::infinity();
  double box[6] = {kHuge, -kHuge, kHuge, -kHuge, kHuge, -kHuge};
  SPoint point;
  int64_t lines = 0;
  for (int result; (result = Read(point)) != SP_END;) {
    if (++lines % kLinesPerPump == 0) {
      if (pump) pump();
      if (cancel && *cancel) {
        count = 0;
        Rewind();
        return false;
      }
    }
    if (result != SP_VALID) continue;
    ++count;
    const double xyz[3] = {point.x, point.y, point.z};
    for (int axis = 0; axis < 3; ++axis) {
      box[2 * axis] = std::min(box[2 * axis], xyz[axis]);
      box[2 * axis + 1] = std::max(box[2 * axis + 1], xyz[axis]);
    }
  }
  if (m_ReadFailed) return false;
  for (int i = 0; i < 6; ++i) bounds[i] = count > 0 ? box[i] : 0.0;
  return Rewind();
}

bool CTextReader::Rewind() {
  if (fseeko(m_File.get(), 0, SEEK_SET) != 0) {
    m_Error = "Could not go back to the start of point file '" + m_Path + "': " + SystemError() +
              ". Check that the file is still there and readable.";
    return false;
  }
  std::clearerr(m_File.get());
  m_Begin = m_End = 0;
  m_AtEof = m_ReadFailed = false;
  m_Error.clear();
  m_SkippedMostInAPass = GetSkippedCount();
  m_SkippedThisPass = 0;
  return true;
}

int64_t CTextReader::GetSkippedCount() const {
  return std::max(m_SkippedMostInAPass, m_SkippedThisPass);
}
