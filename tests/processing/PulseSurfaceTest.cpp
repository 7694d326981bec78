#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/platform/UCS.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

// The points of a stream relative to `origin` (absolute), and their pulse kinds if any.
void ReadAllPoints(CNimbex& cloud, const double* origin, vtkPoints* points,
                   std::vector<int>* pulses) {
  double offset[3];
  cloud.GetOffset(offset);
  for (const Item& item : cloud.GetLevelItems(-1)) {
    const int id = item.id;
    vtkNew<vtkPoints> local;
    vtkNew<vtkUnsignedCharArray> kinds;
    cloud.LoadItemIO(-1, id, local, nullptr, nullptr, nullptr, nullptr,
                     pulses ? kinds.Get() : nullptr, nullptr, 1);
    for (vtkIdType i = 0; i < local->GetNumberOfPoints(); ++i) {
      const double* p = local->GetPoint(i);
      points->InsertNextPoint(p[0] + offset[0] - origin[0], p[1] + offset[1] - origin[1],
                              p[2] + offset[2] - origin[2]);
      if (pulses) pulses->push_back(kinds->GetValue(i));
    }
  }
}

// True when every point of `surface` lies within a millimetre of a point of `source`.
bool EveryPointIsAmong(vtkPoints* surface, vtkPoints* source) {
  vtkNew<vtkPolyData> data;
  data->SetPoints(source);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(data);
  locator->BuildLocator();
  for (vtkIdType i = 0; i < surface->GetNumberOfPoints(); ++i) {
    double p[3], found[3];
    surface->GetPoint(i, p);
    source->GetPoint(locator->FindClosestPoint(p), found);
    if (vtkMath::Distance2BetweenPoints(p, found) > 1e-6) return false;
  }
  return true;
}

