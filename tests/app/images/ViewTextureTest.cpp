// The textured view on points and photographs made here: a flat ground seen from above by a
// camera and photographed by a second one whose picture is a colour ramp, so that every
// pixel's expected colour is known.
#include <gtest/gtest.h>
#include <vtkCamera.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>

#include <QImage>
#include <QString>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

#include "ViewTexture.h"
#include "app/projects/ProjectImages.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPhotoWidth = 640;
constexpr int kPhotoHeight = 480;
constexpr double kPhotoFocal = 500;  // pixels
constexpr double kHeight = 10;       // of both cameras above the ground

// A colour ramp: blue follows the column, green the row, red is constant.
cv::Mat RampPicture() {
  cv::Mat picture(kPhotoHeight, kPhotoWidth, CV_8UC3);
  for (int row = 0; row < picture.rows; ++row)
    for (int column = 0; column < picture.cols; ++column)
      picture.at<cv::Vec3b>(row, column) = {uchar(column * 255 / kPhotoWidth),
                                            uchar(row * 255 / kPhotoHeight), 200};
  return picture;
}

// A photograph taken from `height` above (x, y) looking straight down, or straight up when
// `upwards`.
STexturePhoto Photograph(double x, double y, bool upwards = false) {
  STexturePhoto photo;
  photo.path = "ramp.jpg";
  photo.image = RampPicture();
  photo.orientation.SetInterior(kPhotoFocal, {0, 0}, 1, kPhotoWidth, kPhotoHeight);
  photo.orientation.SetExterior({x, y, kHeight}, upwards ? 180.0 : 0.0, 0, 0);
  photo.oriented = true;
  return photo;
}

struct SGround {
  vtkSmartPointer<vtkPolyData> points = vtkSmartPointer<vtkPolyData>::New();
  vtkSmartPointer<vtkFloatArray> normals = vtkSmartPointer<vtkFloatArray>::New();

  SGround() {
    points->SetPoints(vtkNew<vtkPoints>());
    normals->SetName("Normals");
    normals->SetNumberOfComponents(3);
  }
  // A point with an upward (or downward) normal.
  vtkIdType Add(double x, double y, double z = 0, bool facingUp = true) {
    const float normal[3] = {0, 0, facingUp ? 1.f : -1.f};
    normals->InsertNextTypedTuple(normal);
    return points->GetPoints()->InsertNextPoint(x, y, z);
  }
  // Jittered points over [-half, half]^2 every `spacing`.
  void AddField(double half, double spacing, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.3 * spacing, 0.3 * spacing);
    for (double x = -half; x <= half; x += spacing)
      for (double y = -half; y <= half; y += spacing) Add(x + jitter(random), y + jitter(random));
  }
  vtkPolyData* WithNormals() {
    points->GetPointData()->AddArray(normals);
    return points;
  }
};

// An off-screen window whose camera looks down on the ground from `kHeight` above the origin,
// in perspective, as the photographs do.
class ViewTextureTest : public testing::Test {
 protected:
  void SetUp() override {
    m_VtkWindow->SetOffScreenRendering(1);
    m_VtkWindow->SetMultiSamples(0);
    m_VtkWindow->SetSize(160, 120);
    m_Interactor->SetRenderWindow(m_VtkWindow);
    m_Window = CreateRenderWindow(&m_Tag, m_VtkWindow, m_Interactor, {});
    ASSERT_NE(m_Window, nullptr);
    vtkCamera* camera = m_Window->m_Renderer->GetActiveCamera();
    camera->ParallelProjectionOff();
    camera->SetPosition(0, 0, kHeight);
    camera->SetFocalPoint(0, 0, 0);
    camera->SetViewUp(0, 1, 0);
    camera->SetViewAngle(40);
    camera->SetClippingRange(1, 100);
  }
  void TearDown() override { DestroyRenderWindow(&m_Tag); }

  // The window pixel where a ground point shows.
  cv::Point PixelOf(double x, double y) const {
    const double p[3] = {x, y, 0};
    WinPoint pixel;
    CoordModelToWin(m_Window, p, &pixel);
    return {pixel.x, pixel.y};
  }

  const int m_Tag = 0;
  vtkNew<vtkRenderWindow> m_VtkWindow;
  vtkNew<vtkRenderWindowInteractor> m_Interactor;
  RenderWindow* m_Window = nullptr;
};

int BlackPixels(const cv::Mat& picture) {
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  return picture.rows * picture.cols - cv::countNonZero(grey);
}

}  // namespace

