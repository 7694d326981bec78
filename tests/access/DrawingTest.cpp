#include <vtkCamera.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "nimbex/creation/GlobalBounds.h"
#include "nimbex/creation/StreamCreator.h"
#include "tests/access/DrawnStream.h"

namespace {

constexpr unsigned int kGrey = 0x808080;

// Seen from the top: a ground point, an error point, a point of class 12 with pulse kind 7
// (beyond both tables) and a point whose normal faces away from the camera.
const std::vector<TestPoint> kPoints = {{{-4, -4, -8}, 1, {10, 20, 30}, 1, 0, {0, 0, 1}},
                                        {{4, -4, 8}, 8, {200, 100, 0}, 3, 255, {0, 0, 1}},
                                        {{-4, 4, 0}, 12, {0, 90, 180}, 7, 100, {0, 0, 1}},
                                        {{4, 4, 0}, 6, {60, 60, 60}, 0, 100, {0, 0, -1}}};

class DrawingTest : public DrawnStream {
 protected:
  void SetUp() override {
    DrawnStream::SetUp();
    m_Cloud = Show(PointStream(kPoints));
    ASSERT_NE(m_Cloud, nullptr);
  }
  unsigned int ColorOf(int point) { return DrawnStream::ColorOf(m_Cloud, kPoints[point].position); }
  bool IsBackground(int point) {
    return ColorOf(point) == BackgroundBeside(m_Cloud, kPoints[point].position);
  }

