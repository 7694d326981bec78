#include "SfmModel.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>

#include "nimbex/platform/TextFiles.h"

namespace fs = std::filesystem;

namespace {

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

bool IsComment(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string::npos && line[first] == '#';
}

template <class Number>
bool ParseWhole(const std::string& word, Number& value) {
  const char* end = word.data() + word.size();
  auto [next, error] = std::from_chars(word.data(), end, value);
  return error == std::errc() && next == end;
}

// Passes every line of a text file, without its line ending, to `parse` with its number;
// stops at the first line `parse` refuses. False when the file cannot be opened or read.
bool ForEachLine(const fs::path& path, std::string& why,
                 const std::function<bool(int, const std::string&)>& parse) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    why = "the file is missing";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!parse(number, line)) return false;
  }
  if (in.bad()) {
    why = "the file cannot be read";
    return false;
  }
  return true;
}

bool Refuse(std::string& why, int line, const std::string& problem) {
  why = "line " + std::to_string(line) + ": " + problem;
  return false;
}

// The photograph's name is everything after the camera id, so names may hold blanks.
std::string NameAfterWords(const std::string& line, int wordsBefore) {
  size_t at = 0;
  for (int i = 0; i < wordsBefore; ++i) {
    at = line.find_first_not_of(" \t", at);
    at = line.find_first_of(" \t", at);
  }
  const size_t first = line.find_first_not_of(" \t", at);
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

bool ParsePose(int number, const std::string& line, SfmImage& image, std::string& why) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.size() < 10)
    return Refuse(why, number,
                  "expected IMAGE_ID QW QX QY QZ TX TY TZ CAMERA_ID NAME, found " +
                      std::to_string(words.size()) + " fields");
  if (!ParseWhole(words[0], image.id)) return Refuse(why, number, "the image id is not a number");
  for (int i = 0; i < 4; ++i)
    if (!ParseFiniteDouble(words[1 + i], image.q[i]))
      return Refuse(why, number, "quaternion value \"" + words[1 + i] + "\" is not a number");
  for (int i = 0; i < 3; ++i)
    if (!ParseFiniteDouble(words[5 + i], image.t[i]))
      return Refuse(why, number, "translation value \"" + words[5 + i] + "\" is not a number");
  if (!(std::hypot(std::hypot(image.q[0], image.q[1]), std::hypot(image.q[2], image.q[3])) > 1e-6))
    return Refuse(why, number, "the rotation quaternion is zero");
  if (!ParseWhole(words[8], image.cameraId))
    return Refuse(why, number, "the camera id is not a number");
  image.name = NameAfterWords(line, 9);
  image.line = number;
  return true;
}

bool ParseObservations(int number, const std::string& line, SfmImage& image, std::string& why) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.size() % 3 != 0)
    return Refuse(why, number,
                  "2D points come in threes (X Y POINT3D_ID), found " +
                      std::to_string(words.size()) + " values");
  image.observations.resize(words.size() / 3);
  for (size_t i = 0; i < image.observations.size(); ++i) {
    SfmObservation& observation = image.observations[i];
    if (!ParseFiniteDouble(words[3 * i], observation.pixel.X()) ||
        !ParseFiniteDouble(words[3 * i + 1], observation.pixel.Y()) ||
        !ParseWhole(words[3 * i + 2], observation.point3DId) || observation.point3DId < -1)
      return Refuse(why, number, "2D point " + std::to_string(i) + " is not X Y POINT3D_ID");
  }
  return true;
}

}  // namespace

int CSfmModel::Read(const fs::path& folder, std::string& file, std::string& why) {
  *this = CSfmModel();
  const fs::path cameras = folder / "cameras.txt", images = folder / "images.txt",
                 points = folder / "points3D.txt";
  file = cameras.string();
  if (!ReadCameras(cameras, why)) return 0;
  file = images.string();
  if (!ReadImages(images, why)) return 0;
  std::error_code error;
  if (fs::exists(points, error)) {
    file = points.string();
    if (!ReadPoints(points, why)) return 0;
  }
  file.clear();
  return 1;
}

