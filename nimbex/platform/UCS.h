// User coordinate system: an origin and three orthonormal axes in world coordinates, so
// that surveyors can read and enter coordinates along a site grid or a building face.
#pragma once

#include "nimbex/platform/Geometry.h"

class CUCS {
 public:
  using Vector = Wml::Vector3<double>;

  // The world system: origin at zero, unit axes.
  CUCS();
  // Origin plus the X direction and any other direction lying in the XY plane (for a
  // picked point p, pass p - origin). Y is made perpendicular to X and Z = X x Y. When the
  // directions are zero, parallel or not finite the system is invalid (see IsValid).
  CUCS(const Vector& origin, const Vector& xDirection, const Vector& xyDirection);

  // As the constructor; 1 on success, 0 leaving the system unchanged.
  int Set(const Vector& origin, const Vector& xDirection, const Vector& xyDirection);

  // 1 on success, 0 for a non-finite origin (the system is then unchanged).
  int SetOrigin(const Vector& origin);
  const Vector& GetOrigin() const { return m_Origin; }
  // Axis 0, 1 or 2 (X, Y, Z) as a unit vector in world coordinates; NaN for another index.
  Vector GetAxis(int index) const;

  // False when the system was built from degenerate directions. Its transforms then give
  // NaN coordinates rather than plausible wrong ones.
  bool IsValid() const;

  Vector WorldToUser(const Vector& world) const;
  Vector UserToWorld(const Vector& user) const;
  void WorldToUser(const double world[3], double user[3]) const;
  void UserToWorld(const double user[3], double world[3]) const;

 private:
  Vector m_Origin;
  Vector m_Axis[3];
};
