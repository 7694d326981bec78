// Planar polygon made of contours of points, with intersection. Each contour is a closed
// ring (the last point is not repeated); the contours of one polygon are independent
// outer rings, and an intersection returns, per resulting part, its outer ring followed by
// its holes.
#pragma once

#include <vector>

#include "Geometry.h"

using CContour = std::vector<Wml::Point2<double>>;

class CPgon {
 public:
  CPgon() = default;
  explicit CPgon(const std::vector<CContour>& contours);
  CPgon(const CPgon&) = default;
  CPgon& operator=(const CPgon&) = default;

  // The axis-aligned rectangle xmin..xmax by ymin..ymax as a one-contour polygon.
  static CPgon Rectangle(double xmin, double xmax, double ymin, double ymax);

  int GetNumContours() const { return static_cast<int>(m_Contours.size()); }
  // Copies contour `index` to `contour`; 1 on success, 0 for an index out of range.
  int GetContour(int index, CContour& contour) const;
  const std::vector<CContour>& GetContours() const { return m_Contours; }
  void AddContour(const CContour& contour) { m_Contours.push_back(contour); }
  // True for a hole of the outer ring before it; only an intersection makes holes, so
  // contours given by the caller are always outer rings.
  bool IsHole(int index) const;

  // Area of the union of the outer rings, less the holes.
  double Area() const;

  // Intersection of two polygons; an empty polygon (no contour) when they do not overlap.
  CPgon operator&(const CPgon& other) const;

 private:
  std::vector<CContour> m_Contours;
  // Parallel to the first contours; contours added beyond its end are outer rings.
  std::vector<bool> m_IsHole;
};
