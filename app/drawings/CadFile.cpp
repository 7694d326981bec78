#include "CadFile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_featurestyle.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "nimbex/platform/Sinks.h"

namespace {

namespace fs = std::filesystem;

std::string LowerExtension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

void Advance(CProgressSink* progress, int step) {
  if (progress) progress->SetPos(step);
}

// GDAL's messages while a file is read or written: the first failure tells what went wrong.
class CGdalErrors {
 public:
  CGdalErrors() {
    CPLErrorReset();
    CPLPushErrorHandlerEx(&CGdalErrors::Handler, this);
  }
  ~CGdalErrors() { CPLPopErrorHandler(); }
  bool Failed() const { return !m_Failure.empty(); }
  const std::string& Failure() const { return m_Failure; }

 private:
  static void CPL_STDCALL Handler(CPLErr type, CPLErrorNum, const char* message) {
    auto* self = static_cast<CGdalErrors*>(CPLGetErrorHandlerUserData());
    if (type >= CE_Failure && self->m_Failure.empty()) self->m_Failure = message ? message : "";
  }
  std::string m_Failure;
};

void RegisterDrivers() {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
}

// ---------------------------------------------------------------------------------------
// What OGR does not tell about a DXF: the layer table (colours, visibility) and the text
// encoding, read from the file's group code / value pairs.

struct DxfLayer {
  std::string name;
  int color = 7;
  bool visible = true;
};

struct DxfTables {
  std::vector<DxfLayer> layers;
  std::string codePage;
};

void Trim(std::string& text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t first = 0;
  while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  text.erase(0, first);
}

class CDxfPairs {
 public:
  explicit CDxfPairs(const std::string& text) : m_Text(text) {}
  // Values keep their spaces, as OGR keeps them in names.
  bool Next(int& code, std::string& value) {
    std::string codeLine;
    if (!Line(codeLine) || !Line(value)) return false;
    Trim(codeLine);
    char* end = nullptr;
    const long parsed = std::strtol(codeLine.c_str(), &end, 10);
    if (end == codeLine.c_str()) return false;
    code = static_cast<int>(parsed);
    return true;
  }

