// Building a new project: the rules of the build dialogs, the creator's arguments per kind of
// input, and whole builds from real sample files, without windows.
#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <filesystem>
#include <fstream>

#include "ProjectBuild.h"
#include "ProjectBuilder.h"
#include "ProjectFiles.h"
#include "ProjectsTestSupport.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Sinks.h"
#include "tests/support/SampleData.h"

namespace fs = std::filesystem;

namespace {

void AddArray(vtkPolyData* model, const char* name) {
  vtkNew<vtkUnsignedCharArray> array;
  array->SetName(name);
  array->SetNumberOfComponents(1);
  model->GetPointData()->AddArray(array);
}

// Sets the abort flag as soon as the progress first moves, as a user's click on Abort
// would while the progress lets the window messages through.
class AbortingProgress : public CProgressSink {
 public:
  explicit AbortingProgress(int& abort) : m_Abort(abort) {}
  void SetRange(int, int) override {}
  void SetPos(int) override { m_Abort = 1; }

 private:
  int& m_Abort;
};

// Sets the abort flag when the creator names the step `step`, as a user who clicks Abort then.
class AbortingStatus : public CTextSink {
 public:
  AbortingStatus(int& abort, std::string step) : m_Abort(abort), m_Step(std::move(step)) {}
  void SetText(const std::string& text) override {
    if (text == m_Step) m_Abort = 1;
  }

 private:
  int& m_Abort;
  std::string m_Step;
};

int CountPoints(const fs::path& stream) {
  CNimbex cloud(stream.c_str());
  cloud.PutHeaderWriteBack(0);
  if (!cloud.OpenStrmCloud()) return -1;
  return cloud.GetPointsCount();
}

}  // namespace

TEST(ProjectBuildTest, TheNewStreamSitsInAFolderNamedAfterTheProjectWithItsListFile) {
  EXPECT_EQ(MakeBuildOutputPath("/survey/2024", "Old Mill"), "/survey/2024/Old Mill/Old Mill.strm");
  EXPECT_EQ(MakeBuildOutputPath("/survey/2024", ""), "/survey/2024");
  EXPECT_EQ(MakeBuildListPath("/survey/2024/Old Mill/Old Mill.strm"),
            "/survey/2024/Old Mill/Old Mill.list");
  EXPECT_TRUE(IsValidProjectName("Mill's yard 2"));
  for (const char* name : {"", ".", "..", "a/b"}) EXPECT_FALSE(IsValidProjectName(name)) << name;
}

TEST(ProjectBuildTest, ModelsMustBeVtpPtxOrLasAndAllOfOneKind) {
  EXPECT_EQ(CheckModelsToAdd({}, {"/m/a.vtp", "/m/b.VTP"}), "");
  EXPECT_EQ(CheckModelsToAdd({"/m/a.las"}, {"/m/b.LAS"}), "");
  EXPECT_EQ(CheckModelsToAdd({"/m/a.vtp"}, {"/m/b.las"}), kModelsOfOneType);
  EXPECT_EQ(CheckModelsToAdd({}, {"/m/a.ptx", "/m/b.las"}), kModelsOfOneType);
  EXPECT_EQ(CheckModelsToAdd({"/m/a.las"}, {"/m/b.laz"}), kOnlyModelsAllowed);
  EXPECT_EQ(CheckModelsToAdd({}, {"/m/a.txt"}), kOnlyModelsAllowed);
  EXPECT_EQ(GetModelKind("/m/scan.Ptx"), BIK_PTX);

  std::vector<std::string> ignored;
  EXPECT_EQ(SelectImageFiles({"/p/a.JPG", "/p/b.doc", "/p/c.tif", "/p/d.xml"}, ignored),
            (std::vector<std::string>{"/p/a.JPG", "/p/c.tif", "/p/d.xml"}));
  EXPECT_EQ(ignored, std::vector<std::string>{"/p/b.doc"});
}

