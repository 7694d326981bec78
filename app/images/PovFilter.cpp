#include "PovFilter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "nimbex/platform/Geometry.h"
#include "nimbex/platform/Profile.h"

namespace {

const char* const kTimeSection = "Time_Filter";
const char* const kSpaceSection = "Space_Filter";
const char* const kAngleNames[3] = {"omega", "phi", "kappa"};

const SPovImage* FindImage(const std::vector<SPovImage>& images, const std::string& path) {
  for (const SPovImage& image : images)
    if (image.path == path) return &image;
  return nullptr;
}

// Omega, phi and kappa of R = Rx * Ry * Rz, in radians.
void RotationAngles(const SPovImage& image, double angles[3]) {
  const double(&r)[3][3] = image.rotation;
  Wml::Matrix3<double> rotation(r[0][0], r[0][1], r[0][2], r[1][0], r[1][1], r[1][2], r[2][0],
                                r[2][1], r[2][2]);
  rotation.ToEulerAnglesXYZ(angles[0], angles[1], angles[2]);
}

double Distance(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

// The window is compared as it is, without wrapping round at +-pi: filters stored by users
// were chosen against this behaviour.
bool WithinAngleWindow(double angle, double reference, int low, int up) {
  const double lower = reference - (2 * M_PI - low * M_PI / 180);
  const double upper = reference + up * M_PI / 180;
  return lower < angle && angle < upper;
}

bool PassesFilters(const SPovImage& image, const SPovImage& reference,
                   const SPovFilterSettings& settings) {
  if (settings.time && (image.date < settings.from || image.date > settings.to)) return false;
  if (!settings.space) return true;
  const int radius = static_cast<int>(settings.radiusBox);
  if (Distance(image.centre, reference.centre) > radius) return false;
  double angles[3], referenceAngles[3];
  RotationAngles(image, angles);
  RotationAngles(reference, referenceAngles);
  for (int a = 0; a < 3; ++a)
    if (settings.angleActive[a] &&
        !WithinAngleWindow(angles[a], referenceAngles[a], settings.low[a], settings.up[a]))
      return false;
  return true;
}

std::string StatusText(bool filtersActive, size_t total, size_t available) {
  if (!filtersActive) return "No filters active";
  char text[96];
  std::snprintf(text, sizeof text, "Total images: %zu - Currently available: %zu", total,
                available);
  return text;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int ReadFlag(const CProfile& profile, const char* section, const std::string& key) {
  return profile.GetInt(section, key, 0) != 0;
}

int ReadDate(const CProfile& profile, const std::string& key, int def) {
  const int date = profile.GetInt(kTimeSection, key, def);
  return IsValidDate(date) ? date : def;
}

int ReadAngle(const CProfile& profile, const std::string& key, int def) {
  const int angle = profile.GetInt(kSpaceSection, key, def) % 360;
  return angle < 0 ? angle + 360 : angle;
}

void ReadRadius(const CProfile& profile, SPovFilterFile& file) {
  const SPovFilterFile defaults;
  file.minRadius = profile.GetInt(kSpaceSection, "minRadius", defaults.minRadius);
  file.maxRadius = profile.GetInt(kSpaceSection, "maxRadius", defaults.maxRadius);
  if (file.minRadius < 0 || file.maxRadius < file.minRadius) {
    file.minRadius = defaults.minRadius;
    file.maxRadius = defaults.maxRadius;
  }
  // The radius box may hold less than the slider's minimum, never more than its maximum.
  int radius = profile.GetInt(kSpaceSection, "radius", 1);
  if (radius < 0 || radius > file.maxRadius) radius = std::min(1, file.maxRadius);
  file.settings.radiusBox = radius;
}

}  // namespace

int ApplyPovFilters(const std::vector<SPovImage>& images, const std::string& current,
                    const SPovFilterSettings& settings, SPovFilterResult& result) {
  result = SPovFilterResult();
  const SPovImage* reference = current.empty() ? nullptr : FindImage(images, current);
  if (!reference || !reference->hasPov) return 0;

  result.filtersActive = settings.time || settings.space;
  result.referenceNotOriented = result.filtersActive && !reference->oriented;
  result.state.reserve(images.size());
  for (const SPovImage& image : images) {
    int state = -1;
    if (image.path == current)
      state = 0;
    else if (image.hasPov)
      state = PassesFilters(image, *reference, settings) ? 0 : 1;
    result.state.push_back(state);
    if (state == 0) result.available.push_back(image.path);
  }
  result.status = StatusText(result.filtersActive, images.size(), result.available.size());
  return 1;
}

int ImageFileDate(const std::string& path) {
  struct statx status {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &status) != 0) return 0;
  const time_t seconds =
      (status.stx_mask & STATX_BTIME) ? status.stx_btime.tv_sec : status.stx_mtime.tv_sec;
  struct tm day {};
  if (!gmtime_r(&seconds, &day)) return 0;
  return (day.tm_year + 1900) * 10000 + (day.tm_mon + 1) * 100 + day.tm_mday;
}

std::string AngleWindowText(int low, int up) {
  char text[48];
  std::snprintf(text, sizeof text, "-%d\u00b0 +%d\u00b0", 360 - low, up);
  return text;
}

bool IsValidDate(int yyyymmdd) {
  const int year = yyyymmdd / 10000, month = yyyymmdd / 100 % 100, day = yyyymmdd % 100;
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return day <= kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

int LoadPovFilterFile(const std::string& path, SPovFilterFile& file) {
  CProfile profile;
  const int read = profile.Load(path);
  file = SPovFilterFile();
  SPovFilterSettings& settings = file.settings;
  const SPovFilterSettings defaults;
  settings.time = ReadFlag(profile, kTimeSection, "active");
  settings.from = ReadDate(profile, "from", defaults.from);
  settings.to = ReadDate(profile, "to", defaults.to);
  settings.space = ReadFlag(profile, kSpaceSection, "active");
  ReadRadius(profile, file);
  for (int a = 0; a < 3; ++a) {
    const std::string name = kAngleNames[a];
    settings.angleActive[a] = ReadFlag(profile, kSpaceSection, name + "Active");
    settings.low[a] = ReadAngle(profile, name + "Low", defaults.low[a]);
    settings.up[a] = ReadAngle(profile, name + "Up", defaults.up[a]);
  }
  return read;
}

int SavePovFilterFile(const std::string& path, const SPovFilterFile& file) {
  CProfile profile;
  profile.Load(path);
  const SPovFilterSettings& settings = file.settings;
  bool stored = profile.SetInt(kTimeSection, "active", settings.time) &&
                profile.SetInt(kTimeSection, "from", settings.from) &&
                profile.SetInt(kTimeSection, "to", settings.to) &&
                profile.SetInt(kSpaceSection, "active", settings.space) &&
                profile.SetInt(kSpaceSection, "radius", static_cast<int>(settings.radiusBox)) &&
                profile.SetInt(kSpaceSection, "minRadius", file.minRadius) &&
                profile.SetInt(kSpaceSection, "maxRadius", file.maxRadius);
  for (int a = 0; a < 3 && stored; ++a) {
    const std::string name = kAngleNames[a];
    stored = profile.SetInt(kSpaceSection, name + "Active", settings.angleActive[a]) &&
             profile.SetInt(kSpaceSection, name + "Low", settings.low[a]) &&
             profile.SetInt(kSpaceSection, name + "Up", settings.up[a]);
  }
  return stored && profile.Save(path);
}
