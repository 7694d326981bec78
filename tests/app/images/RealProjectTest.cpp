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
#include "RealProjectSupport.h"
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

}  // namespace

// The stone portal of the sample reconstruction as a project: a stream of its 11,384 points,
// its 12 photographs oriented from the model and imported with their orientation files and
// thumbnails; through the imported orientations its points land on their observations.
TEST_F(RealProjectTest, AReconstructionBecomesAProjectWithItsOrientedPhotographs) {
  const fs::path model = DoorModelFolder();
  if (model.empty()) GTEST_SKIP() << "no sample reconstruction";

  // The photographs as a surveyor brings them: oriented from the model in their own folder.
  std::string why;
  const std::string project = MakeDoorProject(model, m_Folder, why);
  ASSERT_FALSE(project.empty()) << why;
  CNimbex cloud(project.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_EQ(cloud.GetPointsCount(), 11384);
  EXPECT_TRUE(fs::is_regular_file(GetStrmCompanionName(project, RGB_FILE)));

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
  std::string file;
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
