// The main window's progress dialog: a progress bar and an "Abort" button. It is made hidden;
// long commands show it, enable the button and poll the abort flag.
#pragma once

#include <QDialog>

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

 private:
  TProgressTimeToCompleteCtrl* m_Progress;
  QPushButton* m_Abort;
};
