#include <gtest/gtest.h>

#include "app/widgets/ProgressBarGeometry.h"
#include "common/progress/ProgressTimeToComplete.h"

namespace {

TEST(ProgressBarGeometry, SmoothBarsFillFromTheLeftOrUpFromTheBottom) {
  EXPECT_EQ(DoneRect(QRect(10, 5, 200, 20), 0.25, false), QRect(10, 5, 50, 20));
  EXPECT_EQ(DoneRect(QRect(5, 10, 20, 200), 0.25, true), QRect(5, 160, 20, 50));
  EXPECT_EQ(BarRects(QRect(0, 0, 200, 20), 1.0, false, true),
            std::vector<QRect>{QRect(0, 0, 200, 20)});
  EXPECT_TRUE(BarRects(QRect(0, 0, 200, 20), 0.0, false, true).empty());
  EXPECT_TRUE(BarRects(QRect(0, 0, 200, 20), 0.0, false, false).empty());
}

TEST(ProgressBarGeometry, ChunksStepAlongTheBarInsideTheClient) {
  const QRect wide(0, 0, 200, 20);
  const std::vector<QRect> across = BarRects(wide, 0.5, false, false);
  ASSERT_EQ(across.size(), 9u);
  EXPECT_EQ(across[0], QRect(9, 0, 8, 20));
  EXPECT_EQ(across[1].left() - across[0].left(), ChunkSize(200));

  const QRect tall(0, 0, 20, 200);
  const std::vector<QRect> upwards = BarRects(tall, 1.0, true, false);
  ASSERT_EQ(upwards.size(), 18u);
  EXPECT_EQ(upwards[0], QRect(0, 183, 20, 8));  // 9 pixels above the bottom edge
  for (std::size_t i = 1; i < upwards.size(); ++i)
    EXPECT_LT(upwards[i].bottom(), upwards[i - 1].top()) << i;
  EXPECT_GE(upwards.back().top(), 0);

  // Too small for chunks: nothing is painted rather than rectangles of negative size.
  EXPECT_TRUE(BarRects(QRect(0, 0, 12, 20), 1.0, false, false).empty());
}

}  // namespace
