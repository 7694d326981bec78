// Photographs made for the tests, and the real samples when the sample folder is present.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <string>

// A picture of `width` × `height` in one colour (blue, green, red) written to `path`.
inline void WritePhoto(const std::filesystem::path& path, int width, int height,
                       cv::Scalar colour = cv::Scalar(40, 120, 200)) {
  std::filesystem::create_directories(path.parent_path());
  cv::imwrite(path.string(), cv::Mat(height, width, CV_8UC3, colour));
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The folder of the real sample photographs, or empty when the samples are not there.
inline std::filesystem::path SamplePhotos() {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  if (!data) return {};
  const std::filesystem::path photos = std::filesystem::path(data) / "photos";
  return std::filesystem::is_directory(photos) ? photos : std::filesystem::path();
}
