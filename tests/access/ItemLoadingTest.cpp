#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include "nimbex/access/Nimbex.h"
#include "tests/support/StreamWriter.h"

namespace {

// Ten points whose coordinates and attributes all encode their index.
TestItem NumberedItem(int id, int depth, int count, int first) {
  TestItem item;
  item.id = id;
  item.depth = depth;
  for (int i = first; i < first + count; ++i) {
    item.points.push_back({float(i), float(i) / 10, -float(i) / 10});
    item.colors.push_back({uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)});
    item.intensities.push_back(float(i) * 2);
    item.classes.push_back(uint8_t(i % 10));
    item.pulses.push_back(uint8_t(i % 4));
    item.normals.push_back({float(i), 0, 1});
  }
  return item;
}

TestStream NumberedStream() {
  TestStream stream;
  stream.depth = 1;
  stream.bounds[0] = -40;
  stream.bounds[1] = 40;
  stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = true;
  stream.items = {NumberedItem(0, 1, 10, 0), NumberedItem(1, 1, 10, 10), NumberedItem(7, 1, 4, 20),
                  NumberedItem(0, 0, 6, 100)};
  return stream;
}

struct Arrays {
  Arrays() {
    colors->SetNumberOfComponents(3);
    normals->SetNumberOfComponents(3);
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkUnsignedCharArray> classes;
  vtkNew<vtkUnsignedCharArray> colors;
  vtkNew<vtkFloatArray> intensities;
  vtkNew<vtkUnsignedCharArray> pulses;
  vtkNew<vtkFloatArray> normals;
};

int Load(CNimbex& cloud, Arrays& a, int depth, int id, int step) {
  return cloud.LoadItemIO(depth, id, a.points, a.cells, a.classes, a.colors, a.intensities,
                          a.pulses, a.normals, step);
}

class ItemLoadingTest : public testing::Test {
 protected:
  void SetUp() override {
    m_Path = m_Folder / "numbered.strm";
    WriteTestStream(m_Path, NumberedStream());
  }
  ScratchFolder m_Folder;
  std::filesystem::path m_Path;
};

TEST_F(ItemLoadingTest, AStepTakesEveryKthPointAndDropsTheLastPartialStride) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  Arrays a;
  ASSERT_EQ(Load(cloud, a, -1, 1, 3), 1);  // points 10..19
  ASSERT_EQ(a.points->GetNumberOfPoints(), 3);
  const int expected[] = {10, 13, 16};
  for (int j = 0; j < 3; ++j) {
    const int i = expected[j];
    EXPECT_FLOAT_EQ(a.points->GetPoint(j)[0], i);
    EXPECT_FLOAT_EQ(a.points->GetPoint(j)[2], -i / 10.0f);
    EXPECT_EQ(a.colors->GetTypedComponent(j, 2), i + 2);
    EXPECT_EQ(a.intensities->GetValue(j), 2.0f * i);
    EXPECT_EQ(a.classes->GetValue(j), i % 10);
    EXPECT_EQ(a.pulses->GetValue(j), i % 4);
    EXPECT_EQ(a.normals->GetTypedComponent(j, 0), i);
  }
  EXPECT_EQ(a.cells->GetNumberOfCells(), 3);
  EXPECT_EQ(cloud.GetIOPtsLoaded(), 3);
}

// Items are copied out of the mapped data files in place: nothing seeks, whatever the order.
TEST_F(ItemLoadingTest, ItemsAreAppendedInTheOrderTheyAreLoadedWithoutSeeking) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  for (int id : {0, 1, 7}) ASSERT_EQ(Load(cloud, a, 1, id, 1), 1);
  ASSERT_EQ(Load(cloud, a, 1, 0, 1), 1);
  EXPECT_EQ(cloud.GetSeekCount(), 0);
  ASSERT_EQ(a.points->GetNumberOfPoints(), 34);
  EXPECT_FLOAT_EQ(a.points->GetPoint(23)[0], 23);
  EXPECT_FLOAT_EQ(a.points->GetPoint(33)[0], 9);
  EXPECT_EQ(a.colors->GetTypedComponent(23, 0), 23);

  // Vertex cells refer to the points in the order they were appended.
  vtkIdType npts = 0;
  const vtkIdType* ids = nullptr;
  a.cells->GetCellAtId(23, npts, ids);
  ASSERT_EQ(npts, 1);
  EXPECT_EQ(ids[0], 23);
}

