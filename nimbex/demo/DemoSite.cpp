#include "nimbex/demo/DemoSite.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

#include "nimbex/demo/DemoLayout.h"
#include "nimbex/demo/DemoRandom.h"

namespace {

using namespace demosite;

// ---- Site and flight parameters -------------------------------------------------------------

constexpr double kMaxStripWidth = 400;
// High enough that scan angles stay within about 14 degrees of nadir.
constexpr double kFlyingHeight = 800;
// Returns per pulse the line spacing starts from; the spacing then follows the observed rate.
constexpr double kExpectedReturnsPerPulse = 1.2;
constexpr int kMaxReturns = 4;
// Echoes of one pulse closer than this merge in a real receiver.
constexpr double kReturnSeparation = 1.0;
constexpr double kPulseInterval = 5e-6;
constexpr double kTurnSeconds = 120;
constexpr double kFirstGpsTime = 302400;  // GPS week seconds: Wednesday noon
constexpr double kScanAngleUnit = 0.006;  // degrees
constexpr int kCachedTiles = 64;
constexpr double kNone = -std::numeric_limits<double>::infinity();

// ---- Surfaces and objects as the scanner meets them -----------------------------------------

bool IsVegetation(Surface surface) {
  return surface == kLeaves || surface == kInnerCanopy || surface == kTrunk || surface == kShrub;
}

uint8_t ClassOf(Surface surface, double heightAboveGround) {
  if (IsVegetation(surface)) return heightAboveGround < 1 ? 3 : heightAboveGround < 3 ? 4 : 5;
  switch (surface) {
    case kRedRoof:
    case kGreyRoof:
    case kWall:
      return 6;
    case kClutter:
      return 1;
    default:
      return 2;
  }
}

void SelectPlantsInReach(Tile& tile, double y) {
  if (tile.reachY == y) return;
  tile.reachY = y;
  tile.reachCount = 0;
  for (int i = 0; i < tile.plantCount; ++i)
    if (std::abs(y - tile.plants[i].cy) < tile.plants[i].radius)
      tile.reach[tile.reachCount++] = uint8_t(i);
}

struct Ray {
  double xg, y, zg, k;
  double XAt(double z) const { return xg - k * (z - zg); }
};

// One straight piece of a roof's cross-section in the ray's plane: z = a + b x on [xa, xb].
struct RoofPiece {
  double a, b, xa, xb;
};

int RoofPieces(const Building& b, double y, RoofPiece pieces[2], double& wallTop) {
  if (b.ridge == b.eaves) {
    wallTop = b.eaves;
    pieces[0] = {b.eaves, 0, b.x0, b.x1};
    return 1;
  }
  if (b.ridgeAlongX) {
    const double middle = (b.y0 + b.y1) / 2, half = (b.y1 - b.y0) / 2;
    wallTop = b.ridge - (b.ridge - b.eaves) * std::abs(y - middle) / half;  // the gable
    pieces[0] = {wallTop, 0, b.x0, b.x1};
    return 1;
  }
  const double middle = (b.x0 + b.x1) / 2;
  const double slope = (b.ridge - b.eaves) / (middle - b.x0);
  wallTop = b.eaves;
  pieces[0] = {b.eaves - slope * b.x0, slope, b.x0, middle};
  pieces[1] = {b.ridge + slope * middle, -slope, middle, b.x1};
  return 2;
}

// The highest point where the ray meets the building's roof or walls, or kNone.
double MeetBuilding(const Building& b, const Ray& ray, Surface& surface) {
  if (ray.y < b.y0 || ray.y > b.y1) return kNone;
  double best = kNone;
  auto consider = [&](double z, Surface met) {
    if (z >= ray.zg && z > best) {
      best = z;
      surface = met;
    }
  };
  RoofPiece pieces[2];
  double wallTop;
  const int count = RoofPieces(b, ray.y, pieces, wallTop);
  for (int i = 0; i < count; ++i) {
    const RoofPiece& p = pieces[i];
    const double z = (p.a + p.b * (ray.xg + ray.k * ray.zg)) / (1 + p.b * ray.k);
    const double x = ray.XAt(z);
    if (x >= p.xa && x <= p.xb) consider(z, b.roof);
  }
  if (ray.k != 0)
    for (double wall : {b.x0, b.x1}) {
      const double z = ray.zg + (ray.xg - wall) / ray.k;
      if (z >= b.base && z <= wallTop) consider(z, kWall);
    }
  return best;
}

// Heights where the ray enters and leaves the crown ellipsoid; false when it misses.
bool CrossCrown(const Plant& p, const Ray& ray, double& enter, double& leave) {
  const double across = (ray.y - p.cy) / p.radius;
  if (std::abs(across) >= 1) return false;
  // With h the height above the crown centre: ((e - k h) / r)^2 + across^2 + (h / v)^2 = 1.
  const double e = ray.xg - p.cx - ray.k * (p.cz - ray.zg);
  const double r2 = p.radius * p.radius, v2 = p.halfHeight * p.halfHeight;
  const double a = ray.k * ray.k / r2 + 1 / v2;
  const double b = -2 * e * ray.k / r2;
  const double c = e * e / r2 + across * across - 1;
  const double discriminant = b * b - 4 * a * c;
  if (discriminant <= 0) return false;
  const double root = std::sqrt(discriminant);
  enter = p.cz + (-b + root) / (2 * a);
  leave = p.cz + (-b - root) / (2 * a);
  return true;
}

// The highest point where the ray meets the trunk below the crown, or kNone.
double MeetTrunk(const Plant& p, const Ray& ray) {
  const double across = ray.y - p.cy;
  if (p.trunkRadius == 0 || std::abs(across) >= p.trunkRadius) return kNone;
  const double half = std::sqrt(p.trunkRadius * p.trunkRadius - across * across);
  double low = kNone, high = -kNone;
  if (ray.k != 0) {
    const double atLeft = ray.zg + (ray.xg - (p.cx - half)) / ray.k;
    const double atRight = ray.zg + (ray.xg - (p.cx + half)) / ray.k;
    low = std::min(atLeft, atRight);
    high = std::max(atLeft, atRight);
  } else if (std::abs(ray.xg - p.cx) > half) {
    return kNone;
  }
  const double top = std::min(high, p.cz - p.halfHeight);
  const double bottom = std::max({low, p.ground, ray.zg});
  return top > bottom ? top : kNone;
}

// What a ray crosses among the plants of its tile within reach of its scanline.
struct Canopy {
  double top = kNone;      // highest crown entry
  double bottom = -kNone;  // lowest crown exit
  double trunk = kNone;    // highest trunk hit
  bool shrub = false;      // the top crown belongs to a shrub
  double tint = 0;
};

Canopy CrossPlants(const Tile& tile, const Ray& ray) {
  Canopy canopy;
  for (int i = 0; i < tile.reachCount; ++i) {
    const Plant& plant = tile.plants[tile.reach[i]];
    // The ray's x range from the ground up to the crown's top must reach the crown's.
    const double drift = ray.k * (plant.cz + plant.halfHeight - ray.zg);
    if (std::abs(ray.xg - drift / 2 - plant.cx) > plant.radius + std::abs(drift) / 2) continue;
    double enter, leave;
    // A crown the line only meets beyond the ground point is out of the pulse's path.
    if (CrossCrown(plant, ray, enter, leave) && enter > ray.zg) {
      if (enter > canopy.top) {
        canopy.top = enter;
        canopy.shrub = plant.trunkRadius == 0;
        canopy.tint = plant.tint;
      }
      canopy.bottom = std::min(canopy.bottom, leave);
    }
    canopy.trunk = std::max(canopy.trunk, MeetTrunk(plant, ray));
  }
  return canopy;
}

// ---- The flight -----------------------------------------------------------------------------

struct Echo {
  double z;
  Surface surface;
  double tint;
};

// Produces the points of the site one by one, in acquisition order. Memory stays the same
// whatever the count: a fixed cache of tiles and the echoes of one pulse.
class CDemoSiteFlight {
 public:
  CDemoSiteFlight(long long points, unsigned seed)
      : m_Points(points),
        m_Random(TerrainSeed(seed)),
        m_Terrain(m_Random),
        m_Layout(LayoutSeed(seed), m_Terrain) {
    double width;
    SiteSize(points, width, m_StripLength);
    m_StripCount = int(std::ceil(width / kMaxStripWidth));
    m_StripWidth = width / m_StripCount;
    m_NominalSpacing = std::sqrt(kExpectedReturnsPerPulse / kPointsPerSquareMetre);
    m_PulsesPerLine = std::max(1LL, std::llround(m_StripWidth / m_NominalSpacing));
    m_PulseSpacing = m_StripWidth / double(m_PulsesPerLine);
    for (long long column = 0; column < m_PulsesPerLine; ++column)
      m_ScanAngles.push_back(ScanAngle(Drift(column)));
    m_Path = -m_NominalSpacing / 2;
    m_PulseInLine = m_PulsesPerLine;  // the first pulse starts a line
  }

