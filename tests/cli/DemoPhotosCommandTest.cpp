#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

// Full-size photographs with their orientation files, a summary line, and refusals that
// name what is wrong.
TEST(DemoPhotosCommandTest, WritesFullSizePhotographsAndRefusesBadInput) {
  ScratchFolder folder;
  const fs::path site = folder / "my site.las", photos = folder / "photos";
  ASSERT_EQ(RunNimbex("demo-site " + Quoted(site) + " --points 60000 --seed 2").status, 0);
  CommandResult result =
      RunNimbex("demo-photos " + Quoted(site) + " " + Quoted(photos) + " --count 3 --seed 5");
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("wrote 3 photographs"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("1 nadir and 1 oblique from the drone, 1 from the ground"),
            std::string::npos)
      << result.out;
  int drone = 0, ground = 0, orientations = 0, texturedModels = 0;
  for (const auto& entry : fs::directory_iterator(photos)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".vtp" || entry.path().extension() == ".tex") {
      ++texturedModels;
      continue;
    }
    if (entry.path().extension() != ".JPG") {
      ++orientations;
      continue;
    }
    const cv::Mat picture = cv::imread(entry.path().string());
    if (name.rfind("DJI_", 0) == 0) {
      ++drone;
      EXPECT_EQ(picture.cols, 2000) << name;
      EXPECT_EQ(picture.rows, 1500) << name;
    } else {
      ++ground;
      EXPECT_EQ(name.rfind("IMG_", 0), 0u) << name;
      EXPECT_EQ(picture.cols, 1800) << name;
      EXPECT_EQ(picture.rows, 1200) << name;
    }
  }
  EXPECT_EQ(drone, 2);
  EXPECT_EQ(ground, 1);
  EXPECT_EQ(orientations, 6);
  // The nadir photograph's textured model of the ground it sees.
  EXPECT_EQ(texturedModels, 2);

  CommandResult again =
      RunNimbex("demo-photos " + Quoted(site) + " " + Quoted(photos) + " --count 3 --seed 5");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("already exists"), std::string::npos) << again.out;
  CommandResult missing =
      RunNimbex("demo-photos " + Quoted(folder / "none.las") + " " + Quoted(photos));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("none.las is not a file"), std::string::npos) << missing.out;
}

}  // namespace
