// The Point-of-View filters: which photographs stay on offer, relative to the current Point of
// View, by the day they were taken, the distance between the cameras and the three rotation
// angles; and the project's filter settings file "<stream>_filter.ini". No widgets.
#pragma once

#include <string>
#include <vector>

// One photograph of the panel as the filters see it.
struct SPovImage {
  std::string path;
  bool hasPov = false;    // a Point of View was made for it
  bool oriented = false;  // its Point of View has an exterior orientation
  double centre[3]{};     // camera centre, in the 3D view's coordinates
  double rotation[3][3]{};
  int date = 0;  // yyyymmdd
};

struct SPovFilterSettings {
  bool time = false;
  int from = 20091212, to = 20291212;  // yyyymmdd, both days included
  bool space = false;
  double radiusBox = 1.0;  // the radius box; the distance filter uses its integer part
  bool angleActive[3]{};   // omega, phi, kappa; only with the space filter on
  // Each angle window reaches 360 - low degrees below the reference and up degrees above it.
  int low[3]{345, 345, 345};
  int up[3]{15, 15, 15};
};

struct SPovFilterResult {
  std::vector<std::string> available;  // the photographs on offer, in the panel's order
  std::vector<int> state;              // per image: -1 no Point of View, 0 passes, 1 filtered out
  bool filtersActive = false;
  std::string status;
  // The reference has no exterior orientation while a filter is on: the panel warns, and the
  // filtering still runs with what that Point of View holds.
  bool referenceNotOriented = false;
};

// Filters `images` against the Point of View of `current`. 1 when done; 0 when nothing is
// done (no images, no current image, or it has no Point of View), `result` then empty.
int ApplyPovFilters(const std::vector<SPovImage>& images, const std::string& current,
                    const SPovFilterSettings& settings, SPovFilterResult& result);

// The day a photograph was taken, as yyyymmdd in UTC: the birth time of its file where the
// file system keeps one, else its modification time; 0 when the file cannot be read.
int ImageFileDate(const std::string& path);

// "-15° +15°": how far the angle window reaches below and above the reference.
std::string AngleWindowText(int low, int up);

// A yyyymmdd number that names a real day of the years 1000-9999.
bool IsValidDate(int yyyymmdd);

// What the filter settings file holds: the settings (the radius as a whole number) and the
// range of the radius slider.
struct SPovFilterFile {
  SPovFilterSettings settings;
  int minRadius = 1, maxRadius = 10;
};

// Reads the file into `file`. A missing file, a missing key and a value that makes no sense
// (not a number, a day that does not exist, a radius outside the slider's range) give the
// defaults; angles are taken modulo 360. 1 when the file was read, 0 when it was missing or
// unreadable (all defaults).
int LoadPovFilterFile(const std::string& path, SPovFilterFile& file);
// Writes every key, keeping any other line of the file. 1 on success.
int SavePovFilterFile(const std::string& path, const SPovFilterFile& file);