 private:
  bool Line(std::string& line) {
    if (m_Pos >= m_Text.size()) return false;
    size_t end = m_Text.find('\n', m_Pos);
    if (end == std::string::npos) end = m_Text.size();
    line.assign(m_Text, m_Pos, end - m_Pos);
    m_Pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  const std::string& m_Text;
  size_t m_Pos = 0;
};

int ToInt(const std::string& value, int fallback) {
  char* end = nullptr;
  const long parsed = std::strtol(value.c_str(), &end, 10);
  if (end == value.c_str() || parsed < -32768 || parsed > 32767) return fallback;
  return static_cast<int>(parsed);
}

DxfTables ReadDxfTables(const std::string& text) {
  DxfTables tables;
  CDxfPairs pairs(text);
  int code = 0;
  std::string value, section, table, header;
  bool expectSectionName = false, expectTableName = false;
  DxfLayer* record = nullptr;
  std::string raw;
  while (pairs.Next(code, raw)) {
    value = raw;
    Trim(value);
    if (code == 0) {
      record = nullptr;
      expectSectionName = value == "SECTION";
      expectTableName = value == "TABLE" && section == "TABLES";
      if (value == "ENDSEC") section.clear();
      if (value == "ENDTAB") table.clear();
      if (value == "EOF") break;
      if (value == "LAYER" && table == "LAYER") {
        tables.layers.emplace_back();
        record = &tables.layers.back();
      }
      continue;
    }
    if (code == 2 && expectSectionName) {
      section = value, expectSectionName = false;
    } else if (code == 2 && expectTableName) {
      table = value, expectTableName = false;
    } else if (section == "HEADER" && code == 9) {
      header = value;
    } else if (section == "HEADER" && code == 3 && header == "$DWGCODEPAGE") {
      tables.codePage = value;
    } else if (record && code == 2) {
      record->name = raw;
    } else if (record && code == 62) {
      const int color = ToInt(value, 7);
      record->color = std::abs(color);
      if (color < 0) record->visible = false;
    } else if (record && code == 70) {
      if (ToInt(value, 0) & 1) record->visible = false;  // frozen
    }
  }
  tables.layers.erase(std::remove_if(tables.layers.begin(), tables.layers.end(),
                                     [](const DxfLayer& layer) { return layer.name.empty(); }),
                      tables.layers.end());
  return tables;
}

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int follow = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (follow < 0 || i + follow >= text.size()) return false;
    for (int k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += follow + 1;
  }
  return true;
}

// The encoding of the file's names and texts. Files whose bytes are valid UTF-8 are read as
// UTF-8 whatever their header says: writers often declare a code page and store UTF-8.
std::string DxfEncoding(const std::string& text, const DxfTables& tables) {
  if (IsValidUtf8(text)) return "UTF-8";
  const std::string& page = tables.codePage;
  if (page.size() > 5 && EQUALN(page.c_str(), "ANSI_", 5)) return "CP" + page.substr(5);
  return "CP1252";
}

// ---------------------------------------------------------------------------------------
// Formats that are refused before OGR sees them.

std::string DwgVersionName(const std::string& signature) {
  static const std::map<std::string, std::string> kNames = {
      {"AC1012", "R13"},   {"AC1014", "R14"},   {"AC1015", "R2000"}, {"AC1018", "R2004"},
      {"AC1021", "R2007"}, {"AC1024", "R2010"}, {"AC1027", "R2013"}, {"AC1032", "R2018"}};
  const auto found = kNames.find(signature);
  return found == kNames.end() ? "" : found->second;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  bytes = content.str();
  return true;
}

std::string RefusedDwg(const std::string& path, const std::string& bytes) {
  const std::string signature = bytes.substr(0, 6);
  if (signature == "AC1015") return "";
  const std::string version = DwgVersionName(signature);
  if (version.empty())
    return path + " is not a DWG file (it does not start with a DWG version signature).";
  return path + " is a DWG file of version " + version + " (" + signature +
         "); only R2000 (AC1015) DWG files can be read. Save it from the CAD program as DXF, "
         "or as an R2000 DWG, and open that.";
}

// ---------------------------------------------------------------------------------------
// OGR features into entities.

struct FeatureStyle {
  unsigned color = 0xffffff;  // red in the low byte
  bool hasColor = false;
  bool invisible = false;
  std::string text;
  double textHeight = 0, textAngle = 0;
  bool isLabel = false;
};

void TakeColor(OGRStyleTool& tool, const char* color, FeatureStyle& style) {
  int r = 0, g = 0, b = 0, a = 255;
  if (!color || !tool.GetRGBFromString(color, r, g, b, a)) return;
  style.color = unsigned(r) | unsigned(g) << 8 | unsigned(b) << 16;
  style.hasColor = true;
  style.invisible = a == 0;
}

FeatureStyle ReadStyle(OGRFeature& feature) {
  FeatureStyle style;
  OGRStyleMgr manager;
  if (!manager.InitFromFeature(&feature)) return style;
  for (int i = 0; i < manager.GetPartCount(); ++i) {
    std::unique_ptr<OGRStyleTool> tool(manager.GetPart(i));
    if (!tool) continue;
    GBool isNull = TRUE;
    switch (tool->GetType()) {
      case OGRSTCPen: {
        auto& pen = static_cast<OGRStylePen&>(*tool);
        const char* color = pen.Color(isNull);
        if (!isNull && !style.hasColor) TakeColor(pen, color, style);
        break;
      }
      case OGRSTCBrush: {
        auto& brush = static_cast<OGRStyleBrush&>(*tool);
        const char* color = brush.ForeColor(isNull);
        if (!isNull && !style.hasColor) TakeColor(brush, color, style);
        break;
      }
      case OGRSTCLabel: {
        auto& label = static_cast<OGRStyleLabel&>(*tool);
        label.SetUnit(OGRSTUGround, 1.0);
        style.isLabel = true;
        const char* text = label.TextString(isNull);
        if (!isNull && text) style.text = text;
        const double size = label.Size(isNull);
        if (!isNull && std::isfinite(size) && size > 0) style.textHeight = size;
        const double angle = label.Angle(isNull);
        if (!isNull && std::isfinite(angle)) style.textAngle = angle;
        const char* color = label.ForeColor(isNull);
        if (!isNull) TakeColor(label, color, style);
        break;
      }
      default:
        break;
    }
  }
  return style;
}

bool IsFinite(const CadPoint& point) {
  return std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z);
}

