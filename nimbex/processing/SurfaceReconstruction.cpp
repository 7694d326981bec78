// The one place that includes CGAL, whose headers take long to compile.
#include "nimbex/processing/SurfaceReconstruction.h"

#include <CGAL/Advancing_front_surface_reconstruction.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>

#include <iterator>

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;

}  // namespace

std::vector<std::array<int32_t, 3>> ReconstructSurface(
    const std::vector<std::array<double, 3>>& points) {
  std::vector<std::array<int32_t, 3>> triangles;
  if (points.size() < 3) return triangles;
  std::vector<Point> input;
  input.reserve(points.size());
  for (const auto& p : points) input.emplace_back(p[0], p[1], p[2]);

  // The triangulation shuffles its input with CGAL's shared generator: seeding it makes a
  // point set give the same mesh on every run.
  CGAL::get_default_random() = CGAL::Random(0);
  std::vector<std::array<std::size_t, 3>> facets;
  CGAL::advancing_front_surface_reconstruction(input.begin(), input.end(),
                                               std::back_inserter(facets));
  triangles.reserve(facets.size());
  for (const auto& facet : facets)
    triangles.push_back({static_cast<int32_t>(facet[0]), static_cast<int32_t>(facet[1]),
                         static_cast<int32_t>(facet[2])});
  return triangles;
}
