// The project database: the list of every project opened on this machine, kept in the
// SQLite file db/orvalis.db of the application data folder. On first start the empty seed
// database orvalis.origDB, installed beside the program, is copied there.
//
// Failures never escape as exceptions: they are reported through the message callback
// (the program shows a message box) and the operation returns 0. A database file that is
// damaged (not a database, corrupt, or without the project table) is never deleted: the
// user is asked whether to move it aside and start again from the seed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CppSQLite3.h"
#include "DBRecord.h"

enum class DBMessageKind { Information, Warning, Error };
using DBMessageCallback = std::function<void(const std::string& text, DBMessageKind kind)>;
// Asks the user a yes-or-no question; true for yes.
using DBQuestionCallback = std::function<bool(const std::string& question)>;

// Writes the message as one line on standard error.
void ReportOnStandardError(const std::string& text, DBMessageKind kind);

class CDataBaseSql {
 public:
  static constexpr int kBusyTimeout = 60000;  // milliseconds

  // Locates and opens the database under `appDataFolder`, seeding it from orvalis.origDB in
  // `seedFolder` when the database file does not exist yet. An empty `report` reports on
  // standard error. A damaged database file is moved aside and replaced by the seed when
  // `ask` answers yes, and left as it is on a no; without `ask` it is reported once.
  CDataBaseSql(const std::string& appDataFolder, const std::string& seedFolder,
               DBMessageCallback report = {}, DBQuestionCallback ask = {});
  ~CDataBaseSql();
  CDataBaseSql(const CDataBaseSql&) = delete;
  CDataBaseSql& operator=(const CDataBaseSql&) = delete;

  // 1 when a connection is (or already was) open; 0 when the file is missing, fails to open
  // or holds no readable project table.
  int Open();
  int IsOpen() const { return m_DB.isOpen() ? 1 : 0; }

  // Replaces the results with one project record per row matching `filter`; returns their
  // number. 0 without a connection, for a null filter or a record that is not a project.
  int Select(CDBRecord* filter);
  // Each returns the number of rows changed; 0 without a connection, for a null record or
  // one that is not a project, and when the statement fails.
  int Insert(CDBRecord* record);
  int Update(CDBRecord* record);
  int Delete(CDBRecord* record);

  void ClearResults();
  int GetResultCount() const { return static_cast<int>(m_Results.size()); }
  // Owned by the database until the next select or ClearResults(); null outside the range.
  CDBRecord* GetResult(int index) const;

  const std::string& GetDBPath() const { return m_DBPath; }
  // The message of the last statement that failed; empty when the last one succeeded.
  const std::string& GetLastError() const { return m_LastError; }
  void Report(const std::string& text, DBMessageKind kind) const;

  static std::string DataBaseFileName() { return "orvalis.db"; }
  static std::string SeedFileName() { return "orvalis.origDB"; }

 private:
  void OpenOrSeed(const std::string& appDataFolder, const std::string& seedFolder);
  int CheckProjectTable();
  void OfferToSetAside(const std::string& seedPath);
  int SetAside(const std::string& asidePath);
  void SeedAndOpen(const std::string& seedPath, const std::string& notice);
  int CopySeed(const std::string& seedPath);
  int ExecuteChange(CDBRecord* record, std::string (CDBRecord::*build)());
  void ReadResultRows();
  void ReportFailure(const CppSQLite3Exception& e);

  CppSQLite3DB m_DB;
  CppSQLite3Query m_Query;
  std::vector<std::unique_ptr<CDBRecord>> m_Results;
  std::string m_DBPath;
  std::string m_OpenError;  // why the last Open() of an existing file failed
  std::string m_LastError;
  bool m_Damaged = false;  // the file opened but holds no usable project table
  DBMessageCallback m_Report;
  DBQuestionCallback m_Ask;
};
