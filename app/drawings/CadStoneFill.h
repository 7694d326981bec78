// Outlining a stone on an orthophoto from one click inside it.
//
// The picture around the click (a window of 512 × 512 pixels of the full image, centred on
// the click and cut at the image's edges: stones up to about 500 pixels across) is turned to
// grey, inverted when asked. A 4-connected flood fill from the click takes the pixels whose grey
// lies within `loDiff` below and `upDiff` above the clicked pixel's; the outer contour of that
// region, the one that holds the click, gives the stone's outline as its convex hull.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "CadDrawing.h"

struct CadStoneTolerance {
  // 20 grey levels either side of the clicked pixel outline a stone that stands out from the
  // ground around it without running into the joints between stones.
  int loDiff = 20;
  int upDiff = 20;
  bool invert = false;
};

// The side of the window read around the click, in full-resolution pixels.
constexpr int kStoneWindow = 512;

// The outline, in pixels of `picture` (grey, BGR or BGRA bytes), of the region around `seed`;
// empty when the region is too small to have one (under three pixels of hull).
std::vector<cv::Point> FillStoneOutline(const cv::Mat& picture, cv::Point seed,
                                        const CadStoneTolerance& tolerance);

// The full-resolution pixel (column, and row counted from the top) of an image entity under a
// drawing point; false when the point lies outside the image.
bool GetImagePixel(const CadEntity& image, double x, double y, int& column, int& row);

// The outline of the stone at a pixel of an image entity, in drawing units; empty when the
// pixels cannot be read or no outline forms.
std::vector<CadPoint> OutlineStone(const CadEntity& image, int column, int row,
                                   const CadStoneTolerance& tolerance);

// The area enclosed by a closed outline.
double OutlineArea(const std::vector<CadPoint>& outline);
