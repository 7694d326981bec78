// The link page driven as a user drives it under a virtual display, on a project of the demo
// site with its photographs: the L key, a type, a CTRL+click on the model, the marker in the
// picture, the links file, the project opened again; deletion and the link size.
#include <gtest/gtest.h>
#include <vtkActor.h>
#include <vtkBalloonWidget.h>
#include <vtkCamera.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "LinkDlg.h"
#include "app/drawings/CadForm.h"
#include "app/images/ImageForm.h"
#include "app/projects/ImageImport.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/Settings.h"
#include "app/shell/ViewCommands.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"
// The modal windows are answered with the shell tests' script; its screenshots go here.
#define SHELL_TEST_OUTPUT_DIR ANNOTATIONS_TEST_OUTPUT_DIR
#include "tests/app/shell/ShellTestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 60000;

// The demo site's stream and two of its photographs, made once.
class DemoSite {
 public:
  static const DemoSite& Get() {
    static DemoSite site;
    return site;
  }
  fs::path Folder() const { return m_Folder.Path(); }

 private:
  DemoSite() {
    const fs::path las = m_Folder / "site.las";
    RunNimbex("demo-site " + Quoted(las) + " --points 200000 --seed 5 --plan " +
              Quoted(m_Folder / "plan.dxf") + " --ortho " + Quoted(m_Folder / "ortho.tif") +
              " --ortho-pixel 0.5");
    RunNimbex("build " + Quoted(las) + " -o " + Quoted(m_Folder / "site.strm"));
    RunNimbex("demo-photos " + Quoted(las) + " " + Quoted(m_Folder / "photos") +
              " --count 2 --seed 5");
  }
  ScratchFolder m_Folder;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LinkDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
  }

  std::string MakeDemoProject() {
    const DemoSite& site = DemoSite::Get();
    fs::create_directories(m_Project);
    for (const auto& entry : fs::directory_iterator(site.Folder()))
      if (entry.is_regular_file() && entry.path().stem() == "site")
        fs::copy_file(entry.path(), m_Project / entry.path().filename());
    std::vector<std::string> photographs;
    for (const auto& entry : fs::directory_iterator(site.Folder() / "photos"))
      if (entry.path().extension() == ".JPG") photographs.push_back(entry.path().string());
    const std::string stream = (m_Project / "site.strm").string();
    ProblemList problems;
    EXPECT_EQ(ImportImages(photographs, nullptr, nullptr, problems, nullptr, stream), 1);
    return stream;
  }

  COrvalisFrame* Open(const std::string& stream) {
    COrvalisFrame* project = OpenAndPaint(*m_Frame, stream, kPaintTimeoutMs);
    if (project) {
      m_Page = project->GetLinkPage();
      m_View = project->GetView();
      m_Window = m_View->GetRenderWindowRecord();
    }
    return project;
  }

  // Shows the page with the L key (or the Link command) and makes a File link to a document
  // with a CTRL+click in the middle of the view.
  void AddFileLinkInTheMiddle(bool embed, bool byCommand = false) {
    if (byCommand)
      ClickCommand(*m_Frame, "View", "Link");
    else
      QTest::keyClick(m_View, Qt::Key_L);
    ASSERT_EQ(m_Frame->GetActiveProject()->GetImagePanel()->GetCurrentTab(), TAB_LINK);
    ASSERT_TRUE(m_Page->isVisible());
    QRadioButton* file = m_Page->GetTypeButton(LINK_FILE);
    QTest::mouseClick(file, Qt::LeftButton, {}, QPoint(8, file->height() / 2));
    EXPECT_EQ(m_Page->GetType(), LINK_FILE);
    EXPECT_EQ(m_Page->GetLabelEdit()->text(), "File Link");
    m_Page->GetLabelEdit()->clear();
    QTest::keyClicks(m_Page->GetLabelEdit(), "Plan <A&B> \"north\"");
    QTest::keyClicks(m_Page->GetPathEdit(), QString::fromStdString(m_Document.string()));
    if (embed) QTest::mouseClick(m_Page->GetEmbedBox(), Qt::LeftButton, {}, QPoint(4, 8));
    QTest::mouseClick(m_Page->GetAddButton(), Qt::LeftButton);
    EXPECT_TRUE(m_Page->IsAddMode());
    EXPECT_EQ(m_Page->GetStatusLine()->text(), "    Ctrl+Click on the model to add the link");
    QTest::mouseClick(m_View, Qt::LeftButton, Qt::ControlModifier, Middle());
  }

  QPoint Middle() const { return QPoint(m_View->width() / 2, m_View->height() / 2); }

  // Takes the camera close above the link's point and returns the pixel it is drawn at.
  QPoint LookAt(const CLink& link) {
    const double scene[3] = {link.m_Point[0] - m_Window->m_Center[0],
                             link.m_Point[1] - m_Window->m_Center[1],
                             link.m_Point[2] - m_Window->m_Center[2]};
    vtkCamera* camera = m_Window->m_Renderer->GetActiveCamera();
    camera->SetFocalPoint(scene);
    camera->SetPosition(scene[0], scene[1], scene[2] + 100 * m_Page->MarkerRadius());
    camera->SetViewUp(0, 1, 0);
    camera->SetParallelScale(8 * m_Page->MarkerRadius());
    m_Window->m_Renderer->ResetCameraClippingRange();
    m_View->RenderAgain();
    QTest::qWait(100);
    RefreshViewMatrices(m_Window);
    WinPoint pixel{-1, -1};
    EXPECT_EQ(CoordModelToWin(m_Window, scene, &pixel), 1);
    const double ratio = m_View->devicePixelRatioF();
    return QPoint(int(pixel.x / ratio), int(pixel.y / ratio));
  }

  ScratchFolder m_Folder;
  fs::path m_Project = m_Folder / "demo project";
  fs::path m_Document = m_Folder / "documents" / "plan d'ensemble.pdf";
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  CLinkDlg* m_Page = nullptr;
  COrvalisView* m_View = nullptr;
  RenderWindow* m_Window = nullptr;
};

}  // namespace

