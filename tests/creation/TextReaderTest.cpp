#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "nimbex/creation/GeoTransform.h"
#include "nimbex/creation/TextReader.h"
#include "tests/creation/ScanFileTesting.h"
#include "tests/support/StreamWriter.h"

namespace {

using Values = std::vector<double>;

struct Pass {
  std::vector<int> results;  // SP_VALID or SP_SKIP, one per data line
  std::vector<SPoint> points;
};

Pass ReadPass(SPreader& reader) {
  Pass pass;
  SPoint point;
  for (int result; (result = reader.Read(point)) != SP_END;) {
    pass.results.push_back(result);
    if (result == SP_VALID) pass.points.push_back(point);
  }
  return pass;
}

// x, y, z, intensity, red, green, blue and class, to compare a point in one go.
Values Fields(const SPoint& p) {
  return {p.x,
          p.y,
          p.z,
          p.intensity,
          double(p.rgb[0]),
          double(p.rgb[1]),
          double(p.rgb[2]),
          double(p.classification)};
}

using scantesting::SampleFile;
using scantesting::WriteText;

class TextReaderTest : public testing::Test {
 protected:
  std::unique_ptr<CTextReader> Open(const std::string& text, const std::string& parseString) {
    WriteText(m_Path, text);
    return CTextReader::Open(m_Path, parseString, m_Error);
  }

