#include "nimbex/platform/UCS.h"

#include <cmath>
#include <limits>

namespace {

using Vector = CUCS::Vector;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
// Directions closer to parallel than this (the sine of their angle) define no plane.
const double kMinSine = 1e-9;

bool IsFinite(const Vector& v) {
  return std::isfinite(v.X()) && std::isfinite(v.Y()) && std::isfinite(v.Z());
}

// Unit X, Y and Z from the X direction and another direction in the XY plane; false
// when they do not span a plane.
bool Orthonormalise(const Vector& xDirection, const Vector& xyDirection, Vector axes[3]) {
  if (!IsFinite(xDirection) || !IsFinite(xyDirection)) return false;
  Vector x = xDirection;
  Vector z = xDirection.Cross(xyDirection);
  double lengths = x.Length() * xyDirection.Length();
  if (!(lengths > 0) || !std::isfinite(lengths) || z.Length() <= kMinSine * lengths) return false;
  x.Normalize();
  z.Normalize();
  axes[0] = x;
  axes[1] = z.Cross(x);
  axes[2] = z;
  return true;
}

}  // namespace

CUCS::CUCS() : m_Axis{Vector::UnitX(), Vector::UnitY(), Vector::UnitZ()} {}

CUCS::CUCS(const Vector& origin, const Vector& xDirection, const Vector& xyDirection)
    : m_Origin(origin) {
  if (!IsFinite(origin) || !Orthonormalise(xDirection, xyDirection, m_Axis))
    m_Axis[0] = m_Axis[1] = m_Axis[2] = Vector(kNaN, kNaN, kNaN);
}

int CUCS::Set(const Vector& origin, const Vector& xDirection, const Vector& xyDirection) {
  Vector axes[3];
  if (!IsFinite(origin) || !Orthonormalise(xDirection, xyDirection, axes)) return 0;
  m_Origin = origin;
  for (int i = 0; i < 3; ++i) m_Axis[i] = axes[i];
  return 1;
}

int CUCS::SetOrigin(const Vector& origin) {
  if (!IsFinite(origin)) return 0;
  m_Origin = origin;
  return 1;
}

Vector CUCS::GetAxis(int index) const {
  if (index < 0 || index > 2) return Vector(kNaN, kNaN, kNaN);
  return m_Axis[index];
}

bool CUCS::IsValid() const {
  return IsFinite(m_Origin) && IsFinite(m_Axis[0]) && IsFinite(m_Axis[1]) && IsFinite(m_Axis[2]);
}

Vector CUCS::WorldToUser(const Vector& world) const {
  Vector offset = world - m_Origin;
  return {offset.Dot(m_Axis[0]), offset.Dot(m_Axis[1]), offset.Dot(m_Axis[2])};
}

Vector CUCS::UserToWorld(const Vector& user) const {
  return m_Origin + m_Axis[0] * user.X() + m_Axis[1] * user.Y() + m_Axis[2] * user.Z();
}

void CUCS::WorldToUser(const double world[3], double user[3]) const {
  Vector result = WorldToUser(Vector(world));
  for (int i = 0; i < 3; ++i) user[i] = result[i];
}

void CUCS::UserToWorld(const double user[3], double world[3]) const {
  Vector result = UserToWorld(Vector(user));
  for (int i = 0; i < 3; ++i) world[i] = result[i];
}
