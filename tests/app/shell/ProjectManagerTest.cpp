// The project browser of the Project Manager command, driven as a user drives it: the mouse
// and the keyboard on the real dialog, the message boxes it shows answered as they come.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "DataBaseSql.h"
#include "ProjectOpening.h"
#include "app/drawings/CadFile.h"
#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectBrowserDlg.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "nimbex/access/Nimbex.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 30000;

QStringList NamesIn(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

QListWidgetItem* ItemNamed(const QListWidget* list, const QString& name) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == name) return list->item(i);
  ADD_FAILURE() << "no project " << name.toStdString() << " in the browser";
  return nullptr;
}

QPoint CentreOf(const QListWidget* list, const QString& name) {
  return list->visualItemRect(ItemNamed(list, name)).center();
}

void DoubleClick(CProjectBrowserDlg* browser, const QString& name) {
  QListWidget* list = browser->GetList();
  const QPoint at = CentreOf(list, name);
  // QTest's double click is the second click alone; a user's starts with a first one.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// The colour drawn a quarter of the way into the picture of the project `name`, on screen.
QColor PictureColour(const QImage& screen, const QListWidget* list, const QString& name) {
  const QRect cell = list->visualItemRect(ItemNamed(list, name));
  const QSize icon = list->iconSize();
  const QPoint at(cell.center().x() - icon.width() / 4, cell.top() + icon.height() / 2);
  return screen.pixelColor(at);
}

class ProjectManagerTest : public testing::Test {
 protected:
  void SetUp() override { setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1); }

  void StartProgram(bool interactive = false) {
    m_App = std::make_unique<COrvalisApp>(ORVALIS_SEED_FOLDER, interactive);
    ASSERT_TRUE(m_App->InitInstance({}));
    m_Frame = m_App->GetMainFrame();
  }

  CDataBaseSql& DataBase() { return *m_App->GetDataBase(); }

  // A project opened once before: its stream and its database row.
  std::string WriteProject(const std::string& name) {
    const std::string stream = (m_Folder / "surveys" / (name + ".strm")).string();
    fs::create_directories(fs::path(stream).parent_path());
    WriteTestStream(stream, MakeLatticeStream(1, 6, 0));
    EXPECT_EQ(RecordProjectOpening(DataBase(), stream, 216, 0), 1);
    return stream;
  }

  // Castle with its overview picture, abbey without one, and bridge whose stream is gone.
  void WriteThreeProjects() {
    m_Castle = WriteProject("castle");
    cv::imwrite(fs::path(m_Castle).replace_extension(".jpg").string(),
                cv::Mat(300, 400, CV_8UC3, cv::Scalar(0, 0, 230)));
    m_Abbey = WriteProject("abbey");
    fs::remove(WriteProject("bridge"));
  }

  CDBRecordProject RowOf(const std::string& stream) {
    CDBRecordProject filter;
    filter.path = stream;
    CDBRecordProject row;
    if (DataBase().Select(&filter) > 0) row.CopyFrom(*DataBase().GetResult(0));
    DataBase().ClearResults();
    return row;
  }

  QStringList OpenProjects() const {
    QStringList paths;
    for (COrvalisFrame* project : m_Frame->GetProjects())
      paths << QString::fromStdString(project->GetDocument()->GetPathName());
    return paths;
  }

  void RunProjectManager(ModalScript& script) {
    ClickCommand(*m_Frame, "View", "Project Manager");
    script.Finish();
  }

  ScratchFolder m_Folder;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  std::string m_Castle;
  std::string m_Abbey;
};

}  // namespace

TEST_F(ProjectManagerTest, TheBrowserShowsTheProjectsLeftAndTheDatabaseForgetsTheOneGone) {
  StartProgram();
  WriteThreeProjects();
  ModalScript script;
  script.Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
    const QListWidget* list = browser->GetList();
    EXPECT_EQ(NamesIn(list), QStringList({"castle", "abbey"}));
    const QImage screen = browser->grab().toImage();
    screen.save(QString(SHELL_TEST_OUTPUT_DIR) + "/project-browser.png");
    const QImage inList = list->viewport()->grab().toImage();
    EXPECT_EQ(inList.pixelColor(inList.width() - 5, 5), QColor(Qt::black));
    const QColor castle = PictureColour(inList, list, "castle");
    EXPECT_GT(castle.red(), 200);
    EXPECT_LT(castle.green() + castle.blue(), 60);
    // The abbey has no overview yet: the grey "Photo not available" card stands in.
    const QColor abbey = PictureColour(inList, list, "abbey");
    EXPECT_NEAR(abbey.red(), 200, 20);
    EXPECT_NEAR(abbey.green(), abbey.red(), 5);
    QTest::mouseClick(browser->GetCloseButton(), Qt::LeftButton);
  });
  RunProjectManager(script);

  CDBRecordProject all;
  ASSERT_EQ(DataBase().Select(&all), 2);
  DataBase().ClearResults();
  EXPECT_EQ(RowOf(m_Castle).name, "castle");
  EXPECT_EQ(RowOf(m_Abbey).name, "abbey");
  EXPECT_TRUE(OpenProjects().isEmpty());
}

