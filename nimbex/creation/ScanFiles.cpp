#include "nimbex/creation/ScanFiles.h"

#include <sys/stat.h>
#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkDataArraySelection.h>
#include <vtkExecutive.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkType.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLDataElement.h>
#include <vtkXMLDataParser.h>
#include <vtkXMLPolyDataReader.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "nimbex/platform/Profile.h"

namespace scanfiles_internal {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Devices and pipes may never end; folders hold no lines.
FilePtr OpenRegularFile(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  struct stat info;
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  // Whole blocks are read straight into the line buffer: stdio's would only add a copy.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  return file;
}

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
  LineSource(FilePtr file, size_t maxLine)
      : m_File(std::move(file)), m_MaxLine(maxLine), m_Buffer(CPtxReader::kBlockSize) {}

  bool Next(Line& line) {
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

  int64_t LineNumber() const { return m_LineNumber; }
  bool ReadFailed() const { return m_ReadFailed; }

 private:
  bool Deliver(const char* begin, const char* end, Line& line) {
    ++m_LineNumber;
    if (end > begin && end[-1] == '\r') --end;
    line.tooLong = size_t(end - begin) > m_MaxLine;
    line.begin = line.tooLong ? end : begin;
    line.end = end;
    return true;
  }

  // Moves the unread bytes to the front of the buffer and reads behind them.
  void Fill() {
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
  bool DiscardLongLine(Line& line) {
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

  FilePtr m_File;
  size_t m_MaxLine;
  std::vector<char> m_Buffer;
  size_t m_Begin = 0, m_End = 0;  // unread bytes of m_Buffer
  bool m_AtEof = false;
  bool m_ReadFailed = false;
  int64_t m_LineNumber = 0;
};

}  // namespace scanfiles_internal

namespace {

using scanfiles_internal::FilePtr;
using scanfiles_internal::Line;
using scanfiles_internal::LineSource;
using scanfiles_internal::OpenRegularFile;

// ---- Numbers, read as sscanf's "%lf" and "%d" read them ----

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* SkipSpace(const char* p, const char* end) {
  while (p < end && IsSpace(*p)) ++p;
  return p;
}

bool IsBlank(const Line& line) {
  return !line.tooLong && SkipSpace(line.begin, line.end) == line.end;
}

bool ScanDouble(const char*& p, const char* end, double& value) {
  const char* start = SkipSpace(p, end);
  // from_chars takes no '+'; "+-1" must still fail.
  if (end - start > 1 && *start == '+' && start[1] != '-') ++start;
  auto [next, failure] = std::from_chars(start, end, value);
  if (failure == std::errc::invalid_argument) return false;
  // Beyond the range of a double (or denormal): no usable coordinate either way.
  if (failure == std::errc::result_out_of_range) value = std::nan("");
  p = next;
  return true;
}

// Saturates at the int range where sscanf's behaviour would be undefined.
bool ScanInt(const char*& p, const char* end, double& value) {
  const char* cursor = SkipSpace(p, end);
  bool negative = cursor < end && *cursor == '-';
  if (cursor < end && (*cursor == '-' || *cursor == '+')) ++cursor;
  if (cursor == end || !std::isdigit(static_cast<unsigned char>(*cursor))) return false;
  int64_t magnitude = 0;
  for (; cursor < end && std::isdigit(static_cast<unsigned char>(*cursor)); ++cursor)
    magnitude = std::min<int64_t>(magnitude * 10 + (*cursor - '0'), int64_t(INT_MAX) + 1);
  value = double(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT_MIN, INT_MAX));
  p = cursor;
  return true;
}

// Converts the line's values in order, 'f' for "%lf" and 'd' for "%d", stopping at the first
// that fails; returns how many were converted (sscanf's count).
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

// A line holding one integer and nothing else: PTX columns lines and PTS block counts.
// Stricter than "%d", which would take the "-0" of "-0.5 1.2 3.4" for a count.
bool IsLoneInteger(const Line& line, int64_t& value) {
  if (line.tooLong) return false;
  const char* p = SkipSpace(line.begin, line.end);
  if (line.end - p > 1 && *p == '+' && p[1] != '-') ++p;
  auto [next, failure] = std::from_chars(p, line.end, value);
  if (failure == std::errc::invalid_argument) return false;
  if (failure == std::errc::result_out_of_range) value = *p == '-' ? INT64_MIN : INT64_MAX;
  return SkipSpace(next, line.end) == line.end;
}

bool AllFinite(const double* values, int count) {
  return std::all_of(values, values + count, [](double v) { return std::isfinite(v); });
}

uint8_t ColourByte(double value) {
  return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}

std::string LineProblem(int64_t lineNumber, const std::string& what) {
  return "line " + std::to_string(lineNumber) + ": " + what;
}

// ---- 4x4 matrices ----

using Matrix4 = double[4][4];

bool IsIdentity(const Matrix4 m) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      if (m[row][column] != (row == column ? 1.0 : 0.0)) return false;
  return true;
}

// Multiplies (x, y, z, 1) as a column vector and divides by the fourth component; false when
// that is zero or the result is not finite.
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

}  // namespace

// ---- List files ----

