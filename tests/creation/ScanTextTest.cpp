#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "nimbex/creation/ScanText.h"
#include "tests/creation/ScanFileTesting.h"

namespace {

namespace fs = std::filesystem;

class ScanTextTest : public scantesting::ScanFileTest {};

TEST_F(ScanTextTest, ListFilesGiveOnePathALine) {
  bool opened = false;
  size_t unusable = 0;
  fs::path list = Write("inputs.txt", "/data/a.las\r\n\n/data/b c.ptx\n" + std::string(5000, 'x') +
                                          "\n" + std::string("nul\0", 4) + "\n/data/last");
  EXPECT_EQ(ReadListFile(list.string(), opened, &unusable),
            std::vector<std::string>({"/data/a.las", "/data/b c.ptx", "/data/last"}));
  EXPECT_TRUE(opened);
  EXPECT_EQ(unusable, 2u);
  EXPECT_TRUE(ReadListFile((m_Folder / "missing.txt").string(), opened).empty());
  EXPECT_FALSE(opened);
}

// A number as strtod reads it in the "C" locale: its value and how many characters it takes.
struct CReading {
  double value;
  ptrdiff_t length;
};

std::vector<CReading> ReadWithStrtod(const std::vector<std::string>& numbers) {
  std::vector<CReading> readings;
  for (const std::string& number : numbers) {
    char* stop = nullptr;
    const double value = std::strtod(number.c_str(), &stop);
    readings.push_back({value, stop - number.c_str()});
  }
  return readings;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The text reader's conversion: where the number ends and its value, to the bit.
void ExpectParsedAs(const std::string& text, const CReading& reading) {
  double value = 0;
  auto [next, failure] = scantext::ParseDouble(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(failure, std::errc()) << text;
  EXPECT_EQ(next - text.data(), reading.length) << text;
  EXPECT_TRUE(SameBits(value, reading.value))
      << text << " read as " << value << ", not " << reading.value;
}

// Each number as the text reader and "%lf" for the readers of scanner exports (ScanFields)
// read it, followed by a further column.
void ExpectReadAs(const std::vector<std::string>& numbers, const std::vector<CReading>& readings) {
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::string line = numbers[i] + " -7";
    ExpectParsedAs(line, readings[i]);
    double values[2] = {0, 0};
    EXPECT_EQ(scantext::ScanFields({line.data(), line.data() + line.size()}, "fd", values), 2)
        << numbers[i];
    EXPECT_TRUE(SameBits(values[0], readings[i].value)) << numbers[i];
    EXPECT_EQ(values[1], -7) << "after " << numbers[i];
  }
}

TEST(ScanTextNumbers, ReadAsStrtodReadsThemInTheCLocaleWhateverTheLocale) {
  const std::vector<std::string>& numbers = scantesting::TrickyNumbers();
  const std::vector<CReading> readings = ReadWithStrtod(numbers);
  ExpectReadAs(numbers, readings);
  // Numbers end where strtod ends them; what cannot start one converts nothing.
  const std::vector<std::string> cutShort{"5.e", "1.5e+", "2e-x", "2x", "1.5.3", "-0e"};
  const std::vector<CReading> cutReadings = ReadWithStrtod(cutShort);
  for (size_t i = 0; i < cutShort.size(); ++i) ExpectParsedAs(cutShort[i], cutReadings[i]);
  double values[1];
  for (const std::string empty : {"+-1", ".", "-", "e5", ",5", "-.e1"})
    EXPECT_EQ(scantext::ScanFields({empty.data(), empty.data() + empty.size()}, "f", values), 0)
        << empty;

  COMMA_LOCALE_OR_SKIP(comma);
  ASSERT_EQ(std::strtod("1.5", nullptr), 1.0) << "the comma locale is not in force";
  SCOPED_TRACE("with a comma-decimal locale");
  ExpectReadAs(numbers, readings);
}

}  // namespace
