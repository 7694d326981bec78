// The layout of the demo site, shared by the flight that scans it and the map that draws its
// plan and orthophoto: the rolling terrain, the surfaces and their looks, and the square tiles
// that hold its roads, buildings and plants. Coordinates are relative to kOrigin.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "nimbex/demo/DemoRandom.h"

namespace demosite {

// ---- Site parameters ------------------------------------------------------------------------

constexpr double kPointsPerSquareMetre = 15;
constexpr double kLengthToWidth = 1.25;
// A plausible UTM position; the scale keeps millimetres.
constexpr double kOrigin[3] = {431000, 5216000, 0};
constexpr double kScale[3] = {0.001, 0.001, 0.001};
constexpr double kBaseHeight = 240;

// The world is laid out in square tiles, each filled from its own seed, so any part of an
// arbitrarily large site can be produced without keeping the whole layout.
constexpr double kTileSize = 64;
// Objects keep this far inside their tile: a slanted pulse drifts less than that sideways over
// the height of the tallest object, so a pulse only meets objects of the tile of its ground
// point.
constexpr double kTileMargin = 7;
constexpr int kRoadPeriod = 7;  // in tiles
constexpr double kRoadHalfWidth = 3.5;
constexpr int kMaxBuildings = 2;
constexpr int kMaxPlants = 40;

constexpr double kPi = 3.14159265358979323846;

// The flown area grows with the point count: `width` along x (the strips side by side) and
// `length` along y (each strip), from the origin.
inline void SiteSize(long long points, double& width, double& length) {
  const double area = double(points) / kPointsPerSquareMetre;
  length = std::sqrt(area * kLengthToWidth);
  width = area / length;
}

// The seeds of the terrain and of the tile layout of the site made from `seed`.
inline uint64_t TerrainSeed(unsigned seed) {
  return Mix(seed, 1);
}
inline uint64_t LayoutSeed(unsigned seed) {
  return Mix(seed, 2);
}

// ---- Terrain --------------------------------------------------------------------------------

constexpr int kWaves = 3;

// Rolling ground: a gentle tilt plus products of sines. The y factors are evaluated once per
// scanline, which holds y constant.
class CTerrain {
 public:
  struct Line {
    double y;
    double factor[kWaves];
  };

  // Heights at evenly spaced points of a scanline. Each step turns the sines with the
  // angle-addition formulas instead of evaluating them again.
  class Walk {
   public:
    Walk() = default;
    Walk(const CTerrain& terrain, const Line& line, double x, double step) {
      m_Plane = kBaseHeight + terrain.m_TiltX * x + terrain.m_TiltY * line.y;
      m_PlaneStep = terrain.m_TiltX * step;
      for (int i = 0; i < kWaves; ++i) {
        const double angle = terrain.m_FrequencyX[i] * x + terrain.m_PhaseX[i];
        m_Sin[i] = std::sin(angle);
        m_Cos[i] = std::cos(angle);
        m_TurnSin[i] = std::sin(terrain.m_FrequencyX[i] * step);
        m_TurnCos[i] = std::cos(terrain.m_FrequencyX[i] * step);
        m_Factor[i] = line.factor[i];
      }
      m_PatchFactor = line.factor[1] / terrain.m_Amplitude[1];
    }

    double Height() const {
      double height = m_Plane;
      for (int i = 0; i < kWaves; ++i) height += m_Factor[i] * m_Sin[i];
      return height;
    }

    // In [0, 1], following the middle wave: it mottles the grass.
    double Patch() const { return 0.5 + 0.5 * m_PatchFactor * m_Sin[1]; }

    void Advance() {
      m_Plane += m_PlaneStep;
      for (int i = 0; i < kWaves; ++i) {
        const double sine = m_Sin[i] * m_TurnCos[i] + m_Cos[i] * m_TurnSin[i];
        m_Cos[i] = m_Cos[i] * m_TurnCos[i] - m_Sin[i] * m_TurnSin[i];
        m_Sin[i] = sine;
      }
    }

   private:
    double m_Plane = 0, m_PlaneStep = 0;
    double m_Sin[kWaves] = {}, m_Cos[kWaves] = {};
    double m_TurnSin[kWaves] = {}, m_TurnCos[kWaves] = {};
    double m_Factor[kWaves] = {};
    double m_PatchFactor = 0;
  };

