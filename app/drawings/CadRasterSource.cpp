#include "CadRasterSource.h"

#include <gdal_priv.h>

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

// World files are a few dozen bytes; anything beyond this is not one.
constexpr std::uintmax_t kMaxWorldFileBytes = 4096;
// The coarsest level brings the larger side of the raster to this or less.
constexpr double kCoarsestSide = 512;

int HalvingsToCoarsest(int width, int height) {
  double side = std::max(width, height);
  int halvings = 0;
  for (; side > kCoarsestSide; side /= 2) ++halvings;
  return halvings;
}

// One number of a world file: "100", "100," or "-0,01".
bool ParseWorldNumber(std::string token, double& value) {
  if (!token.empty() && token.back() == ',') token.pop_back();
  std::replace(token.begin(), token.end(), ',', '.');
  if (!token.empty() && token.front() == '+') token.erase(0, 1);
  const char* end = token.data() + token.size();
  const auto [stop, code] = std::from_chars(token.data(), end, value);
  return code == std::errc() && stop == end && std::isfinite(value);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

uint64_t TileKey(int level, int column, int row) {
  return static_cast<uint64_t>(level) << 48 | static_cast<uint64_t>(row) << 24 |
         static_cast<uint64_t>(column);
}

}  // namespace

void GdalDatasetCloser::operator()(GDALDataset* dataset) const {
  GDALClose(dataset);
}

GdalDatasetPtr OpenRasterReadOnly(const std::filesystem::path& path) {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  CPLPushErrorHandler(CPLQuietErrorHandler);
  GdalDatasetPtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  CPLPopErrorHandler();
  return dataset;
}

std::filesystem::path WorldFileName(const std::filesystem::path& image) {
  const std::string extension = image.extension().string();
  const bool jpeg = Lower(extension) == ".jpg" || Lower(extension) == ".jpeg";
  const bool upper = extension != Lower(extension) &&
                     std::none_of(extension.begin(), extension.end(),
                                  [](unsigned char c) { return std::islower(c); });
  std::filesystem::path world = image;
  world.replace_extension(jpeg ? (upper ? ".JGW" : ".jgw") : (upper ? ".TFW" : ".tfw"));
  return world;
}

int ReadWorldFile(const std::filesystem::path& path, CadRasterPlacement& placement,
                  std::string& error) {
  std::error_code code;
  const std::uintmax_t size = std::filesystem::file_size(path, code);
  std::ifstream file(path);
  if (code || !file) {
    error = "the world file " + path.string() + " cannot be read";
    return 0;
  }
  if (size > kMaxWorldFileBytes) {
    error = "the world file " + path.string() + " is too large to be a world file";
    return 0;
  }
  double values[6];
  std::string token;
  for (double& value : values)
    if (!(file >> token) || !ParseWorldNumber(token, value)) {
      error = "the world file " + path.string() +
              " does not hold six numbers (pixel width, two rotation terms, pixel height, x and "
              "y of the upper-left pixel)";
      return 0;
    }
  const auto [a, d, b, e, c, f] = values;
  if (a == 0 || e == 0) {
    error = "the world file " + path.string() + " gives a pixel size of zero";
    return 0;
  }
  // The world file names the centre of the upper-left pixel; the image entity is placed by the
  // pixel's corner, half a pixel up and to the left.
  placement = {a, d, b, e, c - a / 2 - b / 2, f - d / 2 - e / 2, CadRasterPlacement::kWorldFile};
  return 1;
}

int GetRasterPlacement(const std::filesystem::path& image, GDALDataset& dataset,
                       CadRasterPlacement& placement, std::string& error) {
  const std::filesystem::path world = WorldFileName(image);
  if (std::filesystem::exists(world)) return ReadWorldFile(world, placement, error);
  double transform[6];
  if (dataset.GetGeoTransform(transform) == CE_None && transform[1] != 0 && transform[5] != 0) {
    placement = {transform[1],
                 transform[4],
                 transform[2],
                 transform[5],
                 transform[0],
                 transform[3],
                 CadRasterPlacement::kDataset};
    return 1;
  }
  placement = {
      1, 0, 0, -1, 0, static_cast<double>(dataset.GetRasterYSize()), CadRasterPlacement::kNone};
  return 1;
}

unsigned PlaceRasterImage(CCadDrawing& drawing, const std::filesystem::path& path,
                          std::shared_ptr<CCadImageSource> source,
                          const CadRasterPlacement& placement, int userData) {
  const int layerId = drawing.AddLayer(path.filename().string(), 6);
  drawing.GetLayerByID(layerId)->locked = true;
  CadEntity entity;
  entity.type = CAD_IMAGE;
  entity.layerId = layerId;
  entity.userData = userData;
  entity.vertices = {{placement.c, placement.f + source->Height() * placement.e, 0}};
  entity.unitsPerPixelX = std::abs(placement.a);
  entity.unitsPerPixelY = std::abs(placement.e);
  entity.imageFile = path.string();
  entity.image = std::move(source);
  return drawing.AddEntity(std::move(entity));
}

