#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "nimbex/creation/LasWriter.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

TEST(BuildCommandTest, ADemoSiteBuildsIntoAStreamThatOpens) {
  ScratchFolder folder;
  const fs::path las = folder / "site.las";
  ASSERT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points 60000 --seed 3").status, 0);
  const fs::path stream = folder / "my site's stream.strm";
  CommandResult built = RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream));
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("60000 points"), std::string::npos) << built.out;

  CommandResult info = RunNimbex("info --json " + Quoted(stream));
  ASSERT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("\"points\": 60000"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"terrain\": true"), std::string::npos);
  EXPECT_NE(info.out.find("\"rgb\": true"), std::string::npos);
  EXPECT_NE(info.out.find("\"pulses\": true"), std::string::npos);

  // An existing stream is never replaced unasked.
  CommandResult again = RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream));
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("--overwrite"), std::string::npos) << again.out;
}

// 1,000 points of a plain x y z text file.
fs::path WriteXyz(const fs::path& path) {
  std::ofstream out(path);
  for (int i = 0; i < 1000; ++i) out << i % 10 << " " << i / 10 << " " << i % 7 << "\n";
  return path;
}

TEST(BuildCommandTest, OverwritingAStreamReplacesItsWholeFileSet) {
  ScratchFolder folder;
  const fs::path las = folder / "site.las";
  ASSERT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points 520000 --seed 5").status, 0);
  const fs::path stream = folder / "site.strm";
  ASSERT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream)).status, 0);
  ASSERT_TRUE(fs::exists(folder / "site.rgbovw"));

  const fs::path xyz = WriteXyz(folder / "plain.xyz");
  CommandResult replaced =
      RunNimbex("build " + Quoted(xyz) + " -o " + Quoted(stream) + " --overwrite");
  ASSERT_EQ(replaced.status, 0) << replaced.out;
  CommandResult info = RunNimbex("info --json " + Quoted(stream));
  EXPECT_NE(info.out.find("\"points\": 1000,"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"rgb\": false, \"intensity\": false, \"classes\": false, "
                          "\"pulses\": false, \"normals\": false, \"triangles\": false, "
                          "\"overviews\": false"),
            std::string::npos)
      << info.out;
  for (const char* stale :
       {"rgb", "rif", "cla", "pls", "ovw", "rgbovw", "rifovw", "claovw", "plsovw"})
    EXPECT_FALSE(fs::exists(fs::path(stream).replace_extension(stale))) << stale;
  EXPECT_TRUE(fs::exists(las));

  // A lone file of a stream's set is an old stream too: it is not replaced unasked.
  std::ofstream(folder / "other.rgb") << "colours of a stream whose other files are gone";
  CommandResult refused =
      RunNimbex("build " + Quoted(xyz) + " -o " + Quoted(folder / "other.strm"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("other.rgb"), std::string::npos) << refused.out;
}

// A LAS tile of four points in the 10 m square at (column, row).
void WriteTile(const fs::path& path, int column, int row) {
  const double scale[3] = {0.01, 0.01, 0.01}, offset[3] = {0, 0, 0};
  CLasWriter writer;
  ASSERT_TRUE(writer.Open(path.string(), 6, scale, offset)) << writer.GetError();
  for (int i = 0; i < 4; ++i) {
    LasPoint point;
    point.x = column * 10 + 2 * i;
    point.y = row * 10 + 9 - 2 * i;
    point.z = i;
    ASSERT_TRUE(writer.Write(point));
  }
  ASSERT_TRUE(writer.Close()) << writer.GetError();
}

// Makes room for two variable-length records before the points and claims both, but the
// first one's length runs past the point data: the reader warns and reads the points.
void ClaimVariableLengthRecordsThatDoNotFit(const fs::path& path) {
  std::vector<char> bytes(fs::file_size(path));
  std::ifstream(path, std::ios::binary).read(bytes.data(), bytes.size());
  uint32_t pointOffset;
  std::memcpy(&pointOffset, bytes.data() + 96, 4);
  bytes.insert(bytes.begin() + pointOffset, 108, 0);
  pointOffset += 108;
  const uint32_t claimed = 2;
  const uint16_t recordLength = 100;
  std::memcpy(bytes.data() + 96, &pointOffset, 4);
  std::memcpy(bytes.data() + 100, &claimed, 4);
  std::memcpy(bytes.data() + pointOffset - 108 + 20, &recordLength, 2);
  std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

TEST(BuildCommandTest, ThousandsOfTilesBuildUnderTheUsualDescriptorLimitNamingTheirDamage) {
  ScratchFolder folder;
  std::string tiles;
  for (int t = 0; t < 1500; ++t) {
    const std::string name = "t" + std::to_string(t) + ".las";
    WriteTile(folder / name, t % 50, t / 50);
    tiles += " " + name;
  }
  fs::resize_file(folder / "t7.las", fs::file_size(folder / "t7.las") - 10);
  ClaimVariableLengthRecordsThatDoNotFit(folder / "t1234.las");

  CommandResult built = RunNimbex("build" + tiles + " -o tiles.strm",
                                  "cd " + Quoted(folder.Path()) + " && ulimit -n 1024 && ");
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("5999 points"), std::string::npos) << built.out;
  EXPECT_NE(built.out.find("t7.las: the header claims 4 points but the file holds 3"),
            std::string::npos)
      << built.out;
  EXPECT_NE(built.out.find("t1234.las: the header claims 2 variable-length records"),
            std::string::npos)
      << built.out;
  CommandResult info = RunNimbex("info --json " + Quoted(folder / "tiles.strm"));
  EXPECT_NE(info.out.find("\"points\": 5999,"), std::string::npos) << info.out;
}