std::vector<std::string> ReadListFile(const std::string& path, bool& opened,
                                      size_t* unusableLines) {
  std::vector<std::string> paths;
  size_t unusable = 0;
  FilePtr file = OpenRegularFile(path);
  opened = file != nullptr;
  if (file) {
    LineSource lines(std::move(file), kMaxListLine);
    for (Line line; lines.Next(line);) {
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

// ---- VTP models and their companions ----

namespace {

std::filesystem::path Companion(const std::string& modelPath, const char* extension) {
  return std::filesystem::path(modelPath).replace_extension(extension);
}

// A hand-edited "nan" or "inf" must not reach the coordinates.
double FiniteOrZero(double value) {
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace

void ReadVtwOffset(const std::string& modelPath, double offset[3]) {
  CProfile profile;
  profile.Load(Companion(modelPath, ".vtw"));  // a missing file leaves the profile empty
  const char* keys[3] = {"X", "Y", "Z"};
  for (int axis = 0; axis < 3; ++axis)
    offset[axis] = FiniteOrZero(profile.GetDouble("PolyData Offset", keys[axis], 0.0));
}

double ReadIniGsd(const std::string& modelPath, bool& present) {
  std::error_code ignored;
  std::filesystem::path ini = Companion(modelPath, ".ini");
  present = std::filesystem::is_regular_file(ini, ignored);
  CProfile profile;
  if (!present || !profile.Load(ini)) return 0.0;
  double gsd = FiniteOrZero(profile.GetDouble("Kelvo_CloudData", "GSD", 0.0));
  return gsd > 0 ? gsd : 0.0;  // a sample distance is never negative
}

namespace {

// Keeps the first error VTK reports while reading, instead of printing it.
class ErrorCatcher : public vtkCommand {
 public:
  static ErrorCatcher* New() { return new ErrorCatcher; }
  void Execute(vtkObject*, unsigned long, void* callData) override {
    if (m_Message.empty())
      m_Message = callData ? static_cast<const char*>(callData) : "unspecified error";
  }
  const std::string& Message() const { return m_Message; }

 private:
  std::string m_Message;
};

// VTK's messages start with the source location and the object ("vtkXMLDataParser (0x...):");
// the reason follows on the last line.
std::string Reason(std::string message) {
  while (!message.empty() && IsSpace(message.back())) message.pop_back();
  size_t newline = message.rfind('\n');
  if (newline != std::string::npos) message.erase(0, newline + 1);
  size_t object = message.find("): ");
  if (message.compare(0, 3, "vtk") == 0 && object != std::string::npos)
    message.erase(0, object + 3);
  return message;
}

// A point data array shorter or longer than the points would be read out of bounds later.
bool HasMismatchedArray(vtkPolyData* model) {
  vtkPointData* data = model->GetPointData();
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkAbstractArray* array = data->GetAbstractArray(i);
    if (array && array->GetNumberOfTuples() != model->GetNumberOfPoints()) return true;
  }
  return false;
}

// Cells must be well formed, hold as many points as their kind needs and name points the
// model holds: the creator walks them, and VTK, unable to map a two-point polygon, crashes
// when asked for the cell.
bool HasBrokenCells(vtkPolyData* model) {
  const std::pair<vtkCellArray*, vtkIdType> kinds[] = {{model->GetVerts(), 1},
                                                       {model->GetLines(), 2},
                                                       {model->GetPolys(), 3},
                                                       {model->GetStrips(), 3}};
  for (const auto& [cells, fewestPoints] : kinds) {
    if (!cells) continue;
    if (!cells->IsValid()) return true;
    for (vtkIdType cell = 0; cell < cells->GetNumberOfCells(); ++cell)
      if (cells->GetCellSize(cell) < fewestPoints) return true;
    vtkDataArray* ids = cells->GetConnectivityArray();
    if (ids->GetNumberOfTuples() == 0) continue;
    double range[2];
    ids->GetRange(range, 0);
    if (range[0] < 0 || range[1] >= double(model->GetNumberOfPoints())) return true;
  }
  return false;
}

// Models cannot drop a point without renumbering their cells, so one that is not finite
// refuses the model.
bool HasNonFinitePoint(vtkPolyData* model) {
  double p[3];
  for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i) {
    model->GetPoint(i, p);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return true;
  }
  return false;
}

// VTK's XML reader sizes its arrays from the counts a file declares, and its decompression
// buffers from the sizes in each compressed array's header, before it reads any data: a
// damaged file can ask for gigabytes. These checks, made on the parsed XML before the data is
// read, bound what a file may declare by its own size.
//
// Text arrays are not read at all: models need none, and VTK 9.1 dereferences a null pointer
// when it reports a text array of point or cell data that fails to read.
class VtpDeclarations {
 public:
  // zlib expands a block at most 1032 times; VTK's other compressors stay below that at its
  // block sizes.
  static constexpr double kMaxExpansion = 1032;

  VtpDeclarations(const std::string& path, vtkXMLPolyDataReader* reader)
      : m_File(path, std::ios::binary), m_Reader(reader), m_Parser(reader->GetXMLParser()) {
    std::error_code ignored;
    m_FileSize = double(std::filesystem::file_size(path, ignored));
  }

  // Empty when the declarations fit the file, otherwise what does not. Turns reading of text
  // arrays off.
  std::string Check() {
    vtkXMLDataElement* root = m_Parser ? m_Parser->GetRootElement() : nullptr;
    if (!root) return "no XML structure";
    m_Compressed = Attribute(root, "compressor") != "";
    m_WordSize = Attribute(root, "header_type") == "UInt64" ? 8 : 4;
    m_BigEndian = Attribute(root, "byte_order") == "BigEndian";
    m_Base64Appended = true;
    if (vtkXMLDataElement* appended = root->FindNestedElementWithName("AppendedData"))
      m_Base64Appended = Attribute(appended, "encoding") != "raw";
    m_NewOffsets = std::atoi(Attribute(root, "version").c_str()) >= 2;
    if (!Walk(root, 0, 0)) return m_Problem;
    if (m_Values > ValueLimit()) return "it declares more values than the file can hold";
    return "";
  }

 private:
  static std::string Attribute(vtkXMLDataElement* element, const char* name) {
    const char* value = element->GetAttribute(name);
    return value ? value : "";
  }

  // A count attribute: `fallback` when absent, false when it is not a whole number >= 0.
  bool Count(vtkXMLDataElement* element, const char* name, double fallback, double& count) {
    std::string text = Attribute(element, name);
    count = fallback;
    if (text.empty()) return true;
    int64_t value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc() ||
        value < 0) {
      m_Problem = std::string("its ") + name + " is not a count";
      return false;
    }
    count = double(value);
    return true;
  }

  double ValueLimit() const { return m_FileSize * (m_Compressed ? kMaxExpansion : 1.0); }

  // Adds to m_Values what the arrays under `element` will hold: `points` tuples under Points
  // and PointData, `cells` under CellData and the cell arrays, NumberOfTuples elsewhere, and
  // the length of each connectivity array.
  bool Walk(vtkXMLDataElement* element, double points, double cells) {
    std::string name = element->GetName() ? element->GetName() : "";
    if (name == "Piece") {
      double kinds[4];
      const char* names[4] = {"NumberOfVerts", "NumberOfLines", "NumberOfStrips", "NumberOfPolys"};
      if (!Count(element, "NumberOfPoints", 0, points)) return false;
      cells = 0;
      for (int k = 0; k < 4; ++k) {
        if (!Count(element, names[k], 0, kinds[k])) return false;
        cells += kinds[k];
      }
    }
    if (IsArray(element) && !AddDataArray(element, points, cells)) return false;
    for (int i = 0; i < element->GetNumberOfNestedElements(); ++i)
      if (!Walk(element->GetNestedElement(i), points, cells)) return false;
    bool cellKind = name == "Verts" || name == "Lines" || name == "Strips" || name == "Polys";
    return !cellKind || AddConnectivity(element);
  }

  // VTK sizes a connectivity array by the last entry of the offsets array beside it, read
  // before the connectivity. That entry is read here the way VTK reads it (after the checks
  // on the offsets array's own header) and added to the values.
  bool AddConnectivity(vtkXMLDataElement* cells) {
    double count = 0;
    vtkXMLDataElement* piece = cells->GetParent();
    std::string countName = std::string("NumberOf") + cells->GetName();
    if (!piece) return true;
    if (!Count(piece, countName.c_str(), 0, count)) return false;
    if (count == 0) return true;
    // Every candidate is checked: which one VTK takes depends on its time steps.
    double longest = 0;
    for (int i = 0; i < cells->GetNumberOfNestedElements(); ++i) {
      vtkXMLDataElement* offsets = cells->GetNestedElement(i);
      if (!IsArray(offsets) || Attribute(offsets, "Name") != "offsets") continue;
      // VTK reads the offsets whole but does not notice when the data ends before the last
      // one, which it then uses anyway.
      double last = 0;
      if (!ReadWord(offsets, uint64_t(m_NewOffsets ? count : count - 1), last)) {
        m_Problem = "the offsets of its cells cannot be read";
        return false;
      }
      if (!(last >= 0 && last <= ValueLimit())) {
        m_Problem = "its cells refer to more points than the file can hold";
        return false;
      }
      longest = std::max(longest, last);
    }
    m_Values += longest;
    return true;
  }

  // VTK reads data from "DataArray" elements, and from "Array" elements in point data.
  static bool IsArray(vtkXMLDataElement* element) {
    const char* name = element->GetName();
    return name && (std::strcmp(name, "DataArray") == 0 || std::strcmp(name, "Array") == 0);
  }

  // Reads one number of a numeric array through VTK's parser.
  bool ReadWord(vtkXMLDataElement* array, uint64_t index, double& value) {
    static const std::pair<const char*, int> kTypes[] = {
        {"Int8", VTK_TYPE_INT8},      {"UInt8", VTK_TYPE_UINT8},   {"Int16", VTK_TYPE_INT16},
        {"UInt16", VTK_TYPE_UINT16},  {"Int32", VTK_TYPE_INT32},   {"UInt32", VTK_TYPE_UINT32},
        {"Int64", VTK_TYPE_INT64},    {"UInt64", VTK_TYPE_UINT64}, {"Float32", VTK_TYPE_FLOAT32},
        {"Float64", VTK_TYPE_FLOAT64}};
    std::string typeName = Attribute(array, "type"), format = Attribute(array, "format");
    const auto* type = std::find_if(std::begin(kTypes), std::end(kTypes),
                                    [&](const auto& t) { return typeName == t.first; });
    double offset = 0;
    if (type == std::end(kTypes) || !Count(array, "offset", 0, offset)) return false;
    alignas(8) unsigned char word[8] = {};
    // The reader closes its stream between the information pass and the data pass.
    std::istream* readerStream = m_Parser->GetStream();
    m_File.clear();
    m_Parser->SetStream(&m_File);
    size_t read =
        format == "appended"
            ? m_Parser->ReadAppendedData(vtkTypeInt64(offset), word, index, 1, type->second)
            : m_Parser->ReadInlineData(array, format == "ascii", word, index, 1, type->second);
    m_Parser->SetStream(readerStream);
    if (read != 1) return false;
    value = WordValue(word, type->second);
    return true;
  }

  static double WordValue(const unsigned char* word, int type) {
    switch (type) {
      case VTK_TYPE_INT8:
        return double(Load<int8_t>(word));
      case VTK_TYPE_UINT8:
        return double(Load<uint8_t>(word));
      case VTK_TYPE_INT16:
        return double(Load<int16_t>(word));
      case VTK_TYPE_UINT16:
        return double(Load<uint16_t>(word));
      case VTK_TYPE_INT32:
        return double(Load<int32_t>(word));
      case VTK_TYPE_UINT32:
        return double(Load<uint32_t>(word));
      case VTK_TYPE_INT64:
        return double(Load<int64_t>(word));
      case VTK_TYPE_UINT64:
        return double(Load<uint64_t>(word));
      case VTK_TYPE_FLOAT32:
        return double(Load<float>(word));
      default:
        return Load<double>(word);
    }
  }

  template <typename T>
  static T Load(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }

  bool AddDataArray(vtkXMLDataElement* array, double points, double cells) {
    vtkXMLDataElement* parent = array->GetParent();
    std::string group = parent && parent->GetName() ? parent->GetName() : "";
    if (Attribute(array, "type") == "String") return SkipTextArray(array, group);
    double tuples = group == "Points" || group == "PointData" ? points : cells;
    double components = 1;
    if (!Count(array, "NumberOfComponents", 1, components) ||
        !Count(array, "NumberOfTuples", tuples, tuples))
      return false;
    m_Values += tuples * std::max(components, 1.0);
    // VTK reads every format but "appended" and "ascii" as inline binary.
    std::string format = Attribute(array, "format");
    if (!m_Compressed || format == "ascii") return true;
    return CompressionHeaderFits(array, format == "appended");
  }

  // VTK reads only named arrays of point and cell data, and only those enabled.
  bool SkipTextArray(vtkXMLDataElement* array, const std::string& group) {
    const char* name = array->GetAttribute("Name");
    if (group == "PointData" || group == "CellData") {
      if (name)
        (group == "PointData" ? m_Reader->GetPointDataArraySelection()
                              : m_Reader->GetCellDataArraySelection())
            ->DisableArray(name);
      return true;
    }
    m_Problem = "it holds text where numbers belong";
    return false;
  }

  // The header: block count, block size, size of a partial last block, then the compressed
  // size of each block.
  bool CompressionHeaderFits(vtkXMLDataElement* array, bool appended) {
    double start = 0;
    if (appended && !Count(array, "offset", 0, start)) return false;
    start += appended ? double(m_Parser->GetAppendedDataPosition()) : InlineDataStart(array);
    bool base64 = !appended || m_Base64Appended;
    m_Problem = "a compressed array's header is damaged or beyond the file";
    std::vector<uint64_t> words;
    if (start < 0 || start >= m_FileSize || !ReadWords(start, base64, 3, words)) return false;
    // VTK divides by the block size, and reads a block that is not there when the partial
    // last block is larger than a block or belongs to no block.
    if (words[1] == 0 || words[2] > words[1] || (words[0] == 0 && words[2] != 0)) return false;
    if (double(words[0]) * m_WordSize > m_FileSize) return false;
    if (!ReadWords(start, base64, 3 + size_t(words[0]), words)) return false;
    for (uint64_t block = 0; block < words[0]; ++block) {
      bool partialLast = block + 1 == words[0] && words[2] != 0;
      double expanded = double(partialLast ? words[2] : words[1]);
      double compressed = double(words[3 + block]);
      if (compressed > m_FileSize || expanded > compressed * kMaxExpansion + 64) return false;
    }
    m_Problem.clear();
    return true;
  }

  // Inline data starts behind the '>' of the element's start tag, as VTK finds it; -1 when
  // there is none.
  double InlineDataStart(vtkXMLDataElement* array) {
    m_File.clear();
    m_File.seekg(std::streamoff(array->GetXMLByteIndex()));
    for (int c; (c = m_File.get()) != EOF;)
      if (c == '>') return double(m_File.tellg());
    return -1;
  }

  // Reads `count` header words at `position`, decoding base64 (blanks skipped) when asked.
  bool ReadWords(double position, bool base64, size_t count, std::vector<uint64_t>& words) {
    std::vector<unsigned char> bytes(count * m_WordSize);
    m_File.clear();
    m_File.seekg(std::streamoff(position));
    if (base64 ? !ReadBase64(bytes)
               : !m_File.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
      return false;
    words.assign(count, 0);
    for (size_t w = 0; w < count; ++w)
      for (int b = 0; b < m_WordSize; ++b) {
        int shift = 8 * (m_BigEndian ? m_WordSize - 1 - b : b);
        words[w] |= uint64_t(bytes[w * m_WordSize + b]) << shift;
      }
    return true;
  }

  bool ReadBase64(std::vector<unsigned char>& bytes) {
    uint32_t bits = 0;
    int pending = 0;
    size_t filled = 0;
    for (int c; filled < bytes.size() && (c = m_File.get()) != EOF;) {
      int digit = Base64Digit(c);
      if (digit < 0) {
        if (IsSpace(char(c))) continue;
        return false;
      }
      bits = (bits << 6) | uint32_t(digit);
      pending += 6;
      if (pending >= 8) {
        pending -= 8;
        bytes[filled++] = static_cast<unsigned char>(bits >> pending);
      }
    }
    return filled == bytes.size();
  }

  static int Base64Digit(int c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
  }

  std::ifstream m_File;
  vtkXMLPolyDataReader* m_Reader;
  vtkXMLDataParser* m_Parser;
  double m_FileSize = 0;
  bool m_Compressed = false;
  int m_WordSize = 4;
  bool m_BigEndian = false;
  bool m_Base64Appended = true;
  bool m_NewOffsets = false;  // file version 2 and later: offsets start with a 0
  double m_Values = 0;
  std::string m_Problem;
};

std::string Damaged(const ErrorCatcher& catcher) {
  return "the file is damaged (" + Reason(catcher.Message()) + ")";
}

// Runs the reader: the reason to refuse the file, or empty with `model` set.
std::string ReadCheckedModel(vtkXMLPolyDataReader* reader, const ErrorCatcher& catcher,
                             const std::string& path, vtkSmartPointer<vtkPolyData>& model) {
  reader->UpdateInformation();
  if (!catcher.Message().empty()) return Damaged(catcher);
  std::string problem = VtpDeclarations(path, reader).Check();
  if (!problem.empty()) return problem;
  try {
    reader->Update();
  } catch (const std::exception& failure) {  // an allocation the checks above did not foresee
    return std::string("VTK could not read it (") + failure.what() + ")";
  }
  if (!catcher.Message().empty()) return Damaged(catcher);
  model = reader->GetOutput();
  if (!model || model->GetNumberOfPoints() == 0) return "it holds no readable points";
  if (HasMismatchedArray(model)) return "a point data array does not match the points";
  if (HasNonFinitePoint(model)) return "it holds a point whose coordinates are not finite numbers";
  if (HasBrokenCells(model)) return "its cells are malformed or refer to points it does not hold";
  return "";
}

std::string Refusal(const std::string& path, const std::string& why) {
  return "Cannot read model '" + path + "': " + why + ".";
}

}  // namespace

vtkSmartPointer<vtkPolyData> ReadVtpModel(const std::string& path, std::string& error) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) {
    error = Refusal(path, "the file does not exist or is not a file");
    return nullptr;
  }
  vtkNew<ErrorCatcher> catcher;
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->AddObserver(vtkCommand::ErrorEvent, catcher);
  reader->GetExecutive()->AddObserver(vtkCommand::ErrorEvent, catcher);
  reader->SetReaderErrorObserver(catcher);
  reader->SetParserErrorObserver(catcher);
  if (!reader->CanReadFile(path.c_str())) {
    error = Refusal(path, "it is not a VTK XML polydata (.vtp) file");
    return nullptr;
  }
  reader->SetFileName(path.c_str());
  vtkSmartPointer<vtkPolyData> model;
  std::string problem = ReadCheckedModel(reader, *catcher, path, model);
  if (problem.empty()) return model;
  error = Refusal(path, problem);
  return nullptr;
}

// ---- PTX scans ----

CPtxReader::CPtxReader() = default;
CPtxReader::~CPtxReader() = default;

bool CPtxReader::Open(const std::string& path) {
  FilePtr file = OpenRegularFile(path);
  m_Lines = file ? std::make_unique<LineSource>(std::move(file), kMaxLine) : nullptr;
  m_HasPendingColumns = false;
  m_Ended = !m_Lines;
  m_InScan = false;
  m_Problem = m_Lines ? "" : "cannot open the file";
  return m_Lines != nullptr;
}

namespace {

bool NextContentLine(LineSource& lines, Line& line) {
  while (lines.Next(line))
    if (!IsBlank(line)) return true;
  return false;
}

// A header line of `count` finite numbers ("%lf %lf %lf" or four of them).
bool ReadNumberLine(LineSource& lines, int count, double* values) {
  Line line;
  double read[4];
  if (!NextContentLine(lines, line) || ScanFields(line, "ffff", read) < count ||
      !AllFinite(read, count))
    return false;
  std::copy(read, read + count, values);
  return true;
}

bool ReadCount(LineSource& lines, int& count) {
  Line line;
  int64_t value = 0;
  if (!NextContentLine(lines, line) || !IsLoneInteger(line, value)) return false;
  if (value < 0 || value > INT_MAX) return false;
  count = int(value);
  return true;
}

// The scanner's placeholders for directions that gave no return.
bool IsMissingPoint(const PtxPoint& p) {
  if (p.x != 0 || p.y != 0 || p.z != 0) return false;
  if (!p.hasColour) return p.intensity == 0.5 || p.intensity == 0.0;
  return p.intensity == 0.5 && p.rgb[0] == 0 && p.rgb[1] == 0 && p.rgb[2] == 0;
}

// The matrix of a PTX scan is written as most scanner software writes it: for a point as a
// row vector, so its fourth line holds the translation. Real exports show it: a scan whose
// matrix scales z by 2 and ends with "600000 800000 400 1" lands on the LAS export of the
// same survey only when read that way (x + 600000, y + 800000, 2 z + 400); read as rows for a
// column vector, the fourth component would be about 2e10 and every point would collapse
// near the origin. The transform is kept transposed, for a column vector.
//
// When the matrix is the identity the scanner pose stands in for it, laid out the same way:
// the x, y and z axis lines, then the position line. Scanners that do fill in the matrix
// write exactly that: their matrix lines repeat the pose lines.
void SetTransform(PtxScan& scan) {
  Matrix4 lines;
  std::memcpy(lines, scan.fileMatrix, sizeof lines);
  if (IsIdentity(scan.fileMatrix)) {
    for (int axis = 0; axis < 3; ++axis) {
      for (int c = 0; c < 3; ++c) lines[axis][c] = scan.axes[axis][c];
      lines[axis][3] = 0;
      lines[3][axis] = scan.position[axis];
    }
    lines[3][3] = 1;
  }
  scan.transformed = !IsIdentity(lines);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) scan.transform[row][column] = lines[column][row];
}

}  // namespace

