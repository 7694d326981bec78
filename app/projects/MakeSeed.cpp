// Writes the empty project database that the program copies on its first start:
//   orvalis-make-seed <output file>
// The file is written beside the output and renamed into place, so that an interrupted
// build never leaves a half-made seed.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// Columns in the order the program reads them by position; the id is assigned on insert.
const char* const kProjectTable =
    "create table project ("
    "name text, path text, creation_date text, open_data_time text, thumb_path text, "
    "open_times integer, num_points integer, num_images integer, view_pov integer, "
    "view_link integer, id integer primary key autoincrement);";

bool WriteSeed(const std::string& path) {
  sqlite3* db = nullptr;
  int code =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (code == SQLITE_OK) code = sqlite3_exec(db, kProjectTable, nullptr, nullptr, nullptr);
  if (code != SQLITE_OK)
    std::fprintf(stderr, "orvalis-make-seed: %s: %s\n", path.c_str(),
                 db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  sqlite3_close(db);
  return code == SQLITE_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvalis-make-seed <output file>\n");
    return 2;
  }
  const std::filesystem::path output = argv[1];
  const std::filesystem::path partial = output.string() + ".partial";
  std::error_code error;
  std::filesystem::create_directories(output.parent_path(), error);
  std::filesystem::remove(partial, error);
  if (!WriteSeed(partial.string())) {
    std::filesystem::remove(partial, error);
    return 1;
  }
  std::filesystem::rename(partial, output, error);
  if (error) {
    std::fprintf(stderr, "orvalis-make-seed: %s: %s\n", output.c_str(), error.message().c_str());
    std::filesystem::remove(partial, error);
    return 1;
  }
  return 0;
}
