#include "common/progress/TerminalProgress.h"

#include <unistd.h>

#include <utility>

namespace {

constexpr int kLogStepPercent = 10;

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

}  // namespace

TerminalProgress::TerminalProgress(std::string label, std::FILE* stream)
    : TerminalProgress(std::move(label), stream, IsTerminal(stream)) {}

TerminalProgress::TerminalProgress(std::string label, std::FILE* stream, bool drawInPlace)
    : m_Label(std::move(label)), m_Stream(stream), m_DrawInPlace(drawInPlace) {}

void TerminalProgress::OnChanged() {
  m_Finished = false;
  const std::string text = CurrentText();
  if (m_DrawInPlace) {
    if (Percent() != m_ShownPercent || text != m_ShownText) Redraw(text);
  } else if (Percent() / kLogStepPercent != m_LoggedStep) {
    LogLine(text);
  }
}

void TerminalProgress::Finish() {
  if (m_Finished) return;
  const std::string text = CurrentText();
  if (m_DrawInPlace) {
    Redraw(text);
    std::fputc('\n', m_Stream);
    std::fflush(m_Stream);
    m_ShownPercent = -1;
    m_ShownText.clear();
    m_ShownLength = 0;
  } else {
    if (FormatLine(text) != m_LoggedLine) LogLine(text);
    m_LoggedStep = 0;
    m_LoggedLine.clear();
  }
  m_Finished = true;
}

int TerminalProgress::Percent() const {
  return DoneExtent(100, Fraction());
}

std::string TerminalProgress::FormatLine(const std::string& text) const {
  const int done = DoneExtent(kBarCells, Fraction());
  std::string line = m_Label.empty() ? "" : m_Label + " ";
  line += "[" + std::string(done, '#') + std::string(kBarCells - done, '.') + "]";
  char percent[8];
  std::snprintf(percent, sizeof percent, " %3d%%", Percent());
  line += percent;
  if (!text.empty()) line += " " + text;
  return line;
}

void TerminalProgress::Redraw(const std::string& text) {
  std::string line = FormatLine(text);
  const std::size_t length = line.size();
  // Blanks over the tail of a longer line drawn before.
  if (length < m_ShownLength) line.append(m_ShownLength - length, ' ');
  std::fprintf(m_Stream, "\r%s", line.c_str());
  std::fflush(m_Stream);
  m_ShownPercent = Percent();
  m_ShownText = text;
  m_ShownLength = length;
}

void TerminalProgress::LogLine(const std::string& text) {
  m_LoggedLine = FormatLine(text);
  std::fprintf(m_Stream, "%s\n", m_LoggedLine.c_str());
  std::fflush(m_Stream);
  m_LoggedStep = Percent() / kLogStepPercent;
}
