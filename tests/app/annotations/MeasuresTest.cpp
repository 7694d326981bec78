// The measure arithmetic and the measure files, without a display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <fstream>
#include <sstream>

#include "Measures.h"
#include "tests/support/StreamWriter.h"

namespace {

using Point3 = Wml::Point3<double>;

const Wml::Vector3<double> kLookingDown(0, 0, -1);

std::vector<int> Ids(const CMeasureList& list) {
  std::vector<int> ids;
  for (const SMeasurePoint& p : list.GetPoints()) ids.push_back(p.id);
  return ids;
}

SMeasureImport Read(const std::string& text) {
  std::istringstream in(text);
  SMeasureImport result;
  ReadMeasures(in, result);
  return result;
}

// A square of side 2 about the origin of a large site, tilted by `degrees` about the x axis.
std::vector<Point3> TiltedSquare(double degrees) {
  const double angle = degrees * M_PI / 180;
  std::vector<Point3> square;
  for (const auto& [x, y] : {std::pair{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}})
    square.emplace_back(512000 + x, 4140000 + y * std::cos(angle), 300 + y * std::sin(angle));
  return square;
}

}  // namespace

TEST(MeasureListTest, AutomaticIdsFollowTheHighestIdAndCoordinatesKeepThreeDecimals) {
  CMeasureList list;
  EXPECT_EQ(list.NextAutomaticId(), 1);
  for (int i = 0; i < 5; ++i) list.Add(Point3(i, 2 * i, 3 * i));
  list.RemoveRows({3, 2});
  ASSERT_EQ(Ids(list), (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(list.NextAutomaticId(), 6);
  EXPECT_EQ(list.Add(Point3(0, 0, 0)), 3);
  EXPECT_EQ(Ids(list).back(), 6);

  // Points imported with lower ids after a higher one: the next automatic ids never repeat
  // an id of the list (one more than the last row's id would give 3, 4, then 5 again).
  CMeasureList imported;
  for (int id : {5, 1, 2}) imported.Add(Point3(0, 0, 0), id);
  for (int i = 0; i < 3; ++i) imported.Add(Point3(0, 0, 0));
  EXPECT_EQ(Ids(imported), (std::vector<int>{5, 1, 2, 6, 7, 8}));
  EXPECT_EQ(imported.RowsWithIds({{2, {}}, {6, {}}, {9, {}}}), (std::vector<int>{2, 3}));

  list.Add(Point3(512000.12345, -0.0004, 1e-9));
  const Point3& shown = list.GetPoints().back().point;
  EXPECT_EQ(shown, Point3(512000.123, -0.0, 0.0));
  EXPECT_EQ(FormatMeasureCoordinate(512000.12345), "512000.123");
}

TEST(MeasureResultsTest, LengthsOpenAndClosedInBothModes) {
  const std::vector<Point3> two = {{1000, 2000, 300}, {1003, 2004, 312}};
  const SMeasureResults space = ComputeMeasures(two, MEASURE_3D, kLookingDown);
  ASSERT_TRUE(space.hasLengths);
  EXPECT_DOUBLE_EQ(space.length, 13);
  EXPECT_DOUBLE_EQ(space.closedLength, 2 * space.length);
  const SMeasureResults plan = ComputeMeasures(two, MEASURE_HORIZONTAL, kLookingDown);
  EXPECT_DOUBLE_EQ(plan.length, 5);
  EXPECT_EQ(FormatMeasureLength(plan.closedLength), "10.0000");
  // Fewer than three points have no areas; one point has no length either.
  EXPECT_FALSE(space.planeFitted);
  EXPECT_EQ(FormatMeasureArea(space.planeArea), "0.000");
  EXPECT_FALSE(ComputeMeasures({two[0]}, MEASURE_3D, kLookingDown).hasLengths);

  const std::vector<Point3> path = {{0, 0, 0}, {3, 0, 0}, {3, 4, 0}};
  const SMeasureResults triangle = ComputeMeasures(path, MEASURE_3D, kLookingDown);
  EXPECT_DOUBLE_EQ(triangle.length, 7);
  EXPECT_DOUBLE_EQ(triangle.closedLength, 12);
}

TEST(MeasureResultsTest, AreasOfTheFittedPlaneTheViewAndTheHorizontal) {
  const std::vector<Point3> collinear = {{10, 10, 10}, {11, 12, 13}, {13, 16, 19}};
  const SMeasureResults line = ComputeMeasures(collinear, MEASURE_3D, kLookingDown);
  EXPECT_FALSE(line.planeFitted);
  for (double area : {line.planeArea, line.viewArea, line.horizontalArea})
    EXPECT_EQ(FormatMeasureArea(area), "0.000");

  const std::vector<Point3> roof = TiltedSquare(30);
  const SMeasureResults tilted = ComputeMeasures(roof, MEASURE_3D, kLookingDown);
  ASSERT_TRUE(tilted.planeFitted);
  EXPECT_EQ(FormatMeasureArea(tilted.planeArea), "4.000");
  EXPECT_NEAR(tilted.horizontalArea, 4 * std::cos(M_PI / 6), 1e-9);
  EXPECT_NEAR(std::abs(tilted.planeNormal.Dot({0, -0.5, std::cos(M_PI / 6)})), 1, 1e-9);
  // The view area takes the polygon on the view plane in the fitted plane's frame: seen
  // along the plane's normal it is the plane area, seen from above it is shrunk twice.
  const SMeasureResults alongNormal = ComputeMeasures(roof, MEASURE_3D, tilted.planeNormal);
  EXPECT_NEAR(alongNormal.viewArea, 4, 1e-9);
  EXPECT_NEAR(tilted.viewArea, 4 * std::pow(std::cos(M_PI / 6), 2), 1e-9);

  // A wall facing east: the x axis, which the plane's frame starts from, is its normal.
  std::vector<Point3> wall;
  for (const Point3& p : TiltedSquare(90)) wall.emplace_back(p.Y(), p.X(), p.Z());
  const SMeasureResults facingEast = ComputeMeasures(wall, MEASURE_3D, kLookingDown);
  ASSERT_TRUE(facingEast.planeFitted);
  EXPECT_EQ(FormatMeasureArea(facingEast.planeArea), "4.000");
  EXPECT_EQ(FormatMeasureArea(facingEast.horizontalArea), "0.000");
}

TEST(MeasureFileTest, ExportedTextReadsBackWhateverTheLocale) {
  const char* before = std::setlocale(LC_ALL, nullptr);
  const std::string saved = before ? before : "C";
  const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  CMeasureList list;
  list.Add(Point3(512000.5, 4140000.25, 301.125));
  list.Add(Point3(-1.5, 0, 2.0006), 7);
  const std::string text = MeasureFileText(list.GetPoints());
  EXPECT_EQ(text, "1;512000.500;4140000.250;301.125\n7;-1.500;0.000;2.001\n");
  const SMeasureImport read = Read(text);
  ASSERT_EQ(read.points.size(), 2u);
  EXPECT_EQ(read.points[1].id, 7);
  EXPECT_EQ(read.points[0].point, list.GetPoints()[0].point);
  EXPECT_EQ(read.points[1].point, list.GetPoints()[1].point);
  EXPECT_EQ(read.skippedLines, 0);
  std::setlocale(LC_ALL, saved.c_str());
  if (!comma) GTEST_SKIP() << "no comma-decimal locale here; read in the C locale only";
}

TEST(MeasureFileTest, BadLinesAreSkippedAndCountedAndTheLastLineNeedsNoEnd) {
  const SMeasureImport read = Read(
      "\xEF\xBB\xBF"
      "1;10.5;20;30\r\n"
      "\n"
      "   \r\n"
      "2;1,5;2,5;3,5\n"      // comma decimals
      "3;1;2\n"              // three values
      "x;1;2;3\n"            // no id
      "0;1;2;3\n"            // ids start at 1
      "4;1;2;3;4\n"          // five values
      "5;nan;2;3\n"          // not finite
      "6;1;2;3abc\n"         // trailing rubbish
      "99999999999;1;2;3\n"  // id beyond an int
      " +8 ; -1.25 ; 2e3 ; .5 \n"
      "9;1;2;3");
  ASSERT_EQ(read.points.size(), 3u);
  EXPECT_EQ(read.points[0].id, 1);
  EXPECT_EQ(read.points[0].point, Point3(10.5, 20, 30));
  EXPECT_EQ(read.points[1].id, 8);
  EXPECT_EQ(read.points[1].point, Point3(-1.25, 2000, 0.5));
  EXPECT_EQ(read.points[2].id, 9);
  EXPECT_EQ(read.skippedLines, 8);
  EXPECT_FALSE(read.truncated);
}

TEST(MeasureFileTest, HugeInputIsReadInBoundedMemory) {
  // One endless line counts as one bad line and the next line is still read.
  const SMeasureImport longLine = Read("1" + std::string(20 << 20, '0') + ";1;2;3\n2;1;2;3\n");
  EXPECT_EQ(longLine.skippedLines, 1);
  ASSERT_EQ(longLine.points.size(), 1u);
  EXPECT_EQ(longLine.points[0].id, 2);

  std::string many;
  for (int i = 1; i <= kMaxImportedMeasures + 5; ++i) many += std::to_string(i) + ";1;2;3\n";
  const SMeasureImport capped = Read(many);
  EXPECT_TRUE(capped.truncated);
  EXPECT_EQ(capped.points.size(), size_t(kMaxImportedMeasures));

  ScratchFolder folder;
  SMeasureImport notAFile;
  EXPECT_EQ(ImportMeasureFile(folder.Path(), notAFile), 0);
  EXPECT_FALSE(notAFile.error.empty());
  const auto fifo = folder / "pipe.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  SMeasureImport pipe;
  EXPECT_EQ(ImportMeasureFile(fifo, pipe), 0);
  EXPECT_EQ(ImportMeasureFile(folder / "missing.txt", pipe), 0);
}