bool CSfmModel::ReadCameras(const fs::path& path, std::string& why) {
  return ForEachLine(path, why, [&](int number, const std::string& line) {
    if (IsBlank(line) || IsComment(line)) return true;
    const std::vector<std::string> words = SplitWords(line);
    SfmCamera camera;
    camera.line = number;
    if (words.size() < 4)
      return Refuse(why, number, "expected CAMERA_ID MODEL WIDTH HEIGHT PARAMS[]");
    if (!ParseWhole(words[0], camera.id))
      return Refuse(why, number, "the camera id \"" + words[0] + "\" is not a number");
    camera.model = words[1];
    if (!ParseWhole(words[2], camera.width) || !ParseWhole(words[3], camera.height) ||
        camera.width < 1 || camera.height < 1)
      return Refuse(why, number, "the width and height must be positive whole numbers");
    for (size_t i = 4; i < words.size(); ++i) {
      double value = 0;
      if (!ParseFiniteDouble(words[i], value))
        return Refuse(why, number, "parameter \"" + words[i] + "\" is not a number");
      camera.params.push_back(value);
    }
    if (!m_Cameras.emplace(camera.id, camera).second)
      return Refuse(why, number, "camera " + words[0] + " is listed twice");
    return true;
  });
}

bool CSfmModel::ReadImages(const fs::path& path, std::string& why) {
  std::map<int, int> lineOfImage;
  bool expectPose = true;
  return ForEachLine(path, why, [&](int number, const std::string& line) {
    if (IsComment(line)) return true;
    if (expectPose) {
      if (IsBlank(line)) return true;
      SfmImage image;
      if (!ParsePose(number, line, image, why)) return false;
      if (!lineOfImage.emplace(image.id, number).second)
        return Refuse(why, number,
                      "image " + std::to_string(image.id) + " is listed twice (first on line " +
                          std::to_string(lineOfImage[image.id]) + ")");
      m_Images.push_back(image);
      expectPose = false;
      return true;
    }
    // The line after a pose holds its 2D points and is empty when it has none.
    expectPose = true;
    return ParseObservations(number, line, m_Images.back(), why);
  });
}

bool CSfmModel::ReadPoints(const fs::path& path, std::string& why) {
  m_HasPoints = true;
  return ForEachLine(path, why, [&](int number, const std::string& line) {
    if (IsBlank(line) || IsComment(line)) return true;
    const std::vector<std::string> words = SplitWords(line);
    if (words.size() < 8 || (words.size() - 8) % 2 != 0)
      return Refuse(why, number,
                    "expected POINT3D_ID X Y Z R G B ERROR and pairs of IMAGE_ID POINT2D_IDX");
    long long id = 0;
    SfmPoint point;
    int colour = 0;
    double error = 0;
    bool valid = ParseWhole(words[0], id) && ParseFiniteDouble(words[1], point.position.X()) &&
                 ParseFiniteDouble(words[2], point.position.Y()) &&
                 ParseFiniteDouble(words[3], point.position.Z()) &&
                 ParseFiniteDouble(words[7], error);
    for (int i = 4; i < 7; ++i)
      valid = valid && ParseWhole(words[i], colour) && colour >= 0 && colour <= 255;
    if (!valid)
      return Refuse(why, number, "the point's id, position, colour or error is malformed");
    for (size_t i = 8; i < words.size(); i += 2) {
      std::pair<int, int> entry;
      if (!ParseWhole(words[i], entry.first) || !ParseWhole(words[i + 1], entry.second) ||
          entry.second < 0)
        return Refuse(
            why, number,
            "track entry \"" + words[i] + " " + words[i + 1] + "\" is not IMAGE_ID POINT2D_IDX");
      point.track.push_back(entry);
    }
    if (!m_Points.emplace(id, std::move(point)).second)
      return Refuse(why, number, "point " + words[0] + " is listed twice");
    return true;
  });
}
