// A photograph of the demo scene as a camera of a given orientation takes it: every point is
// projected through the orientation (lens distortion included) and drawn as a disc as large
// as its footprint at its distance, so that surfaces close. A depth buffer keeps the nearest
// surface, whose discs are blended into a smooth picture; where no point is hit the sky shows
// above the horizon and hazy distant land below it. Vignetting, a little softness and sensor
// noise finish the picture.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

class CDemoScene;
class COrientation;

struct RenderedPhoto {
  cv::Mat image;         // 8-bit blue, green, red; the orientation's raster size
  double meanDepth = 0;  // mean distance along the viewing axis of the surfaces seen
};

// The same scene, orientation and seed give the same picture.
RenderedPhoto RenderDemoPhoto(const CDemoScene& scene, const COrientation& orientation,
                              uint64_t seed);
