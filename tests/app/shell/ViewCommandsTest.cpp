#include <gtest/gtest.h>

#include "app/projects/OrvalisDoc.h"
#include "app/shell/ViewCommands.h"
#include "nimbex/access/Nimbex.h"
#include "tests/support/StreamWriter.h"

TEST(ViewCommands, ColourModesWrapAroundBothWays) {
  EXPECT_EQ(NextColourMode(6), 0);
  EXPECT_EQ(PreviousColourMode(0), 6);
  EXPECT_EQ(NextColourMode(2), 3);
  EXPECT_EQ(PreviousColourMode(3), 2);
}

TEST(ViewCommands, PointSizeNeverGoesBelowOne) {
  EXPECT_EQ(SteppedPointSize(1, -1), 1);
  EXPECT_EQ(SteppedPointSize(2, -1), 1);
  EXPECT_EQ(SteppedPointSize(9, +1), 10);
}

TEST(ViewCommands, StatusTextsAsShown) {
  EXPECT_EQ(FormatLoadedPointsStatus(1200, 5000, 2, 5),
            "Loaded points: 1200/5000 | Current point size: 2 (left-right arrows) | "
            "Representation: UserDefined (up-down arrows)");
  const double point[3] = {612345.678, 4987654.321, 12.005};
  EXPECT_EQ(FormatCursorCoordinates(point), "612345.68, 4987654.32, 12.01");
  EXPECT_EQ(FormatCursorCoordinates(nullptr), "No value");
}

TEST(ViewCommands, LayoutsGiveTheirColumnWidths) {
  const LayoutWidths standard = GetLayoutWidths(LAYOUT_STANDARD, 1000);
  EXPECT_EQ(standard.images, 223);
  EXPECT_EQ(standard.view, 1043);
  EXPECT_EQ(standard.drawing, 0);
  const LayoutWidths streaming = GetLayoutWidths(LAYOUT_STREAMING, 1000);
  EXPECT_EQ(streaming.images, 0);
  EXPECT_EQ(streaming.view, 1000);
  EXPECT_EQ(streaming.drawing, 0);
  const LayoutWidths drawing = GetLayoutWidths(LAYOUT_DRAWING, 1000);
  EXPECT_EQ(drawing.view, 333);
  EXPECT_EQ(drawing.drawing, 666);
  EXPECT_EQ(GetProgressControlWidth(1400), 400);
  EXPECT_EQ(GetProgressControlWidth(800), 0);
}

TEST(ViewCommands, ANewStreamStartsInTheColourModeThatSuitsIt) {
  ScratchFolder folder;
  auto modeOf = [&folder](bool tri, bool rgb, bool rif) {
    TestStream stream = MakeLatticeStream(0, 3, 0);
    stream.tri = tri;
    stream.rgb = rgb;
    stream.rif = rif;
    if (tri) stream.items[0].triangles = {{0, 1, 2}};
    static int count = 0;
    const std::string path = (folder / ("stream" + std::to_string(++count) + ".strm")).string();
    WriteTestStream(path, stream);
    CNimbex cloud(path.c_str());
    EXPECT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
    return GetInitialColorMode(cloud);
  };
  EXPECT_EQ(modeOf(true, true, true), CVM_USER_DEFINED);
  EXPECT_EQ(modeOf(false, true, true), CVM_RGB);
  EXPECT_EQ(modeOf(false, false, true), CVM_INTENSITY);
  EXPECT_EQ(modeOf(false, false, false), CVM_ELEVATION);
  EXPECT_TRUE(IsStreamPath("/data/Site.STRM"));
  EXPECT_FALSE(IsStreamPath("/data/site.las"));
}
