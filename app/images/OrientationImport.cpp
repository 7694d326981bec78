#include "OrientationImport.h"

#include <QImageReader>
#include <QSize>
#include <QString>
#include <cmath>
#include <cstdio>

#include "ProjectFiles.h"

namespace fs = std::filesystem;
using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;
using Vector3 = COrientation::Vector3;
using Matrix3 = COrientation::Matrix3;

namespace {

// The model's pinhole and Brown parameters, whatever its camera model.
struct PinholeCamera {
  double fx = 0, fy = 0, cx = 0, cy = 0;
  double k1 = 0, k2 = 0, p1 = 0, p2 = 0;
};

const char kSupportedModels[] = "SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL, OPENCV";

bool ToPinhole(const SfmCamera& camera, PinholeCamera& pinhole, std::string& why) {
  const std::vector<double>& p = camera.params;
  size_t expected = 0;
  if (camera.model == "SIMPLE_PINHOLE" || camera.model == "PINHOLE") {
    expected = camera.model == "PINHOLE" ? 4 : 3;
  } else if (camera.model == "SIMPLE_RADIAL" || camera.model == "RADIAL") {
    expected = camera.model == "RADIAL" ? 5 : 4;
  } else if (camera.model == "OPENCV") {
    expected = 8;
  } else {
    why =
        "camera model " + camera.model + " is not supported (supported: " + kSupportedModels + ")";
    return false;
  }
  if (p.size() != expected) {
    why = "camera model " + camera.model + " takes " + std::to_string(expected) +
          " parameters, found " + std::to_string(p.size());
    return false;
  }
  const bool twoFocals = camera.model == "PINHOLE" || camera.model == "OPENCV";
  const size_t centre = twoFocals ? 2 : 1;
  pinhole.fx = p[0];
  pinhole.fy = twoFocals ? p[1] : p[0];
  pinhole.cx = p[centre];
  pinhole.cy = p[centre + 1];
  if (expected > centre + 2) pinhole.k1 = p[centre + 2];
  if (expected > centre + 3) pinhole.k2 = p[centre + 3];
  if (camera.model == "OPENCV") {
    pinhole.p1 = p[6];
    pinhole.p2 = p[7];
  }
  if (!(pinhole.fx > 0) || !(pinhole.fy > 0)) {
    why = "the focal length must be positive";
    return false;
  }
  return true;
}

Matrix3 QuaternionToMatrix(const double q[4]) {
  const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  const double w = q[0] / norm, x = q[1] / norm, y = q[2] / norm, z = q[3] / norm;
  return Matrix3(1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),
                 2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                 2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y));
}

// Shepperd's method: the largest of the four candidates keeps the division well away from 0.
void MatrixToQuaternion(const Matrix3& m, double q[4]) {
  const double trace = m(0, 0) + m(1, 1) + m(2, 2);
  double w, x, y, z;
  if (trace > 0) {
    const double s = 2 * std::sqrt(trace + 1);
    w = s / 4, x = (m(2, 1) - m(1, 2)) / s, y = (m(0, 2) - m(2, 0)) / s,
    z = (m(1, 0) - m(0, 1)) / s;
  } else if (m(0, 0) > m(1, 1) && m(0, 0) > m(2, 2)) {
    const double s = 2 * std::sqrt(1 + m(0, 0) - m(1, 1) - m(2, 2));
    w = (m(2, 1) - m(1, 2)) / s, x = s / 4, y = (m(0, 1) + m(1, 0)) / s,
    z = (m(0, 2) + m(2, 0)) / s;
  } else if (m(1, 1) > m(2, 2)) {
    const double s = 2 * std::sqrt(1 + m(1, 1) - m(0, 0) - m(2, 2));
    w = (m(0, 2) - m(2, 0)) / s, x = (m(0, 1) + m(1, 0)) / s, y = s / 4,
    z = (m(1, 2) + m(2, 1)) / s;
  } else {
    const double s = 2 * std::sqrt(1 + m(2, 2) - m(0, 0) - m(1, 1));
    w = (m(1, 0) - m(0, 1)) / s, x = (m(0, 2) + m(2, 0)) / s, y = (m(1, 2) + m(2, 1)) / s,
    z = s / 4;
  }
  const double sign = w < 0 ? -1 : 1;
  q[0] = sign * w, q[1] = sign * x, q[2] = sign * y, q[3] = sign * z;
}

