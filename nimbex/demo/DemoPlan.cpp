#include "nimbex/demo/DemoPlan.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "nimbex/demo/DemoSiteMap.h"

namespace {

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

struct FeatureDestroyer {
  void operator()(OGRFeature* feature) const { OGRFeature::DestroyFeature(feature); }
};

std::string GdalProblem(const std::string& what) {
  const char* message = CPLGetLastErrorMsg();
  return what + (message && *message ? std::string(": ") + message : std::string());
}

// ---- Plan -----------------------------------------------------------------------------------

// One layer record of a DXF LAYER table, as the template's layer "0" is written.
std::string LayerRecord(const std::string& handle, const std::string& name, int color) {
  std::ostringstream record;
  record << "  0\nLAYER\n  5\n"
         << handle << "\n330\n2\n100\nAcDbSymbolTableRecord\n"
         << "100\nAcDbLayerTableRecord\n  2\n"
         << name << "\n 70\n     0\n 62\n"
         << color << "\n  6\nContinuous\n370\n    -3\n390\nF\n";
  return record.str();
}

// OGR's DXF writer copies a new layer from layer "0" of its header template, so layers of
// their own colour must stand in the template: GDAL's own header with the plan's layers
// added to its LAYER table, kept in GDAL's memory file system while the plan is written.
bool MakeHeaderTemplate(const std::string& memoryPath, std::string& error) {
  const char* standard = CPLFindFile("gdal", "header.dxf");
  std::ifstream file(standard ? standard : "");
  if (!file) {
    error = "GDAL's DXF header template (header.dxf) was not found; is GDAL_DATA set?";
    return false;
  }
  std::string header((std::istreambuf_iterator<char>(file)), {});
  const size_t layerZero = header.find("AcDbLayerTableRecord");
  const size_t tableEnd =
      layerZero == std::string::npos ? layerZero : header.find("  0\nENDTAB", layerZero);
  if (tableEnd == std::string::npos) {
    error = std::string("GDAL's DXF header template ") + standard + " has no LAYER table";
    return false;
  }
  header.insert(tableEnd, LayerRecord("F0", kDemoBuildingLayer, kDemoBuildingLayerColor) +
                              LayerRecord("F1", kDemoRoadLayer, kDemoRoadLayerColor));
  VSILFILE* memory = VSIFOpenL(memoryPath.c_str(), "wb");
  const bool written =
      memory && VSIFWriteL(header.data(), 1, header.size(), memory) == header.size();
  if (memory) VSIFCloseL(memory);
  if (!written) error = "the DXF header template could not be prepared in memory";
  return written;
}

// The pen colour OGR's DXF writer maps to kDemoGreyRoofColor (the nearest entry of its colour
// index table).
constexpr char kGreyRoofPen[] = "PEN(c:#FF7F00)";

bool WriteOutline(OGRLayer& layer, const DemoOutline& outline) {
  std::unique_ptr<OGRFeature, FeatureDestroyer> feature(
      OGRFeature::CreateFeature(layer.GetLayerDefn()));
  const bool building = outline.kind == kDemoBuildingOutline;
  feature->SetField("Layer", building ? kDemoBuildingLayer : kDemoRoadLayer);
  if (building && !outline.redRoof) feature->SetStyleString(kGreyRoofPen);
  // A ring whose first vertex is not repeated is written as a closed polyline.
  OGRLinearRing ring;
  for (const DemoMapVertex& v : outline.vertices) ring.addPoint(v.x, v.y, v.z);
  feature->SetGeometry(&ring);
  return layer.CreateFeature(feature.get()) == OGRERR_NONE;
}

bool WriteOutlines(const std::string& outputPath, const std::string& headerPath,
                   const std::vector<DemoOutline>& outlines, std::string& error) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("DXF");
  if (!driver) {
    error = "GDAL has no DXF driver";
    return false;
  }
  const std::string headerOption = "HEADER=" + headerPath;
  const char* options[] = {headerOption.c_str(), nullptr};
  DatasetPtr plan(
      driver->Create(outputPath.c_str(), 0, 0, 0, GDT_Unknown, const_cast<char**>(options)));
  OGRLayer* layer = plan ? plan->CreateLayer("entities") : nullptr;
  if (!layer) {
    error = GdalProblem("cannot create " + outputPath);
    return false;
  }
  for (const DemoOutline& outline : outlines)
    if (!WriteOutline(*layer, outline)) {
      error = GdalProblem("cannot write an outline to " + outputPath);
      return false;
    }
  // The drawing is composed when it is closed.
  CPLErrorReset();
  plan.reset();
  if (CPLGetLastErrorType() >= CE_Failure) {
    error = GdalProblem("cannot complete " + outputPath);
    return false;
  }
  return true;
}

