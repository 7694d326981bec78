#include "nimbex/demo/DemoScene.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "nimbex/creation/LasReader.h"
#include "nimbex/platform/Sinks.h"

namespace {

using Vector3 = Wml::Vector3<double>;

constexpr double kPi = 3.14159265358979323846;
// A morning sun in the south-east, shadows falling to the north-west.
constexpr double kSunAzimuth = 140;  // degrees clockwise from +y (north)
constexpr double kSunElevation = 48;
// Daylight: what the sky gives every surface, what the sun adds to one facing it; shadows
// are a little bluer than the sky-lit colour.
constexpr double kAmbient = 0.5;
constexpr double kDirect = 0.68;
constexpr double kShadowTint[3] = {0.93, 0.98, 1.07};

// Cells in which points are gathered to measure the surface around them.
constexpr double kSurfaceCell = 1.0;
constexpr int kCellBits = 21;
// The points are held in memory, about 60 bytes each while the scene is made.
constexpr int64_t kMaxScenePoints = 100000000;
// Fewer points than this around a point tell neither its surface nor their spacing.
constexpr double kMinSurfacePoints = 6;
// The cells of the site grid: at least a metre, fewer than this many in all.
constexpr double kMaxSiteCells = 4e6;
constexpr double kMaxShadowCells = 16e6;
constexpr double kShadowResolution = 0.25;

constexpr uint8_t kBuildingClass = 6;
// Walls and posts stand at most this high, walls in columns this wide.
constexpr float kMaxWallHeight = 30;
constexpr float kMaxPostHeight = 3;
constexpr double kCurtainColumn = 0.3;
constexpr float kCurtainWidth = 1;  // times the typical spacing
// Building points this far below the top of their column are on a wall.
constexpr float kRoofThickness = 0.5f;
// Rendered walls, for buildings whose walls the scan saw nowhere.
constexpr uint8_t kUnseenWall[3] = {200, 192, 176};
constexpr float kPostWidth = 0.1f;
// Unclassified points with more unclassified points than this within a metre or two are a
// surface, not a small thing.
constexpr int kMaxPostNeighbours = 3;
constexpr double kMinBuildingArea = 25;  // square metres

// Colours of the classes for files without colours.
uint8_t ClassColour(uint8_t classification, int channel) {
  static const uint8_t kColours[][3] = {{150, 150, 150}, {150, 150, 150}, {110, 130, 70},
                                        {90, 130, 60},   {70, 110, 50},   {60, 95, 45},
                                        {170, 90, 70},   {150, 150, 150}};
  return kColours[std::min<int>(classification, 7)][channel];
}

bool IsVegetation(uint8_t classification) {
  return classification >= 3 && classification <= 5;
}

uint64_t CellKey(int64_t ix, int64_t iy, int64_t iz) {
  const int64_t limit = (int64_t(1) << kCellBits) - 1;
  auto clamp = [limit](int64_t i) { return uint64_t(std::clamp<int64_t>(i, 0, limit)); };
  return (clamp(ix) << (2 * kCellBits)) | (clamp(iy) << kCellBits) | clamp(iz);
}

// Sums from which the centroid and the covariance of a set of points follow.
struct Moments {
  double n = 0;
  double s[3] = {0, 0, 0};
  double ss[6] = {0, 0, 0, 0, 0, 0};  // xx xy xz yy yz zz