  ScratchFolder m_Folder;
  std::filesystem::path m_Path = m_Folder / "points.txt";
  std::string m_Error;
};

TEST_F(TextReaderTest, ParseStringNamesTheColumnsWhateverTheSeparatorsAndLineEnds) {
  auto reader =
      Open("1.5,2.5;3.5\t7   200,,300 400 5\r\n\r\n \t\n,;\n  +4 -5e2 6.25 0.5 0 0 0 255 extra",
           "xyzirgbc");
  ASSERT_TRUE(reader) << m_Error;
  EXPECT_EQ(reader->GetPointCount(), 2);
  Pass pass = ReadPass(*reader);
  ASSERT_EQ(pass.results, std::vector<int>(2, SP_VALID));
  EXPECT_EQ(Fields(pass.points[0]), Values({1.5, 2.5, 3.5, 7, 200, 300, 400, 5}));
  EXPECT_EQ(Fields(pass.points[1]), Values({4, -500, 6.25, 0.5, 0, 0, 0, 255}));

  reader = Open("9 ignored 1 2\n", "X-s-Y-z");
  ASSERT_TRUE(reader) << m_Error;
  EXPECT_EQ(Fields(ReadPass(*reader).points.at(0)), Values({9, 1, 2, 0, 0, 0, 0, 0}));
  reader = Open("0 0 0 -5 12.6 70000\n", "xyzrgb");  // colours brought into 0..65535
  ASSERT_TRUE(reader) << m_Error;
  EXPECT_EQ(Fields(ReadPass(*reader).points.at(0)), Values({0, 0, 0, 0, 0, 13, 65535, 0}));
}

TEST_F(TextReaderTest, ReadsNumbersExactlyWhateverTheirFormAndTheLocale) {
  const std::vector<std::string>& numbers = scantesting::TrickyNumbers();
  std::string text;
  for (const std::string& number : numbers) text += number + " 0 0\n";
  const auto expectAsStrtodInC = [&](const Pass& pass) {
    ASSERT_EQ(pass.points.size(), numbers.size());
    for (size_t i = 0; i < numbers.size(); ++i) {
      const double expected = scantesting::StrtodInC(numbers[i]);
      EXPECT_EQ(pass.points[i].x, expected) << numbers[i];
      EXPECT_EQ(std::signbit(pass.points[i].x), std::signbit(expected)) << numbers[i];
    }
  };
  auto reader = Open(text, "xyz");
  ASSERT_TRUE(reader) << m_Error;
  expectAsStrtodInC(ReadPass(*reader));

  COMMA_LOCALE_OR_SKIP(comma);
  reader = Open(text, "xyz");
  ASSERT_TRUE(reader) << m_Error;
  const Pass pass = ReadPass(*reader);
  std::setlocale(LC_NUMERIC, "C");
  expectAsStrtodInC(pass);
}

TEST_F(TextReaderTest, SkipsAndCountsEveryLineThatHoldsNoPoint) {
  auto reader = Open(
      "X,Y,Z,C,I\n"
      "1 2 3 4\n"        // too few columns
      "1 2 abc 4 0\n"    // not a number
      "1 2 3abc 4 0\n"   // trailing junk
      "nan 2 3 4 0\n"    // not finite
      "1 1e999 3 4 0\n"  // out of range
      "1 2 3 256 0\n"    // class beyond 255
      "1 2 3 2.5 0\n"    // class not whole
      "1 2 3 -1 0\n"     // class negative
      "1 2 3 4 1e300\n"  // intensity beyond a float
      "1 2 3 4 -2.5\n"
      "1 2 3 0 0\n",
      "xyzci");
  ASSERT_TRUE(reader) << m_Error;
  EXPECT_EQ(reader->GetPointCount(), 12);
  Pass pass = ReadPass(*reader);
  std::vector<int> expected(10, SP_SKIP);
  expected.insert(expected.end(), {SP_VALID, SP_VALID});
  EXPECT_EQ(pass.results, expected);
  EXPECT_EQ(pass.points[0].intensity, -2.5f);
  EXPECT_EQ(reader->GetSkippedCount(), 10);
}

TEST_F(TextReaderTest, SkipsLinesTooLongToHoldAndReadsOn) {
  const std::string fits = "1 2 3" + std::string(CTextReader::kBlockSize - 6, ' ');
  const std::string tooLong = fits + " ";
  auto reader = Open("1 2 3\n" + std::string(3 << 20, '7') + "\n4 5 6\n" + fits + "\n" + tooLong +
                         "\n7 8 9\n" + tooLong + " ",
                     "xyz");
  ASSERT_TRUE(reader) << m_Error;
  EXPECT_EQ(reader->GetPointCount(), 7);
  Pass pass = ReadPass(*reader);
  EXPECT_EQ(pass.results,
            std::vector<int>({SP_VALID, SP_SKIP, SP_VALID, SP_VALID, SP_SKIP, SP_VALID, SP_SKIP}));
  EXPECT_EQ(pass.points[1].x, 4);
  EXPECT_EQ(pass.points[3].x, 7);
}

TEST_F(TextReaderTest, ScanFindsTheBoxAndCountThenStartsAgain) {
  auto reader = Open("X Y Z\n1 -2 30\n-4 5 6\n2 0 -7\n", "xyz");
  ASSERT_TRUE(reader) << m_Error;
  double bounds[6];
  int64_t count = 0;
  ASSERT_TRUE(reader->Scan(bounds, count, nullptr, nullptr));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Values(bounds, bounds + 6), Values({-4, 2, -2, 5, -7, 30}));
  EXPECT_FALSE(reader->GetHeaderBounds(bounds));
  Pass pass = ReadPass(*reader);
  ASSERT_EQ(pass.points.size(), 3u);
  EXPECT_EQ(pass.points[0].z, 30);
  EXPECT_EQ(reader->GetSkippedCount(), 1);  // the header line, once for both passes

  reader = Open("X Y Z\n", "xyz");
  ASSERT_TRUE(reader) << m_Error;
  ASSERT_TRUE(reader->Scan(bounds, count, nullptr, nullptr));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Values(bounds, bounds + 6), Values(6, 0.0));
}

