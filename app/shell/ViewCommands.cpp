#include "app/shell/ViewCommands.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kLastColourMode = kColourModeCount - 1;
}

int NextColourMode(int mode) {
  return mode >= kLastColourMode ? 0 : mode + 1;
}

int PreviousColourMode(int mode) {
  return mode <= 0 ? kLastColourMode : mode - 1;
}

int SteppedPointSize(int size, int delta) {
  return size + delta < 1 ? size : size + delta;
}

const char* StatusModeName(int mode) {
  static const char* const names[] = {"Elevation", "Intensity",   "RGB",  "Normals",
                                      "Classes",   "UserDefined", "Pulse"};
  return mode >= 0 && mode <= kLastColourMode ? names[mode] : "";
}

std::string FormatLoadedPointsStatus(long long loaded, long long total, int pointSize, int mode) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Loaded points: %lld/%lld | Current point size: %d (left-right arrows) | "
                "Representation: %s (up-down arrows)",
                loaded, total, pointSize, StatusModeName(mode));
  return text;
}

std::string FormatCursorCoordinates(const double* point) {
  if (!point) return "No value";
  char text[128];
  std::snprintf(text, sizeof text, "%.2f, %.2f, %.2f", point[0], point[1], point[2]);
  return text;
}

LayoutWidths GetLayoutWidths(int layout, int width) {
  switch (layout) {
    case LAYOUT_STANDARD:
      return {223, width + 43, 0};
    case LAYOUT_STREAMING:
      return {0, width, 0};
    case LAYOUT_DRAWING:
    case LAYOUT_ORTHOPHOTO:
    case LAYOUT_DEM:
      return {0, width / 3, 2 * (width / 3)};
    default:
      return {width / 3, width / 3, width / 3};
  }
}

int GetProgressControlWidth(int windowWidth) {
  return std::max(0, windowWidth - kProgressWidthMargin);
}
