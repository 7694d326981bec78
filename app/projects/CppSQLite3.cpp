#include "CppSQLite3.h"

#include <sqlite3.h>

#include <utility>

namespace {

const char* const kDatabaseNotOpen = "Database not open";
const char* const kNullVirtualMachine = "Null Virtual Machine pointer";
const char* const kInvalidFieldIndex = "Invalid field index requested";

[[noreturn]] void ThrowLastError(sqlite3* db, int code) {
  throw CppSQLite3Exception(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace

CppSQLite3Exception::CppSQLite3Exception(int errorCode, const std::string& errorText)
    : m_ErrorCode(errorCode) {
  m_ErrorMessage = std::string(errorCodeAsString(errorCode)) + "[" + std::to_string(errorCode) +
                   "]: " + errorText;
}

const char* CppSQLite3Exception::errorCodeAsString(int errorCode) {
  switch (errorCode) {
    case SQLITE_OK:
      return "SQLITE_OK";
    case SQLITE_ERROR:
      return "SQLITE_ERROR";
    case SQLITE_INTERNAL:
      return "SQLITE_INTERNAL";
    case SQLITE_PERM:
      return "SQLITE_PERM";
    case SQLITE_ABORT:
      return "SQLITE_ABORT";
    case SQLITE_BUSY:
      return "SQLITE_BUSY";
    case SQLITE_LOCKED:
      return "SQLITE_LOCKED";
    case SQLITE_NOMEM:
      return "SQLITE_NOMEM";
    case SQLITE_READONLY:
      return "SQLITE_READONLY";
    case SQLITE_INTERRUPT:
      return "SQLITE_INTERRUPT";
    case SQLITE_IOERR:
      return "SQLITE_IOERR";
    case SQLITE_CORRUPT:
      return "SQLITE_CORRUPT";
    case SQLITE_NOTFOUND:
      return "SQLITE_NOTFOUND";
    case SQLITE_FULL:
      return "SQLITE_FULL";
    case SQLITE_CANTOPEN:
      return "SQLITE_CANTOPEN";
    case SQLITE_PROTOCOL:
      return "SQLITE_PROTOCOL";
    case SQLITE_EMPTY:
      return "SQLITE_EMPTY";
    case SQLITE_SCHEMA:
      return "SQLITE_SCHEMA";
    case SQLITE_TOOBIG:
      return "SQLITE_TOOBIG";
    case SQLITE_CONSTRAINT:
      return "SQLITE_CONSTRAINT";
    case SQLITE_MISMATCH:
      return "SQLITE_MISMATCH";
    case SQLITE_MISUSE:
      return "SQLITE_MISUSE";
    case SQLITE_NOLFS:
      return "SQLITE_NOLFS";
    case SQLITE_AUTH:
      return "SQLITE_AUTH";
    case SQLITE_FORMAT:
      return "SQLITE_FORMAT";
    case SQLITE_RANGE:
      return "SQLITE_RANGE";
    case SQLITE_NOTADB:
      return "SQLITE_NOTADB";
    case SQLITE_ROW:
      return "SQLITE_ROW";
    case SQLITE_DONE:
      return "SQLITE_DONE";
    case CPPSQLITE_ERROR:
      return "CPPSQLITE_ERROR";
    default:
      return "UNKNOWN_ERROR";
  }
}

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* vm, bool eof)
    : m_DB(db), m_VM(vm), m_Eof(eof) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_DB(std::exchange(other.m_DB, nullptr)),
      m_VM(std::exchange(other.m_VM, nullptr)),
      m_Eof(std::exchange(other.m_Eof, true)) {}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_VM);
    m_DB = std::exchange(other.m_DB, nullptr);
    m_VM = std::exchange(other.m_VM, nullptr);
    m_Eof = std::exchange(other.m_Eof, true);
  }
  return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
  sqlite3_finalize(m_VM);
}

void CppSQLite3Query::checkVM() const {
  if (!m_VM) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullVirtualMachine);
}

int CppSQLite3Query::numFields() const {
  checkVM();
  return sqlite3_column_count(m_VM);
}

const char* CppSQLite3Query::fieldValue(int field) const {
  checkVM();
  if (m_Eof || field < 0 || field >= sqlite3_column_count(m_VM))
    throw CppSQLite3Exception(CPPSQLITE_ERROR, kInvalidFieldIndex);
  const unsigned char* text = sqlite3_column_text(m_VM, field);
  return text ? reinterpret_cast<const char*>(text) : "";
}

bool CppSQLite3Query::eof() const {
  checkVM();
  return m_Eof;
}

void CppSQLite3Query::nextRow() {
  checkVM();
  const int code = sqlite3_step(m_VM);
  if (code == SQLITE_ROW) return;
  m_Eof = true;
  if (code == SQLITE_DONE) return;
  const std::string text = sqlite3_errmsg(m_DB);
  finalize();
  throw CppSQLite3Exception(code, text);
}

void CppSQLite3Query::finalize() {
  sqlite3_finalize(m_VM);
  m_VM = nullptr;
  m_Eof = true;
}

CppSQLite3DB::~CppSQLite3DB() {
  close();
}

void CppSQLite3DB::open(const std::string& path) {
  close();
  sqlite3* db = nullptr;
  const int code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (code != SQLITE_OK) {
    const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    sqlite3_close(db);
    throw CppSQLite3Exception(code, text);
  }
  m_DB = db;
}

void CppSQLite3DB::close() {
  if (!m_DB) return;
  sqlite3_close_v2(m_DB);
  m_DB = nullptr;
}

void CppSQLite3DB::checkDB() const {
  if (!m_DB) throw CppSQLite3Exception(CPPSQLITE_ERROR, kDatabaseNotOpen);
}

void CppSQLite3DB::setBusyTimeout(int milliseconds) {
  checkDB();
  sqlite3_busy_timeout(m_DB, milliseconds);
}

int CppSQLite3DB::execDML(const std::string& sql) {
  checkDB();
  char* error = nullptr;
  const int code = sqlite3_exec(m_DB, sql.c_str(), nullptr, nullptr, &error);
  if (code != SQLITE_OK) {
    const std::string text = error ? error : sqlite3_errmsg(m_DB);
    sqlite3_free(error);
    throw CppSQLite3Exception(code, text);
  }
  return sqlite3_changes(m_DB);
}

CppSQLite3Query CppSQLite3DB::execQuery(const std::string& sql) {
  checkDB();
  sqlite3_stmt* vm = nullptr;
  const int prepared = sqlite3_prepare_v2(m_DB, sql.c_str(), -1, &vm, nullptr);
  if (prepared != SQLITE_OK) ThrowLastError(m_DB, prepared);
  if (!vm) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullVirtualMachine);
  const int code = sqlite3_step(vm);
  if (code == SQLITE_ROW || code == SQLITE_DONE)
    return CppSQLite3Query(m_DB, vm, code == SQLITE_DONE);
  const std::string text = sqlite3_errmsg(m_DB);
  sqlite3_finalize(vm);
  throw CppSQLite3Exception(code, text);
}
