// What the 3D view's keys, the layout codes and the status panes compute, kept apart from the
// widgets so that it is tested without a display.
#pragma once

#include <string>

// Colour modes follow each other 0 ... 6 and wrap around (Up and Down arrows).
constexpr int kColourModeCount = 7;
int NextColourMode(int mode);
int PreviousColourMode(int mode);
// The point size after a step of `delta`; sizes below 1 are refused (the size stays).
int SteppedPointSize(int size, int delta);

// The colour mode's name as the status pane shows it.
const char* StatusModeName(int mode);
// "Loaded points: %d/%d | Current point size: %d (left-right arrows) | Representation: %s
// (up-down arrows)"
std::string FormatLoadedPointsStatus(long long loaded, long long total, int pointSize, int mode);
// The coordinates under the cursor, or "No value" when `point` is null.
std::string FormatCursorCoordinates(const double* point);

// Project window layouts and the widths of the three columns (images, 3D view, drawing) for a
// client width `width`.
enum ProjectLayout {
  LAYOUT_STANDARD = 1,
  LAYOUT_DRAWING = 2,
  LAYOUT_STREAMING = 3,
  LAYOUT_ORTHOPHOTO = 4,
  LAYOUT_DEM = 5
};
struct LayoutWidths {
  int images = 0;
  int view = 0;
  int drawing = 0;
};
LayoutWidths GetLayoutWidths(int layout, int width);

// The main window's status bar: the progress control is this much narrower than the window.
constexpr int kProgressWidthMargin = 1000;
int GetProgressControlWidth(int windowWidth);
