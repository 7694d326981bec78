#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/AsciiModel.h"
#include "nimbex/creation/GlobalBounds.h"
#include "nimbex/creation/StreamCreator.h"
#include "tests/creation/ScanFileTesting.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

fs::path SampleFolder(const char* kind) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  return data ? fs::path(data) / kind : fs::path();
}

class GridCreator : public CStreamCreator {
 public:
  void UseGrid(const double bounds[6], int depth, const fs::path& output) {
    PutTerrain(0);
    SetGridDepth(depth);
    m_Owned = std::make_unique<CContainer>(bounds, depth, 0, m_Offset);
    m_Container = m_Owned.get();
    SetOutputFileName(output.c_str());
  }
  std::unique_ptr<CContainer> m_Owned;
};

std::vector<float> ReadFloats(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<float> values;
  float value;
  while (in.read(reinterpret_cast<char*>(&value), sizeof value)) values.push_back(value);
  return values;
}

TEST(ModelGriddingTest, APointNearACellFaceIsCopiedIntoTheCellAcrossIt) {
  ScratchFolder folder;
  const double bounds[6] = {-8, 8, -8, 8, -8, 8};
  GridCreator creator;
  creator.UseGrid(bounds, 1, folder / "m.strm");
  creator.SetGSD(0.5);
  // In cell 0 (x, y, z below 0): 0.4 from its upper x face, 0.7 from its lower y face.
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(-0.4, -7.3, -4.0);
  points->InsertNextPoint(-4.0, -4.0, -4.0);  // far from every face: no copy
  vtkNew<vtkPolyData> model;
  model->SetPoints(points);
  creator.WriteVtpOnStream(model, nullptr, nullptr, nullptr, nullptr, nullptr);
  creator.CloseAllBufFiles();

  EXPECT_EQ(creator.GetBorderCopiesCount(), 1);
  EXPECT_EQ(ReadFloats(folder / "m_0.buf").size(), 6u);
  const std::vector<float> copy = ReadFloats(folder / "m_1.buf");  // the cell above in x
  ASSERT_EQ(copy.size(), 3u);
  EXPECT_FLOAT_EQ(copy[0], -0.4f);  // the point's own record, not mirrored
  EXPECT_FLOAT_EQ(copy[1], -7.3f);
  std::vector<int> ids = *creator.GetItemsIds();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int>{0, 1}));
}

// Runs the bounds pass and the build of a list; `unreadable` receives the bounds pass's
// problems.
int BuildList(const std::vector<fs::path>& inputs, StreamCreatorFormat format,
              const fs::path& output, CStreamCreator& creator, int terrain = 0,
              std::vector<std::string>* unreadable = nullptr) {
  std::vector<std::string> files;
  for (const fs::path& input : inputs) files.push_back(input.string());
  double bounds[6];
  int points = 0;
  const bool found =
      format == SCF_PTX_LIST
          ? GetGlobalBoundsFromPtx(&files, bounds, &points, nullptr, nullptr, nullptr, unreadable)
      : format == SCF_VTP_LIST ? GetGlobalBoundsFromVtp(&files, bounds, &points, nullptr, nullptr,
                                                        nullptr, nullptr, unreadable)
                               : GetGlobalBoundsFromAscii(&files, bounds, &points, nullptr, nullptr,
                                                          nullptr, unreadable);
  if (!found) return 0;
  const fs::path list = fs::path(output).replace_extension("list");
  {
    std::ofstream out(list);
    for (const fs::path& input : inputs) out << input.string() << "\n\n";  // empty lines too
  }
  return creator.CreateStream(list.string(), "", "xyz", terrain, 0, -1, true, output.string(),
                              nullptr, format, bounds, &points, nullptr, nullptr, nullptr, nullptr);
}

// Every stored point: absolute x, y, z, then its normal and colour where the stream has them
// (zeros otherwise), sorted.
using StoredRecord = std::array<double, 9>;
std::vector<StoredRecord> StoredRecords(const fs::path& stream) {
  CNimbex cloud(stream.c_str());
  EXPECT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  double offset[3];
  cloud.GetOffset(offset);
  std::vector<StoredRecord> all;
  for (const Item& item : cloud.GetLevelItems(-1)) {
    vtkNew<vtkPoints> points;
    vtkNew<vtkFloatArray> normals;
    vtkNew<vtkUnsignedCharArray> colors;
    normals->SetNumberOfComponents(3);
    colors->SetNumberOfComponents(3);
    cloud.LoadItemIO(-1, item.id, points, nullptr, nullptr,
                     cloud.HasColors() ? colors.Get() : nullptr, nullptr, nullptr,
                     cloud.HasNormals() ? normals.Get() : nullptr, 1);
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
      const double* p = points->GetPoint(i);
      StoredRecord record = {p[0] + offset[0], p[1] + offset[1], p[2] + offset[2]};
      for (int c = 0; c < 3 && cloud.HasNormals(); ++c) record[3 + c] = normals->GetComponent(i, c);
      for (int c = 0; c < 3 && cloud.HasColors(); ++c) record[6 + c] = colors->GetComponent(i, c);
      all.push_back(record);
    }
  }
  std::sort(all.begin(), all.end());
  return all;
}

