#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "DataFolder.h"
#include "PhotoTestSupport.h"
#include "ProjectsTestSupport.h"
#include "Thumbnail.h"

namespace fs = std::filesystem;

namespace {

const cv::Vec3b kBlack(0, 0, 0);
const cv::Vec3b kPhoto(40, 120, 200);

cv::Mat Photo(int width, int height) {
  return cv::Mat(height, width, CV_8UC3, cv::Scalar(kPhoto[0], kPhoto[1], kPhoto[2]));
}

cv::Mat Badge(const char* name) {
  return cv::imread((fs::path(ORVALIS_PICTURE_FOLDER) / name).string(), cv::IMREAD_COLOR);
}

// True when the thumbnail holds `badge` with its top-left corner at (left, top).
bool HoldsBadge(const cv::Mat& thumbnail, const cv::Mat& badge, int left, int top) {
  return cv::norm(thumbnail(cv::Rect(left, top, badge.cols, badge.rows)), badge, cv::NORM_INF) == 0;
}

}  // namespace

TEST(Thumbnail, APortraitSitsBetweenBlackBarsAndALandscapeBetweenBlackBands) {
  EXPECT_EQ(FittedThumbnailSize(100, 200), cv::Size(66, 133));
  EXPECT_EQ(FittedThumbnailSize(200, 100), cv::Size(133, 66));
  EXPECT_EQ(FittedThumbnailSize(399, 133), cv::Size(133, 44));
  EXPECT_EQ(FittedThumbnailSize(100, 100), cv::Size(133, 133));

  const cv::Mat portrait = MakeThumbnail(Photo(100, 200), BADGE_NONE, ORVALIS_PICTURE_FOLDER);
  ASSERT_EQ(portrait.size(), cv::Size(133, 133));
  EXPECT_EQ(portrait.type(), CV_8UC3);
  for (int y : {0, 66, 132}) {
    EXPECT_EQ(portrait.at<cv::Vec3b>(y, 32), kBlack);
    EXPECT_EQ(portrait.at<cv::Vec3b>(y, 33), kPhoto);
    EXPECT_EQ(portrait.at<cv::Vec3b>(y, 98), kPhoto);
    EXPECT_EQ(portrait.at<cv::Vec3b>(y, 99), kBlack);
  }
  const cv::Mat landscape = MakeThumbnail(Photo(200, 100), BADGE_NONE, ORVALIS_PICTURE_FOLDER);
  for (int x : {0, 66, 132}) {
    EXPECT_EQ(landscape.at<cv::Vec3b>(32, x), kBlack);
    EXPECT_EQ(landscape.at<cv::Vec3b>(33, x), kPhoto);
    EXPECT_EQ(landscape.at<cv::Vec3b>(98, x), kPhoto);
    EXPECT_EQ(landscape.at<cv::Vec3b>(99, x), kBlack);
  }
  // The region of interest of a larger picture is what the thumbnail shows.
  cv::Mat wide = Photo(400, 400);
  wide(cv::Rect(0, 0, 400, 200)).setTo(cv::Scalar::all(255));
  const cv::Mat lower = MakeThumbnail(wide(cv::Rect(0, 200, 400, 200)), BADGE_NONE, "");
  EXPECT_EQ(lower.at<cv::Vec3b>(40, 66), kPhoto);
  const cv::Mat grey = MakeThumbnail(cv::Mat(10, 20, CV_8UC1, cv::Scalar(90)), BADGE_NONE, "");
  EXPECT_EQ(grey.type(), CV_8UC1);
  EXPECT_TRUE(MakeThumbnail(cv::Mat(), BADGE_NONE, "").empty());
}