  void Add(const DemoScenePoint& p) {
    const double v[3] = {p.x, p.y, p.z};
    n += 1;
    for (int i = 0; i < 3; ++i) s[i] += v[i];
    ss[0] += v[0] * v[0];
    ss[1] += v[0] * v[1];
    ss[2] += v[0] * v[2];
    ss[3] += v[1] * v[1];
    ss[4] += v[1] * v[2];
    ss[5] += v[2] * v[2];
  }
  void Add(const Moments& m) {
    n += m.n;
    for (int i = 0; i < 3; ++i) s[i] += m.s[i];
    for (int i = 0; i < 6; ++i) ss[i] += m.ss[i];
  }
  // The direction in which the points spread least; up when they are too few to tell.
  Vector3 Normal() const {
    if (n < kMinSurfacePoints) return Vector3::UnitZ();
    const double m[3] = {s[0] / n, s[1] / n, s[2] / n};
    Eigen::Matrix3d c;
    c(0, 0) = ss[0] / n - m[0] * m[0];
    c(0, 1) = c(1, 0) = ss[1] / n - m[0] * m[1];
    c(0, 2) = c(2, 0) = ss[2] / n - m[0] * m[2];
    c(1, 1) = ss[3] / n - m[1] * m[1];
    c(1, 2) = c(2, 1) = ss[4] / n - m[1] * m[2];
    c(2, 2) = ss[5] / n - m[2] * m[2];
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver;
    solver.computeDirect(c);
    const Eigen::Vector3d smallest = solver.eigenvectors().col(0);
    Vector3 normal(smallest.x(), smallest.y(), smallest.z());
    if (normal.Normalize() == 0 || !std::isfinite(normal.X())) return Vector3::UnitZ();
    return normal.Z() < 0 ? -normal : normal;
  }
};

struct SurfaceCell {
  uint64_t key;
  Moments moments;
};

}  // namespace

bool CDemoScene::Load(const std::string& lasPath, CProgressSink* progress, CTextSink* status,
                      std::string& error) {
  if (status) status->SetText("Reading " + lasPath);
  if (!ReadPoints(lasPath, progress, error)) return false;
  if (status) status->SetText("Lighting the site");
  const double azimuth = kSunAzimuth * kPi / 180, elevation = kSunElevation * kPi / 180;
  m_Sun = Vector3(std::sin(azimuth) * std::cos(elevation), std::cos(azimuth) * std::cos(elevation),
                  std::sin(elevation));
  MeasureSurfaces();
  MakeSiteGrid();
  HangCurtains();
  Light();
  FindBuildings();
  return true;
}

bool CDemoScene::ReadPoints(const std::string& lasPath, CProgressSink* progress,
                            std::string& error) {
  std::unique_ptr<CLasReader> reader = CLasReader::Open(lasPath, error);
  if (!reader) return false;
  const int64_t count = reader->GetPointCount();
  if (count > kMaxScenePoints) {
    error = lasPath + " holds " + std::to_string(count) + " points; the demo photographs take " +
            "sites of at most " + std::to_string(kMaxScenePoints) + " points";
    return false;
  }
  double bounds[6];
  bool haveOrigin = reader->GetHeaderBounds(bounds);
  if (haveOrigin) m_Origin = Point3(bounds[0], bounds[2], bounds[4]);
  m_Points.clear();
  m_Points.reserve(size_t(count));
  if (progress) progress->SetRange(0, 100);
  SPoint point;
  for (int result; (result = reader->Read(point)) != SP_END;) {
    if (result != SP_VALID) continue;
    if (!haveOrigin) {
      m_Origin = Point3(point.x, point.y, point.z);
      haveOrigin = true;
    }
    DemoScenePoint p;
    p.x = float(point.x - m_Origin.X());
    p.y = float(point.y - m_Origin.Y());
    p.z = float(point.z - m_Origin.Z());
    p.spacing = 0;
    p.classification = point.classification;
    const bool coloured = point.rgb[0] || point.rgb[1] || point.rgb[2];
    for (int c = 0; c < 3; ++c)
      p.rgb[c] = coloured ? uint8_t(std::min<int>(point.rgb[c], 255))
                          : ClassColour(point.classification, c);
    m_Points.push_back(p);
    if (progress && m_Points.size() % 65536 == 0)
      progress->SetPos(int(100 * double(m_Points.size()) / double(std::max<int64_t>(count, 1))));
  }
  if (!reader->GetError().empty()) {
    error = reader->GetError();
    return false;
  }
  if (m_Points.empty()) {
    error = lasPath + " holds no point: give the LAS file of a site";
    return false;
  }
  if (progress) progress->SetPos(100);
  m_Min = Point3(std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                 std::numeric_limits<double>::max());
  m_Max = -m_Min;
  for (const DemoScenePoint& p : m_Points) {
    const double v[3] = {p.x, p.y, p.z};
    for (int i = 0; i < 3; ++i) {
      m_Min[i] = std::min(m_Min[i], v[i]);
      m_Max[i] = std::max(m_Max[i], v[i]);
    }
  }
  return true;
}