// Our camera frame turns the model's y and z round: diag(1, -1, -1).
const Matrix3 kFlipYZ(1, 0, 0, 0, -1, 0, 0, 0, -1);

// Depth of the image's observed 3D points, averaged, times the pixel's fiducial size over
// the principal distance; 0 when the model has no points for the image.
double MeanGroundSamplingDistance(const CSfmModel& model, const SfmImage& image,
                                  const COrientation& orientation) {
  const Matrix3 worldToCamera = QuaternionToMatrix(image.q);
  const Vector3 t(image.t);
  double depths = 0;
  int count = 0;
  for (const SfmObservation& observation : image.observations) {
    const auto point = model.GetPoints().find(observation.point3DId);
    if (point == model.GetPoints().end()) continue;
    const double depth = (worldToCamera * point->second.position + t).Z();
    if (depth > 0) depths += depth, ++count;
  }
  return count ? depths / count * orientation.GetPixelSize() / orientation.GetFocalLength() : 0;
}

// A relative path that stays inside the folder it is joined to.
bool StaysInside(const fs::path& relative) {
  if (relative.empty() || relative.is_absolute() || relative.has_root_name()) return false;
  for (const fs::path& part : relative)
    if (part == "..") return false;
  return true;
}

std::string LineName(int line) {
  return "line " + std::to_string(line);
}
std::string LineText(int line) {
  return LineName(line) + ": ";
}

}  // namespace

void SfmPoseToExterior(const double q[4], const double t[3], Point3& centre, Matrix3& rotation) {
  const Matrix3 cameraToWorld = QuaternionToMatrix(q).Transpose();
  centre = -(cameraToWorld * Vector3(t));
  rotation = cameraToWorld * kFlipYZ;
}

void ExteriorToSfmPose(const Point3& centre, const Matrix3& rotation, double q[4], double t[3]) {
  const Matrix3 worldToCamera = kFlipYZ * rotation.Transpose();
  MatrixToQuaternion(worldToCamera, q);
  const Vector3 translation = -(worldToCamera * centre);
  for (int i = 0; i < 3; ++i) t[i] = translation[i];
}

int SfmCameraToInterior(const SfmCamera& camera, COrientation& orientation, std::string& why) {
  PinholeCamera pinhole;
  if (!ToPinhole(camera, pinhole, why)) return 0;
  // Fiducial units are pixels across; a pixel is fx / fy of them high, so that one
  // principal distance serves both directions.
  const double w = camera.width, h = camera.height, aspect = pinhole.fx / pinhole.fy;
  const Matrix3 pixToFid(1, 0, -w / 2, 0, -aspect, h / 2 * aspect, 0, 0, 1);
  const Vector3 principalPoint = pixToFid * Vector3(pinhole.cx, pinhole.cy, 1);
  COrientation interior(orientation);
  if (!interior.SetInterior(pinhole.fx, Point2(principalPoint.X(), principalPoint.Y()), 1,
                            camera.width, camera.height) ||
      !interior.SetPixToFidMat(pixToFid)) {
    why = "the camera's size or principal point is out of range";
    return 0;
  }
  // The model's image y points down and ours up, which turns the sign of p1 (0 - p1 keeps
  // a zero unsigned in the file).
  if (!interior.SetDistortion(pinhole.k1, pinhole.k2, 0, 0 - pinhole.p1, pinhole.p2)) {
    why = "the lens distortion folds back inside the image";
    return 0;
  }
  orientation = interior;
  return 1;
}

void COrientationImport::AddProblem(const std::string& file, const std::string& problem) {
  m_Problems.emplace_back(file, problem);
}

bool COrientationImport::RefuseWrite(const std::string& path) {
  AddProblem(path, "cannot be written (is the folder read-only?)");
  return false;
}

