#include <gtest/gtest.h>

#include <fstream>

#include "ProjectFiles.h"
#include "ProjectsTestSupport.h"

namespace fs = std::filesystem;

TEST(ProjectFiles, EveryKindKeepsTheFolderAndTheBaseName) {
  const std::string stream = "/survey/my site/Castle.v2.strm";
  EXPECT_EQ(MakeFileName(PFK_OVERVIEW, stream), "/survey/my site/Castle.v2.jpg");
  EXPECT_EQ(MakeFileName(PFK_SETTINGS, stream), "/survey/my site/Castle.v2.ini");
  EXPECT_EQ(MakeFileName(PFK_FILTER, stream), "/survey/my site/Castle.v2_filter.ini");
  EXPECT_EQ(MakeFileName(PFK_LINKS, stream), "/survey/my site/Castle.v2_links.xml");

  const std::string image = "/survey/Castle_data/IMG_01.jpg";
  EXPECT_EQ(MakeFileName(1, image), "/survey/Castle_data/IMG_01.int");
  EXPECT_EQ(MakeFileName(2, image), "/survey/Castle_data/IMG_01.est");
  EXPECT_EQ(MakeFileName(3, image), "/survey/Castle_data/thumb_IMG_01.jpg");
  EXPECT_EQ(MakeFileName(7, image), "/survey/Castle_data/IMG_01_note.txt");

  EXPECT_EQ(MakeFileName(4, "site.strm"), "site.jpg");
  EXPECT_EQ(MakeFileName(3, "/o'brien/100%s.jpg"), "/o'brien/thumb_100%s.jpg");
}

TEST(ProjectFiles, EmptyPathsAndUnknownKindsGiveNoName) {
  EXPECT_EQ(MakeFileName(4, ""), "");
  EXPECT_EQ(MakeFileName(5, "/a/site.strm"), "");
  EXPECT_EQ(MakeDataFolderName(""), "");
}

TEST(ProjectFiles, DataFolderSitsBesideTheStream) {
  EXPECT_EQ(MakeDataFolderName("/survey/Castle.strm"), "/survey/Castle_data");
  EXPECT_EQ(MakeDataFolderName("Castle.strm"), "Castle_data");
}

TEST(ProjectFiles, PathsAreMadeAbsoluteAndCanonical) {
  ScratchFolder folder;
  const fs::path survey = folder / "My Survey";
  fs::create_directories(survey / "sub");
  std::ofstream(survey / "Site.strm") << "stream";
  fs::create_directory_symlink(survey, folder / "link");
  const fs::path site = fs::canonical(survey / "Site.strm");

  const fs::path before = fs::current_path();
  fs::current_path(survey / "sub");
  EXPECT_EQ(AbsolutePath("../Site.strm"), site.string());
  EXPECT_EQ(AbsolutePath("./../sub/../Site.strm"), site.string());
  fs::current_path(before);
  EXPECT_EQ(AbsolutePath((folder / "link/Site.strm").string()), site.string());
  // A file that does not exist yet keeps its name beside its canonical folder.
  EXPECT_EQ(AbsolutePath((folder / "link/sub/../New.strm").string()),
            (site.parent_path() / "New.strm").string());
  EXPECT_EQ(AbsolutePath(""), "");
}
