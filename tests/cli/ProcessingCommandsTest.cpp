#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string>

#include "nimbex/format/StrmFiles.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

// The "class_points" array of `nimbex info --json`.
std::vector<int> ClassPoints(const fs::path& stream) {
  const std::string json = RunNimbex("info --json " + Quoted(stream)).out;
  const size_t start = json.find('[', json.find("\"class_points\""));
  std::istringstream values(json.substr(start + 1, json.find(']', start) - start - 1));
  std::vector<int> counts;
  for (std::string value; std::getline(values, value, ',');) counts.push_back(std::stoi(value));
  return counts;
}

// 64 points, 8 per cell of an octree of depth 1 over world x 992..1008, y 1992..2008,
// z 292..308, classes 0 to 3.
class ProcessingCommandsTest : public testing::Test {
 protected:
  void SetUp() override { WriteTestStream(m_Stream, MakeLatticeStream(1, 2, 0)); }
  ScratchFolder m_Folder;
  fs::path m_Stream = m_Folder / "site.strm";
};

TEST_F(ProcessingCommandsTest, ClassifyChangesTheBoxAndKeepsTheCountersWhole) {
  CommandResult boxed =
      RunNimbex("classify " + Quoted(m_Stream) + " --class 7 --box 1000 1008 2000 2008 300 308");
  ASSERT_EQ(boxed.status, 0) << boxed.out;
  EXPECT_NE(boxed.out.find("8 points changed to class 7"), std::string::npos) << boxed.out;
  std::vector<int> counts = ClassPoints(m_Stream);
  EXPECT_EQ(counts[7], 8);
  EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 64);

  CommandResult all = RunNimbex("classify " + Quoted(m_Stream) + " --class 7");
  EXPECT_NE(all.out.find("56 points changed"), std::string::npos) << all.out;
  EXPECT_EQ(ClassPoints(m_Stream)[7], 64);
  std::ifstream overview(GetStrmCompanionName(m_Stream, CLAOVW_FILE), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(overview), {}), std::string(8, '\x07'));

  CommandResult tooLarge = RunNimbex("classify " + Quoted(m_Stream) + " --class 256");
  EXPECT_EQ(tooLarge.status, 1);
  EXPECT_NE(tooLarge.out.find("0 to 255"), std::string::npos) << tooLarge.out;
  fs::remove(GetStrmCompanionName(m_Stream, CLA_FILE));
  CommandResult unclassified = RunNimbex("classify " + Quoted(m_Stream) + " --class 2");
  EXPECT_EQ(unclassified.status, 1);
  EXPECT_NE(unclassified.out.find("has no classes"), std::string::npos) << unclassified.out;
}

TEST_F(ProcessingCommandsTest, DsmWritesANewStreamAndNeverReplacesOne) {
  const fs::path surface = m_Folder / "surface.strm";
  // Files named like buffers of the new stream that the run does not write stay.
  for (const char* name : {"surface_99.buf", "surface_3.mybuf"})
    std::ofstream(m_Folder / name) << "mine";
  CommandResult made =
      RunNimbex("dsm " + Quoted(m_Stream) + " -o " + Quoted(surface) + " --pulses 0");
  ASSERT_EQ(made.status, 0) << made.out;
  // Per cell, the two points with i = j = 0 are single returns.
  EXPECT_NE(made.out.find("surface.strm: 16 points"), std::string::npos) << made.out;
  EXPECT_TRUE(fs::exists(m_Folder / "surface_99.buf") && fs::exists(m_Folder / "surface_3.mybuf"));

  CommandResult again =
      RunNimbex("dsm " + Quoted(m_Stream) + " -o " + Quoted(surface) + " --pulses all");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("give another name"), std::string::npos) << again.out;

  CommandResult fromSurface = RunNimbex("dsm " + Quoted(surface) + " -o " +
                                        Quoted(m_Folder / "second.strm") + " --pulses all");
  EXPECT_EQ(fromSurface.status, 1);
  EXPECT_NE(fromSurface.out.find("no pulse kinds"), std::string::npos) << fromSurface.out;

  CommandResult missing = RunNimbex("dsm " + Quoted(m_Folder / "none.strm") + " -o " +
                                    Quoted(m_Folder / "third.strm") + " --pulses 1");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("cannot open"), std::string::npos) << missing.out;
}

TEST_F(ProcessingCommandsTest, DsmOfATruncatedStreamFailsNamingTheDamagedFile) {
  const fs::path pulses = GetStrmCompanionName(m_Stream, PLS_FILE);
  fs::resize_file(pulses, fs::file_size(pulses) / 2);
  const auto entries = std::distance(fs::directory_iterator(m_Folder.Path()), {});
  CommandResult result = RunNimbex("dsm " + Quoted(m_Stream) + " -o " +
                                   Quoted(m_Folder / "surface.strm") + " --pulses all");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find(pulses.string()), std::string::npos) << result.out;
  EXPECT_EQ(std::distance(fs::directory_iterator(m_Folder.Path()), {}), entries);
}

}  // namespace