// Equal but for the rounding of the drivers' arc approximations.
bool SamePoint(const CadPoint& a, const CadPoint& b) {
  const double scale = std::max({1.0, std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)});
  return std::fabs(a.x - b.x) <= 1e-12 * scale && std::fabs(a.y - b.y) <= 1e-12 * scale &&
         std::fabs(a.z - b.z) <= 1e-12 * scale;
}

class CEntityReader {
 public:
  CEntityReader(CCadDrawing& drawing, CadEntity prototype)
      : m_Drawing(drawing), m_Prototype(std::move(prototype)) {}

  void Add(const OGRGeometry& geometry, const FeatureStyle& style) {
    switch (wkbFlatten(geometry.getGeometryType())) {
      case wkbPoint:
        AddPoint(static_cast<const OGRPoint&>(geometry), style);
        break;
      case wkbLineString:
        AddCurve(static_cast<const OGRLineString&>(geometry));
        break;
      case wkbCircularString:
        AddCircularString(static_cast<const OGRCircularString&>(geometry));
        break;
      case wkbPolygon:
        for (const OGRLinearRing* ring : static_cast<const OGRPolygon&>(geometry)) AddCurve(*ring);
        break;
      case wkbMultiPoint:
      case wkbMultiLineString:
      case wkbMultiPolygon:
      case wkbGeometryCollection:
      case wkbMultiCurve:
      case wkbMultiSurface:
        for (const OGRGeometry* part : static_cast<const OGRGeometryCollection&>(geometry))
          if (part) Add(*part, style);
        break;
      default: {
        std::unique_ptr<OGRGeometry> linear(geometry.getLinearGeometry());
        if (linear &&
            wkbFlatten(linear->getGeometryType()) != wkbFlatten(geometry.getGeometryType()))
          Add(*linear, style);
      }
    }
  }

 private:
  void AddPoint(const OGRPoint& point, const FeatureStyle& style) {
    CadEntity entity = m_Prototype;
    entity.vertices = {{point.getX(), point.getY(), point.getZ()}};
    if (!IsFinite(entity.vertices[0])) return;
    if (style.isLabel && !style.text.empty()) {
      entity.type = CAD_TEXT;
      entity.text = style.text;
      entity.textHeight = style.textHeight;
      entity.textAngle = style.textAngle;
    } else {
      entity.type = CAD_POINT;
    }
    m_Drawing.AddEntity(std::move(entity));
  }

  void AddCurve(const OGRSimpleCurve& curve) {
    CadEntity entity = m_Prototype;
    for (int i = 0; i < curve.getNumPoints(); ++i) {
      const CadPoint vertex{curve.getX(i), curve.getY(i), curve.getZ(i)};
      if (!IsFinite(vertex)) return;
      entity.vertices.push_back(vertex);
    }
    const size_t count = entity.vertices.size();
    if (count < 2) {
      if (count == 1) entity.type = CAD_POINT, m_Drawing.AddEntity(std::move(entity));
      return;
    }
    if (count >= 3 && SamePoint(entity.vertices.front(), entity.vertices.back())) {
      entity.vertices.pop_back();
      entity.closed = true;
    }
    entity.type = entity.vertices.size() == 2 && !entity.closed ? CAD_LINE : CAD_POLYLINE;
    m_Drawing.AddEntity(std::move(entity));
  }

  // A whole circle (five points through its quadrants, the last on the first) stays a circle;
  // arcs become the polylines OGR approximates them by.
  void AddCircularString(const OGRCircularString& arc) {
    if (arc.getNumPoints() == 5 && arc.get_IsClosed()) {
      OGRPoint first, opposite;
      arc.getPoint(0, &first);
      arc.getPoint(2, &opposite);
      CadEntity entity = m_Prototype;
      entity.type = CAD_CIRCLE;
      entity.vertices = {{(first.getX() + opposite.getX()) / 2,
                          (first.getY() + opposite.getY()) / 2,
                          (first.getZ() + opposite.getZ()) / 2}};
      entity.radius =
          std::hypot(opposite.getX() - first.getX(), opposite.getY() - first.getY()) / 2;
      if (IsFinite(entity.vertices[0]) && std::isfinite(entity.radius)) {
        m_Drawing.AddEntity(std::move(entity));
        return;
      }
    }
    std::unique_ptr<OGRLineString> linear(arc.CurveToLine());
    if (linear) AddCurve(*linear);
  }