TEST_F(LinkDlgTest, ALinkAddedWithCtrlClickShowsItsMarkerAndComesBackWithTheProject) {
  fs::create_directories(m_Document.parent_path());
  std::ofstream(m_Document) << "%PDF-1.4 plan";
  const std::string stream = MakeDemoProject();
  ASSERT_NE(Open(stream), nullptr);
  EXPECT_EQ(m_Page->GetStatusLine()->text(), "    No link available");
  AddFileLinkInTheMiddle(true);

  ASSERT_EQ(m_Page->GetLinks().size(), 1u);
  const CLink& link = *m_Page->GetLinks().front();
  EXPECT_EQ(link.m_Type, LINK_FILE);
  EXPECT_EQ(link.m_Label, "Plan <A&B> \"north\"");
  EXPECT_EQ(link.m_Path, ".\\FileLink\\plan d'ensemble.pdf");
  EXPECT_EQ(link.m_Embedded, 1);
  EXPECT_TRUE(fs::exists(m_Project / "FileLink" / "plan d'ensemble.pdf"));
  EXPECT_TRUE(m_Page->GetPathEdit()->text().isEmpty());
  EXPECT_FALSE(m_Page->IsAddMode());
  EXPECT_EQ(m_Page->GetStatusLine()->text(), "    Double Click on the link to open it");
  ASSERT_NE(link.m_Actor, nullptr);
  EXPECT_STREQ(m_Window->m_Balloon->GetBalloonString(link.m_Actor), "Plan <A&B> \"north\"");
  EXPECT_NE(ReadAll(m_Project / "site_links.xml").find("LinkID_0"), std::string::npos);
  m_Page->grab().save(Output("link-page.png"));
  QTest::qWait(200);
  m_Frame->grab().save(Output("link-on-model.png"));

  const QPoint pixel = LookAt(link);
  const QColor marker = m_View->grabFramebuffer().pixelColor(pixel * m_View->devicePixelRatioF());
  // The File Link colour (0.41, 0.35, 0.8) at opacity 0.8 over the ground.
  EXPECT_GT(marker.blue(), 150) << marker.name().toStdString();
  EXPECT_GT(marker.blue(), marker.red() + 50) << marker.name().toStdString();
  EXPECT_GT(marker.blue(), marker.green() + 50) << marker.name().toStdString();
  m_Frame->grab().save(Output("link-marker.png"));

  // Hidden, the marker leaves the picture and the status line counts it.
  QTest::mouseClick(m_Page->GetShowBox(), Qt::LeftButton, {}, QPoint(4, 8));
  QTest::qWait(100);
  EXPECT_EQ(m_Page->GetStatusLine()->text(), "    1 Links are currently hidden");
  EXPECT_NE(m_View->grabFramebuffer().pixelColor(pixel * m_View->devicePixelRatioF()), marker);
  QTest::mouseClick(m_Page->GetShowBox(), Qt::LeftButton, {}, QPoint(4, 8));

  for (QAction* menu : m_Frame->menuBar()->actions())
    if (menu->text() == "&File")
      for (QAction* action : menu->menu()->actions())
        if (action->text() == "&Save") action->trigger();
  m_Frame->GetActiveProject()->parentWidget()->close();
  QTest::qWait(100);
  ASSERT_EQ(m_Frame->GetActiveProject(), nullptr);
  ASSERT_NE(Open(stream), nullptr);
  ASSERT_EQ(m_Page->GetLinks().size(), 1u);
  const CLink& back = *m_Page->GetLinks().front();
  EXPECT_EQ(back.m_Label, "Plan <A&B> \"north\"");
  EXPECT_EQ(back.m_Path, ".\\FileLink\\plan d'ensemble.pdf");
  EXPECT_NE(back.m_Actor, nullptr);
}

