// The text model of a structure-from-motion reconstruction, as open SfM tools write it:
// `cameras.txt` (one camera per line: id, model, width, height, parameters), `images.txt`
// (two lines per photograph: its world-to-camera pose, camera and file name, then its 2D
// points) and `points3D.txt` (one 3D point per line with its colour, error and track).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "nimbex/platform/Geometry.h"

struct SfmCamera {
  int id = 0;
  std::string model;  // SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL, OPENCV, ...
  int width = 0;
  int height = 0;
  std::vector<double> params;
  int line = 0;  // where it stands in cameras.txt
};

struct SfmObservation {
  Wml::Point2<double> pixel;  // centre of the top-left pixel at (0.5, 0.5)
  long long point3DId = -1;   // -1: not part of a 3D point
};

struct SfmImage {
  int id = 0;
  double q[4] = {1, 0, 0, 0};  // world-to-camera rotation, unit quaternion, scalar first
  double t[3] = {0, 0, 0};     // world-to-camera translation: x_cam = R(q) X + t
  int cameraId = 0;
  std::string name;  // the photograph's path relative to the image folder
  int line = 0;      // of its pose in images.txt
  std::vector<SfmObservation> observations;
};

struct SfmPoint {
  Wml::Point3<double> position;
  std::vector<std::pair<int, int>> track;  // (image id, index of the 2D point in that image)
};

class CSfmModel {
 public:
  // Reads cameras.txt and images.txt of `folder`, and points3D.txt when it exists. 1 on
  // success; 0 when a file is missing or a line is malformed, with `file` naming the file
  // and `why` saying what is wrong and on which line.
  int Read(const std::filesystem::path& folder, std::string& file, std::string& why);

  const std::map<int, SfmCamera>& GetCameras() const { return m_Cameras; }
  // In the order of images.txt.
  const std::vector<SfmImage>& GetImages() const { return m_Images; }
  const std::unordered_map<long long, SfmPoint>& GetPoints() const { return m_Points; }
  bool HasPoints() const { return m_HasPoints; }

 private:
  bool ReadCameras(const std::filesystem::path& path, std::string& why);
  bool ReadImages(const std::filesystem::path& path, std::string& why);
  bool ReadPoints(const std::filesystem::path& path, std::string& why);

  std::map<int, SfmCamera> m_Cameras;
  std::vector<SfmImage> m_Images;
  std::unordered_map<long long, SfmPoint> m_Points;
  bool m_HasPoints = false;
};
