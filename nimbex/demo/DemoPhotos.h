// Photographs of the demo site for `nimbex demo-photos`: JPEG pictures rendered from the
// site's points as a survey drone (nadir and oblique) and a surveyor on the ground take them,
// each with its ".int" and ".est" beside it (one in eight without ".est"), the files dated
// over several days as the shots were. Each oriented nadir photograph also comes with the
// textured model of the ground it sees (".vtp" and ".tex", DemoTexturedModel.h).
#pragma once

#include <string>
#include <vector>

#include "nimbex/demo/DemoFlight.h"

class CProgressSink;
class CTextSink;

constexpr int kMaxDemoPhotos = 999;

struct DemoPhotoSettings {
  int count = 16;
  unsigned seed = 1;
  // Scales the rasters (2000 x 1500 from the drone, 1800 x 1200 from the ground) and keeps
  // the fields of view: quicker, smaller photographs for tests.
  double sizeFactor = 1;
};

// Why the photographs cannot be made, or "" when they can: a count outside
// 1..kMaxDemoPhotos, a site that is not a file, an output path that is a file.
std::string DemoPhotosRequestProblem(const std::string& sitePath, const std::string& outputFolder,
                                     const DemoPhotoSettings& settings);

// Renders the photographs of the LAS site `sitePath` into `outputFolder` (made when missing),
// reporting phases on `status` and progress on `progress` (either may be null), and gives
// back the shots as rendered. Refuses, writing nothing, when any of the files it would write
// exists. On failure returns false with the reason in `error` and removes what it wrote.
bool WriteDemoPhotos(const std::string& sitePath, const std::string& outputFolder,
                     const DemoPhotoSettings& settings, CProgressSink* progress, CTextSink* status,
                     std::vector<DemoShot>& shots, std::string& error);
