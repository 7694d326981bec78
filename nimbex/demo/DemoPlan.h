// The demo site's plan and orthophoto, in the site's absolute coordinates as a surveyor
// delivers them beside a scan: the plan a DXF drawing of 3D polylines (buildings along their
// roof edges, roads on the ground) written through OGR, the orthophoto a nadir GeoTIFF with
// its world file.
#pragma once

#include <functional>
#include <string>

#include "nimbex/demo/DemoSite.h"

// Plan layers and their colour indices. Buildings with a grey roof carry a colour of their
// own; every other outline takes its layer's colour.
constexpr char kDemoBuildingLayer[] = "Buildings";
constexpr char kDemoRoadLayer[] = "Roads";
constexpr int kDemoBuildingLayerColor = 2;  // yellow
constexpr int kDemoRoadLayerColor = 4;      // cyan
constexpr int kDemoGreyRoofColor = 30;      // orange

// Writes the plan of the site made with `settings` as DXF. On failure returns false with the
// reason in `error` and leaves no file behind.
bool WriteDemoPlan(const std::string& outputPath, const DemoSiteSettings& settings,
                   std::string& error);

constexpr double kDemoOrthoPixelSize = 0.25;  // metres, about the site's point spacing

// Writes the orthophoto of the site made with `settings` as an RGB GeoTIFF with `pixelSize`
// metres per pixel, and its world file (the picture's name with the extension "tfw").
// `onRow` (may be empty) receives the rows written so far and the row count. On failure
// returns false with the reason in `error` and leaves neither file behind.
bool WriteDemoOrthophoto(const std::string& outputPath, const DemoSiteSettings& settings,
                         double pixelSize, const std::function<void(int done, int rows)>& onRow,
                         std::string& error);
