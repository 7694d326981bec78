// The textured view on real projects: the demo site seen from its own photographs' cameras,
// the sample portal seen from one of its photographs, and in the program the "Texture" command
// and the texture page, as a user works them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "DemoSiteSupport.h"
#include "ImageForm.h"
#include "ImageImport.h"
#include "ProjectFiles.h"
#include "ProjectImages.h"
#include "RealProjectSupport.h"
#include "TexturePage.h"
#include "ViewTexture.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/ProjectCommands.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/demo/DemoTexturedModel.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/platform/Profile.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/ProgramTestSupport.h"
// The shell's test support saves its pictures where this program's go.
#define SHELL_TEST_OUTPUT_DIR IMAGES_TEST_OUTPUT_DIR
#include "tests/app/shell/ShellTestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 60000;

std::string OutputPath(const std::string& name) {
  return std::string(IMAGES_TEST_OUTPUT_DIR) + "/" + name;
}

// Pictures side by side, each scaled to `height` rows.
void SaveSideBySide(const std::vector<cv::Mat>& pictures, int height, const std::string& name) {
  std::vector<cv::Mat> scaled;
  for (const cv::Mat& picture : pictures) {
    cv::Mat resized;
    cv::resize(picture, resized,
               cv::Size(picture.cols * height / std::max(1, picture.rows), height), 0, 0,
               cv::INTER_AREA);
    scaled.push_back(resized);
  }
  cv::Mat row;
  cv::hconcat(scaled, row);
  cv::imwrite(OutputPath(name), row);
}

cv::Mat ToMat(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  cv::Mat picture(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.bits()),
                  rgb.bytesPerLine());
  cv::Mat bgr;
  cv::cvtColor(picture, bgr, cv::COLOR_RGB2BGR);
  return bgr;
}

cv::Mat NonBlack(const cv::Mat& picture) {
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  return grey > 0;
}

// Mean absolute difference per channel over the mask.
double MeanDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  const cv::Scalar mean = cv::mean(difference, mask);
  return (mean[0] + mean[1] + mean[2]) / 3;
}

// An off-screen window of the library with a project's stream, as the bench draws.
class CTextureWindow {
 public:
  CTextureWindow(const std::string& stream, int width, int height) {
    // The class and pulse tables the program loads at start-up: without them no class shows.
    InitStrmDll(BuiltInProfileReader);
    InitPulses(BuiltInProfileReader);
    m_VtkWindow->SetOffScreenRendering(1);
    m_VtkWindow->SetMultiSamples(0);
    m_VtkWindow->SetSize(width, height);
    m_Interactor->SetRenderWindow(m_VtkWindow);
    m_Window = CreateRenderWindow(&m_Tag, m_VtkWindow, m_Interactor, {});
    m_Cloud = m_Window ? AddSpCloud(stream.c_str(), &m_Tag, 0) : nullptr;
    if (m_Cloud) m_Cloud->SetCVM(CVM_RGB);
  }
  ~CTextureWindow() { DestroyRenderWindow(&m_Tag); }
  RenderWindow* Get() const { return m_Window; }
  CNimbex* Cloud() const { return m_Cloud; }
  // The ordinary picture of the view, blue, green, red, top row first.
  cv::Mat DrawOrdinary() {
    DrawSpClouds(&m_Tag, nullptr, nullptr, m_Cloud, nullptr);
    const int* size = m_VtkWindow->GetSize();
    vtkNew<vtkUnsignedCharArray> pixels;
    m_VtkWindow->GetPixelData(0, 0, size[0] - 1, size[1] - 1, 1, pixels);
    cv::Mat rgb(size[1], size[0], CV_8UC3, pixels->GetPointer(0)), bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    cv::flip(bgr, bgr, 0);
    return bgr;
  }

 private:
  const int m_Tag = 0;
  vtkNew<vtkRenderWindow> m_VtkWindow;
  vtkNew<vtkRenderWindowInteractor> m_Interactor;
  RenderWindow* m_Window = nullptr;
  CNimbex* m_Cloud = nullptr;
};

class TextureProgramTest : public testing::Test {
 protected:
  void SetUp() override { setenv("ORVALIS_HOME", (m_Folder.Path() / "home").c_str(), 1); }

  std::vector<STexturePhoto> Photos(const std::string& stream) {
    CProjectImages images;
    images.InitImages(stream, true);
    images.LoadOrientations(stream, true);
    std::vector<std::string> problems;
    std::vector<STexturePhoto> photos = LoadTexturePhotos(images, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    return photos;
  }

  ScratchFolder m_Folder;
};

}  // namespace