bool CPtxReader::Fail(const char* what) {
  m_Problem = LineProblem(m_Lines->LineNumber(), what);
  m_Ended = true;
  m_InScan = false;
  return false;
}

bool CPtxReader::ReadHeader(PtxScan& scan) {
  scan = PtxScan();
  if (m_HasPendingColumns) {
    scan.columns = m_PendingColumns;
    m_HasPendingColumns = false;
  } else {
    Line line;
    if (!NextContentLine(*m_Lines, line)) {
      m_Ended = true;
      if (m_Lines->ReadFailed()) m_Problem = "the file could not be read to its end";
      return false;
    }
    int64_t columns = 0;
    if (!IsLoneInteger(line, columns) || columns < 0 || columns > INT_MAX)
      return Fail("expected the column count of a scan");
    scan.columns = int(columns);
  }
  if (!ReadCount(*m_Lines, scan.rows)) return Fail("expected the row count of a scan");
  if (!ReadNumberLine(*m_Lines, 3, scan.position)) return Fail("expected the scanner position");
  for (auto& axis : scan.axes)
    if (!ReadNumberLine(*m_Lines, 3, axis)) return Fail("expected a scanner axis");
  for (auto& row : scan.fileMatrix)
    if (!ReadNumberLine(*m_Lines, 4, row)) return Fail("expected a line of the scan matrix");
  SetTransform(scan);
  m_InScan = true;
  return true;
}

