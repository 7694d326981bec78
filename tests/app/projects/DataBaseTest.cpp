#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "CppSQLite3.h"
#include "DataBaseSql.h"
#include "ProjectsTestSupport.h"

namespace fs = std::filesystem;

namespace {

// A valid database file without the project table, so that every statement fails.
void WriteDataBaseWithoutTable(const fs::path& path) {
  fs::create_directories(path.parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "create table other (x integer);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

// Takes the project table away from a database that is in use.
void DropProjectTable(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "drop table project;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

std::string Contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Answers every question with `answer` and keeps the questions asked.
DBQuestionCallback Answer(bool answer, std::vector<std::string>& questions) {
  return [answer, &questions](const std::string& question) {
    questions.push_back(question);
    return answer;
  };
}

CDBRecordProject Project(const std::string& name, const std::string& path) {
  CDBRecordProject row;
  row.name = name;
  row.path = path;
  row.open_times = 1;
  return row;
}

}  // namespace

TEST(ProjectDataBase, FirstStartCopiesTheEmptySeedOnce) {
  ScratchFolder home;
  Messages messages;
  {
    CDataBaseSql db((home / "app").string(), SeedFolder(), RecordInto(messages));
    ASSERT_TRUE(db.IsOpen());
    EXPECT_EQ(db.GetDBPath(), (home / "app/db/orvalis.db").string());
    CDBRecordProject all;
    EXPECT_EQ(db.Select(&all), 0);
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, "Database initialized");
  EXPECT_EQ(messages[0].second, DBMessageKind::Information);

  messages.clear();
  CDataBaseSql again((home / "app").string(), SeedFolder(), RecordInto(messages));
  EXPECT_TRUE(again.IsOpen());
  EXPECT_TRUE(messages.empty());
}

TEST(ProjectDataBase, RowsRoundTripThroughTheFile) {
  ScratchFolder home;
  Messages messages;
  CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages));
  CDBRecordProject first = Project("Site", "/data/O'Brien/Site.strm");
  first.num_points = 123456;
  CDBRecordProject second = Project("other", "/data/other.strm");
  ASSERT_EQ(db.Insert(&first), 1);
  ASSERT_EQ(db.Insert(&second), 1);

  // Paths are file names of a case-sensitive file system: stored and matched as given.
  CDBRecordProject filter;
  filter.path = "/data/o'brien/site.strm";
  EXPECT_EQ(db.Select(&filter), 0);
  filter.path = "/data/O'Brien/Site.strm";
  ASSERT_EQ(db.Select(&filter), 1);
  const auto* row = dynamic_cast<CDBRecordProject*>(db.GetResult(0));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->name, "Site");
  EXPECT_EQ(row->path, "/data/O'Brien/Site.strm");
  EXPECT_EQ(row->num_points, 123456);
  EXPECT_EQ(row->view_pov, -1);
  EXPECT_GT(row->id, 0);
  EXPECT_EQ(db.GetResult(1), nullptr);

  CDBRecordProject doomed;
  doomed.CopyFrom(*row);
  CDBRecordProject all;
  EXPECT_EQ(db.Delete(&doomed), 1);
  EXPECT_EQ(db.Select(&all), 1);
  doomed.id = -1;
  EXPECT_EQ(db.Delete(&doomed), 0);
  EXPECT_TRUE(messages.size() == 1) << "only the seed message expected";
}

TEST(ProjectDataBase, FailedStatementIsReportedAndTheCallerGoesOn) {
  ScratchFolder home;
  Messages messages;
  CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages));
  ASSERT_TRUE(db.IsOpen());
  messages.clear();
  DropProjectTable(db.GetDBPath());

  CDBRecordProject all;
  EXPECT_EQ(db.Select(&all), 0);
  CDBRecordProject row = Project("site", "/site.strm");
  EXPECT_EQ(db.Insert(&row), 0);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].first, "SQLITE_ERROR[1]: no such table: project");
  EXPECT_EQ(messages[0].second, DBMessageKind::Error);
  EXPECT_EQ(db.GetLastError(), messages[1].first);
}

