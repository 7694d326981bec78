#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "nimbex/format/Container.h"
#include "nimbex/format/Unset.h"

namespace {

const double kBounds[6] = {-8, 8, -4, 4, -2, 2};
const double kOffset[3] = {100, 200, 30};

std::vector<int> TakeIds(int* ids, int count) {
  std::vector<int> result(ids, ids + count);
  delete[] ids;
  return result;
}

TEST(ContainerTest, PointsOnUpperBoundsAndSplitPlanesGoToTheUpperCell) {
  CContainer octree(kBounds, 2, 0, kOffset);
  const double upperCorner[3] = {8, 4, 2};
  EXPECT_EQ(octree.GetItemId(upperCorner, 1, 2), 63);  // every level: all three upper halves
  const double onSplitPlanes[3] = {0, 0, 0};
  EXPECT_EQ(octree.GetItemId(onSplitPlanes, 1, 1), 7);
  const double lowerCorner[3] = {-8, -4, -2};
  double cell[6];
  EXPECT_EQ(octree.GetItemId(lowerCorner, 1, 2, cell), 0);
  EXPECT_DOUBLE_EQ(cell[1], -4);
  EXPECT_DOUBLE_EQ(cell[5], -1);

  // x upper half at level 1 (bit 0), y upper at level 2 (bit 1 of the last group).
  const double mixed[3] = {1, -1, -2};
  EXPECT_EQ(octree.GetItemId(mixed, 1, 2), (1 << 3) | 2);
  const double absolute[3] = {101, 199, 28};
  EXPECT_EQ(octree.GetItemId(absolute, 0, 2), (1 << 3) | 2);
}

TEST(ContainerTest, PointsOutsideAndBadArgumentsGiveMinusOne) {
  CContainer octree(kBounds, 2, 0, kOffset);
  const double outsideZ[3] = {0, 0, 2.5};
  EXPECT_EQ(octree.GetItemId(outsideZ, 1, 2), -1);
  EXPECT_EQ(octree.GetItemId(nullptr, 1, 2), -1);
  const double inside[3] = {0, 0, 0};
  EXPECT_EQ(octree.GetItemId(inside, 1, -1), -1);
  CContainer unsetOffset(kBounds, 2, 0, nullptr);
  unsetOffset.m_Offset[1] = NBX_UNSET;
  EXPECT_EQ(unsetOffset.GetItemId(inside, 1, 2), -1);

  // A terrain quadtree never looks at z.
  CContainer terrain(kBounds, 2, 1, kOffset);
  EXPECT_EQ(terrain.GetItemId(outsideZ, 1, 1), 3);
}

TEST(ContainerTest, DepthZeroIsTheWholeBox) {
  CContainer octree(kBounds, 0, 0, kOffset);
  const double anywhere[3] = {7, -3, 1};
  EXPECT_EQ(octree.GetItemId(anywhere, 1, 0), 0);
  int* ids = nullptr;
  int count = 0;
  ASSERT_EQ(octree.GetSubItemArray(0, 0, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(octree.GetSubItemArray(5, 1, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), (std::vector<int>{40, 41, 42, 43, 44, 45, 46, 47}));
}

TEST(ContainerTest, CentresAndBoundsFollowTheIdBits) {
  CContainer octree(kBounds, 2, 0, kOffset);
  double bounds[6];
  std::unique_ptr<double[]> center(octree.GetItemCenter((1 << 3) | 2, 1, 2, bounds));
  ASSERT_TRUE(center);
  EXPECT_DOUBLE_EQ(center[0], 2);     // x: upper then lower half: 0..4
  EXPECT_DOUBLE_EQ(center[1], -1);    // y: lower then upper half: -2..0
  EXPECT_DOUBLE_EQ(center[2], -1.5);  // z: lower, lower: -2..-1
  EXPECT_DOUBLE_EQ(bounds[0], 0);
  EXPECT_DOUBLE_EQ(bounds[1], 4);

  std::unique_ptr<double[]> absolute(octree.GetItemCenter((1 << 3) | 2, 0, 2));
  EXPECT_DOUBLE_EQ(absolute[0], 102);
  EXPECT_DOUBLE_EQ(absolute[2], 28.5);

  EXPECT_EQ(octree.GetItemCenter(64, 1, 2), nullptr);  // 2^(2*3) is past the last id
  EXPECT_EQ(octree.GetItemCenter(-1, 1, 2), nullptr);

  // Without an offset an absolute centre falls back to the relative one.
  CContainer noOffset(kBounds, 2, 0, nullptr);
  noOffset.m_Offset[0] = NBX_UNSET;
  std::unique_ptr<double[]> relative(noOffset.GetItemCenter(0, 0, 1));
  EXPECT_DOUBLE_EQ(relative[0], -4);

  // Terrain cells keep the whole z range; the centre's z is its middle, offset not added.
  CContainer terrain(kBounds, 2, 1, kOffset);
  std::unique_ptr<double[]> terrainCenter(terrain.GetItemCenter(3, 0, 1, bounds));
  EXPECT_DOUBLE_EQ(terrainCenter[0], 104);
  EXPECT_DOUBLE_EQ(terrainCenter[2], 0);
  EXPECT_DOUBLE_EQ(bounds[4], -2);
  EXPECT_DOUBLE_EQ(bounds[5], 2);
  EXPECT_DOUBLE_EQ(terrain.GetItemExtent(2, 3), 4);
  EXPECT_DOUBLE_EQ(octree.GetItemExtent(0, 3), 2);
  EXPECT_DOUBLE_EQ(octree.GetItemExtent(3, 1), NBX_UNSET);
}

TEST(ContainerTest, BoxSearchReturnsMeetingItemsInIdOrder) {
  CContainer octree(kBounds, 1, 0, kOffset);
  Wml::Box3<double> box;
  box.Center() = Wml::Vector3<double>(4, 2, 1);  // inside cell 7 only
  box.Extent(0) = box.Extent(1) = box.Extent(2) = 0.5;
  int* ids = nullptr;
  int count = 0;
  ASSERT_EQ(octree.GetItemArray(1, &box, 1, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), std::vector<int>{7});

  box.Center() = Wml::Vector3<double>(100, 202, 31);  // absolute, straddles the x split
  ASSERT_EQ(octree.GetItemArray(1, &box, 0, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), (std::vector<int>{6, 7}));

  box.Center() = Wml::Vector3<double>(50, 0, 0);  // misses the container
  ids = nullptr;
  EXPECT_EQ(octree.GetItemArray(1, &box, 1, &ids, &count), 0);
  EXPECT_EQ(ids, nullptr);
}

TEST(ContainerTest, PolygonSearchUsesTheFirstContourOfAnAbsolutePolygon) {
  CContainer terrain(kBounds, 1, 1, kOffset);
  // First contour: a square around absolute (96, 198) -> local (-4, -2), in cell 0.
  CContour first = {{95, 197}, {97, 197}, {97, 199}, {95, 199}};
  // Second contour would reach cell 3.
  CContour second = {{103, 201}, {105, 201}, {105, 203}, {103, 203}};
  CPgon polygon({first, second});
  int* ids = nullptr;
  int count = 0;
  ASSERT_EQ(terrain.GetItemArray(1, &polygon, 0, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), std::vector<int>{0});

  // The same polygon taken as relative keeps both contours, but they lie outside.
  EXPECT_EQ(terrain.GetItemArray(1, &polygon, 1, &ids, &count), 0);

  ASSERT_EQ(terrain.GetItemArray(1, static_cast<const CPgon*>(nullptr), 1, &ids, &count), 1);
  EXPECT_EQ(TakeIds(ids, count), (std::vector<int>{0, 1, 2, 3}));

  CPgon empty;
  EXPECT_EQ(terrain.GetItemArray(1, &empty, 0, &ids, &count), 0);
}

}  // namespace

namespace {

TEST(CellLocatorTest, AgreesWithTheContainerEverywhere) {
  // Awkward bounds, so that the halving rounds; points on planes, faces and in between.
  const double bounds[6] = {-163.178656, 163.178656, -204.0541953, 204.0541953, -11.012011, 11.7};
  for (int terrain = 0; terrain <= 1; ++terrain) {
    CContainer container(bounds, 5, terrain, nullptr);
    CCellLocator locator(container, 5);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(-0.02, 1.02);
    for (int i = 0; i < 200000; ++i) {
      double p[3];
      for (int d = 0; d < 3; ++d)
        p[d] = bounds[2 * d] + unit(random) * (bounds[2 * d + 1] - bounds[2 * d]);
      if (i % 4 == 0) {  // snap one coordinate onto a split plane of its cell
        double cell[6];
        const int id = container.GetItemId(p, 1, 5, cell);
        if (id >= 0) p[i % 3 % (3 - terrain)] = cell[2 * (i % 3 % (3 - terrain))];
      }
      ASSERT_EQ(locator.Locate(p), container.GetItemId(p, 1, 5))
          << p[0] << " " << p[1] << " " << p[2];
    }
    const double upper[3] = {bounds[1], bounds[3], bounds[5]};
    EXPECT_EQ(locator.Locate(upper), container.GetItemId(upper, 1, 5));
  }
}

}  // namespace
