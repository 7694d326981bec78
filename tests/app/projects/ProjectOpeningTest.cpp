#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <regex>
#include <string>

#include "ProjectOpening.h"
#include "ProjectsTestSupport.h"

namespace fs = std::filesystem;

namespace {

class ProjectOpening : public SeededDataBaseTest {
 protected:
  CDBRecordProject RowOf(const std::string& strmPath) {
    CDBRecordProject filter;
    filter.path = strmPath;
    EXPECT_EQ(db.Select(&filter), 1);
    CDBRecordProject row;
    if (db.GetResultCount() > 0) row.CopyFrom(*db.GetResult(0));
    db.ClearResults();
    return row;
  }
};

// The row an older build wrote for a stream: every text in lower case.
CDBRecordProject LowerCasedRow(const std::string& strmPath, int openTimes) {
  CDBRecordProject row;
  row.name = Lower(fs::path(strmPath).stem().string());
  row.path = Lower(strmPath);
  row.thumb_path = Lower(fs::path(strmPath).replace_extension(".jpg").string());
  row.creation_date = "02-03-2001 04:05:06";
  row.open_data_time = "01-01-2000 00:00:00";
  row.open_times = openTimes;
  row.num_points = 10;
  row.num_images = 0;
  row.view_pov = 0;
  row.view_link = 0;
  return row;
}

bool IsDBTime(const std::string& text) {
  return std::regex_match(text, std::regex(R"(\d\d-\d\d-\d{4} \d\d:\d\d:\d\d)"));
}

}  // namespace

TEST_F(ProjectOpening, FirstOpeningInsertsTheProjectRow) {
  const std::string strm = WriteStream("My Survey/Castle.strm");
  ASSERT_EQ(RecordProjectOpening(db, strm, 5000, 12), 1);
  const CDBRecordProject row = RowOf(strm);
  // Stored as given: the path names the file on a case-sensitive file system.
  EXPECT_EQ(row.name, "Castle");
  EXPECT_EQ(row.path, (home / "My Survey/Castle.strm").string());
  EXPECT_EQ(row.thumb_path, (home / "My Survey/Castle.jpg").string());
  EXPECT_TRUE(fs::exists(row.path));
  EXPECT_EQ(row.creation_date, FormatDBTime(FileCreationTime(strm)));
  EXPECT_TRUE(IsDBTime(row.open_data_time)) << row.open_data_time;
  EXPECT_EQ(row.open_times, 1);
  EXPECT_EQ(row.num_points, 5000);
  EXPECT_EQ(row.num_images, 12);
  EXPECT_EQ(row.view_pov, 0);
  EXPECT_EQ(row.view_link, 0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProjectOpening, ReopeningCountsAndKeepsTheCreationDate) {
  const std::string strm = WriteStream("O'Brien/Site.strm");
  ASSERT_EQ(RecordProjectOpening(db, strm, 10, 0), 1);
  CDBRecordProject row = RowOf(strm);
  row.creation_date = "02-03-2001 04:05:06";
  row.open_data_time = "01-01-2000 00:00:00";
  ASSERT_EQ(db.Update(&row), 1);

  ASSERT_EQ(RecordProjectOpening(db, strm, 10, 0), 1);
  CDBRecordProject all;
  EXPECT_EQ(db.Select(&all), 1);
  db.ClearResults();
  row = RowOf(strm);
  EXPECT_EQ(row.open_times, 2);
  EXPECT_EQ(row.creation_date, "02-03-2001 04:05:06");
  EXPECT_NE(row.open_data_time, "01-01-2000 00:00:00");
  EXPECT_TRUE(IsDBTime(row.open_data_time));
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProjectOpening, RelativeAndAbsolutePathsOfAStreamAreOneProject) {
  const std::string strm = WriteStream("Survey/Site.strm");
  ASSERT_EQ(RecordProjectOpening(db, strm, 10, 0), 1);
  const fs::path before = fs::current_path();
  fs::current_path(home / "Survey");
  ASSERT_EQ(RecordProjectOpening(db, "Site.strm", 10, 0), 1);
  ASSERT_EQ(RecordProjectOpening(db, "../Survey/./Site.strm", 10, 0), 1);
  fs::current_path(before);
  CDBRecordProject all;
  ASSERT_EQ(db.Select(&all), 1);
  db.ClearResults();
  EXPECT_EQ(RowOf(strm).open_times, 3);
}

TEST_F(ProjectOpening, DoubledRowIsReportedAndTheFirstIsCounted) {
  const std::string strm = WriteStream("site.strm");
  ASSERT_EQ(RecordProjectOpening(db, strm, 1, 1), 1);
  CDBRecordProject copy = RowOf(strm);
  ASSERT_EQ(db.Insert(&copy), 1);

  Messages warnings;
  ASSERT_EQ(RecordProjectOpening(db, strm, 1, 1, RecordInto(warnings)), 1);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].first, "Warning: a record seems doubled into database!");
  EXPECT_EQ(warnings[0].second, DBMessageKind::Warning);

  CDBRecordProject filter;
  filter.path = strm;
  ASSERT_EQ(db.Select(&filter), 2);
  const auto* first = static_cast<CDBRecordProject*>(db.GetResult(0));
  const auto* second = static_cast<CDBRecordProject*>(db.GetResult(1));
  EXPECT_LT(first->id, second->id);
  EXPECT_EQ(first->open_times, 2);
  EXPECT_EQ(second->open_times, 1);

  // Without a callback of its own the warning goes to the database's reporter.
  db.ClearResults();
  ASSERT_EQ(RecordProjectOpening(db, strm, 1, 1), 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, "Warning: a record seems doubled into database!");
}

