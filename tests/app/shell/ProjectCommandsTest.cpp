// The project's photographs and file commands, run as a user runs them in the program.
#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkXMLPolyDataReader.h>

#include <QAction>
#include <QImage>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "DataBaseSql.h"
#include "OrientationImport.h"
#include "app/projects/ImageImport.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/ProgressDlg.h"
#include "app/shell/ProjectCommands.h"
#include "app/shell/ViewCommands.h"
#include "nimbex/access/Nimbex.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 30000;

class ProjectCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_Stream = (m_Folder / "site.strm").string();
    TestStream stream = MakeLatticeStream(1, 8, 0);
    stream.cvm = CVM_RGB;
    WriteTestStream(m_Stream, stream);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
    m_Commands = m_Frame->GetProjectCommands();
  }

  COrvalisFrame* OpenAndPaint(const std::string& stream) {
    return ::OpenAndPaint(*m_Frame, stream, kPaintTimeoutMs);
  }

  // The messages the commands show while `run` runs.
  QStringList MessagesOf(const std::function<void()>& run) {
    QSignalSpy shown(m_Commands, &CProjectCommands::messageShown);
    run();
    QStringList texts;
    for (const QList<QVariant>& message : shown) texts << message.at(0).toString();
    return texts;
  }

  QAction* ToolsAction(const QString& label) {
    for (QAction* menu : m_Frame->menuBar()->actions())
      if (menu->text() == "&Tools")
        for (QAction* action : menu->menu()->actions())
          if (action->text() == label) return action;
    return nullptr;
  }

  ScratchFolder m_Folder;
  std::string m_Stream;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  CProjectCommands* m_Commands = nullptr;
};

}  // namespace

TEST_F(ProjectCommandsTest, AProjectWithPhotographsOpensInTheStandardLayout) {
  const fs::path camera = m_Folder / "camera";
  for (const char* name : {"c.jpg", "a.jpg"}) WritePhoto(camera / name, 60, 40, true);
  WritePhoto(camera / "b.jpg", 60, 40, false);
  ProblemList problems;
  ASSERT_EQ(ImportImages({(camera / "c.jpg").string(), (camera / "a.jpg").string(),
                          (camera / "b.jpg").string()},
                         nullptr, nullptr, problems, nullptr, m_Stream),
            1);
  fs::remove(m_Folder / "site_data" / "thumb_b.jpg");

  COrvalisFrame* project = OpenAndPaint(m_Stream);
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->GetLayout(), LAYOUT_STANDARD);
  EXPECT_EQ(project->GetColumnWidths()[0], 223);
  const fs::path data = m_Folder / "site_data";
  EXPECT_EQ(project->GetDocument()->GetImages().GetImages(),
            (std::vector<std::string>{(data / "a.jpg").string(), (data / "b.jpg").string(),
                                      (data / "c.jpg").string()}));
  EXPECT_TRUE(fs::exists(data / "thumb_b.jpg"));
  const CProjectImages& images = project->GetDocument()->GetImages();
  EXPECT_EQ(images.GetOrientations().size(), 2u);
  EXPECT_NE(images.GetOrientation((data / "c.jpg").string()), nullptr);
  EXPECT_EQ(images.GetOrientation((data / "b.jpg").string()), nullptr);
  EXPECT_FALSE(m_Frame->GetProgressDlg()->isVisible());

  CDBRecordProject row;
  row.path = m_Stream;
  ASSERT_EQ(m_App->GetDataBase()->Select(&row), 1);
  EXPECT_EQ(static_cast<CDBRecordProject*>(m_App->GetDataBase()->GetResult(0))->num_images, 3);
}

