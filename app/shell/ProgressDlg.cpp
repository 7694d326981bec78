#include "app/shell/ProgressDlg.h"

#include <QCoreApplication>
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

void CProgressDlg::reject() {
  if (m_Abort->isEnabled()) m_AbortFlag = 1;
}

CProgressDlgRun::CProgressDlgRun(CProgressDlg* dialog, bool abortable, bool modal)
    : m_Dialog(dialog) {
  m_Dialog->m_AbortFlag = 0;
  m_Dialog->GetAbortButton()->setEnabled(abortable);
  m_Dialog->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
  Progress()->RestartTimer();
  m_Dialog->show();
  QCoreApplication::processEvents();
}

CProgressDlgRun::~CProgressDlgRun() {
  Progress()->m_Text.clear();
  Progress()->m_Prefix.clear();
  Progress()->SetPos(0);
  m_Dialog->GetAbortButton()->setEnabled(false);
  m_Dialog->hide();
  m_Dialog->setWindowModality(Qt::NonModal);
}

TProgressTimeToCompleteCtrl* CProgressDlgRun::Progress() const {
  return m_Dialog->GetProgressCtrl();
}

void CProgressDlgRun::SetText(const std::string& text) {
  Progress()->m_Text = text;
  Progress()->m_Prefix = text.empty() ? text : text + " ";
  Progress()->update();
}
