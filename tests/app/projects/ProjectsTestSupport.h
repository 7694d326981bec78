// A private folder per test and a database that records the messages it reports.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
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

// A test with its own folder and a database seeded in it, whose messages it records.
class SeededDataBaseTest : public testing::Test {
 protected:
  SeededDataBaseTest() : db((home / "app").string(), SeedFolder(), RecordInto(messages)) {
    messages.clear();  // the seed copy
  }

  // A file standing for a stream at `relative` in the folder; returns its path.
  std::string WriteStream(const std::string& relative) {
    const std::filesystem::path path = home / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "stream";
    return path.string();
  }

  ScratchFolder home;
  Messages messages;
  CDataBaseSql db;
};

// The text as an older build stored it: in lower case.
inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
