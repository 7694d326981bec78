// The program's windows driven as a user drives them, under a virtual display.
#include <gtest/gtest.h>
#include <vtkCamera.h>
#include <vtkRenderer.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "DataBaseSql.h"
#include "ProjectOpening.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

constexpr int kPaintTimeoutMs = 30000;

// A small demo site built once for the tests that look at a real survey.
class DemoStream {
 public:
  static const std::string& Path() {
    static DemoStream demo;
    return demo.m_Path;
  }

 private:
  DemoStream() {
    const std::filesystem::path las = m_Folder / "site.las";
    m_Path = (m_Folder / "demo site.strm").string();
    RunNimbex("demo-site " + Quoted(las) + " --points 300000 --seed 5");
    RunNimbex("build " + Quoted(las) + " -o " + Quoted(m_Path));
  }
  ScratchFolder m_Folder;
  std::string m_Path;
};

// Each test starts the program with its own application data folder.
class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_Stream = (m_Folder / "site.strm").string();
    TestStream stream = MakeLatticeStream(1, 12, 0);
    stream.rgb = true;
    stream.cvm = CVM_RGB;
    WriteTestStream(m_Stream, stream);
  }

  std::unique_ptr<COrvalisApp> StartProgram() {
    auto app = std::make_unique<COrvalisApp>(ORVALIS_SEED_FOLDER, false);
    EXPECT_TRUE(app->InitInstance({}));
    return app;
  }

  // Opens the stream and waits until its view has painted with detail.
  COrvalisFrame* OpenAndPaint(CMainFrame& frame, std::string stream = {}) {
    return ::OpenAndPaint(frame, stream.empty() ? m_Stream : stream, kPaintTimeoutMs);
  }

  ScratchFolder m_Folder;
  std::string m_Stream;
};

// Answers every message box the program opens, so that no modal box can hang a test, and
// keeps what each said and whether the main window was up beneath it.
class ModalBoxWatcher {
 public:
  explicit ModalBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::NoButton) {
    QObject::connect(&m_Timer, &QTimer::timeout, [this, answer] { Answer(answer); });
    m_Timer.start(20);
  }
  QStringList texts;
  QList<bool> overMainWindow;

 private:
  void Answer(QMessageBox::StandardButton answer) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    texts << box->text();
    QWidget* parent = box->parentWidget();
    overMainWindow << (qobject_cast<CMainFrame*>(parent) && parent->isVisible());
    QAbstractButton* button = box->button(answer);
    if (!button) button = box->escapeButton();
    if (button)
      button->click();
    else
      box->reject();
  }
  QTimer m_Timer;
};

// Pixels of the picture that differ from its top-left corner (the background there).
int CountDrawnPixels(const QImage& picture) {
  const QRgb background = picture.pixel(picture.width() / 2, 2);
  int drawn = 0;
  for (int y = picture.height() / 4; y < 3 * picture.height() / 4; ++y)
    for (int x = picture.width() / 4; x < 3 * picture.width() / 4; ++x)
      drawn += qAbs(qRed(picture.pixel(x, y)) - qRed(background)) +
                   qAbs(qGreen(picture.pixel(x, y)) - qGreen(background)) >
               40;
  return drawn;
}

// Drags the view with the left button from its centre.
void Drag(COrvalisView* view, QPoint by) {
  const QPoint start = view->rect().center();
  auto send = [view](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  };
  send(QEvent::MouseButtonPress, start, Qt::LeftButton);
  for (int step = 1; step <= 10; ++step)
    send(QEvent::MouseMove, start + by * step / 10, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, start + by, Qt::NoButton);
}

// The share of a picture's pixels that are grey: black or the background, nothing drawn.
double GreyShare(const QImage& picture) {
  int grey = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      grey +=
          std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) < 10;
    }
  return double(grey) / (picture.width() * picture.height());
}

}  // namespace

TEST_F(ShellTest, ProjectBrowserIsWantedOnlyWhenTheDatabaseListsProjectsAndNoneWasGiven) {
  {
    auto app = StartProgram();
    EXPECT_FALSE(app->IsProjectBrowserWanted());
    EXPECT_EQ(app->GetMainFrame()->GetProjects().size(), 0);
    ASSERT_EQ(RecordProjectOpening(*app->GetDataBase(), m_Stream, 10, 0), 1);
  }
  EXPECT_TRUE(StartProgram()->IsProjectBrowserWanted());
  // A project asked for on the command line is what the user came for: no browser over it.
  COrvalisApp withStream(ORVALIS_SEED_FOLDER, false);
  ASSERT_TRUE(withStream.InitInstance({QString::fromStdString(m_Stream)}));
  EXPECT_EQ(withStream.GetMainFrame()->GetProjects().size(), 1);
  EXPECT_FALSE(withStream.IsProjectBrowserWanted());
}

