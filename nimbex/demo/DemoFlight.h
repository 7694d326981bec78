// Where the photographs of the demo site are taken from: a survey drone flying a block of
// nadir strips over the houses in the middle of the site, then circling buildings with its
// camera tilted, and a surveyor on foot photographing houses from the ground on later days.
// Each shot gets the camera's interior orientation, its exterior orientation (with the
// small tilts and turns of a real flight or a hand-held camera), a name as the camera would
// give it and the time it was taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nimbex/platform/Orientation.h"

class CDemoScene;

enum class DemoShotKind { Nadir, Oblique, Ground };

struct DemoShot {
  std::string name;  // the photograph's file name, "DJI_0412.JPG" or "IMG_4127.JPG"
  DemoShotKind kind;
  COrientation orientation;  // absolute model coordinates
  bool withExterior = true;  // false: the photograph comes without its ".est"
  int64_t time = 0;          // when it was taken, seconds since 1970 (UTC)
};

// Full-size rasters: the drone's 4:3 camera and the surveyor's 3:2 camera.
constexpr int kDroneRaster[2] = {2000, 1500};
constexpr int kGroundRaster[2] = {1800, 1200};

// `count` shots of the scene: about half nadir, a quarter oblique and a quarter from the
// ground; one in eight without exterior orientation file. `sizeFactor` scales the rasters
// and keeps the fields of view. The same scene, count and seed give the same shots.
std::vector<DemoShot> PlanDemoShots(const CDemoScene& scene, int count, unsigned seed,
                                    double sizeFactor);
