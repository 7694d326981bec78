#include <gtest/gtest.h>

#include "nimbex/platform/Geometry.h"

using Box = Wml::Box3<double>;
using Matrix = Wml::Matrix3<double>;

namespace {

Box UnitBox(double x, double y, double z) {
  Box box;
  box.Center() = {x, y, z};
  for (int i = 0; i < 3; ++i) box.Extent(i) = 1;
  return box;
}

// Box centred at `centre` whose axes are the columns of `rotation`.
Box RotatedUnitBox(const Matrix& rotation, double z) {
  Box box = UnitBox(0, 0, z);
  for (int i = 0; i < 3; ++i) box.Axis(i) = {rotation(0, i), rotation(1, i), rotation(2, i)};
  return box;
}

}  // namespace

TEST(BoxIntersection, OverlapSeparationAndContact) {
  EXPECT_TRUE(Wml::TestIntersection(UnitBox(0, 0, 0), UnitBox(1.5, 0.5, -0.5)));
  EXPECT_FALSE(Wml::TestIntersection(UnitBox(0, 0, 0), UnitBox(0, 2.01, 0)));
  EXPECT_TRUE(Wml::TestIntersection(UnitBox(0, 0, 0), UnitBox(0, 0, 2))) << "touching faces meet";
}

// One box turned 45 degrees about Y, the other about X: their top and bottom edges cross
// at right angles. Only the axis Y x X = -Z (an edge-cross axis) separates them, once the
// centres are more than 2 * sqrt(2) apart; every face axis needs more than 3.83.
TEST(BoxIntersection, SeparatedOnlyAlongEdgeCrossAxis) {
  Matrix aboutY, aboutX;
  aboutY.FromEulerAnglesXYZ(0, M_PI / 4, 0);
  aboutX.FromEulerAnglesXYZ(M_PI / 4, 0, 0);
  EXPECT_FALSE(Wml::TestIntersection(RotatedUnitBox(aboutY, 0), RotatedUnitBox(aboutX, 3.0)));
  EXPECT_TRUE(Wml::TestIntersection(RotatedUnitBox(aboutY, 0), RotatedUnitBox(aboutX, 2.7)));
}

TEST(EulerAngles, XYZRoundTrip) {
  Matrix rotation;
  rotation.FromEulerAnglesXYZ(0.3, -0.5, 1.2);
  Matrix rx(1, 0, 0, 0, std::cos(0.3), -std::sin(0.3), 0, std::sin(0.3), std::cos(0.3));
  Matrix ry(std::cos(-0.5), 0, std::sin(-0.5), 0, 1, 0, -std::sin(-0.5), 0, std::cos(-0.5));
  Matrix rz(std::cos(1.2), -std::sin(1.2), 0, std::sin(1.2), std::cos(1.2), 0, 0, 0, 1);
  Matrix expected = rx * ry * rz;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(rotation(r, c), expected(r, c), 1e-15);

  double x, y, z;
  ASSERT_TRUE(rotation.ToEulerAnglesXYZ(x, y, z));
  EXPECT_NEAR(x, 0.3, 1e-12);
  EXPECT_NEAR(y, -0.5, 1e-12);
  EXPECT_NEAR(z, 1.2, 1e-12);
}
