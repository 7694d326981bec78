#include "nimbex/creation/GeoTransform.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <cmath>

namespace {

constexpr char kUnknownFailure[] =
    "Unable to properly set geographic coordinate transformation! Please contact Talvern "
    "support at support@talvern.com";

// GDAL 3 follows each system's official axis order (latitude first for WGS84); points
// here always come as x = longitude, y = latitude.
bool SetUpGeographic(OGRSpatialReference& reference) {
  if (reference.SetWellKnownGeogCS("WGS84") != OGRERR_NONE) return false;
  reference.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return true;
}

bool SetUpUtm(OGRSpatialReference& reference, int utmZone) {
  return SetUpGeographic(reference) && reference.SetUTM(utmZone, TRUE) == OGRERR_NONE;
}

std::string LastGdalError() {
  const char* message = CPLGetLastErrorMsg();
  return message && *message ? message : kUnknownFailure;
}

}  // namespace

void CGeoTransform::Destroyer::operator()(OGRCoordinateTransformation* transformation) const {
  OGRCoordinateTransformation::DestroyCT(transformation);
}

CGeoTransform::CGeoTransform(OGRCoordinateTransformation* transformation)
    : m_Transformation(transformation) {}

std::unique_ptr<CGeoTransform> CGeoTransform::Create(int utmZone, std::string& error) {
  if (utmZone < 1 || utmZone > 60) {
    error = "UTM zone " + std::to_string(utmZone) +
            " does not exist: choose a zone from 1 to 60 for geographic coordinates.";
    return nullptr;
  }
  // The failure is reported through `error`; GDAL's own handler would only print it.
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  OGRSpatialReference geographic, utm;
  OGRCoordinateTransformation* transformation = nullptr;
  if (SetUpGeographic(geographic) && SetUpUtm(utm, utmZone))
    transformation = OGRCreateCoordinateTransformation(&geographic, &utm);
  if (!transformation) error = LastGdalError();
  CPLPopErrorHandler();
  if (!transformation) return nullptr;
  // Transform's result tells which points cannot be projected: messages for each would only
  // flood the console.
  transformation->SetEmitErrors(false);
  return std::unique_ptr<CGeoTransform>(new CGeoTransform(transformation));
}

bool CGeoTransform::Transform(double& x, double& y, double& z) const {
  // Checked here because PROJ reports every such point on the console: latitudes beyond the
  // poles are what northings or eastings taken for degrees give, a whole file of them.
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || std::fabs(y) > 90)
    return false;
  double tx = x, ty = y, tz = z;
  int success = FALSE;
  if (!m_Transformation->Transform(1, &tx, &ty, &tz, &success) || !success) return false;
  if (!std::isfinite(tx) || !std::isfinite(ty)) return false;
  x = tx;
  y = ty;
  z = tz;
  return true;
}