  bool Next(LasPoint& point) {
    while (m_NextReturn == m_ReturnCount) {
      if (m_Produced == m_Points) return false;
      NextPulse();
    }
    point = m_Returns[m_NextReturn++];
    ++m_Produced;
    return true;
  }

 private:
  // Sideways drift of the ray per metre of height for the pulse `column` spaces from the
  // strip's left edge; the scanner flies over the strip's middle.
  double Drift(long long column) const {
    return ((double(column) + 0.5) * m_PulseSpacing - m_StripWidth / 2) / kFlyingHeight;
  }

  // In scan angle units for a flight towards +y, where the left is negative.
  static int16_t ScanAngle(double drift) {
    return int16_t(std::lround(std::atan(drift) * 180 / kPi / kScanAngleUnit));
  }

  void NextPulse() {
    if (m_PulseInLine == m_PulsesPerLine) StartLine();
    const long long column = m_LeftToRight ? m_PulseInLine : m_PulsesPerLine - 1 - m_PulseInLine;
    ++m_PulseInLine;
    Shoot(column, int(std::min<long long>(kMaxReturns, m_Points - m_Produced)));
    ++m_PulseCount;
  }

  // Spaces lines so that the remaining points, at the rate seen so far, end at the far end
  // of the last strip: the site's density stays even and the count comes out exact.
  void StartLine() {
    const double pointsPerLine = m_LineCount > 0 ? double(m_Produced) / double(m_LineCount)
                                                 : m_PulsesPerLine * kExpectedReturnsPerPulse;
    const double linesLeft = std::max(1.0, double(m_Points - m_Produced) / pointsPerLine);
    const double pathLength = m_StripLength * m_StripCount;
    m_Path +=
        std::clamp((pathLength - m_Path) / linesLeft, 0.5 * m_NominalSpacing, 2 * m_NominalSpacing);
    m_Strip = std::min(m_StripCount - 1, int(m_Path / m_StripLength));
    const double along = m_Path - m_Strip * m_StripLength;
    m_LineY = m_Strip % 2 ? m_StripLength - along : along;
    m_StripX0 = m_Strip * m_StripWidth;
    // The mirror sweeps one way, then back.
    m_LeftToRight = m_LineCount % 2 == 0;
    const double firstX =
        m_StripX0 + (m_LeftToRight ? 0.5 : m_PulsesPerLine - 0.5) * m_PulseSpacing;
    m_Walk = CTerrain::Walk(m_Terrain, m_Terrain.AlongLine(m_LineY), firstX,
                            m_LeftToRight ? m_PulseSpacing : -m_PulseSpacing);
    ++m_LineCount;
    m_PulseInLine = 0;
  }

