// The progress control of long operations: it keeps a range and a position, and estimates
// the time still needed from the time spent so far. It draws nothing itself: the desktop
// program's progress bar paints its text and bar geometry, the command line shows it as a
// terminal line (TerminalProgress).
#pragma once

#include <cstdint>
#include <string>

#include "nimbex/platform/Sinks.h"

class TProgressTimeToComplete : public CProgressSink {
 public:
  TProgressTimeToComplete();

  void SetRange(int lower, int upper) override;
  void SetPos(int pos) override;
  void GetRange(int& lower, int& upper) const;
  int GetPos() const;

  // Share of the range done, within [0, 1]; 0 while the range is empty.
  double Fraction() const;

  // Starts the estimate from now. Long operations call it before they set the range and the
  // first position; it also lets pending window messages through so the control shows up.
  void RestartTimer();

  // "m minutes, s seconds remaining", "s seconds remaining", or "" under one second, for a
  // negative or non-finite estimate and when m_ShowTime is 0.
  virtual std::string FormatTimeRemaining(double fraction, double secondsLeft);

  // The text the control shows, computed at the current time or at nowMs (milliseconds on
  // the clock of NowMs()): m_Text until more than 2 % is done, then the time estimate after
  // m_Prefix. Both update m_Fraction.
  std::string CurrentText();
  std::string CurrentText(std::int64_t nowMs);

  // Set to the steady wall clock in milliseconds at construction and by RestartTimer().
  std::int64_t m_StartTicks;
  double m_Fraction = 0.0;
  int m_ShowTime = 1;
  std::string m_Text;
  std::string m_Prefix;

 protected:
  // Called after SetRange and SetPos so a view can repaint.
  virtual void OnChanged() {}
  // Milliseconds on a steady wall clock: elapsed real time, not processor time, so waiting on
  // disk counts toward the estimate. Tests replace it.
  virtual std::int64_t NowMs() const;

 private:
  int m_Lower = 0;
  int m_Upper = 100;
  int m_Pos = 0;
};

// Bar geometry for painters; fractions are clamped to [0, 1]. A smooth bar fills DoneExtent
// pixels (DoneExtent(100, f) is the whole percentage). A chunked bar shows ChunkCount chunks
// placed by ChunkAt: ChunkSize pixels apart, each drawn kChunkGap pixels narrower to leave
// the gap, inside a kChunkMargin margin at each end.
constexpr int kChunksInBar = 18;
constexpr int kChunkMargin = 9;
constexpr int kChunkGap = 2;

struct PixelSpan {
  int start;
  int length;
};

int DoneExtent(int extent, double fraction);
int ChunkCount(double fraction);
int ChunkSize(int extent);
PixelSpan ChunkAt(int index, int extent);
