// Draws the small pictures the program reads from its own folder:
//   orvalis-make-pictures <output folder>
// noteOk.bmp (the badge of a photograph with a note), noOrientation.bmp (the badge of a
// photograph without orientation) and PhotoNotAvailable.bmp (shown for a project without an
// overview picture). Each is written beside its place and renamed into it.
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <system_error>

#include "Thumbnail.h"

namespace {

// Colours are blue, green, red.
const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kPaper(150, 235, 255);
const cv::Scalar kGreen(40, 170, 40);
const cv::Scalar kRed(40, 40, 210);
const cv::Scalar kWhite(255, 255, 255);

// A yellow sheet with a folded corner, two lines of text and a green tick.
cv::Mat DrawNoteBadge() {
  cv::Mat badge(24, 24, CV_8UC3, kWhite);
  const cv::Point sheet[] = {{3, 1}, {15, 1}, {20, 6}, {20, 22}, {3, 22}};
  cv::fillConvexPoly(badge, sheet, 5, kPaper, cv::LINE_AA);
  cv::polylines(badge, std::vector<cv::Point>(sheet, sheet + 5), true, kInk, 1, cv::LINE_AA);
  cv::line(badge, {15, 1}, {15, 6}, kInk, 1);
  cv::line(badge, {15, 6}, {20, 6}, kInk, 1);
  cv::line(badge, {6, 6}, {12, 6}, kInk, 1);
  cv::line(badge, {6, 10}, {17, 10}, kInk, 1);
  cv::line(badge, {7, 16}, {10, 19}, kGreen, 2, cv::LINE_AA);
  cv::line(badge, {10, 19}, {17, 12}, kGreen, 2, cv::LINE_AA);
  return badge;
}

// A red disc with a white cross: the photograph cannot be placed in the model.
cv::Mat DrawNoOrientationBadge() {
  cv::Mat badge(24, 24, CV_8UC3, kWhite);
  cv::circle(badge, {12, 12}, 10, kRed, cv::FILLED, cv::LINE_AA);
  cv::line(badge, {8, 8}, {16, 16}, kWhite, 2, cv::LINE_AA);
  cv::line(badge, {16, 8}, {8, 16}, kWhite, 2, cv::LINE_AA);
  return badge;
}

// A grey card with a camera struck through and the words "Photo not available".
cv::Mat DrawPhotoNotAvailable() {
  cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(200, 200, 200));
  const cv::Scalar body(110, 110, 110);
  cv::rectangle(picture, {105, 70}, {215, 145}, body, cv::FILLED, cv::LINE_AA);
  cv::rectangle(picture, {135, 58}, {170, 72}, body, cv::FILLED, cv::LINE_AA);
  cv::circle(picture, {160, 108}, 26, cv::Scalar(200, 200, 200), cv::FILLED, cv::LINE_AA);
  cv::circle(picture, {160, 108}, 18, body, cv::FILLED, cv::LINE_AA);
  cv::line(picture, {95, 160}, {225, 50}, kRed, 6, cv::LINE_AA);
  const std::string text = "Photo not available";
  int baseline = 0;
  const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 0.7, 2, &baseline);
  cv::putText(picture, text, {(picture.cols - size.width) / 2, 200}, cv::FONT_HERSHEY_SIMPLEX, 0.7,
              kInk, 2, cv::LINE_AA);
  return picture;
}

bool WritePicture(const std::filesystem::path& folder, const char* name, const cv::Mat& picture) {
  const std::filesystem::path output = folder / name;
  const std::filesystem::path partial = folder / (std::string("partial-") + name);
  std::error_code error;
  if (!cv::imwrite(partial.string(), picture)) {
    std::fprintf(stderr, "orvalis-make-pictures: cannot write %s\n", partial.c_str());
    return false;
  }
  std::filesystem::rename(partial, output, error);
  if (error) {
    std::fprintf(stderr, "orvalis-make-pictures: %s: %s\n", output.c_str(),
                 error.message().c_str());
    std::filesystem::remove(partial, error);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvalis-make-pictures <output folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const bool written = WritePicture(folder, kNoteBadgePicture, DrawNoteBadge()) &&
                       WritePicture(folder, kNoOrientationBadgePicture, DrawNoOrientationBadge()) &&
                       WritePicture(folder, kPhotoNotAvailablePicture, DrawPhotoNotAvailable());
  return written ? 0 : 1;
}
