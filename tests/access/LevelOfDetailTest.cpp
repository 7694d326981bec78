#include <gtest/gtest.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkRenderer.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"
#include "tests/support/StreamWriter.h"

namespace {

// Opens the protected level choice to the tests.
class LodCloud : public CNimbex {
 public:
  using CNimbex::CNimbex;
  using CNimbex::GetBestDepth;
};

class RecordedProgress : public TProgressTimeToComplete {
 public:
  std::vector<int> positions;

 protected:
  void OnChanged() override { positions.push_back(GetPos()); }
};

TestItem Filled(int id, int depth, int count) {
  TestItem item;
  item.id = id;
  item.depth = depth;
  item.points.assign(count, Point3f{0, 0, 0});
  return item;
}

// A depth-1 octree whose leaf ids 0, 1, ... hold the given counts under one overview item.
TestStream CountedStream(const std::vector<int>& leafCounts, int overviewCount) {
  TestStream stream;
  stream.depth = 1;
  for (int id = 0; id < static_cast<int>(leafCounts.size()); ++id)
    stream.items.push_back(Filled(id, 1, leafCounts[id]));
  stream.items.push_back(Filled(0, 0, overviewCount));
  return stream;
}

TestStream DeepStream(int isTerrain, bool triangles) {
  TestStream stream;
  stream.depth = 8;
  stream.isTerrain = isTerrain;
  stream.tri = triangles;
  stream.items = {Filled(0, 8, 3)};
  if (triangles) stream.items[0].triangles = {{0, 1, 2}};
  return stream;
}

// Boxes in the local frame of the test streams, whose bounds are -8..8 on every axis.
Wml::Box3<double> Box(double x, double y, double z, double halfSide) {
  const double bounds[6] = {x - halfSide, x + halfSide, y - halfSide,
                            y + halfSide, z - halfSide, z + halfSide};
  return Wml::MakeAlignedBox(bounds);
}
const Wml::Box3<double> kWholeStream = Box(0, 0, 0, 8);
const Wml::Box3<double> kLowerCorner = Box(-4, -4, -4, 3);  // leaf 0 only

struct Reading {
  int loaded = 0;
  int depth = -1;
  int step = 1;
  vtkIdType points = 0;
  bool operator==(const Reading& o) const {
    return loaded == o.loaded && depth == o.depth && step == o.step && points == o.points;
  }
};

std::ostream& operator<<(std::ostream& out, const Reading& r) {
  return out << "loaded " << r.loaded << ", depth " << r.depth << ", step " << r.step << ", "
             << r.points << " points";
}

Reading Load(CNimbex& cloud, int* budget, Wml::Box3<double> box = kWholeStream,
             TProgressTimeToComplete* progress = nullptr, int depth = -1, int step = 1) {
  vtkNew<vtkPoints> owned;
  vtkPoints* points = owned;
  vtkNew<vtkCellArray> cells;
  Reading reading;
  reading.loaded = cloud.LoadSpcData(depth, step, box, points, cells, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, 0.0, budget, progress);
  reading.depth = depth;
  reading.step = step;
  reading.points = points->GetNumberOfPoints();
  return reading;
}

class LevelOfDetailTest : public testing::Test {
 protected:
  std::unique_ptr<LodCloud> Open(const TestStream& stream) {
    const auto path = m_Folder / ("s" + std::to_string(m_Written++) + ".strm");
    WriteTestStream(path, stream);
    auto cloud = std::make_unique<LodCloud>(path.c_str());
    EXPECT_EQ(cloud->OpenStrmCloud(), 1) << cloud->GetLastError();
    return cloud;
  }
  ScratchFolder m_Folder;
  int m_Written = 0;
};

TEST_F(LevelOfDetailTest, BestDepthClimbsOneLevelPerBranchingOfTheRatio) {
  struct Case {
    int ratio, depth, step;
  };
  auto check = [](LodCloud& cloud, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      int ratio = c.ratio;
      EXPECT_EQ(cloud.GetBestDepth(ratio, 8), c.depth) << "ratio " << c.ratio;
      EXPECT_EQ(ratio, c.step) << "ratio " << c.ratio;
    }
  };
  auto octree = Open(DeepStream(0, false));
  check(*octree, {{1, 8, 1}, {8, 8, 1}, {20, 8, 2}, {100, 7, 3}, {1 << 30, 0, 1}});
  auto terrain = Open(DeepStream(1, false));
  check(*terrain, {{4, 8, 1}, {20, 7, 1}, {100, 6, 2}});
  auto mesh = Open(DeepStream(0, true));
  ASSERT_TRUE(mesh->HasTri());
  check(*mesh, {{1, 8, 1}, {20, 7, 2}, {100, 6, 3}});

