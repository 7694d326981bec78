#include "common/progress/ProgressTimeToComplete.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "nimbex/platform/Hooks.h"

namespace {

// Below this share of the range an estimate would be mostly noise, so m_Text shows instead.
constexpr double kEstimateThreshold = 0.02;

// Also maps NaN to 0, so callers never turn a NaN into an int.
double ClampFraction(double fraction) {
  return fraction > 0.0 ? std::min(fraction, 1.0) : 0.0;
}

const char* PluralSuffix(double count) {
  return count == 1.0 ? "" : "s";
}

// Counts are whole doubles printed with "%.0f": an estimate of any size formats without
// overflowing an int.
std::string FormatCount(const char* unit, double count) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f %s%s", count, unit, PluralSuffix(count));
  return text;
}

}  // namespace

TProgressTimeToComplete::TProgressTimeToComplete()
    : m_StartTicks(TProgressTimeToComplete::NowMs()) {}

void TProgressTimeToComplete::SetRange(int lower, int upper) {
  m_Lower = lower;
  m_Upper = upper;
  OnChanged();
}

void TProgressTimeToComplete::SetPos(int pos) {
  m_Pos = pos;
  OnChanged();
}

void TProgressTimeToComplete::GetRange(int& lower, int& upper) const {
  lower = m_Lower;
  upper = m_Upper;
}

int TProgressTimeToComplete::GetPos() const {
  return m_Pos;
}

double TProgressTimeToComplete::Fraction() const {
  if (m_Upper == m_Lower) return 0.0;
  // Measured from the lower bound so ranges not starting at 0 still run from 0 to 1.
  const double done = static_cast<double>(m_Pos) - m_Lower;
  return ClampFraction(done / (static_cast<double>(m_Upper) - m_Lower));
}

void TProgressTimeToComplete::RestartTimer() {
  m_StartTicks = NowMs();
  PumpMsgs();
}

std::string TProgressTimeToComplete::FormatTimeRemaining(double /*fraction*/, double secondsLeft) {
  if (m_ShowTime == 0 || !std::isfinite(secondsLeft)) return "";
  const double seconds = std::trunc(std::fmod(secondsLeft, 60.0));
  if (secondsLeft >= 60.0) {
    const double minutes = std::trunc(secondsLeft / 60.0);
    return FormatCount("minute", minutes) + ", " + FormatCount("second", seconds) + " remaining";
  }
  if (secondsLeft >= 1.0) return FormatCount("second", seconds) + " remaining";
  return "";
}

std::string TProgressTimeToComplete::CurrentText() {
  return CurrentText(NowMs());
}

std::string TProgressTimeToComplete::CurrentText(std::int64_t nowMs) {
  m_Fraction = Fraction();
  if (m_Fraction <= kEstimateThreshold) return m_Text;
  const double elapsedSeconds = static_cast<double>(nowMs - m_StartTicks) / 1000.0;
  const double secondsLeft = elapsedSeconds / m_Fraction * (1.0 - m_Fraction);
  const std::string timeText = FormatTimeRemaining(m_Fraction, secondsLeft);
  return m_Prefix.empty() ? timeText : m_Prefix + " " + timeText;
}

std::int64_t TProgressTimeToComplete::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int DoneExtent(int extent, double fraction) {
  // The allowance keeps 29 of 100 (0.29 * 100 = 28.999...) from showing as 28.
  constexpr double kRoundingAllowance = 1e-9;
  return static_cast<int>(std::trunc(extent * ClampFraction(fraction) + kRoundingAllowance));
}

int ChunkCount(double fraction) {
  // The 0.9 shows a chunk once a tenth of its share is done.
  return static_cast<int>(std::trunc(ClampFraction(fraction) * kChunksInBar + 0.9));
}

int ChunkSize(int extent) {
  return std::max(0, (extent - 2 * kChunkMargin) / kChunksInBar);
}

PixelSpan ChunkAt(int index, int extent) {
  const int size = ChunkSize(extent);
  return {kChunkMargin + index * size, std::max(0, size - kChunkGap)};
}
