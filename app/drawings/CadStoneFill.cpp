#include "CadStoneFill.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {

cv::Mat ToGrey(const cv::Mat& picture) {
  cv::Mat grey;
  if (picture.channels() == 4)
    cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
  else if (picture.channels() == 3)
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  else
    grey = picture.clone();
  return grey;
}

}  // namespace

std::vector<cv::Point> FillStoneOutline(const cv::Mat& picture, cv::Point seed,
                                        const CadStoneTolerance& tolerance) {
  if (picture.empty() || picture.depth() != CV_8U ||
      !cv::Rect(0, 0, picture.cols, picture.rows).contains(seed))
    return {};
  cv::Mat grey = ToGrey(picture);
  if (tolerance.invert) cv::bitwise_not(grey, grey);

  cv::Mat mask = cv::Mat::zeros(grey.rows + 2, grey.cols + 2, CV_8UC1);
  cv::floodFill(grey, mask, seed, cv::Scalar(255), nullptr, cv::Scalar(tolerance.loDiff),
                cv::Scalar(tolerance.upDiff),
                4 | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY | (255 << 8));
  cv::Mat region;
  cv::threshold(mask(cv::Rect(1, 1, grey.cols, grey.rows)), region, 254, 255, cv::THRESH_BINARY);

  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(region, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  for (const std::vector<cv::Point>& contour : contours) {
    if (contour.size() < 3 || cv::pointPolygonTest(contour, seed, false) < 0) continue;
    std::vector<cv::Point> hull;
    cv::convexHull(contour, hull);
    if (hull.size() >= 3) return hull;
  }
  return {};
}

bool GetImagePixel(const CadEntity& image, double x, double y, int& column, int& row) {
  if (image.type != CAD_IMAGE || !image.image || image.vertices.empty()) return false;
  const double fromLeft = (x - image.vertices[0].x) / image.unitsPerPixelX;
  const double fromTop = image.image->Height() - (y - image.vertices[0].y) / image.unitsPerPixelY;
  if (!(fromLeft >= 0 && fromLeft < image.image->Width() && fromTop >= 0 &&
        fromTop < image.image->Height()))
    return false;
  column = static_cast<int>(fromLeft);
  row = static_cast<int>(fromTop);
  return true;
}

std::vector<CadPoint> OutlineStone(const CadEntity& image, int column, int row,
                                   const CadStoneTolerance& tolerance) {
  const QRect window =
      QRect(column - kStoneWindow / 2, row - kStoneWindow / 2, kStoneWindow, kStoneWindow)
          .intersected(QRect(0, 0, image.image->Width(), image.image->Height()));
  const QImage pixels = image.image->Region(window, 1.0).convertToFormat(QImage::Format_ARGB32);
  if (pixels.isNull() || pixels.size() != window.size()) return {};
  // ARGB32 lies in memory as blue, green, red, alpha.
  const cv::Mat picture(pixels.height(), pixels.width(), CV_8UC4,
                        const_cast<uchar*>(pixels.constBits()), pixels.bytesPerLine());
  const std::vector<cv::Point> outline =
      FillStoneOutline(picture, {column - window.left(), row - window.top()}, tolerance);
  std::vector<CadPoint> points;
  for (const cv::Point& pixel : outline)
    points.push_back({image.vertices[0].x + (window.left() + pixel.x + 0.5) * image.unitsPerPixelX,
                      image.vertices[0].y + (image.image->Height() - window.top() - pixel.y - 0.5) *
                                                image.unitsPerPixelY,
                      0});
  return points;
}

double OutlineArea(const std::vector<CadPoint>& outline) {
  double twice = 0;
  for (size_t i = 0; i < outline.size(); ++i) {
    const CadPoint& a = outline[i];
    const CadPoint& b = outline[(i + 1) % outline.size()];
    twice += a.x * b.y - b.x * a.y;
  }
  return std::abs(twice) / 2;
}
