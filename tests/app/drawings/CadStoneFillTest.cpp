// Outlining stones: the flood fill around a click, the contour that holds it, and the outline
// placed in drawing units over an image entity.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "app/drawings/CadStoneFill.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Light, slightly noisy ground with dark discs on it.
cv::Mat GroundWithStones(int width, int height, const std::vector<cv::Vec3i>& discs) {
  cv::Mat picture(height, width, CV_8UC3);
  cv::randu(picture, cv::Scalar::all(195), cv::Scalar::all(206));
  for (const cv::Vec3i& disc : discs)
    cv::circle(picture, {disc[0], disc[1]}, disc[2], cv::Scalar(55, 60, 70), cv::FILLED);
  return picture;
}

double PolygonArea(const std::vector<CadPoint>& outline) {
  double twice = 0;
  for (size_t i = 0; i < outline.size(); ++i) {
    const CadPoint& a = outline[i];
    const CadPoint& b = outline[(i + 1) % outline.size()];
    twice += a.x * b.y - b.x * a.y;
  }
  return std::abs(twice) / 2;
}

class PictureSource : public CCadImageSource {
 public:
  explicit PictureSource(QImage picture) : m_Picture(std::move(picture)) {}
  int Width() const override { return m_Picture.width(); }
  int Height() const override { return m_Picture.height(); }
  QImage Region(const QRect& region, double) override { return m_Picture.copy(region); }

 private:
  QImage m_Picture;
};

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
  cv::Mat bgra;
  cv::cvtColor(stones, bgra, cv::COLOR_BGR2BGRA);
  QImage picture(bgra.data, bgra.cols, bgra.rows, static_cast<int>(bgra.step),
                 QImage::Format_ARGB32);
  CadEntity image;
  image.type = CAD_IMAGE;
  image.vertices = {{1000, 2000, 0}};
  image.unitsPerPixelX = image.unitsPerPixelY = 0.5;
  image.image = std::make_shared<PictureSource>(picture.copy());

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
  EXPECT_NEAR(PolygonArea(outline), expected, 0.05 * expected);
  double x = 0, y = 0;
  for (const CadPoint& point : outline)
    x += point.x / outline.size(), y += point.y / outline.size();
  EXPECT_NEAR(x, 1400.25, 1.5);
  EXPECT_NEAR(y, 2309.75, 1.5);
}
