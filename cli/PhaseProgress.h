// The progress of a long command on the terminal: one bar per phase. A new status title
// ends the current phase; a phase that reports no progress shows its title as a plain line.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "common/progress/TerminalProgress.h"
#include "nimbex/platform/Sinks.h"

class PhaseProgress : public CProgressSink, public CTextSink {
 public:
  ~PhaseProgress() override { Finish(); }
  void SetText(const std::string& title) override {
    Finish();
    m_Title = title;
  }
  void SetRange(int lower, int upper) override { Bar().SetRange(lower, upper); }
  void SetPos(int pos) override { Bar().SetPos(pos); }
  void Finish() {
    if (m_Bar)
      m_Bar->Finish();
    else if (!m_Title.empty())
      std::fprintf(stderr, "%s\n", m_Title.c_str());
    m_Bar.reset();
    m_Title.clear();
  }

 private:
  TerminalProgress& Bar() {
    if (!m_Bar) m_Bar = std::make_unique<TerminalProgress>(m_Title);
    return *m_Bar;
  }

  std::string m_Title;
  std::unique_ptr<TerminalProgress> m_Bar;
};