TEST_F(ShellTest, OpeningTheDemoSiteShowsItInTheViewOnce) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  const std::string& demo = DemoStream::Path();
  COrvalisFrame* project = OpenAndPaint(frame, demo);
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->GetLayout(), 3);
  EXPECT_EQ(project->GetColumnWidths()[0], 0);

  const QImage picture = project->GetView()->grabFramebuffer();
  frame.grab().save(QString(SHELL_TEST_OUTPUT_DIR) + "/main-window.png");
  EXPECT_GT(CountDrawnPixels(picture), picture.width() * picture.height() / 10);
  EXPECT_TRUE(frame.GetStatusPane(1)->text().startsWith("Loaded points: "));

  EXPECT_EQ(frame.OpenProject(QString::fromStdString(demo)), nullptr);
  EXPECT_EQ(frame.GetProjects().size(), 1);

  // The project's overview picture follows its first paint.
  const std::filesystem::path overview = std::filesystem::path(demo).replace_extension(".jpg");
  for (int wait = 0; wait < 50 && !std::filesystem::exists(overview); ++wait) QTest::qWait(100);
  EXPECT_TRUE(std::filesystem::exists(overview));

  CDBRecordProject filter;
  EXPECT_EQ(app->GetDataBase()->Select(&filter), 1);
}

TEST_F(ShellTest, ArrowKeysChangePointSizeAndColourMode) {
  auto app = StartProgram();
  COrvalisFrame* project = OpenAndPaint(*app->GetMainFrame());
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  COrvalisDoc* document = project->GetDocument();
  EXPECT_EQ(document->GetColorMode(), CVM_RGB);

  QTest::keyClick(view, Qt::Key_Left);
  EXPECT_EQ(document->GetPointSize(), 1);
  QTest::keyClick(view, Qt::Key_Right);
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(document->GetPointSize(), 3);
  EXPECT_EQ(document->GetFirstCloud()->GetPointSize(), 3);

  view->ApplyColorMode(6);
  QTest::keyClick(view, Qt::Key_Up);
  EXPECT_EQ(document->GetColorMode(), 0);
  QTest::keyClick(view, Qt::Key_Down);
  EXPECT_EQ(document->GetColorMode(), 6);
}

TEST_F(ShellTest, DraggingTurnsTheCameraAndReleaseLoadsTheNewView) {
  auto app = StartProgram();
  COrvalisFrame* project = OpenAndPaint(*app->GetMainFrame());
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  vtkCamera* camera = view->GetRenderWindowRecord()->m_Renderer->GetActiveCamera();
  double before[3], after[3];
  camera->GetPosition(before);
  const int paints = view->GetRegenerationCount();

  Drag(view, QPoint(80, 30));
  camera->GetPosition(after);
  EXPECT_GT(std::abs(after[0] - before[0]) + std::abs(after[1] - before[1]) +
                std::abs(after[2] - before[2]),
            1e-6);
  QSignalSpy painted(view, &COrvalisView::regenerated);
  if (view->GetRegenerationCount() == paints) painted.wait(kPaintTimeoutMs);
  EXPECT_GT(view->GetRegenerationCount(), paints);
}

TEST_F(ShellTest, ClosingAProjectReleasesItsRenderWindow) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  COrvalisFrame* project = OpenAndPaint(frame);
  ASSERT_NE(project, nullptr);
  const WindowId view = project->GetView();
  ASSERT_NE(GetRenderWindow(view), nullptr);
  project->parentWidget()->close();
  QTest::qWait(50);
  EXPECT_EQ(frame.GetProjects().size(), 0);
  EXPECT_EQ(GetRenderWindow(view), nullptr);
  // The project can be opened again afterwards.
  EXPECT_NE(OpenAndPaint(frame), nullptr);
}

TEST_F(ShellTest, ProgressControlStaysThousandPixelsNarrowerThanTheWindow) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  for (int width : {1300, 1650}) {
    frame.resize(width, 800);
    QTest::qWait(50);
    EXPECT_EQ(frame.GetProgressCtrl()->width(), frame.width() - 1000);
  }
}

