#include "Thumbnail.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// The factor that takes 8-bit values to the full range of `depth`.
double ScaleFrom8Bit(int depth) {
  switch (depth) {
    case CV_16U:
      return 257.0;
    case CV_32F:
    case CV_64F:
      return 1.0 / 255.0;
    default:
      return 1.0;
  }
}

// The badge picture converted to the canvas's depth and channel count; empty when it
// cannot be read.
cv::Mat LoadBadge(const std::string& pictureFolder, const char* name, const cv::Mat& canvas) {
  cv::Mat badge =
      cv::imread((std::filesystem::path(pictureFolder) / name).string(), cv::IMREAD_COLOR);
  if (badge.empty()) return badge;
  if (canvas.channels() == 1)
    cv::cvtColor(badge, badge, cv::COLOR_BGR2GRAY);
  else if (canvas.channels() == 4)
    cv::cvtColor(badge, badge, cv::COLOR_BGR2BGRA);
  if (canvas.depth() != CV_8U) badge.convertTo(badge, canvas.type(), ScaleFrom8Bit(canvas.depth()));
  return badge;
}

bool FitsInside(const cv::Mat& badge) {
  return badge.cols <= kThumbnailSide - 1 && badge.rows <= kThumbnailSide - 1;
}

void PasteBadge(const std::string& pictureFolder, const char* name, bool bottomRight,
                cv::Mat& canvas) {
  const cv::Mat badge = LoadBadge(pictureFolder, name, canvas);
  if (badge.empty() || !FitsInside(badge)) return;
  const int last = kThumbnailSide - 1;
  const int left = bottomRight ? last - badge.cols : 1;
  badge.copyTo(canvas(cv::Rect(left, last - badge.rows, badge.cols, badge.rows)));
}

int RoundHalfEven(double value) {
  return static_cast<int>(std::nearbyint(value));
}

}  // namespace

std::string GetProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  return std::filesystem::path(std::string(path, static_cast<size_t>(length)))
      .parent_path()
      .string();
}

cv::Size FittedThumbnailSize(int width, int height) {
  if (width <= 0 || height <= 0) return cv::Size();
  const double aspect = static_cast<double>(width) / height;
  if (aspect < 1)
    return cv::Size(std::max(1, RoundHalfEven(aspect * kThumbnailSide)), kThumbnailSide);
  return cv::Size(kThumbnailSide, std::max(1, RoundHalfEven(kThumbnailSide / aspect)));
}

cv::Mat MakeThumbnail(const cv::Mat& image, int badge, const std::string& pictureFolder) {
  if (image.empty()) return cv::Mat();
  cv::Mat canvas(kThumbnailSide, kThumbnailSide, image.type(), cv::Scalar::all(0));
  const cv::Size size = FittedThumbnailSize(image.cols, image.rows);
  cv::Mat fitted;
  cv::resize(image, fitted, size, 0, 0, cv::INTER_LINEAR);
  fitted.copyTo(canvas(cv::Rect((kThumbnailSide - size.width) / 2,
                                (kThumbnailSide - size.height) / 2, size.width, size.height)));
  if (badge == BADGE_NOTE || badge == BADGE_NOTE_AND_NO_ORIENTATION)
    PasteBadge(pictureFolder, kNoteBadgePicture, true, canvas);
  if (badge == BADGE_NO_ORIENTATION || badge == BADGE_NOTE_AND_NO_ORIENTATION)
    PasteBadge(pictureFolder, kNoOrientationBadgePicture, false, canvas);
  return canvas;
}

int WriteThumbnail(const cv::Mat& image, int badge, const std::string& pictureFolder,
                   const std::string& path) {
  const cv::Mat thumbnail = MakeThumbnail(image, badge, pictureFolder);
  if (thumbnail.empty() || path.empty()) return 0;
  cv::Mat picture = thumbnail;
  if (picture.depth() != CV_8U)
    thumbnail.convertTo(picture, CV_8U, 1.0 / ScaleFrom8Bit(thumbnail.depth()));
  try {
    return cv::imwrite(path, picture) ? 1 : 0;
  } catch (const cv::Exception&) {
    return 0;
  }
}