// Gathers the points in cells of a metre and, over each cell and its 26 neighbours, measures
// the surface through them: its normal (oriented up; walls are turned out later) and
// the spacing of its points, from their number over the nine square metres a surface
// crossing the neighbourhood covers. Lone points (a post, a car) take the spacing most
// points have.
void CDemoScene::MeasureSurfaces() {
  std::vector<std::pair<uint64_t, uint32_t>> order(m_Points.size());
  auto cellOf = [this](const DemoScenePoint& p) {
    return CellKey(int64_t(std::floor((p.x - m_Min.X()) / kSurfaceCell)),
                   int64_t(std::floor((p.y - m_Min.Y()) / kSurfaceCell)),
                   int64_t(std::floor((p.z - m_Min.Z()) / kSurfaceCell)));
  };
  for (size_t i = 0; i < m_Points.size(); ++i) order[i] = {cellOf(m_Points[i]), uint32_t(i)};
  std::sort(order.begin(), order.end());

  std::vector<SurfaceCell> cells;
  std::vector<uint32_t> cellOfPoint(m_Points.size());
  for (const auto& [key, index] : order) {
    if (cells.empty() || cells.back().key != key) cells.push_back({key, {}});
    cells.back().moments.Add(m_Points[index]);
    cellOfPoint[index] = uint32_t(cells.size() - 1);
  }
  std::unordered_map<uint64_t, uint32_t> lookup;
  lookup.reserve(cells.size() * 2);
  for (size_t i = 0; i < cells.size(); ++i) lookup.emplace(cells[i].key, uint32_t(i));

  const uint64_t mask = (uint64_t(1) << kCellBits) - 1;
  std::vector<Vector3> cellNormals(cells.size());
  std::vector<float> cellSpacing(cells.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    const int64_t ix = int64_t(cells[i].key >> (2 * kCellBits));
    const int64_t iy = int64_t((cells[i].key >> kCellBits) & mask);
    const int64_t iz = int64_t(cells[i].key & mask);
    Moments around;
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz) {
          if (ix + dx < 0 || iy + dy < 0 || iz + dz < 0) continue;
          const auto found = lookup.find(CellKey(ix + dx, iy + dy, iz + dz));
          if (found != lookup.end()) around.Add(cells[found->second].moments);
        }
    cellNormals[i] = around.Normal();
    cellSpacing[i] =
        around.n < kMinSurfacePoints
            ? 0
            : float(std::clamp(std::sqrt(9 * kSurfaceCell * kSurfaceCell / around.n), 0.02, 2.0));
  }
  std::vector<float> spacings;
  for (uint32_t cell : cellOfPoint)
    if (cellSpacing[cell] > 0) spacings.push_back(cellSpacing[cell]);
  if (!spacings.empty()) {
    std::nth_element(spacings.begin(), spacings.begin() + spacings.size() / 2, spacings.end());
    m_TypicalSpacing = spacings[spacings.size() / 2];
  }
  for (size_t i = 0; i < m_Points.size(); ++i) {
    DemoScenePoint& p = m_Points[i];
    const float spacing = cellSpacing[cellOfPoint[i]];
    p.spacing = spacing > 0 ? spacing : m_TypicalSpacing;
    const Vector3& normal = cellNormals[cellOfPoint[i]];
    for (int c = 0; c < 3; ++c) p.normal[c] = int8_t(std::lround(normal[c] * 127));
  }
}

// An airborne scan meets a wall in rows metres apart, at the heights where its pulses
// strike it, and small things (posts, cars) in one unclassified point above the ground. Each
// column of building points below the roof around it is hung as a wall from the roof's edge
// down to the ground through its rows, facing the side without building, and each small
// thing stands on the ground as a post, so that the photographs show walls and posts instead
// of stripes and floating specks.
void CDemoScene::HangCurtains() {
  std::vector<DemoScenePoint> hung;
  HangWalls(hung);
  RaisePosts(hung);
  m_Points.insert(m_Points.end(), hung.begin(), hung.end());
}

// Points hung below `from` down to `bottom`, half a spacing apart, the first a whole spacing
// down: their discs reach no higher than the top.
void CDemoScene::Hang(DemoScenePoint from, float spacing, float bottom,
                      std::vector<DemoScenePoint>& hung) const {
  from.spacing = spacing;
  const float top = from.z;
  for (float z = top - spacing; z > bottom; z -= spacing / 2) {
    from.z = z;
    hung.push_back(from);
  }
}

