#include "app/shell/BuildCommands.h"

#include <QAction>
#include <QApplication>
#include <memory>

#include "app/projects/ImportReports.h"
#include "app/projects/ProjectBuilder.h"
#include "app/projects/SelectBuildDataDlg.h"
#include "app/shell/MainFrame.h"
#include "app/shell/ProgressDlg.h"
#include "app/shell/ProjectCommands.h"
#include "app/shell/Settings.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"

namespace {

const char* const kBuildFromVtpSection = "BuildFromVTP";
const char* const kBuildFromTxtSection = "BuildFromTXT";

// The wait cursor and the main window's progress dialog, modal, while a build runs; the
// builder keeps its outcome for the messages that follow.
class BuildRun {
 public:
  explicit BuildRun(CMainFrame* frame)
      : m_Run(std::make_unique<CProgressDlgRun>(frame->GetProgressDlg(), true, true)),
        m_Builder(m_Run->Progress(), m_Run.get(), m_Run->AbortFlag()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BuildRun() { End(); }
  CProjectBuilder& Builder() { return m_Builder; }
  // Hides the progress dialog and gives the cursor back, before any message.
  void End() {
    if (!m_Run) return;
    m_Run.reset();
    QApplication::restoreOverrideCursor();
  }

 private:
  std::unique_ptr<CProgressDlgRun> m_Run;
  CProjectBuilder m_Builder;
};

}  // namespace

CBuildCommands::CBuildCommands(CMainFrame* frame) : QObject(frame), m_Frame(frame) {
  auto* fromVtp = new QAction("Build Stream from &VTP", this);
  fromVtp->setStatusTip("Build a new project from VTP, PTX or LAS models and photographs");
  connect(fromVtp, &QAction::triggered, this, &CBuildCommands::OnBuildFromVtp);
  auto* fromTxt = new QAction("Build Stream from &TXT", this);
  fromTxt->setStatusTip("Build a new project from ASCII point files");
  connect(fromTxt, &QAction::triggered, this, &CBuildCommands::OnBuildFromTxt);
  m_Actions << fromVtp << fromTxt;
}

void CBuildCommands::OnBuildFromVtp() {
  CSelectBuildDataDlg dialog(GetBuildFolder(kBuildFromVtpSection), m_Frame);
  if (dialog.exec() != QDialog::Accepted) return;
  SetBuildFolder(kBuildFromVtpSection, dialog.GetFolder());
  BuildFromModels(dialog.GetModels(), dialog.GetImages(), dialog.GetOutputPath());
}

void CBuildCommands::OnBuildFromTxt() {
  CSelectBuildDataDlgTxt dialog(GetBuildFolder(kBuildFromTxtSection), GetBuildParseString(),
                                m_Frame);
  if (dialog.exec() != QDialog::Accepted) return;
  SetBuildFolder(kBuildFromTxtSection, dialog.GetFolder());
  SetBuildParseString(dialog.GetParseString());
  BuildFromAscii(dialog.GetFiles(), dialog.GetParseString(), dialog.GetOutputPath());
}

COrvalisFrame* CBuildCommands::BuildFromModels(const std::vector<std::string>& models,
                                               const std::vector<std::string>& images,
                                               const std::string& outputPath) {
  BuildRun run(m_Frame);
  const BuildOutcome outcome = run.Builder().BuildFromModels(models, images, outputPath);
  run.End();
  return Finish(run.Builder(), outcome, outputPath);
}

COrvalisFrame* CBuildCommands::BuildFromAscii(const std::vector<std::string>& files,
                                              const std::string& parseString,
                                              const std::string& outputPath) {
  BuildRun run(m_Frame);
  const BuildOutcome outcome = run.Builder().BuildFromAscii(files, parseString, outputPath);
  run.End();
  return Finish(run.Builder(), outcome, outputPath);
}

COrvalisFrame* CBuildCommands::Finish(const CProjectBuilder& builder, BuildOutcome outcome,
                                      const std::string& outputPath) {
  CProjectCommands* commands = m_Frame->GetProjectCommands();
  const QString message = QString::fromStdString(builder.GetMessage());
  switch (outcome) {
    case BuildOutcome::Built:
      if (!builder.GetProblems().empty())
        commands->ShowReport(MakeProblemsReport(
            "STRM created but some problems occurred:", builder.GetProblems(), m_Frame));
      SetLastBrowsedFolder(outputPath);
      return m_Frame->OpenProject(QString::fromStdString(outputPath));
    case BuildOutcome::Failed: {
      const QString reason = QString::fromStdString(builder.GetReason());
      commands->ShowMessage(reason.isEmpty() ? message : message + "\n\n" + reason,
                            QMessageBox::Warning);
      break;
    }
    case BuildOutcome::Stopped:
      commands->ShowMessage(message);
      break;
    case BuildOutcome::ImportStopped:
      if (builder.GetProblems().empty())
        commands->ShowMessage(message);
      else
        commands->ShowReport(
            MakeProblemsReport("Some problems occurred:", builder.GetProblems(), m_Frame));
      break;
  }
  return nullptr;
}
