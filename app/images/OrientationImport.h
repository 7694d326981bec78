// Orientations of a structure-from-motion text model turned into the `.int` and `.est`
// files of the photographs, so that surveyors can bring photographs oriented elsewhere.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "SfmModel.h"
#include "nimbex/platform/Orientation.h"

// The model's world-to-camera pose (x_cam = R(q) X + t, camera looking along +z with y
// down) as a projection centre and a camera-to-model rotation of a camera looking along -z
// with y up, and back. The quaternion need not be of unit length; the one given back has a
// non-negative scalar part.
void SfmPoseToExterior(const double q[4], const double t[3], Wml::Point3<double>& centre,
                       Wml::Matrix3<double>& rotation);
void ExteriorToSfmPose(const Wml::Point3<double>& centre, const Wml::Matrix3<double>& rotation,
                       double q[4], double t[3]);

// The interior orientation of one camera of the model, in pixel units. 1 on success; 0 for
// an unsupported camera model, the wrong number of parameters or an impossible camera,
// saying why.
int SfmCameraToInterior(const SfmCamera& camera, COrientation& orientation, std::string& why);

class COrientationImport {
 public:
  using Problem = std::pair<std::string, std::string>;  // (file, what went wrong)

  // Writes "<name>.int" and "<name>.est" beside every photograph of `imageFolder` that the
  // model in `modelFolder` orients. A malformed model writes nothing. 1 when every
  // photograph of the model was oriented; 0 when anything was reported.
  int Import(const std::filesystem::path& modelFolder, const std::filesystem::path& imageFolder);

  const std::vector<std::string>& GetWrittenFiles() const { return m_Written; }
  const std::vector<Problem>& GetProblems() const { return m_Problems; }

 private:
  bool ImportImage(const CSfmModel& model, const SfmImage& image,
                   const std::filesystem::path& imageFolder, const std::string& imagesFile);
  void AddProblem(const std::string& file, const std::string& problem);
  bool RefuseWrite(const std::string& path);

  std::vector<std::string> m_Written;
  std::vector<Problem> m_Problems;
};

// `orvalis --import-orientations MODEL_FOLDER IMAGE_FOLDER`: imports without a window,
// prints each file written to standard output and each problem to standard error; the exit
// status is 0 when every photograph was oriented, 1 otherwise.
int RunOrientationImport(const std::vector<std::string>& arguments);