TEST_F(ProjectCommandsTest, AddingImagesReportsAndImportsThemAndShowsTheImagePanel) {
  COrvalisFrame* project = OpenAndPaint(m_Stream);
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(project->GetLayout(), LAYOUT_STREAMING);
  const fs::path camera = m_Folder / "camera";
  WritePhoto(camera / "oriented.jpg", 80, 60, true);
  WritePhoto(camera / "unoriented.png", 40, 80, false);
  std::ofstream(camera / "broken.cr2") << "not a raw file";
  std::ofstream(camera / "broken.int") << "interior";

  const QStringList sources = {QString::fromStdString((camera / "oriented.jpg").string()),
                               QString::fromStdString((camera / "unoriented.png").string()),
                               QString::fromStdString((camera / "broken.cr2").string())};
  EXPECT_EQ(m_Commands->AddImages(project, sources), 1);

  QList<CReportDlg*> reports = m_Frame->findChildren<CReportDlg*>();
  ASSERT_EQ(reports.size(), 2);
  CReportDlg* orientation = reports[0];
  CReportDlg* problems = m_Commands->GetLastReport();
  if (orientation == problems) orientation = reports[1];
  EXPECT_EQ(orientation->windowTitle(), "Warning: following images have not orientation");
  EXPECT_EQ(orientation->GetRow(0), QStringList({sources[1], "X", "X"}));
  EXPECT_EQ(orientation->GetRow(1), QStringList({sources[2], "", "X"}));
  EXPECT_EQ(problems->windowTitle(), "Some problems occurred:");
  EXPECT_EQ(problems->GetColumns(), QStringList({"Image", "Problem"}));
  EXPECT_EQ(problems->GetRow(2), QStringList({sources[2], "Unable to handle raw image format"}));
  orientation->grab().save(Output("add-images-orientation-report.png"));
  problems->grab().save(Output("add-images-problem-report.png"));

  EXPECT_EQ(project->GetDocument()->GetImages().GetImages().size(), 2u);
  EXPECT_EQ(project->GetDocument()->GetImages().GetOrientations().size(), 1u);
  EXPECT_EQ(project->GetLayout(), LAYOUT_STANDARD);
  EXPECT_FALSE(m_Frame->GetProgressDlg()->isVisible());
  m_Frame->grab().save(Output("add-images-main-window.png"));
}

TEST_F(ProjectCommandsTest, ExportVtpWritesEveryPointThatVtksReaderReadsBack) {
  COrvalisFrame* project = OpenAndPaint(m_Stream);
  ASSERT_NE(project, nullptr);
  const std::string vtp = (m_Folder / "export points.vtp").string();
  EXPECT_EQ(MessagesOf([&] { m_Commands->ExportVtp(project, QString::fromStdString(vtp)); }),
            QStringList({"Process completed"}));
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(vtp.c_str());
  reader->Update();
  EXPECT_EQ(reader->GetOutput()->GetNumberOfPoints(),
            project->GetDocument()->GetFirstCloud()->GetPointsCount());
  EXPECT_TRUE(fs::exists(m_Folder / "export points.vtw"));
}

TEST_F(ProjectCommandsTest, ScreenPicturesAndTheOverviewAreWritten) {
  COrvalisFrame* project = OpenAndPaint(m_Stream);
  ASSERT_NE(project, nullptr);
  const QString screen = QString::fromStdString((m_Folder / "screen.jpg").string());
  EXPECT_EQ(MessagesOf([&] { m_Commands->SaveScreen(project, screen); }),
            QStringList({"Image Saved successfully"}));
  EXPECT_EQ(QImage(screen).size(), project->GetView()->size() * project->devicePixelRatioF());
  EXPECT_EQ(MessagesOf([&] { m_Commands->SaveScreen(project, "/no/such/folder/x.jpg"); }),
            QStringList({"Unable to save current image of 3D model!"}));

  const QString layout = QString::fromStdString((m_Folder / "ScreenShot.bmp").string());
  EXPECT_EQ(m_Commands->SaveScreenAllLayout(project, layout), 1);
  EXPECT_EQ(QImage(layout).size(), project->size());
  QImage(layout).save(Output("save-screen-all-layout.png"));
  EXPECT_EQ(MessagesOf([&] { m_Commands->SaveScreenAllLayout(project, "/no/such/x.bmp"); }),
            QStringList({"Unable to Create Bitmap File"}));

  // The menu command, as the user picks it: the old overview is replaced.
  const fs::path overview = m_Folder / "site.jpg";
  std::ofstream(overview) << "an old overview";
  QAction* update = ToolsAction("Update Project Overview");
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(MessagesOf([&] { update->trigger(); }), QStringList({"Overview updated successfully"}));
  EXPECT_FALSE(QImage(QString::fromStdString(overview.string())).isNull());
}

