#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

#include "OrientationImport.h"
#include "tests/support/CommandRunner.h"

namespace fs = std::filesystem;
using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;
using Matrix3 = COrientation::Matrix3;

namespace {

class ImportFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "orientation import-XXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(m_Folder); }

  void WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(m_Folder / name, std::ios::binary) << text;
  }
  void WritePhotograph(const std::string& name, int width, int height) const {
    fs::create_directories((m_Folder / name).parent_path());
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(Qt::gray);
    ASSERT_TRUE(picture.save(QString::fromStdString((m_Folder / name).string()), "JPG"));
  }
  COrientation Read(const std::string& base) const {
    COrientation orientation(1);
    std::string why;
    EXPECT_EQ(orientation.Load(m_Folder / (base + ".int"), m_Folder / (base + ".est"), &why), 1)
        << why;
    return orientation;
  }
  int CountOrientationFiles() const {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_Folder))
      count += entry.path().extension() == ".int" || entry.path().extension() == ".est";
    return count;
  }

  fs::path m_Folder;
};

// Two photographs of a 640 x 480 camera: the first at the origin looking along the model's
// +z, the second turned 90 degrees about z with t = (1, 0, 5). Model point (1, 2, 10) lies
// at x = 0.1, y = 0.2 in the first, (2, -1, 5) at x = y = 0.2 in the second.
const char kTwoImages[] =
    "# Image list with two lines of data per image:\n"
    "#   IMAGE_ID, QW, QX, QY, QZ, TX, TY, TZ, CAMERA_ID, NAME\n"
    "#   POINTS2D[] as (X, Y, POINT3D_ID)\n"
    "1 1 0 0 0 0 0 0 1 first.jpg\n"
    "370 340 10 10.5 20.5 20\n"
    "2 0.70710678118654757 0 0 0.70710678118654757 1 0 5 1 sub folder/second.JPG\n"
    "\n";

struct HandCase {
  const char* camera;
  Point2 first, second;  // the two points' pixels, worked out by hand
};

// Pixel = focal * distorted + centre, with r^2 = 0.05 and 0.08 for the two points.
const HandCase kHandCases[] = {
    {"1 SIMPLE_PINHOLE 640 480 500 320 240", {370, 340}, {420, 340}},
    {"1 PINHOLE 640 480 500 520 320 240", {370, 344}, {420, 344}},
    {"1 SIMPLE_RADIAL 640 480 500 320 240 0.1", {370.25, 340.5}, {420.8, 340.8}},
    {"1 RADIAL 640 480 500 320 240 0.1 0.01", {370.25125, 340.5025}, {420.8064, 340.8064}},
    // x_d = x L + 2 p1 x y + p2 (r^2 + 2 x^2), y_d = y L + p1 (r^2 + 2 y^2) + 2 p2 x y.
    {"1 OPENCV 640 480 500 520 320 240 0.1 0.01 0.001 0.002",
     {370.34125, 344.6318},
     {421.0064, 345.005056}},
};