  CNimbex* m_Cloud = nullptr;
};

TEST_F(DrawingTest, PointsAreDrawnInTheColourOfTheMode) {
  m_Cloud->SetCVM(CVM_CLASSES);
  Draw();
  EXPECT_EQ(ColorOf(0), _ClassArray[1].color);
  EXPECT_EQ(ColorOf(1), _ClassArray[8].color);
  EXPECT_EQ(ColorOf(2), kGrey);
  // Background gradient from 0x2D2D2D at the bottom to 0x505050 at the top.
  EXPECT_NEAR(PixelAt({kWidth - 1, kHeight - 1}) & 0xFF, 0x2D, 1);
  EXPECT_NEAR(PixelAt({kWidth - 1, 0}) & 0xFF, 0x50, 1);

  m_Cloud->SetCVM(CVM_RGB);
  Draw();
  EXPECT_EQ(ColorOf(0), 0x1E140Au);
  EXPECT_EQ(ColorOf(1), 0x0064C8u);

  m_Cloud->SetCVM(CVM_PULSE);
  Draw();
  EXPECT_EQ(ColorOf(0), _PulsesColors[1]);
  EXPECT_EQ(ColorOf(1), _PulsesColors[3]);
  EXPECT_EQ(ColorOf(2), kGrey);

  // Uniform colour, also when the normals could serve as scalars.
  m_Cloud->SetPropertyColor(0x00FF00);
  m_Cloud->SetCVM(CVM_USER_DEFINED);
  Draw();
  EXPECT_EQ(ColorOf(0), 0x00FF00u);
  EXPECT_EQ(ColorOf(1), 0x00FF00u);
}

TEST_F(DrawingTest, HiddenClassesAndBackFacingPointsVanish) {
  m_Cloud->SetCVM(CVM_CLASSES);
  Draw();
  EXPECT_TRUE(IsBackground(3));
  EXPECT_EQ(m_Cloud->GetRenderPolyData()->GetNumberOfPoints(), 3);

  _ClassArray[1].visible = 0;
  Draw();
  EXPECT_TRUE(IsBackground(0));
  EXPECT_EQ(ColorOf(1), _ClassArray[8].color);
  // Out-of-table classes follow class 0.
  _ClassArray[0].visible = 0;
  Draw();
  EXPECT_TRUE(IsBackground(2));
  EXPECT_EQ(ColorOf(1), _ClassArray[8].color);

  for (PointClass& pointClass : _ClassArray) pointClass.visible = 0;
  const long long seeks = m_Cloud->GetSeekCount();
  m_Cloud->ResetIOPtsLoaded();
  Draw();
  EXPECT_EQ(m_Cloud->GetSeekCount(), seeks);
  EXPECT_EQ(m_Cloud->GetIOPtsLoaded(), 0);
  EXPECT_EQ(m_Cloud->GetMapper()->GetInput(), nullptr);
  EXPECT_TRUE(IsBackground(1));
}

TEST_F(DrawingTest, FullResolutionIsReadOnce) {
  m_Cloud->PutFullRes(1);
  Draw();
  const long long seeks = m_Cloud->GetSeekCount();
  m_Cloud->ResetIOPtsLoaded();
  Draw();
  EXPECT_EQ(m_Cloud->GetSeekCount(), seeks);
  EXPECT_EQ(m_Cloud->GetIOPtsLoaded(), 0);
  ASSERT_NE(m_Cloud->GetRenderPolyData(), nullptr);
  EXPECT_EQ(m_Cloud->GetMapper()->GetInput(), m_Cloud->GetRenderPolyData());

  m_Cloud->PutFullRes(0);
  Draw();
  EXPECT_EQ(m_Cloud->GetIOPtsLoaded(), 4);
}

TEST_F(DrawingTest, UserClipRangeHoldsUntilAutomaticClippingIsRestored) {
  m_Cloud->SetCVM(CVM_CLASSES);
  m_Cloud->SetClipRange(0.001, 0.002);
  Draw();
  EXPECT_TRUE(IsBackground(1));
  m_Cloud->SetClipRange(-1.0, -1.0);
  Draw();
  EXPECT_EQ(ColorOf(1), _ClassArray[8].color);
  EXPECT_EQ(m_Cloud->ViewRectDefined(), 0);
}

TEST_F(DrawingTest, ElevationAndIntensityRunThroughTheLookupTable) {
  Draw();  // opened in elevation mode: blue at the low end, red at the high end
  EXPECT_EQ(ColorOf(0), 0xFF0000u);
  EXPECT_EQ(ColorOf(1), 0x0000FFu);
  m_Cloud->SetCVM(CVM_INTENSITY);
  Draw();
  EXPECT_EQ(ColorOf(0), 0xFF0000u);
  EXPECT_EQ(ColorOf(1), 0x0000FFu);
  m_Cloud->SetColorSchemeToGrayscale();
  m_Cloud->SetColorBy("Intensity", nullptr, nullptr);
  Draw();
  EXPECT_EQ(m_Cloud->GetColorScheme(), COLOR_SCHEME_GRAYSCALE);
  EXPECT_EQ(ColorOf(0), 0x000000u);
  EXPECT_EQ(ColorOf(1), 0xFFFFFFu);
}

TEST_F(DrawnStream, DynamicElevationStretchesOverTheVisiblePoints) {
  TestStream stream = PointStream({{{-4, -4, -4}}, {{4, 4, 4}}});
  stream.elevationRange[0] = 280;
  stream.elevationRange[1] = 320;
  CNimbex* cloud = Show(stream);
  ASSERT_NE(cloud, nullptr);
  cloud->SetDynElevView(1);
  Draw();
  EXPECT_EQ(cloud->GetElevationRange()[0], -4);
  EXPECT_EQ(cloud->GetElevationRange()[1], 4);
  EXPECT_EQ(ColorOf(cloud, {-4, -4, -4}), 0xFF0000u);
  EXPECT_EQ(ColorOf(cloud, {4, 4, 4}), 0x0000FFu);
  // Along the viewing direction (from the top), the nearest point is the lowest.
  cloud->SetDynElevDirView(1);
  Draw();
  EXPECT_EQ(ColorOf(cloud, {-4, -4, -4}), 0x0000FFu);
  EXPECT_EQ(ColorOf(cloud, {4, 4, 4}), 0xFF0000u);
}

TEST_F(DrawnStream, MeshesAreDrawnAsWireframesWithoutPointColours) {
  TestStream mesh = PointStream({{{-4, -4, 0}}, {{4, -4, 0}}, {{0, 4, 0}}});
  mesh.tri = true;
  mesh.items[0].triangles = {{0, 1, 2}};
  CNimbex* cloud = Show(mesh);
  ASSERT_NE(cloud, nullptr);
  cloud->SetCVM(CVM_CLASSES);
  Draw();
  ASSERT_NE(cloud->GetRenderPolyData(), nullptr);
  EXPECT_EQ(cloud->GetRenderPolyData()->GetNumberOfPolys(), 1);
  EXPECT_EQ(cloud->GetRenderPolyData()->GetPointData()->GetArray("RGB"), nullptr);
  EXPECT_EQ(cloud->GetRepresentation(), 1);
  EXPECT_EQ(ColorOf(cloud, {0, -4, 0}), 0xFFFFFFu);
}

// Indices beyond the item's points reached VTK, which read past the points when rendering.
TEST_F(DrawnStream, AMeshItemWithDamagedTrianglesIsLeftOutAndSaysWhy) {
  TestStream mesh = PointStream({{{-4, -4, 0}}, {{4, -4, 0}}, {{0, 4, 0}}});
  mesh.tri = true;
  mesh.items[0].triangles = {{0, 1, 2}, {0, 1, 3000000}};
  CNimbex* cloud = Show(mesh);
  ASSERT_NE(cloud, nullptr);
  Draw();
  EXPECT_EQ(cloud->GetRenderPolyData(), nullptr);
  EXPECT_NE(cloud->GetLoadError().find("points.tri is damaged"), std::string::npos)
      << cloud->GetLoadError();
  EXPECT_EQ(ColorOf(cloud, {0, -4, 0}), BackgroundBeside(cloud, {0, -4, 0}));
}

// The stream of the sample bunny model, whose points carry normals; empty without the sample.
std::string BuildBunnyStream(const ScratchFolder& folder) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const std::filesystem::path vtp =
      std::filesystem::path(data ? data : "") / "vtp" / "vtkdata_Bunny.vtp";
  if (!data || !std::filesystem::exists(vtp)) return "";
  const std::vector<std::string> files = {vtp.string()};
  double bounds[6];
  int points = 0;
  if (!GetGlobalBoundsFromVtp(&files, bounds, &points, nullptr, nullptr, nullptr, nullptr))
    return "";
  const std::filesystem::path list = folder / "bunny.list";
  std::ofstream(list) << vtp.string() << "\n";
  const std::string stream = (folder / "bunny.strm").string();
  CStreamCreator creator;
  return creator.CreateStream(list.string(), "", "xyz", 0, 0, -1, true, stream, nullptr,
                              SCF_VTP_LIST, bounds, &points, nullptr, nullptr, nullptr, nullptr)
             ? stream
             : "";
}

