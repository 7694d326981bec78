// The image panel and the Points of View, driven as a user drives them under a virtual
// display: a project made of the demo site and its photographs, and the sample portal.
#include <gtest/gtest.h>
#include <vtkBalloonWidget.h>
#include <vtkCamera.h>
#include <vtkLODActor.h>
#include <vtkMatrix4x4.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "DemoSiteSupport.h"
#include "FiltersDlg.h"
#include "ImageForm.h"
#include "ImageImport.h"
#include "NotesDlg.h"
#include "PictureDlg.h"
#include "ProjectFiles.h"
#include "RealProjectSupport.h"
#include "VtkPOV.h"
#include "WarningDlg.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/ViewCommands.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/ProgramTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 60000;

QString Output(const std::string& name) {
  return QString(IMAGES_TEST_OUTPUT_DIR) + "/" + QString::fromStdString(name);
}

// Answers the orientation warning when it opens, ticking "Don't show again" when asked to,
// and counts the warnings.
class WarningAnswerer {
 public:
  explicit WarningAnswerer(bool dontShowAgain) {
    QObject::connect(&m_Timer, &QTimer::timeout, [this, dontShowAgain] {
      auto* warning = qobject_cast<CWarningDlg*>(QApplication::activeModalWidget());
      if (!warning || !warning->isVisible()) return;
      ++shown;
      text = warning->findChild<QLabel*>("warningText")->text();
      warning->grab().save(Output("orientation-warning.png"));
      if (dontShowAgain) QTest::mouseClick(warning->GetDontShowAgainBox(), Qt::LeftButton);
      QTest::keyClick(warning, Qt::Key_Return);
    });
    m_Timer.start(20);
  }
  int shown = 0;
  QString text;

 private:
  QTimer m_Timer;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Camera {
  double position[3], focal[3], up[3];
};

Camera CameraOf(RenderWindow* window) {
  Camera camera;
  vtkCamera* active = window->m_Renderer->GetActiveCamera();
  active->GetPosition(camera.position);
  active->GetFocalPoint(camera.focal);
  active->GetViewUp(camera.up);
  return camera;
}

class ImagePanelTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
  }

  // A project of the demo site's stream with its photographs imported; `prepare` may change
  // the data folder before the project opens.
  std::string MakeDemoProject(const std::function<void(const fs::path& data)>& prepare = {}) {
    const std::string stream = MakeDemoProjectIn(m_Folder.Path());
    if (prepare) prepare(m_Folder / "site_data");
    return stream;
  }

  COrvalisFrame* OpenAndPaint(const std::string& stream) {
    COrvalisFrame* project = ::OpenAndPaint(*m_Frame, stream, kPaintTimeoutMs);
    if (project) {
      m_Panel = project->GetImagePanel();
      m_View = project->GetView();
      m_Window = m_View->GetRenderWindowRecord();
    }
    return project;
  }

  // Waits until the view has painted with fresh detail once more.
  void WaitForRegeneration() {
    const int before = m_View->GetRegenerationCount();
    for (int waited = 0; waited < kPaintTimeoutMs && m_View->GetRegenerationCount() == before;
         waited += 20)
      QTest::qWait(20);
    QTest::qWait(50);
  }

  // Ticks a box of the filter page as the user does.
  void Tick(const QString& text, bool ticked = true) {
    for (QCheckBox* box : m_Panel->GetFiltersPage()->findChildren<QCheckBox*>())
      if (box->text() == text && box->isChecked() != ticked)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    QTest::qWait(100);
  }
  void ShowCameraPositions(bool show = true) { Tick("Show camera positions", show); }

  std::string Photograph(const std::string& name) const {
    return (m_Folder / "site_data" / name).string();
  }

  QListWidgetItem* ThumbnailOf(const std::string& image) const {
    QListWidget* list = m_Panel->GetThumbnailList();
    for (int row = 0; row < list->count(); ++row)
      if (list->item(row)->data(Qt::UserRole).toString().toStdString() == image)
        return list->item(row);
    return nullptr;
  }

  void ClickThumbnail(const std::string& image) {
    QListWidget* list = m_Panel->GetThumbnailList();
    QListWidgetItem* item = ThumbnailOf(image);
    ASSERT_NE(item, nullptr) << image;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  }

  // A drone's nadir photograph other than the current one, whose marker the view shows from
  // above; empty when there is none.
  std::string OtherNadirPhotograph() const {
    std::string found;
    for (const std::string& image : m_Panel->GetImages())
      if (image != m_Panel->GetCurrentImage() &&
          fs::path(image).stem().string().rfind("DJI", 0) == 0 &&
          m_Panel->GetPov(image)->IsOriented())
        found = image;
    return found;
  }

  // The window pixel where the camera centre of `image` is drawn.
  QPoint PixelOfCamera(const std::string& image) {
    RefreshViewMatrices(m_Window);
    WinPoint pixel{-1, -1};
    EXPECT_EQ(CoordModelToWin(m_Window, m_Panel->GetPov(image)->GetCameraCentre(), &pixel), 1);
    const double ratio = m_View->devicePixelRatioF();
    return QPoint(int(pixel.x / ratio), int(pixel.y / ratio));
  }

  void MoveMouse(const QPoint& at) {
    QMouseEvent move(QEvent::MouseMove, at, m_View->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(m_View, &move);
  }

  ScratchFolder m_Folder;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  CImageForm* m_Panel = nullptr;
  COrvalisView* m_View = nullptr;
  RenderWindow* m_Window = nullptr;
};

}  // namespace

