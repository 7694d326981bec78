#include <gtest/gtest.h>

#include <limits>

#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/platform/Hooks.h"

namespace {

TEST(FormatTimeRemaining, WritesMinutesAndSecondsOrNothing) {
  TProgressTimeToComplete progress;
  const auto text = [&progress](double secondsLeft) {
    return progress.FormatTimeRemaining(0.5, secondsLeft);
  };
  EXPECT_EQ(text(61), "1 minute, 1 second remaining");
  EXPECT_EQ(text(120.5), "2 minutes, 0 seconds remaining");
  EXPECT_EQ(text(60), "1 minute, 0 seconds remaining");
  EXPECT_EQ(text(59.7), "59 seconds remaining");
  EXPECT_EQ(text(0.4), "");
  EXPECT_EQ(text(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(text(1e30).substr(0, 8), "16666666");  // far beyond an int

  progress.m_ShowTime = 0;
  EXPECT_EQ(text(61), "");
}

TEST(CurrentText, ShowsTheTextUpToTwoPercentThenThePrefixedEstimate) {
  TProgressTimeToComplete progress;
  progress.m_StartTicks = 10'000;
  progress.m_Text = "Opening";
  progress.m_Prefix = "Reading:";
  progress.SetRange(0, 100);
  progress.SetPos(2);
  EXPECT_EQ(progress.CurrentText(13'000), "Opening");

  // 3 % took 3 s, so 97 s remain.
  progress.SetPos(3);
  EXPECT_EQ(progress.CurrentText(13'000), "Reading: 1 minute, 37 seconds remaining");
  EXPECT_DOUBLE_EQ(progress.m_Fraction, 0.03);
}

TEST(Fraction, RunsFromLowerToUpperBoundWithinZeroAndOne) {
  TProgressTimeToComplete progress;
  progress.SetRange(100, 300);
  progress.SetPos(150);
  EXPECT_DOUBLE_EQ(progress.Fraction(), 0.25);
  progress.SetPos(400);
  EXPECT_DOUBLE_EQ(progress.Fraction(), 1.0);

  progress.m_Text = "Waiting";
  progress.SetRange(5, 5);
  EXPECT_EQ(progress.CurrentText(), "Waiting");
  EXPECT_EQ(progress.m_Fraction, 0.0);
}

TEST(RestartTimer, RestartsTheEstimateAndPumpsPendingMessages) {
  int pumped = 0;
  SetMessagePump([&pumped] { ++pumped; });
  TProgressTimeToComplete progress;
  progress.m_StartTicks = 0;
  progress.RestartTimer();
  SetMessagePump(nullptr);
  EXPECT_EQ(pumped, 1);
  EXPECT_GT(progress.m_StartTicks, 0);
}

TEST(BarGeometry, ChunksBeginEarlyAndEverythingStaysInsideTheExtent) {
  EXPECT_EQ(ChunkCount(0.0), 0);
  EXPECT_EQ(ChunkCount(0.01), 1);
  EXPECT_EQ(ChunkCount(1.0 / 18), 1);
  EXPECT_EQ(ChunkCount(1.0), 18);
  EXPECT_EQ(ChunkCount(1.7), 18);
  EXPECT_EQ(ChunkSize(200), 10);
  for (int extent : {10, 100, 517}) {
    const PixelSpan last = ChunkAt(kChunksInBar - 1, extent);
    EXPECT_LE(last.start + last.length, extent) << extent;
  }
  EXPECT_EQ(DoneExtent(100, 0.29), 29);
  EXPECT_EQ(DoneExtent(200, 2.0), 200);
}

}  // namespace