TEST_F(TextReaderTest, ScanPumpsAndStopsWhenCancelled) {
  std::string text;
  for (int64_t line = 0; line <= CTextReader::kLinesPerPump; ++line) text += "1 2 3\n";
  auto reader = Open(text, "xyz");
  ASSERT_TRUE(reader) << m_Error;
  double bounds[6];
  int64_t count = 0;
  int pumps = 0, cancel = 0;
  ASSERT_TRUE(reader->Scan(
      bounds, count, [&] { ++pumps; }, &cancel));
  EXPECT_EQ(count, CTextReader::kLinesPerPump + 1);
  EXPECT_EQ(pumps, 1);

  EXPECT_FALSE(reader->Scan(
      bounds, count, [&] { cancel = 1; }, &cancel));
  EXPECT_TRUE(reader->GetError().empty());
  SPoint point;
  EXPECT_EQ(reader->Read(point), SP_VALID);
  EXPECT_FALSE(reader->Scan(
      bounds, count, [&] { ++pumps; }, &cancel));
  EXPECT_EQ(pumps, 1);
}

TEST_F(TextReaderTest, RefusesWhatItCannotReadWithTheReason) {
  auto expectRefusal = [&](const std::filesystem::path& path, const std::string& parseString,
                           const std::string& reason) {
    m_Error.clear();
    EXPECT_FALSE(CTextReader::Open(path, parseString, m_Error));
    EXPECT_NE(m_Error.find(path.string()), std::string::npos) << m_Error;
    EXPECT_NE(m_Error.find(reason), std::string::npos) << m_Error;
  };
  WriteText(m_Path, "1 2 3\n");
  expectRefusal(m_Folder / "missing.txt", "xyz", "No such file");
  expectRefusal(m_Path, "xy", "lacks 'z'");
  expectRefusal(m_Path, "", "lacks 'x'");
  expectRefusal(m_Path, "xyzq", "unknown letter 'q'");
  expectRefusal(m_Path, "xyzX", "'x' twice");
  expectRefusal(m_Folder.Path(), "xyz", "not a regular file");
}

struct SampleCase {
  const char* file;
  const char* parseString;
  int64_t points, skipped;
  Values last;         // the first fields of the last point
  const char* header;  // the parse string the first line names
};

TEST(TextSampleFiles, ReadRealTextAndPtsFiles) {
  const SampleCase cases[] = {
      {"xyz/pdal_utm17_1.txt", "xyz", 10, 1, {289818.50, 4320980.59, 170.58}, "xyz"},
      {"xyz/pdal_crlf_test.txt", "xyzi", 10, 1, {289818.50, 4320980.59, 170.58, 9}, "xyzi"},
      {"xyz/vtkdata_sparsePoints.txt", "xyzi", 16, 1, {15, 35, 9.287406489, 6.1f}, "xyz"},
      {"xyz/pdal_data.xyz", "xyz", 400, 0, {441890, 3750150, 107}, ""},
      {"xyz/pdal_missingheader.txt", "xyz", 5, 0, {5, 5, 5}, ""},
      {"xyz/vtkdata_points3d.txt", "xyz", 4659, 0, {55, 59, 54}, ""},
      {"xyz/pdal_autzen-point-format-3.txt",
       "rgxybz",
       106,
       1,
       {637857.41, 853213.98, 424.87},
       "rgxybz"},
      {"pts/pdal_autzen.pts",
       "xyzirgb",
       10,
       1,
       {636125.87999, 848971.060013, 428.050003, -698},
       ""},
      {"pts/pdal_bunny_8.pts", "xyz", 9, 1, {-0.025508, 0.112568, 0.036676}, ""},
      {"pts/pdal_test.pts", "xyzirgb", 19, 1, {-19.501053, -24.533554, -1.533951, -1307}, ""},
  };
  for (const SampleCase& sample : cases) {
    SCOPED_TRACE(sample.file);
    const auto path = SampleFile(sample.file);
    if (path.empty()) GTEST_SKIP() << "ORVALIS_SAMPLE_DATA does not hold " << sample.file;
    std::string error;
    auto reader = OpenPointReader(path, "text", sample.parseString, error);
    ASSERT_TRUE(reader) << error;
    double bounds[6];
    int64_t count = 0;
    ASSERT_TRUE(reader->Scan(bounds, count, nullptr, nullptr)) << reader->GetError();
    EXPECT_EQ(count, sample.points);
    EXPECT_EQ(reader->GetPointCount(), sample.points + sample.skipped);
    Pass pass = ReadPass(*reader);
    ASSERT_EQ(int64_t(pass.points.size()), sample.points);
    EXPECT_EQ(reader->GetSkippedCount(), sample.skipped);
    const Values last = Fields(pass.points.back());
    EXPECT_EQ(Values(last.begin(), last.begin() + sample.last.size()), sample.last);
    EXPECT_EQ(CTextReader::ParseStringFromHeader(path), sample.header);
  }
}