TEST_F(ImagePanelTest, TheFirstOrientedPhotographIsCurrentAndAnUnorientedOneChangesNothing) {
  const std::string first = fs::path(DemoSite::Get().Photographs().front()).stem().string();
  const std::string stream =
      MakeDemoProject([&first](const fs::path& data) { fs::remove(data / (first + ".est")); });
  ASSERT_NE(OpenAndPaint(stream), nullptr);
  const std::vector<std::string>& images = m_Panel->GetImages();
  ASSERT_EQ(images.size(), 8u);
  ASSERT_EQ(images.front(), Photograph(first + ".jpg"));
  ASSERT_NE(m_Panel->GetPov(images.front()), nullptr);
  EXPECT_FALSE(m_Panel->GetPov(images.front())->IsOriented());
  const auto oriented = std::find_if(
      images.begin(), images.end(),
      [this](const std::string& image) { return m_Panel->GetPov(image)->IsOriented(); });
  ASSERT_NE(oriented, images.end());
  EXPECT_EQ(m_Panel->GetCurrentImage(), *oriented);
  // Every photograph with a Point of View is offered, the unoriented one too.
  EXPECT_EQ(m_Panel->GetThumbnailList()->count(), 8);
  EXPECT_EQ(m_Panel->GetThumbnailList()->iconSize(), QSize(133, 133));
  EXPECT_TRUE(m_Panel->GetPyramidActor()->GetVisibility());
  m_Frame->grab().save(Output("first-oriented-current.png"));

  const Camera before = CameraOf(m_Window);
  vtkNew<vtkMatrix4x4> pyramid;
  pyramid->DeepCopy(m_Panel->GetPyramidActor()->GetUserMatrix());
  {
    WarningAnswerer answer(true);
    ClickThumbnail(images.front());
    QTest::qWait(100);
    EXPECT_EQ(answer.shown, 1);
    EXPECT_EQ(answer.text, QString::fromStdString("File " + first +
                                                  " has no external orientation. Please do an "
                                                  "image to model link to solve this problem"));
  }
  EXPECT_EQ(m_Panel->GetCurrentImage(), images.front());
  const Camera after = CameraOf(m_Window);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(after.position[axis], before.position[axis]);
    EXPECT_EQ(after.focal[axis], before.focal[axis]);
    EXPECT_EQ(after.up[axis], before.up[axis]);
  }
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(m_Panel->GetPyramidActor()->GetUserMatrix()->GetElement(i / 4, i % 4),
              pyramid->GetElement(i / 4, i % 4));
  // The choice is kept beside that photograph only: a second click asks nothing.
  const std::string stored = ReadAll((m_Folder / "site_data" / (first + ".ini")).string());
  EXPECT_NE(stored.find("warningNotPresent=false"), std::string::npos) << stored;
  WarningAnswerer again(false);
  ClickThumbnail(images.front());
  QTest::qWait(100);
  EXPECT_EQ(again.shown, 0);

  // Filtering against it still runs, after a warning.
  Tick("Space Filter");
  EXPECT_EQ(m_Frame->GetStatusPane(1)->text(),
            "Warning: current image has not an orientation. No filter can be applied if this "
            "image is the reference one");
  EXPECT_EQ(m_Panel->GetAvailable().front(), images.front());
}

