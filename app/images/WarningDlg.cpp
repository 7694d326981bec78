#include "WarningDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

#include "ProjectFiles.h"

CWarningDlg::CWarningDlg(const QString& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Warning");
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
  auto* message = new QLabel(text, this);
  message->setObjectName("warningText");
  message->setWordWrap(true);
  m_DontShowAgain = new QCheckBox("Don't show again this warning", this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(message, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(m_DontShowAgain);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

bool CWarningDlg::IsDontShowAgainChecked() const {
  return m_DontShowAgain->isChecked();
}

QString OrientationWarningText(const std::string& imagePath) {
  return QString(
             "File %1 has no external orientation. Please do an image to model link to "
             "solve this problem")
      .arg(QString::fromStdString(BaseName(imagePath)));
}