TEST_F(ProjectCommandsTest, TheFiltersMakeStreamsThatOpenAsProjects) {
  COrvalisFrame* project = OpenAndPaint(m_Stream);
  ASSERT_NE(project, nullptr);
  const std::string cleaned = (m_Folder / "cleaned.strm").string();
  EXPECT_EQ(
      MessagesOf([&] { m_Commands->RunCleanFilter(project, QString::fromStdString(cleaned)); }),
      QStringList({"Process completed, needed 0 secs."}));
  const std::string mesh = (m_Folder / "mesh.strm").string();
  EXPECT_EQ(m_Commands->RunMeshFilter(project, QString::fromStdString(mesh)), 1);
  EXPECT_EQ(MessagesOf([&] { ToolsAction("Mesh Overview")->trigger(); }).size(), 1);

  COrvalisFrame* meshProject = OpenAndPaint(mesh);
  ASSERT_NE(meshProject, nullptr);
  EXPECT_TRUE(meshProject->GetDocument()->GetFirstCloud()->HasTri());
  EXPECT_EQ(m_Commands->BuildMeshOverview(meshProject), 1);
  const std::string vtp = (m_Folder / "mesh.vtp").string();
  EXPECT_EQ(m_Commands->ExportVtp(meshProject, QString::fromStdString(vtp)), 1);
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(vtp.c_str());
  reader->Update();
  EXPECT_EQ(reader->GetOutput()->GetNumberOfPoints(),
            meshProject->GetDocument()->GetFirstCloud()->GetPointsCount());
  EXPECT_NE(OpenAndPaint(cleaned), nullptr);
}

// A real survey: the points of a structure-from-motion reconstruction of a stone portal as
// the stream, and its 12 photographs, oriented by the reconstruction, imported.
TEST_F(ProjectCommandsTest, AReconstructedPortalOpensWithItsOrientedPhotographs) {
  const char* samples = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path model = fs::path(samples ? samples : "") / "sfm" / "gtsfm_lund_door";
  if (!samples || !fs::exists(model / "points3D.txt")) GTEST_SKIP() << "no " << model;
  const fs::path camera = m_Folder / "portal photographs";
  fs::copy(model / "images", camera);
  COrientationImport orientations;
  ASSERT_EQ(orientations.Import(model, camera), 1);

  // Points as "x y z r g b"; one observed point is kept to check the orientations with.
  std::ifstream points(model / "points3D.txt");
  std::ofstream columns(m_Folder / "portal.txt");
  std::string line;
  double observed[3] = {0, 0, 0};
  while (std::getline(points, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    long id;
    double xyz[3];
    int rgb[3];
    fields >> id >> xyz[0] >> xyz[1] >> xyz[2] >> rgb[0] >> rgb[1] >> rgb[2];
    columns << xyz[0] << ' ' << xyz[1] << ' ' << xyz[2] << ' ' << rgb[0] << ' ' << rgb[1] << ' '
            << rgb[2] << '\n';
    std::copy(xyz, xyz + 3, observed);
  }
  columns.close();
  const std::string stream = (m_Folder / "portal.strm").string();
  const CommandResult built = RunNimbex("build " + Quoted(m_Folder / "portal.txt") +
                                        " --parse xyzrgb -o " + Quoted(stream));
  ASSERT_EQ(built.status, 0) << built.out;

  std::vector<std::string> photographs;
  for (const auto& entry : fs::directory_iterator(camera))
    if (entry.path().extension() == ".JPG") photographs.push_back(entry.path().string());
  ProblemList problems;
  ASSERT_EQ(ImportImages(photographs, nullptr, nullptr, problems, nullptr, stream), 1);
  EXPECT_TRUE(problems.empty());

  COrvalisFrame* project = OpenAndPaint(stream);
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->GetLayout(), LAYOUT_STANDARD);
  const CProjectImages& images = project->GetDocument()->GetImages();
  ASSERT_EQ(images.GetImages().size(), 12u);
  EXPECT_EQ(fs::path(images.GetImages().front()).filename(), "DSC_0001.jpg");
  EXPECT_EQ(fs::path(images.GetImages().back()).filename(), "DSC_0012.jpg");
  EXPECT_EQ(images.GetOrientations().size(), 12u);
  // The last point of the list lies in front of every camera that sees the portal.
  int seeing = 0;
  for (const auto& [image, orientation] : images.GetOrientations())
    seeing += orientation.IsInImage({observed[0], observed[1], observed[2]});
  EXPECT_GE(seeing, 2);
  m_Frame->grab().save(Output("portal-project.png"));
}
