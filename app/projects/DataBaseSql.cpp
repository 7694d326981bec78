#include "DataBaseSql.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const kDatabaseInitialized = "Database initialized";
const char* const kConnectionError = "Database connection error!";

const char* KindLabel(DBMessageKind kind) {
  switch (kind) {
    case DBMessageKind::Information:
      return "Information";
    case DBMessageKind::Warning:
      return "Warning";
    case DBMessageKind::Error:
      return "Error";
  }
  return "";
}

bool IsProjectRecord(const CDBRecord* record) {
  return dynamic_cast<const CDBRecordProject*>(record) != nullptr;
}

}  // namespace

void ReportOnStandardError(const std::string& text, DBMessageKind kind) {
  std::cerr << KindLabel(kind) << ": " << text << std::endl;
}

CDataBaseSql::CDataBaseSql(const std::string& appDataFolder, const std::string& seedFolder,
                           DBMessageCallback report)
    : m_Report(report ? std::move(report) : DBMessageCallback(ReportOnStandardError)) {
  OpenOrSeed(appDataFolder, seedFolder);
}

CDataBaseSql::~CDataBaseSql() {
  ClearResults();
  m_Query.finalize();
  m_DB.close();
}

void CDataBaseSql::Report(const std::string& text, DBMessageKind kind) const {
  m_Report(text, kind);
}

void CDataBaseSql::OpenOrSeed(const std::string& appDataFolder, const std::string& seedFolder) {
  const fs::path folder = fs::path(appDataFolder) / "db";
  std::error_code error;
  fs::create_directories(folder, error);
  m_DBPath = (folder / DataBaseFileName()).lexically_normal().string();
  if (Open()) return;

  // An existing file that fails to open is the user's data: it is reported, never replaced.
  if (fs::exists(m_DBPath, error)) {
    Report(std::string(kConnectionError) + "\nUnable to open " + m_DBPath + ": " + m_OpenError,
           DBMessageKind::Error);
    return;
  }
  const std::string seedPath = (fs::path(seedFolder) / SeedFileName()).string();
  if (!fs::is_regular_file(seedPath, error)) {
    Report(std::string(kConnectionError) + "\nThe seed database " + seedPath + " was not found.",
           DBMessageKind::Error);
    return;
  }
  if (!CopySeed(seedPath)) return;
  Report(kDatabaseInitialized, DBMessageKind::Information);
  if (!Open()) Report(std::string(kConnectionError) + "\n" + m_OpenError, DBMessageKind::Error);
}

// Copies through a temporary file so that an interrupted copy never leaves a partial
// database that would open on the next start.
int CDataBaseSql::CopySeed(const std::string& seedPath) {
  const std::string partial = m_DBPath + ".partial";
  std::error_code error;
  fs::copy_file(seedPath, partial, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(partial, m_DBPath, error);
  if (!error) return 1;
  std::error_code ignored;
  fs::remove(partial, ignored);
  Report(std::string(kConnectionError) + "\nUnable to copy the seed database " + seedPath + " to " +
             m_DBPath + ": " + error.message(),
         DBMessageKind::Error);
  return 0;
}

int CDataBaseSql::Open() {
  if (m_DB.isOpen()) return 1;
  std::error_code error;
  if (m_DBPath.empty() || !fs::exists(m_DBPath, error)) return 0;
  try {
    m_DB.open(m_DBPath);
    m_DB.setBusyTimeout(kBusyTimeout);
    m_OpenError.clear();
  } catch (const CppSQLite3Exception& e) {
    m_DB.close();
    m_OpenError = e.errorMessage();
  }
  return IsOpen();
}

void CDataBaseSql::ReportFailure(const CppSQLite3Exception& e) {
  m_LastError = e.errorMessage();
  Report(m_LastError, DBMessageKind::Error);
}

void CDataBaseSql::ClearResults() {
  m_Results.clear();
}

CDBRecord* CDataBaseSql::GetResult(int index) const {
  if (index < 0 || index >= GetResultCount()) return nullptr;
  return m_Results[index].get();
}

int CDataBaseSql::Select(CDBRecord* filter) {
  ClearResults();
  if (!IsOpen() || !IsProjectRecord(filter)) return 0;
  m_LastError.clear();
  try {
    m_Query = m_DB.execQuery(filter->BuildSelect());
    ReadResultRows();
    m_Query.finalize();
  } catch (const CppSQLite3Exception& e) {
    // Rows read before the failure are dropped: a partial list would pass for a whole one.
    m_Query.finalize();
    ClearResults();
    ReportFailure(e);
  }
  return GetResultCount();
}

void CDataBaseSql::ReadResultRows() {
  while (!m_Query.eof()) {
    auto row = std::make_unique<CDBRecordProject>();
    std::string* texts[] = {&row->name, &row->path, &row->creation_date, &row->open_data_time,
                            &row->thumb_path};
    int* numbers[] = {&row->open_times, &row->num_points, &row->num_images,
                      &row->view_pov,   &row->view_link,  &row->id};
    int field = 0;
    for (std::string* text : texts) *text = m_Query.fieldValue(field++);
    for (int* number : numbers) *number = std::atoi(m_Query.fieldValue(field++));
    m_Results.push_back(std::move(row));
    m_Query.nextRow();
  }
}

int CDataBaseSql::ExecuteChange(CDBRecord* record, std::string (CDBRecord::*build)()) {
  if (!IsOpen() || !IsProjectRecord(record)) return 0;
  const std::string sql = (record->*build)();
  if (sql.empty()) return 0;
  m_LastError.clear();
  try {
    return m_DB.execDML(sql);
  } catch (const CppSQLite3Exception& e) {
    ReportFailure(e);
    return 0;
  }
}

int CDataBaseSql::Insert(CDBRecord* record) {
  return ExecuteChange(record, &CDBRecord::BuildInsert);
}

int CDataBaseSql::Update(CDBRecord* record) {
  return ExecuteChange(record, &CDBRecord::BuildUpdate);
}

int CDataBaseSql::Delete(CDBRecord* record) {
  return ExecuteChange(record, &CDBRecord::BuildDelete);
}