TEST_F(ImagePanelTest, AThumbnailClickFliesNineteenTwentiethsOfTheWayToThePhotograph) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  const std::vector<std::string>& images = m_Panel->GetImages();
  std::string target;
  for (const std::string& image : images)
    if (image != m_Panel->GetCurrentImage() && m_Panel->GetPov(image)->IsOriented()) target = image;
  ASSERT_FALSE(target.empty());
  const Camera before = CameraOf(m_Window);
  const CVtkPOV* pov = m_Panel->GetPov(target);
  const double* centre = pov->GetCameraCentre();
  ClickThumbnail(target);
  EXPECT_EQ(m_Panel->GetCurrentImage(), target);
  const Camera after = CameraOf(m_Window);
  const Wml::Matrix3<double>& rotation = pov->GetOrientation().GetRotMat();
  for (int axis = 0; axis < 3; ++axis) {
    const double expected = before.position[axis] + 0.95 * (centre[axis] - before.position[axis]);
    EXPECT_NEAR(after.position[axis], expected, 1e-6 * (1 + std::fabs(expected)));
    EXPECT_NEAR(after.up[axis], rotation(axis, 1), 1e-9);
    EXPECT_NEAR(m_Panel->GetPyramidActor()->GetUserMatrix()->GetElement(axis, 3), centre[axis],
                1e-9);
  }
  EXPECT_EQ(ThumbnailOf(target), m_Panel->GetThumbnailList()->currentItem());
  WaitForRegeneration();
  m_Frame->grab().save(Output("after-flight.png"));
}

TEST_F(ImagePanelTest, MarkersStandOnTheirCamerasAndShowTheirThumbnailOnHover) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  const std::string target = OtherNadirPhotograph();
  ASSERT_FALSE(target.empty());
  ShowCameraPositions(false);
  EXPECT_FALSE(m_Panel->GetPov(target)->IsVisible());
  QTest::qWait(200);
  const QPoint pixel = PixelOfCamera(target);
  const QPoint device = pixel * m_View->devicePixelRatioF();
  const QColor without = m_View->grabFramebuffer().pixelColor(device);

  ShowCameraPositions();
  EXPECT_TRUE(m_Panel->GetPov(target)->IsVisible());
  QTest::qWait(200);
  const QImage shown = m_View->grabFramebuffer();
  const QColor marker = shown.pixelColor(device);
  EXPECT_NE(marker, without);
  EXPECT_GT(marker.green(), 150) << marker.name().toStdString();
  EXPECT_GT(marker.green(), marker.red() + 50) << marker.name().toStdString();
  EXPECT_LT(marker.red(), 160) << marker.name().toStdString();
  EXPECT_LT(marker.blue(), 90) << marker.name().toStdString();
  m_Frame->grab().save(Output("markers.png"));

  MoveMouse(pixel + QPoint(1, 0));
  MoveMouse(pixel);
  vtkBalloonWidget* balloon = m_Window->m_Balloon;
  for (int waited = 0;
       waited < 3000 && balloon->GetCurrentProp() != m_Panel->GetPov(target)->GetActor();
       waited += 50)
    QTest::qWait(50);
  EXPECT_EQ(balloon->GetCurrentProp(), m_Panel->GetPov(target)->GetActor());
  QTest::qWait(200);
  m_Frame->grab().save(Output("marker-balloon.png"));
}