TEST_F(TextReaderTest, AFirstLineOfNamesGivesTheParseString) {
  const std::pair<const char*, const char*> lines[] = {
      {"\"Red\",\"Green\",\"X\",\"Y\",\"Blue\",\"Z\"\r\n1,2,3,4,5,6\n", "rgxybz"},
      {"\xEF\xBB\xBFx;y;z;CLASSIFICATION\n", "xyzc"},
      {"'Point Source' X Y Z Intensity GpsTime\n", "sxyzi"},  // quoted blanks; trailing skipped
      {"X,Y\n", ""},                                          // no z
      {"X,X,Y,Z\n", ""},                                      // x twice
      {"X,Y,Z,1\n", ""},                                      // a number: data
      {"", ""},
  };
  for (const auto& [text, parse] : lines) {
    WriteText(m_Path, text);
    EXPECT_EQ(CTextReader::ParseStringFromHeader(m_Path), parse) << text;
  }
}

TEST(OpenPointReader, ChoosesTheReaderByFormat) {
  ScratchFolder folder;
  WriteText(folder / "points.txt", "1 2 3\n");
  std::string error;
  auto reader = OpenPointReader(folder / "points.txt", "TEXT", "xyz", error);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(reader->GetPointCount(), 1);

  EXPECT_FALSE(OpenPointReader(folder / "points.txt", "ply", "xyz", error));
  EXPECT_EQ(error, "unknown point file format 'ply' (use las or text)");
  EXPECT_FALSE(OpenPointReader(folder / "points.txt", "las", "", error));
  EXPECT_FALSE(error.empty());

  const auto las = SampleFile("las/laspy_simple.las");
  if (las.empty()) GTEST_SKIP() << "ORVALIS_SAMPLE_DATA does not hold las/laspy_simple.las";
  reader = OpenPointReader(las, "Las", "", error);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(reader->GetPointCount(), 1065);
}

TEST(GeoTransform, ProjectsLongitudeLatitudeToUtmAndRefusesWhatItCannot) {
  std::string error;
  auto zone10 = CGeoTransform::Create(10, error);
  ASSERT_TRUE(zone10) << error;
  const Values cases[][2] = {{{-123, 45, 12.5}, {500000, 4982950.400, 12.5}},
                             {{-122, 45, 0}, {578815.303, 4983436.768, 0}}};
  for (const auto& [lonLat, utm] : cases) {
    double x = lonLat[0], y = lonLat[1], z = lonLat[2];
    ASSERT_TRUE(zone10->Transform(x, y, z));
    EXPECT_NEAR(x, utm[0], 1e-3);
    EXPECT_NEAR(y, utm[1], 1e-3);
    EXPECT_EQ(z, utm[2]);
  }
  // Beyond the pole, and 90 degrees from the zone's central meridian on the equator: the
  // coordinates stay as they were.
  for (const Values& lonLat : {Values{-123, 95}, Values{-33, 0}}) {
    double x = lonLat[0], y = lonLat[1], z = 1;
    EXPECT_FALSE(zone10->Transform(x, y, z));
    EXPECT_EQ(Values({x, y, z}), Values({lonLat[0], lonLat[1], 1}));
  }
  for (int zone : {0, 61, -10}) {
    EXPECT_FALSE(CGeoTransform::Create(zone, error));
    EXPECT_NE(error.find("from 1 to 60"), std::string::npos) << error;
  }
}

}  // namespace