TEST(Thumbnail, EachBadgeCodeShowsItsBadges) {
  const cv::Mat note = Badge(kNoteBadgePicture);
  const cv::Mat unoriented = Badge(kNoOrientationBadgePicture);
  ASSERT_FALSE(note.empty());
  ASSERT_FALSE(unoriented.empty());
  ASSERT_FALSE(Badge(kPhotoNotAvailablePicture).empty());
  const int noteLeft = 132 - note.cols, noteTop = 132 - note.rows;
  const int unorientedTop = 132 - unoriented.rows;

  std::vector<cv::Mat> sheet;
  for (int badge : {BADGE_NONE, BADGE_NOTE, BADGE_NO_ORIENTATION, BADGE_NOTE_AND_NO_ORIENTATION}) {
    const cv::Mat thumbnail = MakeThumbnail(Photo(160, 120), badge, ORVALIS_PICTURE_FOLDER);
    const bool withNote = badge == BADGE_NOTE || badge == BADGE_NOTE_AND_NO_ORIENTATION;
    const bool withoutOrientation =
        badge == BADGE_NO_ORIENTATION || badge == BADGE_NOTE_AND_NO_ORIENTATION;
    EXPECT_EQ(HoldsBadge(thumbnail, note, noteLeft, noteTop), withNote) << badge;
    EXPECT_EQ(HoldsBadge(thumbnail, unoriented, 1, unorientedTop), withoutOrientation) << badge;
    EXPECT_EQ(thumbnail.at<cv::Vec3b>(132, 132), kBlack);
    sheet.push_back(thumbnail);
  }
  cv::Mat pictures;
  cv::hconcat(sheet, pictures);
  cv::imwrite(std::string(PROJECTS_TEST_OUTPUT_DIR) + "/thumbnail-badges.png", pictures);
}

TEST(Thumbnail, ABadgeThatDoesNotFitOrCannotBeReadIsLeftOut) {
  ScratchFolder folder;
  cv::imwrite((folder / kNoteBadgePicture).string(),
              cv::Mat(133, 20, CV_8UC3, cv::Scalar::all(255)));
  WriteText(folder / kNoOrientationBadgePicture, "not a bitmap");
  const cv::Mat plain = MakeThumbnail(Photo(120, 120), BADGE_NONE, folder.Path().string());
  const cv::Mat badged =
      MakeThumbnail(Photo(120, 120), BADGE_NOTE_AND_NO_ORIENTATION, folder.Path().string());
  EXPECT_EQ(cv::norm(plain, badged, cv::NORM_INF), 0);

  const fs::path written = folder / "thumb_IMG.jpg";
  EXPECT_EQ(WriteThumbnail(Photo(120, 90), BADGE_NONE, "", written.string()), 1);
  EXPECT_EQ(cv::imread(written.string()).size(), cv::Size(133, 133));
  EXPECT_EQ(WriteThumbnail(Photo(120, 90), BADGE_NONE, "", (folder / "no/such/t.jpg").string()), 0);
}

TEST(DataFolder, TheLastExtensionFoundIsTheFolders) {
  ScratchFolder folder;
  EXPECT_EQ(GetImageExtension(folder.Path().string()), "");
  EXPECT_EQ(GetImageExtension((folder / "missing").string()), "");
  WriteText(folder / "thumb_A.jpg", "");
  WriteText(folder / "b.JPG", "");
  WriteText(folder / "a.jpg", "");
  WriteText(folder / "c.jpeg", "");
  WriteText(folder / "c.jpg.int", "");
  EXPECT_EQ(GetImageExtension(folder.Path().string()), "jpeg");
  WriteText(folder / "d.png", "");
  EXPECT_EQ(GetImageExtension(folder.Path().string()), "png");
  const std::string base = folder.Path().string() + "/";
  EXPECT_EQ(ListDataFolderFiles(folder.Path().string(), "jpg"),
            (std::vector<std::string>{base + "a.jpg", base + "b.JPG"}));
  EXPECT_EQ(ListDataFolderFiles(folder.Path().string(), "jpg", true),
            (std::vector<std::string>{base + "a.jpg", base + "b.JPG", base + "thumb_A.jpg"}));
}