TEST_F(ImagePanelTest, ADoubleClickOnAMarkerShowsItsPictureAndACtrlClickMakesItCurrent) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  ShowCameraPositions();
  const std::string target = OtherNadirPhotograph();
  ASSERT_FALSE(target.empty());
  const QPoint pixel = PixelOfCamera(target);

  QTest::mouseDClick(m_View, Qt::LeftButton, {}, pixel);
  QTest::qWait(100);
  const QList<CPictureDlg*> viewers = m_Panel->findChildren<CPictureDlg*>();
  ASSERT_EQ(viewers.size(), 1);
  CPictureDlg* viewer = viewers.front();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->HasPicture());
  EXPECT_EQ(viewer->windowTitle().toStdString(), fs::path(target).stem().string());
  viewer->grab().save(Output("picture-viewer.png"));
  const double fitted = viewer->GetZoom();
  EXPECT_LT(fitted, 1.0);
  QTest::keyClick(viewer, Qt::Key_Plus);
  EXPECT_GT(viewer->GetZoom(), fitted);
  viewer->close();

  // A click without CTRL turns the view; with CTRL it picks the marker.
  EXPECT_NE(m_Panel->GetCurrentImage(), target);
  QTest::mouseClick(m_View, Qt::LeftButton, Qt::ControlModifier, pixel);
  EXPECT_EQ(m_Panel->GetCurrentImage(), target);
  // Where there is no marker a CTRL+click picks nothing.
  QTest::mouseClick(m_View, Qt::LeftButton, Qt::ControlModifier, QPoint(2, 2));
  EXPECT_EQ(m_Panel->GetCurrentImage(), target);
}

TEST_F(ImagePanelTest, ThePanelsCommandsAndKeysShowThePages) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  QTabWidget* tabs = m_Panel->GetTabs();
  EXPECT_EQ(tabs->count(), 5);
  EXPECT_EQ(tabs->tabText(0), "Filters");
  EXPECT_EQ(tabs->tabText(1), "Texture");
  EXPECT_EQ(tabs->tabText(2), "Notes");
  EXPECT_EQ(tabs->tabText(3), "Measure");
  EXPECT_EQ(tabs->tabText(4), "Link");

  QTest::keyClick(m_View, Qt::Key_N);
  EXPECT_EQ(m_Panel->GetCurrentTab(), TAB_NOTES);
  EXPECT_TRUE(m_Frame->GetHelpText().startsWith("Write the note"));
  m_Panel->TabClosed();
  EXPECT_EQ(m_Panel->GetCurrentTab(), TAB_NONE);
  EXPECT_FALSE(tabs->isVisible());
  QTest::keyClick(m_View, Qt::Key_F);
  EXPECT_EQ(m_Panel->GetCurrentTab(), TAB_FILTERS);
  EXPECT_TRUE(tabs->isVisible());
  EXPECT_TRUE(m_Frame->GetHelpText().contains("CTRL+click on a camera marker"));

  // The command brings back the panel that the streaming layout hides.
  COrvalisFrame* project = m_Frame->GetActiveProject();
  project->SetLayout(LAYOUT_STREAMING);
  QTabWidget* commands = m_Frame->GetCommandTabs();
  for (QToolButton* button : commands->widget(0)->findChildren<QToolButton*>())
    if (button->defaultAction() && button->defaultAction()->text() == "Notes")
      QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(m_Panel->GetCurrentTab(), TAB_NOTES);
  EXPECT_EQ(project->GetLayout(), LAYOUT_STANDARD);
  m_Frame->grab().save(Output("notes-page.png"));

  QTest::mouseClick(m_Panel->GetThumbnailList()->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(m_Frame->GetHelpText(),
            "Click on thumbnails to select current Point of View; double click to view the "
            "picture");
}

TEST_F(ImagePanelTest, APhotographWithABadThumbnailGetsANewOneOrNoPointOfView) {
  std::string remade, unreadable;
  const std::string stream = MakeDemoProject([&](const fs::path& data) {
    const std::vector<std::string> photos = DemoSite::Get().Photographs();
    remade = (data / (fs::path(photos[1]).stem().string() + ".jpg")).string();
    unreadable = (data / (fs::path(photos[2]).stem().string() + ".jpg")).string();
    std::ofstream(MakeFileName(PFK_THUMBNAIL, remade), std::ios::trunc) << "not a picture";
    std::ofstream(MakeFileName(PFK_THUMBNAIL, unreadable), std::ios::trunc) << "not a picture";
    std::ofstream(unreadable, std::ios::trunc) << "not a picture either";
  });
  ASSERT_NE(OpenAndPaint(stream), nullptr);
  ASSERT_NE(m_Panel->GetPov(remade), nullptr);
  EXPECT_NE(m_Panel->GetPov(remade)->GetPicture(), nullptr);
  EXPECT_FALSE(QImage(QString::fromStdString(MakeFileName(PFK_THUMBNAIL, remade))).isNull());
  EXPECT_EQ(m_Panel->GetPov(unreadable), nullptr);
  EXPECT_EQ(m_Panel->GetPovCount(), 7);
  EXPECT_EQ(ThumbnailOf(unreadable), nullptr);
  EXPECT_NE(ThumbnailOf(remade), nullptr);
  EXPECT_TRUE(m_Frame->GetStatusPane(1)->text().contains("left out of the Points of View") ||
              m_Frame->GetStatusPane(1)->text().startsWith("Loaded points"));
}

