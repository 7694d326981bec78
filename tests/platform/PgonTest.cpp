#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "nimbex/platform/Pgon.h"

TEST(PgonIntersection, OverlappingSquares) {
  CPgon overlap = CPgon::Rectangle(0, 2, 0, 2) & CPgon::Rectangle(1, 3, 1, 3);
  ASSERT_EQ(overlap.GetNumContours(), 1);
  EXPECT_DOUBLE_EQ(overlap.Area(), 1.0);
  CContour contour;
  ASSERT_EQ(overlap.GetContour(0, contour), 1);
  EXPECT_EQ(contour.size(), 4u) << "the closing point is not repeated";
  EXPECT_EQ(overlap.GetContour(1, contour), 0);

  CPgon clockwiseClosed({{{1, 1}, {1, 3}, {3, 3}, {3, 1}, {1, 1}}});
  EXPECT_DOUBLE_EQ((CPgon::Rectangle(0, 2, 0, 2) & clockwiseClosed).Area(), 1.0);
}

TEST(PgonIntersection, NoOverlapGivesNoContour) {
  CPgon square = CPgon::Rectangle(0, 1, 0, 1);
  EXPECT_EQ((square & CPgon::Rectangle(5, 6, 5, 6)).GetNumContours(), 0);
  EXPECT_EQ((square & CPgon::Rectangle(1, 2, 0, 1)).GetNumContours(), 0) << "shared edge only";
  EXPECT_EQ((square & CPgon::Rectangle(1, 2, 1, 2)).GetNumContours(), 0) << "shared corner";
}

TEST(PgonIntersection, DegenerateContoursCoverNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  CPgon square = CPgon::Rectangle(0, 4, 0, 4);
  for (const CContour& contour : std::vector<CContour>{{},
                                                       {{1, 1}, {2, 2}},
                                                       {{1, 1}, {2, 2}, {3, 3}},
                                                       {{1, 1}, {1, 1}, {1, 1}, {2, 2}},
                                                       {{1, 1}, {3, 1}, {nan, 3}}}) {
    CPgon degenerate({contour});
    EXPECT_EQ(degenerate.Area(), 0.0);
    EXPECT_EQ((square & degenerate).GetNumContours(), 0);
    EXPECT_EQ((degenerate & square).GetNumContours(), 0);
  }
}

TEST(PgonArea, ContoursAreUnited) {
  CPgon pgon = CPgon::Rectangle(0, 2, 0, 2);
  pgon.AddContour(CPgon::Rectangle(1, 3, 0, 2).GetContours()[0]);
  EXPECT_DOUBLE_EQ(pgon.Area(), 6.0);
}

// A figure eight covers both of its loops, whichever way they run.
TEST(PgonArea, SelfCrossingContourCoversBothLoops) {
  CPgon bowtie({{{0, 0}, {2, 2}, {2, 0}, {0, 2}}});
  EXPECT_DOUBLE_EQ(bowtie.Area(), 2.0);
  EXPECT_DOUBLE_EQ((bowtie & CPgon::Rectangle(0, 2, 0, 2)).Area(), 2.0);
  EXPECT_DOUBLE_EQ((bowtie & CPgon::Rectangle(0, 1, 0, 2)).Area(), 1.0);
}

// Four bars around a 2 x 2 gap: cutting them with a covering square gives one part with a
// hole, and the hole must not count as area, now or when the result is cut again.
TEST(PgonIntersection, ResultHolesAreKept) {
  CPgon frame({CPgon::Rectangle(0, 4, 0, 1).GetContours()[0],
               CPgon::Rectangle(0, 4, 3, 4).GetContours()[0],
               CPgon::Rectangle(0, 1, 0, 4).GetContours()[0],
               CPgon::Rectangle(3, 4, 0, 4).GetContours()[0]});
  CPgon cut = frame & CPgon::Rectangle(-1, 5, -1, 5);
  ASSERT_EQ(cut.GetNumContours(), 2);
  EXPECT_FALSE(cut.IsHole(0));
  EXPECT_TRUE(cut.IsHole(1));
  EXPECT_DOUBLE_EQ(cut.Area(), 12.0);
  EXPECT_DOUBLE_EQ((cut & CPgon::Rectangle(0, 4, 0, 2)).Area(), 6.0);
}
