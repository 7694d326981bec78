#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "nimbex/format/StrmFiles.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

TEST(InfoCommandTest, JsonListsTheHeaderLevelsAndAttributes) {
  ScratchFolder folder;
  const auto path = folder / "my site's scan.strm";
  WriteTestStream(path, MakeLatticeStream(1, 2, 0));
  CommandResult result = RunNimbex("info --json " + Quoted(path));
  ASSERT_EQ(result.status, 0) << result.out;
  for (const char* expected :
       {"\"version\": 103", "\"terrain\": false", "\"points\": 64", "\"depth\": 1",
        "\"offset\": [1000, 2000, 300]", "\"elevation_range\": [292, 308]",
        "\"levels\": [{\"depth\": 1, \"items\": 8, \"points\": 64}, {\"depth\": 0, \"items\": 1, "
        "\"points\": 8}]",
        "\"rgb\": true", "\"triangles\": false", "\"overviews\": true"})
    EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
}

TEST(InfoCommandTest, DamagedOrMissingStreamsGiveOneLineAndStatusOne) {
  ScratchFolder folder;
  const auto path = folder / "site.strm";
  CommandResult missing = RunNimbex("info " + Quoted(path));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("cannot open the stream file"), std::string::npos) << missing.out;

  WriteTestStream(path, MakeLatticeStream(1, 2, 0));
  std::filesystem::resize_file(GetStrmCompanionName(path, PCI_FILE), 300);
  CommandResult truncated = RunNimbex("info " + Quoted(path));
  EXPECT_EQ(truncated.status, 1);
  EXPECT_NE(truncated.out.find("truncated"), std::string::npos) << truncated.out;
  EXPECT_EQ(std::count(truncated.out.begin(), truncated.out.end(), '\n'), 1);
}

}  // namespace