TEST(PulseSurfaceSampleTest, SurfaceModelsKeepExactlyTheReturnsOfTheSelectedKinds) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path las = data ? fs::path(data) / "las" / "pdal_4_6_crop.las" : fs::path();
  if (!fs::exists(las)) GTEST_SKIP() << "sample data missing";
  ScratchFolder folder;
  CStreamCreator creator;
  ASSERT_EQ(creator.CreateStream(las.string(), "las", "xyzirgbc", 1, 0, -1, false,
                                 (folder / "crop.strm").string(), nullptr, SCF_POINT_FILE, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr),
            1)
      << creator.GetLastError();
  CNimbex cloud((folder / "crop.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  double origin[3];
  cloud.GetOffset(origin);
  vtkNew<vtkPoints> source;
  std::vector<int> pulses;
  ReadAllPoints(cloud, origin, source, &pulses);

  // Selection 2 is not one of the named ones: it keeps every return.
  const std::vector<std::vector<int>> kindsOf = {{0}, {0, 1}, {0, 1, 2, 3}, {0, 3}};
  for (int selection : {0, 1, 2, 3}) {
    vtkNew<vtkPoints> selected;
    for (vtkIdType i = 0; i < source->GetNumberOfPoints(); ++i)
      if (std::count(kindsOf[selection].begin(), kindsOf[selection].end(), pulses[i]))
        selected->InsertNextPoint(source->GetPoint(i));
    // The sample holds every kind, so each named selection leaves some returns out.
    ASSERT_EQ(selected->GetNumberOfPoints() < source->GetNumberOfPoints(), selection != 2);

    const fs::path output = folder / ("dsm" + std::to_string(selection) + ".strm");
    ASSERT_EQ(cloud.MakeDSMFromPulse(selection, output.string()), 1) << cloud.GetLastError();
    EXPECT_FALSE(fs::exists(fs::path(output).replace_extension("xyz")));
    CNimbex surface(output.c_str());
    ASSERT_EQ(surface.OpenStrmCloud(), 1) << surface.GetLastError();
    EXPECT_EQ(surface.GetPointsCount(), selected->GetNumberOfPoints()) << selection;
    EXPECT_TRUE(surface.HasColors() && surface.HasIntensity() && surface.HasClasses());
    vtkNew<vtkPoints> kept;
    ReadAllPoints(surface, origin, kept, nullptr);
    EXPECT_TRUE(EveryPointIsAmong(kept, selected)) << selection;
  }
}

class PulseSurfaceTest : public testing::Test {
 protected:
  // One cell of 9 points, every return intermediary.
  void SetUp() override {
    TestStream stream = MakeLatticeStream(0, 3, 1);
    stream.items[0].pulses.assign(9, 2);
    WriteTestStream(m_Stream, stream);
  }
  std::string In(const char* name) const { return (m_Folder / name).string(); }
  ScratchFolder m_Folder;
  fs::path m_Stream = m_Folder / "site.strm";
};

TEST_F(PulseSurfaceTest, RefusalsSayWhyAndLeaveNoFileBehind) {
  CNimbex cloud(m_Stream.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  const auto entries = std::distance(fs::directory_iterator(m_Folder.Path()), {});
  EXPECT_EQ(cloud.MakeDSMFromPulse(0, ""), 0);
  // Another extension of the same stem would overwrite the stream's own files.
  EXPECT_EQ(cloud.MakeDSMFromPulse(2, In("site.pci")), 0);
  EXPECT_NE(cloud.GetLastError().find("another name"), std::string::npos);
  EXPECT_EQ(cloud.MakeDSMFromPulse(0, In("surface.strm")), 0);
  EXPECT_NE(cloud.GetLastError().find("no point"), std::string::npos) << cloud.GetLastError();
  EXPECT_EQ(std::distance(fs::directory_iterator(m_Folder.Path()), {}), entries);

  // A file of the user's named like the intermediate file is neither replaced nor deleted.
  std::ofstream(In("surface.xyz")) << "mine";
  EXPECT_EQ(cloud.MakeDSMFromPulse(2, In("surface.strm")), 0);
  EXPECT_NE(cloud.GetLastError().find("surface.xyz"), std::string::npos);
  EXPECT_EQ(fs::file_size(In("surface.xyz")), 4u);

  fs::remove(GetStrmCompanionName(m_Stream, PLS_FILE));
  CNimbex withoutPulses(m_Stream.c_str());
  ASSERT_EQ(withoutPulses.OpenStrmCloud(), 1);
  EXPECT_EQ(withoutPulses.MakeDSMFromPulse(2, In("other.strm")), 0);
  EXPECT_NE(withoutPulses.GetLastError().find("pulse"), std::string::npos);
}

TEST_F(PulseSurfaceTest, UcsExtentsBoundEveryCornerOfTheCell) {
  CNimbex cloud(m_Stream.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  // The cell is x 992..1008, y 1992..2008 (world). Turned a quarter, user x runs along world
  // y and user y against world x.
  CUCS turned({1010, 2010, 300}, {0, 1, 0}, {-1, 0, 0});
  // At 45 degrees the extremes are the corners off the diagonal from (min x, min y).
  CUCS diagonal({1000, 2000, 300}, {1, 1, 0}, {-1, 1, 0});
  const double h = 8 * std::sqrt(2.0);
  const std::pair<CUCS*, std::array<double, 4>> cases[] = {{&turned, {-18, 2, -2, 18}},
                                                           {&diagonal, {-h, -h, h, h}}};
  for (const auto& [ucs, expected] : cases) {
    std::unique_ptr<CPgon> extent(cloud.GetItemUcsExtent(ucs, 0, -1));
    CContour ring;
    ASSERT_TRUE(extent && extent->GetContour(0, ring) && ring.size() == 4);
    EXPECT_NEAR(ring[0].X(), expected[0], 1e-9);
    EXPECT_NEAR(ring[0].Y(), expected[1], 1e-9);
    EXPECT_NEAR(ring[2].X(), expected[2], 1e-9);
    EXPECT_NEAR(ring[2].Y(), expected[3], 1e-9);
  }
  EXPECT_EQ(cloud.GetItemUcsExtent(&turned, 1, 0), nullptr);
  CUCS degenerate({0, 0, 0}, {1, 0, 0}, {2, 0, 0});
  EXPECT_EQ(cloud.GetItemUcsExtent(&degenerate, 0, 0), nullptr);
}

}  // namespace
