#include <gtest/gtest.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <fstream>
#include <iterator>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using UChars = vtkUnsignedCharArray;
using Floats = vtkFloatArray;

Bytes FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// `count` points whose attributes encode their index `first + k`, or zeros.
TestItem Numbered(int id, int depth, int count, int first, bool zero = false) {
  TestItem item;
  item.id = id;
  item.depth = depth;
  for (int k = first; k < first + count; ++k) {
    const int v = zero ? 0 : k;
    item.points.push_back({0, 0, 0});
    item.colors.push_back({uint8_t(v), uint8_t(2 * v), uint8_t(3 * v)});
    item.intensities.push_back(v * 1.5f);
    item.classes.push_back(uint8_t(v));
    item.pulses.push_back(uint8_t(v % 4));
    item.normals.push_back({float(v), -float(v), 0.5f});
  }
  return item;
}

template <class Array>
vtkSmartPointer<Array> Filled(int tuples, int components, int first) {
  auto array = vtkSmartPointer<Array>::New();
  array->SetNumberOfComponents(components);
  array->SetNumberOfTuples(tuples);
  for (int i = 0; i < tuples * components; ++i) array->SetValue(i, first + i);
  return array;
}

struct Loaded {
  Loaded(CNimbex& cloud, int depth, int id) {
    colors->SetNumberOfComponents(3);
    normals->SetNumberOfComponents(3);
    ok = cloud.LoadItemIO(depth, id, nullptr, nullptr, classes, colors, intensities, pulses,
                          normals, 1);
  }
  std::vector<int> Classes() const { return std::vector<int>(classes->Begin(), classes->End()); }
  vtkNew<UChars> classes, colors, pulses;
  vtkNew<Floats> intensities, normals;
  int ok;
};

class ItemRewriteTest : public testing::Test {
 protected:
  const char* Write(int depth, int isTerrain, std::vector<TestItem> items) {
    TestStream stream;
    stream.depth = depth;
    stream.isTerrain = isTerrain;
    stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = true;
    stream.items = std::move(items);
    WriteTestStream(m_Path, stream);
    return m_Path.c_str();
  }
  fs::path File(StrmFileKind kind) const { return GetStrmCompanionName(m_Path, kind); }
  std::vector<Bytes> AllFiles() const {
    std::vector<Bytes> files;
    for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind)
      files.push_back(FileBytes(File(StrmFileKind(kind))));
    return files;
  }
  // Depth 1 octree: leaves 0 (10 points), 1 (10) and 7 (4); a root of 3 points.
  const char* SmallStream() {
    return Write(1, 0,
                 {Numbered(0, 1, 10, 0), Numbered(1, 1, 10, 10), Numbered(7, 1, 4, 20),
                  Numbered(0, 0, 3, 100)});
  }
  // Depth 2 quadtree: leaves 0 (3 points), 2 (2), 5 (2) and 12 (1) below zeroed overviews.
  const char* NestedStream() {
    return Write(
        2, 1,
        {Numbered(0, 2, 3, 0), Numbered(2, 2, 2, 3), Numbered(5, 2, 2, 5), Numbered(12, 2, 1, 7),
         Numbered(0, 1, 1, 0, true), Numbered(1, 1, 1, 0, true), Numbered(0, 0, 1, 0, true)});
  }
  // Item 0 of depth 0 samples 17 points: 10 in child 0, 7 in child 3.
  const char* SeventeenPointParent(int isTerrain, int parentPoints) {
    return Write(
        1, isTerrain,
        {Numbered(0, 1, 10, 0), Numbered(3, 1, 7, 10), Numbered(0, 0, parentPoints, 0, true)});
  }
  ScratchFolder m_Folder;
  fs::path m_Path = m_Folder / "site.strm";
};