// From the camera of each oriented nadir photograph of the demo site, the textured view shows
// that photograph: most of the window is textured and its colours are the photograph's,
// resampled to the window, within a small mean difference. The neighbouring photographs that
// texture much of it were rendered from the same site with their own light falloff, haze and
// noise, and the window projects in parallel where the photograph has perspective, principal
// point and lens distortion: 6 to 9 levels are measured, the bound is 15.
TEST_F(TextureProgramTest, FromAPhotographsCameraTheTexturedViewShowsThatPhotograph) {
  const std::string stream = MakeDemoProjectIn(m_Folder.Path());
  const std::vector<STexturePhoto> photos = Photos(stream);
  int compared = 0;
  for (size_t k = 0; k < photos.size(); ++k) {
    if (!photos[k].oriented || photos[k].image.empty()) continue;
    if (!fs::exists(fs::path(photos[k].path).replace_extension(".vtp"))) continue;  // nadir
    const cv::Mat photograph = cv::imread(photos[k].path);
    CTextureWindow window(stream, 400, 300);
    ASSERT_NE(window.Cloud(), nullptr);
    ASSERT_EQ(LookThroughPhotograph(window.Get(), photos[k].orientation), 1);
    CViewTexture texture(window.Get(), photos);
    ASSERT_EQ(texture.DrawTextured(window.Cloud()), 1);
    const cv::Mat& picture = texture.GetPicture();
    cv::Mat expected;
    cv::resize(photograph, expected, picture.size(), 0, 0, cv::INTER_AREA);
    const cv::Mat textured = NonBlack(picture);
    const double covered = double(cv::countNonZero(textured)) / textured.total();
    const double difference = MeanDifference(picture, expected, textured);
    const std::string name = fs::path(photos[k].path).stem().string();
    SaveSideBySide({picture, expected, window.DrawOrdinary()}, 300,
                   "texture-demo-" + name + ".png");
    EXPECT_GE(covered, 0.8) << name;
    EXPECT_TRUE(texture.IsMainLoaded()) << name;
    EXPECT_LT(difference, 15) << name;
    std::printf("%s: %.1f %% textured, mean difference %.1f, main %s\n", name.c_str(),
                100 * covered, difference, fs::path(texture.GetMainPath()).filename().c_str());
    ++compared;
  }
  EXPECT_GE(compared, 2);
}

// The sample portal's sparse points seen from the camera of its sixth photograph: where its
// points are, the view shows the photographs' stone and wood, close to that photograph's own
// colours; the picture stands beside the photograph in the test output. Most points take the
// first photograph, taken from elsewhere, and the window's parallel projection shifts the
// carvings' edges against the photograph's perspective: 29 levels of mean difference are
// measured over the portal's fine stonework, the bound is 40.
TEST_F(TextureProgramTest, TheSamplePortalIsTexturedFromItsPhotographs) {
  const fs::path model = DoorModelFolder();
  if (model.empty()) GTEST_SKIP() << "no sample reconstruction";
  std::string why;
  const std::string stream = MakeDoorProject(model, m_Folder.Path(), why);
  ASSERT_FALSE(stream.empty()) << why;
  const std::vector<STexturePhoto> photos = Photos(stream);
  ASSERT_EQ(photos.size(), 12u);
  const STexturePhoto& sixth = photos[5];
  ASSERT_EQ(fs::path(sixth.path).stem(), "DSC_0006");
  const cv::Mat photograph = cv::imread(sixth.path);
  const int width = 324, height = photograph.rows * width / photograph.cols;
  CTextureWindow window(stream, width, height);
  ASSERT_NE(window.Cloud(), nullptr);
  ASSERT_EQ(LookThroughPhotograph(window.Get(), sixth.orientation), 1);
  CViewTexture texture(window.Get(), photos);
  ASSERT_EQ(texture.DrawTextured(window.Cloud()), 1);
  const cv::Mat& picture = texture.GetPicture();
  cv::Mat expected;
  cv::resize(photograph, expected, picture.size(), 0, 0, cv::INTER_AREA);
  SaveSideBySide({picture, expected, window.DrawOrdinary()}, 484, "texture-portal.png");
  const cv::Mat textured = NonBlack(picture);
  const double covered = double(cv::countNonZero(textured)) / textured.total();
  const double difference = MeanDifference(picture, expected, textured);
  std::printf("portal: %.1f %% textured, mean difference %.1f, main %s\n", 100 * covered,
              difference, fs::path(texture.GetMainPath()).filename().c_str());
  EXPECT_GE(covered, 0.7);
  EXPECT_LT(difference, 40);
}

