#pragma once

// Marks a double that has not been set (bounds, ranges, rectangles, radii).
constexpr double NBX_UNSET = -1234567890.0;

inline bool IsUnset(double value) { return value == NBX_UNSET; }