TEST_F(ItemRewriteTest, WritesReplaceExactlyTheItemsBlockInItsLevelsFiles) {
  CNimbex cloud(SmallStream());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  ASSERT_TRUE(Loaded(cloud, -1, 1).ok);  // leaves the colour file open past item 1
  const std::vector<Bytes> before = AllFiles();

  ASSERT_EQ(
      cloud.WriteItemIO(-1, 1, nullptr, Filled<UChars>(12, 3, 150), nullptr, nullptr, nullptr), 1);
  const Bytes rewritten = FileBytes(File(RGB_FILE));
  ASSERT_EQ(rewritten.size(), before[RGB_FILE].size());
  const size_t block = 10 * 12 / 12 * 3;
  for (size_t b = 0; b < rewritten.size(); ++b)
    EXPECT_EQ(rewritten[b], b >= block && b < block + 30 ? 150 + b - block : before[RGB_FILE][b]);
  EXPECT_EQ(Loaded(cloud, -1, 1).colors->GetValue(0), 150);

  // An overview item's attributes go to the overview files only.
  ASSERT_EQ(cloud.WriteItemIO(0, 0, Filled<UChars>(3, 1, 40), nullptr, Filled<Floats>(3, 1, 60),
                              Filled<UChars>(3, 1, 1), Filled<Floats>(3, 3, 70)),
            1);
  Loaded root(cloud, 0, 0);
  EXPECT_EQ(root.Classes(), (std::vector<int>{40, 41, 42}));
  EXPECT_EQ(root.intensities->GetValue(1), 61.0f);
  EXPECT_EQ(root.pulses->GetValue(2), 3);
  EXPECT_EQ(root.normals->GetValue(8), 78.0f);
  for (StrmFileKind kind : {CLA_FILE, RIF_FILE, PLS_FILE, NORM_FILE})
    EXPECT_EQ(FileBytes(File(kind)), before[kind]) << GetStrmExtension(kind);
}

