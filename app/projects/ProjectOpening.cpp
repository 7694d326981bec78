#include "ProjectOpening.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "ProjectFiles.h"

namespace {

const char* const kDoubledRecord = "Warning: a record seems doubled into database!";

int InsertNewProject(CDataBaseSql& db, const std::string& strmPath, int numPoints, int numImages) {
  CDBRecordProject row;
  row.name = BaseName(strmPath);
  row.path = strmPath;
  const std::time_t created = FileCreationTime(strmPath);
  if (created != -1) row.creation_date = FormatDBTime(created);
  row.open_data_time = FormatDBTime(std::time(nullptr));
  row.thumb_path = MakeFileName(PFK_OVERVIEW, strmPath);
  row.open_times = 1;
  row.num_points = numPoints;
  row.num_images = numImages;
  row.view_pov = 0;
  row.view_link = 0;
  return db.Insert(&row) > 0 ? 1 : 0;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Selects the rows of the project stored exactly under its name and path.
void SelectProject(CDataBaseSql& db, const std::string& strmPath) {
  CDBRecordProject filter;
  filter.name = BaseName(strmPath);
  filter.path = strmPath;
  db.Select(&filter);
}

// Older builds stored every text in lower case. Their rows of this project are found by its
// lower-cased name and path, unless that path names a file of its own (then the row is that
// file's), and rewritten with the real name and paths, so that they are matched exactly from
// then on. Leaves the rewritten rows selected; returns 0 when a statement failed.
int AdoptLowerCasedRows(CDataBaseSql& db, const std::string& strmPath) {
  const std::string lowered = Lowered(strmPath);
  std::error_code error;
  if (lowered == strmPath || std::filesystem::exists(lowered, error)) return 1;
  CDBRecordProject filter;
  filter.name = Lowered(BaseName(strmPath));
  filter.path = lowered;
  db.Select(&filter);
  if (!db.GetLastError().empty()) return 0;
  std::vector<CDBRecordProject> rows(db.GetResultCount());
  for (size_t i = 0; i < rows.size(); ++i) rows[i].CopyFrom(*db.GetResult(static_cast<int>(i)));
  db.ClearResults();
  for (CDBRecordProject& row : rows) {
    row.name = BaseName(strmPath);
    row.path = strmPath;
    row.thumb_path = MakeFileName(PFK_OVERVIEW, strmPath);
    if (!db.Update(&row)) return 0;
  }
  if (!rows.empty()) SelectProject(db, strmPath);
  return db.GetLastError().empty() ? 1 : 0;
}

int CountOneMoreOpening(CDataBaseSql& db, const DBMessageCallback& warn) {
  if (db.GetResultCount() > 1) {
    if (warn)
      warn(kDoubledRecord, DBMessageKind::Warning);
    else
      db.Report(kDoubledRecord, DBMessageKind::Warning);
  }
  CDBRecordProject row;
  row.CopyFrom(*db.GetResult(0));
  db.ClearResults();
  row.open_data_time = FormatDBTime(std::time(nullptr));
  row.open_times += 1;
  return db.Update(&row) > 0 ? 1 : 0;
}

}  // namespace

std::string FormatDBTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::time_t FileCreationTime(const std::string& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return -1;
  if (info.stx_mask & STATX_BTIME) return static_cast<std::time_t>(info.stx_btime.tv_sec);
  return static_cast<std::time_t>(info.stx_mtime.tv_sec);
}

int RecordProjectOpening(CDataBaseSql& db, const std::string& givenPath, int numPoints,
                         int numImages, const DBMessageCallback& warn) {
  if (!db.IsOpen() || givenPath.empty()) return 0;
  const std::string strmPath = AbsolutePath(givenPath);
  SelectProject(db, strmPath);
  // A failed look-up must not add a second row for a project that is already listed.
  if (!db.GetLastError().empty()) return 0;
  if (db.GetResultCount() == 0 && !AdoptLowerCasedRows(db, strmPath)) return 0;
  if (db.GetResultCount() == 0) return InsertNewProject(db, strmPath, numPoints, numImages);
  return CountOneMoreOpening(db, warn);
}