bool CPtxReader::NextScan(PtxScan& scan) {
  PtxPoint unread;
  while (NextPoint(unread) == 1) {
  }
  return !m_Ended && ReadHeader(scan);
}

int CPtxReader::NextPoint(PtxPoint& point) {
  if (!m_InScan) return 0;
  Line line;
  if (!NextContentLine(*m_Lines, line)) {
    m_InScan = false;
    m_Ended = true;
    if (m_Lines->ReadFailed()) m_Problem = "the file could not be read to its end";
    return 0;
  }
  double v[7];
  int count = ScanFields(line, "ffffddd", v);
  if (count == 4 || count == 7) {
    point = PtxPoint();
    point.x = v[0], point.y = v[1], point.z = v[2], point.intensity = v[3];
    point.hasColour = count == 7;
    for (int c = 0; point.hasColour && c < 3; ++c) point.rgb[c] = ColourByte(v[4 + c]);
    point.valid = AllFinite(v, 4) && !IsMissingPoint(point);
    return 1;
  }
  int64_t columns = 0;
  if (IsLoneInteger(line, columns) && columns >= 0 && columns <= INT_MAX) {
    m_PendingColumns = int(columns);
    m_HasPendingColumns = true;
    m_InScan = false;
    return 0;
  }
  Fail(line.tooLong ? "line too long for a point" : "expected a point or the next scan");
  return 0;
}