TEST_F(ItemRewriteTest, WritesThatDoNotFitAreRefusedWithEveryFileUntouched) {
  CNimbex cloud(SmallStream());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  fs::remove(File(PLS_FILE));
  fs::resize_file(File(RIF_FILE), 4 * 12);  // ends inside item 1's block
  const std::vector<Bytes> before = AllFiles();
  auto classes = Filled<UChars>(10, 1, 1);
  EXPECT_EQ(cloud.WriteItemIO(-1, 1, Filled<UChars>(9, 1, 1), nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(cloud.WriteItemIO(-1, 1, classes, Filled<UChars>(10, 1, 1), nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(cloud.WriteItemIO(-1, 1, classes, nullptr, nullptr, classes, nullptr), 0);
  EXPECT_EQ(cloud.WriteItemIO(-1, 1, classes, nullptr, Filled<Floats>(10, 1, 1), nullptr, nullptr),
            0);
  EXPECT_EQ(AllFiles(), before);
}

TEST_F(ItemRewriteTest, RebuildItemSplitsTheArraysAmongDescendantsInChildOrder) {
  CNimbex cloud(NestedStream());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  Item* root = nullptr;
  ASSERT_EQ(cloud.GetItem(0, root, 0), 1);
  ASSERT_EQ(cloud.RebuildItem(root, 2, 0, nullptr, Filled<UChars>(8, 1, 50), nullptr,
                              Filled<Floats>(8, 1, 80)),
            1);
  EXPECT_EQ(Loaded(cloud, 2, 0).Classes(), (std::vector<int>{50, 51, 52}));
  EXPECT_EQ(Loaded(cloud, 2, 2).Classes(), (std::vector<int>{53, 54}));
  EXPECT_EQ(Loaded(cloud, 2, 5).Classes(), (std::vector<int>{55, 56}));
  Loaded last(cloud, 2, 12);
  EXPECT_EQ(last.Classes(), (std::vector<int>{57}));
  EXPECT_EQ(last.intensities->GetValue(0), 87.0f);
  EXPECT_EQ(last.colors->GetValue(0), 7);  // not given: unchanged

  // Only leaf 5 meets an area inside its cell (local frame, like the cells).
  double b[6];
  ASSERT_EQ(cloud.GetItemBounds(5, 2, b), 1);
  CPgon insideLeaf5 = CPgon::Rectangle(b[0] + 1, b[1] - 1, b[2] + 1, b[3] - 1);
  ASSERT_EQ(cloud.RebuildItem(root, 2, 0, &insideLeaf5, Filled<UChars>(2, 1, 30), nullptr, nullptr),
            1);
  EXPECT_EQ(Loaded(cloud, 2, 5).Classes(), (std::vector<int>{30, 31}));
  EXPECT_EQ(Loaded(cloud, 2, 0).Classes(), (std::vector<int>{50, 51, 52}));

  const std::vector<Bytes> before = AllFiles();
  CPgon elsewhere = CPgon::Rectangle(100, 110, 100, 110);
  auto classes = Filled<UChars>(8, 1, 1);
  EXPECT_EQ(cloud.RebuildItem(root, 2, 0, &elsewhere, classes, nullptr, nullptr), 0);
  EXPECT_EQ(cloud.RebuildItem(root, 2, 0, nullptr, Filled<UChars>(7, 1, 1), nullptr, nullptr), 0);
  EXPECT_EQ(AllFiles(), before);
}

TEST_F(ItemRewriteTest, OverviewRebuildKeepsEveryStrideThRecordOfTheChildrensRun) {
  for (int terrain : {0, 1}) {
    const std::vector<int> kept = terrain ? std::vector<int>{0, 4, 8, 12} : std::vector<int>{0, 8};
    CNimbex cloud(SeventeenPointParent(terrain, kept.size()));
    ASSERT_EQ(cloud.OpenStrmCloud(), 1);
    ASSERT_EQ(cloud.RebuildClassesOvw() + cloud.RebuildRgbOvw() + cloud.RebuildRifOvw() +
                  cloud.RebuildPlsOvw() + cloud.RebuildNormOvw(),
              5);
    Loaded a(cloud, 0, 0);
    EXPECT_EQ(a.Classes(), kept);
    for (size_t j = 0; j < kept.size(); ++j) {
      EXPECT_EQ(a.colors->GetTypedComponent(j, 2), 3 * kept[j]);
      EXPECT_EQ(a.intensities->GetValue(j), 1.5f * kept[j]);
      EXPECT_EQ(a.pulses->GetValue(j), kept[j] % 4);
      EXPECT_EQ(a.normals->GetTypedComponent(j, 1), -float(kept[j]));
    }
  }
}

TEST_F(ItemRewriteTest, CoarserLevelsSampleTheRebuiltFinerLevel) {
  // Leaves 0 and 1 under item 0 of depth 1, leaf 4 under item 1; the root samples depth 1.
  CNimbex cloud(
      Write(2, 1,
            {Numbered(0, 2, 8, 1), Numbered(1, 2, 8, 9), Numbered(4, 2, 8, 17),
             Numbered(0, 1, 4, 0, true), Numbered(1, 1, 2, 0, true), Numbered(0, 0, 1, 0, true)}));
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  ASSERT_EQ(cloud.RebuildClassesOvw(), 1);
  EXPECT_EQ(FileBytes(File(CLAOVW_FILE)), (Bytes{1, 5, 9, 13, 17, 21, 1}));
}

TEST_F(ItemRewriteTest, OverviewRebuildRefusesRecordsThatDisagreeAndLeavesTheFileAlone) {
  {
    CNimbex flat(Write(0, 0, {Numbered(0, 0, 5, 0)}));
    ASSERT_EQ(flat.OpenStrmCloud(), 1);
    EXPECT_EQ(flat.RebuildClassesOvw(), 0);
  }
  CNimbex cloud(SeventeenPointParent(0, 3));  // 17 / 8 is 2
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  const std::vector<Bytes> before = AllFiles();
  const auto entries = std::distance(fs::directory_iterator(m_Folder.Path()), {});
  EXPECT_EQ(cloud.RebuildClassesOvw(), 0);
  EXPECT_EQ(AllFiles(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(m_Folder.Path()), {}), entries);

  fs::remove(File(NORMOVW_FILE));
  EXPECT_EQ(cloud.RebuildNormOvw(), 0);
  EXPECT_FALSE(fs::exists(File(NORMOVW_FILE)));
}

TEST_F(ItemRewriteTest, ClassCountersCountOnlyClassesTheyHaveACounterFor) {
  TestItem leaf = Numbered(0, 0, 6, 0);
  leaf.classes = {2, 2, 9, 255, 10, 0};
  CNimbex cloud(Write(0, 0, {leaf}));
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  ASSERT_EQ(cloud.AdjustHeaderClassPtsCount(), 1);
  const std::vector<int> expected = {1, 0, 2, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(cloud.GetClassesPoints(), expected);
  CNimbex reopened(m_Path.c_str());
  ASSERT_EQ(reopened.OpenStrmCloud(), 1);
  EXPECT_EQ(reopened.GetClassesPoints(), expected);

  fs::remove(File(CLA_FILE));
  cloud.GetClassesPoints()[0] = 99;
  EXPECT_EQ(cloud.AdjustHeaderClassPtsCount(), 0);
  EXPECT_EQ(cloud.GetClassesPoints()[0], 99);
}

}  // namespace
