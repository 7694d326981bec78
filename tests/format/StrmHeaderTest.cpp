#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"
#include "tests/support/StreamWriter.h"

namespace {

std::vector<char> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

template <class T>
T At(const std::vector<char>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

void WriteHeader(const std::filesystem::path& path, int version, int classesCount) {
  const double bounds[6] = {-1, 1, -2, 2, -3, 3};
  const double offset[3] = {10, 20, 30};
  const int classes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const double intensity[2] = {5, 250};
  const double elevation[2] = {26, 35};
  WriteStrmHeaderFile(path.c_str(), version, 1, 4321, bounds, offset, 3, classesCount, classes,
                      0.25, 17, 0, intensity, CVM_CLASSES, elevation, 9);
}

TEST(StrmHeaderTest, HeaderFieldsLieAtTheirDocumentedOffsets) {
  ScratchFolder folder;
  const auto path = folder / "site.pci";
  WriteHeader(path, 103, 10);
  std::vector<char> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 188u);  // 148 + 4 * 10
  EXPECT_EQ(At<int32_t>(bytes, 0), 103);
  EXPECT_EQ(At<int32_t>(bytes, 4), 1);
  EXPECT_EQ(At<int32_t>(bytes, 8), 4321);
  EXPECT_EQ(At<double>(bytes, 12), -1.0);
  EXPECT_EQ(At<double>(bytes, 52), 3.0);
  EXPECT_EQ(At<double>(bytes, 60), 10.0);
  EXPECT_EQ(At<int32_t>(bytes, 84), 3);
  EXPECT_EQ(At<int32_t>(bytes, 88), 10);
  EXPECT_EQ(At<int32_t>(bytes, 92), 1);
  EXPECT_EQ(At<int32_t>(bytes, 128), 10);
  EXPECT_EQ(At<double>(bytes, 132), 0.25);
  EXPECT_EQ(At<int32_t>(bytes, 140), 17);
  EXPECT_EQ(At<int32_t>(bytes, 144), 0);
  EXPECT_EQ(At<double>(bytes, 148), 5.0);
  EXPECT_EQ(At<int32_t>(bytes, 164), CVM_CLASSES);
  EXPECT_EQ(At<double>(bytes, 168), 26.0);
  EXPECT_EQ(At<int32_t>(bytes, 184), 9);
}

TEST(StrmHeaderTest, OlderVersionsEndEarlierAndKeepTheReadersDefaults) {
  ScratchFolder folder;
  const int sizes[] = {108, 124, 144, 148};
  for (int version = 100; version <= 103; ++version) {
    const auto path = folder / ("v" + std::to_string(version) + ".pci");
    WriteHeader(path, version, 0);
    EXPECT_EQ(std::filesystem::file_size(path), sizes[version - 100]);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    StrmHeader header;
    header.intensityRange[1] = 77;
    header.cvm = CVM_RGB;
    std::string error;
    ASSERT_EQ(ReadStrmHeader(file, sizes[version - 100], header, error), 1) << error;
    std::fclose(file);
    EXPECT_EQ(header.intensityRange[1], version > 100 ? 250 : 77);
    EXPECT_EQ(header.cvm, version > 101 ? CVM_CLASSES : CVM_RGB);
    // Without a stored range, the elevation range is the bounds' z range (world frame).
    EXPECT_EQ(header.elevationRange[0], version > 101 ? 26 : 27);
    EXPECT_EQ(header.elevationRange[1], version > 101 ? 35 : 33);
    EXPECT_EQ(header.borderCopiesCount, version > 102 ? 9 : 0);
    EXPECT_EQ(header.intensityRangePosition, version > 100 ? 108 : -1);
  }
}

TEST(StrmHeaderTest, DamagedHeadersAreRefusedBeforeAnythingIsAllocated) {
  ScratchFolder folder;
  const auto path = folder / "bad.pci";
  struct Damage {
    size_t offset;
    int32_t value;
    const char* expected;
  };
  const Damage damages[] = {
      {0, 7, "version 7"},
      {4, 5, "terrain flag 5"},
      {84, 400, "grid depth 400"},
      {88, 1 << 30, "class counter count"},
      {88, -3, "class counter count"},
  };
  for (const Damage& damage : damages) {
    WriteHeader(path, 103, 10);
    {
      std::FILE* file = std::fopen(path.c_str(), "rb+");
      fseeko(file, damage.offset, SEEK_SET);
      std::fwrite(&damage.value, sizeof damage.value, 1, file);
      std::fclose(file);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    StrmHeader header;
    std::string error;
    EXPECT_EQ(ReadStrmHeader(file, 188, header, error), 0);
    EXPECT_NE(error.find(damage.expected), std::string::npos) << error;
    std::fclose(file);
  }

  std::FILE* file = std::fopen(path.c_str(), "rb");
  StrmHeader header;
  std::string error;
  WriteHeader(path, 103, 10);
  EXPECT_EQ(ReadStrmHeader(file, 100, header, error), 0);  // cut short
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  std::fclose(file);
}

TEST(StrmHeaderTest, ItemRecordsAreStoredAsEightyByteRecords) {
  ScratchFolder folder;
  TestStream stream;
  stream.depth = 1;
  TestItem leaf;
  leaf.id = 5;
  leaf.depth = 1;
  leaf.points = {{1, 2, 3}, {4, 5, 6}};
  TestItem root;
  root.points = {{1, 2, 3}};
  stream.items = {leaf, root};
  WriteTestStream(folder / "s.strm", stream);

  std::vector<char> bytes = ReadBytes(folder / "s.pci");
  const size_t first = 188;
  ASSERT_EQ(bytes.size(), first + 80 + 4 + 80);
  EXPECT_EQ(At<int32_t>(bytes, first + 0), 5);
  EXPECT_EQ(At<int32_t>(bytes, first + 4), 2);
  EXPECT_EQ(At<int32_t>(bytes, first + 8), 0);
  EXPECT_EQ(bytes[first + 12], 1);
  EXPECT_EQ(At<double>(bytes, first + 16), 1000 + 4);  // cell x 0..8, world frame
  EXPECT_EQ(At<float>(bytes, first + 40), 8.0f);
  EXPECT_EQ(At<int64_t>(bytes, first + 56), 0);
  EXPECT_EQ(At<int32_t>(bytes, first + 72), 24);
  EXPECT_EQ(At<int32_t>(bytes, first + 80), 1);  // one item at depth 0
  EXPECT_EQ(bytes[first + 84 + 12], 0);           // overview record
}

TEST(StrmFilesTest, CompanionNamesAndParallelAddressing) {
  const std::filesystem::path main = "/data/my site's scan.v2.strm";
  EXPECT_EQ(GetStrmCompanionName(main, RGBOVW_FILE), "/data/my site's scan.v2.rgbovw");
  EXPECT_EQ(GetStrmCompanionName(main, PCI_FILE), "/data/my site's scan.v2.pci");
  EXPECT_EQ(GetOverviewKind(NORM_FILE), NORMOVW_FILE);
  EXPECT_EQ(GetBufferFileName(main, 42, "rgbbuf"), "/data/my site's scan.v2_42.rgbbuf");

  // The item whose points start at byte 120 of "strm".
  EXPECT_EQ(GetAttributePosition(120, RGB_FILE), 30);
  EXPECT_EQ(GetAttributePosition(120, RIF_FILE), 40);
  EXPECT_EQ(GetAttributePosition(120, CLA_FILE), 10);
  EXPECT_EQ(GetAttributePosition(120, PLSOVW_FILE), 10);
  EXPECT_EQ(GetAttributePosition(120, NORM_FILE), 120);
}

}  // namespace
