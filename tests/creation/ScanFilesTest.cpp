#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "nimbex/creation/PointReader.h"
#include "nimbex/creation/ScanFiles.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

fs::path SampleFile(const std::string& name) {
  const char* folder = std::getenv("ORVALIS_SAMPLE_DATA");
  if (!folder || !*folder) return {};
  fs::path path = fs::path(folder) / name;
  return fs::is_regular_file(path) ? path : fs::path();
}

#define SAMPLE_OR_SKIP(variable, name)        \
  const fs::path variable = SampleFile(name); \
  if (variable.empty()) GTEST_SKIP() << "no sample file " << name

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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

class ScanFilesTest : public testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& text) {
    WriteText(m_Folder / name, text);
    return m_Folder / name;
  }
  vtkSmartPointer<vtkPolyData> Model(const std::string& text) {
    return ReadAsciiModel(Write("model.pts", text).string(), m_Info);
  }

  ScratchFolder m_Folder;
  AsciiModelInfo m_Info;
};

TEST_F(ScanFilesTest, PtxScanWithColourHoldsTheLasPoints) {
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
TEST_F(ScanFilesTest, PtxTransformsTakeTheTranslationFromTheFourthLine) {
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

TEST_F(ScanFilesTest, PtxPoseStandsInForAnIdentityMatrix) {
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

TEST_F(ScanFilesTest, PtxMarksNoReturnPlaceholdersInvalid) {
  PtxContents contents =
      ReadPtx(Write("marks.ptx", std::string(kIdentityHeader) + "0 0 0 0.5\n0 0 0 0\n0 0 0 0.25\n"
                                                                "0 0 0 0.5 0 0 0\n0 0 0 0.5 9 0 0\n"
                                                                "nan 1 2 0.3\n1 2 3 nan\n"));
  std::vector<bool> valid;
  for (const PtxPoint& p : contents.points) valid.push_back(p.valid);
  EXPECT_EQ(valid, std::vector<bool>({false, false, true, false, true, false, false}));
  EXPECT_EQ(contents.problem, "");
}

TEST_F(ScanFilesTest, DamagedPtxEndsTheFileWithoutLosingEarlierPoints) {
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

TEST_F(ScanFilesTest, PtsSamplesGiveTheirPointsColoursAndIntensities) {
  SAMPLE_OR_SKIP(autzen, "pts/pdal_autzen.pts");
  SAMPLE_OR_SKIP(site, "pts/pdal_site_56_8.pts");
  SAMPLE_OR_SKIP(test, "pts/pdal_test.pts");
  SAMPLE_OR_SKIP(bunny, "pts/pdal_bunny_8.pts");
  auto model = ReadAsciiModel(autzen.string(), m_Info);
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.format, AsciiModelFormat::PtsBlocks);
  EXPECT_EQ(model->GetNumberOfPoints(), 10);
  EXPECT_EQ(model->GetNumberOfVerts(), 10);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "RGB");
  EXPECT_EQ(model->GetPointData()->GetArray("RGB")->GetComponent(0, 1), 70);
  EXPECT_EQ(model->GetPointData()->GetArray("Intensity")->GetComponent(2, 0), 602);
  EXPECT_DOUBLE_EQ(model->GetPoint(0)[0], 636110.300003);

  model = ReadAsciiModel(site.string(), m_Info);  // four values: intensity is the scalars
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_FALSE(m_Info.coloured);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "Intensity");
  EXPECT_EQ(model->GetPointData()->GetArray("RGB"), nullptr);
  EXPECT_EQ(model->GetPointData()->GetScalars()->GetComponent(7, 0), -1207);
  EXPECT_EQ(model->GetNumberOfPoints(), 8);

  model = ReadAsciiModel(test.string(), m_Info);
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.points, 19);

  EXPECT_FALSE(ReadAsciiModel(bunny.string(), m_Info));  // "x y z" lines are not PTS
  EXPECT_EQ(m_Info.problem.substr(0, 7), "line 2:");
}

