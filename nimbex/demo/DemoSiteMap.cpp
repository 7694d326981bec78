#include "nimbex/demo/DemoSiteMap.h"

#include <algorithm>
#include <cmath>

using namespace demosite;

namespace {

// Road edges get a vertex this often, so that they follow the rolling ground.
constexpr double kRoadVertexSpacing = 4;
// The morning sun lights roof slopes facing south and east more than the others.
constexpr double kSunlitSlope = 1.1, kShadedSlope = 0.9;

CTerrain TerrainOf(unsigned seed) {
  CRandom random(TerrainSeed(seed));
  return CTerrain(random);
}

// A steady speckle of +-6 % per place, so that the picture does not look flat.
double Speckle(double x, double y) {
  const uint64_t hash =
      Mix(uint64_t(int64_t(std::floor(x * 8))), uint64_t(int64_t(std::floor(y * 8))));
  return 1 + 0.12 * (double(hash >> 11) * 0x1.0p-53 - 0.5);
}

void Paint(const Look& look, double brightness, uint8_t rgb[3]) {
  for (int c = 0; c < 3; ++c)
    rgb[c] = uint8_t(std::clamp(look.rgb[c] * brightness + 0.5, 0.0, 255.0));
}

// How the sun lights the part of the roof at (x, y): one slope of a gabled roof faces it.
double RoofLight(const Building& b, double x, double y) {
  if (b.ridge == b.eaves) return 1;
  if (b.ridgeAlongX) return y < (b.y0 + b.y1) / 2 ? kSunlitSlope : kShadedSlope;
  return x > (b.x0 + b.x1) / 2 ? kSunlitSlope : kShadedSlope;
}

bool InsideBox(const Building& b, double x, double y) {
  return x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1;
}

// The highest crown over (x, y), or null.
const Plant* CrownOver(const Tile& tile, double x, double y) {
  const Plant* top = nullptr;
  for (int i = 0; i < tile.plantCount; ++i) {
    const Plant& p = tile.plants[i];
    if (std::hypot(x - p.cx, y - p.cy) >= p.radius) continue;
    if (!top || p.cz + p.halfHeight > top->cz + top->halfHeight) top = &p;
  }
  return top;
}

bool OnRoad(const Tile& tile, double x, double y) {
  return (tile.roadAlongY && std::abs(x - (double(tile.tx) + 0.5) * kTileSize) < kRoadHalfWidth) ||
         (tile.roadAlongX && std::abs(y - (double(tile.ty) + 0.5) * kTileSize) < kRoadHalfWidth);
}

// Absolute from relative coordinates.
DemoMapVertex Absolute(double x, double y, double z) {
  return {kOrigin[0] + x, kOrigin[1] + y, kOrigin[2] + z};
}

}  // namespace

CDemoSiteMap::CDemoSiteMap(const DemoSiteSettings& settings) : m_Terrain(TerrainOf(settings.seed)) {
  SiteSize(settings.points, m_Width, m_Length);
  m_Extent[0] = kOrigin[0];
  m_Extent[1] = kOrigin[1];
  m_Extent[2] = kOrigin[0] + m_Width;
  m_Extent[3] = kOrigin[1] + m_Length;
  m_TileColumns = int64_t(std::ceil(m_Width / kTileSize));
  m_TileRows = int64_t(std::ceil(m_Length / kTileSize));
  const CTileLayout layout(LayoutSeed(settings.seed), m_Terrain);
  m_Tiles.resize(size_t(m_TileColumns * m_TileRows));
  for (int64_t ty = 0; ty < m_TileRows; ++ty)
    for (int64_t tx = 0; tx < m_TileColumns; ++tx)
      layout.Fill(m_Tiles[size_t(ty * m_TileColumns + tx)], tx, ty);
}

const Tile* CDemoSiteMap::TileAt(double relativeX, double relativeY) const {
  const double tx = std::floor(relativeX / kTileSize), ty = std::floor(relativeY / kTileSize);
  if (tx < 0 || ty < 0 || tx >= double(m_TileColumns) || ty >= double(m_TileRows)) return nullptr;
  return &m_Tiles[size_t(int64_t(ty) * m_TileColumns + int64_t(tx))];
}