  CCadDrawing& m_Drawing;
  CadEntity m_Prototype;
};

int LayerFor(CCadDrawing& drawing, const std::string& name) {
  if (CadLayer* layer = drawing.GetLayerByName(name)) return layer->id;
  return drawing.AddLayer(name, 7);
}

void ReadFeature(CCadDrawing& drawing, OGRFeature& feature, const std::string& layerName) {
  const OGRGeometry* geometry = feature.GetGeometryRef();
  if (!geometry) return;
  const int paperSpace = feature.GetFieldIndex("PaperSpace");
  if (paperSpace >= 0 && feature.IsFieldSetAndNotNull(paperSpace) &&
      feature.GetFieldAsInteger(paperSpace) == 1)
    return;
  const int layerField = feature.GetFieldIndex("Layer");
  const std::string name = layerField >= 0 && feature.IsFieldSetAndNotNull(layerField)
                               ? feature.GetFieldAsString(layerField)
                               : layerName;
  const FeatureStyle style = ReadStyle(feature);
  CadEntity prototype;
  prototype.layerId = LayerFor(drawing, name.empty() ? "0" : name);
  const CadLayer* layer = drawing.GetLayerByID(prototype.layerId);
  // OGR gives invisible entities, and those of hidden layers, a transparent black: their
  // colour is unknown, and only an entity of a shown layer is invisible of its own.
  const int index =
      style.hasColor && !style.invisible ? CadColorIndexOf(style.color) : layer->color;
  // Indices of one colour (1 and 10 are both red) are told apart by the layer's.
  prototype.color = CadGetColor(index) == CadGetColor(layer->color) ? kCadColorByLayer : index;
  prototype.visible = !(style.invisible && layer->visible);
  const int handle = feature.GetFieldIndex("EntityHandle");
  if (handle >= 0 && feature.IsFieldSetAndNotNull(handle))
    prototype.handle = feature.GetFieldAsString(handle);
  CEntityReader(drawing, std::move(prototype)).Add(*geometry, style);
}

struct GdalDatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, GdalDatasetCloser>;

// Keeps a GDAL configuration option set on this thread while a file is read.
class CThreadConfig {
 public:
  CThreadConfig(const char* key, const std::string& value) : m_Key(key) {
    const char* previous = CPLGetThreadLocalConfigOption(key, nullptr);
    if (previous) m_Previous = previous, m_HadPrevious = true;
    CPLSetThreadLocalConfigOption(key, value.c_str());
  }
  ~CThreadConfig() {
    CPLSetThreadLocalConfigOption(m_Key, m_HadPrevious ? m_Previous.c_str() : nullptr);
  }

 private:
  const char* m_Key;
  std::string m_Previous;
  bool m_HadPrevious = false;
};

int ReadDataset(CCadDrawing& drawing, const std::string& path, const char* driver,
                std::string& error, CProgressSink* progress) {
  CGdalErrors errors;
  const char* drivers[] = {driver, nullptr};
  DatasetPtr dataset(static_cast<GDALDataset*>(
      GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, nullptr, nullptr)));
  Advance(progress, 3);
  if (!dataset) {
    error = path + " could not be read as " + driver + ": " +
            (errors.Failed() ? errors.Failure() : "the driver does not recognise it") + ".";
    return 0;
  }
  for (OGRLayer* layer : dataset->GetLayers()) {
    layer->ResetReading();
    const std::string layerName = layer->GetName();
    while (OGRFeature* raw = layer->GetNextFeature()) {
      std::unique_ptr<OGRFeature> feature(raw);
      ReadFeature(drawing, *feature, layerName);
    }
  }
  Advance(progress, 4);
  if (errors.Failed()) {
    error = path + " is damaged: " + errors.Failure() + ".";
    return 0;
  }
  return 1;
}

void AddTableLayers(CCadDrawing& drawing, const DxfTables& tables, const std::string& encoding) {
  for (const DxfLayer& table : tables.layers) {
    std::string name = table.name;
    if (encoding != "UTF-8") {
      char* recoded = CPLRecode(name.c_str(), encoding.c_str(), CPL_ENC_UTF8);
      name = recoded;
      CPLFree(recoded);
    }
    CadLayer* layer = drawing.GetLayerByID(drawing.AddLayer(name, table.color));
    layer->color = table.color >= 1 && table.color <= 255 ? table.color : 7;
    layer->visible = table.visible;
  }
}