void ExpectPixel(const COrientation& orientation, const Point3& point, const Point2& expected) {
  Point2 pixel;
  ASSERT_EQ(orientation.Pt3dToPix(point, pixel), 1);
  EXPECT_NEAR(pixel.X(), expected.X(), 1e-9);
  EXPECT_NEAR(pixel.Y(), expected.Y(), 1e-9);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ImportFolder, EachCameraModelProjectsAsComputedByHand) {
  WriteText("images.txt", kTwoImages);
  WritePhotograph("first.jpg", 640, 480);
  WritePhotograph("sub folder/second.JPG", 640, 480);
  for (const HandCase& hand : kHandCases) {
    SCOPED_TRACE(hand.camera);
    WriteText("cameras.txt", std::string("# Camera list\n") + hand.camera + "\n");
    COrientationImport import;
    ASSERT_EQ(import.Import(m_Folder, m_Folder), 1)
        << (import.GetProblems().empty() ? "" : import.GetProblems()[0].second);
    EXPECT_EQ(import.GetWrittenFiles(),
              (std::vector<std::string>{(m_Folder / "first.int").string(),
                                        (m_Folder / "first.est").string(),
                                        (m_Folder / "sub folder/second.int").string(),
                                        (m_Folder / "sub folder/second.est").string()}));

    const COrientation first = Read("first"), second = Read("sub folder/second");
    ExpectPixel(first, Point3(1, 2, 10), hand.first);
    ExpectPixel(second, Point3(2, -1, 5), hand.second);
    EXPECT_EQ(first.GetN(), Point3(0, 0, 0));
    EXPECT_NEAR((second.GetN() - Point3(0, 1, -5)).Length(), 0, 1e-15);
    // Points behind the camera along the model's -z are refused, not mirrored in.
    Point2 pixel;
    EXPECT_EQ(first.Pt3dToPix(Point3(1, 2, -10), pixel), 0);
    EXPECT_FALSE(first.IsInImage(Point3(-1, -2, -10)));
  }
  EXPECT_EQ(Read("first").GetMeanGSD(), 0) << "without points3D.txt no depth is known";
}

TEST_F(ImportFolder, MeanGroundSamplingDistanceFromTheObservedPoints) {
  WriteText("cameras.txt", "1 PINHOLE 640 480 500 520 320 240\n");
  WriteText("images.txt", kTwoImages);
  WriteText("points3D.txt", "10 1 2 10 0 0 0 0.5 1 0\n20 3 4 30 255 255 255 0.1 1 1\n");
  WritePhotograph("first.jpg", 640, 480);
  WritePhotograph("sub folder/second.JPG", 640, 480);
  COrientationImport import;
  ASSERT_EQ(import.Import(m_Folder, m_Folder), 1);
  // Depths 10 and 30 in the first photograph; the second observes none.
  EXPECT_NEAR(Read("first").GetMeanGSD(), 20.0 / 500, 1e-15);
  EXPECT_EQ(Read("sub folder/second").GetMeanGSD(), 0);
}

TEST(OrientationImport, PoseConversionGoesBothWays) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int k = 0; k < 200; ++k) {
    double q[4] = {unit(random), unit(random), unit(random), unit(random)};
    const double t[3] = {100 * unit(random), 100 * unit(random), 100 * unit(random)};
    Point3 centre;
    Matrix3 rotation;
    SfmPoseToExterior(q, t, centre, rotation);
    double qBack[4], tBack[3];
    ExteriorToSfmPose(centre, rotation, qBack, tBack);
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    const double sign = q[0] < 0 ? -1 : 1;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(qBack[i], sign * q[i] / norm, 1e-12);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(tBack[i], t[i], 1e-11);

    COrientation orientation(1);
    ASSERT_EQ(orientation.SetExterior(centre, rotation), 1) << "a proper rotation";
    // The camera looks along the model pose's +z: a point ahead of it is in front of ours.
    const Matrix3 worldToCamera = Matrix3(1, 0, 0, 0, -1, 0, 0, 0, -1) * rotation.Transpose();
    const Point3 ahead = centre + worldToCamera.Transpose() * Point3(0.1, -0.2, 5);
    const Point3 inCamera = rotation.Transpose() * (ahead - centre);
    EXPECT_NEAR(inCamera.Z(), -5, 1e-9);
    EXPECT_NEAR(inCamera.Y(), 0.2, 1e-9) << "the model's image y points down, ours up";
  }
}