bool TransformPtxPoint(const PtxScan& scan, double& x, double& y, double& z) {
  if (!scan.transformed) return true;
  return ApplyHomogeneous(scan.transform, x, y, z);
}

int64_t PtxScanPointCount(const PtxScan& scan) {
  if (scan.columns <= 0 || scan.rows <= 0) return 0;
  return int64_t(scan.columns) * scan.rows;
}

// ---- ASCII models ----

namespace {

constexpr size_t kMaxModelLine = 512;
constexpr int kMaxUnknownHeaderLines = 10;  // the tenth abandons the file

// The arrays of a model under construction.
struct ModelBuilder {
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> rgb;
  vtkNew<vtkIntArray> intensity;
  vtkNew<vtkFloatArray> normals;

  ModelBuilder() {
    points->SetDataTypeToDouble();  // world coordinates: float would lose centimetres
    rgb->SetName("RGB");
    rgb->SetNumberOfComponents(3);
    intensity->SetName("Intensity");
    normals->SetName("Normals");
    normals->SetNumberOfComponents(3);
  }

  void AddPoint(double x, double y, double z, const uint8_t colour[3]) {
    points->InsertNextPoint(x, y, z);
    rgb->InsertNextTypedTuple(colour);
  }
};

vtkSmartPointer<vtkPolyData> BuildModel(ModelBuilder& b, bool coloured, vtkDataArray* extra) {
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(b.points);
  model->SetVerts(VertexCells(b.points->GetNumberOfPoints()));
  vtkPointData* data = model->GetPointData();
  bool hasExtra = extra->GetNumberOfTuples() > 0;
  if (coloured) {
    data->SetScalars(b.rgb);
    if (hasExtra) data->AddArray(extra);
  } else if (hasExtra) {
    data->SetScalars(extra);
  }
  return model;
}

vtkSmartPointer<vtkPolyData> Abandon(AsciiModelInfo& info, std::string problem) {
  info.abandoned = true;
  info.points = 0;
  info.coloured = false;
  info.problem = std::move(problem);
  return nullptr;
}

// PTS intensities run from -2048 to 2047 (some writers use -4095 to 4096); grey spreads that
// range over 0..255.
uint8_t GreyOfIntensity(int intensity) {
  return ColourByte((intensity + 4095.0) / 8191.0 * 255.0);
}

vtkSmartPointer<vtkPolyData> ReadPtsBlocks(LineSource& lines, AsciiModelInfo& info) {
  info.format = AsciiModelFormat::PtsBlocks;
  ModelBuilder builder;
  bool coloured = false;
  for (Line line; lines.Next(line);) {
    if (IsBlank(line)) continue;
    double v[7];
    int count = ScanFields(line, "fffdddd", v);
    int64_t blockCount = 0;
    if (count != 4 && count != 7) {
      if (IsLoneInteger(line, blockCount)) continue;  // the next block's count
      return Abandon(info, LineProblem(lines.LineNumber(),
                                       line.tooLong ? "line too long"
                                                    : "expected \"x y z intensity [r g b]\""));
    }
    if ((v[0] == 0 && v[1] == 0 && v[2] == 0) || !AllFinite(v, 3)) {
      ++info.skippedPoints;
      continue;
    }
    int intensity = int(v[3]);
    uint8_t grey = GreyOfIntensity(intensity);
    uint8_t colour[3] = {grey, grey, grey};
    if (count == 7) {
      coloured = true;
      for (int c = 0; c < 3; ++c) colour[c] = ColourByte(v[4 + c]);
    }
    builder.AddPoint(v[0], v[1], v[2], colour);
    builder.intensity->InsertNextValue(intensity);
  }
  if (lines.ReadFailed()) return Abandon(info, "the file could not be read to its end");
  info.points = builder.points->GetNumberOfPoints();
  info.coloured = coloured;
  return BuildModel(builder, coloured, builder.intensity);
}

// ---- The version 2.0 format ----

// Matches `phrase` at the start of the line (after blanks) without regard to case; a blank in
// the phrase matches any run of blanks, none included, as in a scanf format. Returns where
// the match ends, or null.
const char* MatchPhrase(const Line& line, const char* phrase) {
  if (line.tooLong) return nullptr;
  const char* p = SkipSpace(line.begin, line.end);
  for (; *phrase; ++phrase) {
    if (*phrase == ' ') {
      p = SkipSpace(p, line.end);
    } else {
      if (p == line.end || std::tolower(static_cast<unsigned char>(*p)) != *phrase) return nullptr;
      ++p;
    }
  }
  return p;
}

struct Version2Header {
  Matrix4 transform = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  int64_t vertexCount = -1;  // -1 when the file gives none: every line is then a vertex
};

bool ReadMatrixRows(LineSource& lines, Matrix4 matrix) {
  for (int row = 0; row < 4; ++row) {
    Line line;
    if (!NextContentLine(lines, line) || ScanFields(line, "ffff", matrix[row]) < 4 ||
        !AllFinite(matrix[row], 4))
      return false;
  }
  return true;
}

enum class HeaderLine { Used, Unknown, FirstVertex, Broken };

HeaderLine ReadHeaderLine(LineSource& lines, const Line& line, Version2Header& header,
                          std::string& problem) {
  Matrix4 projection;  // read to move past it; models carry no projection
  bool transform = MatchPhrase(line, "transform matrix") != nullptr;
  if (transform || MatchPhrase(line, "projection matrix")) {
    if (ReadMatrixRows(lines, transform ? header.transform : projection)) return HeaderLine::Used;
    problem = LineProblem(lines.LineNumber(), "expected four matrix values");
    return HeaderLine::Broken;
  }
  if (const char* value = MatchPhrase(line, "number of vertices :")) {
    double count = 0;
    if (!ScanInt(value, line.end, count)) return HeaderLine::Unknown;
    if (count < 0) {
      problem = LineProblem(lines.LineNumber(), "negative vertex count");
      return HeaderLine::Broken;
    }
    header.vertexCount = int64_t(count);
    return HeaderLine::Used;
  }
  if (MatchPhrase(line, "shell type :") || MatchPhrase(line, "image file :") ||
      MatchPhrase(line, "has vertex color :"))
    return HeaderLine::Used;
  double v[6];
  return ScanFields(line, "fffddd", v) >= 3 ? HeaderLine::FirstVertex : HeaderLine::Unknown;
}

// The normal transform: the inverse transpose of the upper-left 3x3, as the cofactor matrix
// carrying the determinant's sign (lengths do not matter, normals are renormalised). For a
// rotation it is the rotation itself; under uneven scaling it keeps normals perpendicular to
// the surface, where the plain 3x3 would tilt them.
void NormalMatrix(const Matrix4 m, double out[3][3]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      out[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
    }
  double det = m[0][0] * out[0][0] + m[0][1] * out[0][1] + m[0][2] * out[0][2];
  if (det < 0)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) out[r][c] = -out[r][c];
}