int COrientationImport::Import(const fs::path& modelFolder, const fs::path& imageFolder) {
  m_Written.clear();
  m_Problems.clear();
  CSfmModel model;
  std::string file, why;
  if (!model.Read(fs::absolute(modelFolder), file, why)) {
    AddProblem(file, why + "; nothing was imported");
    return 0;
  }
  const std::string camerasFile = fs::absolute(modelFolder / "cameras.txt").string();
  const std::string imagesFile = fs::absolute(modelFolder / "images.txt").string();
  if (model.GetImages().empty()) {
    AddProblem(imagesFile, "the model lists no photographs");
    return 0;
  }
  for (const auto& [id, camera] : model.GetCameras()) {
    COrientation probe(1);
    if (!SfmCameraToInterior(camera, probe, why))
      AddProblem(camerasFile, LineText(camera.line) + why);
  }
  const fs::path images = fs::absolute(imageFolder);
  for (const SfmImage& image : model.GetImages()) ImportImage(model, image, images, imagesFile);
  return m_Problems.empty() ? 1 : 0;
}

bool COrientationImport::ImportImage(const CSfmModel& model, const SfmImage& image,
                                     const fs::path& imageFolder, const std::string& imagesFile) {
  const std::string where = LineText(image.line);
  const auto camera = model.GetCameras().find(image.cameraId);
  if (camera == model.GetCameras().end()) {
    AddProblem(imagesFile, where + "camera " + std::to_string(image.cameraId) + " of " +
                               image.name + " is not in cameras.txt");
    return false;
  }
  const fs::path relative = fs::path(image.name).lexically_normal();
  if (!StaysInside(relative)) {
    AddProblem(imagesFile,
               where + "the photograph name \"" + image.name + "\" leads out of the image folder");
    return false;
  }
  const fs::path photograph = imageFolder / relative;
  std::error_code error;
  if (!fs::is_regular_file(photograph, error)) {
    AddProblem(photograph.string(),
               "photograph not found (named on " + LineName(image.line) + " of images.txt)");
    return false;
  }

  COrientation orientation(1);
  std::string why;
  if (!SfmCameraToInterior(camera->second, orientation, why)) {
    AddProblem(photograph.string(), "not oriented: its camera " + std::to_string(image.cameraId) +
                                        " cannot be used (" + why + ")");
    return false;
  }
  const QSize size = QImageReader(QString::fromStdString(photograph.string())).size();
  if (size.isValid() &&
      (size.width() != camera->second.width || size.height() != camera->second.height)) {
    AddProblem(photograph.string(), "the photograph is " + std::to_string(size.width()) + " x " +
                                        std::to_string(size.height()) + " pixels but its camera " +
                                        std::to_string(image.cameraId) + " in cameras.txt is " +
                                        std::to_string(camera->second.width) + " x " +
                                        std::to_string(camera->second.height) + ": not oriented");
    return false;
  }

  Point3 centre;
  Matrix3 rotation;
  SfmPoseToExterior(image.q, image.t, centre, rotation);
  orientation.SetExterior(centre, rotation);
  orientation.SetMeanGSD(MeanGroundSamplingDistance(model, image, orientation));

  const std::string interiorPath = MakeFileName(PFK_INTERIOR_ORIENTATION, photograph.string());
  const std::string exteriorPath = MakeFileName(PFK_EXTERIOR_ORIENTATION, photograph.string());
  if (!orientation.WriteINT(interiorPath)) return RefuseWrite(interiorPath);
  m_Written.push_back(interiorPath);
  if (!orientation.WriteEST(exteriorPath)) return RefuseWrite(exteriorPath);
  m_Written.push_back(exteriorPath);
  return true;
}

int RunOrientationImport(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::fprintf(stderr,
                 "orvalis: usage: orvalis --import-orientations MODEL_FOLDER IMAGE_FOLDER\n"
                 "  MODEL_FOLDER holds cameras.txt and images.txt (and points3D.txt) of a "
                 "structure-from-motion text model;\n"
                 "  .int and .est files are written beside the photographs in IMAGE_FOLDER.\n");
    return 1;
  }
  COrientationImport import;
  const int imported = import.Import(arguments[0], arguments[1]);
  for (const std::string& path : import.GetWrittenFiles()) std::printf("%s\n", path.c_str());
  for (const auto& [file, problem] : import.GetProblems())
    std::fprintf(stderr, "orvalis: %s: %s\n", file.c_str(), problem.c_str());
  std::printf("oriented photographs: %zu, problems: %zu\n", import.GetWrittenFiles().size() / 2,
              import.GetProblems().size());
  return imported ? 0 : 1;
}