  Tile& TileAt(double x, double y) {
    const int64_t tx = int64_t(std::floor(x / kTileSize));
    const int64_t ty = int64_t(std::floor(y / kTileSize));
    Tile& slot = m_Tiles[(uint64_t(tx) * 7 + uint64_t(ty) * 13) % kCachedTiles];
    if (slot.tx != tx || slot.ty != ty) m_Layout.Fill(slot, tx, ty);
    return slot;
  }

  void Shoot(long long column, int maxReturns) {
    const double x = m_StripX0 + (double(column) + 0.5) * m_PulseSpacing;
    const Ray ray{x, m_LineY, m_Walk.Height(), Drift(column)};
    const double patch = m_Walk.Patch();
    m_Walk.Advance();
    Tile& tile = TileAt(x, ray.y);
    SelectPlantsInReach(tile, ray.y);
    m_EchoCount = 0;
    if (!HitBuildings(tile, ray) && !HitPlants(tile, ray)) HitGround(tile, ray);
    // Near the requested count a pulse gives up its inner echoes first.
    while (m_EchoCount > maxReturns) DropSecondEcho();
    MakeReturns(ray, patch, m_ScanAngles[column]);
  }

  bool HitBuildings(const Tile& tile, const Ray& ray) {
    double best = kNone;
    Surface surface = kWall;
    for (int i = 0; i < tile.buildingCount; ++i) {
      Surface met = kWall;
      const double z = MeetBuilding(tile.buildings[i], ray, met);
      if (z > best) {
        best = z;
        surface = met;
      }
    }
    if (best == kNone) return false;
    AddEcho(best, surface, 0);
    return true;
  }