  explicit CTerrain(CRandom& random) {
    const double amplitude[kWaves] = {3.0, 1.0, 0.25};
    const double wavelength[kWaves] = {60, 23, 8.5};  // metres per radian
    for (int i = 0; i < kWaves; ++i) {
      m_Amplitude[i] = amplitude[i];
      m_FrequencyX[i] = 1 / (wavelength[i] * random.Between(0.85, 1.15));
      m_FrequencyY[i] = 1 / (wavelength[i] * random.Between(0.85, 1.15));
      m_PhaseX[i] = random.Between(0, 2 * kPi);
      m_PhaseY[i] = random.Between(0, 2 * kPi);
    }
    m_TiltX = random.Noise(0.01);
    m_TiltY = random.Noise(0.01);
  }

  Line AlongLine(double y) const {
    Line line{y, {}};
    for (int i = 0; i < kWaves; ++i)
      line.factor[i] = m_Amplitude[i] * std::sin(m_FrequencyY[i] * y + m_PhaseY[i]);
    return line;
  }

  double Height(double x, double y) const { return Walk(*this, AlongLine(y), x, 0).Height(); }
  double Patch(double x, double y) const { return Walk(*this, AlongLine(y), x, 0).Patch(); }

 private:
  double m_Amplitude[kWaves];
  double m_FrequencyX[kWaves], m_FrequencyY[kWaves];
  double m_PhaseX[kWaves], m_PhaseY[kWaves];
  double m_TiltX, m_TiltY;
};

// ---- Surfaces -------------------------------------------------------------------------------

enum Surface {
  kGrass,
  kAsphalt,
  kRedRoof,
  kGreyRoof,
  kWall,
  kLeaves,
  kInnerCanopy,
  kTrunk,
  kShrub,
  kLitter,    // ground under vegetation
  kClutter,   // small things left unclassified: posts, cars, fences
  kDryGrass,  // mixed into grass by the terrain's patches
};

struct Look {
  double rgb[3];
  double intensity;
};

// By Surface: 8-bit colour and 16-bit intensity.
constexpr Look kLooks[] = {
    {{86, 124, 50}, 26000},    // grass
    {{58, 58, 62}, 9000},      // asphalt
    {{158, 64, 46}, 21000},    // red roof tiles
    {{112, 114, 120}, 30000},  // grey roof
    {{206, 196, 176}, 26000},  // rendered wall
    {{62, 102, 44}, 32000},    // leaves
    {{48, 78, 36}, 18000},     // inside a crown
    {{92, 72, 52}, 15000},     // bark
    {{84, 116, 52}, 27000},    // shrub
    {{96, 86, 58}, 14000},     // litter
    {{150, 150, 155}, 20000},  // clutter
    {{140, 118, 78}, 24000},   // dry grass
};

// ---- Objects --------------------------------------------------------------------------------

struct Building {
  double x0, x1, y0, y1;
  double base;   // lowest ground at the walls
  double eaves;  // top of the walls
  double ridge;  // top of the roof; the eaves for a flat roof
  bool ridgeAlongX;
  Surface roof;
};

// A tree (crown on a trunk) or a shrub (crown on the ground, no trunk).
struct Plant {
  double cx, cy, cz;  // crown centre
  double radius, halfHeight;
  double ground;
  double trunkRadius;
  double tint;  // -1..1, lighter or darker foliage
};

struct Tile {
  int64_t tx = std::numeric_limits<int64_t>::min(), ty = 0;
  bool roadAlongY = false, roadAlongX = false;
  int buildingCount = 0, plantCount = 0;
  Building buildings[kMaxBuildings];
  Plant plants[kMaxPlants];
  // The plants within reach of the scanline at `reachY`, kept while the line crosses the tile.
  double reachY = std::numeric_limits<double>::quiet_NaN();
  int reachCount = 0;
  uint8_t reach[kMaxPlants];
};

inline int PositiveModulo(int64_t value, int period) {
  const int rest = int(value % period);
  return rest < 0 ? rest + period : rest;
}

inline double DistanceToBox(double x, double y, const Building& b) {
  const double dx = std::max({b.x0 - x, 0.0, x - b.x1});
  const double dy = std::max({b.y0 - y, 0.0, y - b.y1});
  return std::hypot(dx, dy);
}

// The ray of one pulse, from its ground point up towards the scanner. It stays in the plane of

// ---- Tile layout ----------------------------------------------------------------------------

class CTileLayout {
 public:
  CTileLayout(uint64_t seed, const CTerrain& terrain) : m_Seed(seed), m_Terrain(terrain) {}