class Version2Reader {
 public:
  Version2Reader(LineSource& lines, AsciiModelInfo& info) : m_Lines(lines), m_Info(info) {}

  vtkSmartPointer<vtkPolyData> Read() {
    m_Info.format = AsciiModelFormat::Version2;
    Line line;
    if (!ReadHeader(line)) return Abandon(m_Info, m_Problem);
    m_Coloured = ScanFields(line, "fffddd", m_Values) == 6;
    NormalMatrix(m_Header.transform, m_NormalMatrix);
    if (!ReadBody(line)) return Abandon(m_Info, m_Problem);
    if (m_Lines.ReadFailed()) return Abandon(m_Info, "the file could not be read to its end");
    DropIncompleteNormals();
    m_Info.points = m_Builder.points->GetNumberOfPoints();
    m_Info.coloured = m_Coloured && m_Info.points > 0;  // every vertex may have been left out
    return BuildModel(m_Builder, m_Info.coloured, m_Builder.normals);
  }

 private:
  // Reads up to the first vertex line, left in `line`; false with m_Problem set.
  bool ReadHeader(Line& line) {
    int unknown = 0;
    while (NextContentLine(m_Lines, line)) {
      switch (ReadHeaderLine(m_Lines, line, m_Header, m_Problem)) {
        case HeaderLine::FirstVertex:
          return true;
        case HeaderLine::Broken:
          return false;
        case HeaderLine::Unknown:
          if (++unknown >= kMaxUnknownHeaderLines)
            return Fail("too many unrecognised header lines");
          break;
        case HeaderLine::Used:
          break;
      }
    }
    m_Problem = "no vertices";
    return false;
  }

