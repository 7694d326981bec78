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

}  // namespace
