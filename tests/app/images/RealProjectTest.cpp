#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DataFolder.h"
#include "ImageImport.h"
#include "OrientationImport.h"
#include "ProjectFiles.h"
#include "ProjectImages.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"

namespace fs = std::filesystem;

namespace {

class RealProjectTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "real project-XXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(m_Folder); }

  fs::path m_Folder;
};

// The reconstruction's points with their colours as "x y z r g b" lines; their number.
int WritePointsAsText(const fs::path& points3D, const fs::path& text) {
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

}  // namespace

// The stone portal of the sample reconstruction as a project: a stream of its 11,384 points,
// its 12 photographs oriented from the model and imported with their orientation files and
// thumbnails; through the imported orientations its points land on their observations.
TEST_F(RealProjectTest, AReconstructionBecomesAProjectWithItsOrientedPhotographs) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path model = fs::path(data ? data : "") / "sfm/gtsfm_lund_door";
  if (!data || !fs::exists(model / "points3D.txt")) GTEST_SKIP() << "no " << model;

  const fs::path text = m_Folder / "door points.txt";
  ASSERT_EQ(WritePointsAsText(model / "points3D.txt", text), 11384);
  const std::string project = (m_Folder / "door.strm").string();
  CStreamCreator creator;
  ASSERT_EQ(
      creator.CreateStream(text.string(), "text", "xyzrgb", 0, 0, -1, false, project, nullptr,
                           SCF_POINT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      1)
      << creator.GetLastError();
  CNimbex cloud(project.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_EQ(cloud.GetPointsCount(), 11384);
  EXPECT_TRUE(fs::is_regular_file(GetStrmCompanionName(project, RGB_FILE)));

  // The photographs as a surveyor brings them: oriented from the model in their own folder.
  const fs::path camera = m_Folder / "camera";
  fs::create_directories(camera);
  std::vector<std::string> sources;
  for (const auto& entry : fs::directory_iterator(model / "images")) {
    fs::create_symlink(entry.path(), camera / entry.path().filename());
    sources.push_back((camera / entry.path().filename()).string());
  }
  std::sort(sources.begin(), sources.end());
  COrientationImport orientations;
  ASSERT_EQ(orientations.Import(model, camera), 1);
  ProblemList problems;
  ASSERT_EQ(ImportImages(sources, nullptr, nullptr, problems, nullptr, project), 1);
  EXPECT_TRUE(problems.empty()) << problems.front().first << ": " << problems.front().second;

  const std::string dataFolder = MakeDataFolderName(project);
  EXPECT_EQ(GetImageExtension(dataFolder), "jpg");
  CProjectImages images;
  ASSERT_EQ(images.InitImages(project, true), 12);
  ASSERT_EQ(images.LoadOrientations(project, true), 12);
  for (const std::string& image : images.GetImages()) {
    EXPECT_TRUE(fs::is_regular_file(MakeFileName(PFK_THUMBNAIL, image))) << image;
    COrientation again;
    std::string why;
    EXPECT_EQ(again.Load(MakeFileName(PFK_INTERIOR_ORIENTATION, image),
                         MakeFileName(PFK_EXTERIOR_ORIENTATION, image), &why),
              1)
        << image << ": " << why;
  }

  CSfmModel sfm;
  std::string file, why;
  ASSERT_EQ(sfm.Read(model, file, why), 1) << file << ": " << why;
  int observed = 0;
  for (const SfmImage& image : sfm.GetImages()) {
    const std::string imported =
        (fs::path(dataFolder) / fs::path(image.name).stem()).string() + ".jpg";
    const COrientation* orientation = images.GetOrientation(imported);
    ASSERT_NE(orientation, nullptr) << imported;
    double sum = 0;
    int count = 0;
    for (const SfmObservation& observation : image.observations) {
      if (observation.point3DId < 0) continue;
      COrientation::Point2 pixel;
      ASSERT_EQ(orientation->Pt3dToPix(sfm.GetPoints().at(observation.point3DId).position, pixel),
                1);
      sum += std::hypot(pixel.X() - observation.pixel.X(), pixel.Y() - observation.pixel.Y());
      ++count;
    }
    ASSERT_GT(count, 0) << image.name;
    EXPECT_LT(sum / count, 1.0) << image.name;
    observed += count;
  }
  EXPECT_EQ(observed, 73327);
}