TEST_F(ShellTest, AStreamThatCannotBeOpenedGivesNoWindow) {
  auto app = StartProgram();
  std::filesystem::remove(m_Folder / "site.pci");
  EXPECT_EQ(app->GetMainFrame()->OpenProject(QString::fromStdString(m_Stream)), nullptr);
  EXPECT_EQ(app->GetMainFrame()->GetProjects().size(), 0);
}

TEST_F(ShellTest, StreamsWhoseNamesDifferOnlyInCaseAreTwoProjects) {
  const std::string other = (m_Folder / "SITE.strm").string();
  TestStream stream = MakeLatticeStream(1, 6, 0);
  WriteTestStream(other, stream);
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  ASSERT_NE(OpenAndPaint(frame), nullptr);
  ASSERT_NE(OpenAndPaint(frame, other), nullptr);
  EXPECT_EQ(frame.GetProjects().size(), 2);

  CDBRecordProject filter;
  filter.path = other;
  ASSERT_EQ(app->GetDataBase()->Select(&filter), 1);
  EXPECT_EQ(static_cast<CDBRecordProject*>(app->GetDataBase()->GetResult(0))->name, "SITE");
}

TEST_F(ShellTest, ARelativePathOpensTheProjectAlreadyListed) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::create_directories(m_Folder / "sub");
  std::filesystem::current_path(m_Folder / "sub");
  COrvalisFrame* project = OpenAndPaint(frame, "../site.strm");
  std::filesystem::current_path(m_Folder.Path());
  EXPECT_EQ(frame.OpenProject("./site.strm"), nullptr);
  EXPECT_EQ(frame.OpenProject(QString::fromStdString(m_Stream)), nullptr);
  std::filesystem::current_path(before);
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(frame.GetProjects().size(), 1);
  EXPECT_EQ(project->GetDocument()->GetPathName(), m_Stream);
  EXPECT_EQ(frame.GetRecentFiles().join('|').toStdString(), m_Stream);
  CDBRecordProject all;
  ASSERT_EQ(app->GetDataBase()->Select(&all), 1);
  EXPECT_EQ(static_cast<CDBRecordProject*>(app->GetDataBase()->GetResult(0))->path, m_Stream);
}

// What the window shows of the view while it loads detail after a colour change or a drag:
// the last whole picture until the new one is complete, never a cleared or empty frame, even
// when other paints are asked for meanwhile. The window composes the view's frame buffer,
// which grabFramebuffer() reads as it is while the view paints (loading is part of the
// paint), so that windows of other tests on the same display cannot get in the way.
// A project window closed before its overview picture is taken, but not yet deleted, takes none:
// its view can no longer paint.
TEST_F(ShellTest, AClosedProjectWindowTakesNoOverviewPicture) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  frame.show();
  COrvalisFrame* project = OpenAndPaint(frame);
  ASSERT_NE(project, nullptr);
  const std::filesystem::path overview = std::filesystem::path(m_Stream).replace_extension(".jpg");
  ASSERT_FALSE(std::filesystem::exists(overview));
  project->parentWidget()->hide();
  QTest::qWait(2000);
  EXPECT_FALSE(std::filesystem::exists(overview));
  // Shown again, it takes the picture after its next paint.
  project->parentWidget()->show();
  project->GetView()->Redraw();
  for (int wait = 0; wait < 50 && !std::filesystem::exists(overview); ++wait) QTest::qWait(100);
  EXPECT_TRUE(std::filesystem::exists(overview));
}

TEST_F(ShellTest, TheViewKeepsItsPictureWhileDetailLoads) {
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  COrvalisFrame* project = OpenAndPaint(frame, DemoStream::Path());
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  view->ApplyColorMode(CVM_ELEVATION);
  QTest::qWait(200);
  ASSERT_LT(GreyShare(view->grabFramebuffer()), 0.9);

  int grabs = 0;
  double worst = 0.0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!view->GetRenderWindowRecord()->m_Drawing) return;
    ++grabs;
    // Whatever renders the scene meanwhile (a camera flight, a marker shown) keeps the picture.
    view->RenderAgain();
    view->repaint();
    const QImage picture = view->grabFramebuffer();
    if (GreyShare(picture) > worst) {
      worst = GreyShare(picture);
      picture.save(QString(SHELL_TEST_OUTPUT_DIR) + "/view-while-loading.png");
    }
  });
  watch.start(5);
  const std::vector<std::function<void()>> changes = {
      [view] { view->ApplyColorMode(CVM_RGB); }, [view] { Drag(view, QPoint(60, 20)); },
      [view] { view->ApplyColorMode(CVM_ELEVATION); }, [view] { Drag(view, QPoint(-60, -20)); }};
  for (const auto& change : changes) {
    QSignalSpy painted(view, &COrvalisView::regenerated);
    change();
    ASSERT_TRUE(painted.wait(kPaintTimeoutMs));
  }
  watch.stop();
  EXPECT_GT(grabs, 0);
  EXPECT_LT(worst, 0.9);
}

