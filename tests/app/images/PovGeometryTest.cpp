// Where the Points of View stand and how the camera flies to them, without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "PovGeometry.h"
#include "nimbex/platform/Orientation.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

COrientation Camera(int width, int height, const COrientation::Point3& centre, double omega,
                    double phi, double kappa) {
  COrientation orientation(1);
  EXPECT_EQ(orientation.SetInterior(35, {0, 0}, 0.01, width, height), 1);
  EXPECT_EQ(orientation.SetExterior(centre, omega, phi, kappa), 1);
  return orientation;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(PovGeometryTest, TheMarkerStandsOnTheCameraCentreTurnedAsTheCamera) {
  const COrientation camera = Camera(600, 400, {1010, 2020, 330}, 10, -20, 30);
  const double windowCentre[3] = {1000, 2000, 300};
  double centre[3];
  CameraCentreInWindow(camera, windowCentre, centre);
  EXPECT_DOUBLE_EQ(centre[0], 10);
  EXPECT_DOUBLE_EQ(centre[1], 20);
  EXPECT_DOUBLE_EQ(centre[2], 30);

  const double scale[3] = {2, 2, 2};
  const Matrix4 pose = ScaledPose(MakePoseMatrix(camera.GetRotMat(), centre), scale);
  // The marker's viewing axis, (0, 0, -0.25) of the camera, points where the camera looks.
  const double tip[3] = {pose[2] * -0.25 + pose[3], pose[6] * -0.25 + pose[7],
                         pose[10] * -0.25 + pose[11]};
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(tip[axis], centre[axis] - 0.5 * camera.GetRotMat()(axis, 2), 1e-12);
  EXPECT_EQ(pose[12], 0);
  EXPECT_EQ(pose[15], 1);
}

TEST(PovGeometryTest, APhotographIsOrientedByItsFilesNotByItsRotation) {
  // A nadir photograph taken with the camera's axes along the model's has the identity
  // rotation and is oriented all the same.
  EXPECT_TRUE(IsOrientedPhotograph(Camera(600, 400, {0, 0, 60}, 0, 0, 0)));
  COrientation interiorOnly(1);
  interiorOnly.SetInterior(35, {0, 0}, 0.01, 600, 400);
  EXPECT_FALSE(IsOrientedPhotograph(interiorOnly));
  EXPECT_FALSE(IsOrientedPhotograph(COrientation(1)));
}

TEST(PovGeometryTest, ThePyramidHasThePhotographsProportions) {
  double wide[3], tall[3], none[3] = {7, 7, 7};
  ASSERT_EQ(PyramidScale(Camera(800, 400, {0, 0, 0}, 0, 0, 0), wide), 1);
  EXPECT_DOUBLE_EQ(wide[0], 2 * wide[1]);
  // Half the image's width (4 units of 0.01 x 400 pixels) twice over the principal distance.
  EXPECT_DOUBLE_EQ(wide[2], 2 * 4.0 / 35);
  ASSERT_EQ(PyramidScale(Camera(300, 600, {0, 0, 0}, 0, 0, 0), tall), 1);
  EXPECT_DOUBLE_EQ(tall[0], 0.5);
  EXPECT_EQ(PyramidScale(COrientation(1), none), 0);
  EXPECT_EQ(none[0], 7);
}

TEST(PovGeometryTest, MarkersGrowWithTheSliderAndTheModel) {
  EXPECT_DOUBLE_EQ(MarkerScale(50, 4), 10);
  EXPECT_DOUBLE_EQ(MarkerScale(0, 4), 0);
  const double bounds[6] = {0, 30, 0, 40, 5, 5};
  EXPECT_DOUBLE_EQ(ModelSizeOfBounds(bounds), 5);
  const double flat[6] = {1, 1, 2, 2, 3, 3};
  EXPECT_DOUBLE_EQ(ModelSizeOfBounds(flat), 1);
}

TEST(PovGeometryTest, TheFlightStopsAtNineteenTwentiethsLookingAsThePhotograph) {
  // A camera above the model looking down at it, flying to an oblique photograph.
  const COrientation photo = Camera(600, 400, {0, 0, 0}, 70, 10, -30);
  const double position[3] = {100, -50, 400}, focal[3] = {100, -50, 0}, up[3] = {0, 1, 0};
  const double centre[3] = {-20, 30, 15};
  const std::vector<SCameraFrame> frames =
      FlightFrames(position, focal, centre, photo.GetRotMat(), up);
  ASSERT_EQ(frames.size(), 20u);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_DOUBLE_EQ(frames[0].position[axis], position[axis]);
    EXPECT_DOUBLE_EQ(frames[0].focalPoint[axis], focal[axis]);
    EXPECT_NEAR(frames[19].position[axis], position[axis] + 0.95 * (centre[axis] - position[axis]),
                1e-9);
    EXPECT_DOUBLE_EQ(frames[10].viewUp[axis], photo.GetRotMat()(axis, 1));
    EXPECT_DOUBLE_EQ(frames[19].viewUp[axis], photo.GetRotMat()(axis, 1));
  }
  // At the end the camera looks almost along the photograph's axis.
  double look[3], length = 0, along = 0;
  for (int axis = 0; axis < 3; ++axis) {
    look[axis] = frames[19].focalPoint[axis] - frames[19].position[axis];
    length += look[axis] * look[axis];
    along -= look[axis] * photo.GetRotMat()(axis, 2);
  }
  EXPECT_GT(along / std::sqrt(length), 0.99);
}

