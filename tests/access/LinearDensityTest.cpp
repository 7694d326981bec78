#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Hooks.h"
#include "tests/support/StreamWriter.h"

namespace {

// Lattice streams: every item holds side^3 points spaced (cell size / side) apart; the
// whole-stream item of a 16-unit box with side 4 has spacing 4.
class LinearDensityTest : public testing::Test {
 protected:
  std::filesystem::path Write(int depth, int side, double gsd) {
    TestStream stream = MakeLatticeStream(depth, side, 0);
    stream.gsd = gsd;
    const auto path = m_Folder / ("d" + std::to_string(depth) + ".strm");
    WriteTestStream(path, stream);
    return path;
  }
  ScratchFolder m_Folder;
};

TEST_F(LinearDensityTest, OverviewSpacingIsScaledByTheLevelsBelowIt) {
  CNimbex depthOne(Write(1, 4, 0.0).c_str());
  ASSERT_EQ(depthOne.OpenStrmCloud(), 1) << depthOne.GetLastError();
  EXPECT_NEAR(depthOne.GetLinearDensity(), 4 * 1.1, 1e-9);

  CNimbex depthThree(Write(3, 4, 0.0).c_str());
  ASSERT_EQ(depthThree.OpenStrmCloud(), 1) << depthThree.GetLastError();
  EXPECT_NEAR(depthThree.GetLinearDensity(), 4.0 / 64 * 1.1, 1e-9);
}

TEST_F(LinearDensityTest, AComputedDensityIsStoredInTheHeader) {
  const auto path = Write(1, 4, 0.0);
  {
    CNimbex cloud(path.c_str());
    ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  }
  std::ifstream pci(GetStrmCompanionName(path, PCI_FILE), std::ios::binary);
  pci.seekg(132);
  double stored = 0;
  pci.read(reinterpret_cast<char*>(&stored), sizeof stored);
  EXPECT_NEAR(stored, 4.4, 1e-9);
}

TEST_F(LinearDensityTest, HoldingShiftRecomputesAStoredDensity) {
  const auto path = Write(1, 4, -3.0);
  CNimbex stored(path.c_str());
  ASSERT_EQ(stored.OpenStrmCloud(), 1);
  EXPECT_EQ(stored.GetLinearDensity(), -3.0);  // a stored value is taken as it is
  stored.CloseStrmCloud();

  SetShiftKeyQuery([] { return true; });
  CNimbex recomputed(path.c_str());
  const int opened = recomputed.OpenStrmCloud();
  SetShiftKeyQuery(nullptr);
  ASSERT_EQ(opened, 1);
  EXPECT_NEAR(recomputed.GetLinearDensity(), 4.4, 1e-9);
}

TEST_F(LinearDensityTest, AStreamGivesTheSameDensityEachTimeItIsOpened) {
  TestStream stream = MakeLatticeStream(0, 8, 0);
  stream.gsd = 0.0;
  stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = false;  // points only
  unsigned jitter = 12345;  // uneven spacing, so that the sampled points matter
  for (Point3f& p : stream.items.front().points)
    for (float& c : p)
      c += static_cast<float>((jitter = jitter * 1103515245u + 12345u) >> 16) / 65536.0f;
  const auto path = m_Folder / "uneven.strm";
  WriteTestStream(path, stream);

  std::vector<double> densities;
  for (int run = 0; run < 5; ++run) {
    CNimbex cloud(path.c_str());
    cloud.PutHeaderWriteBack(0);  // as the command line opens it: nothing is stored
    ASSERT_EQ(cloud.OpenStrmCloud(), 1);
    densities.push_back(cloud.GetLinearDensity());
  }
  for (double density : densities) EXPECT_EQ(density, densities.front());
}

TEST_F(LinearDensityTest, AnAreaSamplesTheFullestGridItemMeetingIt) {
  CNimbex cloud(Write(1, 4, 1.0).c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  // Absolute area around the lower cells (offset 1000, 2000): spacing 8 / 4 = 2, unscaled.
  CPgon area({{{995, 1995}, {997, 1995}, {997, 1997}, {995, 1997}}});
  ASSERT_EQ(cloud.EvaluateLinearDensity(&area, 0), 1);
  EXPECT_NEAR(cloud.GetLinearDensity(), 2.0, 1e-9);

  CPgon elsewhere({{{0, 0}, {1, 0}, {1, 1}}});
  EXPECT_EQ(cloud.EvaluateLinearDensity(&elsewhere, 0), 0);
  EXPECT_NEAR(cloud.GetLinearDensity(), 2.0, 1e-9);
}

TEST_F(LinearDensityTest, DuplicatePointsDoNotMakeTheSpacingZero) {
  TestStream stream = MakeLatticeStream(0, 4, 0);
  stream.gsd = 0.0;
  stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = false;  // points only
  TestItem& item = stream.items.front();
  const std::vector<Point3f> once = item.points;
  item.points.insert(item.points.end(), once.begin(), once.end());  // every point twice
  const auto path = m_Folder / "twice.strm";
  WriteTestStream(path, stream);
  CNimbex cloud(path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  EXPECT_NEAR(cloud.GetLinearDensity(), 4 * 1.1, 1e-9);
}

TEST_F(LinearDensityTest, TooFewPointsLeaveTheDensityUnchangedAndTheStreamUnopened) {
  TestStream stream;
  stream.gsd = 0.0;
  TestItem pair;
  pair.points = {{0, 0, 0}, {1, 0, 0}};
  stream.items = {pair};
  const auto path = m_Folder / "pair.strm";
  WriteTestStream(path, stream);
  CNimbex cloud(path.c_str());
  EXPECT_EQ(cloud.OpenStrmCloud(), 0);
  EXPECT_NE(cloud.GetLastError().find("point spacing"), std::string::npos);
}

}  // namespace