// In the program: "Texture" paints the view from the photographs and the status bar names the
// main photograph; while the mouse drags, the view shows the light sample, and textures again
// on release; "Texture" again gives the ordinary picture back.
TEST_F(TextureProgramTest, TheTextureCommandTexturesTheViewAndDraggingShowsTheLightSample) {
  const std::string stream = MakeDemoProjectIn(m_Folder.Path());
  auto app = StartShownProgram();
  CMainFrame* frame = app->GetMainFrame();
  COrvalisFrame* project = OpenAndPaint(*frame, stream, kPaintTimeoutMs);
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  // Runs `action` and waits for the paint it asks for.
  auto paintAfter = [view](const std::function<void()>& action) {
    QSignalSpy painted(view, &COrvalisView::regenerated);
    action();
    if (painted.isEmpty()) painted.wait(kPaintTimeoutMs);
    QTest::qWait(50);
  };
  const cv::Mat ordinary = ToMat(view->grabFramebuffer());

  paintAfter([frame] { ClickCommand(*frame, "View", "Texture"); });
  ASSERT_NE(view->GetTexture(), nullptr);
  EXPECT_TRUE(project->GetDocument()->IsTextureMode());
  const cv::Mat textured = ToMat(view->grabFramebuffer());
  SaveSideBySide({ordinary, textured}, 400, "texture-command-ordinary-and-textured.png");
  // What the screen shows: the window as the display holds it.
  QTest::qWait(200);
  const cv::Mat screen =
      ToMat(QGuiApplication::primaryScreen()->grabWindow(frame->winId()).toImage());
  cv::imwrite(OutputPath("texture-command-window.png"), screen);
  const QString status = frame->GetStatusPane(1)->text();
  const std::string main = fs::path(view->GetTexture()->GetMainPath()).filename().string();
  ASSERT_FALSE(main.empty());
  EXPECT_EQ(status.toStdString(), "Texture: main photograph " + main);
  EXPECT_GT(cv::norm(ordinary, textured, cv::NORM_L1) / ordinary.total(), 10);

  // A camera moved without a paint, as a flight to a photograph moves it, shows the streams
  // until the next paint textures the view again.
  vtkCamera* camera = view->GetRenderWindowRecord()->m_Renderer->GetActiveCamera();
  camera->SetParallelScale(camera->GetParallelScale() * 1.5);
  view->RenderAgain();
  const cv::Mat moved = ToMat(view->grabFramebuffer());
  paintAfter([view] { view->Redraw(); });
  const cv::Mat again = ToMat(view->grabFramebuffer());
  SaveSideBySide({moved, again}, 400, "texture-camera-moved-and-painted.png");
  EXPECT_GT(cv::countNonZero(NonBlack(again) != NonBlack(moved)), int(moved.total() / 10));

  // A drag: the view paints what the library renders, then textures again on release.
  const QPoint middle = view->rect().center();
  auto send = [view](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, view->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  };
  send(QEvent::MouseButtonPress, middle, Qt::LeftButton);
  for (int step = 1; step <= 5; ++step)
    send(QEvent::MouseMove, middle + QPoint(8 * step, 0), Qt::LeftButton);
  QTest::qWait(100);
  const cv::Mat dragging = ToMat(view->grabFramebuffer());
  const int before = view->GetRegenerationCount();
  paintAfter([&] { send(QEvent::MouseButtonRelease, middle + QPoint(40, 0), Qt::NoButton); });
  EXPECT_GT(view->GetRegenerationCount(), before);
  const cv::Mat released = ToMat(view->grabFramebuffer());
  SaveSideBySide({dragging, released}, 400, "texture-drag-and-release.png");
  EXPECT_GT(cv::norm(dragging, released, cv::NORM_L1) / dragging.total(), 10);
  EXPECT_TRUE(frame->GetStatusPane(1)->text().startsWith("Texture: "));

  // The project's photographs change: the textured view reads them again.
  const size_t photographs = view->GetTexture()->GetPhotos().size();
  const std::string gone = view->GetTexture()->GetPhotos().back().path;
  fs::remove(gone);
  fs::remove(MakeFileName(PFK_THUMBNAIL, gone));
  paintAfter([&] { frame->GetProjectCommands()->LoadImages(project); });
  ASSERT_NE(view->GetTexture(), nullptr);
  EXPECT_EQ(view->GetTexture()->GetPhotos().size(), photographs - 1);

  paintAfter([frame] { ClickCommand(*frame, "View", "Texture"); });
  EXPECT_FALSE(project->GetDocument()->IsTextureMode());
  EXPECT_EQ(view->GetTexture(), nullptr);
}

