// What the project browser shows and forgets, its pictures and texts, and the Project Manager
// command's course, without a display.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "ProjectBrowser.h"
#include "ProjectOpening.h"
#include "ProjectsTestSupport.h"
#include "Thumbnail.h"

namespace fs = std::filesystem;

namespace {

class ProjectBrowser : public SeededDataBaseTest {
 protected:
  int InsertRow(const std::string& name, const std::string& path) {
    CDBRecordProject row;
    row.name = name;
    row.path = path;
    row.thumb_path = fs::path(path).replace_extension(".jpg").string();
    row.open_times = 1;
    row.num_points = 10;
    row.num_images = 0;
    row.view_pov = 0;
    row.view_link = 0;
    return db.Insert(&row);
  }

  std::vector<std::string> StoredPaths() {
    CDBRecordProject all;
    std::vector<std::string> paths;
    const int count = db.Select(&all);
    for (int i = 0; i < count; ++i)
      paths.push_back(static_cast<CDBRecordProject*>(db.GetResult(i))->path);
    db.ClearResults();
    return paths;
  }
};

cv::Vec3b Middle(const cv::Mat& picture) {
  return picture.at<cv::Vec3b>(picture.rows / 2, picture.cols / 2);
}

}  // namespace

TEST_F(ProjectBrowser, RowsWhoseStreamIsReallyGoneAreDeletedAndNoOtherRow) {
  const std::string castle = WriteStream("Surveys/Castle.strm");
  const std::string abbey = WriteStream("Surveys/Abbey.strm");
  ASSERT_EQ(InsertRow("Castle", castle), 1);
  ASSERT_EQ(InsertRow("Bridge", (home / "Surveys/Bridge.strm").string()), 1);
  ASSERT_EQ(InsertRow("Gone", (home / "Moved away/Gone.strm").string()), 1);
  // An older build's row, all in lower case: the stream is there, spelled otherwise.
  ASSERT_EQ(InsertRow("abbey", Lower(abbey)), 1);
  // Rows that say nothing certain about a stream on this disk stay.
  ASSERT_EQ(InsertRow("relative", "Surveys/Castle.strm"), 1);
  ASSERT_EQ(InsertRow("folder", (home / "Surveys").string()), 1);
  fs::create_directories(home / "Twins");
  std::ofstream(home / "Twins/Site.strm") << "one";
  std::ofstream(home / "Twins/SITE.strm") << "other";
  ASSERT_EQ(InsertRow("twins", (home / "twins/site.strm").string()), 1);

  const std::vector<CBrowserProject> shown = PrepareBrowserProjects(db);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].record.name, "Castle");
  EXPECT_EQ(shown[0].streamPath, castle);
  EXPECT_EQ(shown[1].record.name, "abbey");
  EXPECT_EQ(shown[1].record.path, Lower(abbey));
  EXPECT_EQ(shown[1].streamPath, abbey);
  EXPECT_GE(shown[1].record.id, 0);
  EXPECT_EQ(StoredPaths(), (std::vector<std::string>{castle, Lower(abbey), "Surveys/Castle.strm",
                                                     (home / "Surveys").string(),
                                                     (home / "twins/site.strm").string()}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProjectBrowser, PicturesFitTheirPlaceAndAMissingOrUnreadableOneShowsPhotoNotAvailable) {
  EXPECT_EQ(GetBrowserPictureSize(246), cv::Size(209, 156));
  const cv::Size size = GetBrowserPictureSize(246);
  const fs::path wide = home / "wide.jpg";
  cv::imwrite(wide.string(), cv::Mat(100, 400, CV_8UC3, cv::Scalar(0, 0, 230)));
  const cv::Mat fitted = MakeBrowserPicture(wide.string(), ORVALIS_PICTURE_FOLDER, size);
  ASSERT_EQ(fitted.size(), size);
  EXPECT_GT(Middle(fitted)[2], 200);
  // A picture four times as wide as high leaves black bands above and below.
  EXPECT_EQ(fitted.at<cv::Vec3b>(5, size.width / 2), cv::Vec3b(0, 0, 0));

  const cv::Mat notAvailable =
      MakeBrowserPicture((fs::path(ORVALIS_PICTURE_FOLDER) / kPhotoNotAvailablePicture).string(),
                         ORVALIS_PICTURE_FOLDER, size);
  ASSERT_FALSE(notAvailable.empty());
  std::ofstream(home / "broken.jpg") << "not a picture";
  for (const fs::path& picture :
       {home / "missing.jpg", home / "broken.jpg", home.Path(), fs::path()}) {
    const cv::Mat shown = MakeBrowserPicture(picture.string(), ORVALIS_PICTURE_FOLDER, size);
    EXPECT_EQ(cv::norm(shown, notAvailable, cv::NORM_INF), 0) << picture;
  }
  const cv::Mat nothing = MakeBrowserPicture("", (home / "nowhere").string(), size);
  ASSERT_EQ(nothing.size(), size);
  EXPECT_EQ(Middle(nothing), cv::Vec3b(40, 40, 40));
}

TEST_F(ProjectBrowser, InfoTellsTheRowAsStored) {
  CDBRecordProject row;
  row.id = 4;
  row.path = "/data/My Survey/Castle.strm";
  row.creation_date = "02-03-2001 04:05:06";
  row.open_data_time = "31-12-2025 23:59:58";
  row.open_times = 7;
  row.num_points = 123456;
  row.num_images = 12;
  EXPECT_EQ(FormatProjectInfo(row),
            "Project ID: 4\nLocation: /data/My Survey/Castle.strm\nCreation Date: 02-03-2001 "
            "04:05:06\nLast Open: 31-12-2025 23:59:58\nOpened 7 times\nNumber of 3d points: "
            "123456\nNumber of imported images: 12");
}

// The command's course with the user's choices given in turn, and what it opens and says.
TEST_F(ProjectBrowser, ProjectManagerOpensTheChoiceAndShowsTheBrowserAgainAfterAFailure) {
  const std::string castle = WriteStream("Castle.strm");
  ASSERT_EQ(RecordProjectOpening(db, castle, 10, 0), 1);
  const int id = PrepareBrowserProjects(db).at(0).record.id;
  std::vector<BrowserChoice> choices;
  std::vector<std::string> opened;
  Messages said;
  bool opens = false;
  ProjectManagerHost host;
  size_t shown = 0;
  host.showBrowser = [&](const std::vector<CBrowserProject>& projects) {
    EXPECT_EQ(projects.size(), 1u);
    return shown < choices.size() ? choices[shown++] : BrowserChoice();
  };
  host.openStream = [&](const std::string& path) {
    opened.push_back(path);
    return opens;
  };
  host.report = RecordInto(said);

  choices = {{BrowserChoice::Project, id, {}},
             {BrowserChoice::OtherStream, -1, "/x/other.strm"},
             {BrowserChoice::OtherStream, -1, ""}};
  EXPECT_EQ(RunProjectManager(&db, host), 0);
  EXPECT_EQ(opened, (std::vector<std::string>{castle, "/x/other.strm"}));
  EXPECT_EQ(said, (Messages{{kProjectOpenErrorMessage, DBMessageKind::Warning},
                            {kProjectOpenErrorMessage, DBMessageKind::Warning}}));

  opens = true;
  shown = 0;
  opened.clear();
  said.clear();
  choices = {{BrowserChoice::Project, id + 1, {}}, {BrowserChoice::Project, id, {}}};
  EXPECT_EQ(RunProjectManager(&db, host), 0);
  EXPECT_EQ(said, (Messages{{kNoProjectDataMessage, DBMessageKind::Error}}));
  EXPECT_TRUE(opened.empty());
  shown = 1;
  EXPECT_EQ(RunProjectManager(&db, host), 1);
  EXPECT_EQ(opened, (std::vector<std::string>{castle}));
}
