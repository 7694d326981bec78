// A private folder per test and a database that records the messages it reports.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "DataBaseSql.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "projects-XXXXXX").string();
    m_Path = mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_Path, error);
  }
  std::filesystem::path operator/(const std::string& name) const { return m_Path / name; }

 private:
  std::filesystem::path m_Path;
};

using Messages = std::vector<std::pair<std::string, DBMessageKind>>;

inline DBMessageCallback RecordInto(Messages& messages) {
  return [&messages](const std::string& text, DBMessageKind kind) {
    messages.emplace_back(text, kind);
  };
}

inline std::string SeedFolder() {
  return ORVALIS_SEED_FOLDER;
}