// Damaged, empty and foreign files: named once, and moved aside (never deleted, never
// overwritten) only when the user agrees; the program then starts from the seed.
TEST(ProjectDataBase, DamagedFileIsNamedOnceAndMovedAsideOnlyWhenTheUserAgrees) {
  ScratchFolder home;
  const fs::path file = home / "app/db/orvalis.db";
  const std::vector<std::pair<std::string, std::string>> damages = {
      {std::string(4096, 'x'), "SQLITE_NOTADB[26]: file is not a database"},
      {std::string(), "it holds no project table"}};
  for (const auto& [content, reason] : damages) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    const std::string named = "The project database " + file.string() + " is damaged: " + reason;
    Messages messages;
    std::vector<std::string> questions;
    {
      // Nobody to ask: the damage is reported once, and nothing else.
      CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages));
      EXPECT_FALSE(db.IsOpen());
      CDBRecordProject all;
      EXPECT_EQ(db.Select(&all), 0);
      EXPECT_EQ(db.Insert(&all), 0);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, DBMessageKind::Error);
    EXPECT_NE(messages[0].first.find(named), std::string::npos) << messages[0].first;
    messages.clear();
    {
      // The question names the file; a no leaves it.
      CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages), Answer(false, questions));
      EXPECT_FALSE(db.IsOpen());
    }
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find(named), std::string::npos) << questions[0];
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Contents(file), content);

    messages.clear();
    {
      CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages), Answer(true, questions));
      ASSERT_TRUE(db.IsOpen());
      CDBRecordProject row = Project("Site", "/data/Site.strm");
      EXPECT_EQ(db.Insert(&row), 1);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, DBMessageKind::Information);
    EXPECT_EQ(messages[0].first.rfind("Database initialized", 0), 0u);
  }
  // Each damaged file is kept under a name of its own.
  EXPECT_EQ(Contents(file.string() + ".damaged"), std::string(4096, 'x'));
  EXPECT_TRUE(fs::exists(file.string() + ".damaged-2"));
  EXPECT_EQ(fs::file_size(file.string() + ".damaged-2"), 0u);

  // A database made by another program is no project list either.
  fs::remove(file);
  WriteDataBaseWithoutTable(file);
  Messages messages;
  std::vector<std::string> questions;
  CDataBaseSql db(home / "app", SeedFolder(), RecordInto(messages), Answer(true, questions));
  EXPECT_TRUE(db.IsOpen());
  EXPECT_NE(questions.at(0).find("it holds no project table"), std::string::npos);
  sqlite3* raw = nullptr;
  sqlite3_open((file.string() + ".damaged-3").c_str(), &raw);
  EXPECT_EQ(sqlite3_exec(raw, "select x from other;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(raw);
}

TEST(ProjectDataBase, MissingSeedNamesTheFileAndEveryOperationDoesNothing) {
  ScratchFolder home;
  Messages messages;
  CDataBaseSql db(home / "app", (home / "bin").string(), RecordInto(messages));
  EXPECT_FALSE(db.IsOpen());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].second, DBMessageKind::Error);
  EXPECT_EQ(messages[0].first.rfind("Database connection error!", 0), 0u);
  EXPECT_NE(messages[0].first.find((home / "bin/orvalis.origDB").string()), std::string::npos);

  CDBRecordProject row = Project("site", "/site.strm");
  row.id = 1;
  EXPECT_EQ(db.Open(), 0);
  EXPECT_EQ(db.Select(&row), 0);
  EXPECT_EQ(db.Insert(&row), 0);
  EXPECT_EQ(db.Update(&row), 0);
  EXPECT_EQ(db.Delete(&row), 0);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_FALSE(fs::exists(home / "app/db/orvalis.db"));
}

TEST(SQLiteWrapper, ErrorsCarryTheirCodeNameAndText) {
  ScratchFolder folder;
  CppSQLite3DB db;
  try {
    db.execDML("select 1;");
    FAIL();
  } catch (const CppSQLite3Exception& e) {
    EXPECT_EQ(e.errorCode(), CPPSQLITE_ERROR);
    EXPECT_STREQ(e.what(), "CPPSQLITE_ERROR[1000]: Database not open");
  }
  EXPECT_THROW(db.open((folder / "missing.db").string()), CppSQLite3Exception);
  EXPECT_FALSE(fs::exists(folder / "missing.db"));

  WriteDataBaseWithoutTable(folder / "t.db");
  db.open((folder / "t.db").string());
  EXPECT_EQ(db.execDML("insert into other values (1); insert into other values (2);"), 1);
  CppSQLite3Query query = db.execQuery("select x from other order by x;");
  try {
    query.fieldValue(1);
    FAIL();
  } catch (const CppSQLite3Exception& e) {
    EXPECT_EQ(e.errorMessage(), "CPPSQLITE_ERROR[1000]: Invalid field index requested");
  }
  EXPECT_STREQ(query.fieldValue(0), "1");
  query.nextRow();
  EXPECT_STREQ(query.fieldValue(0), "2");
  query.nextRow();
  EXPECT_TRUE(query.eof());
  query.finalize();
  try {
    query.eof();
    FAIL();
  } catch (const CppSQLite3Exception& e) {
    EXPECT_EQ(e.errorMessage(), "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
  }
}

TEST(ProjectDataBase, UnwritableDataFolderIsReportedWithoutThrowing) {
  ScratchFolder home;
  fs::create_directories(home / "app");
  std::ofstream(home / "app/db") << "a file where the folder should be";
  Messages messages;
  CDataBaseSql db((home / "app").string(), SeedFolder(), RecordInto(messages));
  EXPECT_FALSE(db.IsOpen());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first.rfind("Database connection error!\nUnable to copy the seed", 0), 0u)
      << messages[0].first;
}