TEST_F(ItemLoadingTest, OverviewItemsComeFromTheOverviewFiles) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  vtkNew<vtkFloatArray> intensities;
  ASSERT_EQ(
      cloud.LoadItemIO(0, 0, points, nullptr, nullptr, nullptr, intensities, nullptr, nullptr, 1),
      1);
  ASSERT_EQ(points->GetNumberOfPoints(), 6);
  EXPECT_DOUBLE_EQ(points->GetPoint(5)[0], 105);
  EXPECT_EQ(intensities->GetValue(0), 200);
  EXPECT_EQ(cloud.LoadItemIO(0, 1, points, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1),
            0);
}

TEST_F(ItemLoadingTest, MissingFilesAndWrongArraysFailSafely) {
  std::filesystem::remove(GetStrmCompanionName(m_Path, CLA_FILE));
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  EXPECT_EQ(Load(cloud, a, -1, 0, 1), 0);  // a classes array needs the "cla" file
  EXPECT_NE(cloud.GetLoadError().find("numbered.cla"), std::string::npos) << cloud.GetLoadError();
  EXPECT_EQ(a.points->GetNumberOfPoints(), 0);

  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> oneComponentColors;
  EXPECT_EQ(cloud.LoadItemIO(-1, 1, points, nullptr, nullptr, oneComponentColors, nullptr, nullptr,
                             nullptr, 1),
            0);
  EXPECT_EQ(
      cloud.LoadItemIO(-1, 5, points, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 0);
  EXPECT_NE(cloud.GetLoadError().find("not in the index"), std::string::npos);
}

// Files cut after the stream was opened: the item is refused whole, naming the file, and
// the arrays keep only what earlier items appended, parallel to each other.
TEST_F(ItemLoadingTest, AnItemCutShortIsRefusedAndLeavesTheArraysAsTheyWere) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  ASSERT_EQ(Load(cloud, a, -1, 0, 1), 1);
  // The intensity file is open: the cut shows as a short read. The last item (7) holds 4
  // points from point 20, so its intensities end at byte 96.
  std::filesystem::resize_file(GetStrmCompanionName(m_Path, RIF_FILE), 88);
  EXPECT_EQ(Load(cloud, a, -1, 7, 1), 0);
  EXPECT_NE(cloud.GetLoadError().find("numbered.rif"), std::string::npos) << cloud.GetLoadError();
  for (vtkDataArray* array :
       {a.points->GetData(), static_cast<vtkDataArray*>(a.classes),
        static_cast<vtkDataArray*>(a.colors), static_cast<vtkDataArray*>(a.intensities),
        static_cast<vtkDataArray*>(a.pulses), static_cast<vtkDataArray*>(a.normals)})
    EXPECT_EQ(array->GetNumberOfTuples(), 10);
  EXPECT_EQ(a.cells->GetNumberOfCells(), 10);
  EXPECT_EQ(cloud.GetIOPtsLoaded(), 10);

  // A view read goes on with the other items and keeps why one was left out.
  int depth = -1, step = 1;
  Wml::Box3<double> everything;
  everything.Extent(0) = everything.Extent(1) = everything.Extent(2) = 100;
  vtkNew<vtkPoints> view;
  vtkPoints* viewPoints = view;
  vtkNew<vtkFloatArray> intensities;
  ASSERT_EQ(cloud.LoadSpcData(depth, step, everything, viewPoints, nullptr, nullptr, nullptr,
                              intensities, nullptr, nullptr, 0.0, nullptr, nullptr),
            1);
  EXPECT_EQ(view->GetNumberOfPoints(), 20);
  EXPECT_NE(cloud.GetLoadError().find("numbered.rif"), std::string::npos);

  // A file not opened yet: its size tells before anything is read.
  WriteTestStream(m_Path, NumberedStream());
  CNimbex fresh(m_Path.c_str());
  ASSERT_EQ(fresh.OpenStrmCloud(), 1);
  std::filesystem::resize_file(GetStrmCompanionName(m_Path, NORM_FILE), 12 * 21);
  vtkNew<vtkPoints> points;
  EXPECT_EQ(
      fresh.LoadItemIO(-1, 7, points, nullptr, nullptr, nullptr, nullptr, nullptr, a.normals, 1),
      0);
  EXPECT_NE(fresh.GetLoadError().find("numbered.norm ends at byte 252"), std::string::npos)
      << fresh.GetLoadError();
  EXPECT_EQ(points->GetNumberOfPoints(), 0);
}

