#include <gtest/gtest.h>

#include "ProjectFiles.h"

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
