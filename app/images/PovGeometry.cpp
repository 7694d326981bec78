#include "PovGeometry.h"

#include <cctype>
#include <cmath>

#include "ProjectFiles.h"
#include "nimbex/platform/Orientation.h"
#include "nimbex/platform/Profile.h"

namespace {

const char* const kWarningSection = "Orientation";
const char* const kWarningKey = "warningNotPresent";

double Length(const double v[3]) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// True when `up` is too close to the direction `forward` to orient a camera.
bool IsAlongViewingAxis(const double forward[3], const double up[3]) {
  const double cross[3] = {forward[1] * up[2] - forward[2] * up[1],
                           forward[2] * up[0] - forward[0] * up[2],
                           forward[0] * up[1] - forward[1] * up[0]};
  return Length(cross) <= 1e-6 * Length(forward) * Length(up);
}

}  // namespace

Matrix4 MakePoseMatrix(const Wml::Matrix3<double>& rotation, const double centre[3]) {
  Matrix4 pose{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) pose[4 * row + col] = rotation(row, col);
    pose[4 * row + 3] = centre[row];
  }
  pose[15] = 1;
  return pose;
}

Matrix4 ScaledPose(const Matrix4& pose, const double scale[3]) {
  Matrix4 scaled = pose;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) scaled[4 * row + col] *= scale[col];
  return scaled;
}

void CameraCentreInWindow(const COrientation& orientation, const double windowCentre[3],
                          double centre[3]) {
  const COrientation::Point3& n = orientation.GetN();
  for (int axis = 0; axis < 3; ++axis) centre[axis] = n[axis] - windowCentre[axis];
}

bool IsOrientedPhotograph(const COrientation& orientation) {
  return orientation.HasInterior() && orientation.HasExterior();
}

int PyramidScale(const COrientation& orientation, double scale[3]) {
  if (!orientation.HasInterior()) return 0;
  const COrientation::Point2 corner = orientation.PixToFid({0, 0});
  const double fx = std::fabs(corner.X()), fy = std::fabs(corner.Y());
  const double c = std::fabs(orientation.GetFocalLength());
  if (!(fy > 0) || !(c > 0) || !std::isfinite(fx / fy)) return 0;
  scale[0] = fx / fy;
  scale[1] = 1;
  scale[2] = 2 * fx / c;
  return 1;
}

double MarkerScale(int position, double modelSize) {
  return position * (modelSize / 20);
}

double ModelSizeOfBounds(const double bounds[6]) {
  const double extent[3] = {bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4]};
  const double diagonal = Length(extent);
  return std::isfinite(diagonal) && diagonal > 0 ? diagonal / 10 : 1;
}

std::vector<SCameraFrame> FlightFrames(const double position[3], const double focalPoint[3],
                                       const double centre[3], const Wml::Matrix3<double>& rotation,
                                       const double initialViewUp[3]) {
  const double offset[3] = {focalPoint[0] - position[0], focalPoint[1] - position[1],
                            focalPoint[2] - position[2]};
  const double distance = Length(offset);
  // The photograph looks along its camera's -z axis, the rotation's third column negated.
  double target[3], up[3];
  for (int axis = 0; axis < 3; ++axis) {
    target[axis] = centre[axis] - distance * rotation(axis, 2);
    up[axis] = rotation(axis, 1);
  }
  std::vector<SCameraFrame> frames(kFlightFrameCount);
  const double* lastUp = initialViewUp;
  for (int k = 0; k < kFlightFrameCount; ++k) {
    SCameraFrame& frame = frames[k];
    const double share = double(k) / kFlightFrameCount;
    double forward[3];
    for (int axis = 0; axis < 3; ++axis) {
      frame.position[axis] = position[axis] + share * (centre[axis] - position[axis]);
      frame.focalPoint[axis] = focalPoint[axis] + share * (target[axis] - focalPoint[axis]);
      forward[axis] = frame.focalPoint[axis] - frame.position[axis];
    }
    const double* frameUp = IsAlongViewingAxis(forward, up) ? lastUp : up;
    for (int axis = 0; axis < 3; ++axis) frame.viewUp[axis] = frameUp[axis];
    lastUp = frame.viewUp;
  }
  return frames;
}

bool IsOrientationWarningWanted(const std::string& imagePath) {
  CProfile settings;
  settings.Load(MakeFileName(PFK_SETTINGS, imagePath));
  std::string value = settings.GetString(kWarningSection, kWarningKey, "true");
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value == "true";
}

int StoreOrientationWarningWanted(const std::string& imagePath, bool wanted) {
  const std::string path = MakeFileName(PFK_SETTINGS, imagePath);
  if (path.empty()) return 0;
  CProfile settings;
  settings.Load(path);
  if (!settings.SetString(kWarningSection, kWarningKey, wanted ? "true" : "false")) return 0;
  return settings.Save(path);
}