TEST_F(ImportFolder, ProblemsNameTheFileAndLine) {
  struct Damage {
    std::string cameras, images, file, text;
    bool writesNothing;
  };
  const std::string camera = "1 PINHOLE 640 480 500 520 320 240\n";
  const std::string pose = "1 1 0 0 0 0 0 0 1 first.jpg\n\n";
  const Damage damages[] = {
      {"", pose, "cameras.txt", "missing", true},
      {camera + "2 PINHOLE 640 x 500 500 320 240\n", pose, "cameras.txt", "line 2: the width",
       true},
      {camera + camera, pose, "cameras.txt", "line 2: camera 1 is listed twice", true},
      {camera, "1 1 0 0 0 0 0 0 1\n", "images.txt", "line 1: expected IMAGE_ID", true},
      {camera, "# c\n1 1 0 nan 0 0 0 0 1 first.jpg\n", "images.txt", "line 2: quaternion", true},
      {camera, "1 0 0 0 0 0 0 0 1 first.jpg\n", "images.txt", "quaternion is zero", true},
      {camera, pose + pose, "images.txt", "line 3: image 1 is listed twice", true},
      {camera, "1 1 0 0 0 0 0 0 1 first.jpg\n1 2 3 4\n", "images.txt", "line 2: 2D points", true},
      {"1 FOV 640 480 500 500 320 240 0.9\n", pose, "cameras.txt",
       "line 1: camera model FOV is not supported", false},
      {"1 PINHOLE 640 480 500 520 320\n", pose, "cameras.txt", "takes 4 parameters", false},
      {"1 SIMPLE_RADIAL 640 480 500 320 240 -5\n", pose, "cameras.txt", "folds back", false},
      {camera, "1 1 0 0 0 0 0 0 7 first.jpg\n\n", "images.txt", "line 1: camera 7", false},
      {camera, "1 1 0 0 0 0 0 0 1 ../first.jpg\n\n", "images.txt", "out of the image folder",
       false},
      {camera, "1 1 0 0 0 0 0 0 1 /etc/first.jpg\n\n", "images.txt", "out of the image folder",
       false},
      {camera, "1 1 0 0 0 0 0 0 1 absent.jpg\n\n", "absent.jpg",
       "photograph not found (named on line 1", false},
      {"1 PINHOLE 320 240 500 520 160 120\n", pose, "first.jpg",
       "640 x 480 pixels but its camera 1", false},
      {camera, "", "images.txt", "no photographs", true},
  };
  fs::create_directories(m_Folder / "model");
  WritePhotograph("photos/first.jpg", 640, 480);
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.cameras + damage.images);
    fs::remove(m_Folder / "model/cameras.txt");
    if (!damage.cameras.empty()) WriteText("model/cameras.txt", damage.cameras);
    WriteText("model/images.txt", damage.images);
    COrientationImport import;
    EXPECT_EQ(import.Import(m_Folder / "model", m_Folder / "photos"), 0);
    ASSERT_FALSE(import.GetProblems().empty());
    const auto& [file, text] = import.GetProblems().front();
    EXPECT_TRUE(Contains(file, damage.file)) << file;
    EXPECT_TRUE(Contains(text, damage.text)) << text;
    EXPECT_EQ(CountOrientationFiles(), 0) << text;
    if (damage.writesNothing) {
      EXPECT_TRUE(Contains(text, "nothing was imported") || Contains(text, "no photographs"));
    }
  }

  // One unusable camera does not hold back the photographs of the others.
  WriteText("model/cameras.txt", camera + "2 FOV 640 480 500 500 320 240 0.9\n");
  WriteText("model/images.txt", pose + "2 1 0 0 0 0 0 0 2 first.jpg\n\n");
  COrientationImport import;
  EXPECT_EQ(import.Import(m_Folder / "model", m_Folder / "photos"), 0);
  EXPECT_EQ(import.GetWrittenFiles().size(), 2u);
  EXPECT_EQ(import.GetProblems().size(), 2u) << "the camera and the photograph it leaves out";
}