// One colour for every point was drawn: the unset range served as the lookup range.
TEST_F(DrawnStream, NormalsAreDrawnInTheColoursOfTheirComponents) {
  const std::string bunny = BuildBunnyStream(m_Folder);
  if (bunny.empty()) GTEST_SKIP() << "no sample data";
  CNimbex* cloud = AddSpCloud(bunny.c_str(), Id(), 0);
  ASSERT_NE(cloud, nullptr) << GetAddSpCloudError();
  ASSERT_TRUE(cloud->HasNormals());
  cloud->SetPointSize(3);
  cloud->SetCVM(CVM_NORMALS);
  Draw();

  vtkNew<vtkUnsignedCharArray> frame;
  m_Window->GetPixelData(0, 0, kWidth - 1, kHeight - 1, 0, frame);
  std::set<unsigned int> colours;
  int facingAway = 0;
  double redSum[2] = {0, 0};
  int counted[2] = {0, 0};
  // Rows from the bottom; the axes fill the lower-left fifth of the window.
  for (int row = kHeight / 5; row < kHeight; ++row) {
    const unsigned char* background = frame->GetPointer(3 * (row * kWidth + kWidth - 1));
    for (int x = 0; x < kWidth - 1; ++x) {
      const unsigned char* rgb = frame->GetPointer(3 * (row * kWidth + x));
      if (std::equal(rgb, rgb + 3, background)) continue;
      colours.insert(rgb[0] | rgb[1] << 8 | rgb[2] << 16);
      // Seen from the top, only normals with z >= 0 face the camera.
      if (rgb[2] < 128) ++facingAway;
      redSum[x >= kWidth / 2] += rgb[0];
      ++counted[x >= kWidth / 2];
    }
  }
  EXPECT_GT(colours.size(), 50u);
  EXPECT_EQ(facingAway, 0);
  // The bunny's left flank faces -x (less red), its right flank +x.
  ASSERT_TRUE(counted[0] > 0 && counted[1] > 0);
  EXPECT_LT(redSum[0] / counted[0] + 20, redSum[1] / counted[1]);
}

TEST_F(DrawingTest, MaskIsALightSampleShownWhileInteracting) {
  EXPECT_EQ(m_Cloud->GetMaskPolyData()->GetNumberOfPoints(), 4);
  CNimbex* lattice = Show(MakeLatticeStream(0, 25, 0), "lattice.strm");
  ASSERT_NE(lattice, nullptr);
  EXPECT_EQ(lattice->GetMaskPolyData()->GetNumberOfPoints(), 10000);
  lattice->DrawCloud(0, nullptr, nullptr, 1);
  EXPECT_EQ(lattice->GetMapper()->GetInput(), lattice->GetMaskPolyData());
  // Coloured as the detail is: by elevation in elevation mode.
  lattice->SetCVM(CVM_ELEVATION);
  vtkDataArray* elevation = lattice->GetMaskPolyData()->GetPointData()->GetScalars();
  ASSERT_NE(elevation, nullptr);
  EXPECT_LT(elevation->GetRange()[0], elevation->GetRange()[1]);
}

