// The synthetic survey site of `nimbex demo-site`: rolling grassland crossed by roads, with
// houses, woods, single trees and shrubs, flown strip by strip by an airborne laser scanner.
// Points come in acquisition order (scanlines sweep across a strip, lines advance along it,
// strips alternate in direction), so the file looks like a real flight, not like sorted data.
// The site grows with the point count to keep about 15 points per square metre; what stands
// where, and every point, depends only on the seed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "nimbex/creation/LasWriter.h"

constexpr long long kMaxDemoSitePoints = 2000000000;

struct DemoSiteSettings {
  long long points = 2000000;
  unsigned seed = 1;
  // Stamped into the header; the current day when empty.
  std::optional<LasDate> creationDate;
};

// Why a file of the demo site of `points` points (its LAS file, or its plan or orthophoto:
// `kind` names the format) cannot be written to `outputPath`, or "" when it can: a count
// outside 1..kMaxDemoSitePoints, a path naming a folder or a device, a missing folder. An
// existing file is overwritten.
std::string DemoSiteRequestProblem(const std::string& outputPath, long long points,
                                   const std::string& kind = "LAS");

// Writes the site as LAS 1.4 point format 7 (colours, GPS time). `onProgress` (may be empty)
// receives the number of points written so far every kDemoSiteProgressStep points. On
// failure returns false with the reason in `error` and leaves no file behind.
constexpr long long kDemoSiteProgressStep = 100000;
bool WriteDemoSite(const std::string& outputPath, const DemoSiteSettings& settings,
                   const std::function<void(long long written)>& onProgress, std::string& error);
