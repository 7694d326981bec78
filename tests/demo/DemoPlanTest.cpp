#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "nimbex/demo/DemoPlan.h"
#include "nimbex/demo/DemoSiteMap.h"
#include "tests/support/StreamWriter.h"

namespace {

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

struct PlanOutline {
  std::string layer;
  std::string style;
  std::vector<OGRPoint> points;
};

DemoSiteSettings Site() {
  DemoSiteSettings settings;
  settings.points = 1000000;  // large enough for a road each way
  settings.seed = 1;
  return settings;
}

std::vector<PlanOutline> ReadPlan(const std::string& path) {
  GDALAllRegister();
  DatasetPtr plan(static_cast<GDALDataset*>(
      GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  std::vector<PlanOutline> outlines;
  if (!plan || plan->GetLayerCount() != 1) return outlines;
  OGRLayer* layer = plan->GetLayer(0);
  for (auto& feature : *layer) {
    PlanOutline outline{feature->GetFieldAsString("Layer"),
                        feature->GetStyleString() ? feature->GetStyleString() : "",
                        {}};
    const OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry && wkbFlatten(geometry->getGeometryType()) == wkbLineString)
      for (const OGRPoint& point : *geometry->toLineString()) outline.points.push_back(point);
    outlines.push_back(std::move(outline));
  }
  return outlines;
}

TEST(DemoPlanTest, PlanOpensThroughOgrWithColouredLayersOfClosedOutlinesInSiteCoordinates) {
  ScratchFolder folder;
  std::string error;
  ASSERT_TRUE(WriteDemoPlan(folder / "plan.dxf", Site(), error)) << error;
  const std::vector<PlanOutline> outlines = ReadPlan(folder / "plan.dxf");
  const std::vector<DemoOutline> expected = CDemoSiteMap(Site()).GetOutlines();
  ASSERT_EQ(outlines.size(), expected.size());
  const double* extent = CDemoSiteMap(Site()).GetExtent();

  std::map<std::string, int> byLayer;
  int ownColour = 0;
  for (size_t i = 0; i < outlines.size(); ++i) {
    const PlanOutline& outline = outlines[i];
    ++byLayer[outline.layer];
    const bool building = expected[i].kind == kDemoBuildingOutline;
    EXPECT_EQ(outline.layer, building ? kDemoBuildingLayer : kDemoRoadLayer);
    // OGR closes a closed polyline by repeating its first vertex.
    ASSERT_EQ(outline.points.size(), expected[i].vertices.size() + 1) << i;
    EXPECT_TRUE(outline.points.front().Equals(&outline.points.back())) << i;
    for (size_t v = 0; v < expected[i].vertices.size(); ++v) {
      EXPECT_NEAR(outline.points[v].getX(), expected[i].vertices[v].x, 1e-6);
      EXPECT_NEAR(outline.points[v].getZ(), expected[i].vertices[v].z, 1e-6);
      EXPECT_GE(outline.points[v].getX(), extent[0]);
      EXPECT_LE(outline.points[v].getY(), extent[3]);
    }
    // Layer colours: 2 yellow for buildings, 4 cyan for roads; grey roofs their own orange.
    const bool greyRoof = building && !expected[i].redRoof;
    ownColour += greyRoof;
    EXPECT_EQ(outline.style, greyRoof   ? "PEN(c:#ff7f00)"
                             : building ? "PEN(c:#ffff00)"
                                        : "PEN(c:#00ffff)")
        << i;
  }
  EXPECT_GE(byLayer[kDemoBuildingLayer], 3);
  EXPECT_GE(byLayer[kDemoRoadLayer], 1);
  EXPECT_GT(ownColour, 0);
  EXPECT_LT(ownColour, byLayer[kDemoBuildingLayer]);
  EXPECT_GT(extent[0], 400000);  // absolute, not relative, coordinates
}

// The world file's six numbers: pixel width, two rotations, pixel height, and the centre of
// the upper-left pixel.
std::vector<double> ReadWorldFile(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::vector<double> values;
  for (double value; file >> value;) values.push_back(value);
  return values;
}

bool IsRoofColour(const uint8_t rgb[3]) {
  const double roofs[2][3] = {{158, 64, 46}, {112, 114, 120}};
  for (const auto& roof : roofs) {
    bool near = true;
    for (int c = 0; c < 3; ++c) near &= rgb[c] > 0.8 * roof[c] && rgb[c] < 1.2 * roof[c];
    if (near) return true;
  }
  return false;
}

class COrthophoto {
 public:
  explicit COrthophoto(const std::filesystem::path& path) {
    const std::vector<double> world =
        ReadWorldFile(std::filesystem::path(path).replace_extension(".tfw"));
    EXPECT_EQ(world.size(), 6u);
    if (world.size() == 6) std::copy(world.begin(), world.end(), m_World);
    DatasetPtr picture(static_cast<GDALDataset*>(GDALOpen(path.c_str(), GA_ReadOnly)));
    if (!picture || picture->GetRasterCount() != 3) return;
    m_Width = picture->GetRasterXSize();
    m_Height = picture->GetRasterYSize();
    m_Pixels.resize(size_t(m_Width) * m_Height * 3);
    int bands[3] = {1, 2, 3};
    EXPECT_EQ(picture->RasterIO(GF_Read, 0, 0, m_Width, m_Height, m_Pixels.data(), m_Width,
                                m_Height, GDT_Byte, 3, bands, 3, 3 * m_Width, 1, nullptr),
              CE_None);
    double transform[6];
    picture->GetGeoTransform(transform);
    // The GeoTIFF's own georeferencing names the corner of the same pixel.
    EXPECT_NEAR(transform[0] + transform[1] / 2, m_World[4], 1e-9);
    EXPECT_NEAR(transform[3] + transform[5] / 2, m_World[5], 1e-9);
  }

  bool Loaded() const { return !m_Pixels.empty(); }
  // The pixel at an absolute position, through the world file; null outside the picture.
  const uint8_t* At(double x, double y) const {
    const int column = int(std::lround((x - m_World[4]) / m_World[0]));
    const int row = int(std::lround((y - m_World[5]) / m_World[3]));
    if (column < 0 || row < 0 || column >= m_Width || row >= m_Height) return nullptr;
    return &m_Pixels[(size_t(row) * m_Width + column) * 3];
  }

 private:
  double m_World[6] = {1, 0, 0, -1, 0, 0};
  int m_Width = 0, m_Height = 0;
  std::vector<uint8_t> m_Pixels;
};

// The plan and the orthophoto are read back the way a user's program reads them (OGR, the
// world file) and must agree: every building corner, moved half a metre into the building,
// lies on the roof; moved a metre out, on something else.
TEST(DemoPlanTest, PlanBuildingCornersFallOnRoofPixelsOfTheOrthophoto) {
  ScratchFolder folder;
  std::string error;
  ASSERT_TRUE(WriteDemoPlan(folder / "plan.dxf", Site(), error)) << error;
  ASSERT_TRUE(
      WriteDemoOrthophoto(folder / "ortho.tif", Site(), kDemoOrthoPixelSize, nullptr, error))
      << error;
  const COrthophoto ortho(folder / "ortho.tif");
  ASSERT_TRUE(ortho.Loaded());

  int corners = 0;
  for (const PlanOutline& outline : ReadPlan(folder / "plan.dxf")) {
    if (outline.layer != kDemoBuildingLayer) continue;
    double cx = 0, cy = 0;
    const size_t count = outline.points.size() - 1;
    for (size_t i = 0; i < count; ++i) cx += outline.points[i].getX() / count;
    for (size_t i = 0; i < count; ++i) cy += outline.points[i].getY() / count;
    for (size_t i = 0; i < count; ++i) {
      const double x = outline.points[i].getX(), y = outline.points[i].getY();
      // Towards the inside along each axis (a vertex midway along a side keeps its x or y).
      auto inward = [](double v, double centre, double by) {
        return std::abs(centre - v) < 0.01 ? v : v + (centre > v ? by : -by);
      };
      const uint8_t* inside = ortho.At(inward(x, cx, 0.5), inward(y, cy, 0.5));
      const uint8_t* outside = ortho.At(inward(x, cx, -1.0), inward(y, cy, -1.0));
      ASSERT_TRUE(inside && outside) << x << " " << y;
      EXPECT_TRUE(IsRoofColour(inside)) << x << " " << y << ": " << int(inside[0]) << " "
                                        << int(inside[1]) << " " << int(inside[2]);
      EXPECT_FALSE(IsRoofColour(outside)) << x << " " << y;
      ++corners;
    }
  }
  EXPECT_GE(corners, 12);
}

TEST(DemoPlanTest, RefusedOutputsLeaveNoFileBehind) {
  ScratchFolder folder;
  std::string error;
  const std::string missing = folder / "missing" / "plan.dxf";
  EXPECT_FALSE(WriteDemoPlan(missing, Site(), error));
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_FALSE(WriteDemoOrthophoto(folder.Path(), Site(), 0.25, nullptr, error));
  EXPECT_NE(error.find("give the name of the GeoTIFF file"), std::string::npos) << error;
  EXPECT_FALSE(WriteDemoOrthophoto(folder / "ortho.tif", Site(), 0, nullptr, error));
  EXPECT_NE(error.find("pixel size"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

}  // namespace