  // A pulse through vegetation: first return on the crown (a little inside its nominal
  // surface, which makes the crown look leafy), up to two inside, one on a trunk, and the
  // last on the ground, as long as echoes are far enough apart to be told apart.
  bool HitPlants(const Tile& tile, const Ray& ray) {
    const Canopy canopy = CrossPlants(tile, ray);
    if (canopy.top == kNone && canopy.trunk == kNone) return false;
    if (canopy.top != kNone) {
      const double floor = std::max(canopy.bottom, ray.zg);
      const double first =
          canopy.top - std::min(0.5 * (canopy.top - floor), 0.5 * m_Random.Coarse());
      AddEcho(first, canopy.shrub ? kShrub : kLeaves, canopy.tint);
      AddInnerEchoes(first - kReturnSeparation, std::max(floor, ray.zg + kReturnSeparation),
                     canopy.tint);
    }
    const bool trunkShows = canopy.trunk != kNone &&
                            (m_EchoCount == 0 || canopy.trunk < LastEchoZ() - kReturnSeparation);
    if (trunkShows) AddEcho(canopy.trunk, kTrunk, 0);
    if (LastEchoZ() - ray.zg >= kReturnSeparation) AddEcho(ray.zg, kLitter, 0);
    return true;
  }

  void AddInnerEchoes(double high, double low, double tint) {
    if (high <= low) return;
    const int room = int((high - low) / kReturnSeparation);
    const int count = std::min({2, room, int(m_Random.Coarse() * 3)});
    for (int i = 0; i < count; ++i) {
      const double step = (high - low) / count;
      AddEcho(high - step * (i + 0.25 + 0.5 * m_Random.Coarse()), kInnerCanopy, tint);
    }
  }

  void HitGround(const Tile& tile, const Ray& ray) {
    const bool onRoad =
        (tile.roadAlongY &&
         std::abs(ray.xg - (double(tile.tx) + 0.5) * kTileSize) < kRoadHalfWidth) ||
        (tile.roadAlongX && std::abs(ray.y - (double(tile.ty) + 0.5) * kTileSize) < kRoadHalfWidth);
    if (!onRoad && m_Random.Coarse() < 0.003)
      AddEcho(ray.zg + m_Random.Between(0.3, 2.5), kClutter, 0);
    else
      AddEcho(ray.zg, onRoad ? kAsphalt : kGrass, 0);
  }

  void AddEcho(double z, Surface surface, double tint) {
    m_Echoes[m_EchoCount++] = {z, surface, tint};
  }
  void DropSecondEcho() {
    std::copy(m_Echoes + 2, m_Echoes + m_EchoCount, m_Echoes + 1);
    --m_EchoCount;
  }
  double LastEchoZ() const { return m_Echoes[m_EchoCount - 1].z; }

  void MakeReturns(const Ray& ray, double patch, int16_t angle) {
    // Odd strips are flown towards -y, which swaps left and right.
    const int16_t scanAngle = m_Strip % 2 ? int16_t(-angle) : angle;
    for (int i = 0; i < m_EchoCount; ++i) {
      const Echo& echo = m_Echoes[i];
      LasPoint& point = m_Returns[i];
      const double z = echo.z + m_Random.Noise(0.03);
      point.x = kOrigin[0] + ray.XAt(echo.z) + m_Random.Noise(0.02);
      point.y = kOrigin[1] + ray.y;
      point.z = kOrigin[2] + z;
      point.returnNumber = uint8_t(i + 1);
      point.numberOfReturns = uint8_t(m_EchoCount);
      point.classification = ClassOf(echo.surface, z - ray.zg);
      Paint(point, echo, patch);
      point.gpsTime =
          kFirstGpsTime + double(m_PulseCount) * kPulseInterval + m_Strip * kTurnSeconds;
      point.scanAngle = scanAngle;
      point.pointSourceId = uint16_t(m_Strip + 1);
    }
    m_ReturnCount = m_EchoCount;
    m_NextReturn = 0;
  }