TEST_F(ScanFilesTest, PtsBlocksJoinSkipTheOriginAndGreyFromIntensity) {
  auto model = Model(
      "3\n1 2 3 0\n0 0 0 5 1 2 3\n4 5 6 -4095\n\n2\r\n7 8 9 4096 10 20 30\n"
      "1 1 1 99999\n\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.points, 4);
  EXPECT_EQ(m_Info.skippedPoints, 1);
  EXPECT_TRUE(m_Info.coloured);
  vtkDataArray* rgb = model->GetPointData()->GetScalars();
  std::vector<double> red;
  for (vtkIdType i = 0; i < 4; ++i) red.push_back(rgb->GetComponent(i, 0));
  EXPECT_EQ(red, std::vector<double>({127, 0, 10, 255}));
  EXPECT_EQ(model->GetPointData()->GetArray("Intensity")->GetComponent(3, 0), 99999);

  EXPECT_FALSE(Model("2\n1 2 3 4\n1 2 3 4 5\n"));
  EXPECT_EQ(m_Info.problem.substr(0, 7), "line 3:");
  EXPECT_TRUE(m_Info.abandoned);
  for (const char* garbage : {"", "x y z\n1 2 3 4\n", "1.5 2 3 4\n",
                              "\x7f"
                              "ELF\x02\x01"})
    EXPECT_FALSE(Model(garbage)) << garbage;
}

TEST_F(ScanFilesTest, Version2ModelsTransformVerticesAndNormals) {
  // A quarter turn about z, x scaled by 2 first, then a move by (10, 20, 30).
  const std::string header =
      "#Version 2.0\nShell Type : mesh\nnumber of vertices : 2\nimage file : a.jpg\n"
      "transform matrix\n0 -1 0 10\n2 0 0 20\n0 0 1 30\n0 0 0 1\n"
      "projection matrix\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\nhas vertex color : 1\n";
  auto model = Model(header + "1 0 0 255 128 0\n0 1 0 1 2 3\n1 1 0\n0 0 5\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.format, AsciiModelFormat::Version2);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "RGB");
  double p[3];
  model->GetPoint(0, p);
  EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>({10, 22, 30}));
  model->GetPoint(1, p);
  EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>({9, 20, 30}));
  // The plane x + y = c becomes 2x' - y' = c': its normal turns to (-1, 0.5, 0), not to the
  // (-1, 2, 0) the plain 3x3 would give.
  vtkDataArray* normals = model->GetPointData()->GetArray("Normals");
  ASSERT_TRUE(normals);
  EXPECT_NEAR(normals->GetComponent(0, 0), -1 / std::sqrt(1.25), 1e-6);
  EXPECT_NEAR(normals->GetComponent(0, 1), 0.5 / std::sqrt(1.25), 1e-6);
  EXPECT_NEAR(normals->GetComponent(1, 2), 1, 1e-6);

  model = Model(header + "1 0 0\n0 1 0\n1 1 0\n");  // one normal short: normals dropped
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_FALSE(m_Info.coloured);
  EXPECT_EQ(model->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_NE(m_Info.problem.find("normals dropped"), std::string::npos);

  model = Model("#version 2.0\nnumber of vertices : 2000000000\n1 2 3\n4 5 6\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(model->GetNumberOfPoints(), 2);
}

TEST_F(ScanFilesTest, Version2RefusesBrokenHeaders) {
  std::string unknown;
  for (int i = 0; i < 9; ++i) unknown += "note " + std::to_string(i) + "\n";
  EXPECT_TRUE(Model("#version 2.0\n" + unknown + "1 2 3\n")) << m_Info.problem;
  EXPECT_FALSE(Model("#version 2.0\n" + unknown + "note 9\n1 2 3\n"));
  EXPECT_NE(m_Info.problem.find("unrecognised header"), std::string::npos);
  EXPECT_FALSE(Model("#version 2.0\ntransform matrix\n1 0 0 0\n0 1 0\n0 0 1 0\n0 0 0 1\n1 2 3\n"));
  EXPECT_FALSE(Model("#version 2.0\nnumber of vertices : -1\n1 2 3\n"));
  EXPECT_FALSE(Model("#version 2.0\n1 2 3 4 5 6\n1 2 3\n"));  // a colour missing
  EXPECT_FALSE(Model("#version 2.0\n"));
}

TEST_F(ScanFilesTest, ListFilesGiveOnePathALine) {
  bool opened = false;
  size_t unusable = 0;
  fs::path list = Write("inputs.txt", "/data/a.las\r\n\n/data/b c.ptx\n" + std::string(5000, 'x') +
                                          "\n" + std::string("nul\0", 4) + "\n/data/last");
  EXPECT_EQ(ReadListFile(list.string(), opened, &unusable),
            std::vector<std::string>({"/data/a.las", "/data/b c.ptx", "/data/last"}));
  EXPECT_TRUE(opened);
  EXPECT_EQ(unusable, 2u);
  EXPECT_TRUE(ReadListFile((m_Folder / "missing.txt").string(), opened).empty());
  EXPECT_FALSE(opened);
}

TEST_F(ScanFilesTest, VtpModelsAndTheirCompanions) {
  SAMPLE_OR_SKIP(ring, "vtp/vtkdata_Ring.vtp");
  const std::pair<const char*, vtkIdType> samples[] = {
      {"probes", 245}, {"Ring", 245},       {"uniform-001371-5x5x5", 1371},
      {"Bunny", 872},  {"ObliqueCone", 25}, {"SemiDisk-0", 611},
      {"vtk", 51},     {"horse", 33936}};
  std::string error;
  for (const auto& [name, points] : samples) {
    SAMPLE_OR_SKIP(path, std::string("vtp/vtkdata_") + name + ".vtp");
    auto model = ReadVtpModel(path.string(), error);
    ASSERT_TRUE(model) << error;
    EXPECT_EQ(model->GetNumberOfPoints(), points) << name;
  }

  const std::string text = ReadText(ring);
  for (const std::string& broken :
       {text.substr(0, text.size() / 2), text.substr(0, 400), std::string("not xml at all")}) {
    error.clear();
    EXPECT_FALSE(ReadVtpModel(Write("broken.vtp", broken).string(), error));
    EXPECT_NE(error.find("broken.vtp"), std::string::npos);
  }
  EXPECT_FALSE(ReadVtpModel((m_Folder / "none.vtp").string(), error));

  const std::string modelPath = (m_Folder / "site.vtp").string();
  Write("site.vtw", "[PolyData Offset]\nX=1000.5\nY=-20\n");
  Write("site.ini", "[Kelvo_CloudData]\nGSD=0.25\n");
  double offset[3];
  bool present = false;
  ReadVtwOffset(modelPath, offset);
  EXPECT_EQ(std::vector<double>(offset, offset + 3), std::vector<double>({1000.5, -20, 0}));
  EXPECT_EQ(ReadIniGsd(modelPath, present), 0.25);
  EXPECT_TRUE(present);
  ReadVtwOffset((m_Folder / "other.vtp").string(), offset);
  EXPECT_EQ(std::vector<double>(offset, offset + 3), std::vector<double>({0, 0, 0}));
  EXPECT_EQ(ReadIniGsd((m_Folder / "other.vtp").string(), present), 0.0);
  EXPECT_FALSE(present);
}

// A triangle in ASCII VTK XML, its point count, its offsets and its connectivity as given.
std::string AsciiTriangle(const char* points, const char* offsets, const char* connectivity) {
  return std::string(
             "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"0.1\" "
             "byte_order=\"LittleEndian\">\n<PolyData><Piece NumberOfPoints=\"") +
         points +
         "\" NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
         "format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Polys><DataArray "
         "type=\"Int32\" Name=\"connectivity\" format=\"ascii\">" +
         connectivity + "</DataArray><DataArray type=\"Int32\" Name=\"offsets\" format=\"ascii\">" +
         offsets + "</DataArray></Polys>\n</Piece></PolyData></VTKFile>\n";
}

// VTK sizes its arrays from what a file declares before reading the data: declarations that
// would have it allocate gigabytes are refused first, as are cells naming missing points.
TEST_F(ScanFilesTest, VtpDeclarationsBeyondTheFileAreRefused) {
  std::string error;
  auto model =
      ReadVtpModel(Write("triangle.vtp", AsciiTriangle("3", "3", "0 1 2")).string(), error);
  ASSERT_TRUE(model) << error;
  EXPECT_EQ(model->GetNumberOfPolys(), 1);

  const struct {
    std::string text;
    const char* reason;
  } refused[] = {
      {AsciiTriangle("2000000000", "3", "0 1 2"), "declares more values"},
      {AsciiTriangle("3", "2000000000", "0 1 2"), "refer to more points"},
      {AsciiTriangle("3", "3", "0 1 7"), "refer to points it does not hold"},
      {AsciiTriangle("3", "2", "0 1"), "malformed"},  // a polygon of two points
      // A zlib header announcing 2^30 blocks (then block sizes 32768, 12 and 20).
      {"<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"0.1\" "
       "byte_order=\"LittleEndian\" compressor=\"vtkZLibDataCompressor\"><PolyData><Piece "
       "NumberOfPoints=\"1\"><Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
       "format=\"binary\">AAAAQACAAAAMAAAAFAAAAA==</DataArray></Points></Piece></PolyData>"
       "</VTKFile>\n",
       "compressed array's header"},
  };
  for (const auto& c : refused) {
    error.clear();
    EXPECT_FALSE(ReadVtpModel(Write("refused.vtp", c.text).string(), error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

}  // namespace