TEST_F(LinkDlgTest, DeletingALinkAsksFirstAndTakesItsCopyAway) {
  fs::create_directories(m_Document.parent_path());
  std::ofstream(m_Document) << "%PDF-1.4 plan";
  ASSERT_NE(Open(MakeDemoProject()), nullptr);
  AddFileLinkInTheMiddle(true);
  ASSERT_EQ(m_Page->GetLinks().size(), 1u);
  const QPoint pixel = LookAt(*m_Page->GetLinks().front());

  QTest::mouseClick(m_Page->GetDeleteBox(), Qt::LeftButton, {}, QPoint(4, 8));
  EXPECT_EQ(m_Page->GetStatusLine()->text(), "    Ctrl+Click on the link to delete it");
  QString asked;
  {
    ModalScript script;
    script.Then<QMessageBox>([&asked](QMessageBox* box) {
      asked = box->text();
      box->button(QMessageBox::No)->click();
    });
    QTest::mouseClick(m_View, Qt::LeftButton, Qt::ControlModifier, pixel);
    script.Finish();
  }
  EXPECT_EQ(asked, "Plan <A&B> \"north\" will be removed. Are you sure?");
  EXPECT_EQ(m_Page->GetLinks().size(), 1u);
  EXPECT_FALSE(m_Page->IsDeleteMode());

  QTest::mouseClick(m_Page->GetDeleteBox(), Qt::LeftButton, {}, QPoint(4, 8));
  {
    ModalScript script;
    script.Then<QMessageBox>([](QMessageBox* box) {
      box->grab().save(Output("link-delete-question.png"));
      box->button(QMessageBox::Yes)->click();
    });
    QTest::mouseClick(m_View, Qt::LeftButton, Qt::ControlModifier, pixel);
    script.Finish();
  }
  EXPECT_TRUE(m_Page->GetLinks().empty());
  EXPECT_FALSE(fs::exists(m_Project / "FileLink" / "plan d'ensemble.pdf"));
  EXPECT_TRUE(fs::exists(m_Document));
  const std::string file = ReadAll(m_Project / "site_links.xml");
  EXPECT_NE(file.find("<ExternalLink type=\"int\" value=\"0\"/>"), std::string::npos) << file;
  EXPECT_EQ(m_Page->GetStatusLine()->text(), "    No link available");

  // With no link left, delete mode has nothing to work on.
  QSignalSpy said(m_Page, &CLinkDlg::statusMessage);
  QTest::mouseClick(m_Page->GetDeleteBox(), Qt::LeftButton, {}, QPoint(4, 8));
  EXPECT_FALSE(m_Page->IsDeleteMode());
  ASSERT_EQ(said.size(), 1);
  EXPECT_EQ(said.front().front().toString(), "Model has no link to delete!");
}