// The quick scan of the triangles gives exactly the picture of locating every pixel in the
// triangulation, with points that no photograph sees, points facing away and photographs of
// their own; and the picture is the photograph's ramp where the photograph sees the ground.
TEST_F(ViewTextureTest, ScanningTrianglesGivesThePictureOfLocatingEveryPixel) {
  SGround ground;
  ground.AddField(5, 0.15, 7);
  for (int k = 0; k < 40; ++k) ground.Add(-1 + 0.05 * k, 0.7, 0.5, k % 3 != 0);
  std::vector<STexturePhoto> photos = {Photograph(50, 0), Photograph(0.5, 0.3),
                                       Photograph(-0.5, 0)};
  CViewTexture fast(m_Window, photos), reference(m_Window, photos);
  reference.SetPixelMethod(ETexturePixels::PointLocation);
  ASSERT_EQ(fast.UpdateCamera(), 1);
  ASSERT_EQ(fast.TexturePoints(ground.WithNormals()), 1);
  ASSERT_EQ(reference.UpdateCamera(), 1);
  ASSERT_EQ(reference.TexturePoints(ground.WithNormals()), 1);
  const cv::Mat& picture = fast.GetPicture();
  ASSERT_EQ(picture.size(), cv::Size(160, 120));
  EXPECT_EQ(cv::norm(picture, reference.GetPicture(), cv::NORM_INF), 0.0);
  cv::imwrite(IMAGES_TEST_OUTPUT_DIR "/texture-ramp-160x120.png", picture);
  EXPECT_LT(BlackPixels(picture), picture.total() / 10);
  EXPECT_EQ(fast.GetMainIndex(), 1);
  // "ramp.jpg" is no file: the list's picture serves in place of the full-size one.
  EXPECT_FALSE(fast.IsMainLoaded());

  // Through the photograph above (0.5, 0.3): the ground point (-2, -2) shows the ramp's
  // colour at its pixel there.
  double column, row;
  ASSERT_EQ(photos[1].orientation.Pt3dToPix(-2, -2, 0, column, row), 1);
  const cv::Point at = PixelOf(-2, -2);
  const cv::Vec3b expected = photos[1].image.at<cv::Vec3b>(int(row), int(column));
  const cv::Vec3b shown = picture.at<cv::Vec3b>(at);
  for (int channel = 0; channel < 3; ++channel)
    EXPECT_NEAR(shown[channel], expected[channel], 3) << channel;
}

