// The warning shown when a photograph without an exterior orientation is chosen as the
// current Point of View, with the choice not to be told again about that photograph.
#pragma once

#include <QDialog>

class QCheckBox;

class CWarningDlg : public QDialog {
  Q_OBJECT
 public:
  CWarningDlg(const QString& text, QWidget* parent = nullptr);
  bool IsDontShowAgainChecked() const;
  QCheckBox* GetDontShowAgainBox() const { return m_DontShowAgain; }

 private:
  QCheckBox* m_DontShowAgain;
};

// The text of the warning for the photograph `imagePath`.
QString OrientationWarningText(const std::string& imagePath);