TEST_F(LinkDlgTest, TheLinkSizeSetsTheMarkersRadiusAndIsKept) {
  fs::create_directories(m_Document.parent_path());
  std::ofstream(m_Document) << "%PDF-1.4 plan";
  ASSERT_NE(Open(MakeDemoProject()), nullptr);
  AddFileLinkInTheMiddle(false, true);
  ASSERT_EQ(m_Page->GetLinks().size(), 1u);
  EXPECT_EQ(m_Page->GetLinks().front()->m_Path, m_Document.string());
  const double modelSize = m_Frame->GetActiveProject()->GetImagePanel()->GetModelSize();
  EXPECT_DOUBLE_EQ(m_Page->MarkerRadius(), modelSize / 20 / 200 * 50);

  QTest::keyClick(m_Page->GetSizeSlider(), Qt::Key_Home);
  EXPECT_EQ(m_Page->MarkerRadius(), 0);
  double bounds[6];
  m_Page->GetLinks().front()->m_Actor->GetBounds(bounds);
  EXPECT_EQ(bounds[0], bounds[1]);
  EXPECT_EQ(bounds[4], bounds[5]);
  EXPECT_EQ(OpenUserSettings()->value("LinkSize/pos").toInt(), 0);
  QTest::keyClick(m_Page->GetSizeSlider(), Qt::Key_End);
  m_Page->GetLinks().front()->m_Actor->GetBounds(bounds);
  EXPECT_NEAR(bounds[5] - bounds[4], 2 * modelSize / 20 / 200 * 100, 1e-6 * modelSize);
  EXPECT_EQ(CLinkDlg(OpenUserSettings).GetSizeSlider()->value(), 100);
}

TEST_F(LinkDlgTest, ADoubleClickOpensADrawingLinkInTheDrawingPaneButNoPathOutOfTheProject) {
  const std::string stream = MakeDemoProject();
  fs::create_directories(m_Project / "FileLink");
  for (const char* name : {"plan.dxf", "ortho.tif", "ortho.tfw"})
    fs::copy_file(DemoSite::Get().Folder() / name, m_Project / "FileLink" / name);
  // Links written beside the project before it opens, about the middle of the site.
  double anchor[3];
  ASSERT_NE(Open(stream), nullptr);
  const double ratio = m_View->devicePixelRatioF();
  ASSERT_EQ(m_View->PickModelPoint({int(Middle().x() * ratio), int(Middle().y() * ratio)}, anchor),
            1);
  m_Frame->GetActiveProject()->parentWidget()->close();
  QTest::qWait(100);
  LinkList links;
  for (const char* path : {".\\FileLink\\plan.dxf", ".\\..\\victim.dxf"}) {
    links.push_back(std::make_unique<CLink>());
    links.back()->m_Type = LINK_CAD;
    links.back()->m_Label = path;
    links.back()->m_Path = path;
    links.back()->m_Point = Wml::Point3<double>(anchor);
  }
  // The second stands a little aside, so that each has its own pixel.
  links.back()->m_Point[0] += 20;
  // Types this program does not know: none has no marker, a later one a white marker.
  for (int type : {int(LINK_NONE), 12}) {
    links.push_back(std::make_unique<CLink>());
    links.back()->m_Type = type;
  }
  // An orthophoto, and an elevation model that is no raster, on either side of the first.
  for (int type : {int(LINK_ORTHOPHOTO), int(LINK_DEM)}) {
    links.push_back(std::make_unique<CLink>());
    links.back()->m_Type = type;
    links.back()->m_Path = type == LINK_DEM ? ".\\FileLink\\plan.dxf" : ".\\FileLink\\ortho.tif";
    links.back()->m_Point = Wml::Point3<double>(anchor);
    links.back()->m_Point[1] += type == LINK_DEM ? 20 : -20;
  }
  std::string keptAs, error;
  ASSERT_EQ(SaveLinks((m_Project / "site_links.xml").string(), links, keptAs, error), 1);

  COrvalisFrame* project = Open(stream);
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(m_Page->GetLinks().size(), 6u);
  EXPECT_EQ(m_Page->GetLinks()[2]->m_Actor, nullptr);
  ASSERT_NE(m_Page->GetLinks()[3]->m_Actor, nullptr);
  double white[3];
  m_Page->GetLinks()[3]->m_Actor->GetProperty()->GetColor(white);
  EXPECT_EQ(white[0] + white[1] + white[2], 3.0);
  QSignalSpy opened(m_Page, &CLinkDlg::drawingLinkOpened);
  QSignalSpy said(m_Page, &CLinkDlg::statusMessage);
  QTest::mouseDClick(m_View, Qt::LeftButton, {}, LookAt(*m_Page->GetLinks()[0]));
  ASSERT_TRUE(opened.wait(2000));
  EXPECT_EQ(opened.front()[1].toString().toStdString(),
            (m_Project / "FileLink" / "plan.dxf").string());
  EXPECT_TRUE(said.isEmpty()) << said.front().front().toString().toStdString();
  EXPECT_EQ(project->GetDrawingPanel()->GetContent(), CAD_PANE_DRAWING);
  EXPECT_EQ(project->GetLayout(), LAYOUT_DRAWING);
  QTest::qWait(100);
  m_Frame->grab().save(Output("link-drawing-opened.png"));

  QTest::mouseDClick(m_View, Qt::LeftButton, {}, LookAt(*m_Page->GetLinks()[1]));
  QTest::qWait(200);
  EXPECT_EQ(opened.size(), 1);
  ASSERT_EQ(said.size(), 1);
  EXPECT_EQ(said.front().front().toString(),
            "The link .\\..\\victim.dxf names .\\..\\victim.dxf, which leaves the project "
            "folder: it is not opened.");

  said.clear();

  QTest::mouseDClick(m_View, Qt::LeftButton, {}, LookAt(*m_Page->GetLinks()[4]));
  ASSERT_TRUE(opened.wait(2000));
  EXPECT_TRUE(said.isEmpty()) << said.front().front().toString().toStdString();
  EXPECT_EQ(project->GetDrawingPanel()->GetContent(), CAD_PANE_ORTHOPHOTO);
  EXPECT_EQ(project->GetLayout(), LAYOUT_ORTHOPHOTO);
  QTest::mouseDClick(m_View, Qt::LeftButton, {}, LookAt(*m_Page->GetLinks()[5]));
  ASSERT_TRUE(opened.wait(2000));
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said.front().front().toString().startsWith("Error in loading data!\n"))
      << said.front().front().toString().toStdString();
  EXPECT_EQ(project->GetDrawingPanel()->GetContent(), CAD_PANE_ORTHOPHOTO);
}

