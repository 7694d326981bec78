#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "nimbex/demo/DemoSite.h"
#include "tests/support/StreamWriter.h"

namespace {

constexpr size_t kHeaderSize = 375;
constexpr size_t kRecordLength = 36;  // point format 7

std::vector<unsigned char> ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

template <class T>
T At(const std::vector<unsigned char>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

struct Record {
  double x, y;
  int returnNumber, numberOfReturns, classification;
  uint16_t rgb[3];
  double gpsTime;
};

Record RecordAt(const std::vector<unsigned char>& las, size_t index) {
  const size_t at = kHeaderSize + kRecordLength * index;
  Record record;
  record.x = At<int32_t>(las, at) * At<double>(las, 131) + At<double>(las, 155);
  record.y = At<int32_t>(las, at + 4) * At<double>(las, 139) + At<double>(las, 163);
  record.returnNumber = las[at + 14] & 0x0F;
  record.numberOfReturns = las[at + 14] >> 4;
  record.classification = las[at + 16];
  for (int c = 0; c < 3; ++c) record.rgb[c] = At<uint16_t>(las, at + 30 + 2 * c);
  record.gpsTime = At<double>(las, at + 22);
  return record;
}

std::vector<unsigned char> Generate(const ScratchFolder& folder, const std::string& name,
                                    long long points, unsigned seed) {
  DemoSiteSettings settings;
  settings.points = points;
  settings.seed = seed;
  settings.creationDate = LasDate{100, 2025};
  std::string error;
  EXPECT_TRUE(WriteDemoSite(folder / name, settings, nullptr, error)) << error;
  return ReadBytes(folder / name);
}

bool IsVegetation(int classification) {
  return classification >= 3 && classification <= 5;
}

TEST(DemoSiteTest, SameSeedGivesTheSameFileAndOtherSeedsAnotherSite) {
  ScratchFolder folder;
  const auto first = Generate(folder, "a.las", 50000, 7);
  const auto again = Generate(folder, "b.las", 50000, 7);
  const auto other = Generate(folder, "c.las", 50000, 8);
  ASSERT_EQ(first.size(), kHeaderSize + 50000 * kRecordLength);
  EXPECT_TRUE(first == again);
  ASSERT_EQ(other.size(), first.size());
  EXPECT_FALSE(std::equal(first.begin() + kHeaderSize, first.end(), other.begin() + kHeaderSize));
}

// Pulses through vegetation give several returns, so the last pulse must be cut short to end
// exactly on the requested count, and still end with its last return.
TEST(DemoSiteTest, WritesExactlyTheRequestedNumberOfPoints) {
  ScratchFolder folder;
  // Sites of other seeds end elsewhere; some of them in a tree.
  std::vector<std::pair<long long, unsigned>> requests = {
      {1, 3}, {2, 3}, {3, 3}, {7, 3}, {123457, 3}};
  for (unsigned seed = 1; seed <= 40; ++seed) requests.push_back({20000 + seed, seed});
  int endingInSeveralReturns = 0;
  for (const auto& [points, seed] : requests) {
    const auto las = Generate(folder, "site.las", points, seed);
    ASSERT_EQ(las.size(), kHeaderSize + kRecordLength * points) << points;
    EXPECT_EQ(At<uint64_t>(las, 247), uint64_t(points));
    uint64_t byReturn = 0;
    for (int i = 0; i < 15; ++i) byReturn += At<uint64_t>(las, 255 + 8 * i);
    EXPECT_EQ(byReturn, uint64_t(points));
    const Record last = RecordAt(las, points - 1);
    EXPECT_EQ(last.returnNumber, last.numberOfReturns) << points;
    endingInSeveralReturns += last.numberOfReturns > 1;
  }
  EXPECT_GT(endingInSeveralReturns, 0) << "no count ended inside vegetation";
}

// Walks the pulses of a site: returns 1..n in order with one GPS time, several returns only
// through vegetation with the ground last, GPS times never going back.
TEST(DemoSiteTest, SiteHoldsTheSurveyClassesWithConsistentReturns) {
  ScratchFolder folder;
  const long long points = 400000;
  const auto las = Generate(folder, "site.las", points, 1);
  ASSERT_EQ(las.size(), kHeaderSize + kRecordLength * points);

  std::set<int> classes;
  uint64_t byReturn[15] = {};
  long long uncoloured = 0, multiReturnPulses = 0, redBuilding = 0, greyBuilding = 0;
  double previousTime = -1;
  for (long long i = 0; i < points;) {
    const Record first = RecordAt(las, i);
    ASSERT_EQ(first.returnNumber, 1) << "point " << i;
    ASSERT_GE(first.numberOfReturns, 1);
    ASSERT_LE(first.numberOfReturns, 4);
    ASSERT_GE(first.gpsTime, previousTime) << "point " << i;
    previousTime = first.gpsTime;
    bool throughVegetation = false;
    for (int r = 1; r <= first.numberOfReturns; ++r, ++i) {
      const Record point = RecordAt(las, i);
      ASSERT_EQ(point.returnNumber, r) << "point " << i;
      ASSERT_EQ(point.numberOfReturns, first.numberOfReturns) << "point " << i;
      ASSERT_EQ(point.gpsTime, first.gpsTime) << "point " << i;
      ++byReturn[r - 1];
      classes.insert(point.classification);
      throughVegetation |= IsVegetation(point.classification);
      if (point.classification == 6) {
        redBuilding += point.rgb[0] > 2 * point.rgb[1];
        greyBuilding += point.rgb[0] < 1.1 * point.rgb[1] && point.rgb[0] > 0.9 * point.rgb[1];
      }
      if (point.rgb[0] == 0 && point.rgb[1] == 0 && point.rgb[2] == 0) ++uncoloured;
      if (first.numberOfReturns > 1) {
        ASSERT_TRUE(IsVegetation(point.classification) ||
                    (point.classification == 2 && r == first.numberOfReturns))
            << "point " << i << " class " << point.classification;
      }
    }
    if (first.numberOfReturns > 1) {
      ASSERT_TRUE(throughVegetation) << "pulse ending at point " << i;
      ++multiReturnPulses;
    }
  }

  EXPECT_TRUE(classes.count(1) && classes.count(2) && classes.count(6));
  EXPECT_TRUE(classes.count(3) && classes.count(4) && classes.count(5));
  EXPECT_GT(multiReturnPulses, points / 100);
  EXPECT_EQ(uncoloured, 0);
  EXPECT_GT(redBuilding, 0);
  EXPECT_GT(greyBuilding, 0);
  for (int r = 0; r < 15; ++r) EXPECT_EQ(At<uint64_t>(las, 255 + 8 * r), byReturn[r]) << r;
  const double area =
      (At<double>(las, 179) - At<double>(las, 187)) * (At<double>(las, 195) - At<double>(las, 203));
  EXPECT_GT(points / area, 10);
  EXPECT_LT(points / area, 20);
}

TEST(DemoSiteTest, RefusesImpossibleRequestsAndLeavesNoFile) {
  ScratchFolder folder;
  EXPECT_NE(DemoSiteRequestProblem(folder / "a.las", 0).find("between 1 and"), std::string::npos);
  EXPECT_NE(DemoSiteRequestProblem(folder / "a.las", -3), "");
  EXPECT_NE(DemoSiteRequestProblem(folder / "a.las", kMaxDemoSitePoints + 1), "");
  EXPECT_EQ(DemoSiteRequestProblem(folder / "a.las", kMaxDemoSitePoints), "");
  EXPECT_NE(DemoSiteRequestProblem(folder.Path(), 10).find("is a folder"), std::string::npos);
  const std::string missing = folder / "missing" / "a.las";
  EXPECT_NE(DemoSiteRequestProblem(missing, 10).find("does not exist"), std::string::npos);

  DemoSiteSettings settings;
  settings.points = 10;
  std::string error;
  EXPECT_FALSE(WriteDemoSite(missing, settings, nullptr, error));
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(missing));
  settings.points = 0;
  EXPECT_FALSE(WriteDemoSite(folder / "a.las", settings, nullptr, error));
  EXPECT_FALSE(std::filesystem::exists(folder / "a.las"));
}

}  // namespace