TEST_F(DrawnStream, StreamsAwayFromTheWindowCentreAreTranslated) {
  TestStream shifted = PointStream({{{0, 0, -8}, 8}, {{2, 3, 0}, 1}});
  shifted.bounds[0] = shifted.bounds[2] = 0;
  shifted.bounds[1] = shifted.bounds[3] = 16;
  CNimbex* cloud = Show(shifted);
  ASSERT_NE(cloud, nullptr);
  cloud->SetCVM(CVM_CLASSES);
  Draw();
  double p[3];
  cloud->GetRenderPolyData()->GetPoint(1, p);
  EXPECT_DOUBLE_EQ(p[0], 2 + 1000 - m_Record->m_Center[0]);
  EXPECT_DOUBLE_EQ(p[1], 3 + 2000 - m_Record->m_Center[1]);
  EXPECT_EQ(ColorOf(cloud, {2, 3, 0}), _ClassArray[1].color);
  // The corner (xmin, ymin, zmin) of the bounds is where its point is drawn.
  WinPoint corners[8];
  ASSERT_EQ(cloud->GetBoundaryScreenPts(shifted.bounds, corners), 1);
  EXPECT_EQ(PixelAt(corners[0]), _ClassArray[8].color);

  // A preset view frames the stream where it is drawn.
  cloud->SetPresetView(VIEW_TOP);
  Draw();
  const double* focal = m_Record->m_Renderer->GetActiveCamera()->GetFocalPoint();
  EXPECT_NEAR(focal[0], 0, 1e-9);
  EXPECT_NEAR(focal[1], 0, 1e-9);
  EXPECT_EQ(ColorOf(cloud, {2, 3, 0}), _ClassArray[1].color);
}

// Each pass used to clip the scene to its own stream's depth, hiding the streams drawn before.
TEST_F(DrawnStream, StreamsAtDifferentHeightsAreAllDrawn) {
  TestStream low = PointStream({{{-4, -4, 0}, 1}});
  TestStream high = PointStream({{{4, 4, 0}, 8}});
  high.offset[2] = 900;
  high.elevationRange[0] = 892;
  high.elevationRange[1] = 908;
  CNimbex* lowCloud = Show(low, "low.strm");
  CNimbex* highCloud = Show(high, "high.strm");
  ASSERT_TRUE(lowCloud && highCloud);
  lowCloud->SetCVM(CVM_CLASSES);
  highCloud->SetCVM(CVM_CLASSES);
  Draw();  // from the top: the streams lie 600 apart along the viewing direction
  EXPECT_EQ(ColorOf(lowCloud, {-4, -4, 0}), _ClassArray[1].color);
  EXPECT_EQ(ColorOf(highCloud, {4, 4, 0}), _ClassArray[8].color);
}

TEST_F(DrawnStream, StreamsAtTheWindowCentreAreNotTranslated) {
  TestStream nearly = PointStream({{{2, 3, 0}}});
  nearly.bounds[1] = 8.0015;  // centre 0.00075 away from the offset
  CNimbex* cloud = Show(nearly);
  ASSERT_NE(cloud, nullptr);
  Draw();
  double p[3];
  cloud->GetRenderPolyData()->GetPoint(0, p);
  EXPECT_EQ(p[0], 2.0);
  EXPECT_EQ(p[1], 3.0);
}

TEST_F(DrawnStream, OffScreenWindowsKeepTheirViewRectangle) {
  const int id = 0;
  CNimbex* cloud = AddSpCloud(Write(PointStream({{{2, 3, 0}}})).c_str(), &id, 1);
  ASSERT_NE(cloud, nullptr);
  SetWinPosition(&id, WinRect{0, 0, 99, 79});
  cloud->SetViewRect(2006, 996, 1998, 1020);
  const WinDRect rect = cloud->GetViewRect();
  EXPECT_EQ(rect.left, 996);
  EXPECT_EQ(rect.bottom, 2006);
  EXPECT_EQ(cloud->ViewRectDefined(), 1);
  WinImage image;
  DrawSpClouds(&id, &image, nullptr, cloud, nullptr);
  const double* shown = cloud->GetLastRenderedRect();
  EXPECT_EQ(std::vector<double>(shown, shown + 4), (std::vector<double>{-4, -2, 8, 6}));
  cloud->SetViewRect(2006, 1100, 1998, 1120);
  DrawSpClouds(&id, &image, nullptr, cloud, nullptr);
  EXPECT_EQ(cloud->GetLastRenderedRect()[0], NBX_UNSET);
  DestroyRenderWindow(&id);
}

}  // namespace
