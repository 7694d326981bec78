#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "nimbex/format/StrmFiles.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

size_t BuffersIn(const fs::path& folder) {
  size_t buffers = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    buffers += extension.size() > 3 && extension.compare(extension.size() - 3, 3, "buf") == 0;
  }
  return buffers;
}

// An octree of depth 1 whose eight cells (side 8) hold a lattice of 4 x 4 x 4 points, 2 apart.
// Cleaning with 2.5 keeps a checkerboard: lattice neighbours merge, diagonal ones (2.83 apart)
// do not.
class FilterCommandsTest : public testing::Test {
 protected:
  void SetUp() override { WriteTestStream(m_Stream, MakeLatticeStream(1, 4, 0)); }
  std::string Command(const char* name, const char* output, const char* options = "") const {
    return std::string(name) + " " + Quoted(m_Stream) + " -o " + Quoted(m_Folder / output) + " " +
           options;
  }
  ScratchFolder m_Folder;
  fs::path m_Stream = m_Folder / "site.strm";
};

TEST_F(FilterCommandsTest, CleanWritesAThinnerStreamAndNeverReplacesOne) {
  CommandResult cleaned = RunNimbex(Command("clean", "thin.strm", "--radius 2.5"));
  ASSERT_EQ(cleaned.status, 0) << cleaned.out;
  EXPECT_NE(cleaned.out.find("thin.strm: 256 points kept of 512"), std::string::npos)
      << cleaned.out;

  const auto size = fs::file_size(m_Folder / "thin.strm");
  CommandResult again = RunNimbex(Command("clean", "thin.strm"));
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("exists already"), std::string::npos) << again.out;
  EXPECT_EQ(fs::file_size(m_Folder / "thin.strm"), size);

  CommandResult negative = RunNimbex(Command("clean", "other.strm", "--radius -0.5"));
  EXPECT_EQ(negative.status, 1);
  EXPECT_NE(negative.out.find("radius must be 0 or more"), std::string::npos) << negative.out;
  EXPECT_FALSE(fs::exists(m_Folder / "other.pci"));
}

TEST_F(FilterCommandsTest, MeshWritesATriangleStreamOrSaysWhyNot) {
  CommandResult meshed = RunNimbex(Command("mesh", "mesh.strm"));
  ASSERT_EQ(meshed.status, 0) << meshed.out;
  EXPECT_NE(meshed.out.find(" triangles"), std::string::npos) << meshed.out;
  EXPECT_TRUE(fs::exists(m_Folder / "mesh.tri"));

  WriteTestStream(m_Stream, MakeLatticeStream(1, 2, 0));  // 8 points a cell: too few
  CommandResult few = RunNimbex(Command("mesh", "few.strm"));
  EXPECT_EQ(few.status, 1);
  EXPECT_NE(few.out.find("no item"), std::string::npos) << few.out;
  EXPECT_FALSE(fs::exists(m_Folder / "few.pci"));
}

// A stream whose points file was cut short is not thinned into a smaller one.
TEST_F(FilterCommandsTest, ATruncatedStreamFailsNamingTheDamagedFile) {
  fs::resize_file(m_Stream, fs::file_size(m_Stream) / 2);
  const auto entries = std::distance(fs::directory_iterator(m_Folder.Path()), {});
  for (const char* command : {"clean", "mesh"}) {
    CommandResult result = RunNimbex(Command(command, "new.strm"));
    EXPECT_EQ(result.status, 1) << command;
    EXPECT_NE(result.out.find(m_Stream.string()), std::string::npos) << result.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(m_Folder.Path()), {}), entries) << result.out;
  }
}

// Item buffers are named after the output's stem: a run removes only those it wrote, and
// refuses to start where one would overwrite a file it did not write.
TEST_F(FilterCommandsTest, RunsRemoveOnlyTheBuffersTheyWrote) {
  const std::vector<std::string> foreign = {"thin_99.buf", "thin_3.mybuf", "mesh_99.buf",
                                            "mesh_3.mybuf"};
  for (const std::string& name : foreign) std::ofstream(m_Folder / name) << "mine";
  ASSERT_EQ(RunNimbex(Command("clean", "thin.strm", "--radius 2.5")).status, 0);
  ASSERT_EQ(RunNimbex(Command("mesh", "mesh.strm")).status, 0);
  for (const std::string& name : foreign) EXPECT_TRUE(fs::exists(m_Folder / name)) << name;
  EXPECT_EQ(BuffersIn(m_Folder.Path()), foreign.size()) << "the runs' own buffers are gone";

  std::ofstream(m_Folder / "taken_5.buf") << "mine";
  CommandResult refused = RunNimbex(Command("clean", "taken.strm"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("taken_5.buf"), std::string::npos) << refused.out;
  EXPECT_FALSE(fs::exists(m_Folder / "taken.pci"));
  std::string kept;
  std::ifstream(m_Folder / "taken_5.buf") >> kept;
  EXPECT_EQ(kept, "mine");
}

}  // namespace