  void Fill(Tile& tile, int64_t tx, int64_t ty) const {
    tile = Tile();
    tile.tx = tx;
    tile.ty = ty;
    tile.roadAlongY = PositiveModulo(tx, kRoadPeriod) == 2;
    tile.roadAlongX = PositiveModulo(ty, kRoadPeriod) == 4;
    if (tile.roadAlongX || tile.roadAlongY) return;
    CRandom random(Mix(Mix(m_Seed, uint64_t(tx)), uint64_t(ty)));
    const double kind = random.Uniform();
    if (kind < 0.4) {  // houses with gardens
      const int houses = 1 + random.Below(2);
      for (int i = 0; i < houses; ++i) AddBuilding(tile, random);
      AddPlants(tile, random, 1 + random.Below(4), 2 + random.Below(5));
    } else if (kind < 0.75) {  // a wood
      AddPlants(tile, random, 20 + random.Below(12), 3 + random.Below(6));
    } else {  // meadow
      AddPlants(tile, random, random.Below(3), random.Below(6));
    }
  }

 private:
  double Low(const Tile& tile, bool alongX) const {
    return double(alongX ? tile.tx : tile.ty) * kTileSize + kTileMargin;
  }
  double High(const Tile& tile, bool alongX) const {
    return double((alongX ? tile.tx : tile.ty) + 1) * kTileSize - kTileMargin;
  }

  void AddBuilding(Tile& tile, CRandom& random) const {
    for (int attempt = 0; attempt < 8; ++attempt) {
      Building b{};
      const double sizeX = random.Between(8, 18), sizeY = random.Between(8, 16);
      b.x0 = random.Between(Low(tile, true), High(tile, true) - sizeX);
      b.y0 = random.Between(Low(tile, false), High(tile, false) - sizeY);
      b.x1 = b.x0 + sizeX;
      b.y1 = b.y0 + sizeY;
      if (ClashesWithBuildings(tile, (b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2,
                               std::hypot(sizeX, sizeY) / 2 + 5))
        continue;
      ShapeBuilding(b, random);
      tile.buildings[tile.buildingCount++] = b;
      return;
    }
  }

  void ShapeBuilding(Building& b, CRandom& random) const {
    b.base = std::min({m_Terrain.Height(b.x0, b.y0), m_Terrain.Height(b.x1, b.y0),
                       m_Terrain.Height(b.x0, b.y1), m_Terrain.Height(b.x1, b.y1)});
    const int storeys = 1 + random.Below(2);
    b.eaves = b.base + 0.6 + 2.8 * storeys + random.Between(0, 0.6);
    b.ridgeAlongX = b.x1 - b.x0 > b.y1 - b.y0;
    const double halfSpan = (b.ridgeAlongX ? b.y1 - b.y0 : b.x1 - b.x0) / 2;
    const bool gabled = random.Uniform() < 0.65;
    b.ridge = gabled ? b.eaves + halfSpan * random.Between(0.5, 0.8) : b.eaves;
    b.roof = gabled && random.Uniform() < 0.7 ? kRedRoof : kGreyRoof;
  }

  // A circle of `reach` around (x, y) comes near a building of the tile.
  bool ClashesWithBuildings(const Tile& tile, double x, double y, double reach) const {
    for (int i = 0; i < tile.buildingCount; ++i)
      if (DistanceToBox(x, y, tile.buildings[i]) < reach) return true;
    return false;
  }

  void AddPlants(Tile& tile, CRandom& random, int trees, int shrubs) const {
    for (int i = 0; i < trees; ++i) AddPlant(tile, random, true);
    for (int i = 0; i < shrubs; ++i) AddPlant(tile, random, false);
  }

  void AddPlant(Tile& tile, CRandom& random, bool tree) const {
    if (tile.plantCount == kMaxPlants) return;
    for (int attempt = 0; attempt < 6; ++attempt) {
      Plant p{};
      p.radius = tree ? random.Between(2, 4.5) : random.Between(0.5, 1.4);
      p.cx = random.Between(Low(tile, true) + p.radius, High(tile, true) - p.radius);
      p.cy = random.Between(Low(tile, false) + p.radius, High(tile, false) - p.radius);
      if (ClashesWithBuildings(tile, p.cx, p.cy, p.radius + (tree ? 4 : 1.5))) continue;
      p.ground = m_Terrain.Height(p.cx, p.cy);
      if (tree) {
        p.halfHeight = p.radius * random.Between(0.9, 1.6);
        p.cz = p.ground + random.Between(1.5, 4) + p.halfHeight;
        p.trunkRadius = random.Between(0.12, 0.3);
      } else {
        p.halfHeight = p.radius * random.Between(0.5, 0.8);
        p.cz = p.ground + 0.8 * p.halfHeight;
      }
      p.tint = random.Noise(1);
      tile.plants[tile.plantCount++] = p;
      return;
    }
  }

  uint64_t m_Seed;
  const CTerrain& m_Terrain;
};

}  // namespace demosite