// The status line names the colour mode the stream shows: modes it cannot show are refused.
TEST_F(ShellTest, TheStatusNamesTheColourModeShown) {
  const std::string plain = (m_Folder / "plain.strm").string();
  TestStream stream = MakeLatticeStream(1, 8, 0);
  stream.norm = stream.rif = false;
  stream.cvm = CVM_RGB;
  WriteTestStream(plain, stream);
  auto app = StartProgram();
  CMainFrame& frame = *app->GetMainFrame();
  COrvalisFrame* project = OpenAndPaint(frame, plain);
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  CNimbex* cloud = project->GetDocument()->GetFirstCloud();
  ASSERT_EQ(cloud->GetCVM(), CVM_RGB);

  auto press = [view](Qt::Key key) {
    QSignalSpy painted(view, &COrvalisView::regenerated);
    QTest::keyClick(view, key);
    return painted.wait(kPaintTimeoutMs);
  };
  auto shown = [&frame] {
    const QString status = frame.GetStatusPane(1)->text();
    return status.section("Representation: ", 1).section(' ', 0, 0).toStdString();
  };
  // Up from RGB passes over the normals this stream does not hold.
  ASSERT_TRUE(press(Qt::Key_Up));
  EXPECT_EQ(cloud->GetCVM(), CVM_CLASSES);
  EXPECT_EQ(project->GetDocument()->GetColorMode(), CVM_CLASSES);
  EXPECT_EQ(shown(), "Classes");
  ASSERT_TRUE(press(Qt::Key_Down));
  EXPECT_EQ(cloud->GetCVM(), CVM_RGB);
  EXPECT_EQ(shown(), "RGB");
  ASSERT_TRUE(press(Qt::Key_Down));  // past the intensities it does not hold
  EXPECT_EQ(shown(), "Elevation");
  ASSERT_TRUE(press(Qt::Key_Down));
  EXPECT_EQ(cloud->GetCVM(), CVM_PULSE);
  EXPECT_EQ(shown(), "Pulse");

  // The Intensity command changes nothing and says why.
  view->ApplyColorMode(CVM_INTENSITY);
  EXPECT_EQ(project->GetDocument()->GetColorMode(), CVM_PULSE);
  EXPECT_EQ(cloud->GetCVM(), CVM_PULSE);
  EXPECT_TRUE(frame.GetHelpText().startsWith("Intensity colours cannot be shown"));
}

// The first start makes the project database and says so in the main window's status bar;
// no message box comes before the window, nor at all.
TEST_F(ShellTest, FirstStartTellsOfTheNewDatabaseInTheStatusBar) {
  ModalBoxWatcher boxes;
  {
    COrvalisApp app(ORVALIS_SEED_FOLDER, true);
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    EXPECT_TRUE(app.GetDataBase()->IsOpen());
    EXPECT_EQ(app.GetMainFrame()->GetStatusPane(1)->text().toStdString(), "Database initialized");
    app.GetMainFrame()->grab().save(QString(SHELL_TEST_OUTPUT_DIR) + "/first-start.png");
  }
  COrvalisApp again(ORVALIS_SEED_FOLDER, true);
  ASSERT_TRUE(again.InitInstance({}));
  EXPECT_EQ(again.GetMainFrame()->GetStatusPane(1)->text().toStdString(), "Status");
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();
}