// The sample portal: its twelve photographs were taken walking along it.
TEST_F(ImagePanelTest, ThePortalsPhotographsStandInARowAndAFlightLooksAtThePortal) {
  const fs::path model = DoorModelFolder();
  if (model.empty()) GTEST_SKIP() << "no sample reconstruction";
  std::string why;
  const std::string stream = MakeDoorProject(model, m_Folder.Path(), why);
  ASSERT_FALSE(stream.empty()) << why;
  ASSERT_NE(OpenAndPaint(stream), nullptr);
  ShowCameraPositions();
  ASSERT_EQ(m_Panel->GetPovCount(), 12);

  // The centres lie along a line: nearly all their spread is along the first principal axis.
  double mean[3] = {0, 0, 0}, covariance[3][3] = {};
  for (const std::string& image : m_Panel->GetImages()) {
    ASSERT_TRUE(m_Panel->GetPov(image)->IsOriented()) << image;
    for (int axis = 0; axis < 3; ++axis)
      mean[axis] += m_Panel->GetPov(image)->GetCameraCentre()[axis] / 12;
  }
  for (const std::string& image : m_Panel->GetImages())
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        covariance[i][j] += (m_Panel->GetPov(image)->GetCameraCentre()[i] - mean[i]) *
                            (m_Panel->GetPov(image)->GetCameraCentre()[j] - mean[j]);
  // The largest eigenvalue by power iteration, against the whole spread (the trace).
  double v[3] = {1, 1, 1}, largest = 0;
  for (int iteration = 0; iteration < 100; ++iteration) {
    double w[3];
    for (int i = 0; i < 3; ++i)
      w[i] = covariance[i][0] * v[0] + covariance[i][1] * v[1] + covariance[i][2] * v[2];
    largest = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    for (int i = 0; i < 3; ++i) v[i] = w[i] / largest;
  }
  EXPECT_GT(largest / (covariance[0][0] + covariance[1][1] + covariance[2][2]), 0.95);
  // Every marker is in the view.
  for (const std::string& image : m_Panel->GetImages()) {
    const QPoint pixel = PixelOfCamera(image);
    EXPECT_TRUE(m_View->rect().contains(pixel)) << image;
  }
  QTest::qWait(200);
  m_Frame->grab().save(Output("portal-markers.png"));

  // From the sixth photograph's camera the view looks at the portal: the points' middle is
  // ahead, and the portal fills much of the view.
  const std::string sixth = m_Panel->GetImages()[5];
  ClickThumbnail(sixth);
  WaitForRegeneration();
  const Camera camera = CameraOf(m_Window);
  double bounds[6], offset[3];
  m_Window->m_Clouds.front()->GetBounds(bounds);
  m_Window->m_Clouds.front()->GetCloudOffset(offset);
  double ahead = 0, toMiddle = 0, length = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const double look = camera.focal[axis] - camera.position[axis];
    const double middle = (bounds[2 * axis] + bounds[2 * axis + 1]) / 2 + offset[axis] -
                          m_Window->m_Center[axis] - camera.position[axis];
    ahead += look * middle;
    toMiddle += middle * middle;
    length += look * look;
  }
  EXPECT_GT(ahead / std::sqrt(toMiddle * length), 0.7);
  const QImage view = m_View->grabFramebuffer();
  int drawn = 0;
  const QColor corner = view.pixelColor(view.width() / 2, 1);
  for (int y = 0; y < view.height(); y += 4)
    for (int x = 0; x < view.width(); x += 4) {
      const QColor c = view.pixelColor(x, y);
      drawn += std::abs(c.red() - corner.red()) + std::abs(c.green() - corner.green()) > 40;
    }
  EXPECT_GT(drawn, (view.width() / 4) * (view.height() / 4) / 5);
  m_Frame->grab().save(Output("portal-flight.png"));
}

