#include <gtest/gtest.h>

#include <algorithm>

#include "common/progress/TerminalProgress.h"

namespace {

// A control whose clock stands where the test puts it.
class SteppedClockProgress : public TerminalProgress {
 public:
  using TerminalProgress::TerminalProgress;
  std::int64_t m_Now = 0;

 protected:
  std::int64_t NowMs() const override { return m_Now; }
};

std::string Contents(std::FILE* file) {
  std::string text(std::ftell(file), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

TEST(TerminalProgress, LogsEveryTenthAndTheFinalStateOnceWhenNotOnATerminal) {
  std::FILE* file = std::tmpfile();
  SteppedClockProgress progress("Reading", file);
  progress.m_StartTicks = 0;
  progress.SetRange(0, 100);
  for (int pos = 1; pos <= 45; ++pos) progress.SetPos(pos);
  progress.m_Now = 45'000;
  progress.Finish();
  progress.Finish();

  EXPECT_EQ(Contents(file),
            "Reading [###...........................]  10%\n"
            "Reading [######........................]  20%\n"
            "Reading [#########.....................]  30%\n"
            "Reading [############..................]  40%\n"
            "Reading [#############.................]  45% 55 seconds remaining\n");
  std::fclose(file);
}

TEST(TerminalProgress, RedrawsInPlaceOnlyOnChangeAndBlanksWhatALongerLineLeft) {
  std::FILE* file = std::tmpfile();
  SteppedClockProgress progress("Reading", file, true);
  progress.m_StartTicks = 0;
  progress.SetRange(0, 1000);
  for (int pos = 1; pos <= 500; ++pos) progress.SetPos(pos);
  const std::string steps = Contents(file);
  EXPECT_EQ(std::count(steps.begin(), steps.end(), '\r'), 51);

  // Overwrites the file from its start.
  std::fseek(file, 0, SEEK_SET);
  progress.m_Now = 100'000;
  progress.SetPos(500);
  progress.m_Now = 2'000;
  progress.SetPos(500);
  progress.Finish();
  const std::string bar = "\rReading [###############...............]  50% ";
  const std::string longText = "1 minute, 40 seconds remaining", shortText = "2 seconds remaining";
  const std::string blanks(longText.size() - shortText.size(), ' ');
  EXPECT_EQ(Contents(file), bar + longText + bar + shortText + blanks + bar + shortText + "\n");
  std::fclose(file);
}

}  // namespace
