// The progress control of the command line. On a terminal it keeps one line up to date,
// rewritten in place with '\r':
//   label [#########.....................]  30% 1 minute, 5 seconds remaining
// It redraws only when the percentage or the text changes, so tight loops may call SetPos
// on every step. When the stream is not a terminal (a log file, a pipe) it writes one full
// line each time the percentage enters another tenth of the range, so logs show that work
// goes on without filling up with redraws. Finish() shows the final state and ends the line.
#pragma once

#include <cstdio>
#include <string>

#include "common/progress/ProgressTimeToComplete.h"

class TerminalProgress : public TProgressTimeToComplete {
 public:
  // Draws in place when the stream is a terminal, else logs.
  explicit TerminalProgress(std::string label, std::FILE* stream = stderr);
  // Chooses explicitly, e.g. for a command-line option that forces one form.
  TerminalProgress(std::string label, std::FILE* stream, bool drawInPlace);

  // Shows the current state and ends the line; the next change starts a new one. Calling it
  // again without a change in between writes nothing.
  void Finish();

  static constexpr int kBarCells = 30;

 protected:
  void OnChanged() override;

 private:
  int Percent() const;
  std::string FormatLine(const std::string& text) const;
  void Redraw(const std::string& text);
  void LogLine(const std::string& text);

  std::string m_Label;
  std::FILE* m_Stream;
  bool m_DrawInPlace;
  bool m_Finished = false;
  // What the terminal line shows now; -1 before the line is first drawn.
  int m_ShownPercent = -1;
  std::string m_ShownText;
  std::size_t m_ShownLength = 0;
  // The tenth of the range of the last logged line, and that line.
  int m_LoggedStep = 0;
  std::string m_LoggedLine;
};