  bool Fail(const char* what) {
    m_Problem = LineProblem(m_Lines.LineNumber(), what);
    return false;
  }

  bool ReadBody(Line& line) {
    do {
      if (IsBlank(line)) continue;
      bool isVertex = m_Header.vertexCount < 0 || m_VertexLines < m_Header.vertexCount;
      if (!(isVertex ? AddVertex(line) : AddNormal(line)))
        return Fail(!isVertex    ? "expected a normal \"x y z\""
                    : m_Coloured ? "expected a vertex \"x y z r g b\""
                                 : "expected a vertex \"x y z\"");
    } while (m_Lines.Next(line));
    return true;
  }

  bool AddVertex(const Line& line) {
    if (ScanFields(line, "fffddd", m_Values) < (m_Coloured ? 6 : 3)) return false;
    ++m_VertexLines;
    double x = m_Values[0], y = m_Values[1], z = m_Values[2];
    bool placed = AllFinite(m_Values, 3) && ApplyHomogeneous(m_Header.transform, x, y, z);
    m_Placed.push_back(placed);
    if (!placed) {
      ++m_Info.skippedPoints;
      return true;
    }
    uint8_t colour[3] = {0, 0, 0};
    for (int c = 0; m_Coloured && c < 3; ++c) colour[c] = ColourByte(m_Values[3 + c]);
    m_Builder.AddPoint(x, y, z, colour);
    return true;
  }

