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

TEST_F(ItemLoadingTest, BackToBackItemsAreReadWithoutASecondSeek) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  ASSERT_EQ(Load(cloud, a, 1, 0, 1), 1);
  const long long seeksAfterFirst = cloud.GetSeekCount();
  ASSERT_EQ(Load(cloud, a, 1, 1, 1), 1);
  EXPECT_EQ(cloud.GetSeekCount(), seeksAfterFirst);
  ASSERT_EQ(Load(cloud, a, 1, 7, 1), 1);
  EXPECT_EQ(cloud.GetSeekCount(), seeksAfterFirst);
  ASSERT_EQ(a.points->GetNumberOfPoints(), 24);
  EXPECT_FLOAT_EQ(a.points->GetPoint(23)[0], 23);
  EXPECT_EQ(a.colors->GetTypedComponent(23, 0), 23);

  // Vertex cells refer to the points in the order they were appended.
  vtkIdType npts = 0;
  const vtkIdType* ids = nullptr;
  a.cells->GetCellAtId(23, npts, ids);
  ASSERT_EQ(npts, 1);
  EXPECT_EQ(ids[0], 23);

  // Going back to the first item needs a seek in every file again.
  ASSERT_EQ(Load(cloud, a, 1, 0, 1), 1);
  EXPECT_GT(cloud.GetSeekCount(), seeksAfterFirst);
}

TEST_F(ItemLoadingTest, OverviewItemsComeFromTheOverviewFiles) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  vtkNew<vtkFloatArray> intensities;
  ASSERT_EQ(cloud.LoadItemIO(0, 0, points, nullptr, nullptr, nullptr, intensities, nullptr,
                             nullptr, 1),
            1);
  ASSERT_EQ(points->GetNumberOfPoints(), 6);
  EXPECT_DOUBLE_EQ(points->GetPoint(5)[0], 105);
  EXPECT_EQ(intensities->GetValue(0), 200);
  EXPECT_EQ(cloud.LoadItemIO(0, 1, points, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 0);
}

TEST_F(ItemLoadingTest, MissingFilesShortFilesAndWrongArraysFailSafely) {
  std::filesystem::remove(GetStrmCompanionName(m_Path, CLA_FILE));
  // Cut the last item's points in half: only what is there is read.
  std::filesystem::resize_file(m_Path, (20 + 2) * 12);
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Arrays a;
  EXPECT_EQ(Load(cloud, a, -1, 0, 1), 0);  // a classes array needs the "cla" file

  vtkNew<vtkPoints> points;
  vtkNew<vtkFloatArray> intensities;
  ASSERT_EQ(cloud.LoadItemIO(-1, 7, points, nullptr, nullptr, nullptr, intensities, nullptr,
                             nullptr, 1),
            1);
  EXPECT_EQ(points->GetNumberOfPoints(), 2);
  EXPECT_EQ(intensities->GetNumberOfTuples(), 2);

  vtkNew<vtkUnsignedCharArray> oneComponentColors;
  EXPECT_EQ(cloud.LoadItemIO(-1, 1, points, nullptr, nullptr, oneComponentColors, nullptr,
                             nullptr, nullptr, 1),
            0);
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
    ASSERT_EQ(cloud.LoadItemIO(-1, 0, points, cells, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 1);
  ASSERT_EQ(cells->GetNumberOfCells(), 4);
  vtkIdType npts = 0;
  const vtkIdType* ids = nullptr;
  cells->GetCellAtId(3, npts, ids);
  ASSERT_EQ(npts, 3);
  EXPECT_EQ(ids[0], 5);
  EXPECT_EQ(ids[2], 7);
}

}  // namespace
