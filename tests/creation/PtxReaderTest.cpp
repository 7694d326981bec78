#include <sstream>
#include <string>
#include <vector>

#include "nimbex/creation/PointReader.h"
#include "nimbex/creation/PtxReader.h"
#include "tests/creation/ScanFileTesting.h"

namespace {

namespace fs = std::filesystem;
using scantesting::ReadText;

struct Xyz {
  double x, y, z;
};

std::vector<Xyz> LasPoints(const fs::path& las) {
  std::string error;
  auto reader = OpenPointReader(las.string(), "las", "xyz", error);
  std::vector<Xyz> points;
  SPoint p;
  while (reader && reader->Read(p) != SP_END) points.push_back({p.x, p.y, p.z});
  return points;
}

// Every point of a PTX file: transformed where valid, with the scans' headers.
struct PtxContents {
  std::vector<PtxScan> scans;
  std::vector<PtxPoint> points;  // transformed
  std::string problem;
};

PtxContents ReadPtx(const fs::path& path) {
  PtxContents contents;
  CPtxReader reader;
  EXPECT_TRUE(reader.Open(path.string()));
  for (PtxScan scan; reader.NextScan(scan);) {
    contents.scans.push_back(scan);
    for (PtxPoint point; reader.NextPoint(point);) {
      if (point.valid) {
        EXPECT_TRUE(TransformPtxPoint(scan, point.x, point.y, point.z));
      }
      contents.points.push_back(point);
    }
  }
  contents.problem = reader.GetProblem();
  return contents;
}

void ExpectNear(const PtxPoint& p, const Xyz& q, double tolerance) {
  EXPECT_NEAR(p.x, q.x, tolerance);
  EXPECT_NEAR(p.y, q.y, tolerance);
  EXPECT_NEAR(p.z, q.z, tolerance);
}

const char kIdentityHeader[] =
    "1\n3\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n";

class PtxReaderTest : public scantesting::ScanFileTest {};

TEST_F(PtxReaderTest, PtxScanWithColourHoldsTheLasPoints) {
  SAMPLE_OR_SKIP(ptx, "ptx/pdal_1.2-with-color.ptx");
  SAMPLE_OR_SKIP(las, "las/laspy_simple.las");
  PtxContents contents = ReadPtx(ptx);
  ASSERT_EQ(contents.scans.size(), 1u);
  EXPECT_FALSE(contents.scans[0].transformed);
  EXPECT_EQ(PtxScanPointCount(contents.scans[0]), 1065);
  const std::vector<Xyz> expected = LasPoints(las);
  ASSERT_EQ(contents.points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ExpectNear(contents.points[i], expected[i], 0.005);
  EXPECT_TRUE(contents.points[0].hasColour);
  EXPECT_EQ(std::vector<int>(contents.points[0].rgb, contents.points[0].rgb + 3),
            std::vector<int>({68, 77, 88}));
  EXPECT_EQ(contents.problem, "");
}

// The matrix's fourth line is the translation: only so do the points meet the LAS points.
TEST_F(PtxReaderTest, PtxTransformsTakeTheTranslationFromTheFourthLine) {
  SAMPLE_OR_SKIP(ptx, "ptx/pdal_multiple-and-transform.ptx");
  SAMPLE_OR_SKIP(las, "las/laspy_simple.las");
  PtxContents contents = ReadPtx(ptx);
  ASSERT_EQ(contents.scans.size(), 2u);
  EXPECT_TRUE(contents.scans[0].transformed);
  EXPECT_FALSE(contents.scans[1].transformed);  // identity matrix, pose at the origin
  const std::vector<Xyz> lasPoints = LasPoints(las);
  ASSERT_EQ(contents.points.size(), 8u);
  for (size_t i = 0; i < 8; ++i) ExpectNear(contents.points[i], lasPoints[i % 4], 0.005);

  CPtxReader reader;  // scans whose points are not read are skipped
  PtxScan scan;
  ASSERT_TRUE(reader.Open(ptx.string()));
  ASSERT_TRUE(reader.NextScan(scan) && reader.NextScan(scan));
  EXPECT_EQ(scan.columns, 4);
  EXPECT_FALSE(reader.NextScan(scan));
}

TEST_F(PtxReaderTest, PtxPoseStandsInForAnIdentityMatrix) {
  SAMPLE_OR_SKIP(ptx, "ptx/pdal_complex-transform.ptx");
  PtxContents original = ReadPtx(ptx);
  ASSERT_EQ(original.points.size(), 12u);
  int valid = 0;
  for (const PtxPoint& p : original.points) valid += p.valid;
  EXPECT_EQ(valid, 4);
  // The pose rotates by about 0.3 degree and moves by (-3.03, -3.82, -1.38).
  const PtxPoint& first = original.points[4];
  EXPECT_NEAR(first.x, -0.005630 * 0.999979 + 0.645218 * 0.003613 - 0.440506 * 0.005359 - 3.028748,
              1e-9);
  EXPECT_NEAR(first.z, -0.005630 * -0.005365 + 0.645218 * 0.001630 - 0.440506 * 0.999984 - 1.384333,
              1e-9);

  std::vector<std::string> lines;
  std::istringstream in(ReadText(ptx));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const char* identity[4] = {"1 0 0 0", "0 1 0 0", "0 0 1 0", "0 0 0 1"};
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i)
    text += (i >= 6 && i < 10 ? identity[i - 6] : lines[i]) + "\n";
  PtxContents posed = ReadPtx(Write("posed.ptx", text));
  ASSERT_EQ(posed.points.size(), 12u);
  for (size_t i = 0; i < 12; ++i)
    ExpectNear(posed.points[i], {original.points[i].x, original.points[i].y, original.points[i].z},
               1e-9);
}

TEST_F(PtxReaderTest, PtxMarksNoReturnPlaceholdersInvalid) {
  PtxContents contents =
      ReadPtx(Write("marks.ptx", std::string(kIdentityHeader) + "0 0 0 0.5\n0 0 0 0\n0 0 0 0.25\n"
                                                                "0 0 0 0.5 0 0 0\n0 0 0 0.5 9 0 0\n"
                                                                "nan 1 2 0.3\n1 2 3 nan\n"));
  std::vector<bool> valid;
  for (const PtxPoint& p : contents.points) valid.push_back(p.valid);
  EXPECT_EQ(valid, std::vector<bool>({false, false, true, false, true, false, false}));
  EXPECT_EQ(contents.problem, "");
}

TEST_F(PtxReaderTest, DamagedPtxEndsTheFileWithoutLosingEarlierPoints) {
  const std::string header = kIdentityHeader;
  struct Case {
    std::string text;
    size_t points;
    std::string problem;  // start of GetProblem
  } cases[] = {
      {header + "1 2 3 0.5\n1.5 2 3\n4 5 6 0.5\n", 1, "line 12"},  // three values: not a count
      {header + "1 2 3 0.5 7\n", 0, "line 11"},
      {header + std::string(600, '1') + " 2 3 0.5\n", 0, "line 11: line too long"},
      {header + "1 2 3 0.5\n2\n", 1, "line 12: expected the row count"},
      {"1\n3\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0\n", 0, "line 8"},
      {"-4\n3\n", 0, "line 1"},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0", 11), 0, "line 1"},
      {header + "1 2 3 0.5\n\n   \n2 3 4 0.5", 2, ""},  // blank lines, no final line end
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    PtxContents contents = ReadPtx(Write("damaged.ptx", c.text));
    EXPECT_EQ(contents.points.size(), c.points) << c.text;
    EXPECT_EQ(contents.problem.substr(0, c.problem.size()), c.problem) << c.text;
  }
  PtxScan absurd;
  absurd.columns = -70000, absurd.rows = 70000;
  EXPECT_EQ(PtxScanPointCount(absurd), 0);
}

}  // namespace