  int ratio = 100;
  EXPECT_EQ(octree->GetBestDepth(ratio, -1), 7);  // the full-resolution level
  EXPECT_EQ(octree->GetBestDepth(ratio, -2), -1);
}

TEST_F(LevelOfDetailTest, BestLodTakesTheFirstLevelHoldingTheCount) {
  auto cloud = Open(DeepStream(0, false));
  int depth = 42;
  EXPECT_EQ(cloud->GetBestLod(1, depth), 0);
  EXPECT_EQ(depth, 42);
  const int expected[][2] = {{2, 1}, {4, 1}, {5, 2}, {64, 5}, {512, 7}, {1 << 20, 7}};
  for (const auto& [count, level] : expected) {
    ASSERT_EQ(cloud->GetBestLod(count, depth), 1);
    EXPECT_EQ(depth, level) << "count " << count;
  }
}

TEST_F(LevelOfDetailTest, ABudgetTakesAStepOrTheNextCoarserLevel) {
  int budget = 1000;
  // 5000 / 5 is not under the budget, 5000 / 6 is; each item reads 1000 / 6 points.
  auto fiveThousand = Open(CountedStream(std::vector<int>(5, 1000), 3000));
  EXPECT_EQ(Load(*fiveThousand, &budget), (Reading{1, 1, 6, 5 * 166}));
  EXPECT_EQ(fiveThousand->GetRenderedPointCount(), 5 * 166);
  EXPECT_EQ(fiveThousand->GetPrevStreamSample(), 6);
  EXPECT_EQ(fiveThousand->GetCurDepth(), 1);

  // 7000 / 6 exceeds the budget: the overview level is searched instead.
  auto sevenThousand = Open(CountedStream(std::vector<int>(7, 1000), 3000));
  EXPECT_EQ(Load(*sevenThousand, &budget), (Reading{1, 0, 4, 750}));

  // Level 0 has no coarser level: the step grows until the budget holds.
  auto denseTop = Open(CountedStream(std::vector<int>(7, 1000), 9000));
  EXPECT_EQ(Load(*denseTop, &budget), (Reading{1, 0, 9, 1000}));
  EXPECT_EQ(budget, 1000);
}

TEST_F(LevelOfDetailTest, WithoutABudgetOrUnderItTheGivenStepIsRead) {
  auto cloud = Open(CountedStream(std::vector<int>(5, 1000), 3000));
  int huge = 10000000;
  EXPECT_EQ(Load(*cloud, &huge, kWholeStream, nullptr, -1, 3), (Reading{1, 1, 1, 5000}));
  EXPECT_EQ(huge, 5000000);

  int zero = 0;
  for (int* budget : {static_cast<int*>(nullptr), &zero})
    EXPECT_EQ(Load(*cloud, budget, kWholeStream, nullptr, 1, 2), (Reading{1, 1, 2, 2500}));
}

TEST_F(LevelOfDetailTest, FailedReadingsLeaveArraysAndArgumentsAlone) {
  auto cloud = Open(CountedStream({10, 10}, 5));
  int budget = 1;
  for (int depth : {2, -2})
    EXPECT_EQ(Load(*cloud, &budget, kWholeStream, nullptr, depth, 3), (Reading{0, depth, 3, 0}));
  EXPECT_EQ(Load(*cloud, &budget, Box(100, 100, 100, 1)), (Reading{0, -1, 1, 0}));
  EXPECT_EQ(budget, 1);

  vtkPoints* noPoints = nullptr;
  int depth = -1, step = 1;
  Wml::Box3<double> box = kWholeStream;
  EXPECT_EQ(cloud->LoadSpcData(depth, step, box, noPoints, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, 0.0, nullptr, nullptr),
            0);
  CNimbex closed((m_Folder / "s0.strm").c_str());
  EXPECT_EQ(Load(closed, nullptr).loaded, 0);
}

TEST_F(LevelOfDetailTest, TheViewRectangleCoversTheCellsRead) {
  // Leaves 0 and 1 lie below the y and z midplanes; the other cells of the box are empty.
  auto cloud = Open(CountedStream({10, 10}, 5));
  ASSERT_EQ(Load(*cloud, nullptr).loaded, 1);
  const double* rect = cloud->GetLoadedRect();
  EXPECT_DOUBLE_EQ(rect[0], -8);
  EXPECT_DOUBLE_EQ(rect[1], -8);
  EXPECT_DOUBLE_EQ(rect[2], 8);
  EXPECT_DOUBLE_EQ(rect[3], 0);

  ASSERT_EQ(Load(*cloud, nullptr, kLowerCorner).loaded, 1);
  EXPECT_DOUBLE_EQ(rect[2], 0);
}

