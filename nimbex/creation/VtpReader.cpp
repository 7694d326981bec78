#include "nimbex/creation/VtpReader.h"

#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkDataArraySelection.h>
#include <vtkExecutive.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkType.h>
#include <vtkXMLDataElement.h>
#include <vtkXMLDataParser.h>
#include <vtkXMLPolyDataReader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "nimbex/creation/ScanText.h"
#include "nimbex/platform/Profile.h"

using scantext::IsSpace;

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
