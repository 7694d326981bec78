#include <cerrno>
#include <cmath>
#include <cstring>
#include <random>
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

// Decimals of every length the fast path takes and beyond, cut short by what may follow a number:
// separators, signs, a second point, an exponent, bytes of UTF-8 text.
TEST(ScanTextNumbers, RandomDecimalsReadAsStrtodReadsThem) {
  std::mt19937_64 random(13);
  const std::string followers = "/:.eE,;-+\x80\x89\x8a\xb9\xc3\xff";
  const auto digits = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += char('0' + random() % 10);
    return text;
  };
  for (int i = 0; i < 200000; ++i) {
    std::string text = std::string(random() % 3 == 0 ? "-" : "") + digits(random() % 13);
    if (random() % 4) text += "." + digits(random() % 12);
    for (int tail = random() % 10; tail > 0; --tail)
      text += random() % 3 ? char('0' + random() % 10) : followers[random() % followers.size()];
    char* stop = nullptr;
    errno = 0;
    const double expected = std::strtod(text.c_str(), &stop);
    if (stop == text.c_str() || errno == ERANGE) continue;  // not a number; out of range
    ExpectParsedAs(text, {expected, stop - text.c_str()});
    if (testing::Test::HasFailure()) break;
  }
}

}  // namespace
