// Triangle surfaces reconstructed from unorganised points, in memory.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The triangles, as indices into `points`, of a surface through the points that
// approximates the surface they sample (advancing-front reconstruction over their Delaunay
// triangulation). Empty when the points span no surface, e.g. when they are collinear.
// Every coordinate must be finite.
std::vector<std::array<int32_t, 3>> ReconstructSurface(
    const std::vector<std::array<double, 3>>& points);