TEST_F(ImagePanelTest, TheNoteOfTheCurrentPhotographIsSavedBySaveAndByClosingTheProject) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  const std::string first = m_Panel->GetCurrentImage();
  QTest::keyClick(m_View, Qt::Key_N);
  QPlainTextEdit* edit = m_Panel->GetNotesPage()->GetEdit();
  ASSERT_TRUE(edit->isVisible());
  QTest::keyClicks(edit, "Cracked lintel");
  QAction* save = nullptr;
  for (QAction* menu : m_Frame->menuBar()->actions())
    if (menu->text() == "&File")
      for (QAction* action : menu->menu()->actions())
        if (action->text() == "&Save") save = action;
  ASSERT_NE(save, nullptr);
  save->trigger();
  EXPECT_EQ(ReadAll(MakeFileName(PFK_NOTE, first)), "Cracked lintel");

  // Another photograph shows its own note, empty until the user writes one.
  const std::string second = OtherNadirPhotograph();
  ClickThumbnail(second);
  EXPECT_EQ(m_Panel->GetCurrentImage(), second);
  EXPECT_TRUE(edit->toPlainText().isEmpty());
  EXPECT_FALSE(fs::exists(MakeFileName(PFK_NOTE, second)));
  QTest::keyClicks(edit, "North door");
  m_Frame->GetActiveProject()->parentWidget()->close();
  QTest::qWait(50);
  EXPECT_TRUE(m_Frame->GetProjects().isEmpty());
  EXPECT_EQ(ReadAll(MakeFileName(PFK_NOTE, second)), "North door");
  EXPECT_EQ(ReadAll(MakeFileName(PFK_NOTE, first)), "Cracked lintel");
}

TEST_F(ImagePanelTest, TheFilterPageColoursTheMarkersAndNarrowsTheThumbnails) {
  ASSERT_NE(OpenAndPaint(MakeDemoProject()), nullptr);
  ShowCameraPositions();
  const std::string current = m_Panel->GetCurrentImage();
  auto scaleOf = [this](const std::string& image) {
    vtkMatrix4x4* pose = m_Panel->GetPov(image)->GetActor()->GetUserMatrix();
    return std::hypot(pose->GetElement(0, 0), pose->GetElement(1, 0), pose->GetElement(2, 0));
  };
  const std::string other = OtherNadirPhotograph();
  const double scale = scaleOf(other);
  EXPECT_NEAR(scale, 50 * m_Panel->GetModelSize() / 20, 1e-9);

  // No camera stands within 1 of the current one: the others are filtered out.
  Tick("Space Filter");
  EXPECT_EQ(m_Panel->GetAvailable(), std::vector<std::string>{current});
  EXPECT_EQ(m_Panel->GetThumbnailList()->count(), 1);
  double colour[3];
  m_Panel->GetPov(other)->GetActor()->GetProperty()->GetColor(colour);
  EXPECT_DOUBLE_EQ(colour[0], kFilteredMarkerColour[0]);
  EXPECT_DOUBLE_EQ(colour[2], kFilteredMarkerColour[2]);
  m_Panel->GetPov(current)->GetActor()->GetProperty()->GetColor(colour);
  EXPECT_DOUBLE_EQ(colour[0], kPassingMarkerColour[0]);
  EXPECT_EQ(m_Panel->GetFiltersPage()->findChild<QLabel*>("status")->text(),
            "Total images: 8 - Currently available: 1");

  Tick("Show Sphere");
  EXPECT_TRUE(m_Panel->GetSphereActor()->GetVisibility());
  double bounds[6];
  m_Panel->GetSphereActor()->GetBounds(bounds);
  EXPECT_NEAR(bounds[1] - bounds[0], 2.0, 0.01);

  // The current camera's marker stands out at twice the size.
  Tick("Enlight Current View");
  EXPECT_NEAR(scaleOf(current), 2 * scale, 1e-9);
  EXPECT_NEAR(scaleOf(other), scale, 1e-9);

  QSlider* markerScale = m_Panel->GetFiltersPage()->findChild<QSlider*>("markerScale");
  ASSERT_NE(markerScale, nullptr);
  QTest::keyClick(markerScale, Qt::Key_End);
  EXPECT_NEAR(scaleOf(other), 2 * scale, 1e-9);
  QTest::qWait(100);
  m_Frame->grab().save(Output("filtered-markers.png"));
}