// ---------------------------------------------------------------------------------------
// Writing.

// OGR's own colour of an index: 7 is black on its white paper.
std::string OgrColorOf(int index) {
  const unsigned color = index == 7 ? 0 : CadGetColor(index);
  char text[16];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", color & 0xff, (color >> 8) & 0xff,
                (color >> 16) & 0xff);
  return text;
}

std::string QuotedStyleText(const std::string& text) {
  std::string quoted;
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// A DXF value is one line of at most 255 bytes (GDAL's writer cuts longer ones), and layer
// names have no < > / \\ " : ; ? * | = (the writer turns them into "_" in the entities): the
// layer table follows the same rules.
std::string DxfName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>/\\\":;?*|=", c)) c = '_';
  if (safe.size() > 255) {
    size_t end = 255;
    while (end > 0 && (static_cast<unsigned char>(safe[end]) & 0xC0) == 0x80) --end;
    safe.resize(end);
  }
  return safe;
}

std::string LayerRecord(const CadLayer& layer, int handle) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%X", handle);
  return "  0\nLAYER\n  5\n" + std::string(numbers) +
         "\n330\n2\n100\nAcDbSymbolTableRecord\n100\nAcDbLayerTableRecord\n  2\n" +
         DxfName(layer.name) + "\n 70\n     0\n 62\n" +
         std::to_string(layer.visible ? layer.color : -layer.color) + "\n  6\nContinuous\n";
}

// GDAL's header template with the drawing's layers in its layer table, so that the layers
// keep their colours and visibility (the writer gives layers it adds itself those of "0").
bool MakeHeader(const CCadDrawing& drawing, const std::string& target, std::string& error) {
  const char* templatePath = CPLFindFile("gdal", "header.dxf");
  std::string header;
  if (!templatePath || !ReadFile(templatePath, header)) {
    error = "GDAL's DXF header template (header.dxf) was not found: reinstall GDAL's data files.";
    return false;
  }
  header.erase(std::remove(header.begin(), header.end(), '\r'), header.end());
  const size_t table = header.find("  2\nLAYER\n");
  const size_t first = table == std::string::npos ? table : header.find("  0\nLAYER\n", table);
  const size_t end = first == std::string::npos ? first : header.find("  0\nENDTAB\n", first);
  if (end == std::string::npos) {
    error = std::string("GDAL's DXF header template ") + templatePath + " has no layer table.";
    return false;
  }
  std::string records;
  std::set<std::string> names;
  int handle = 0x10;
  for (const CadLayer& layer : drawing.GetLayers())
    if (names.insert(DxfName(layer.name)).second)
      records += LayerRecord(layer, layer.name == "0" ? 0x10 : 0xA000 + handle++);
  header.replace(first, end - first, records);
  VSILFILE* file = VSIFOpenL(target.c_str(), "wb");
  if (!file) return false;
  VSIFWriteL(header.data(), 1, header.size(), file);
  VSIFCloseL(file);
  return true;
}

// GDAL's writer stores texts in the header's code page (ANSI_1252) but layer names as they
// come, in UTF-8: the names are brought to the code page as well, characters it lacks as
// the \U+XXXX escapes of DXF, so that the file reads the same everywhere.
std::string ToCodePage1252(const std::string& utf8) {
  std::string result;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int follow = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    unsigned code = follow == 0 ? c : c & (0x3F >> follow);
    for (int k = 1; k <= follow && i + k < utf8.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += follow + 1;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      result += static_cast<char>(code);
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\U+%04X", code);
      result += escape;
    }
  }
  return result;
}

bool HasNonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; });
}

bool BringNamesToCodePage(const std::string& path) {
  std::string bytes;
  if (!ReadFile(path, bytes)) return false;
  std::string result;
  result.reserve(bytes.size());
  size_t pos = 0;
  bool isCode = true, isName = false;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(pos, end - pos);
    pos = end;
    if (isCode) {
      const int code = ToInt(line, -1);
      isName = code == 2 || code == 8;
    } else if (isName && HasNonAscii(line) && IsValidUtf8(line)) {
      line = ToCodePage1252(line);
    }
    result += line;
    isCode = !isCode;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(result.data(), static_cast<std::streamsize>(result.size()));
  return static_cast<bool>(file);
}