TEST(BuildCommandTest, ALowLimitOfOpenFilesKeepsEveryPoint) {
  ScratchFolder folder;
  const fs::path text = folder / "lattice.txt";
  {
    // 16 cells of 4 buffers each, visited row after row.
    std::ofstream out(text);
    for (int i = 0; i < 500000; ++i)
      out << i % 1000 << " " << i / 1000 << " " << i % 7 << " " << i % 100 << " 10 20 30 " << i % 3
          << "\n";
  }
  const fs::path stream = folder / "lattice.strm";
  CommandResult built =
      RunNimbex("build " + Quoted(text) + " --parse xyzirgbc --terrain -o " + Quoted(stream),
                "ulimit -n 64 && ");
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("500000 points"), std::string::npos) << built.out;
  for (const auto& entry : fs::directory_iterator(folder.Path()))
    EXPECT_EQ(entry.path().extension().string().find("buf"), std::string::npos) << entry.path();
}

// Starts the command without waiting for it; both its outputs go to `log`.
pid_t StartNimbex(const std::vector<std::string>& arguments, const fs::path& log) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, 1);
  dup2(out, 2);
  std::vector<char*> argv{const_cast<char*>(NIMBEX_COMMAND)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(NIMBEX_COMMAND, argv.data());
  _exit(127);
}

// The build's log says that gridding has begun.
bool Grids(const fs::path& log) {
  std::string said;
  std::getline(std::ifstream(log), said, '\0');
  return said.find("Populating final grid") != std::string::npos;
}

TEST(BuildCommandTest, AnInterruptedBuildRemovesWhatItWrote) {
  ScratchFolder folder, outputs;
  const fs::path las = folder / "site.las";
  ASSERT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points 3000000 --seed 2").status, 0);
  for (int signalNumber : {SIGINT, SIGTERM}) {
    const fs::path log = outputs / "build.txt";
    fs::remove(folder / "site.log");
    const pid_t pid =
        StartNimbex({"build", las.string(), "-o", (folder / "site.strm").string()}, log);
    ASSERT_GT(pid, 0);
    // Interrupted while it grids.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Grids(folder / "site.log") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, signalNumber);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber);
    std::string said;
    std::getline(std::ifstream(log), said, '\0');
    EXPECT_NE(said.find("interrupted; nothing of"), std::string::npos) << said;
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
      left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"site.las", "site.log"}));
  }
}

TEST(BuildCommandTest, TextAndBadInputsAreHandled) {
  ScratchFolder folder;
  const fs::path text = folder / "points.xyz";
  {
    std::ofstream out(text);
    out << "X,Y,Z\r\n";
    for (int i = 0; i < 1000; ++i) out << i % 10 << "," << i / 10 << "," << i % 7 << "\r\n";
  }
  CommandResult built = RunNimbex("build " + Quoted(text) + " -o " + Quoted(folder / "t.strm"));
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("1000 points"), std::string::npos) << built.out;
  EXPECT_NE(built.out.find("1 input lines are not points"), std::string::npos) << built.out;
  EXPECT_NE(RunNimbex("info --json " + Quoted(folder / "t.strm")).out.find("\"terrain\": false"),
            std::string::npos);

  const fs::path unknown = folder / "points.dat";
  fs::copy_file(text, unknown);
  CommandResult refused =
      RunNimbex("build " + Quoted(unknown) + " -o " + Quoted(folder / "u.strm"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("--format"), std::string::npos) << refused.out;

  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  if (!data) return;
  // Scans and models are found by their extension and built after a bounds pass.
  for (const char* sample :
       {"ptx/pdal_1.2-with-color.ptx", "pts/pdal_test.pts", "vtp/vtkdata_Bunny.vtp"}) {
    const fs::path input = fs::path(data) / sample;
    if (!fs::exists(input)) continue;
    const fs::path output = folder / (input.filename().string() + ".strm");
    CommandResult scan = RunNimbex("build " + Quoted(input) + " -o " + Quoted(output));
    EXPECT_EQ(scan.status, 0) << sample << ": " << scan.out;
    EXPECT_EQ(RunNimbex("info " + Quoted(output)).status, 0) << sample;
  }
  const fs::path laz = fs::path(data) / "las" / "laspy_simple.laz";
  if (!fs::exists(laz)) return;
  CommandResult compressed = RunNimbex("build " + Quoted(laz) + " -o " + Quoted(folder / "z.strm"));
  EXPECT_EQ(compressed.status, 1);
  EXPECT_NE(compressed.out.find("LAZ"), std::string::npos) << compressed.out;
  EXPECT_EQ(std::count(compressed.out.begin(), compressed.out.end(), '\n'), 1) << compressed.out;
}