  // Normals follow the vertices one for one; those of vertices left out are dropped with them.
  bool AddNormal(const Line& line) {
    if (ScanFields(line, "fff", m_Values) < 3) return false;
    size_t vertex = size_t(m_NormalLines++);
    if (vertex >= m_Placed.size() || !m_Placed[vertex]) return true;
    double n[3];
    for (int r = 0; r < 3; ++r)
      n[r] = m_NormalMatrix[r][0] * m_Values[0] + m_NormalMatrix[r][1] * m_Values[1] +
             m_NormalMatrix[r][2] * m_Values[2];
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    bool usable = length > 0 && std::isfinite(length);
    for (double& value : n) value = usable ? value / length : 0.0;
    m_Builder.normals->InsertNextTuple(n);
    return true;
  }

  // A normals array must hold one tuple per point or none.
  void DropIncompleteNormals() {
    vtkIdType normals = m_Builder.normals->GetNumberOfTuples();
    if (normals == 0 || normals == m_Builder.points->GetNumberOfPoints()) return;
    m_Info.problem = "normals dropped: " + std::to_string(m_NormalLines) + " normal lines for " +
                     std::to_string(m_VertexLines) + " vertices";
    m_Builder.normals->Initialize();
  }

  LineSource& m_Lines;
  AsciiModelInfo& m_Info;
  Version2Header m_Header;
  double m_NormalMatrix[3][3];
  ModelBuilder m_Builder;
  bool m_Coloured = false;
  std::string m_Problem;
  double m_Values[6];
  int64_t m_VertexLines = 0, m_NormalLines = 0;
  std::vector<bool> m_Placed;  // per vertex line: kept as a point
};

bool IsVersion2Line(const Line& line) {
  static const char kTag[] = "#version 2.0";
  if (line.tooLong || size_t(line.end - line.begin) != sizeof kTag - 1) return false;
  return std::equal(line.begin, line.end, kTag, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

}  // namespace

vtkSmartPointer<vtkPolyData> ReadAsciiModel(const std::string& path, AsciiModelInfo& info) {
  info = AsciiModelInfo();
  FilePtr file = OpenRegularFile(path);
  if (!file) return Abandon(info, "cannot open the file");
  LineSource lines(std::move(file), kMaxModelLine);
  Line first;
  int64_t count = 0;
  if (!lines.Next(first)) return Abandon(info, "empty file");
  if (IsVersion2Line(first)) return Version2Reader(lines, info).Read();
  if (IsLoneInteger(first, count)) return ReadPtsBlocks(lines, info);
  return Abandon(info, "line 1: neither a PTS point count nor \"#version 2.0\"");
}

// One vertex cell per point, built in one go.
vtkSmartPointer<vtkCellArray> VertexCells(vtkIdType count) {
  vtkNew<vtkIdTypeArray> offsets, connectivity;
  offsets->SetNumberOfValues(count + 1);
  connectivity->SetNumberOfValues(count);
  for (vtkIdType i = 0; i < count; ++i) {
    offsets->SetValue(i, i);
    connectivity->SetValue(i, i);
  }
  offsets->SetValue(count, count);
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}
