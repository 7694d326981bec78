#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "nimbex/creation/LasReader.h"
#include "tests/support/StreamWriter.h"

namespace {

template <class T>
void Put(std::vector<uint8_t>& bytes, size_t at, T value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A LAS 1.2 file of point format 0 with no variable-length records and scale 0.01, whose
// point i lies at raw X = i, Y = -i, Z = i % 7.
std::string WriteLas(const ScratchFolder& folder, int count,
                     const std::function<void(std::vector<uint8_t>&)>& damage = nullptr) {
  std::vector<uint8_t> las(227 + 20 * count, 0);
  std::memcpy(las.data(), "LASF", 4);
  las[24] = 1;
  las[25] = 2;
  Put<uint16_t>(las, 94, 227);
  Put<uint32_t>(las, 96, 227);
  Put<uint16_t>(las, 105, 20);
  Put<uint32_t>(las, 107, count);
  for (int axis = 0; axis < 3; ++axis) Put(las, 131 + 8 * axis, 0.01);
  for (int i = 0; i < count; ++i) {
    const int32_t raw[3] = {i, -i, i % 7};
    std::memcpy(las.data() + 227 + 20 * i, raw, sizeof raw);
  }
  if (damage) damage(las);
  const std::string path = folder / "input.las";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(las.data(), 1, las.size(), file);
  std::fclose(file);
  return path;
}

std::unique_ptr<CLasReader> OpenOrFail(const std::string& path) {
  std::string error;
  auto reader = CLasReader::Open(path, error);
  EXPECT_TRUE(reader) << error;
  return reader;
}

std::vector<SPoint> ReadAll(SPreader& reader) {
  std::vector<SPoint> points;
  SPoint point;
  while (reader.Read(point) == SP_VALID) points.push_back(point);
  return points;
}

void ExpectRefused(const std::string& path, const std::string& expected) {
  std::string error;
  EXPECT_FALSE(CLasReader::Open(path, error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  EXPECT_NE(error.find(expected), std::string::npos) << error;
}

TEST(LasReaderTest, RefusesDamagedHeadersNamingTheFile) {
  using Damage = std::function<void(std::vector<uint8_t>&)>;
  const std::pair<Damage, const char*> cases[] = {
      {[](auto& las) { las[0] = 'X'; }, "not a LAS file"},
      {[](auto& las) { las.resize(200); }, "too short"},
      {[](auto& las) { las[24] = 2; }, "version 2.2"},
      {[](auto& las) { las[104] = 0x40; }, "LAZ (compressed LAS) is not supported"},
      {[](auto& las) { las[104] = 11; }, "point format 11"},
      {[](auto& las) { Put<uint16_t>(las, 94, 200); }, "below the 227-byte minimum"},
      {[](auto& las) { Put<uint32_t>(las, 96, 100); }, "inside the 227-byte header"},
      {[](auto& las) { Put<uint32_t>(las, 96, 5000); }, "beyond the end"},
      {[](auto& las) { Put<uint32_t>(las, 100, 2); }, "2 variable-length records but only room"},
      {[](auto& las) { Put<uint16_t>(las, 105, 19); }, "shorter than point format 0 needs"},
      {[](auto& las) { Put(las, 139, 0.0); }, "Y scale"},
      {[](auto& las) { Put(las, 147, std::nan("")); }, "Z scale"},
      {[](auto& las) { Put(las, 131, 1e300); }, "X scale"},
      {[](auto& las) { las.resize(227); }, "claims 2 points but the file holds none"}};
  ScratchFolder folder;
  for (const auto& [damage, expected] : cases) ExpectRefused(WriteLas(folder, 2, damage), expected);
  ExpectRefused(folder / "missing.las", "cannot open");
}

TEST(LasReaderTest, ScanPumpsStopsOnCancelAndRewinds) {
  constexpr int kCount = 1200000;  // more than one pump interval
  ScratchFolder folder;
  auto reader = OpenOrFail(WriteLas(folder, kCount));
  SPoint point;
  ASSERT_EQ(reader->Read(point), SP_VALID);
  ASSERT_EQ(reader->Read(point), SP_VALID);
  int pumps = 0, cancel = 0;
  double bounds[6];
  int64_t count = 0;
  ASSERT_TRUE(reader->Scan(
      bounds, count, [&] { ++pumps; }, &cancel));
  EXPECT_EQ(count, kCount);
  EXPECT_EQ(pumps, 1);
  const double expected[6] = {0, (kCount - 1) * 0.01, -(kCount - 1) * 0.01, 0, 0, 0.06};
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(bounds[i], expected[i]);
  EXPECT_EQ(reader->Read(point), SP_VALID);
  EXPECT_EQ(point.y, 0);  // back at the first point

  EXPECT_FALSE(reader->Scan(
      bounds, count, [&] { cancel = 1; }, &cancel));
  EXPECT_LT(count, kCount);
  EXPECT_EQ(reader->Read(point), SP_VALID);
  EXPECT_EQ(point.y, 0);
}

class LasSampleTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("ORVALIS_SAMPLE_DATA");
    if (!root || !std::filesystem::is_directory(std::filesystem::path(root) / "las"))
      GTEST_SKIP() << "ORVALIS_SAMPLE_DATA does not hold a las folder";
    m_Folder = std::filesystem::path(root) / "las";
  }
  std::string Sample(const std::string& name) const { return m_Folder / name; }
  std::vector<SPoint> ReadSample(const std::string& name) const {
    auto reader = OpenOrFail(Sample(name));
    return reader ? ReadAll(*reader) : std::vector<SPoint>();
  }

  std::filesystem::path m_Folder;
};

bool Inside(const SPoint& p, const double box[6]) {
  return p.x >= box[0] && p.x <= box[1] && p.y >= box[2] && p.y <= box[3] && p.z >= box[4] &&
         p.z <= box[5];
}

bool SameXyz(const SPoint& a, const SPoint& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool SameFields(const SPoint& a, const SPoint& b) {
  return SameXyz(a, b) && std::equal(a.rgb, a.rgb + 3, b.rgb) && a.lasIntensity == b.lasIntensity &&
         a.classification == b.classification && a.returnByte == b.returnByte;
}

// Every undamaged file of the folder, whatever its version and point format.
TEST_F(LasSampleTest, EveryFileReadsItsCountInsideTheHeaderBox) {
  const std::set<std::string> elsewhere = {"pdal_spurious.las",
                                           "laspy_simple1_3.las",
                                           "pdal_no-points.las",
                                           "pdal_bad_vlr_count.las",
                                           "pdal_1.2-with-color-clipped.las",
                                           "pdal_garbage_nVariableLength.las",
                                           "pdal_1.2-no-points.las"};
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(m_Folder)) {
    const std::string name = entry.path().filename();
    if (entry.path().extension() != ".las" || elsewhere.count(name)) continue;
    SCOPED_TRACE(name);
    ++files;
    auto reader = OpenOrFail(entry.path());
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->GetWarnings().empty());
    double box[6], scanned[6];
    int64_t count = 0;
    ASSERT_TRUE(reader->GetHeaderBounds(box));
    ASSERT_TRUE(reader->Scan(scanned, count, nullptr, nullptr));
    const std::vector<SPoint> points = ReadAll(*reader);
    EXPECT_GT(count, 0);
    EXPECT_EQ(count, reader->GetPointCount());
    ASSERT_EQ(static_cast<int64_t>(points.size()), count);
    for (const SPoint& point : points) ASSERT_TRUE(Inside(point, box));
  }
  EXPECT_EQ(files, 56);
}

TEST_F(LasSampleTest, ScanFindsWhatTheHeaderBoxMisses) {
  auto spurious = OpenOrFail(Sample("pdal_spurious.las"));
  double box[6], scanned[6];
  int64_t count = 0;
  ASSERT_TRUE(spurious->GetHeaderBounds(box));
  ASSERT_TRUE(spurious->Scan(scanned, count, nullptr, nullptr));
  EXPECT_EQ(count, 1065);
  EXPECT_GT(box[0], -123.08);
  EXPECT_NEAR(scanned[0], -124.07, 0.01);
  // This writer stored the box in raw integer units, out of reach of any coordinate.
  auto rawBox = OpenOrFail(Sample("laspy_simple1_3.las"));
  EXPECT_FALSE(rawBox->GetHeaderBounds(box));
  ASSERT_TRUE(rawBox->Scan(scanned, count, nullptr, nullptr));
  EXPECT_EQ(count, 999);
  EXPECT_NEAR(scanned[2], 5800843.145, 1e-6);
}

TEST_F(LasSampleTest, SamePointsFromDifferentEncodings) {
  const auto simple = ReadSample("laspy_simple.las");
  const auto padded = ReadSample("liblas_1.2-with-color.las");
  EXPECT_TRUE(std::equal(simple.begin(), simple.end(), padded.begin(), padded.end(), SameFields));
  const auto evlr = ReadSample("laspy_1_4_w_evlr.las");
  const auto test14 = ReadSample("laspy_test1_4.las");
  EXPECT_TRUE(std::equal(evlr.begin(), evlr.end(), test14.begin(), test14.end(), SameFields));
  const auto trim = ReadSample("pdal_autzen_trim.las");
  const auto trim7 = ReadSample("pdal_autzen_trim_7.las");
  ASSERT_EQ(trim.size(), 110000u);
  EXPECT_TRUE(std::equal(trim.begin(), trim.end(), trim7.begin(), trim7.end(), SameXyz));
}

TEST_F(LasSampleTest, DecodesReturnsClassesAndColours) {
  const SPoint first = ReadSample("laspy_simple.las").at(0);
  EXPECT_EQ(first.lasIntensity, 143);
  EXPECT_EQ(first.returnByte, 73);  // return 1 of 1, scan direction bit set
  EXPECT_EQ(first.returnNumber, 1);
  EXPECT_EQ(first.numberOfReturns, 1);
  EXPECT_EQ(first.classification, 1);
  EXPECT_EQ(std::vector<int>(first.rgb, first.rgb + 3), std::vector<int>({68, 77, 88}));
  const auto extended = ReadSample("laszip_5points_14.las");  // 4-bit returns, 8-bit classes
  ASSERT_EQ(extended.size(), 5u);
  EXPECT_EQ(extended[2].returnNumber, 9);
  EXPECT_EQ(extended[2].numberOfReturns, 9);
  EXPECT_EQ(extended[1].classification, 41);
  EXPECT_EQ(extended[2].classification, 42);

  const auto largestComponent = [](const std::vector<SPoint>& points) {
    int largest = 0;
    for (const SPoint& p : points) largest = std::max({largest, +p.rgb[0], +p.rgb[1], +p.rgb[2]});
    return largest;
  };
  EXPECT_EQ(largestComponent(ReadSample("laspy_simple.las")), 249);
  EXPECT_EQ(largestComponent(ReadSample("pdal_sample_c.las")), 54272 >> 8);
  auto scanned = OpenOrFail(Sample("laspy_simple1_4.las"));  // decided while scanning
  double bounds[6];
  int64_t count = 0;
  ASSERT_TRUE(scanned->Scan(bounds, count, nullptr, nullptr));
  EXPECT_EQ(largestComponent(ReadAll(*scanned)), 65024 >> 8);
}

TEST_F(LasSampleTest, DamagedFilesAreRefusedOrReadAsFarAsTheyGo) {
  ExpectRefused(Sample("laspy_simple.laz"),
                "LAZ (compressed LAS) is not supported; decompress it to LAS first");
  ExpectRefused(Sample("pdal_garbage_nVariableLength.las"),
                "claims 1069128089 variable-length records but only room for 0");
  ExpectRefused(Sample("pdal_1.2-no-points.las"), "claims 1065 points but the file holds none");

  auto clipped = OpenOrFail(Sample("pdal_1.2-with-color-clipped.las"));
  EXPECT_EQ(clipped->GetPointCount(), 1064);
  EXPECT_EQ(clipped->GetMissingPointCount(), 1);
  EXPECT_EQ(ReadAll(*clipped).size(), 1064u);
  ASSERT_EQ(clipped->GetWarnings().size(), 1u);
  EXPECT_NE(clipped->GetWarnings()[0].find("the last 1 are missing"), std::string::npos);

  auto badVlrCount = OpenOrFail(Sample("pdal_bad_vlr_count.las"));
  EXPECT_EQ(ReadAll(*badVlrCount).size(), 10u);
  ASSERT_EQ(badVlrCount->GetWarnings().size(), 1u);
  EXPECT_NE(badVlrCount->GetWarnings()[0].find("claims 3 variable-length records but only 2"),
            std::string::npos);

  auto empty = OpenOrFail(Sample("pdal_no-points.las"));
  SPoint point;
  EXPECT_EQ(empty->Read(point), SP_END);
  double bounds[6];
  int64_t count = -1;
  EXPECT_TRUE(empty->Scan(bounds, count, nullptr, nullptr));
  EXPECT_EQ(count, 0);
}

}  // namespace
