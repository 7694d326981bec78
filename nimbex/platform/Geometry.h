// Double-precision geometry: vectors, points, 3x3 matrices, oriented boxes and the
// separating-axis intersection test of two boxes.
#pragma once

#include <cmath>

namespace Wml {

template <class Real>
class Vector3 {
 public:
  Vector3() : m_Tuple{0, 0, 0} {}
  Vector3(Real x, Real y, Real z) : m_Tuple{x, y, z} {}
  explicit Vector3(const Real* xyz) : m_Tuple{xyz[0], xyz[1], xyz[2]} {}

  Real& operator[](int i) { return m_Tuple[i]; }
  Real operator[](int i) const { return m_Tuple[i]; }
  Real X() const { return m_Tuple[0]; }
  Real Y() const { return m_Tuple[1]; }
  Real Z() const { return m_Tuple[2]; }
  Real& X() { return m_Tuple[0]; }
  Real& Y() { return m_Tuple[1]; }
  Real& Z() { return m_Tuple[2]; }
  const Real* Data() const { return m_Tuple; }

  Vector3 operator+(const Vector3& v) const { return {X() + v.X(), Y() + v.Y(), Z() + v.Z()}; }
  Vector3 operator-(const Vector3& v) const { return {X() - v.X(), Y() - v.Y(), Z() - v.Z()}; }
  Vector3 operator-() const { return {-X(), -Y(), -Z()}; }
  Vector3 operator*(Real s) const { return {X() * s, Y() * s, Z() * s}; }
  Vector3 operator/(Real s) const { return {X() / s, Y() / s, Z() / s}; }
  Vector3& operator+=(const Vector3& v) { return *this = *this + v; }
  Vector3& operator-=(const Vector3& v) { return *this = *this - v; }
  bool operator==(const Vector3& v) const { return X() == v.X() && Y() == v.Y() && Z() == v.Z(); }
  bool operator!=(const Vector3& v) const { return !(*this == v); }

  Real Dot(const Vector3& v) const { return X() * v.X() + Y() * v.Y() + Z() * v.Z(); }
  Vector3 Cross(const Vector3& v) const {
    return {Y() * v.Z() - Z() * v.Y(), Z() * v.X() - X() * v.Z(), X() * v.Y() - Y() * v.X()};
  }
  Real Length() const { return std::sqrt(Dot(*this)); }
  Real SquaredLength() const { return Dot(*this); }
  // Scales the vector to unit length and returns its former length (0 leaves it unchanged).
  Real Normalize() {
    Real length = Length();
    if (length > Real(0)) *this = *this / length;
    return length;
  }

  static Vector3 UnitX() { return {1, 0, 0}; }
  static Vector3 UnitY() { return {0, 1, 0}; }
  static Vector3 UnitZ() { return {0, 0, 1}; }

 private:
  Real m_Tuple[3];
};

template <class Real>
Vector3<Real> operator*(Real s, const Vector3<Real>& v) {
  return v * s;
}

template <class Real>
using Point3 = Vector3<Real>;

template <class Real>
class Point2 {
 public:
  Point2() : m_Tuple{0, 0} {}
  Point2(Real x, Real y) : m_Tuple{x, y} {}
  Real& operator[](int i) { return m_Tuple[i]; }
  Real operator[](int i) const { return m_Tuple[i]; }
  Real X() const { return m_Tuple[0]; }
  Real Y() const { return m_Tuple[1]; }
  Real& X() { return m_Tuple[0]; }
  Real& Y() { return m_Tuple[1]; }
  bool operator==(const Point2& p) const { return X() == p.X() && Y() == p.Y(); }
  bool operator!=(const Point2& p) const { return !(*this == p); }

 private:
  Real m_Tuple[2];
};

// Row-major 3x3 matrix; M * v applies the matrix to a column vector.
template <class Real>
class Matrix3 {
 public:
  Matrix3() : m_Entry{1, 0, 0, 0, 1, 0, 0, 0, 1} {}
  Matrix3(Real m00, Real m01, Real m02, Real m10, Real m11, Real m12, Real m20, Real m21, Real m22)
      : m_Entry{m00, m01, m02, m10, m11, m12, m20, m21, m22} {}

  Real& operator()(int row, int col) { return m_Entry[3 * row + col]; }
  Real operator()(int row, int col) const { return m_Entry[3 * row + col]; }

  static Matrix3 Identity() { return Matrix3(); }

  Vector3<Real> operator*(const Vector3<Real>& v) const {
    const Matrix3& m = *this;
    return {m(0, 0) * v[0] + m(0, 1) * v[1] + m(0, 2) * v[2],
            m(1, 0) * v[0] + m(1, 1) * v[1] + m(1, 2) * v[2],
            m(2, 0) * v[0] + m(2, 1) * v[1] + m(2, 2) * v[2]};
  }

  Matrix3 operator*(const Matrix3& b) const {
    Matrix3 product;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        product(r, c) = (*this)(r, 0) * b(0, c) + (*this)(r, 1) * b(1, c) + (*this)(r, 2) * b(2, c);
    return product;
  }

  bool operator==(const Matrix3& b) const {
    for (int i = 0; i < 9; ++i)
      if (m_Entry[i] != b.m_Entry[i]) return false;
    return true;
  }

  Real Determinant() const {
    const Matrix3& m = *this;
    return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
           m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
           m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
  }

