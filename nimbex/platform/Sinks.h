// Small receivers through which long operations report to whatever shows them: a message
// log (one line at a time), a progress indicator (range and position) and a status text.
// The desktop program adapts its widgets, the command line its terminal, tests record.
#pragma once

#include <string>

class CMessageSink {
 public:
  virtual ~CMessageSink() = default;
  virtual void AddLine(const std::string& line) = 0;
};

class CProgressSink {
 public:
  virtual ~CProgressSink() = default;
  virtual void SetRange(int lower, int upper) = 0;
  virtual void SetPos(int pos) = 0;
};

class CTextSink {
 public:
  virtual ~CTextSink() = default;
  virtual void SetText(const std::string& text) = 0;
};