TEST(PovGeometryTest, NoFrameLooksAlongItsViewUp) {
  // Looking straight down at a photograph taken from the ground, whose upward axis is the
  // model's z: the first frame keeps the camera's own view-up.
  const COrientation ground = Camera(600, 400, {0, 0, 0}, 90, 0, 0);
  const double position[3] = {0, 0, 500}, focal[3] = {0, 0, 0}, up[3] = {0, 1, 0};
  const double centre[3] = {0, -40, 2};
  const std::vector<SCameraFrame> frames =
      FlightFrames(position, focal, centre, ground.GetRotMat(), up);
  EXPECT_DOUBLE_EQ(frames[0].viewUp[1], 1);
  EXPECT_NEAR(frames[1].viewUp[2], 1, 1e-12);
  for (const SCameraFrame& frame : frames)
    for (double value : frame.viewUp) EXPECT_TRUE(std::isfinite(value));
}

TEST(PovGeometryTest, TheOrientationWarningIsSilencedForOnePhotographOnly) {
  ScratchFolder folder;
  const std::string first = (folder / "IMG_1.jpg").string();
  const std::string second = (folder / "IMG_2.jpg").string();
  EXPECT_TRUE(IsOrientationWarningWanted(first));
  EXPECT_FALSE(fs::exists(folder / "IMG_1.ini"));
  std::ofstream(folder / "IMG_1.ini") << "; kept\n[Texture]\nopacity=40\n";
  ASSERT_EQ(StoreOrientationWarningWanted(first, false), 1);
  EXPECT_FALSE(IsOrientationWarningWanted(first));
  EXPECT_TRUE(IsOrientationWarningWanted(second));
  const std::string stored = ReadAll(folder / "IMG_1.ini");
  EXPECT_NE(stored.find("opacity=40"), std::string::npos);
  EXPECT_NE(stored.find("[Orientation]"), std::string::npos);
  EXPECT_NE(stored.find("warningNotPresent=false"), std::string::npos);
  // The value is compared without regard to case.
  std::ofstream(folder / "IMG_2.ini") << "[orientation]\nWarningNotPresent=TRUE\n";
  EXPECT_TRUE(IsOrientationWarningWanted(second));
  ASSERT_EQ(StoreOrientationWarningWanted(first, true), 1);
  EXPECT_TRUE(IsOrientationWarningWanted(first));
}