// Absolute coordinates of every stored point, sorted.
std::vector<std::array<double, 3>> StoredPoints(const fs::path& stream) {
  std::vector<std::array<double, 3>> all;
  for (const StoredRecord& record : StoredRecords(stream))
    all.push_back({record[0], record[1], record[2]});
  return all;
}

TEST(ModelGriddingTest, ThePtxScanOfTheLasPointsLandsWhereTheLasBuildPutsThem) {
  const fs::path ptx = SampleFolder("ptx") / "pdal_1.2-with-color.ptx";
  const fs::path las = SampleFolder("las") / "laspy_simple.las";
  if (!fs::exists(ptx) || !fs::exists(las)) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  CStreamCreator scan;
  ASSERT_EQ(BuildList({ptx}, SCF_PTX_LIST, folder / "scan.strm", scan, 1), 1)
      << scan.GetLastError();
  CStreamCreator survey;
  ASSERT_EQ(survey.CreateStream(las.string(), "las", "xyzirgbc", 1, 0, -1, false,
                                (folder / "las.strm").string(), nullptr, SCF_POINT_FILE, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr),
            1);
  const auto fromScan = StoredPoints(folder / "scan.strm");
  const auto fromLas = StoredPoints(folder / "las.strm");
  ASSERT_EQ(fromScan.size(), 1065u);
  ASSERT_EQ(fromScan.size(), fromLas.size());
  for (size_t i = 0; i < fromScan.size(); ++i)
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(fromScan[i][d], fromLas[i][d], 0.005) << i;

  CNimbex cloud((folder / "scan.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_TRUE(cloud.HasColors());
  EXPECT_TRUE(cloud.HasIntensity());
}

TEST(ModelGriddingTest, ModelsAndAsciiFilesBuildStreamsInTheWorldFrame) {
  const fs::path vtp = SampleFolder("vtp") / "vtkdata_Bunny.vtp";
  const fs::path pts = SampleFolder("pts") / "pdal_test.pts";
  if (!fs::exists(vtp) || !fs::exists(pts)) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  CStreamCreator bunny;
  ASSERT_EQ(BuildList({vtp, vtp}, SCF_VTP_LIST, folder / "bunny.strm", bunny), 1)
      << bunny.GetLastError();
  CNimbex model((folder / "bunny.strm").c_str());
  ASSERT_EQ(model.OpenStrmCloud(), 1);
  EXPECT_GT(model.GetPointsCount(), 0);
  EXPECT_EQ(model.GetPointsCount() % 2, 0);  // both listed copies were gridded

  CStreamCreator ascii;
  ASSERT_EQ(BuildList({pts}, SCF_ASCII_LIST, folder / "pts.strm", ascii), 1)
      << ascii.GetLastError();
  const auto stored = StoredPoints(folder / "pts.strm");
  AsciiModelInfo info;
  vtkSmartPointer<vtkPolyData> read = ReadAsciiModel(pts.string(), info);
  ASSERT_TRUE(read);
  std::vector<std::array<double, 3>> expected;
  for (vtkIdType i = 0; i < read->GetNumberOfPoints(); ++i) {
    const double* p = read->GetPoint(i);
    expected.push_back({p[0], p[1], p[2]});
  }
  std::sort(expected.begin(), expected.end());
  // The file's own coordinates come back: the stream's offset is taken off and put back.
  ASSERT_EQ(stored.size(), expected.size());
  for (size_t i = 0; i < stored.size(); ++i)
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(stored[i][d], expected[i][d], 1e-3);
}

// A damaged input keeps the points read before the damage (PTX) or is skipped (models), and
// is named with where reading stopped: in the bounds pass, in the log and to the caller.
TEST(ModelGriddingTest, DamagedInputsAreNamedWithWhereReadingStopped) {
  SAMPLE_OR_SKIP(ptx, "ptx/pdal_1.2-with-color.ptx");
  SAMPLE_OR_SKIP(bunny, "vtp/vtkdata_Bunny.vtp");
  SAMPLE_OR_SKIP(ring, "vtp/vtkdata_Ring.vtp");
  SAMPLE_OR_SKIP(pts, "pts/pdal_test.pts");
  ScratchFolder folder;
  std::string text = scantesting::ReadText(ptx);
  size_t line26 = 0;
  for (int line = 1; line < 26; ++line) line26 = text.find('\n', line26) + 1;
  text.replace(line26, text.find('\n', line26) - line26, "1.5 2 x");
  const fs::path cut = folder / "cut.ptx";
  scantesting::WriteText(cut, text);
  CStreamCreator scan;
  std::vector<std::string> unreadable;
  ASSERT_EQ(BuildList({cut}, SCF_PTX_LIST, folder / "scan.strm", scan, 1, &unreadable), 1)
      << scan.GetLastError();
  EXPECT_EQ(scan.GetPointsCount(), 15);
  ASSERT_EQ(unreadable.size(), 1u);
  ASSERT_EQ(scan.GetDamagedInputs().size(), 1u);
  const std::string& problem = scan.GetDamagedInputs()[0];
  EXPECT_NE(problem.find(cut.string() + ": line 26"), std::string::npos) << problem;
  EXPECT_NE(problem.find("15 points"), std::string::npos) << problem;
  EXPECT_NE(scantesting::ReadText(folder / "scan.log").find(problem), std::string::npos);

  const std::string model = scantesting::ReadText(bunny);
  const fs::path half = folder / "half.vtp";
  scantesting::WriteText(half, model.substr(0, model.size() / 2));
  CStreamCreator models;
  unreadable.clear();
  ASSERT_EQ(BuildList({half, ring}, SCF_VTP_LIST, folder / "models.strm", models, 0, &unreadable),
            1)
      << models.GetLastError();
  EXPECT_EQ(models.GetPointsCount(), 245);
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_NE(unreadable[0].find(half.string()), std::string::npos) << unreadable[0];
  ASSERT_EQ(models.GetDamagedInputs().size(), 1u);
  EXPECT_NE(models.GetDamagedInputs()[0].find("half.vtp"), std::string::npos);

  const fs::path broken = folder / "broken.pts";
  scantesting::WriteText(broken, "2\n1 2 3 4\n1 2 3 4 5\n");
  CStreamCreator ascii;
  ASSERT_EQ(BuildList({broken, pts}, SCF_ASCII_LIST, folder / "pts.strm", ascii), 1);
  ASSERT_EQ(ascii.GetDamagedInputs().size(), 1u);
  EXPECT_NE(ascii.GetDamagedInputs()[0].find(broken.string() + ": line 3"), std::string::npos)
      << ascii.GetDamagedInputs()[0];
}

// A stream keeps every attribute any of its models brings, whatever their order; points of a
// model without one get its default (the zero normal, mid-grey).
TEST(ModelGriddingTest, TheStreamKeepsTheUnionOfItsModelsAttributesInEitherOrder) {
  SAMPLE_OR_SKIP(bunny, "vtp/vtkdata_Bunny.vtp");  // normals
  SAMPLE_OR_SKIP(ring, "vtp/vtkdata_Ring.vtp");    // no attribute
  SAMPLE_OR_SKIP(site, "pts/pdal_site_56_8.pts");  // intensities
  SAMPLE_OR_SKIP(autzen, "pts/pdal_autzen.pts");   // colours and intensities
  ScratchFolder folder;
  const struct {
    std::vector<fs::path> first, second;
    StreamCreatorFormat format;
  } lists[] = {{{ring, bunny}, {bunny, ring}, SCF_VTP_LIST},
               {{site, autzen}, {autzen, site}, SCF_ASCII_LIST}};
  std::vector<StoredRecord> stored[2][2];
  for (int list = 0; list < 2; ++list)
    for (int order = 0; order < 2; ++order) {
      const fs::path output =
          folder / ("s" + std::to_string(list) + std::to_string(order) + ".strm");
      CStreamCreator creator;
      ASSERT_EQ(BuildList(order ? lists[list].second : lists[list].first, lists[list].format,
                          output, creator),
                1)
          << creator.GetLastError();
      stored[list][order] = StoredRecords(output);
    }
  // The same points with the same attributes, whichever model came first.
  EXPECT_TRUE(stored[0][0] == stored[0][1]);
  EXPECT_TRUE(stored[1][0] == stored[1][1]);
  auto count = [](const std::vector<StoredRecord>& records, auto predicate) {
    return std::count_if(records.begin(), records.end(), predicate);
  };
  auto hasNormal = [](const StoredRecord& r) { return r[3] != 0 || r[4] != 0 || r[5] != 0; };
  auto grey = [](const StoredRecord& r) { return r[6] == 128 && r[7] == 128 && r[8] == 128; };
  EXPECT_EQ(stored[0][0].size(), 872u + 245u);
  EXPECT_EQ(count(stored[0][0], hasNormal), 872);  // the bunny's, ring points have none
  EXPECT_EQ(stored[1][0].size(), 18u);
  EXPECT_EQ(count(stored[1][0], grey), 8);  // the site's, the autzen points keep their colours
}

}  // namespace
