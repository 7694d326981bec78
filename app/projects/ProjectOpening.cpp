#include "ProjectOpening.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

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

int RecordProjectOpening(CDataBaseSql& db, const std::string& strmPath, int numPoints,
                         int numImages, const DBMessageCallback& warn) {
  if (!db.IsOpen() || strmPath.empty()) return 0;
  CDBRecordProject filter;
  filter.name = BaseName(strmPath);
  filter.path = strmPath;
  db.Select(&filter);
  // A failed look-up must not add a second row for a project that is already listed.
  if (!db.GetLastError().empty()) return 0;
  if (db.GetResultCount() == 0) return InsertNewProject(db, strmPath, numPoints, numImages);
  return CountOneMoreOpening(db, warn);
}
