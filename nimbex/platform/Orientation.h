// How one photograph was taken: the camera's interior orientation (principal distance,
// principal point, the affine map between raster pixels and fiducial coordinates, Brown
// lens distortion) and its exterior orientation (projection centre and rotation in model
// coordinates), with the projection of model points into the photograph and back.
//
// Frames (docs/formats.md gives the equations):
// - pixel (column, row): origin at the top-left corner of the raster, column to the right,
//   row downwards; the centre of the top-left pixel is (0.5, 0.5);
// - fiducial (x, y): the image plane in fiducial units (millimetres for a calibrated
//   camera, pixels when the pixel size is 1), x to the right, y upwards;
// - camera: origin at the projection centre, x to the right, y upwards, z backwards: the
//   camera looks along its -z axis. The rotation matrix takes camera vectors to model
//   vectors, so its columns are the camera's axes in model coordinates:
//   model point = N + R * camera point, and R = Rx(omega) * Ry(phi) * Rz(kappa).
#pragma once

#include <filesystem>
#include <string>

#include "nimbex/platform/Geometry.h"

class COrientation {
 public:
  using Point2 = Wml::Point2<double>;
  using Point3 = Wml::Point3<double>;
  using Vector3 = Wml::Vector3<double>;
  using Matrix3 = Wml::Matrix3<double>;

  // An empty orientation: no interior, no exterior (identity rotation, centre at the
  // origin). `scale` relates the pixels the caller works with to the raster the interior
  // orientation describes (see SetScale); anything but a finite positive value gives 1.
  explicit COrientation(double scale = 1);
  COrientation(const COrientation&) = default;
  COrientation& operator=(const COrientation&) = default;
  virtual ~COrientation() = default;

  // Readers of the ".int" and ".est" files. 1 when the file was read; 0 when it is missing,
  // unreadable, truncated, malformed or describes an impossible camera, leaving the object
  // unchanged and, when `why` is given, saying what was wrong (with the line).
  int ReadINT(const std::filesystem::path& path, std::string* why = nullptr);
  int ReadEST(const std::filesystem::path& path, std::string* why = nullptr);
  // Both files; 1 when both were read, otherwise 0 with the object unchanged.
  int Load(const std::filesystem::path& intPath, const std::filesystem::path& estPath,
           std::string* why = nullptr);
  // Writers, through a temporary file renamed over `path`. 0 when the part is not set or
  // the file cannot be written.
  int WriteINT(const std::filesystem::path& path) const;
  int WriteEST(const std::filesystem::path& path) const;

  // Interior orientation of a camera with square pixels of `pixelSize` fiducial units:
  // the fiducial origin lies at the centre of the `width` x `height` raster, x to the right
  // and y upwards. Clears the lens distortion. 1 on success; 0 for a principal distance,
  // pixel size or raster that is not positive, or a value that is not finite, leaving the
  // object unchanged.
  int SetInterior(double principalDistance, const Point2& principalPoint, double pixelSize,
                  int width, int height);
  // Any affine pixel-to-fiducial map (last row 0 0 1, invertible, finite); needs an interior.
  int SetPixToFidMat(const Matrix3& pixToFid);
  // Radial k1 k2 k3 and tangential p1 p2 coefficients on normalised image coordinates. 0,
  // unchanged, without an interior, for a value that is not finite, or when the
  // distortion folds back inside the raster (a lens model no camera has).
  int SetDistortion(double k1, double k2, double k3, double p1, double p2);

  // Exterior orientation from the projection centre and a rotation matrix (proper and
  // orthonormal within 1e-6), or from omega, phi and kappa in degrees. 0, unchanged, for
  // values that are not finite or a matrix that is not a rotation.
  int SetExterior(const Point3& projectionCentre, const Matrix3& rotation);
  int SetExterior(const Point3& projectionCentre, double omega, double phi, double kappa);
  // Omega, phi and kappa of the rotation, in degrees (phi in [-90, 90]).
  void GetOmegaPhiKappa(double& omega, double& phi, double& kappa) const;