void CDemoScene::HangWalls(std::vector<DemoScenePoint>& hung) {
  auto columnOf = [this](const DemoScenePoint& p) {
    return std::pair<int64_t, int64_t>(int64_t(std::floor((p.x - m_Min.X()) / kCurtainColumn)),
                                       int64_t(std::floor((p.y - m_Min.Y()) / kCurtainColumn)));
  };
  std::vector<std::pair<uint64_t, uint32_t>> columns;
  for (size_t i = 0; i < m_Points.size(); ++i)
    if (m_Points[i].classification == kBuildingClass) {
      const auto [cx, cy] = columnOf(m_Points[i]);
      columns.push_back({CellKey(cx, cy, 0), uint32_t(i)});
    }
  std::sort(columns.begin(), columns.end());
  std::unordered_map<uint64_t, float> tops;
  for (const auto& [key, index] : columns) {
    const auto found = tops.find(key);
    if (found == tops.end() || found->second < m_Points[index].z) tops[key] = m_Points[index].z;
  }
  // The roof's edge may lie in the next column: the highest building point around.
  auto roofAround = [&tops](int64_t cx, int64_t cy) {
    float roof = -std::numeric_limits<float>::max();
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy) {
        const auto found = tops.find(CellKey(cx + dx, cy + dy, 0));
        if (found != tops.end()) roof = std::max(roof, found->second);
      }
    return roof;
  };
  // Out of the building: towards the sides where the next two columns hold no building
  // point (one empty column may be a gap between the points of a roof).
  auto outwards = [&tops](int64_t cx, int64_t cy) {
    Vector3 normal;
    for (const auto& [dx, dy] : {std::pair<int, int>{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
      if (!tops.count(CellKey(cx + dx, cy + dy, 0)) &&
          !tops.count(CellKey(cx + 2 * dx, cy + 2 * dy, 0)))
        normal += Vector3(dx, dy, 0);
    return normal;
  };

  struct Column {
    int64_t cx, cy;
    float roof;
    uint32_t highest;
    std::vector<uint32_t> walls;  // highest first
  };
  std::vector<Column> found;
  double colourSum[3] = {0, 0, 0};
  size_t wallPoints = 0;
  for (size_t first = 0; first < columns.size();) {
    size_t last = first;
    while (last < columns.size() && columns[last].first == columns[first].first) ++last;
    Column column;
    std::tie(column.cx, column.cy) = columnOf(m_Points[columns[first].second]);
    column.roof = roofAround(column.cx, column.cy);
    column.highest = columns[first].second;
    for (size_t i = first; i < last; ++i) {
      const uint32_t index = columns[i].second;
      if (m_Points[index].z > m_Points[column.highest].z) column.highest = index;
      if (m_Points[index].z >= column.roof - kRoofThickness) continue;
      column.walls.push_back(index);
      for (int c = 0; c < 3; ++c) colourSum[c] += m_Points[index].rgb[c];
      ++wallPoints;
    }
    std::sort(column.walls.begin(), column.walls.end(),
              [this](uint32_t a, uint32_t b) { return m_Points[a].z > m_Points[b].z; });
    found.push_back(std::move(column));
    first = last;
  }
  // Faces the scan did not see take the colour of the walls it saw.
  uint8_t unseen[3] = {kUnseenWall[0], kUnseenWall[1], kUnseenWall[2]};
  for (int c = 0; c < 3 && wallPoints; ++c) unseen[c] = uint8_t(colourSum[c] / double(wallPoints));

  const float spacing = kCurtainWidth * m_TypicalSpacing;
  // A point of the wall, facing out when the column tells which way that is.
  auto face = [&](DemoScenePoint point, const Vector3& normal) {
    point.spacing = spacing;
    if (normal.SquaredLength() > 0)
      for (int c = 0; c < 3; ++c) point.normal[c] = int8_t(std::lround(normal[c] * 127));
    return point;
  };
  auto hangToGround = [&](const DemoScenePoint& from) {
    const float ground = float(GroundHeight(from.x, from.y));
    if (from.z - ground <= kMaxWallHeight) Hang(from, spacing, ground, hung);
  };
  for (const Column& column : found) {
    Vector3 normal = outwards(column.cx, column.cy);
    if (normal.Normalize() == 0 && column.walls.empty()) continue;
    if (column.walls.empty()) {
      DemoScenePoint edge = face(m_Points[column.highest], normal);
      std::copy(unseen, unseen + 3, edge.rgb);
      hangToGround(edge);
      continue;
    }
    // From the column's own roof point, else from the roof right behind the wall: the roof
    // around may be higher.
    const float own = m_Points[column.highest].z;
    const auto behind = tops.find(
        CellKey(column.cx - std::lround(normal.X()), column.cy - std::lround(normal.Y()), 0));
    float top = own >= column.roof - kRoofThickness ? own
                : behind != tops.end()              ? behind->second
                                                    : column.roof;
    for (uint32_t index : column.walls) {
      DemoScenePoint& wall = m_Points[index];
      wall = face(wall, normal);
      DemoScenePoint above = wall;
      above.z = top;
      if (top - wall.z <= kMaxWallHeight) Hang(above, spacing, wall.z, hung);
      top = wall.z;
    }
    hangToGround(m_Points[column.walls.back()]);
  }
}

// Unclassified points with few unclassified neighbours stand on the ground as thin posts.
void CDemoScene::RaisePosts(std::vector<DemoScenePoint>& hung) {
  std::unordered_map<uint64_t, int> around;
  auto cellOf = [this](const DemoScenePoint& p, int dx, int dy) {
    return CellKey(int64_t(std::floor(p.x - m_Min.X())) + 1 + dx,
                   int64_t(std::floor(p.y - m_Min.Y())) + 1 + dy, 0);
  };
  for (const DemoScenePoint& p : m_Points)
    if (p.classification == 1)
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) ++around[cellOf(p, dx, dy)];
  const float spacing = std::min(m_TypicalSpacing, kPostWidth);
  for (DemoScenePoint& p : m_Points) {
    if (p.classification != 1 || around[cellOf(p, 0, 0)] > kMaxPostNeighbours) continue;
    const float ground = float(GroundHeight(p.x, p.y));
    if (p.z - ground > kMaxPostHeight) continue;
    p.spacing = spacing;
    // A post has no one facing: no normal.
    std::fill(p.normal, p.normal + 3, int8_t(0));
    Hang(p, spacing, ground, hung);
  }
}

// Shades every point by the angle of its surface to the sun and darkens it where a shadow
// map, made by looking down the sun's rays, shows something higher towards the sun. The
// share of lit samples around the point softens the shadows' edges.
void CDemoScene::Light() {
  Vector3 across = m_Sun.Cross(Vector3::UnitZ());
  across.Normalize();
  const Vector3 along = across.Cross(m_Sun);
  double uMin = std::numeric_limits<double>::max(), vMin = uMin, uMax = -uMin, vMax = -uMin;
  for (const DemoScenePoint& p : m_Points) {
    const Vector3 v(p.x, p.y, p.z);
    uMin = std::min(uMin, v.Dot(across));
    uMax = std::max(uMax, v.Dot(across));
    vMin = std::min(vMin, v.Dot(along));
    vMax = std::max(vMax, v.Dot(along));
  }
  const double resolution = std::max(
      kShadowResolution, std::sqrt((uMax - uMin + 1) * (vMax - vMin + 1) / kMaxShadowCells));
  const int columns = int((uMax - uMin) / resolution) + 3;
  const int rows = int((vMax - vMin) / resolution) + 3;
  std::vector<float> towardsSun(size_t(columns) * size_t(rows), -std::numeric_limits<float>::max());
  auto mapAt = [&](const DemoScenePoint& p, double& u, double& v) {
    const Vector3 position(p.x, p.y, p.z);
    u = (position.Dot(across) - uMin) / resolution + 1;
    v = (position.Dot(along) - vMin) / resolution + 1;
    return float(position.Dot(m_Sun));
  };
  for (const DemoScenePoint& p : m_Points) {
    double u, v;
    const float height = mapAt(p, u, v);
    const double reach = 0.7 * p.spacing / resolution;
    const int c0 = std::max(0, int(u - reach)), c1 = std::min(columns - 1, int(u + reach));
    const int r0 = std::max(0, int(v - reach)), r1 = std::min(rows - 1, int(v + reach));
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c) {
        float& cell = towardsSun[size_t(r) * columns + c];
        cell = std::max(cell, height);
      }
  }
  for (size_t i = 0; i < m_Points.size(); ++i) {
    DemoScenePoint& p = m_Points[i];
    double u, v;
    const float height = mapAt(p, u, v);
    const float bias = 0.3f + p.spacing;
    // Four by four samples centred on the point itself: the penumbra moves smoothly with it.
    int lit = 0, samples = 0;
    for (double dr = -1.5; dr <= 1.5; ++dr)
      for (double dc = -1.5; dc <= 1.5; ++dc) {
        const int c = std::clamp(int(std::floor(u + dc)), 0, columns - 1);
        const int r = std::clamp(int(std::floor(v + dr)), 0, rows - 1);
        lit += height + bias >= towardsSun[size_t(r) * columns + c];
        ++samples;
      }
    const Vector3 normal = Vector3(p.normal[0], p.normal[1], p.normal[2]) / 127.0;
    // A post without normal is lit on one side, as a round post is.
    double facing = normal.SquaredLength() > 0 ? std::max(0.0, normal.Dot(m_Sun)) : 0.5;
    // Leaves face every way: their texture, not their mean direction, shows.
    if (IsVegetation(p.classification)) facing = 0.35 + 0.65 * facing;
    const double sunlit = double(lit) / samples;
    for (int c = 0; c < 3; ++c) {
      const double light =
          kAmbient * (sunlit + (1 - sunlit) * kShadowTint[c]) + kDirect * sunlit * facing;
      p.rgb[c] = uint8_t(std::clamp(p.rgb[c] * light + 0.5, 0.0, 255.0));
    }
  }
}