TEST(ProjectBuildTest, EachKindOfInputGetsItsRowOfCreatorArguments) {
  const CreateStreamArguments vtp = GetCreateStreamArguments(BIK_VTP, "xyzrgb");
  EXPECT_EQ(vtp.inputFormat, "vtp");
  EXPECT_EQ(vtp.parseString, "xyzrgb");
  EXPECT_EQ(vtp.terrain, 0);
  EXPECT_EQ(vtp.format, SCF_VTP_LIST);
  EXPECT_TRUE(vtp.passesBounds);
  const CreateStreamArguments ptx = GetCreateStreamArguments(BIK_PTX, "ignored");
  EXPECT_EQ(ptx.inputFormat, "ptx");
  EXPECT_EQ(ptx.parseString, "");
  EXPECT_EQ(ptx.terrain, 1);
  EXPECT_EQ(ptx.format, SCF_PTX_LIST);
  const CreateStreamArguments las = GetCreateStreamArguments(BIK_LAS, "xyzic");
  EXPECT_EQ(las.inputFormat, "las");
  EXPECT_EQ(las.terrain, 1);
  EXPECT_EQ(las.format, SCF_POINT_FILE);
  EXPECT_TRUE(las.passesBounds);
  const CreateStreamArguments ascii = GetCreateStreamArguments(BIK_ASCII, "xyzi");
  EXPECT_EQ(ascii.inputFormat, "txt");
  EXPECT_EQ(ascii.parseString, "xyzi");
  EXPECT_EQ(ascii.terrain, 0);
  EXPECT_EQ(ascii.format, SCF_POINT_FILE);
  EXPECT_FALSE(ascii.passesBounds);
  for (const CreateStreamArguments& row : {vtp, ptx, las, ascii}) {
    EXPECT_EQ(row.geoTransform, 0);
    EXPECT_EQ(row.utmZone, -1);
    EXPECT_TRUE(row.listOfFiles);
  }
}

TEST(ProjectBuildTest, TheVtpFieldStringFollowsTheFirstModelsArraysInOrder) {
  vtkNew<vtkPolyData> model;
  EXPECT_EQ(MakeVtpFieldString(model), "xyz");
  AddArray(model, "RGB");
  AddArray(model, "Normals");
  AddArray(model, "Intensity");
  EXPECT_EQ(MakeVtpFieldString(model), "xyzrgbi");
  vtkNew<vtkPolyData> grey;
  AddArray(grey, "intensity");
  AddArray(grey, "Gray");
  EXPECT_EQ(MakeVtpFieldString(grey), "xyzigray");
}

TEST(ProjectBuildTest, ThePreviewReadsTheFirstLinesOnly) {
  ScratchFolder folder;
  std::ofstream(folder / "points.txt", std::ios::binary) << "1 2 3\r\n4 5 6\r\n"
                                                         << std::string(5000, '7') << "\n8 9 10";
  std::vector<std::string> lines;
  ASSERT_EQ(ReadPreviewLines((folder / "points.txt").string(), 5, lines), PreviewStatus::Ok);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "1 2 3");
  EXPECT_EQ(lines[2].size(), 1000u);
  EXPECT_EQ(lines[3], "8 9 10");
  ASSERT_EQ(ReadPreviewLines((folder / "points.txt").string(), 2, lines), PreviewStatus::Ok);
  EXPECT_EQ(lines, (std::vector<std::string>{"1 2 3", "4 5 6"}));
  EXPECT_EQ(ReadPreviewLines((folder / "gone.txt").string(), 5, lines), PreviewStatus::NotFound);
  EXPECT_EQ(ReadPreviewLines(folder.Path().string(), 5, lines), PreviewStatus::NotOpened);
}

TEST(ProjectBuildTest, AScanAndAModelListBuildWithTheirBoundsAndLeaveNoListFile) {
  const fs::path ptx = SampleData("ptx"), vtp = SampleData("vtp");
  if (ptx.empty() || vtp.empty()) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  int abort = 0;
  CProjectBuilder builder(nullptr, nullptr, &abort);
  const std::string scans = MakeBuildOutputPath(folder.Path().string(), "scans");
  ASSERT_EQ(builder.BuildFromModels(
                {(ptx / "pdal_1.2-with-color.ptx").string(), (ptx / "pdal_no-color.ptx").string()},
                {}, scans),
            BuildOutcome::Built)
      << builder.GetMessage() << builder.GetReason();
  EXPECT_GT(CountPoints(scans), 0);
  EXPECT_FALSE(fs::exists(MakeBuildListPath(scans)));

  const std::string models = MakeBuildOutputPath(folder.Path().string(), "models");
  ASSERT_EQ(
      builder.BuildFromModels(
          {(vtp / "vtkdata_Bunny.vtp").string(), (vtp / "vtkdata_Ring.vtp").string()}, {}, models),
      BuildOutcome::Built)
      << builder.GetMessage() << builder.GetReason();
  EXPECT_GT(CountPoints(models), 0);
  EXPECT_FALSE(fs::exists(MakeBuildListPath(models)));
}

