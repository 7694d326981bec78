// A thin object layer over the SQLite C interface: a connection, a query that walks its
// result rows as text, and the exception every failure raises. Exceptions stay inside the
// projects module: the database object catches them and reports their message.
#pragma once

#include <exception>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// Errors of the wrapper itself, beside SQLite's own codes.
constexpr int CPPSQLITE_ERROR = 1000;

class CppSQLite3Exception : public std::exception {
 public:
  // The message reads "<code name>[<code>]: <text>", e.g. "SQLITE_ERROR[1]: no such table".
  CppSQLite3Exception(int errorCode, const std::string& errorText);

  int errorCode() const { return m_ErrorCode; }
  const std::string& errorMessage() const { return m_ErrorMessage; }
  const char* what() const noexcept override { return m_ErrorMessage.c_str(); }

  static const char* errorCodeAsString(int errorCode);

 private:
  int m_ErrorCode;
  std::string m_ErrorMessage;
};

// The rows of one query. The first row is fetched when the query is made; the statement is
// finalized by finalize() or the destructor.
class CppSQLite3Query {
 public:
  CppSQLite3Query() = default;
  CppSQLite3Query(sqlite3* db, sqlite3_stmt* vm, bool eof);
  CppSQLite3Query(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
  CppSQLite3Query(const CppSQLite3Query&) = delete;
  CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
  ~CppSQLite3Query();

  int numFields() const;
  // The field as text; an SQL NULL gives an empty text.
  const char* fieldValue(int field) const;
  bool eof() const;
  void nextRow();
  void finalize();

 private:
  void checkVM() const;

  sqlite3* m_DB = nullptr;
  sqlite3_stmt* m_VM = nullptr;
  bool m_Eof = true;
};

// One connection to a database file.
class CppSQLite3DB {
 public:
  CppSQLite3DB() = default;
  CppSQLite3DB(const CppSQLite3DB&) = delete;
  CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
  ~CppSQLite3DB();

  // Opens an existing database file for reading and writing; never creates one.
  void open(const std::string& path);
  void close();
  bool isOpen() const { return m_DB != nullptr; }
  void setBusyTimeout(int milliseconds);

  // Runs a data-modifying statement; returns the number of rows it changed.
  int execDML(const std::string& sql);
  CppSQLite3Query execQuery(const std::string& sql);

 private:
  void checkDB() const;

  sqlite3* m_DB = nullptr;
};