int CDemoScene::CellIndex(double x, double y) const {
  const int column = std::clamp(int(std::floor((x - m_Min.X()) / m_CellSize)), 0, m_Columns - 1);
  const int row = std::clamp(int(std::floor((y - m_Min.Y()) / m_CellSize)), 0, m_Rows - 1);
  return row * m_Columns + column;
}

// The ground of each cell is the mean height of its ground points (class 2), or its lowest
// point in a file without classes; cells without ground (under roofs and crowns) take the
// mean of their neighbours, outwards from the cells that have one.
void CDemoScene::MakeSiteGrid() {
  const double width = m_Max.X() - m_Min.X(), depth = m_Max.Y() - m_Min.Y();
  m_CellSize = std::max(1.0, std::sqrt((width + 1) * (depth + 1) / kMaxSiteCells));
  m_Columns = int(width / m_CellSize) + 1;
  m_Rows = int(depth / m_CellSize) + 1;
  const size_t cellCount = size_t(m_Columns) * size_t(m_Rows);
  const float none = std::numeric_limits<float>::quiet_NaN();
  std::vector<double> groundSum(cellCount, 0);
  std::vector<int> groundCount(cellCount, 0);
  m_Top.assign(cellCount, none);
  m_BuildingPoints.assign(cellCount, 0);
  const bool classified =
      std::any_of(m_Points.begin(), m_Points.end(),
                  [](const DemoScenePoint& p) { return p.classification == 2; });
  std::vector<float> lowest(cellCount, none);
  for (const DemoScenePoint& p : m_Points) {
    const int cell = CellIndex(p.x, p.y);
    if (!(m_Top[cell] >= p.z)) m_Top[cell] = p.z;
    if (!(lowest[cell] <= p.z)) lowest[cell] = p.z;
    if (p.classification == 2) {
      groundSum[cell] += p.z;
      ++groundCount[cell];
    }
    if (p.classification == kBuildingClass && m_BuildingPoints[cell] < 65535)
      ++m_BuildingPoints[cell];
  }
  m_Ground.assign(cellCount, none);
  for (size_t i = 0; i < cellCount; ++i)
    m_Ground[i] =
        classified ? (groundCount[i] ? float(groundSum[i] / groundCount[i]) : none) : lowest[i];
  for (bool changed = true; changed;) {
    changed = false;
    std::vector<float> next = m_Ground;
    for (int r = 0; r < m_Rows; ++r)
      for (int c = 0; c < m_Columns; ++c) {
        if (!std::isnan(m_Ground[size_t(r) * m_Columns + c])) continue;
        double sum = 0;
        int count = 0;
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int rr = r + dr, cc = c + dc;
            if (rr < 0 || cc < 0 || rr >= m_Rows || cc >= m_Columns) continue;
            const float g = m_Ground[size_t(rr) * m_Columns + cc];
            if (!std::isnan(g)) sum += g, ++count;
          }
        if (count) {
          next[size_t(r) * m_Columns + c] = float(sum / count);
          changed = true;
        }
      }
    m_Ground.swap(next);
  }
  const float fallback = float(m_Min.Z());
  for (float& g : m_Ground)
    if (std::isnan(g)) g = fallback;
  for (size_t i = 0; i < cellCount; ++i)
    if (std::isnan(m_Top[i])) m_Top[i] = m_Ground[i];
}