TEST(ProjectBuildTest, AbortingTheBoundsPassMakesNoProjectFolder) {
  const fs::path vtp = SampleData("vtp");
  if (vtp.empty()) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  int abort = 0;
  AbortingProgress progress(abort);
  CProjectBuilder builder(&progress, nullptr, &abort);
  const std::string output = MakeBuildOutputPath(folder.Path().string(), "bunny");
  EXPECT_EQ(
      builder.BuildFromModels(
          {(vtp / "vtkdata_Bunny.vtp").string(), (vtp / "vtkdata_horse.vtp").string()}, {}, output),
      BuildOutcome::Stopped);
  EXPECT_EQ(builder.GetMessage(), kProcessStopped);
  EXPECT_FALSE(fs::exists(folder / "bunny"));
}

TEST(ProjectBuildTest, AbortingWhileTheStreamIsWrittenLeavesNoStream) {
  const fs::path las = SampleData("las");
  if (las.empty()) GTEST_SKIP() << "no sample data";
  for (const char* step : {"Populating final grid...", "Merging grid..."}) {
    ScratchFolder folder;
    int abort = 0;
    AbortingStatus status(abort, step);
    CProjectBuilder builder(nullptr, &status, &abort);
    const std::string output = MakeBuildOutputPath(folder.Path().string(), "site");
    EXPECT_EQ(builder.BuildFromModels({(las / "pdal_autzen_trim.las").string()},
                                      {(las / "no photograph.jpg").string()}, output),
              BuildOutcome::Stopped)
        << step;
    EXPECT_EQ(builder.GetMessage(), kProcessStopped);
    EXPECT_FALSE(fs::exists(output)) << step;
    EXPECT_FALSE(fs::exists(MakeBuildListPath(output))) << step;
    EXPECT_FALSE(fs::exists(MakeDataFolderName(output))) << step;
  }
}

TEST(ProjectBuildTest, ADamagedLasTileKeepsNoStreamAndNamesTheTile) {
  const fs::path las = SampleData("las");
  if (las.empty()) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  int abort = 0;
  CProjectBuilder builder(nullptr, nullptr, &abort);
  const std::string output = MakeBuildOutputPath(folder.Path().string(), "tiles");
  EXPECT_EQ(builder.BuildFromModels({(las / "laspy_simple.las").string(),
                                     (las / "pdal_1.2-with-color-clipped.las").string()},
                                    {}, output),
            BuildOutcome::Failed);
  EXPECT_EQ(builder.GetMessage(), kStreamNotCreated);
  EXPECT_NE(builder.GetReason().find("pdal_1.2-with-color-clipped.las"), std::string::npos)
      << builder.GetReason();
  EXPECT_FALSE(fs::exists(output));
  EXPECT_FALSE(fs::exists(MakeBuildListPath(output)));
}

TEST(ProjectBuildTest, AsciiFilesBuildWithTheParseStringAndNeedOne) {
  const fs::path xyz = SampleData("xyz");
  if (xyz.empty()) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  int abort = 0;
  CProjectBuilder builder(nullptr, nullptr, &abort);
  const std::string output = MakeBuildOutputPath(folder.Path().string(), "terrain");
  EXPECT_EQ(builder.BuildFromAscii({(xyz / "pdal_data.xyz").string()}, "", output),
            BuildOutcome::Failed);
  EXPECT_EQ(builder.GetMessage(), kSelectFieldOfInterest);
  ASSERT_EQ(builder.BuildFromAscii({(xyz / "pdal_missingheader.txt").string()}, "xyzi", output),
            BuildOutcome::Built)
      << builder.GetMessage() << builder.GetReason();
  CNimbex cloud(output.c_str());
  cloud.PutHeaderWriteBack(0);
  ASSERT_TRUE(cloud.OpenStrmCloud());
  EXPECT_EQ(cloud.GetPointsCount(), 5);
  EXPECT_TRUE(cloud.HasIntensity());
  EXPECT_FALSE(fs::exists(MakeBuildListPath(output)));
}
