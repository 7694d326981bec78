// What the tests of the scan and model readers share: the sample files, and a scratch folder
// to write inputs into.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/StreamWriter.h"

namespace scantesting {

namespace fs = std::filesystem;

// The sample file `name` of ORVALIS_SAMPLE_DATA, or empty when there is none.
inline fs::path SampleFile(const std::string& name) {
  const char* folder = std::getenv("ORVALIS_SAMPLE_DATA");
  if (!folder || !*folder) return {};
  fs::path path = fs::path(folder) / name;
  return fs::is_regular_file(path) ? path : fs::path();
}

#define SAMPLE_OR_SKIP(variable, name)                     \
  const fs::path variable = scantesting::SampleFile(name); \
  if (variable.empty()) GTEST_SKIP() << "no sample file " << name

inline void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScanFileTest : public testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& text) {
    WriteText(m_Folder / name, text);
    return m_Folder / name;
  }

  ScratchFolder m_Folder;
};

}  // namespace scantesting
