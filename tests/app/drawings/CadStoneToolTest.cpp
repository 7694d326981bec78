// The stone commands on a drawing: clicks outside the orthophoto, outlines kept or dropped as
// new stones start, the wheel's tolerance steps and their limits, the stone-size circle.
#include <gtest/gtest.h>

#include "app/drawings/CadOrthoData.h"
#include "app/drawings/CadStoneTool.h"
#include "tests/app/drawings/StoneTestSupport.h"

namespace {

// An orthophoto of two stones, 0.5 units per pixel from (1000, 2000): pixel (c, r) from the
// top lies at (1000 + (c + 0.5) / 2, 2000 + (400 - r - 0.5) / 2).
unsigned AddOrthophoto(CCadDrawing& drawing) {
  CadEntity image;
  image.type = CAD_IMAGE;
  image.userData = kOrthophotoUserData;
  image.vertices = {{1000, 2000, 0}};
  image.unitsPerPixelX = image.unitsPerPixelY = 0.5;
  image.image = std::make_shared<PictureSource>(
      ToQImage(GroundWithStones(600, 400, {{150, 200, 40}, {400, 200, 50}})));
  return drawing.AddEntity(image);
}

int OnLayer(const CCadDrawing& drawing, int layerId) {
  int count = 0;
  for (const CadEntity& entity : drawing.GetEntities())
    count += !entity.deleted && entity.layerId == layerId;
  return count;
}

}  // namespace

TEST(CadStoneToolTest, NewStonesKeepOrDropThePreviousOutline) {
  CCadDrawing drawing;
  AddOrthophoto(drawing);
  CCadStoneTool tool(&drawing);
  tool.CreateLayers();
  const int temp = drawing.GetLayerByName("StoneTemp")->id;
  const int stones = drawing.GetLayerByName("Stones")->id;
  EXPECT_EQ(drawing.GetLayerByID(temp)->color, 4);
  EXPECT_EQ(drawing.GetLayerByID(stones)->color, 2);

  // Outside the orthophoto: nothing changes.
  EXPECT_FALSE(tool.Seed(999, 2100, false));
  EXPECT_FALSE(tool.Seed(1100, 2200.5, false));
  EXPECT_EQ(drawing.GetEntities().size(), 1u);
  EXPECT_FALSE(drawing.IsDirty());

  ASSERT_TRUE(tool.Seed(1075, 2100, false));  // the first stone's centre
  const CadEntity* first = drawing.GetEntityByID(tool.GetCurrentOutline());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->type, CAD_POLYLINE);
  EXPECT_TRUE(first->closed);
  EXPECT_EQ(first->layerId, temp);
  EXPECT_NEAR(OutlineArea(first->vertices), 3.14159 * 20 * 20, 0.05 * 3.14159 * 20 * 20);
  EXPECT_TRUE(drawing.IsDirty());
  const unsigned firstId = first->id;

  ASSERT_TRUE(tool.Seed(1200, 2100, false));  // the second stone: the first is kept
  EXPECT_EQ(drawing.GetEntityByID(firstId)->layerId, stones);
  EXPECT_EQ(OnLayer(drawing, temp), 1);
  const unsigned secondId = tool.GetCurrentOutline();

  ASSERT_TRUE(tool.Seed(1075, 2100, true));  // with Shift: the second is dropped
  EXPECT_TRUE(drawing.GetEntityByID(secondId)->deleted);
  EXPECT_EQ(OnLayer(drawing, temp), 1);
  EXPECT_EQ(OnLayer(drawing, stones), 1);
}

TEST(CadStoneToolTest, WheelStepsBothTolerancesWithinTheirLimitsAndOutlinesAgain) {
  CCadDrawing drawing;
  AddOrthophoto(drawing);
  CCadStoneTool tool(&drawing);
  // Before any stone, the wheel only sets the tolerances.
  EXPECT_TRUE(tool.Wheel(120));
  EXPECT_EQ(tool.GetTolerance().loDiff, 21);
  EXPECT_EQ(tool.GetCurrentOutline(), 0u);

  ASSERT_TRUE(tool.Seed(1075, 2100, false));
  const unsigned before = tool.GetCurrentOutline();
  EXPECT_TRUE(tool.Wheel(-240));  // two notches at once: two steps
  EXPECT_EQ(tool.GetTolerance().loDiff, 19);
  EXPECT_EQ(tool.GetTolerance().upDiff, 19);
  EXPECT_TRUE(drawing.GetEntityByID(before)->deleted);
  ASSERT_NE(tool.GetCurrentOutline(), before);
  EXPECT_EQ(drawing.GetEntityByID(tool.GetCurrentOutline())->layerId,
            drawing.GetLayerByName("StoneTemp")->id);
  EXPECT_NE(tool.GetStatus().find("-19/+19"), std::string::npos) << tool.GetStatus();

  tool.GetTolerance() = {1, 30, false};
  EXPECT_FALSE(tool.Wheel(-120));
  EXPECT_EQ(tool.GetTolerance().loDiff, 1);
  tool.GetTolerance() = {30, 252, false};
  EXPECT_FALSE(tool.Wheel(240));
  EXPECT_TRUE(tool.Wheel(120));
  EXPECT_EQ(tool.GetTolerance().upDiff, 253);
}

TEST(CadStoneToolTest, StoneSizeComesFromTheCircleRadius) {
  CCadDrawing drawing;
  CCadStoneTool tool(&drawing);
  tool.SetReferenceRadius(2);
  EXPECT_EQ(tool.GetReferenceArea(), 8);
  EXPECT_DOUBLE_EQ(tool.GetSmallestArea(), 0.8);
  EXPECT_EQ(tool.GetReferenceLength(), 6);
}
