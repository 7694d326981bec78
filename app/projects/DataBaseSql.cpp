#include "DataBaseSql.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const kDatabaseInitialized = "Database initialized";
const char* const kConnectionError = "Database connection error!";

// "<database>.damaged", or "<database>.damaged-2", -3 ... when that name is taken.
std::string FreeSetAsideName(const std::string& dbPath) {
  std::error_code error;
  const std::string base = dbPath + ".damaged";
  if (!fs::exists(base, error)) return base;
  for (int n = 2;; ++n) {
    const std::string name = base + "-" + std::to_string(n);
    if (!fs::exists(name, error)) return name;
  }
}

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
                           DBMessageCallback report, DBQuestionCallback ask)
    : m_Report(report ? std::move(report) : DBMessageCallback(ReportOnStandardError)),
      m_Ask(std::move(ask)) {
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

  const std::string seedPath = (fs::path(seedFolder) / SeedFileName()).string();
  // An existing file is the user's data: it is never replaced without asking.
  if (m_Damaged) {
    OfferToSetAside(seedPath);
  } else if (fs::exists(m_DBPath, error)) {
    Report(std::string(kConnectionError) + "\nUnable to open " + m_DBPath + ": " + m_OpenError,
           DBMessageKind::Error);
  } else {
    SeedAndOpen(seedPath, kDatabaseInitialized);
  }
}

void CDataBaseSql::OfferToSetAside(const std::string& seedPath) {
  const std::string damage =
      "The project database " + m_DBPath + " is damaged: " + m_OpenError + ".";
  const std::string aside = FreeSetAsideName(m_DBPath);
  const std::string question = damage + "\n\nMove it aside as " + aside +
                               " (nothing is deleted) and start again with an empty list of "
                               "projects?";
  if (!m_Ask) {
    Report(std::string(kConnectionError) + "\n" + damage +
               "\nOrvalis goes on without its list of projects.",
           DBMessageKind::Error);
    return;
  }
  // The question has told the user; a no leaves the file as it is, without a database.
  if (!m_Ask(question) || !SetAside(aside)) return;
  SeedAndOpen(seedPath,
              std::string(kDatabaseInitialized) + "; the damaged database was kept as " + aside);
}

int CDataBaseSql::SetAside(const std::string& asidePath) {
  std::error_code error;
  fs::rename(m_DBPath, asidePath, error);
  if (error) {
    Report(std::string(kConnectionError) + "\nUnable to move the damaged project database " +
               m_DBPath + " to " + asidePath + ": " + error.message(),
           DBMessageKind::Error);
    return 0;
  }
  m_Damaged = false;
  return 1;
}

void CDataBaseSql::SeedAndOpen(const std::string& seedPath, const std::string& notice) {
  std::error_code error;
  if (!fs::is_regular_file(seedPath, error)) {
    Report(std::string(kConnectionError) + "\nThe seed database " + seedPath + " was not found.",
           DBMessageKind::Error);
    return;
  }
  if (!CopySeed(seedPath)) return;
  Report(notice, DBMessageKind::Information);
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
  m_Damaged = false;
  try {
    m_DB.open(m_DBPath);
    m_DB.setBusyTimeout(kBusyTimeout);
    m_OpenError.clear();
  } catch (const CppSQLite3Exception& e) {
    m_DB.close();
    m_OpenError = e.errorMessage();
    return 0;
  }
  return CheckProjectTable();
}

// SQLite opens any file lazily: a file that is no database, a damaged one or an empty one
// (which holds no table) is found here, before the first statement would fail.
int CDataBaseSql::CheckProjectTable() {
  try {
    std::string problem;
    {
      CppSQLite3Query check = m_DB.execQuery("pragma quick_check;");
      const std::string result = check.eof() ? std::string() : check.fieldValue(0);
      if (result != "ok") problem = "SQLite finds it damaged (" + result + ")";
    }
    if (problem.empty()) {
      CppSQLite3Query table = m_DB.execQuery(
          "select count(*) from sqlite_master where type = 'table' and name = 'project';");
      if (table.eof() || std::atoi(table.fieldValue(0)) != 1) problem = "it holds no project table";
    }
    if (problem.empty()) return 1;
    m_OpenError = problem;
    m_Damaged = true;
  } catch (const CppSQLite3Exception& e) {
    m_OpenError = e.errorMessage();
    m_Damaged = e.errorCode() == SQLITE_NOTADB || e.errorCode() == SQLITE_CORRUPT;
  }
  m_DB.close();
  return 0;
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
