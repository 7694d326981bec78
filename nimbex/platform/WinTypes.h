// Window-level plain types shared by the library and its hosts: an opaque window id, pixel
// points and rectangles, mouse key flags and the caller-owned picture of an off-screen window.
#pragma once

#include <vector>

// The host's window, as the host names it (the desktop program passes its widget's address).
// The library never dereferences it; it only keys the render window registry.
using WindowId = const void*;

// A window pixel: x to the right, y downwards from the top-left corner.
struct WinPoint {
  int x = 0;
  int y = 0;
};

// A pixel rectangle with inclusive right and bottom.
struct WinRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// A rectangle of model coordinates.
struct WinDRect {
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
};

// Key and button flags that come with mouse messages.
constexpr int MK_LBUTTON = 0x0001;
constexpr int MK_RBUTTON = 0x0002;
constexpr int MK_SHIFT = 0x0004;
constexpr int MK_CONTROL = 0x0008;
constexpr int MK_MBUTTON = 0x0010;

// A picture the caller owns, into which an off-screen window copies what it rendered:
// 3 bytes (red, green, blue) per pixel, top row first.
struct WinImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  void Resize(int w, int h) {
    width = w;
    height = h;
    rgb.assign(static_cast<std::size_t>(w) * h * 3, 0);
  }
  unsigned char* Pixel(int x, int y) { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};