// ---- Orthophoto -----------------------------------------------------------------------------

constexpr int kRowsPerBlock = 64;

std::string WorldFilePath(const std::string& picturePath) {
  const size_t dot = picturePath.find_last_of('.');
  const size_t slash = picturePath.find_last_of('/');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? picturePath.substr(0, dot) : picturePath) + ".tfw";
}

void RemoveOrthophoto(const std::string& path) {
  std::remove(path.c_str());
  std::remove(WorldFilePath(path).c_str());
  std::remove((path + ".aux.xml").c_str());
}

bool WriteRows(GDALDataset& picture, const CDemoSiteMap& map, const double transform[6],
               const std::function<void(int, int)>& onRow) {
  const int width = picture.GetRasterXSize(), height = picture.GetRasterYSize();
  std::vector<uint8_t> block(size_t(width) * kRowsPerBlock * 3);
  for (int first = 0; first < height; first += kRowsPerBlock) {
    const int rows = std::min(kRowsPerBlock, height - first);
    for (int row = 0; row < rows; ++row) {
      const double y = transform[3] + (first + row + 0.5) * transform[5];
      for (int column = 0; column < width; ++column)
        map.ColourFromAbove(transform[0] + (column + 0.5) * transform[1], y,
                            &block[(size_t(row) * width + column) * 3]);
    }
    int bands[3] = {1, 2, 3};
    if (picture.RasterIO(GF_Write, 0, first, width, rows, block.data(), width, rows, GDT_Byte, 3,
                         bands, 3, 3 * width, 1, nullptr) != CE_None)
      return false;
    if (onRow) onRow(first + rows, height);
  }
  return true;
}

}  // namespace

bool WriteDemoPlan(const std::string& outputPath, const DemoSiteSettings& settings,
                   std::string& error) {
  error = DemoSiteRequestProblem(outputPath, settings.points, "DXF");
  if (!error.empty()) return false;
  GDALAllRegister();
  const std::vector<DemoOutline> outlines = CDemoSiteMap(settings).GetOutlines();
  const std::string headerPath =
      "/vsimem/" + std::filesystem::path(outputPath).filename().string() + ".header.dxf";
  const bool written = MakeHeaderTemplate(headerPath, error) &&
                       WriteOutlines(outputPath, headerPath, outlines, error);
  VSIUnlink(headerPath.c_str());
  if (!written) std::remove(outputPath.c_str());
  return written;
}

bool WriteDemoOrthophoto(const std::string& outputPath, const DemoSiteSettings& settings,
                         double pixelSize, const std::function<void(int, int)>& onRow,
                         std::string& error) {
  error = DemoSiteRequestProblem(outputPath, settings.points, "GeoTIFF");
  if (!error.empty()) return false;
  if (!(pixelSize >= 0.01 && pixelSize <= 100)) {
    error = "the orthophoto's pixel size must be between 0.01 and 100 metres";
    return false;
  }
  GDALAllRegister();
  const CDemoSiteMap map(settings);
  const double* extent = map.GetExtent();
  const int width = int(std::ceil((extent[2] - extent[0]) / pixelSize));
  const int height = int(std::ceil((extent[3] - extent[1]) / pixelSize));
  // Rows run from the north edge down, as a world file describes them.
  double transform[6] = {extent[0], pixelSize, 0, extent[1] + height * pixelSize, 0, -pixelSize};
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  const char* options[] = {"TFW=YES", "COMPRESS=DEFLATE", "PHOTOMETRIC=RGB", "BIGTIFF=IF_SAFER",
                           nullptr};
  DatasetPtr picture(driver ? driver->Create(outputPath.c_str(), width, height, 3, GDT_Byte,
                                             const_cast<char**>(options))
                            : nullptr);
  bool written = picture && picture->SetGeoTransform(transform) == CE_None &&
                 WriteRows(*picture, map, transform, onRow);
  if (!written) error = GdalProblem("cannot write the orthophoto " + outputPath);
  CPLErrorReset();
  picture.reset();
  if (written && CPLGetLastErrorType() >= CE_Failure) {
    error = GdalProblem("cannot complete the orthophoto " + outputPath);
    written = false;
  }
  if (!written) RemoveOrthophoto(outputPath);
  return written;
}
