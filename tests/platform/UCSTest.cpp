#include <gtest/gtest.h>

#include <cmath>

#include "nimbex/platform/UCS.h"

using Vector = Wml::Vector3<double>;

namespace {

void ExpectNear(const Vector& actual, const Vector& expected) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9) << "coordinate " << i;
}

}  // namespace

// X along the world diagonal, the XY plane tilted up: Y leans out of it and Z follows.
TEST(UCS, RotatedTranslatedRoundTrip) {
  Vector origin(1000, 2000, 50);
  CUCS ucs(origin, Vector(2, 2, 0), Vector(0, 1, 1));
  ASSERT_TRUE(ucs.IsValid());
  const double r2 = std::sqrt(0.5);
  ExpectNear(ucs.GetAxis(0), Vector(r2, r2, 0));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(ucs.GetAxis(i).Length(), 1, 1e-12);
    EXPECT_NEAR(ucs.GetAxis(i).Dot(ucs.GetAxis((i + 1) % 3)), 0, 1e-12);
  }
  ExpectNear(ucs.GetAxis(0).Cross(ucs.GetAxis(1)), ucs.GetAxis(2));

  ExpectNear(ucs.WorldToUser(origin + Vector(3, 3, 0)), Vector(3 * std::sqrt(2), 0, 0));
  EXPECT_NEAR(ucs.WorldToUser(origin + Vector(0, 1, 1)).Z(), 0, 1e-12) << "lies in user XY";

  Vector world(1003.5, 1998.25, 47);
  ExpectNear(ucs.UserToWorld(ucs.WorldToUser(world)), world);
  double user[3], back[3];
  ucs.WorldToUser(world.Data(), user);
  ucs.UserToWorld(user, back);
  ExpectNear(Vector(back), world);
}

TEST(UCS, DegenerateDirectionsAreRefused) {
  CUCS parallel(Vector(1, 2, 3), Vector(1, 0, 0), Vector(-2, 0, 0));
  EXPECT_FALSE(parallel.IsValid());
  EXPECT_TRUE(std::isnan(parallel.WorldToUser(Vector(1, 1, 1)).X()));
  EXPECT_FALSE(CUCS(Vector(), Vector(), Vector(0, 1, 0)).IsValid());

  CUCS ucs(Vector(5, 5, 5), Vector(0, 1, 0), Vector(1, 0, 0));
  EXPECT_EQ(ucs.Set(Vector(), Vector(0, 0, 1), Vector(0, 0, 3)), 0);
  EXPECT_EQ(ucs.SetOrigin(Vector(NAN, 0, 0)), 0);
  ExpectNear(ucs.GetOrigin(), Vector(5, 5, 5));
  ExpectNear(ucs.GetAxis(2), Vector(0, 0, -1));  // Z = X x Y, right-handed
  EXPECT_TRUE(std::isnan(ucs.GetAxis(3).X()));
}