  // The inverse through the adjugate; the zero matrix when the determinant is 0.
  Matrix3 Inverse() const {
    const Matrix3& m = *this;
    Matrix3 adjugate(m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1), m(0, 2) * m(2, 1) - m(0, 1) * m(2, 2),
                     m(0, 1) * m(1, 2) - m(0, 2) * m(1, 1), m(1, 2) * m(2, 0) - m(1, 0) * m(2, 2),
                     m(0, 0) * m(2, 2) - m(0, 2) * m(2, 0), m(0, 2) * m(1, 0) - m(0, 0) * m(1, 2),
                     m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0), m(0, 1) * m(2, 0) - m(0, 0) * m(2, 1),
                     m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0));
    const Real determinant = Determinant();
    if (determinant == Real(0)) return Matrix3(0, 0, 0, 0, 0, 0, 0, 0, 0);
    for (int i = 0; i < 9; ++i) adjugate.m_Entry[i] /= determinant;
    return adjugate;
  }

  Matrix3 Transpose() const {
    const Matrix3& m = *this;
    return {m(0, 0), m(1, 0), m(2, 0), m(0, 1), m(1, 1), m(2, 1), m(0, 2), m(1, 2), m(2, 2)};
  }

  // R = Rx(x) * Ry(y) * Rz(z), angles in radians.
  void FromEulerAnglesXYZ(Real x, Real y, Real z) {
    Real cx = std::cos(x), sx = std::sin(x);
    Real cy = std::cos(y), sy = std::sin(y);
    Real cz = std::cos(z), sz = std::sin(z);
    Matrix3 rx(1, 0, 0, 0, cx, -sx, 0, sx, cx);
    Matrix3 ry(cy, 0, sy, 0, 1, 0, -sy, 0, cy);
    Matrix3 rz(cz, -sz, 0, sz, cz, 0, 0, 0, 1);
    *this = rx * ry * rz;
  }

  // Factors R = Rx * Ry * Rz. Returns true when the factorisation is unique; at the
  // singularity (y = +-pi/2) z is set to 0 and x takes the whole remaining rotation.
  bool ToEulerAnglesXYZ(Real& x, Real& y, Real& z) const {
    const Matrix3& m = *this;
    if (m(0, 2) < Real(1)) {
      if (m(0, 2) > Real(-1)) {
        x = std::atan2(-m(1, 2), m(2, 2));
        y = std::asin(m(0, 2));
        z = std::atan2(-m(0, 1), m(0, 0));
        return true;
      }
      x = -std::atan2(m(1, 0), m(1, 1));
      y = -Real(M_PI / 2);
      z = 0;
      return false;
    }
    x = std::atan2(m(1, 0), m(1, 1));
    y = Real(M_PI / 2);
    z = 0;
    return false;
  }

 private:
  Real m_Entry[9];
};

// Oriented box: a centre, three unit axes and a half-extent along each.
template <class Real>
class Box3 {
 public:
  Box3()
      : m_Axis{Vector3<Real>::UnitX(), Vector3<Real>::UnitY(), Vector3<Real>::UnitZ()},
        m_Extent{0, 0, 0} {}

  Vector3<Real>& Center() { return m_Center; }
  const Vector3<Real>& Center() const { return m_Center; }
  Vector3<Real>& Axis(int i) { return m_Axis[i]; }
  const Vector3<Real>& Axis(int i) const { return m_Axis[i]; }
  Vector3<Real>* Axes() { return m_Axis; }
  const Vector3<Real>* Axes() const { return m_Axis; }
  Real& Extent(int i) { return m_Extent[i]; }
  Real Extent(int i) const { return m_Extent[i]; }
  Real* Extents() { return m_Extent; }
  const Real* Extents() const { return m_Extent; }

 private:
  Vector3<Real> m_Center;
  Vector3<Real> m_Axis[3];
  Real m_Extent[3];
};

// Axis-aligned box from (xmin, xmax, ymin, ymax, zmin, zmax).
template <class Real>
Box3<Real> MakeAlignedBox(const Real bounds[6]) {
  Box3<Real> box;
  for (int i = 0; i < 3; ++i) {
    box.Center()[i] = (bounds[2 * i] + bounds[2 * i + 1]) / 2;
    box.Extent(i) = (bounds[2 * i + 1] - bounds[2 * i]) / 2;
  }
  return box;
}

// Separating-axis test of two oriented boxes (the 15 candidate axes). Touching boxes meet.
template <class Real>
bool TestIntersection(const Box3<Real>& box0, const Box3<Real>& box1) {
  const Vector3<Real>* a = box0.Axes();
  const Vector3<Real>* b = box1.Axes();
  const Real* ea = box0.Extents();
  const Real* eb = box1.Extents();
  // Parallel edges give a zero cross product; the small term keeps those axes harmless.
  const Real epsilon = Real(1e-12);

  Vector3<Real> d = box1.Center() - box0.Center();
  Real c[3][3], absC[3][3], ad[3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      c[i][j] = a[i].Dot(b[j]);
      absC[i][j] = std::fabs(c[i][j]) + epsilon;
    }
    ad[i] = a[i].Dot(d);
  }

  for (int i = 0; i < 3; ++i) {
    Real r1 = eb[0] * absC[i][0] + eb[1] * absC[i][1] + eb[2] * absC[i][2];
    if (std::fabs(ad[i]) > ea[i] + r1) return false;
  }
  for (int j = 0; j < 3; ++j) {
    Real r0 = ea[0] * absC[0][j] + ea[1] * absC[1][j] + ea[2] * absC[2][j];
    if (std::fabs(b[j].Dot(d)) > r0 + eb[j]) return false;
  }
  for (int i = 0; i < 3; ++i) {
    int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    for (int j = 0; j < 3; ++j) {
      int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      Real r = std::fabs(ad[i2] * c[i1][j] - ad[i1] * c[i2][j]);
      Real r0 = ea[i1] * absC[i2][j] + ea[i2] * absC[i1][j];
      Real r1 = eb[j1] * absC[i][j2] + eb[j2] * absC[i][j1];
      if (r > r0 + r1) return false;
    }
  }
  return true;
}

}  // namespace Wml
