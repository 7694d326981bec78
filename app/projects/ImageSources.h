// Reading the photographs a surveyor brings: JPEG files as they are, TIFF and other rasters
// through GDAL, camera raw files through LibRaw, PNG and BMP through OpenCV. Every reader
// gives an 8-bit, 3-channel (blue, green, red) picture, or an empty one with the reason.
#pragma once

#include <opencv2/core.hpp>
#include <string>

enum class ImageSourceKind {
  Jpeg,         // copied into the data folder unchanged
  Raster,       // read through GDAL, written as JPEG
  CameraRaw,    // developed through LibRaw, written as JPEG
  Picture,      // decoded by OpenCV, written as JPEG
  Orientation,  // an .xml description, which holds no picture
  Unsupported,
};

// The file dialog filter of the photographs the import reads, in both cases: file names on
// Linux keep their case.
constexpr const char* kImageFileFilter =
    "Image Files (*.tif *.tiff *.jpg *.jpeg *.jp2 *.png *.bmp *.cr2 *.nef *.arw *.dng *.kdc "
    "*.xml *.TIF *.TIFF *.JPG *.JPEG *.JP2 *.PNG *.BMP *.CR2 *.NEF *.ARW *.DNG *.KDC "
    "*.XML);;All Files (*)";

// The kind of a source by its extension, in any case.
ImageSourceKind GetImageSourceKind(const std::string& path);

// The camera raw extensions accepted, lower case with their dot.
bool IsCameraRawExtension(const std::string& lowerExtension);

// A JPEG, PNG or BMP file as the viewer shows it (EXIF orientation applied).
cv::Mat ReadPicture(const std::string& path, std::string& error);
// The whole raster of a GDAL dataset: three bands as red, green and blue, one band (or a
// grey band with alpha) as grey, a palette band through its colours. Values that are not
// bytes are stretched linearly from their smallest to their largest value over 0 … 255.
cv::Mat ReadRasterImage(const std::string& path, std::string& error);
// A camera raw file developed by LibRaw with the camera's white balance.
cv::Mat ReadCameraRawImage(const std::string& path, std::string& error);
