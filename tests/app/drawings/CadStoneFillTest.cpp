// Outlining stones: the flood fill around a click, the contour that holds it, and the outline
// placed in drawing units over an image entity.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "app/drawings/CadStoneFill.h"
#include "tests/app/drawings/StoneTestSupport.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

TEST(CadStoneFillTest, OutlineIsTheHullOfTheStoneThatHoldsTheClick) {
  const cv::Mat picture = GroundWithStones(600, 500, {{200, 250, 40}, {420, 260, 60}});
  CadStoneTolerance tolerance;

  const std::vector<cv::Point> first = FillStoneOutline(picture, {205, 245}, tolerance);
  ASSERT_GE(first.size(), 3u);
  EXPECT_NEAR(cv::contourArea(first), kPi * 40 * 40, 0.05 * kPi * 40 * 40);
  const cv::Rect box = cv::boundingRect(first);
  EXPECT_NEAR(box.x + box.width / 2.0, 200, 2);

  const std::vector<cv::Point> second = FillStoneOutline(picture, {430, 250}, tolerance);
  EXPECT_NEAR(cv::contourArea(second), kPi * 60 * 60, 0.05 * kPi * 60 * 60);
  EXPECT_NEAR(cv::boundingRect(second).x + cv::boundingRect(second).width / 2.0, 420, 2);

  // Tolerances too tight for the noise of the ground leave no stone there; a click outside
  // the picture none at all.
  EXPECT_TRUE(FillStoneOutline(picture, {50, 50}, {0, 0, false}).empty());
  EXPECT_TRUE(FillStoneOutline(picture, {600, 50}, tolerance).empty());
}

TEST(CadStoneFillTest, OutlineOfAnImageEntityIsInDrawingUnits) {
  const cv::Mat stones = GroundWithStones(900, 700, {{800, 80, 30}});
  CadEntity image;
  image.type = CAD_IMAGE;
  image.vertices = {{1000, 2000, 0}};
  image.unitsPerPixelX = image.unitsPerPixelY = 0.5;
  image.image = std::make_shared<PictureSource>(ToQImage(stones));

  int column = -1, row = -1;
  // Pixel (800, 80) from the top: x = 1000 + 800.5 × 0.5, y = 2000 + (700 - 80.5) × 0.5.
  ASSERT_TRUE(GetImagePixel(image, 1400.25, 2309.75, column, row));
  EXPECT_EQ(column, 800);
  EXPECT_EQ(row, 80);
  EXPECT_FALSE(GetImagePixel(image, 999.9, 2100, column, row));
  EXPECT_FALSE(GetImagePixel(image, 1200, 2350.1, column, row));
  EXPECT_FALSE(GetImagePixel(image, 1450, 2100, column, row));

  // The window around a stone near the image's corner is cut at its edges.
  const std::vector<CadPoint> outline = OutlineStone(image, 800, 80, CadStoneTolerance());
  ASSERT_GE(outline.size(), 3u);
  const double expected = kPi * 15 * 15;  // a radius of 30 pixels is 15 units
  EXPECT_NEAR(OutlineArea(outline), expected, 0.05 * expected);
  double x = 0, y = 0;
  for (const CadPoint& point : outline)
    x += point.x / outline.size(), y += point.y / outline.size();
  EXPECT_NEAR(x, 1400.25, 1.5);
  EXPECT_NEAR(y, 2309.75, 1.5);
}