TEST_F(LinkDlgTest, AStreamAddedToTheProjectLeavesTheMarkersOnTheirPoints) {
  ASSERT_NE(Open(MakeDemoProject()), nullptr);
  const Wml::Point3<double> anchor(m_Window->m_Center);
  m_Page->GetPathEdit()->setText("www.example.org");
  ASSERT_EQ(m_Page->AddLink(anchor), 1);
  // A stream beside the site moves the middle of the window, which the scene is drawn about.
  TestStream beside;
  beside.offset[0] = anchor[0] + 400;
  beside.offset[1] = anchor[1];
  beside.offset[2] = anchor[2];
  beside.items.push_back({});
  beside.items.back().points = {{-1, -1, -1}, {1, 1, 1}};
  const fs::path added = m_Folder / "beside.strm";
  WriteTestStream(added, beside);
  {
    ModalScript script;
    script.Then<QFileDialog>([&added](QFileDialog* dialog) {
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(added.string()));
      QTest::keyClick(name, Qt::Key_Return);
    });
    for (QAction* menu : m_Frame->menuBar()->actions())
      if (menu->text() == "&File")
        for (QAction* action : menu->menu()->actions())
          if (action->text() == "Add &Stream") action->trigger();
    script.Finish();
  }
  ASSERT_EQ(m_Frame->GetActiveProject()->GetDocument()->GetClouds().size(), 2u);
  ASSERT_GT(m_Window->m_Center[0], anchor[0] + 100);
  double bounds[6];
  m_Page->GetLinks().front()->m_Actor->GetBounds(bounds);
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR((bounds[2 * axis] + bounds[2 * axis + 1]) / 2 + m_Window->m_Center[axis],
                anchor[axis], 1e-3)
        << axis;
}