// A damaged project database is named once, in a question over the main window; on yes it
// is kept under another name and the program starts with an empty list.
TEST_F(ShellTest, ADamagedDatabaseIsNamedOnceAndSetAsideWhenTheUserAgrees) {
  const std::filesystem::path file = m_Folder / "home/db/orvalis.db";
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << std::string(2048, 'x');
  ModalBoxWatcher boxes(QMessageBox::Yes);
  COrvalisApp app(ORVALIS_SEED_FOLDER, true);
  ASSERT_TRUE(app.InitInstance({}));
  ASSERT_EQ(boxes.texts.size(), 1) << boxes.texts.join('\n').toStdString();
  EXPECT_TRUE(boxes.overMainWindow[0]);
  EXPECT_TRUE(boxes.texts[0].contains(QString::fromStdString(file.string()) + " is damaged"))
      << boxes.texts[0].toStdString();
  EXPECT_TRUE(app.GetDataBase()->IsOpen());
  EXPECT_EQ(app.GetMainFrame()->GetStatusPane(1)->text().toStdString(),
            "Database initialized; the damaged database was kept as " + file.string() + ".damaged");
  EXPECT_EQ(std::filesystem::file_size(file.string() + ".damaged"), 2048u);
  EXPECT_NE(OpenAndPaint(*app.GetMainFrame()), nullptr);
  CDBRecordProject all;
  EXPECT_EQ(app.GetDataBase()->Select(&all), 1);
}

// A stream given at start that cannot be opened is reported over the main window, which
// stays open; every stream given is opened.
TEST_F(ShellTest, StreamsGivenAtStartAllOpenAndABadOneLeavesTheProgramOpen) {
  const std::string bad = (m_Folder / "BAD.strm").string();
  std::ofstream(bad) << "not a stream";
  const std::string other = (m_Folder / "other.strm").string();
  WriteTestStream(other, MakeLatticeStream(1, 6, 0));
  ModalBoxWatcher boxes;
  {
    COrvalisApp app(ORVALIS_SEED_FOLDER, true);
    EXPECT_TRUE(app.InitInstance(QStringList{QString::fromStdString(bad)}));
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    EXPECT_TRUE(app.GetMainFrame()->GetProjects().isEmpty());
  }
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("BAD.strm")) << boxes.texts[0].toStdString();
  EXPECT_TRUE(boxes.overMainWindow[0]);

  COrvalisApp app(ORVALIS_SEED_FOLDER, true);
  EXPECT_TRUE(
      app.InitInstance(QStringList{QString::fromStdString(m_Stream), QString::fromStdString(bad),
                                   QString::fromStdString(other)}));
  EXPECT_EQ(boxes.texts.size(), 2);
  QStringList opened;
  for (COrvalisFrame* project : app.GetMainFrame()->GetProjects())
    opened << QString::fromStdString(project->GetDocument()->GetPathName());
  EXPECT_EQ(opened.join('|').toStdString(), m_Stream + "|" + other);
}

// Where the desktop has no browser, the help pages show in a window of the program; missing
// pages are named.
TEST_F(ShellTest, HelpShowsInTheProgramsOwnWindowWhereNoBrowserCanOpenIt) {
  const std::string path = std::getenv("PATH");
  std::filesystem::create_directories(m_Folder / "no-programs");
  setenv("PATH", (m_Folder / "no-programs").c_str(), 1);
  unsetenv("BROWSER");
  unsetenv("DEFAULT_BROWSER");
  ModalBoxWatcher boxes;
  COrvalisApp app(ORVALIS_SEED_FOLDER, true);
  ASSERT_TRUE(app.InitInstance({}));
  CMainFrame& frame = *app.GetMainFrame();
  frame.SetHelpFolder(ORVALIS_HELP_FOLDER);
  ClickCommand(frame, "Help", "Help (Eng)");
  setenv("PATH", path.c_str(), 1);
  QTextBrowser* browser = frame.findChild<QTextBrowser*>();
  ASSERT_NE(browser, nullptr);
  QWidget* window = browser->window();
  EXPECT_TRUE(window->isVisible());
  EXPECT_NE(window, &frame);
  EXPECT_TRUE(window->windowTitle().contains("Orvalis tutorial"));
  EXPECT_TRUE(browser->toPlainText().contains("Moving in the 3D view"));
  QTest::qWait(100);
  window->grab().save(QString(SHELL_TEST_OUTPUT_DIR) + "/help-window.png");
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join('\n').toStdString();

  frame.SetHelpFolder(QString::fromStdString((m_Folder / "no-help").string()));
  ClickCommand(frame, "Help", "Help (Ita)");
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("no-help/[ITA]_Orvalis.html"))
      << boxes.texts[0].toStdString();
}
