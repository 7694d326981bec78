// Longitude/latitude on WGS84 to WGS84 UTM coordinates of one northern-hemisphere zone, for
// point files whose coordinates are geographic.
#pragma once

#include <memory>
#include <string>

class OGRCoordinateTransformation;

class CGeoTransform {
 public:
  // Null on failure, with the reason in `error`: a zone outside 1..60, or GDAL unable to set
  // up the transformation.
  static std::unique_ptr<CGeoTransform> Create(int utmZone, std::string& error);

  // x = longitude, y = latitude (degrees) become easting and northing (metres); z is kept.
  // False, with the coordinates left as they were, for a point that cannot be projected.
  bool Transform(double& x, double& y, double& z) const;

 private:
  struct Destroyer {
    void operator()(OGRCoordinateTransformation* transformation) const;
  };
  explicit CGeoTransform(OGRCoordinateTransformation* transformation);

  std::unique_ptr<OGRCoordinateTransformation, Destroyer> m_Transformation;
};