// The cases of the selection. Nearer points in a line 14 pixels apart claim their squares; a
// farther point 7 pixels from one of them, between two, is skipped; 7 pixels below the line,
// where its square still has empty pixels, it is triangulated. Facing away from every
// photograph, it is triangulated without a photograph and blackens its triangles. Points
// behind the camera, which the perspective would mirror into the window, are never
// triangulated. 31 points draw nothing.
TEST_F(ViewTextureTest, SelectionSkipsHiddenPointsAndBlackensThoseFacingAway) {
  const std::vector<STexturePhoto> photos = {Photograph(0, 0)};
  // Window pixels per model unit at the height z, for the camera of the fixture.
  const double focal = 60 / std::tan(20 * M_PI / 180);
  auto units = [focal](double pixels, double z) { return pixels / (focal / (kHeight - z)); };
  auto triangulate = [&](double belowPixels, bool facingUp) {
    SGround ground;
    for (int k = -4; k <= 4; ++k) ground.Add(units(14 * k, 0.3), 0, 0.3);
    for (int k = 0; k < 30; ++k) ground.Add(-4.35 + 0.3 * k, -2.5);
    ground.Add(units(7, -0.3), -units(belowPixels, -0.3), -0.3, facingUp);
    for (int k = 0; k < 5; ++k) ground.Add(-2 + k, 1.5, 2 * kHeight);
    CViewTexture texture(m_Window, photos);
    EXPECT_EQ(texture.UpdateCamera(), 1);
    EXPECT_EQ(texture.TexturePoints(ground.WithNormals()), 1);
    return std::make_pair(texture.GetVertexCount(), texture.GetPicture().clone());
  };
  EXPECT_EQ(triangulate(0, true).first, 39);
  EXPECT_EQ(triangulate(7, true).first, 40);

  const auto [count, picture] = triangulate(7, false);
  EXPECT_EQ(count, 40);
  cv::imwrite(IMAGES_TEST_OUTPUT_DIR "/texture-facing-away.png", picture);
  const cv::Point away(87, 67);
  EXPECT_EQ(picture.at<cv::Vec3b>(away), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(picture.at<cv::Vec3b>(away + cv::Point(2, 1)), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(picture.at<cv::Vec3b>(away + cv::Point(-3, -2)), cv::Vec3b(0, 0, 0));
  EXPECT_NE(picture.at<cv::Vec3b>(PixelOf(-1.2, -1.2)), cv::Vec3b(0, 0, 0));

  SGround few;
  for (int k = 0; k < 31; ++k) few.Add(-1.5 + 0.1 * k, 0);
  CViewTexture texture(m_Window, photos);
  ASSERT_EQ(texture.UpdateCamera(), 1);
  EXPECT_EQ(texture.TexturePoints(few.WithNormals()), 0);
  few.Add(1.6, 0);
  EXPECT_EQ(texture.TexturePoints(few.WithNormals()), 1);
}

// Photographs that see nothing of the view: one looking up at the sky, one whose picture
// could not be read, one without orientation. The picture is black and the main photograph
// stays the one chosen before.
TEST_F(ViewTextureTest, APictureNoPhotographSeesIsBlackAndKeepsTheMainPhotograph) {
  STexturePhoto unreadable = Photograph(0, 0);
  unreadable.image.release();
  STexturePhoto unoriented = Photograph(0, 0);
  unoriented.oriented = false;
  CViewTexture texture(m_Window,
                       {Photograph(0, 0, true), unreadable, unoriented, Photograph(30, 30)});
  SGround ground;
  ground.AddField(3, 0.2, 1);
  ASSERT_EQ(texture.UpdateCamera(), 1);
  ASSERT_EQ(texture.TexturePoints(ground.WithNormals()), 1);
  EXPECT_EQ(texture.GetMainIndex(), -1);
  EXPECT_EQ(BlackPixels(texture.GetPicture()), 160 * 120);

  // Seen by the far photograph from elsewhere, then not at all: its choice is kept.
  SGround far;
  far.AddField(1, 0.1, 2);
  m_Window->m_Renderer->GetActiveCamera()->SetPosition(30, 30, kHeight);
  m_Window->m_Renderer->GetActiveCamera()->SetFocalPoint(30, 30, 0);
  for (vtkIdType i = 0; i < far.points->GetNumberOfPoints(); ++i) {
    double p[3];
    far.points->GetPoint(i, p);
    far.points->GetPoints()->SetPoint(i, p[0] + 30, p[1] + 30, 0);
  }
  ASSERT_EQ(texture.UpdateCamera(), 1);
  ASSERT_EQ(texture.TexturePoints(far.WithNormals()), 1);
  EXPECT_EQ(texture.GetMainIndex(), 3);
  m_Window->m_Renderer->GetActiveCamera()->SetPosition(0, 0, kHeight);
  m_Window->m_Renderer->GetActiveCamera()->SetFocalPoint(0, 0, 0);
  ASSERT_EQ(texture.UpdateCamera(), 1);
  ASSERT_EQ(texture.TexturePoints(ground.WithNormals()), 1);
  EXPECT_EQ(texture.GetMainIndex(), 3);
  EXPECT_EQ(BlackPixels(texture.GetPicture()), 160 * 120);
}

// A window resized between two pictures gets a picture and a mask of its new size.
TEST_F(ViewTextureTest, ResizingTheWindowRemakesThePicture) {
  CViewTexture texture(m_Window, {Photograph(0, 0), Photograph(-6, 0), Photograph(6, 0)});
  SGround ground;
  ground.AddField(9, 0.2, 3);
  ASSERT_EQ(texture.UpdateCamera(), 1);
  ASSERT_EQ(texture.TexturePoints(ground.WithNormals()), 1);
  m_VtkWindow->SetSize(200, 90);
  ASSERT_EQ(texture.UpdateCamera(), 1);
  ASSERT_EQ(texture.TexturePoints(ground.WithNormals()), 1);
  EXPECT_EQ(texture.GetPicture().size(), cv::Size(200, 90));
  EXPECT_EQ(texture.GetMask().size(), cv::Size(200, 90));
  EXPECT_LT(BlackPixels(texture.GetPicture()), 200 * 90 / 10);
}

// The photographs of a project: an unreadable one and one of another size are left out with
// a sentence that names them; the others are read at half size with their orientation scaled.
TEST(TexturePhotosTest, PhotographsThatCannotServeAreNamed) {
  ScratchFolder folder;
  const fs::path data = folder.Path() / "site_data";
  fs::create_directories(data);
  COrientation orientation;
  orientation.SetInterior(kPhotoFocal, {0, 0}, 1, kPhotoWidth, kPhotoHeight);
  orientation.SetExterior({0, 0, kHeight}, 0, 0, 0);
  for (const char* name : {"a", "b", "c"}) {
    orientation.WriteINT(data / (std::string(name) + ".int"));
    orientation.WriteEST(data / (std::string(name) + ".est"));
  }
  cv::imwrite((data / "a.jpg").string(), RampPicture());
  cv::Mat small;
  cv::resize(RampPicture(), small, cv::Size(300, 300));
  cv::imwrite((data / "b.jpg").string(), small);
  std::FILE* broken = std::fopen((data / "c.jpg").c_str(), "wb");
  std::fputs("not a picture", broken);
  std::fclose(broken);

  CProjectImages images;
  const std::string project = (folder.Path() / "site.strm").string();
  ASSERT_EQ(images.InitImages(project, true), 3);
  ASSERT_EQ(images.LoadOrientations(project, true), 3);
  std::vector<std::string> problems;
  const std::vector<STexturePhoto> photos = LoadTexturePhotos(images, problems);
  ASSERT_EQ(photos.size(), 3u);
  EXPECT_EQ(photos[0].image.size(), cv::Size(kPhotoWidth / 2, kPhotoHeight / 2));
  EXPECT_DOUBLE_EQ(photos[0].orientation.GetScale(), 0.5);
  EXPECT_TRUE(photos[1].image.empty());
  EXPECT_TRUE(photos[2].image.empty());
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("b.jpg (300 x 300 pixels) is not the picture its orientation "
                             "describes (640 x 480)"),
            std::string::npos)
      << problems[0];
  EXPECT_NE(problems[1].find("c.jpg cannot be read"), std::string::npos) << problems[1];
}
