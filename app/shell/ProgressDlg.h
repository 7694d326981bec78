// The main window's progress dialog: a progress bar and an "Abort" button. It is made hidden;
// long commands show it, enable the button and poll the abort flag.
#pragma once

#include <QDialog>

#include "nimbex/platform/Sinks.h"

class QPushButton;
class TProgressTimeToCompleteCtrl;

class CProgressDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CProgressDlg(QWidget* parent = nullptr);

  TProgressTimeToCompleteCtrl* GetProgressCtrl() const { return m_Progress; }
  QPushButton* GetAbortButton() const { return m_Abort; }
  // Set by the "Abort" button; the command that runs clears it before it starts.
  int m_AbortFlag = 0;

  // Escape and the window's close button abort a command that can be aborted; the dialog
  // stays until the command has stopped.
  void reject() override;

 private:
  TProgressTimeToCompleteCtrl* m_Progress;
  QPushButton* m_Abort;
};

// The progress dialog for the length of a command: shown, its abort flag cleared and its
// button enabled when the command can be aborted; the steps' names go to the bar's text.
// A modal run keeps the user's input from the other windows, which go on painting.
class CProgressDlgRun : public CTextSink {
 public:
  CProgressDlgRun(CProgressDlg* dialog, bool abortable, bool modal = false);
  ~CProgressDlgRun() override;
  CProgressDlgRun(const CProgressDlgRun&) = delete;
  CProgressDlgRun& operator=(const CProgressDlgRun&) = delete;

  TProgressTimeToCompleteCtrl* Progress() const;
  int* AbortFlag() const { return &m_Dialog->m_AbortFlag; }
  // The text shown until the bar moves, then before the time still needed.
  void SetText(const std::string& text) override;

 private:
  CProgressDlg* m_Dialog;
};