// Another program rewriting the stream while it is shown: the pages cut off a file that is
// read in place are gone, and reading them must refuse the item instead of killing the
// program.
TEST(ItemLoadingCutTest, AFileCutShortWhileTheStreamIsOpenRefusesItsItems) {
  ScratchFolder folder;
  const std::filesystem::path path = folder / "large.strm";
  TestStream stream = NumberedStream();
  stream.items = {NumberedItem(0, 1, 4000, 0), NumberedItem(1, 1, 4000, 4000),
                  NumberedItem(0, 0, 6, 100)};
  WriteTestStream(path, stream);
  CNimbex cloud(path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  ASSERT_EQ(Load(cloud, a, -1, 0, 2), 1);
  const std::filesystem::path points = GetStrmCompanionName(path, STRM_FILE);
  std::filesystem::resize_file(points, 12 * 4000 + 100);
  EXPECT_EQ(Load(cloud, a, -1, 1, 2), 0);
  EXPECT_NE(cloud.GetLoadError().find("large.strm from byte 48000: the file was cut short"),
            std::string::npos)
      << cloud.GetLoadError();
  EXPECT_EQ(a.points->GetNumberOfPoints(), 2000);
  EXPECT_EQ(a.colors->GetNumberOfTuples(), 2000);

  // Cut within the item's last page: the bytes past the new end would read as zeros.
  WriteTestStream(path, stream);
  CNimbex again(path.c_str());
  ASSERT_EQ(again.OpenStrmCloud(), 1);
  Arrays b;
  ASSERT_EQ(Load(again, b, -1, 0, 1), 1);
  std::filesystem::resize_file(GetStrmCompanionName(path, RGB_FILE), 3 * 4000 + 3 * 3990);
  EXPECT_EQ(Load(again, b, -1, 1, 1), 0);
  EXPECT_NE(again.GetLoadError().find("large.rgb from byte 12000"), std::string::npos)
      << again.GetLoadError();
  EXPECT_EQ(b.points->GetNumberOfPoints(), 4000);
  EXPECT_EQ(b.colors->GetNumberOfTuples(), 4000);
  EXPECT_EQ(b.cells->GetNumberOfCells(), 4000);
}

TEST(ItemLoadingMeshTest, TriangleIndicesFollowThePointsAlreadyLoaded) {
  ScratchFolder folder;
  TestStream stream;
  stream.tri = true;
  TestItem item = NumberedItem(0, 0, 4, 0);
  item.triangles = {{0, 1, 2}, {1, 2, 3}};
  stream.items = {item};
  WriteTestStream(folder / "mesh.strm", stream);
  CNimbex cloud((folder / "mesh.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  ASSERT_TRUE(cloud.HasTri());
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> cells;
  for (int pass = 0; pass < 2; ++pass)
    ASSERT_EQ(
        cloud.LoadItemIO(-1, 0, points, cells, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 1);
  ASSERT_EQ(cells->GetNumberOfCells(), 4);
  vtkIdType npts = 0;
  const vtkIdType* ids = nullptr;
  cells->GetCellAtId(3, npts, ids);
  ASSERT_EQ(npts, 3);
  EXPECT_EQ(ids[0], 5);
  EXPECT_EQ(ids[2], 7);

  // Stepping keeps the triangles whose corners were all taken: points 0 and 2 of 4.
  vtkNew<vtkPoints> sampled;
  vtkNew<vtkCellArray> sampledCells;
  cloud.ResetIOPtsLoaded();
  ASSERT_EQ(cloud.LoadItemIO(-1, 0, sampled, sampledCells, nullptr, nullptr, nullptr, nullptr,
                             nullptr, 2),
            1);
  EXPECT_EQ(sampled->GetNumberOfPoints(), 2);
  EXPECT_EQ(sampledCells->GetNumberOfCells(), 0);
}

// Indices beyond the item's points would send VTK reading past the points array.
TEST(ItemLoadingMeshTest, TrianglesNamingPointsTheItemDoesNotHaveAreRefused) {
  for (const Triangle& damaged : {Triangle{0, 1, 4}, Triangle{-1, 1, 2}, Triangle{0, 1 << 30, 2}}) {
    ScratchFolder folder;
    TestStream stream;
    stream.tri = true;
    TestItem item = NumberedItem(0, 0, 4, 0);
    item.triangles = {{0, 1, 2}, damaged};
    stream.items = {item};
    WriteTestStream(folder / "mesh.strm", stream);
    CNimbex cloud((folder / "mesh.strm").c_str());
    ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
    vtkNew<vtkPoints> points;
    vtkNew<vtkCellArray> cells;
    EXPECT_EQ(
        cloud.LoadItemIO(-1, 0, points, cells, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(points->GetNumberOfPoints(), 0);
    EXPECT_EQ(cells->GetNumberOfCells(), 0);
    EXPECT_NE(cloud.GetLoadError().find("mesh.tri is damaged: triangle 1"), std::string::npos)
        << cloud.GetLoadError();
    // Without a cell array the triangles are not read, and the points are sound.
    EXPECT_EQ(
        cloud.LoadItemIO(-1, 0, points, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1),
        1);
  }
}

}  // namespace