TEST_F(ProjectOpening, RowOfAnOlderBuildIsTakenOverOnceWithTheRealPath) {
  const std::string strm = WriteStream("My Survey/Site.strm");
  CDBRecordProject legacy = LowerCasedRow(strm, 4);
  ASSERT_EQ(db.Insert(&legacy), 1);

  ASSERT_EQ(RecordProjectOpening(db, strm, 10, 0), 1);
  ASSERT_EQ(RecordProjectOpening(db, strm, 10, 0), 1);
  CDBRecordProject all;
  EXPECT_EQ(db.Select(&all), 1);
  db.ClearResults();
  const CDBRecordProject row = RowOf(strm);
  EXPECT_EQ(row.name, "Site");
  EXPECT_EQ(row.thumb_path, (home / "My Survey/Site.jpg").string());
  EXPECT_EQ(row.open_times, 6);
  EXPECT_EQ(row.creation_date, "02-03-2001 04:05:06");
  EXPECT_TRUE(messages.empty());
}

TEST(ProjectOpeningCase, LowerCasedRowOfAnotherRealFileIsLeftAlone) {
  // A folder whose whole path is lower case, so that the lower-cased path names a file.
  const fs::path folder = fs::temp_directory_path() / ("orvalis-case-" + std::to_string(getpid()));
  ASSERT_EQ(Lower(folder.string()), folder.string());
  fs::create_directories(folder);
  std::ofstream(folder / "site.strm") << "stream";
  std::ofstream(folder / "Site.strm") << "another stream";
  ScratchFolder home;
  Messages messages;
  {
    CDataBaseSql db((home / "app").string(), SeedFolder(), RecordInto(messages));
    const std::string lower = (folder / "site.strm").string();
    const std::string upper = (folder / "Site.strm").string();
    ASSERT_EQ(RecordProjectOpening(db, lower, 1, 0), 1);
    ASSERT_EQ(RecordProjectOpening(db, upper, 1, 0), 1);
    CDBRecordProject filter;
    filter.path = lower;
    EXPECT_EQ(db.Select(&filter), 1);
    filter.path = upper;
    EXPECT_EQ(db.Select(&filter), 1);
    EXPECT_EQ(static_cast<CDBRecordProject*>(db.GetResult(0))->open_times, 1);
  }
  fs::remove_all(folder);
}

TEST(ProjectOpeningFailure, FailedLookUpAddsNoRow) {
  ScratchFolder home;
  Messages messages;
  CDataBaseSql db((home / "app").string(), SeedFolder(), RecordInto(messages));
  ASSERT_TRUE(db.IsOpen());
  messages.clear();
  // The table goes away behind the program's back: the look-up fails.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(db.GetDBPath().c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw, "alter table project rename to gone;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  EXPECT_EQ(RecordProjectOpening(db, (home / "site.strm").string(), 1, 1), 0);
  ASSERT_EQ(messages.size(), 1u);
  // Only the look-up ran: an insert would have failed and been reported as well.
  EXPECT_EQ(messages[0].first, "SQLITE_ERROR[1]: no such table: project");
}
