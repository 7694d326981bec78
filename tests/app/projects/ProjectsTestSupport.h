// A private folder per test and a database that records the messages it reports.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "DataBaseSql.h"
#include "tests/support/StreamWriter.h"

using Messages = std::vector<std::pair<std::string, DBMessageKind>>;

inline DBMessageCallback RecordInto(Messages& messages) {
  return [&messages](const std::string& text, DBMessageKind kind) {
    messages.emplace_back(text, kind);
  };
}

inline std::string SeedFolder() {
  return ORVALIS_SEED_FOLDER;
}
