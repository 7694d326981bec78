// nimbex render, run as a user runs it, under the virtual display the tests get.
#include <gtest/gtest.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPNGReader.h>
#include <vtkSmartPointer.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "nimbex/format/StrmFiles.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

// A render may differ from the stored picture by driver rounding and by the random mask
// sample, never by what is drawn where. Tolerance: a pixel counts as different when one of
// its channels is off by more than 48 levels; at most 2 % of the pixels may differ, and the
// mean channel difference must stay within 4 levels.
constexpr int kChannelTolerance = 48;
constexpr double kMaxDifferingShare = 0.02;
constexpr double kMaxMeanDifference = 4.0;

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

vtkSmartPointer<vtkImageData> ReadPng(const fs::path& path) {
  vtkNew<vtkPNGReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  return reader->GetOutput();
}

struct PictureDifference {
  double differingShare = 1.0;
  double meanDifference = 255.0;
};

PictureDifference Compare(vtkImageData* a, vtkImageData* b) {
  int da[3], db[3];
  a->GetDimensions(da);
  b->GetDimensions(db);
  if (da[0] != db[0] || da[1] != db[1] || a->GetNumberOfScalarComponents() < 3 ||
      b->GetNumberOfScalarComponents() < 3)
    return {};
  long long differing = 0;
  double total = 0;
  for (int y = 0; y < da[1]; ++y)
    for (int x = 0; x < da[0]; ++x) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(a->GetScalarComponentAsDouble(x, y, 0, c)) -
                               int(b->GetScalarComponentAsDouble(x, y, 0, c)));
        worst = std::max(worst, d);
        total += d;
      }
      differing += worst > kChannelTolerance;
    }
  const double pixels = double(da[0]) * da[1];
  return {differing / pixels, total / (3 * pixels)};
}

class RenderCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    m_Stream = m_Folder / "demo site's stream.strm";
    const fs::path las = m_Folder / "site.las";
    ASSERT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points 200000 --seed 3").status, 0);
    ASSERT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(m_Stream)).status, 0);
  }
  ScratchFolder m_Folder;
  fs::path m_Stream;
};

}  // namespace

TEST_F(RenderCommandTest, TopViewOfTheDemoSiteMatchesTheStoredPicture) {
  const fs::path picture = m_Folder / "top.png";
  const CommandResult result =
      RunNimbex("render " + Quoted(m_Stream) + " -o " + Quoted(picture) + " --size 320x240");
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("points drawn"), std::string::npos) << result.out;
  fs::copy_file(picture, fs::path(RENDER_TEST_OUTPUT_DIR) / "demo-site-top.png",
                fs::copy_options::overwrite_existing);

  const PictureDifference difference =
      Compare(ReadPng(picture), ReadPng(fs::path(RENDER_BASELINE_DIR) / "demo-site-top.png"));
  EXPECT_LE(difference.differingShare, kMaxDifferingShare);
  EXPECT_LE(difference.meanDifference, kMaxMeanDifference);
}

TEST_F(RenderCommandTest, HiddenClassesAndModesChangeThePicture) {
  const fs::path rgb = m_Folder / "rgb.png", classes = m_Folder / "classes.png",
                 hidden = m_Folder / "hidden.png";
  ASSERT_EQ(RunNimbex("render " + Quoted(m_Stream) + " -o " + Quoted(rgb) +
                      " --size 200x150 --mode rgb --view ne")
                .status,
            0);
  ASSERT_EQ(RunNimbex("render " + Quoted(m_Stream) + " -o " + Quoted(classes) +
                      " --size 200x150 --mode classes --view ne")
                .status,
            0);
  std::string everyClass;
  for (int c = 0; c < 10; ++c) everyClass += " --hide-class " + std::to_string(c);
  const CommandResult none = RunNimbex("render " + Quoted(m_Stream) + " -o " + Quoted(hidden) +
                                       " --size 200x150 --mode classes --view ne" + everyClass);
  ASSERT_EQ(none.status, 0) << none.out;
  EXPECT_NE(none.out.find(" 0 points drawn"), std::string::npos) << none.out;
  EXPECT_GT(Compare(ReadPng(rgb), ReadPng(classes)).differingShare, 0.05);
  EXPECT_GT(Compare(ReadPng(classes), ReadPng(hidden)).differingShare, 0.05);
}

// Looking at a stream writes nothing into it: neither the colour mode asked for one picture
// nor a point spacing computed while opening.
TEST_F(RenderCommandTest, InfoAndRenderLeaveTheStreamUntouched) {
  const fs::path pci = GetStrmCompanionName(m_Stream, PCI_FILE);
  const std::string before = ReadWholeFile(pci);
  const fs::file_time_type earlier = fs::last_write_time(pci) - std::chrono::hours(1);
  fs::last_write_time(pci, earlier);
  ASSERT_EQ(RunNimbex("info " + Quoted(m_Stream)).status, 0);
  for (const char* mode : {"user", "intensity"}) {
    const CommandResult result =
        RunNimbex("render " + Quoted(m_Stream) + " -o " + Quoted(m_Folder / "look.png") +
                  " --size 64x48 --mode " + mode);
    ASSERT_EQ(result.status, 0) << result.out;
  }
  EXPECT_TRUE(ReadWholeFile(pci) == before) << "the header was rewritten";
  EXPECT_EQ(fs::last_write_time(pci), earlier);
}

TEST(RenderCommand, AStreamThatCannotBeOpenedIsNamedAndNothingIsWritten) {
  ScratchFolder folder;
  const CommandResult result =
      RunNimbex("render " + Quoted(folder / "missing.strm") + " -o " + Quoted(folder / "x.png"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("missing.strm"), std::string::npos) << result.out;
  EXPECT_FALSE(fs::exists(folder / "x.png"));
}

TEST(RenderCommand, WithoutADisplayItSaysSoAndFails) {
  ScratchFolder folder;
  const std::string command = "env -u DISPLAY " + std::string(NIMBEX_COMMAND) +
                              " render x.strm -o " + Quoted(folder / "x.png") + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char chunk[512];
  while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1);
  EXPECT_NE(out.find("xvfb-run"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(folder / "x.png"));
}
