// The arithmetic of the Points of View, without VTK or widgets: where a camera marker stands,
// the shape of the current-view pyramid, the frames of the camera's flight to a photograph,
// the size of the markers, and whether a photograph's missing orientation is still to be
// reported.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "nimbex/platform/Geometry.h"

class COrientation;

using Matrix4 = std::array<double, 16>;  // row-major, M * column vector

// The camera's pose as a 4 x 4 matrix: the rotation (camera axes to model axes) in the upper
// left block, the camera centre in the last column, (0, 0, 0, 1) as the last row.
Matrix4 MakePoseMatrix(const Wml::Matrix3<double>& rotation, const double centre[3]);
// `pose` followed by a scale along the camera's own x, y and z axes.
Matrix4 ScaledPose(const Matrix4& pose, const double scale[3]);

// The camera centre of a photograph in the coordinates of a window whose centre is
// `windowCentre` (the window draws absolute coordinates minus its centre).
void CameraCentreInWindow(const COrientation& orientation, const double windowCentre[3],
                          double centre[3]);

// A Point of View needs both halves of its orientation to stand in the model.
bool IsOrientedPhotograph(const COrientation& orientation);

// The current-view pyramid's scale along the camera's axes: the photograph's width over its
// height across, 1 upwards and twice the half-width of the image over the principal distance
// along the viewing axis, all read at the corner pixel (0, 0). 0 when the orientation gives no
// such shape (no interior, a zero height or principal distance).
int PyramidScale(const COrientation& orientation, double scale[3]);

// The size of every marker for the scale slider's position (0-100) in a model of `modelSize`.
double MarkerScale(int position, double modelSize);
// The model size the markers are measured by: a tenth of the diagonal of the model's box.
double ModelSizeOfBounds(const double bounds[6]);

struct SCameraFrame {
  double position[3];
  double focalPoint[3];
  double viewUp[3];
};

// The frames of the camera's flight from (position, focal point) to the photograph whose
// camera stands at `centre` (window coordinates) with `rotation`. Frame k of 20 (k = 0 … 19)
// moves the position k/20 of the way to the camera centre, so the last frame stops at 19/20.
// The focal point travels the same share of the way to the point the photograph looks at,
// as far in front of its camera as the focal point was from the position, so that the flight
// ends looking the way the photograph was taken. The view-up of every frame is the
// photograph's upward axis (the rotation's second column), except in a frame that looks along
// it, which keeps the frame before's (no camera can look along its own view-up).
std::vector<SCameraFrame> FlightFrames(const double position[3], const double focalPoint[3],
                                       const double centre[3], const Wml::Matrix3<double>& rotation,
                                       const double initialViewUp[3]);
constexpr int kFlightFrameCount = 20;

// The image's own settings file says whether its missing orientation is still reported
// (section "Orientation", key "warningNotPresent", "true" unless stored otherwise).
bool IsOrientationWarningWanted(const std::string& imagePath);
// Stores the user's choice; 1 when written.
int StoreOrientationWarningWanted(const std::string& imagePath, bool wanted);