  // Colour and intensity from the surface, with noise; later returns of a pulse carry less of
  // its energy.
  void Paint(LasPoint& point, const Echo& echo, double patch) {
    const Look& look = kLooks[echo.surface];
    const Look& dry = kLooks[kDryGrass];
    const double mix = echo.surface == kGrass ? patch : 0;
    // Both factors stay positive, so only the upper ends need clamping.
    const double brightness = (1 + m_Random.Noise(0.12)) * (1 + 0.15 * echo.tint);
    for (int c = 0; c < 3; ++c) {
      const double base = look.rgb[c] + (dry.rgb[c] - look.rgb[c]) * mix;
      point.rgb[c] = uint16_t(std::min(base * brightness, 255.0) * 257 + 0.5);
    }
    const double share = point.returnNumber == 1 ? 1.0 : 0.5;
    point.intensity =
        uint16_t(std::min(look.intensity * share * (1 + m_Random.Noise(0.2)), 65535.0));
  }

  const long long m_Points;
  CRandom m_Random;
  const CTerrain m_Terrain;
  const CTileLayout m_Layout;
  std::vector<Tile> m_Tiles = std::vector<Tile>(kCachedTiles);

  double m_StripLength, m_StripWidth;
  int m_StripCount;
  double m_NominalSpacing, m_PulseSpacing;
  long long m_PulsesPerLine;
  std::vector<int16_t> m_ScanAngles;  // by column

  // Where the flight is: m_Path runs along all strips end to end.
  double m_Path;
  int m_Strip = 0;
  double m_StripX0 = 0;
  double m_LineY = 0;
  bool m_LeftToRight = true;
  CTerrain::Walk m_Walk;
  long long m_LineCount = 0, m_PulseInLine = 0, m_PulseCount = 0;

  Echo m_Echoes[kMaxReturns + 2];
  int m_EchoCount = 0;
  LasPoint m_Returns[kMaxReturns];
  int m_ReturnCount = 0, m_NextReturn = 0;
  long long m_Produced = 0;
};

// Removes the incomplete output, which the request checks made sure is a regular file.
bool Abandon(CLasWriter& writer, const std::string& path, std::string& error) {
  error = writer.GetError();
  writer.Close();
  std::remove(path.c_str());
  return false;
}

}  // namespace

namespace {

std::string OutputProblem(const std::string& outputPath, const std::string& kind) {
  namespace fs = std::filesystem;
  if (outputPath.empty()) return "no output file given";
  std::error_code ignored;
  const fs::path path(outputPath);
  if (fs::is_directory(path, ignored))
    return outputPath + " is a folder; give the name of the " + kind + " file to write";
  // Writers complete their files by seeking back, which devices and pipes cannot do.
  if (fs::exists(path, ignored) && !fs::is_regular_file(path, ignored))
    return outputPath + " is not a regular file; give the name of a " + kind + " file to write";
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::exists(folder, ignored)) return "the folder " + folder.string() + " does not exist";
  if (!fs::is_directory(folder, ignored)) return folder.string() + " is not a folder";
  return "";
}

}  // namespace

std::string DemoSiteRequestProblem(const std::string& outputPath, long long points,
                                   const std::string& kind) {
  if (points < 1 || points > kMaxDemoSitePoints)
    return "the number of points must be between 1 and " + std::to_string(kMaxDemoSitePoints) +
           ", not " + std::to_string(points);
  return OutputProblem(outputPath, kind);
}

bool WriteDemoSite(const std::string& outputPath, const DemoSiteSettings& settings,
                   const std::function<void(long long written)>& onProgress, std::string& error) {
  error = DemoSiteRequestProblem(outputPath, settings.points);
  if (!error.empty()) return false;
  CLasWriter writer;
  if (!writer.Open(outputPath, 7, kScale, kOrigin)) {
    error = writer.GetError();
    return false;
  }
  if (settings.creationDate) writer.SetCreationDate(*settings.creationDate);
  CDemoSiteFlight flight(settings.points, settings.seed);
  LasPoint point;
  for (long long written = 0; flight.Next(point);) {
    if (!writer.Write(point)) return Abandon(writer, outputPath, error);
    if (++written % kDemoSiteProgressStep == 0 && onProgress) onProgress(written);
  }
  if (!writer.Close()) return Abandon(writer, outputPath, error);
  return true;
}
