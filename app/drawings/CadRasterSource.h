// The pixels of a raster read through GDAL (an orthophoto, an elevation model) for the drawing
// pane, at the level of detail the pane asks for, and where the raster lies in the drawing.
//
// Level 0 is the raster itself and level k halves it k times. A level is read from the band's
// overview of that size when the raster has one, else GDAL decimates it from the finest data
// it has. The picture is kept in tiles of 256 pixels of their level, the most recently used
// ones up to 64 MiB, so that panning reads only the tiles that come into view.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "CadDrawing.h"

class GDALDataset;
class GDALRasterBand;

struct GdalDatasetCloser {
  void operator()(GDALDataset* dataset) const;
};
using GdalDatasetPtr = std::unique_ptr<GDALDataset, GdalDatasetCloser>;

// Opens a raster read-only, quietly: null when GDAL cannot open it.
GdalDatasetPtr OpenRasterReadOnly(const std::filesystem::path& path);

// Where a raster lies in the drawing, in the terms of a world file: a (units per pixel along a
// row), d and b (rotation terms), e (units per pixel down a column, negative for north-up
// pictures), and c, f: the upper-left corner of the upper-left pixel (a world file gives that
// pixel's centre; it is moved to the corner when read).
struct CadRasterPlacement {
  enum Source { kWorldFile, kDataset, kNone };
  double a = 1, d = 0, b = 0, e = -1, c = 0, f = 0;
  Source source = kNone;
  // Image entities are not rotated: d and b are not applied.
  bool IsRotated() const { return d != 0 || b != 0; }
};

// The world file of an image: its name with "jgw" for ".jpg" and ".jpeg" images, else "tfw" (the
// upper-case extension when the image's extension is upper case).
std::filesystem::path WorldFileName(const std::filesystem::path& image);

// Reads the six numbers of a world file (a, d, b, e, c, f, one a line). A number may end in a
// comma and may use a comma as its decimal separator. 0 with `error` set when the file cannot
// be read, holds fewer than six numbers, or gives a pixel size of zero.
int ReadWorldFile(const std::filesystem::path& path, CadRasterPlacement& placement,
                  std::string& error);

// The world file beside the image when there is one, else the dataset's geotransform, else
// the lower-left corner at (0, 0) and one unit per pixel. 0 with `error` set when a world file
// exists but cannot be read.
int GetRasterPlacement(const std::filesystem::path& image, GDALDataset& dataset,
                       CadRasterPlacement& placement, std::string& error);

// Adds the raster as an image entity on a locked layer named after its file (colour index 6),
// its lower-left corner at (c, f + height × e), marked with `userData`. Returns the entity id.
unsigned PlaceRasterImage(CCadDrawing& drawing, const std::filesystem::path& path,
                          std::shared_ptr<CCadImageSource> source,
                          const CadRasterPlacement& placement, int userData);

class CCadRasterSource : public CCadImageSource {
 public:
  static constexpr int kTileSize = 256;
  static constexpr size_t kCacheBytes = 64u << 20;

  explicit CCadRasterSource(GdalDatasetPtr dataset);
  ~CCadRasterSource() override;

  int Width() const override { return m_Width; }
  int Height() const override { return m_Height; }
  QImage Region(const QRect& region, double scale) override;

  int GetLevelCount() const { return m_LevelCount; }
  // Tiles read from the file so far (a tile served from the cache is not counted).
  int GetTilesRead() const { return m_TilesRead; }

 protected:
  GDALDataset& GetDataset() const { return *m_Dataset; }
  QSize LevelSize(int level) const;
  // Reads `rect` (pixels of `level`) of `band` as 32-bit floats, row by row.
  bool ReadLevel(GDALRasterBand* band, int level, const QRect& rect, float* values) const;
  // The picture of `rect` (pixels of `level`); a null image when it cannot be read.
  virtual QImage ReadTile(int level, const QRect& rect) = 0;

 private:
  const QImage& Tile(int level, int column, int row);

  GdalDatasetPtr m_Dataset;
  int m_Width = 0, m_Height = 0, m_LevelCount = 1;
  int m_TilesRead = 0;
  // Most recently used first.
  std::list<std::pair<uint64_t, QImage>> m_Tiles;
  std::unordered_map<uint64_t, std::list<std::pair<uint64_t, QImage>>::iterator> m_TileIndex;
  size_t m_CachedBytes = 0;
};

// The overview factors an image needs: 2, 4, 8, … one per halving that brings its larger side
// to 512 pixels or less, less the last one (an image of 4096 pixels gets 2 and 4, one of 1000
// none).
std::vector<int> OverviewFactors(int width, int height);