void AddVertices(OGRSimpleCurve& curve, const std::vector<CadPoint>& vertices, bool closed) {
  for (const CadPoint& vertex : vertices) curve.addPoint(vertex.x, vertex.y, vertex.z);
  if (closed && !vertices.empty()) curve.addPoint(vertices[0].x, vertices[0].y, vertices[0].z);
}

std::unique_ptr<OGRGeometry> GeometryOf(const CadEntity& entity) {
  if (entity.vertices.empty() && entity.type != CAD_RECT) return nullptr;
  switch (entity.type) {
    case CAD_POINT:
    case CAD_TEXT: {
      const CadPoint& p = entity.vertices[0];
      return std::make_unique<OGRPoint>(p.x, p.y, p.z);
    }
    case CAD_LINE:
    case CAD_POLYLINE: {
      auto line = std::make_unique<OGRLineString>();
      AddVertices(*line, entity.vertices, entity.closed);
      return line;
    }
    case CAD_RECT: {
      const CadPoint& c = entity.centre;
      const double w = entity.width / 2, h = entity.height / 2;
      auto line = std::make_unique<OGRLineString>();
      AddVertices(*line,
                  {{c.x - w, c.y - h, c.z},
                   {c.x + w, c.y - h, c.z},
                   {c.x + w, c.y + h, c.z},
                   {c.x - w, c.y + h, c.z}},
                  true);
      return line;
    }
    case CAD_CIRCLE:
    case CAD_ARC: {
      const CadPoint& c = entity.vertices[0];
      const bool circle = entity.type == CAD_CIRCLE;
      double sweep = circle ? 360 : std::fmod(entity.endAngle - entity.startAngle + 720, 360);
      if (!circle && sweep == 0) sweep = 360;
      const int segments = std::max(4, static_cast<int>(std::ceil(sweep / 5)));
      auto line = std::make_unique<OGRLineString>();
      for (int i = 0; i <= segments; ++i) {
        const double angle = (entity.startAngle * !circle + sweep * i / segments) * M_PI / 180;
        line->addPoint(c.x + entity.radius * std::cos(angle), c.y + entity.radius * std::sin(angle),
                       c.z);
      }
      return line;
    }
    default:
      return nullptr;
  }
}

std::string StyleOf(const CCadDrawing& drawing, const CadEntity& entity) {
  const bool byLayer = entity.color == kCadColorByLayer;
  const std::string color = OgrColorOf(drawing.GetEntityColorIndex(entity));
  if (entity.type == CAD_TEXT) {
    char size[64] = "";
    if (entity.textHeight > 0) std::snprintf(size, sizeof size, ",s:%.17gg", entity.textHeight);
    char angle[64] = "";
    if (entity.textAngle != 0) std::snprintf(angle, sizeof angle, ",a:%.17g", entity.textAngle);
    return "LABEL(f:\"Arial\",t:\"" + QuotedStyleText(entity.text) + "\"" + size + angle +
           (byLayer ? "" : ",c:" + color) + ")";
  }
  return byLayer ? "" : "PEN(c:" + color + ")";
}

int WriteEntities(const CCadDrawing& drawing, OGRLayer& layer, std::string& error) {
  for (const CadEntity& entity : drawing.GetEntities()) {
    if (entity.deleted) continue;
    std::unique_ptr<OGRGeometry> geometry = GeometryOf(entity);
    if (!geometry) continue;
    OGRFeature feature(layer.GetLayerDefn());
    const CadLayer* owner = const_cast<CCadDrawing&>(drawing).GetLayerByID(entity.layerId);
    feature.SetField("Layer", owner ? DxfName(owner->name).c_str() : "0");
    const std::string style = StyleOf(drawing, entity);
    if (!style.empty()) feature.SetStyleString(style.c_str());
    feature.SetGeometryDirectly(geometry.release());
    if (layer.CreateFeature(&feature) != OGRERR_NONE) {
      error = "an entity could not be written";
      return 0;
    }
  }
  return 1;
}

}  // namespace

int CadColorIndexOf(unsigned color) {
  if ((color & 0xffffff) == 0) return 7;
  int best = 7;
  long bestDistance = -1;
  for (int index = 1; index <= 255; ++index) {
    const unsigned candidate = CadGetColor(index);
    long distance = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const long d = long((color >> shift) & 0xff) - long((candidate >> shift) & 0xff);
      distance += d * d;
    }
    if (distance == 0) return index;
    if (bestDistance < 0 || distance < bestDistance) best = index, bestDistance = distance;
  }
  return best;
}

