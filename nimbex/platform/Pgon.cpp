// CPgon over Boost.Geometry. Every contour is turned into a valid multi-polygon before
// any set operation, so orientation, closure, repeated points and self-crossings of user
// contours never reach the overlay code, which gives wrong answers for invalid input.
#include "nimbex/platform/Pgon.h"

#include <cmath>

// Boost 1.74's math headers, pulled in by Boost.Geometry, announce a deprecated include.
#define BOOST_ALLOW_DEPRECATED_HEADERS
#include <boost/geometry/algorithms/area.hpp>
#include <boost/geometry/algorithms/correct.hpp>
#include <boost/geometry/algorithms/difference.hpp>
#include <boost/geometry/algorithms/intersection.hpp>
#include <boost/geometry/algorithms/is_valid.hpp>
#include <boost/geometry/algorithms/sym_difference.hpp>
#include <boost/geometry/algorithms/union.hpp>
#include <boost/geometry/algorithms/unique.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

namespace bg = boost::geometry;

namespace {

using Point = bg::model::d2::point_xy<double>;
// Counter-clockwise outer rings and clockwise holes, the usual mathematical orientation.
using Polygon = bg::model::polygon<Point, false>;
using Region = bg::model::multi_polygon<Polygon>;

bool IsFinite(const CContour& contour) {
  for (const auto& p : contour)
    if (!std::isfinite(p.X()) || !std::isfinite(p.Y())) return false;
  return true;
}

Polygon ToPolygon(const CContour& contour) {
  Polygon polygon;
  for (const auto& p : contour) polygon.outer().push_back(Point(p.X(), p.Y()));
  bg::unique(polygon);
  bg::correct(polygon);
  return polygon;
}

Region Union(const Region& a, const Region& b) {
  Region result;
  bg::union_(a, b, result);
  return result;
}

Region Difference(const Region& a, const Region& b) {
  Region result;
  bg::difference(a, b, result);
  return result;
}

// A contour that crosses or touches itself covers what it encloses an odd number of
// times (both loops of a figure eight, the tips but not the centre of a pentagram): the
// exclusive-or of the triangles fanning out from its first point.
Region EvenOddRegion(const CContour& contour) {
  Region region;
  for (size_t i = 1; i + 1 < contour.size(); ++i) {
    Polygon triangle = ToPolygon({contour[0], contour[i], contour[i + 1]});
    if (bg::area(triangle) == 0) continue;
    Region result;
    bg::sym_difference(region, triangle, result);
    region = std::move(result);
  }
  return region;
}

// The area one contour covers as a valid region. Fewer than three distinct points, or a
// non-finite coordinate, cover nothing.
Region RegionOf(const CContour& contour) {
  if (contour.size() < 3 || !IsFinite(contour)) return {};
  Polygon polygon = ToPolygon(contour);
  if (bg::is_valid(polygon)) return {polygon};
  return EvenOddRegion(contour);
}

// The union of the outer rings, each less the holes that follow it.
Region RegionOf(const CPgon& pgon) {
  Region area, part;
  for (int i = 0; i < pgon.GetNumContours(); ++i) {
    Region ring = RegionOf(pgon.GetContours()[i]);
    if (pgon.IsHole(i)) {
      part = Difference(part, ring);
    } else {
      area = Union(area, part);
      part = std::move(ring);
    }
  }
  return Union(area, part);
}

CContour ToContour(const Polygon::ring_type& ring) {
  CContour contour;
  // A closed ring repeats its first point at the end; contours do not.
  for (size_t i = 0; i + 1 < ring.size(); ++i) contour.emplace_back(ring[i].x(), ring[i].y());
  return contour;
}

}  // namespace

CPgon::CPgon(const std::vector<CContour>& contours) : m_Contours(contours) {}

CPgon CPgon::Rectangle(double xmin, double xmax, double ymin, double ymax) {
  return CPgon({{{xmin, ymin}, {xmax, ymin}, {xmax, ymax}, {xmin, ymax}}});
}

int CPgon::GetContour(int index, CContour& contour) const {
  if (index < 0 || index >= GetNumContours()) return 0;
  contour = m_Contours[index];
  return 1;
}

bool CPgon::IsHole(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_IsHole.size() && m_IsHole[index];
}

double CPgon::Area() const {
  return bg::area(RegionOf(*this));
}

// Polygons that only touch along an edge or at a point give an empty result: zero-area
// parts are dropped rather than returned as degenerate contours.
CPgon CPgon::operator&(const CPgon& other) const {
  Region overlap;
  bg::intersection(RegionOf(*this), RegionOf(other), overlap);
  CPgon result;
  for (const Polygon& part : overlap) {
    if (bg::area(part) <= 0) continue;
    result.m_Contours.push_back(ToContour(part.outer()));
    result.m_IsHole.push_back(false);
    for (const auto& hole : part.inners()) {
      result.m_Contours.push_back(ToContour(hole));
      result.m_IsHole.push_back(true);
    }
  }
  return result;
}