TEST_F(ProjectManagerTest, InfoTellsTheStoredDatesAndCounters) {
  StartProgram();
  WriteThreeProjects();
  CDBRecordProject abbey = RowOf(m_Abbey);
  abbey.creation_date = "02-03-2001 04:05:06";
  abbey.open_data_time = "31-12-2025 23:59:58";
  abbey.open_times = 7;
  abbey.num_images = 12;
  ASSERT_EQ(DataBase().Update(&abbey), 1);
  const QString expected = QString(
                               "Project ID: %1\nLocation: %2\nCreation Date: 02-03-2001 04:05:06\n"
                               "Last Open: 31-12-2025 23:59:58\nOpened 7 times\n"
                               "Number of 3d points: 216\nNumber of imported images: 12")
                               .arg(abbey.id)
                               .arg(QString::fromStdString(m_Abbey));

  ModalScript script;
  script
      .Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
        QListWidget* list = browser->GetList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CentreOf(list, "abbey"));
        QTest::mouseClick(browser->GetInfoButton(), Qt::LeftButton);
      })
      .Then<QMessageBox>([&expected](QMessageBox* box) {
        EXPECT_EQ(box->text(), expected);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        box->button(QMessageBox::Ok)->click();
      })
      .Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
        QTest::mouseClick(browser->GetCloseButton(), Qt::LeftButton);
      });
  RunProjectManager(script);
  EXPECT_TRUE(OpenProjects().isEmpty());
}

TEST_F(ProjectManagerTest, ADoubleClickOrEnterOpensTheProject) {
  StartProgram();
  WriteThreeProjects();
  {
    ModalScript byMouse;
    byMouse.Then<CProjectBrowserDlg>(
        [](CProjectBrowserDlg* browser) { DoubleClick(browser, "castle"); });
    RunProjectManager(byMouse);
  }
  EXPECT_EQ(OpenProjects(), QStringList({QString::fromStdString(m_Castle)}));
  EXPECT_EQ(RowOf(m_Castle).open_times, 2);

  ModalScript byKeyboard;
  byKeyboard.Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
    QTest::keyClick(browser->GetList(), Qt::Key_Right);
    QTest::keyClick(browser->GetList(), Qt::Key_Return);
  });
  RunProjectManager(byKeyboard);
  EXPECT_EQ(OpenProjects().size(), 2);
  EXPECT_TRUE(OpenProjects().contains(QString::fromStdString(m_Abbey)));
  EXPECT_EQ(RowOf(m_Abbey).open_times, 2);
}

TEST_F(ProjectManagerTest, AProjectAlreadyOpenIsBroughtForwardWithoutAnError) {
  StartProgram();
  WriteThreeProjects();
  for (const char* name : {"castle", "abbey"}) {
    ModalScript script;
    script.Then<CProjectBrowserDlg>(
        [name](CProjectBrowserDlg* browser) { DoubleClick(browser, name); });
    RunProjectManager(script);
  }
  ModalScript again;
  again.Then<CProjectBrowserDlg>(
      [](CProjectBrowserDlg* browser) { DoubleClick(browser, "castle"); });
  RunProjectManager(again);
  EXPECT_EQ(OpenProjects().size(), 2);
  EXPECT_EQ(m_Frame->GetActiveProject()->GetDocument()->GetPathName(), m_Castle);
}

TEST_F(ProjectManagerTest, AFailedOpeningSaysSoAndShowsTheBrowserAgain) {
  StartProgram();
  WriteThreeProjects();
  std::ofstream(m_Abbey, std::ios::trunc) << "not a stream";
  ModalScript script;
  script
      .Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) { DoubleClick(browser, "abbey"); })
      .Then<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), "Error opening the project");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::Ok)->click();
      })
      .Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
        EXPECT_EQ(NamesIn(browser->GetList()), QStringList({"castle", "abbey"}));
        DoubleClick(browser, "castle");
      });
  RunProjectManager(script);
  EXPECT_EQ(OpenProjects(), QStringList({QString::fromStdString(m_Castle)}));
}

