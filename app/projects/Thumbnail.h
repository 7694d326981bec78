// Thumbnails of a project's photographs: the picture fitted into a black square of 133 × 133
// pixels, with the badges that tell the photograph has a note or no orientation.
#pragma once

#include <opencv2/core.hpp>
#include <string>

constexpr int kThumbnailSide = 133;

enum ThumbnailBadge {
  BADGE_NONE = -1,
  BADGE_NOTE = 0,
  BADGE_NO_ORIENTATION = 1,
  BADGE_NOTE_AND_NO_ORIENTATION = 2,
};

// The pictures the program finds in its own folder: the badges and the picture shown for a
// project without an overview.
constexpr const char* kNoteBadgePicture = "noteOk.bmp";
constexpr const char* kNoOrientationBadgePicture = "noOrientation.bmp";
constexpr const char* kPhotoNotAvailablePicture = "PhotoNotAvailable.bmp";

// The folder of the running program.
std::string GetProgramFolder();

// The size of the picture inside the thumbnail for an image of `width` × `height`: the long
// side fills the square, the short one keeps the aspect, rounded to the nearest integer
// (halves to the even neighbour).
cv::Size FittedThumbnailSize(int width, int height);

// The thumbnail of `image` (of its region of interest, when the matrix is one), with the
// same depth and channel count, and the badges of `badge` read from `pictureFolder`. A badge
// that cannot be read, or does not fit inside the square with a pixel to spare, is left out.
// Empty for an empty image.
cv::Mat MakeThumbnail(const cv::Mat& image, int badge, const std::string& pictureFolder);

// Makes the thumbnail and writes it as JPEG to `path`. 1 when written.
int WriteThumbnail(const cv::Mat& image, int badge, const std::string& pictureFolder,
                   const std::string& path);