TEST_F(ImportFolder, CommandWorksWithoutADisplay) {
  WriteText("cameras.txt", "1 PINHOLE 640 480 500 520 320 240\n");
  WriteText("images.txt", "1 1 0 0 0 0 0 0 1 first.jpg\n\n2 1 0 0 0 0 0 0 1 gone.jpg\n");
  WritePhotograph("first.jpg", 640, 480);
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY " + Quoted(ORVALIS_PROGRAM) + " --import-orientations ";
  CommandResult result = RunProgram(command + Quoted(m_Folder) + " " + Quoted(m_Folder));
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Contains(result.out, (m_Folder / "first.int").string())) << result.out;
  EXPECT_TRUE(Contains(result.out, "gone.jpg: photograph not found")) << result.out;
  EXPECT_TRUE(Contains(result.out, "oriented photographs: 1, problems: 1")) << result.out;

  WriteText("images.txt", "1 1 0 0 0 0 0 0 1 first.jpg\n\n");
  EXPECT_EQ(RunProgram(command + Quoted(m_Folder) + " " + Quoted(m_Folder)).status, 0);
  result = RunProgram(command + Quoted(m_Folder));
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(Contains(result.out, "usage")) << result.out;
}

// The reconstruction of a stone portal: 12 photographs, 11,384 points, 73,327 observations.
TEST_F(ImportFolder, RealReconstructionReprojectsOntoItsObservations) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path model = fs::path(data ? data : "") / "sfm/gtsfm_lund_door";
  if (!data || !fs::exists(model / "images.txt")) GTEST_SKIP() << "no " << model;
  for (const auto& entry : fs::directory_iterator(model / "images"))
    fs::create_symlink(entry.path(), m_Folder / entry.path().filename());

  COrientationImport import;
  ASSERT_EQ(import.Import(model, m_Folder), 1)
      << import.GetProblems().front().first << ": " << import.GetProblems().front().second;
  EXPECT_EQ(import.GetWrittenFiles().size(), 24u);

  CSfmModel sfm;
  std::string file, why;
  ASSERT_EQ(sfm.Read(model, file, why), 1) << file << ": " << why;
  std::map<int, COrientation> orientations;
  double sum = 0, largest = 0;
  int count = 0;
  for (const SfmImage& image : sfm.GetImages()) {
    const COrientation orientation = Read(fs::path(image.name).stem().string());
    orientations[image.id] = orientation;
    EXPECT_GT(orientation.GetMeanGSD(), 0);

    double q[4], t[3];
    ExteriorToSfmPose(orientation.GetN(), orientation.GetRotMat(), q, t);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], image.q[i], 1e-6);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(t[i], image.t[i], 1e-12 * (1 + std::fabs(t[i])));

    for (const SfmObservation& observation : image.observations) {
      if (observation.point3DId < 0) continue;
      Point2 pixel;
      ASSERT_EQ(orientation.Pt3dToPix(sfm.GetPoints().at(observation.point3DId).position, pixel),
                1);
      const double distance =
          std::hypot(pixel.X() - observation.pixel.X(), pixel.Y() - observation.pixel.Y());
      sum += distance;
      largest = std::max(largest, distance);
      ++count;
    }
  }
  EXPECT_EQ(count, 73327);
  EXPECT_LT(sum / count, 1.0);
  EXPECT_NEAR(sum / count, 0.356, 0.001);
  EXPECT_NEAR(largest, 3.96, 0.01);

  Point2 pixel;
  ASSERT_EQ(orientations[6].Pt3dToPix(sfm.GetPoints().at(1).position, pixel), 1);
  EXPECT_NEAR(pixel.X(), 366.3895, 1e-4);
  EXPECT_NEAR(pixel.Y(), 46.8740, 1e-4);
  ASSERT_EQ(orientations[12].Pt3dToPix(sfm.GetPoints().at(5).position, pixel), 1);
  EXPECT_NEAR(pixel.X(), 589.3921, 1e-4);
  EXPECT_NEAR(pixel.Y(), 53.9117, 1e-4);
  EXPECT_NEAR((orientations[1].GetN() - Point3(8.100636, 0.045582, 0.071304)).Length(), 0, 1e-6);
  EXPECT_NEAR((orientations[7].GetN() - Point3(-0.234243, -0.000784, -0.147743)).Length(), 0, 1e-6);
  EXPECT_NEAR((orientations[12].GetN() - Point3(-5.313413, 0.213502, 1.164971)).Length(), 0, 1e-6);
}