// A damaged input is named with where reading stopped and fails the command; the stream
// keeps what could be read.
TEST(BuildCommandTest, DamagedInputsAreNamedAndFailTheCommand) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path ptx = data ? fs::path(data) / "ptx" / "pdal_1.2-with-color.ptx" : fs::path();
  const fs::path vtp = data ? fs::path(data) / "vtp" / "vtkdata_Bunny.vtp" : fs::path();
  const fs::path pts = data ? fs::path(data) / "pts" / "pdal_bunny_8.pts" : fs::path();
  if (!fs::exists(ptx) || !fs::exists(vtp) || !fs::exists(pts)) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  auto head = [](const fs::path& path, size_t bytes, const fs::path& copy) {
    std::ifstream in(path, std::ios::binary);
    std::string text(bytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(bytes));
    std::ofstream(copy, std::ios::binary) << text;
  };
  // Cut inside the 16th point line (line 26): two of its numbers are left.
  const fs::path cut = folder / "cut.ptx";
  head(ptx, 958, cut);
  const fs::path scan = folder / "cut.strm";
  CommandResult built = RunNimbex("build " + Quoted(cut) + " -o " + Quoted(scan));
  EXPECT_EQ(built.status, 1) << built.out;
  EXPECT_NE(built.out.find("cut.ptx: line 26"), std::string::npos) << built.out;
  EXPECT_NE(RunNimbex("info --json " + Quoted(scan)).out.find("\"points\": 15"), std::string::npos);

  const fs::path half = folder / "half.vtp";
  head(vtp, fs::file_size(vtp) / 2, half);
  built = RunNimbex("build " + Quoted(half) + " -o " + Quoted(folder / "half.strm"));
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.out.find("half.vtp"), std::string::npos) << built.out;
  EXPECT_NE(built.out.find("damaged"), std::string::npos) << built.out;

  built = RunNimbex("build " + Quoted(pts) + " -o " + Quoted(folder / "bunny.strm"));
  EXPECT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find(": 9 points"), std::string::npos) << built.out;
}

// Without --parse, text columns follow the names of the first line, and the command says which
// columns it reads.
TEST(BuildCommandTest, TextColumnsFollowTheNamesOfTheFirstLine) {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  const fs::path named = data ? fs::path(data) / "xyz" / "pdal_autzen-point-format-3.txt" : "";
  const fs::path bare = data ? fs::path(data) / "xyz" / "pdal_missingheader.txt" : "";
  if (!fs::exists(named) || !fs::exists(bare)) GTEST_SKIP() << "no sample data";
  ScratchFolder folder;
  const fs::path stream = folder / "autzen.strm";
  CommandResult built = RunNimbex("build " + Quoted(named) + " -o " + Quoted(stream));
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("--parse rgxybz"), std::string::npos) << built.out;
  const std::string info = RunNimbex("info --json " + Quoted(stream)).out;
  EXPECT_NE(info.find("\"rgb\": true"), std::string::npos) << info;
  // The Autzen points lie 407 to 537 m high: read as x y z, z would be an easting.
  const size_t range = info.find("\"elevation_range\": [");
  ASSERT_NE(range, std::string::npos) << info;
  const double lowest = std::atof(info.c_str() + range + 20);
  EXPECT_GT(lowest, 400);
  EXPECT_LT(lowest, 410);

  built = RunNimbex("build " + Quoted(bare) + " -o " + Quoted(folder / "bare.strm"));
  ASSERT_EQ(built.status, 0) << built.out;
  EXPECT_NE(built.out.find("--parse xyz"), std::string::npos) << built.out;

  built = RunNimbex("build " + Quoted(named) + " " + Quoted(bare) + " -o " +
                    Quoted(folder / "both.strm"));
  EXPECT_EQ(built.status, 1);
  EXPECT_NE(built.out.find("give --parse"), std::string::npos) << built.out;
}

}  // namespace
