#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <filesystem>

#include "nimbex/access/Nimbex.h"
#include "tests/support/StreamWriter.h"

namespace {

// Enough points that a view of them is read on two threads.
constexpr int kItemPoints = 150000;

TestItem NumberedItem(int id, int count) {
  TestItem item;
  item.id = id;
  item.depth = 1;
  for (int i = 0; i < count; ++i) {
    const int n = id * count + i;
    item.points.push_back({float(n % 97), float(n % 89), float(id)});
    item.colors.push_back({uint8_t(n), uint8_t(n >> 8), uint8_t(id)});
    item.classes.push_back(uint8_t(n % 7));
    item.intensities.push_back(float(n));
  }
  return item;
}

TestStream LargeStream() {
  TestStream stream;
  stream.depth = 1;
  stream.bounds[0] = stream.bounds[2] = stream.bounds[4] = -200;
  stream.bounds[1] = stream.bounds[3] = stream.bounds[5] = 200;
  stream.rgb = stream.cla = stream.rif = true;
  for (int id = 0; id < 4; ++id) stream.items.push_back(NumberedItem(id, kItemPoints));
  TestItem overview = NumberedItem(0, 10);
  overview.depth = 0;
  stream.items.push_back(overview);
  return stream;
}

struct ViewArrays {
  ViewArrays() {
    points->SetDataTypeToFloat();
    colors->SetNumberOfComponents(3);
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkUnsignedCharArray> classes;
  vtkNew<vtkUnsignedCharArray> colors;
  vtkNew<vtkFloatArray> intensities;
};

int ReadView(CNimbex& cloud, ViewArrays& a, int step) {
  int depth = 1;
  Wml::Box3<double> everything;
  everything.Extent(0) = everything.Extent(1) = everything.Extent(2) = 1000;
  vtkPoints* points = a.points;
  return cloud.LoadSpcData(depth, step, everything, points, a.cells, a.classes, a.colors,
                           a.intensities, nullptr, nullptr, 0.0, nullptr, nullptr);
}

void ReadItems(CNimbex& cloud, ViewArrays& a, std::initializer_list<int> ids, int step) {
  cloud.ResetIOPtsLoaded();
  for (int id : ids)
    ASSERT_EQ(cloud.LoadItemIO(1, id, a.points, a.cells, a.classes, a.colors, a.intensities,
                               nullptr, nullptr, step),
              1);
}

void ExpectSameValues(vtkDataArray* read, vtkDataArray* expected) {
  ASSERT_EQ(read->GetNumberOfValues(), expected->GetNumberOfValues());
  for (vtkIdType i = 0; i < read->GetNumberOfValues(); ++i)
    if (read->GetVariantValue(i) != expected->GetVariantValue(i)) {
      ADD_FAILURE() << "value " << i << " differs";
      return;
    }
}

void ExpectSameView(const ViewArrays& read, const ViewArrays& expected) {
  ExpectSameValues(read.points->GetData(), expected.points->GetData());
  ExpectSameValues(read.colors, expected.colors);
  ExpectSameValues(read.classes, expected.classes);
  ExpectSameValues(read.intensities, expected.intensities);
  ExpectSameValues(read.cells->GetConnectivityArray(), expected.cells->GetConnectivityArray());
  ExpectSameValues(read.cells->GetOffsetsArray(), expected.cells->GetOffsetsArray());
}

class ViewReadingTest : public testing::Test {
 protected:
  void SetUp() override {
    m_Path = m_Folder / "large.strm";
    WriteTestStream(m_Path, LargeStream());
  }
  ScratchFolder m_Folder;
  std::filesystem::path m_Path;
};

TEST_F(ViewReadingTest, AViewReadOnTwoThreadsEqualsTheItemsReadOneByOne) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  for (int step : {1, 2, 3}) {
    ViewArrays view, items;
    ASSERT_EQ(ReadView(cloud, view, step), 1);
    EXPECT_EQ(cloud.GetIOPtsLoaded(), 4 * (kItemPoints / step));
    ReadItems(cloud, items, {0, 1, 2, 3}, step);
    ExpectSameView(view, items);
  }
}

// Another program cutting a file short while the stream is shown: the items whose records
// went are left out, the others close up, and the view says which file lost them.
TEST_F(ViewReadingTest, ItemsCutShortUnderAViewReadAreLeftOutAndTheRestCloseUp) {
  CNimbex cloud(m_Path.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  ViewArrays first;
  ASSERT_EQ(ReadView(cloud, first, 1), 1);
  // Items are stored in id order: the colours of items 2 and 3 go.
  std::filesystem::resize_file(GetStrmCompanionName(m_Path, RGB_FILE), 3 * 2 * kItemPoints + 30);
  ViewArrays view, items;
  ASSERT_EQ(ReadView(cloud, view, 2), 1);
  EXPECT_NE(cloud.GetLoadError().find("large.rgb from byte 900000: the file was cut short"),
            std::string::npos)
      << cloud.GetLoadError();
  ReadItems(cloud, items, {0, 1}, 2);
  ExpectSameView(view, items);
}

}  // namespace
