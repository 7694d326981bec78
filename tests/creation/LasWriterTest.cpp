#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "nimbex/creation/LasWriter.h"
#include "tests/support/StreamWriter.h"

namespace {

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

template <class T>
T At(const std::vector<unsigned char>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

const double kScale[3] = {0.25, 0.01, 0.001};
const double kOffset[3] = {1000, 2000, -50};

// Two points whose coordinates land on halves of the scale (x) or need rounding (y, z).
std::vector<LasPoint> SamplePoints() {
  LasPoint first;
  first.x = 1000.375;  // 1.5 units
  first.y = 2012.344;
  first.z = -49.0004;
  first.intensity = 54321;
  first.returnNumber = 1;
  first.numberOfReturns = 3;
  first.classification = 6;
  first.rgb[0] = 0x1234;
  first.rgb[1] = 0x5678;
  first.rgb[2] = 0x9ABC;
  first.nir = 0xDEF0;
  first.gpsTime = 302400.125;
  first.scanAngle = -1234;
  first.pointSourceId = 7;
  LasPoint second = first;
  second.x = 999.625;  // -1.5 units
  second.y = 1999.996;
  second.z = -50.0006;
  second.returnNumber = 3;
  second.classification = 2;
  second.gpsTime = 302400.25;
  return {first, second};
}

class LasWriterFormatTest : public testing::TestWithParam<int> {};

TEST_P(LasWriterFormatTest, HeaderAndRecordsHoldEachFieldAtItsOffset) {
  const int format = GetParam();
  const size_t length = format == 6 ? 30 : format == 7 ? 36 : 38;
  ScratchFolder folder;
  const std::string path = folder / "points.las";
  CLasWriter writer;
  ASSERT_TRUE(writer.Open(path, format, kScale, kOffset)) << writer.GetError();
  writer.SetCreationDate({45, 2024});
  for (const LasPoint& point : SamplePoints())
    ASSERT_TRUE(writer.Write(point)) << writer.GetError();
  ASSERT_TRUE(writer.Close()) << writer.GetError();

  const std::vector<unsigned char> las = ReadBytes(path);
  ASSERT_EQ(las.size(), 375 + 2 * length);
  EXPECT_EQ(std::string(las.begin(), las.begin() + 4), "LASF");
  EXPECT_EQ(At<uint16_t>(las, 6), 16);  // WKT
  EXPECT_EQ(las[24], 1);
  EXPECT_EQ(las[25], 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(&las[26]), "Orvalis");
  EXPECT_STREQ(reinterpret_cast<const char*>(&las[58]), "nimbex demo-site");
  EXPECT_EQ(At<uint16_t>(las, 90), 45);
  EXPECT_EQ(At<uint16_t>(las, 92), 2024);
  EXPECT_EQ(At<uint16_t>(las, 94), 375);
  EXPECT_EQ(At<uint32_t>(las, 96), 375u);
  EXPECT_EQ(At<uint32_t>(las, 100), 0u);
  EXPECT_EQ(las[104], format);
  EXPECT_EQ(At<uint16_t>(las, 105), length);
  for (size_t legacy = 107; legacy < 131; legacy += 4) EXPECT_EQ(At<uint32_t>(las, legacy), 0u);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(At<double>(las, 131 + 8 * axis), kScale[axis]);
    EXPECT_EQ(At<double>(las, 155 + 8 * axis), kOffset[axis]);
  }
  // Bounds as a reader computes them from the stored integers: max x, min x, max y, ...
  const double bounds[6] = {1000.5, 999.5, 2012.34, 2000, -49.0, -50.001};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(At<double>(las, 179 + 8 * i), bounds[i], 1e-9) << i;
  EXPECT_EQ(At<uint64_t>(las, 247), 2u);
  EXPECT_EQ(At<uint64_t>(las, 255), 1u);  // first returns
  EXPECT_EQ(At<uint64_t>(las, 263), 0u);
  EXPECT_EQ(At<uint64_t>(las, 271), 1u);  // third returns

  const size_t first = 375, second = 375 + length;
  EXPECT_EQ(At<int32_t>(las, first), 2);  // half away from zero
  EXPECT_EQ(At<int32_t>(las, second), -2);
  EXPECT_EQ(At<int32_t>(las, first + 4), 1234);
  EXPECT_EQ(At<int32_t>(las, second + 4), 0);
  EXPECT_EQ(At<int32_t>(las, first + 8), 1000);
  EXPECT_EQ(At<int32_t>(las, second + 8), -1);
  EXPECT_EQ(At<uint16_t>(las, first + 12), 54321);
  EXPECT_EQ(las[first + 14], 0x31);
  EXPECT_EQ(las[second + 14], 0x33);
  EXPECT_EQ(las[first + 15], 0);
  EXPECT_EQ(las[first + 16], 6);
  EXPECT_EQ(las[second + 16], 2);
  EXPECT_EQ(las[first + 17], 0);
  EXPECT_EQ(At<int16_t>(las, first + 18), -1234);
  EXPECT_EQ(At<uint16_t>(las, first + 20), 7);
  EXPECT_EQ(At<double>(las, first + 22), 302400.125);
  EXPECT_EQ(At<double>(las, second + 22), 302400.25);
  if (format >= 7) {
    EXPECT_EQ(At<uint16_t>(las, first + 30), 0x1234);
    EXPECT_EQ(At<uint16_t>(las, first + 32), 0x5678);
    EXPECT_EQ(At<uint16_t>(las, first + 34), 0x9ABC);
  }
  if (format == 8) {
    EXPECT_EQ(At<uint16_t>(las, first + 36), 0xDEF0);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, LasWriterFormatTest, testing::Values(6, 7, 8));

TEST(LasWriterTest, RefusesWhatItCannotStoreAndKeepsTheRest) {
  ScratchFolder folder;
  const std::string path = folder / "edge.las";
  const double scale[3] = {0.001, 0.001, 0.001}, offset[3] = {0, 0, 0};
  CLasWriter writer;
  ASSERT_TRUE(writer.Open(path, 6, scale, offset));
  LasPoint point;
  point.x = 2147483.648;  // one unit past the largest int32
  EXPECT_FALSE(writer.Write(point));
  EXPECT_NE(writer.GetError().find("x = 2147483.648"), std::string::npos) << writer.GetError();
  point.x = 0;
  point.y = -2147483.649;
  EXPECT_FALSE(writer.Write(point));
  point.y = 0;
  point.z = std::nan("");
  EXPECT_FALSE(writer.Write(point));
  point.z = 0;
  point.returnNumber = 16;
  EXPECT_FALSE(writer.Write(point));
  point.returnNumber = 1;
  point.x = 2147483.647;
  point.y = -2147483.648;
  EXPECT_TRUE(writer.Write(point)) << writer.GetError();
  ASSERT_TRUE(writer.Close());

  const std::vector<unsigned char> las = ReadBytes(path);
  ASSERT_EQ(las.size(), 375u + 30);
  EXPECT_EQ(At<uint64_t>(las, 247), 1u);
  EXPECT_EQ(At<int32_t>(las, 375), 2147483647);
  EXPECT_EQ(At<int32_t>(las, 379), -2147483647 - 1);
}

TEST(LasWriterTest, RefusesUnsupportedFormatsAndMissingFolders) {
  ScratchFolder folder;
  const double scale[3] = {0.01, 0.01, 0.01}, offset[3] = {0, 0, 0};
  CLasWriter writer;
  EXPECT_FALSE(writer.Open(folder / "old.las", 3, scale, offset));
  EXPECT_NE(writer.GetError().find("point format 3"), std::string::npos) << writer.GetError();
  const std::string missing = folder / "no such folder" / "site.las";
  EXPECT_FALSE(writer.Open(missing, 7, scale, offset));
  EXPECT_NE(writer.GetError().find(missing), std::string::npos) << writer.GetError();
  const double flat[3] = {0.01, 0, 0.01};
  EXPECT_FALSE(writer.Open(folder / "flat.las", 7, flat, offset));
  EXPECT_FALSE(writer.Write(LasPoint()));
}

// The records pass through a buffer of several megabytes: none may be lost or repeated where
// it is emptied, and a file without points is a bare header.
TEST(LasWriterTest, KeepsEveryRecordAcrossBufferFlushes) {
  ScratchFolder folder;
  const double scale[3] = {0.01, 0.01, 0.01}, offset[3] = {0, 0, 0};
  const std::string path = folder / "many.las";
  const int count = 300000;  // about 11 MB in format 7
  CLasWriter writer;
  ASSERT_TRUE(writer.Open(path, 7, scale, offset));
  LasPoint point;
  for (int i = 0; i < count; ++i) {
    point.x = i * 0.01;
    point.gpsTime = i;
    ASSERT_TRUE(writer.Write(point));
  }
  ASSERT_TRUE(writer.Close());
  const std::vector<unsigned char> las = ReadBytes(path);
  ASSERT_EQ(las.size(), 375u + 36u * count);
  EXPECT_EQ(At<uint64_t>(las, 247), uint64_t(count));
  EXPECT_EQ(At<double>(las, 179), (count - 1) * 0.01);
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(At<int32_t>(las, 375 + 36 * size_t(i)), i);
    ASSERT_EQ(At<double>(las, 375 + 36 * size_t(i) + 22), i);
  }

  const std::string empty = folder / "empty.las";
  ASSERT_TRUE(writer.Open(empty, 8, scale, offset));
  ASSERT_TRUE(writer.Close());
  const std::vector<unsigned char> header = ReadBytes(empty);
  ASSERT_EQ(header.size(), 375u);
  EXPECT_EQ(At<uint64_t>(header, 247), 0u);
  EXPECT_EQ(At<double>(header, 179), 0.0);
}

}  // namespace
