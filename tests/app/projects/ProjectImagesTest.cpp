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

TEST(ProjectImages, ADataFolderOfThumbnailsAloneHoldsNoImages) {
  ScratchFolder folder;
  const std::string project = (folder / "Castle.strm").string();
  CProjectImages images;
  EXPECT_EQ(images.InitImages(project, true), 0);
  WriteText(folder / "Castle_data" / "thumb_a.jpg", "");
  EXPECT_EQ(images.InitImages(project, true), 0);
  EXPECT_TRUE(images.GetImages().empty());
}
