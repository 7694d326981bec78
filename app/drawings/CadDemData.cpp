#include "CadDemData.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMetresPerDegree = 111320.0;
constexpr double kPi = 3.14159265358979323846;

struct RampStop {
  double t;
  int red, green, blue;
};
const RampStop kRamp[] = {{0.0, 34, 102, 51},
                          {0.25, 122, 176, 84},
                          {0.5, 230, 218, 140},
                          {0.75, 168, 112, 62},
                          {1.0, 248, 246, 240}};

// Whether the model's cells are degrees of longitude and latitude: its reference system says
// so, or, without one, its cells are tiny and it lies within the range of longitudes and
// latitudes.
bool IsInDegrees(GDALDataset& dataset, const CadRasterPlacement& placement) {
  if (const OGRSpatialReference* reference = dataset.GetSpatialRef())
    return reference->IsGeographic();
  if (placement.source == CadRasterPlacement::kNone) return false;
  const double right = placement.c + placement.a * dataset.GetRasterXSize();
  const double bottom = placement.f + placement.e * dataset.GetRasterYSize();
  return std::abs(placement.a) < 0.01 && std::abs(placement.e) < 0.01 &&
         std::min(placement.c, right) >= -180 && std::max(placement.c, right) <= 360 &&
         std::min(placement.f, bottom) >= -90 && std::max(placement.f, bottom) <= 90;
}

}  // namespace

CCadDemSource::CCadDemSource(GdalDatasetPtr dataset, double minimum, double maximum,
                             double cellWidth, double cellHeight)
    : CCadRasterSource(std::move(dataset)),
      m_Minimum(minimum),
      m_Maximum(maximum),
      m_CellWidth(cellWidth),
      m_CellHeight(cellHeight) {
  m_Band = GetDataset().GetRasterBand(1);
  int hasNoData = 0;
  m_NoData = m_Band->GetNoDataValue(&hasNoData);
  m_HasNoData = hasNoData != 0;
}

bool CCadDemSource::IsNoData(float value) const {
  return !std::isfinite(value) || (m_HasNoData && value == static_cast<float>(m_NoData));
}

QRgb CCadDemSource::ElevationColour(double t, double light) {
  t = std::clamp(t, 0.0, 1.0);
  size_t i = 1;
  while (i + 1 < std::size(kRamp) && kRamp[i].t < t) ++i;
  const RampStop& low = kRamp[i - 1];
  const RampStop& high = kRamp[i];
  const double along = (t - low.t) / (high.t - low.t);
  const double brightness = 0.4 + 0.6 * std::clamp(light, 0.0, 1.0);
  auto mix = [&](int from, int to) {
    return static_cast<int>((from + (to - from) * along) * brightness + 0.5);
  };
  return qRgb(mix(low.red, high.red), mix(low.green, high.green), mix(low.blue, high.blue));
}

QImage CCadDemSource::ReadTile(int level, const QRect& rect) {
  // One more cell around the tile gives the slopes at its edges.
  const QRect read = rect.adjusted(-1, -1, 1, 1).intersected(QRect(QPoint(0, 0), LevelSize(level)));
  std::vector<float> z(static_cast<size_t>(read.width()) * read.height());
  if (!ReadLevel(m_Band, level, read, z.data())) return QImage();
  auto at = [&](int x, int y) {
    x = std::clamp(x, read.left(), read.right()) - read.left();
    y = std::clamp(y, read.top(), read.bottom()) - read.top();
    return z[static_cast<size_t>(y) * read.width() + x];
  };

  const double factor = 1 << level;
  const double cellWidth = m_CellWidth * factor, cellHeight = m_CellHeight * factor;
  const double azimuth = 315 * kPi / 180, altitude = 45 * kPi / 180;
  const double lightX = std::cos(altitude) * std::sin(azimuth);
  const double lightY = std::cos(altitude) * std::cos(azimuth);
  const double lightZ = std::sin(altitude);
  const double range = m_Maximum > m_Minimum ? m_Maximum - m_Minimum : 1.0;

  QImage tile(rect.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(tile.scanLine(y - rect.top()));
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const float centre = at(x, y);
      if (IsNoData(centre)) {
        row[x - rect.left()] = qRgba(0, 0, 0, 0);
        continue;
      }
      // A neighbour without data counts as level with the centre.
      auto neighbour = [&](int nx, int ny) {
        const float value = at(nx, ny);
        return IsNoData(value) ? centre : value;
      };
      // East and north slopes (rows run southwards).
      const double east = (neighbour(x + 1, y) - neighbour(x - 1, y)) / (2 * cellWidth);
      const double north = (neighbour(x, y - 1) - neighbour(x, y + 1)) / (2 * cellHeight);
      const double light =
          (-east * lightX - north * lightY + lightZ) / std::sqrt(east * east + north * north + 1);
      row[x - rect.left()] = ElevationColour((centre - m_Minimum) / range, light);
    }
  }
  return tile;
}

int CadDemData::Open(const std::filesystem::path& path, std::string& error) {
  m_Path = std::filesystem::absolute(path);
  GdalDatasetPtr dataset = OpenRasterReadOnly(m_Path);
  if (!dataset || dataset->GetRasterCount() < 1 || dataset->GetRasterXSize() <= 0 ||
      dataset->GetRasterYSize() <= 0) {
    error = m_Path.string() + ": GDAL cannot open it as a raster";
    return 0;
  }
  double range[2];
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool known = dataset->GetRasterBand(1)->ComputeRasterMinMax(FALSE, range) == CE_None;
  CPLPopErrorHandler();
  if (!known || !std::isfinite(range[0]) || !std::isfinite(range[1])) {
    error = m_Path.string() + ": its first band holds no elevation (every cell is without data)";
    return 0;
  }
  m_Minimum = range[0];
  m_Maximum = range[1];
  if (!GetRasterPlacement(m_Path, *dataset, m_Placement, error)) return 0;

  double cellWidth = std::abs(m_Placement.a), cellHeight = std::abs(m_Placement.e);
  if (IsInDegrees(*dataset, m_Placement)) {
    const double middle = m_Placement.f + m_Placement.e * dataset->GetRasterYSize() / 2;
    cellWidth *= kMetresPerDegree * std::cos(middle * kPi / 180);
    cellHeight *= kMetresPerDegree;
  }
  m_Source = std::make_shared<CCadDemSource>(std::move(dataset), m_Minimum, m_Maximum, cellWidth,
                                             cellHeight);
  return 1;
}

unsigned CadDemData::Place(CCadDrawing& drawing) const {
  return PlaceRasterImage(drawing, m_Path, m_Source, m_Placement, kDemUserData);
}