double CDemoScene::GroundHeight(double x, double y) const {
  if (m_Ground.empty()) return 0;
  return m_Ground[CellIndex(x, y)];
}

double CDemoScene::HighestPoint(double x, double y, double radius) const {
  if (m_Top.empty()) return 0;
  const int reach = int(std::ceil(radius / m_CellSize));
  const int centre = CellIndex(x, y);
  const int row = centre / m_Columns, column = centre % m_Columns;
  double highest = m_Ground[centre];
  for (int r = std::max(0, row - reach); r <= std::min(m_Rows - 1, row + reach); ++r)
    for (int c = std::max(0, column - reach); c <= std::min(m_Columns - 1, column + reach); ++c)
      highest = std::max<double>(highest, m_Top[size_t(r) * m_Columns + c]);
  return highest;
}

// Buildings are the groups of touching cells holding building points. The wall an airborne
// scan sampled holds more building points along its side than the opposite one.
void CDemoScene::FindBuildings() {
  m_Buildings.clear();
  std::vector<int> group(m_BuildingPoints.size(), -1);
  auto isBuilding = [this](int cell) { return m_BuildingPoints[cell] >= 2; };
  for (int start = 0; start < int(group.size()); ++start) {
    if (!isBuilding(start) || group[start] >= 0) continue;
    std::vector<int> members{start}, stack{start};
    group[start] = start;
    while (!stack.empty()) {
      const int cell = stack.back();
      stack.pop_back();
      const int row = cell / m_Columns, column = cell % m_Columns;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc) {
          const int r = row + dr, c = column + dc;
          if (r < 0 || c < 0 || r >= m_Rows || c >= m_Columns) continue;
          const int next = r * m_Columns + c;
          if (group[next] >= 0 || !isBuilding(next)) continue;
          group[next] = start;
          members.push_back(next);
          stack.push_back(next);
        }
    }
    if (double(members.size()) * m_CellSize * m_CellSize < kMinBuildingArea) continue;
    int c0 = m_Columns, c1 = -1, r0 = m_Rows, r1 = -1;
    for (int cell : members) {
      c0 = std::min(c0, cell % m_Columns);
      c1 = std::max(c1, cell % m_Columns);
      r0 = std::min(r0, cell / m_Columns);
      r1 = std::max(r1, cell / m_Columns);
    }
    DemoBuilding building;
    building.x0 = m_Min.X() + c0 * m_CellSize;
    building.x1 = m_Min.X() + (c1 + 1) * m_CellSize;
    building.y0 = m_Min.Y() + r0 * m_CellSize;
    building.y1 = m_Min.Y() + (r1 + 1) * m_CellSize;
    building.base = std::numeric_limits<double>::max();
    building.top = -building.base;
    double west = 0, east = 0;
    for (int cell : members) {
      building.base = std::min<double>(building.base, m_Ground[cell]);
      building.top = std::max<double>(building.top, m_Top[cell]);
      const int column = cell % m_Columns;
      if (column <= c0 + 1) west += m_BuildingPoints[cell];
      if (column >= c1 - 1) east += m_BuildingPoints[cell];
    }
    building.sampledWall = west > 1.25 * east ? -1 : east > 1.25 * west ? 1 : 0;
    m_Buildings.push_back(building);
  }
}
