#include "app/shell/ProgressDlg.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/widgets/ProgressTimeToCompleteCtrl.h"

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
  setWindowTitle("Orvalis");
  setModal(false);
  m_Progress = new TProgressTimeToCompleteCtrl(this);
  m_Progress->setMinimumWidth(360);
  m_Abort = new QPushButton("Abort", this);
  m_Abort->setEnabled(false);
  connect(m_Abort, &QPushButton::clicked, this, [this] { m_AbortFlag = 1; });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Progress);
  layout->addWidget(m_Abort, 0, Qt::AlignRight);
  hide();
}