int CadFileOpen(CCadDrawing& drawing, const std::string& path, std::string& error,
                CProgressSink* progress) {
  RegisterDrivers();
  if (progress) progress->SetRange(0, kCadOpenSteps);
  Advance(progress, 0);
  std::string bytes;
  if (!ReadFile(path, bytes)) {
    error = path + " cannot be read: check that it exists and that you may read it.";
    return 0;
  }
  Advance(progress, 1);
  CCadDrawing read;
  const std::string extension = LowerExtension(path);
  const bool dwg = extension == ".dwg" || bytes.compare(0, 4, "AC10") == 0;
  if (dwg) {
    error = RefusedDwg(path, bytes);
    if (!error.empty()) return 0;
    Advance(progress, 2);
    if (!ReadDataset(read, path, "CAD", error, progress)) return 0;
  } else {
    if (bytes.compare(0, 18, "AutoCAD Binary DXF") == 0) {
      error = path +
              " is a binary DXF file, which cannot be read: save it from the CAD "
              "program as an ASCII DXF and open that.";
      return 0;
    }
    // No text DXF holds a NUL byte; OGR's reader can loop for minutes on one.
    const size_t nul = bytes.find('\0');
    if (nul != std::string::npos) {
      error = path + " is damaged: it holds a NUL byte at offset " + std::to_string(nul) +
              ", which no DXF file has.";
      return 0;
    }
    const DxfTables tables = ReadDxfTables(bytes);
    const std::string encoding = DxfEncoding(bytes, tables);
    AddTableLayers(read, tables, encoding);
    Advance(progress, 2);
    CThreadConfig config("DXF_ENCODING", encoding);
    if (!ReadDataset(read, path, "DXF", error, progress)) return 0;
  }
  Advance(progress, 5);
  read.SetFileName(path);
  read.PutDirty(false);
  read.PutReadOnly(false);
  drawing = std::move(read);
  Advance(progress, kCadOpenSteps);
  return 1;
}

int CadFileSaveAs(const CCadDrawing& drawing, const std::string& path, std::string& error) {
  RegisterDrivers();
  GDALDriverH driver = GDALGetDriverByName("DXF");
  if (!driver) {
    error = "GDAL has no DXF driver: install GDAL with its DXF support.";
    return 0;
  }
  CGdalErrors errors;
  static int saveCount = 0;
  const std::string header = "/vsimem/orvalis_header_" + std::to_string(++saveCount) + ".dxf";
  if (!MakeHeader(drawing, header, error)) return 0;
  // Written beside the target first, so that a failed save leaves the old file as it was.
  const std::string temporary = path + ".saving.dxf";
  const std::string headerOption = "HEADER=" + header;
  const char* options[] = {headerOption.c_str(), nullptr};
  // Names and texts are written as UTF-8, the header's layers read as such.
  CThreadConfig encoding("DXF_ENCODING", "UTF-8");
  int written = 0;
  {
    DatasetPtr dataset(static_cast<GDALDataset*>(
        GDALCreate(driver, temporary.c_str(), 0, 0, 0, GDT_Unknown, const_cast<char**>(options))));
    OGRLayer* layer =
        dataset ? dataset->CreateLayer("entities", nullptr, wkbUnknown, nullptr) : nullptr;
    written = layer && WriteEntities(drawing, *layer, error);
  }
  VSIUnlink(header.c_str());
  std::error_code ignored;
  if (written && !errors.Failed() && !BringNamesToCodePage(temporary)) {
    written = 0;
    error = "the written file could not be completed";
  }
  if (!written || errors.Failed()) {
    fs::remove(temporary, ignored);
    error = path + " could not be written: " +
            (errors.Failed() ? errors.Failure()
             : error.empty() ? "GDAL refused it"
                             : error) +
            ". Check that the folder exists and that you may write there.";
    return 0;
  }
  std::error_code renamed;
  fs::rename(temporary, path, renamed);
  if (renamed) {
    fs::remove(temporary, ignored);
    error = path + " could not be written: " + renamed.message() + ".";
    return 0;
  }
  return 1;
}

std::string CadSavePath(const std::string& fileName) {
  if (LowerExtension(fileName) == ".dxf") return fileName;
  return fs::path(fileName).replace_extension(".dxf").string();
}
