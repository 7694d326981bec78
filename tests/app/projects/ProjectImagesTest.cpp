#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "PhotoTestSupport.h"
#include "ProjectImages.h"
#include "ProjectsTestSupport.h"
#include "common/progress/ProgressTimeToComplete.h"

namespace fs = std::filesystem;

TEST(ProjectImages, TheImageListFollowsTheDataFolderAndMissingThumbnailsAreMade) {
  ScratchFolder folder;
  const std::string project = (folder / "Castle.strm").string();
  const fs::path data = folder / "Castle_data";
  WritePhoto(data / "b.jpg", 100, 200);
  WritePhoto(data / "a.jpg", 40, 30);
  WriteText(data / "thumb_a.jpg", "kept as it is");
  WriteText(data / "thumb_orphan.jpg", "");
  WriteText(data / "a.vtp", "textured model");
  WriteText(data / "b.int", "");

  CProjectImages images;
  TProgressTimeToComplete progress;
  int shown = 0;
  EXPECT_EQ(images.InitImages(project, true, &progress, [&shown] { ++shown; }), 2);
  EXPECT_EQ(images.GetImages(),
            (std::vector<std::string>{(data / "a.jpg").string(), (data / "b.jpg").string()}));
  EXPECT_EQ(images.GetTexturedModels(), std::set<std::string>{"a"});
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ReadText(data / "thumb_a.jpg"), "kept as it is");
  const cv::Mat thumbnail = cv::imread((data / "thumb_b.jpg").string());
  ASSERT_EQ(thumbnail.size(), cv::Size(133, 133));
  EXPECT_LT(cv::norm(thumbnail.at<cv::Vec3b>(66, 20)), 10);
  EXPECT_GT(cv::norm(thumbnail.at<cv::Vec3b>(66, 66)), 100);

  // Once every thumbnail exists, opening again makes none; without reset nothing doubles.
  EXPECT_EQ(images.InitImages(project, false, &progress, [&shown] { ++shown; }), 2);
  EXPECT_EQ(shown, 1);
  WritePhoto(data / "c.png", 10, 10);
  EXPECT_EQ(images.InitImages(project, true), 1);
  EXPECT_EQ(images.GetImages(), std::vector<std::string>{(data / "c.png").string()});
  EXPECT_TRUE(images.GetTexturedModels().empty());
}

// Writes the orientation files of a camera 10 m above the point (x, 0, 0), looking down.
void WriteOrientation(const fs::path& image, double x) {
  COrientation orientation;
  ASSERT_EQ(orientation.SetInterior(35, {0, 0}, 0.01, 60, 40), 1);
  ASSERT_EQ(orientation.SetExterior({x, 0, 10}, 0, 0, 0), 1);
  ASSERT_EQ(orientation.WriteINT(fs::path(image).replace_extension(".int")), 1);
  ASSERT_EQ(orientation.WriteEST(fs::path(image).replace_extension(".est")), 1);
}

TEST(ProjectImages, EachPhotographWithSoundOrientationFilesGetsItsOrientation) {
  ScratchFolder folder;
  const std::string project = (folder / "Castle.strm").string();
  const fs::path data = folder / "Castle_data";
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "D.JPG"}) WritePhoto(data / name, 60, 40);
  WriteOrientation(data / "a.jpg", 1);
  WriteOrientation(data / "b.jpg", 2);
  WriteText(data / "b.est", "projection_centre 1 2 nan\n");
  WriteOrientation(data / "D.JPG", 4);

  CProjectImages images;
  ASSERT_EQ(images.InitImages(project, true), 4);
  EXPECT_EQ(images.LoadOrientations(project, true), 2);
  const COrientation* a = images.GetOrientation((data / "a.jpg").string());
  ASSERT_NE(a, nullptr);
  EXPECT_DOUBLE_EQ(a->GetN().X(), 1);
  EXPECT_DOUBLE_EQ(a->GetFocalLength(), 35);
  EXPECT_EQ(images.GetOrientation((data / "b.jpg").string()), nullptr);
  EXPECT_EQ(images.GetOrientation((data / "c.jpg").string()), nullptr);
  ASSERT_NE(images.GetOrientation((data / "D.JPG").string()), nullptr);

  // Orientations read again replace the earlier ones; without reset the others stay.
  WriteOrientation(data / "a.jpg", 7);
  fs::remove(data / "D.int");
  EXPECT_EQ(images.LoadOrientations(project, false), 2);
  EXPECT_DOUBLE_EQ(images.GetOrientation((data / "a.jpg").string())->GetN().X(), 7);
  EXPECT_EQ(images.LoadOrientations(project, true), 1);
}

TEST(ProjectImages, ADataFolderOfThumbnailsAloneHoldsNoImages) {
  ScratchFolder folder;
  const std::string project = (folder / "Castle.strm").string();
  CProjectImages images;
  EXPECT_EQ(images.InitImages(project, true), 0);
  WriteText(folder / "Castle_data" / "thumb_a.jpg", "");
  EXPECT_EQ(images.InitImages(project, true), 0);
  EXPECT_TRUE(images.GetImages().empty());
}