// The texture page: ticking "Enable Textures" shows the textured models of the nadir
// photographs, at most "Max Texture Count" of them, nearest the current Point of View first;
// the settings come back when the project opens again.
TEST_F(TextureProgramTest, TheTexturePageShowsTheNearestTexturedModels) {
  const std::string stream = MakeDemoProjectIn(m_Folder.Path());
  const std::set<std::string> names = [&] {
    CProjectImages images;
    images.InitImages(stream, true);
    return images.GetTexturedModels();
  }();
  ASSERT_GE(names.size(), 2u);
  auto app = StartShownProgram();
  CMainFrame* frame = app->GetMainFrame();
  COrvalisFrame* project = OpenAndPaint(*frame, stream, kPaintTimeoutMs);
  ASSERT_NE(project, nullptr);
  CImageForm* panel = project->GetImagePanel();
  CTexturePage* page = panel->GetTexturePage();
  ASSERT_EQ(panel->ShowTab(TAB_TEXTURE), 1);
  EXPECT_TRUE(page->GetShownModels().empty());

  QTest::mouseClick(page->GetEnableBox(), Qt::LeftButton, {},
                    QPoint(4, page->GetEnableBox()->height() / 2));
  EXPECT_EQ(page->GetShownModels().size(), std::min<size_t>(names.size(), 5));
  page->GetMaxCountBox()->setValue(1);
  ASSERT_EQ(page->GetShownModels().size(), 1u);
  // The nearest to the current Point of View is its own model when it has one.
  const std::string current = BaseName(panel->GetCurrentImage());
  if (names.count(current)) EXPECT_EQ(page->GetShownModels().front(), current);
  page->GetMaxCountBox()->setValue(9);
  page->GetImageOpacitySlider()->setValue(70);
  QTest::qWait(200);
  panel->grab().save(QString::fromStdString(OutputPath("texture-page.png")));
  project->GetView()->grab().save(QString::fromStdString(OutputPath("texture-page-view.png")));

  ASSERT_EQ(panel->SaveState(), 1);
  const std::string settings = MakeFileName(PFK_SETTINGS, stream);
  char value[64];
  GetPrivateProfileString("Texture", "ImageOpacity", "", value, sizeof value, settings.c_str());
  EXPECT_STREQ(value, "70");
  CTexturePage again;
  again.SetProject(stream, {}, names, nullptr);
  EXPECT_TRUE(again.GetEnableBox()->isChecked());
  EXPECT_EQ(again.GetMaxCountBox()->value(), 9);
}

// A textured model travels with its project: its ".tex" may name only a picture of the data
// folder. A name that leads out of it is read as a name in the folder, and missing there, the
// model takes its photograph; a model without texture coordinates is refused, saying so.
TEST(TexturedModelTest, APictureOutsideTheDataFolderIsNeverRead) {
  ScratchFolder folder;
  const fs::path data = folder / "site_data";
  fs::create_directories(data);
  COrientation orientation;
  orientation.SetInterior(100, {0, 0}, 1, 64, 48);
  orientation.SetExterior({0, 0, 20}, 0, 0, 0);
  std::string why;
  ASSERT_TRUE(WriteTexturedGround(data / "a.jpg", orientation, 0, why)) << why;
  cv::imwrite((data / "a.jpg").string(), cv::Mat(48, 64, CV_8UC3, cv::Scalar(0, 128, 255)));
  cv::imwrite((folder / "outside.jpg").string(), cv::Mat(32, 32, CV_8UC3, cv::Scalar::all(90)));
  WritePrivateProfileString("Texture", "File", "../outside.jpg", (data / "a.tex").c_str());

  const double centre[3] = {0, 0, 0};
  STexturedModel model;
  ASSERT_TRUE(ReadTexturedModel(data.string(), "a", (data / "a.jpg").string(), centre, model, why))
      << why;
  int size[3];
  vtkImageData::SafeDownCast(model.picture->GetTexture()->GetInputDataObject(0, 0))
      ->GetDimensions(size);
  EXPECT_EQ(size[0], 64);
  EXPECT_EQ(size[1], 48);

  ASSERT_TRUE(WriteTexturedGround(data / "b.jpg", orientation, 0, why)) << why;
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName((data / "b.vtp").c_str());
  reader->Update();
  reader->GetOutput()->GetPointData()->RemoveArray("Texture");
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetInputData(reader->GetOutput());
  writer->SetFileName((data / "b.vtp").c_str());
  writer->Write();
  EXPECT_FALSE(
      ReadTexturedModel(data.string(), "b", (data / "a.jpg").string(), centre, model, why));
  EXPECT_NE(why.find("no polygons with a \"Texture\" array"), std::string::npos) << why;
}