void CDemoSiteMap::ColourFromAbove(double x, double y, uint8_t rgb[3]) const {
  x -= kOrigin[0];
  y -= kOrigin[1];
  const double speckle = Speckle(x, y);
  const Tile* tile = TileAt(x, y);
  if (tile) {
    for (int i = 0; i < tile->buildingCount; ++i) {
      const Building& b = tile->buildings[i];
      if (InsideBox(b, x, y)) return Paint(kLooks[b.roof], RoofLight(b, x, y) * speckle, rgb);
    }
    if (const Plant* crown = CrownOver(*tile, x, y)) {
      // Rounder crowns darken towards their edges.
      const double edge = std::hypot(x - crown->cx, y - crown->cy) / crown->radius;
      const double light = (0.75 + 0.35 * std::sqrt(1 - edge * edge)) * (1 + 0.15 * crown->tint);
      return Paint(kLooks[crown->trunkRadius == 0 ? kShrub : kLeaves], light * speckle, rgb);
    }
    if (OnRoad(*tile, x, y)) return Paint(kLooks[kAsphalt], speckle, rgb);
  }
  const Look& grass = kLooks[kGrass];
  const Look& dry = kLooks[kDryGrass];
  const double mix = m_Terrain.Patch(x, y);
  Look ground{};
  for (int c = 0; c < 3; ++c) ground.rgb[c] = grass.rgb[c] + (dry.rgb[c] - grass.rgb[c]) * mix;
  Paint(ground, speckle, rgb);
}

std::vector<DemoOutline> CDemoSiteMap::GetOutlines() const {
  std::vector<DemoOutline> outlines;
  AddBuildingOutlines(outlines);
  AddRoadOutlines(outlines);
  return outlines;
}

void CDemoSiteMap::AddBuildingOutlines(std::vector<DemoOutline>& outlines) const {
  for (const Tile& tile : m_Tiles)
    for (int i = 0; i < tile.buildingCount; ++i) {
      const Building& b = tile.buildings[i];
      // A building cut by the edge of the flight was not surveyed whole.
      if (b.x0 < 0 || b.y0 < 0 || b.x1 > m_Width || b.y1 > m_Length) continue;
      DemoOutline outline{kDemoBuildingOutline, b.roof == kRedRoof, {}};
      const double e = b.eaves, r = b.ridge;
      const double xm = (b.x0 + b.x1) / 2, ym = (b.y0 + b.y1) / 2;
      auto& v = outline.vertices;
      // Counter-clockwise from the south-west corner.
      v.push_back(Absolute(b.x0, b.y0, e));
      if (r != e && !b.ridgeAlongX) v.push_back(Absolute(xm, b.y0, r));
      v.push_back(Absolute(b.x1, b.y0, e));
      if (r != e && b.ridgeAlongX) v.push_back(Absolute(b.x1, ym, r));
      v.push_back(Absolute(b.x1, b.y1, e));
      if (r != e && !b.ridgeAlongX) v.push_back(Absolute(xm, b.y1, r));
      v.push_back(Absolute(b.x0, b.y1, e));
      if (r != e && b.ridgeAlongX) v.push_back(Absolute(b.x0, ym, r));
      outlines.push_back(std::move(outline));
    }
}

void CDemoSiteMap::AddRoadOutlines(std::vector<DemoOutline>& outlines) const {
  for (int64_t tx = 0; tx < m_TileColumns; ++tx) {
    if (PositiveModulo(tx, kRoadPeriod) != 2) continue;
    const double middle = (double(tx) + 0.5) * kTileSize;
    const double x0 = std::max(0.0, middle - kRoadHalfWidth);
    const double x1 = std::min(m_Width, middle + kRoadHalfWidth);
    if (x1 > x0) outlines.push_back(RoadOutline(x0, 0, x1, m_Length));
  }
  for (int64_t ty = 0; ty < m_TileRows; ++ty) {
    if (PositiveModulo(ty, kRoadPeriod) != 4) continue;
    const double middle = (double(ty) + 0.5) * kTileSize;
    const double y0 = std::max(0.0, middle - kRoadHalfWidth);
    const double y1 = std::min(m_Length, middle + kRoadHalfWidth);
    if (y1 > y0) outlines.push_back(RoadOutline(0, y0, m_Width, y1));
  }
}

// The road's box on the ground, counter-clockwise from (x0, y0), with its long sides cut into
// pieces of at most kRoadVertexSpacing.
DemoOutline CDemoSiteMap::RoadOutline(double x0, double y0, double x1, double y1) const {
  DemoOutline outline{kDemoRoadOutline, false, {}};
  const double corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int side = 0; side < 4; ++side) {
    const double* from = corners[side];
    const double* to = corners[(side + 1) % 4];
    const double length = std::hypot(to[0] - from[0], to[1] - from[1]);
    const int pieces = std::max(1, int(std::ceil(length / kRoadVertexSpacing)));
    for (int i = 0; i < pieces; ++i) {
      const double t = double(i) / pieces;
      const double x = from[0] + (to[0] - from[0]) * t, y = from[1] + (to[1] - from[1]) * t;
      outline.vertices.push_back(Absolute(x, y, m_Terrain.Height(x, y)));
    }
  }
  return outline;
}
