#include "RealProjectSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "ImageImport.h"
#include "OrientationImport.h"
#include "nimbex/creation/StreamCreator.h"

std::filesystem::path DoorModelFolder() {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const std::filesystem::path model =
      std::filesystem::path(data ? data : "") / "sfm/gtsfm_lund_door";
  return data && std::filesystem::exists(model / "points3D.txt") ? model : std::filesystem::path();
}

int WritePointsAsText(const std::filesystem::path& points3D, const std::filesystem::path& text) {
  std::ifstream in(points3D);
  std::ofstream out(text);
  int count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    long long id;
    double x, y, z;
    int r, g, b;
    if (!(words >> id >> x >> y >> z >> r >> g >> b)) continue;
    out.precision(17);
    out << x << ' ' << y << ' ' << z << ' ' << r << ' ' << g << ' ' << b << '\n';
    ++count;
  }
  return count;
}

std::string MakeDoorProject(const std::filesystem::path& model, const std::filesystem::path& folder,
                            std::string& why) {
  const std::filesystem::path text = folder / "door points.txt";
  if (WritePointsAsText(model / "points3D.txt", text) == 0) return why = "no points", "";
  const std::string project = (folder / "door.strm").string();
  CStreamCreator creator;
  if (!creator.CreateStream(text.string(), "text", "xyzrgb", 0, 0, -1, false, project, nullptr,
                            SCF_POINT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return why = creator.GetLastError(), "";
  const std::filesystem::path camera = folder / "camera";
  std::filesystem::create_directories(camera);
  std::vector<std::string> sources;
  for (const auto& entry : std::filesystem::directory_iterator(model / "images")) {
    std::filesystem::create_symlink(entry.path(), camera / entry.path().filename());
    sources.push_back((camera / entry.path().filename()).string());
  }
  std::sort(sources.begin(), sources.end());
  COrientationImport orientations;
  if (!orientations.Import(model, camera)) return why = "orientations not imported", "";
  ProblemList problems;
  if (!ImportImages(sources, nullptr, nullptr, problems, nullptr, project))
    return why = "photographs not imported", "";
  if (!problems.empty()) return why = problems.front().first + ": " + problems.front().second, "";
  return project;
}