TEST_F(LevelOfDetailTest, ProgressMovesEveryTenthItemAndEndsCleared) {
  TestStream stream;
  stream.depth = 2;
  stream.items = {Filled(5, 2, 4), Filled(0, 1, 2), Filled(0, 0, 1)};
  auto cloud = Open(stream);
  RecordedProgress progress;
  progress.m_Text = "Reading";
  ASSERT_EQ(Load(*cloud, nullptr, kWholeStream, &progress).loaded, 1);  // 64 cells
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 0, 10, 20, 30, 40, 50, 60, 0}));
  int lower = -1, upper = -1;
  progress.GetRange(lower, upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 63);
  EXPECT_EQ(progress.m_Text, "");

  progress.positions.clear();
  ASSERT_EQ(Load(*cloud, nullptr, kWholeStream, &progress, 0).loaded, 1);  // one cell
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 1, 0}));
  progress.GetRange(lower, upper);
  EXPECT_EQ(upper, 1);
}

TEST_F(LevelOfDetailTest, SortingOrdersItemsFrontToBackAndKeepsEveryId) {
  TestStream stream;
  stream.depth = 1;
  for (int id : {0, 1, 2, 3, 5, 6, 7}) stream.items.push_back(Filled(id, 1, 1));  // no 4
  stream.items.push_back(Filled(0, 0, 1));
  auto cloud = Open(stream);
  Wml::Box3<double> box = kWholeStream;
  int* ids = nullptr;
  int count = 0;
  ASSERT_EQ(cloud->GetItemArray(1, &box, 1, 1, ids, count), 1);
  EXPECT_EQ(std::vector<int>(ids, ids + count), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  delete[] ids;

  // Item centres are world coordinates: the camera stands in that frame, mostly along +x,
  // then +y, then +z of the stream's offset, so the nearer half of each axis comes first.
  vtkNew<vtkRenderer> renderer;
  vtkCamera* camera = renderer->GetActiveCamera();
  camera->SetFocalPoint(1000, 2000, 300);
  camera->SetPosition(1000 + 100, 2000 + 40, 300 + 10);
  cloud->SetRenderer(renderer);
  ASSERT_EQ(cloud->GetItemArray(1, &box, 1, 1, ids, count), 1);
  // Cell 4 has no item, hence no centre: it follows the sorted ids.
  EXPECT_EQ(std::vector<int>(ids, ids + count), (std::vector<int>{7, 3, 5, 1, 6, 2, 0, 4}));
  delete[] ids;
}

TEST_F(LevelOfDetailTest, DepthPointCountSumsTheItemsMeetingTheBox) {
  auto cloud = Open(CountedStream({1000, 200, 30}, 7));
  Wml::Box3<double> box = kWholeStream;
  EXPECT_EQ(cloud->GetDepthPtCount(1, box), 1230);
  EXPECT_EQ(cloud->GetDepthPtCount(0, box), 7);
  EXPECT_EQ(cloud->GetDepthPtCount(2, box), 0);
  EXPECT_EQ(cloud->GetDepthPtCount(-1, box), 0);
  Wml::Box3<double> corner = kLowerCorner;
  EXPECT_EQ(cloud->GetDepthPtCount(1, corner), 1000);
}

TEST_F(LevelOfDetailTest, DrawingBudgetFollowsTheWindowAndTheDisplayMode) {
  auto cloud = Open(CountedStream({10}, 5));
  EXPECT_EQ(cloud->GetDrawingBudget(0, 0, 1919, 1079), 3110400);  // detail 1.5
  cloud->PutTextureActive(1);
  EXPECT_EQ(cloud->GetDrawingBudget(0, 0, 1919, 1079), 207360);  // texture delta 10
  cloud->PutTextureActive(0);
  // An empty window still has a budget: 0 or less would read the view without one.
  EXPECT_EQ(cloud->GetDrawingBudget(10, 10, 5, 5), 1);
  EXPECT_EQ(cloud->GetDrawingBudget(0, 0, -1, 99), 1);
  cloud->PutFullRes(1);
  EXPECT_EQ(cloud->GetDrawingBudget(0, 0, 1919, 1079), -1);
  EXPECT_EQ(Open(DeepStream(0, true))->GetDrawingBudget(0, 0, 99, 99), -1);
}

}  // namespace
