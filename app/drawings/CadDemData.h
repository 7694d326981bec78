// An elevation model in the drawing pane: the first band of a raster read through GDAL, shown
// as a hillshaded picture coloured by elevation, placed like an orthophoto.
//
// The picture: each elevation takes its colour from a ramp over the model's range (dark green
// at the minimum, light green, sand, brown, near white at the maximum), darkened by a hillshade
// lit from the north-west (azimuth 315 degrees, 45 degrees above the horizon) to between 40 %
// and 100 % of that colour. Cells without data are transparent. Slopes are taken in metres:
// the cells of a model in degrees of longitude and latitude are converted at its mid-latitude.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "CadRasterSource.h"

// The user data that marks an elevation model's image entity.
constexpr int kDemUserData = 101;

class CCadDemSource : public CCadRasterSource {
 public:
  // `cellWidth` and `cellHeight`: the size of a cell in the units of the elevations.
  CCadDemSource(GdalDatasetPtr dataset, double minimum, double maximum, double cellWidth,
                double cellHeight);

  // The colour of an elevation `t` of the way (0-1) from the minimum to the maximum, lit by
  // `light` (0-1).
  static QRgb ElevationColour(double t, double light);

 protected:
  QImage ReadTile(int level, const QRect& rect) override;

 private:
  bool IsNoData(float value) const;

  GDALRasterBand* m_Band = nullptr;
  double m_Minimum, m_Maximum, m_CellWidth, m_CellHeight;
  bool m_HasNoData = false;
  double m_NoData = 0;
};

class CadDemData {
 public:
  // Opens the model and finds the range of its first band, cells without data left out. 0 with
  // `error` set when GDAL cannot open or read it, or no cell holds data.
  int Open(const std::filesystem::path& path, std::string& error);

  const std::filesystem::path& GetPath() const { return m_Path; }
  double GetMinimum() const { return m_Minimum; }
  double GetMaximum() const { return m_Maximum; }
  const CadRasterPlacement& GetPlacement() const { return m_Placement; }
  std::shared_ptr<CCadDemSource> GetSource() const { return m_Source; }

  // Adds the model's picture to the drawing as a locked image entity (user data 101).
  unsigned Place(CCadDrawing& drawing) const;

 private:
  std::filesystem::path m_Path;
  double m_Minimum = 0, m_Maximum = 0;
  CadRasterPlacement m_Placement;
  std::shared_ptr<CCadDemSource> m_Source;
};
