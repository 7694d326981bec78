// What the tests of the scan and model readers share: the sample files, and a scratch folder
// to write inputs into.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// Decimal forms a point file may hold, with the traps of each: signs, a lone point on either
// side, negative zero, exponents, more digits than a double holds, ties, the range's limits.
inline const std::vector<std::string>& TrickyNumbers() {
  static const std::vector<std::string> numbers{"0.1",
                                                "-636083.37",
                                                "512000.040",
                                                "000123.4500",
                                                "255",
                                                "-0",
                                                "-0.0",
                                                "+0",
                                                ".5",
                                                "5.",
                                                "-.5",
                                                "+.5",
                                                "+2.5",
                                                "7.",
                                                "1e3",
                                                "1E3",
                                                "-1.5E-3",
                                                "4.35e-7",
                                                "+6.02e+23",
                                                "1e22",
                                                "1e23",
                                                "999999999999999",
                                                "123456789012345",
                                                "123456789012345.6",
                                                "9007199254740993",
                                                "0.12345678901234567",
                                                "943.18065809619673",
                                                "3.14159265358979323846264338327950288",
                                                "0.1000000000000000055511151231257827",
                                                "12345678901234567890123",
                                                "0.000000000000000000001",
                                                "2.2250738585072014e-308",
                                                "1.7976931348623157e308"};
  return numbers;
}

// The number as strtod reads it in the "C" locale; the process runs in it unless a test
// changes it.
inline double StrtodInC(const std::string& number) {
  return std::strtod(number.c_str(), nullptr);
}

// Sets LC_NUMERIC to a locale whose decimal separator is a comma for its lifetime, when the
// system has one (scripts/setup generates de_DE.UTF-8).
class CommaDecimalLocale {
 public:
  CommaDecimalLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
      if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
        m_Active = true;
        return;
      }
    std::setlocale(LC_NUMERIC, "C");
  }
  ~CommaDecimalLocale() { std::setlocale(LC_NUMERIC, "C"); }
  CommaDecimalLocale(const CommaDecimalLocale&) = delete;
  CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

  bool IsActive() const { return m_Active; }

 private:
  bool m_Active = false;
};

#define COMMA_LOCALE_OR_SKIP(variable)                                                   \
  scantesting::CommaDecimalLocale variable;                                              \
  if (!variable.IsActive())                                                              \
  GTEST_SKIP() << "no comma-decimal locale (de_DE.UTF-8) on this system: scripts/setup " \
                  "generates one"

class ScanFileTest : public testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::string& text) {
    WriteText(m_Folder / name, text);
    return m_Folder / name;
  }

  ScratchFolder m_Folder;
};

}  // namespace scantesting