TEST_F(ProjectManagerTest, OpenMoreStreamKeepsTheBrowserOnCancelAndOpensTheStreamChosen) {
  StartProgram();
  WriteThreeProjects();
  const std::string other = (m_Folder / "elsewhere" / "tower.strm").string();
  fs::create_directories(fs::path(other).parent_path());
  WriteTestStream(other, MakeLatticeStream(1, 6, 0));
  auto clickOpenMore = [](CProjectBrowserDlg* browser) {
    QTest::mouseClick(browser->GetOpenMoreButton(), Qt::LeftButton);
  };
  ModalScript script;
  script.Then<CProjectBrowserDlg>(clickOpenMore)
      .Then<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); })
      .Then<CProjectBrowserDlg>(clickOpenMore)
      .Then<QFileDialog>([&other](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        QTest::keyClicks(name, QString::fromStdString(other));
        QTest::keyClick(name, Qt::Key_Return);
      });
  RunProjectManager(script);
  EXPECT_EQ(OpenProjects(), QStringList({QString::fromStdString(other)}));
  EXPECT_EQ(RowOf(other).open_times, 1);
}

// What a user of the demo meets: the project opened last time is in the browser that the
// next start shows, with the overview picture its first paint left, and opens from it.
TEST_F(ProjectManagerTest, TheNextStartShowsTheProjectOpenedBeforeAndOpensIt) {
  StartProgram();
  const std::string site = (m_Folder / "demo" / "site.strm").string();
  fs::create_directories(fs::path(site).parent_path());
  TestStream stream = MakeLatticeStream(1, 12, 0);
  stream.rgb = true;
  stream.cvm = CVM_RGB;
  WriteTestStream(site, stream);
  ASSERT_NE(m_Frame->OpenProject(QString::fromStdString(site)), nullptr);
  const fs::path overview = fs::path(site).replace_extension(".jpg");
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(overview); }, kPaintTimeoutMs));
  m_App.reset();

  ModalScript script;
  script.Then<CProjectBrowserDlg>([](CProjectBrowserDlg* browser) {
    EXPECT_EQ(NamesIn(browser->GetList()), QStringList({"site"}));
    browser->grab().save(QString(SHELL_TEST_OUTPUT_DIR) + "/project-browser-next-start.png");
    QTest::keyClick(browser->GetList(), Qt::Key_Enter);
  });
  StartProgram(true);
  EXPECT_TRUE(m_App->IsProjectBrowserWanted());
  script.Finish();
  EXPECT_EQ(OpenProjects(), QStringList({QString::fromStdString(site)}));
  EXPECT_EQ(RowOf(site).open_times, 2);
}

// The demo opens its project in a run that saves the window and quits: the run waits for the
// overview picture, so that the project shows with it in the browser of the next start.
TEST_F(ProjectManagerTest, AScreenshotRunLeavesTheProjectWithItsOverviewForTheNextStart) {
  const fs::path site = m_Folder / "demo" / "site.strm";
  fs::create_directories(site.parent_path());
  WriteTestStream(site, MakeLatticeStream(1, 12, 0));
  const fs::path window = m_Folder / "orvalis.png";
  const CommandResult run = RunProgram(std::string(ORVALIS_COMMAND) + " --screenshot " +
                                       Quoted(window) + " " + Quoted(site));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(fs::exists(window));
  EXPECT_TRUE(fs::exists(fs::path(site).replace_extension(".jpg")));

  StartProgram();
  EXPECT_EQ(RowOf(site.string()).open_times, 1);
}

// The demo also opens its plan in the drawing pane; a drawing that cannot be opened fails the
// screenshot run and is named.
TEST_F(ProjectManagerTest, AScreenshotRunOpensTheDrawingGivenOrFailsNamingIt) {
  const fs::path site = m_Folder / "site.strm";
  WriteTestStream(site, MakeLatticeStream(1, 12, 0));
  CCadDrawing plan;
  CadEntity line;
  line.type = CAD_LINE;
  line.vertices = {{995, 1995, 300}, {1005, 2005, 300}};
  plan.AddEntity(line);
  std::string error;
  ASSERT_EQ(CadFileSaveAs(plan, (m_Folder / "plan.dxf").string(), error), 1) << error;
  const std::string screenshot =
      std::string(ORVALIS_COMMAND) + " --screenshot " + Quoted(m_Folder / "orvalis.png");
  const CommandResult opened =
      RunProgram(screenshot + " --drawing " + Quoted(m_Folder / "plan.dxf") + " " + Quoted(site));
  EXPECT_EQ(opened.status, 0) << opened.out;

  const CommandResult missing = RunProgram(screenshot + " --drawing " +
                                           Quoted(m_Folder / "missing.dxf") + " " + Quoted(site));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("missing.dxf was not opened"), std::string::npos) << missing.out;
}
