// What the stone tests share: a picture of stones on the ground, and an image source over a
// picture held in memory.
#pragma once

#include <QImage>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "app/drawings/CadDrawing.h"

// Light, slightly noisy ground with dark discs on it.
inline cv::Mat GroundWithStones(int width, int height, const std::vector<cv::Vec3i>& discs) {
  cv::Mat picture(height, width, CV_8UC3);
  cv::randu(picture, cv::Scalar::all(195), cv::Scalar::all(206));
  for (const cv::Vec3i& disc : discs)
    cv::circle(picture, {disc[0], disc[1]}, disc[2], cv::Scalar(55, 60, 70), cv::FILLED);
  return picture;
}

// The picture as the pane's images hold them.
inline QImage ToQImage(const cv::Mat& bgr) {
  cv::Mat bgra;
  cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
  return QImage(bgra.data, bgra.cols, bgra.rows, static_cast<int>(bgra.step), QImage::Format_ARGB32)
      .copy();
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