std::vector<int> OverviewFactors(int width, int height) {
  std::vector<int> factors;
  for (int level = 1; level < HalvingsToCoarsest(width, height); ++level)
    factors.push_back(1 << level);
  return factors;
}

CCadRasterSource::CCadRasterSource(GdalDatasetPtr dataset) : m_Dataset(std::move(dataset)) {
  m_Width = m_Dataset->GetRasterXSize();
  m_Height = m_Dataset->GetRasterYSize();
  m_LevelCount = 1 + HalvingsToCoarsest(m_Width, m_Height);
}

CCadRasterSource::~CCadRasterSource() = default;

QSize CCadRasterSource::LevelSize(int level) const {
  const int factor = 1 << level;
  return {(m_Width + factor - 1) / factor, (m_Height + factor - 1) / factor};
}

bool CCadRasterSource::ReadLevel(GDALRasterBand* band, int level, const QRect& rect,
                                 float* values) const {
  const QSize size = LevelSize(level);
  for (int i = 0; level > 0 && i < band->GetOverviewCount(); ++i) {
    GDALRasterBand* overview = band->GetOverview(i);
    if (overview && overview->GetXSize() == size.width() && overview->GetYSize() == size.height())
      return overview->RasterIO(GF_Read, rect.x(), rect.y(), rect.width(), rect.height(), values,
                                rect.width(), rect.height(), GDT_Float32, 0, 0) == CE_None;
  }
  // No overview of this size: GDAL decimates the matching part of the full raster, from its
  // nearest finer overview when it has one.
  const int factor = 1 << level;
  const int x = rect.x() * factor, y = rect.y() * factor;
  const int width = std::min(rect.width() * factor, m_Width - x);
  const int height = std::min(rect.height() * factor, m_Height - y);
  return band->RasterIO(GF_Read, x, y, width, height, values, rect.width(), rect.height(),
                        GDT_Float32, 0, 0) == CE_None;
}

const QImage& CCadRasterSource::Tile(int level, int column, int row) {
  const uint64_t key = TileKey(level, column, row);
  const auto found = m_TileIndex.find(key);
  if (found != m_TileIndex.end()) {
    m_Tiles.splice(m_Tiles.begin(), m_Tiles, found->second);
    return m_Tiles.front().second;
  }
  const QSize size = LevelSize(level);
  const QRect rect = QRect(column * kTileSize, row * kTileSize, kTileSize, kTileSize)
                         .intersected(QRect(QPoint(0, 0), size));
  m_Tiles.emplace_front(key, ReadTile(level, rect));
  ++m_TilesRead;
  const QImage& tile = m_Tiles.front().second;
  if (tile.isNull()) {
    // A tile that could not be read is tried again next time.
    static const QImage kNone;
    m_Tiles.pop_front();
    return kNone;
  }
  m_TileIndex[key] = m_Tiles.begin();
  m_CachedBytes += tile.sizeInBytes();
  while (m_CachedBytes > kCacheBytes && m_Tiles.size() > 1) {
    m_CachedBytes -= m_Tiles.back().second.sizeInBytes();
    m_TileIndex.erase(m_Tiles.back().first);
    m_Tiles.pop_back();
  }
  return m_Tiles.front().second;
}

QImage CCadRasterSource::Region(const QRect& region, double scale) {
  const QRect wanted = region.intersected(QRect(0, 0, m_Width, m_Height));
  if (wanted.isEmpty() || !(scale > 0)) return QImage();
  scale = std::min(scale, 1.0);
  // The coarsest level that still has `scale` picture pixels per pixel of the raster.
  int level = 0;
  while (level + 1 < m_LevelCount && (1 << (level + 1)) * scale <= 1.0) ++level;
  const int factor = 1 << level;
  const QRect levelRect(QPoint(wanted.left() / factor, wanted.top() / factor),
                        QPoint(wanted.right() / factor, wanted.bottom() / factor));

  const QSize size(std::max(1, static_cast<int>(std::lround(wanted.width() * scale))),
                   std::max(1, static_cast<int>(std::lround(wanted.height() * scale))));
  QImage picture(size, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  // Level pixels to picture pixels.
  painter.setTransform(
      QTransform()
          .scale(size.width() / double(wanted.width()), size.height() / double(wanted.height()))
          .translate(-wanted.left(), -wanted.top())
          .scale(factor, factor));
  for (int row = levelRect.top() / kTileSize; row <= levelRect.bottom() / kTileSize; ++row)
    for (int column = levelRect.left() / kTileSize; column <= levelRect.right() / kTileSize;
         ++column) {
      const QImage& tile = Tile(level, column, row);
      if (tile.isNull()) return QImage();
      painter.drawImage(QPointF(column * kTileSize, row * kTileSize), tile);
    }
  return picture;
}