  // Pixels the caller works with = scale x pixels of the oriented raster (0.5 for a
  // photograph reduced to half its width and height). 0 for a value that is not finite and
  // positive.
  int SetScale(double scale);
  double GetScale() const { return m_Scale; }
  // Rotation of the camera on its mount about its viewing axis, in degrees, as recorded
  // when the photograph was taken; informative, the rotation matrix already contains it.
  int SetMountingAngle(double degrees);
  double GetMountingAngle() const { return m_MountingAngle; }
  // Model units covered by one pixel at the mean distance of the photographed surface;
  // 0 when unknown.
  int SetMeanGSD(double gsd);
  double GetMeanGSD() const { return m_MeanGSD; }

  bool HasInterior() const { return m_HasInterior; }
  bool HasExterior() const { return m_HasExterior; }
  double GetFocalLength() const { return m_PrincipalDistance; }
  const Point2& GetPrincipalPoint() const { return m_PrincipalPoint; }
  double GetPixelSize() const { return m_PixelSize; }
  // Width and height of the oriented raster, in its own pixels (not scaled).
  int GetRasterWidth() const { return m_Width; }
  int GetRasterHeight() const { return m_Height; }
  // Homogeneous affine maps between oriented-raster pixels and fiducial coordinates.
  const Matrix3& GetPixToFidMat() const { return m_PixToFid; }
  const Matrix3& GetFidToPixMat() const { return m_FidToPix; }
  const double* GetRadialDistortion() const { return m_Radial; }
  const double* GetTangentialDistortion() const { return m_Tangential; }
  const Point3& GetN() const { return m_N; }
  const Matrix3& GetRotMat() const { return m_RotMat; }

  // Pixel (scaled) to fiducial coordinates and back.
  Point2 PixToFid(const Point2& pixel) const;
  Point2 FidToPix(const Point2& fiducial) const;

  // Projects a model point into the photograph (scaled pixels), also for points outside
  // the image. 1 for a point in front of the camera; 0, with both coordinates set to the
  // unset marker -1234567890.0, for a point behind the camera or on the plane through the
  // projection centre, or when the orientation has no interior. Beyond the field where the
  // lens distortion grows, the image continues radially so that such points land outside.
  int Pt3dToPix(double x, double y, double z, double& column, double& row) const;
  int Pt3dToPix(const Point3& point, Point2& pixel) const {
    return Pt3dToPix(point.X(), point.Y(), point.Z(), pixel.X(), pixel.Y());
  }
  // True when the point is in front of the camera, inside the lens field and its pixel
  // lies inside the (scaled) raster.
  bool IsInImage(const Point3& point) const;
  // 0 <= column < scaled width and 0 <= row < scaled height.
  bool IsPixelInImage(const Point2& pixel) const;

  // The unit direction, in model coordinates, of the ray from the projection centre
  // through a (scaled) pixel, removing the lens distortion iteratively. 1 on success; 0
  // without an interior or when the distortion cannot be inverted there.
  int PixToRay(const Point2& pixel, Vector3& direction) const;

 private:
  Point2 Distort(const Point2& normalised) const;
  bool Undistort(const Point2& distorted, Point2& normalised) const;
  double RasterCornerRadius() const;

  double m_Scale = 1;

  bool m_HasInterior = false;
  double m_PrincipalDistance = 0;
  Point2 m_PrincipalPoint;
  double m_PixelSize = 0;
  int m_Width = 0;
  int m_Height = 0;
  Matrix3 m_PixToFid;
  Matrix3 m_FidToPix;
  double m_Radial[3] = {0, 0, 0};
  double m_Tangential[2] = {0, 0};
  // Normalised radius up to which the radial distortion grows (infinite when it always does).
  double m_FieldRadius;

  bool m_HasExterior = false;
  Point3 m_N;
  Matrix3 m_RotMat;
  double m_MountingAngle = 0;
  double m_MeanGSD = 0;
};
