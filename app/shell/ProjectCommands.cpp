#include "app/shell/ProjectCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPixmap>
#include <QPushButton>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "app/images/ImageForm.h"
#include "app/projects/ImageImport.h"
#include "app/projects/ImageSources.h"
#include "app/projects/ImportReports.h"
#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectFiles.h"
#include "app/projects/VtpExport.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/ProgressDlg.h"
#include "app/shell/Settings.h"
#include "app/shell/ViewCommands.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"
#include "app/widgets/ReportDlg.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/Unset.h"

namespace {

const char* const kStreamFilter = "STRM Streaming 3D Model File (*.strm)";

std::vector<std::string> AbsolutePaths(const QStringList& paths) {
  std::vector<std::string> absolute;
  for (const QString& path : paths)
    absolute.push_back(QFileInfo(path).absoluteFilePath().toStdString());
  return absolute;
}

QString Native(const std::string& path) {
  return QString::fromStdString(path);
}

}  // namespace

CProjectCommands::CProjectCommands(CMainFrame* frame, bool interactive)
    : QObject(frame), m_Frame(frame), m_Interactive(interactive) {
  AddAction(m_FileActions, "Add Images to Stream", "Import photographs into the active project",
            &CProjectCommands::OnAddImages);
  AddAction(m_ToolsActions, "&Export VTP", "Write the points of the stream as a VTP model",
            &CProjectCommands::OnExportVtp);
  AddAction(m_ToolsActions, "Save Screen", "Save the 3D view as a JPEG picture",
            &CProjectCommands::OnSaveScreen);
  AddAction(m_ToolsActions, "Save Screen All Layout", "Save the project window as a bitmap",
            &CProjectCommands::OnSaveScreenAllLayout);
  AddAction(m_ToolsActions, "Update Project Overview",
            "Take the project's overview picture again from the 3D view",
            &CProjectCommands::OnUpdateProjectOverview);
  AddAction(m_ToolsActions, "Clean Filter", "Thin the stream into a new stream",
            &CProjectCommands::OnCleanFilter);
  AddAction(m_ToolsActions, "Mesh Filter", "Make a triangle mesh stream of the stream",
            &CProjectCommands::OnMeshFilter);
  AddAction(m_ToolsActions, "Mesh Overview", "Build the overview levels of a mesh stream",
            &CProjectCommands::OnMeshOverview);
}

QAction* CProjectCommands::AddAction(QList<QAction*>& menu, const QString& label,
                                     const QString& tip, void (CProjectCommands::*handler)()) {
  auto* action = new QAction(label, this);
  action->setToolTip(tip);
  action->setStatusTip(tip);
  connect(action, &QAction::triggered, this, handler);
  menu << action;
  return action;
}

void CProjectCommands::ShowMessage(const QString& text, QMessageBox::Icon icon,
                                   const QString& title) {
  emit messageShown(text);
  if (!m_Interactive) {
    std::fprintf(stderr, "orvalis: %s\n", text.toLocal8Bit().constData());
    return;
  }
  QMessageBox box(icon, title, text, QMessageBox::Ok, m_Frame);
  box.exec();
}

void CProjectCommands::ShowReport(CReportDlg* report) {
  if (m_Interactive) {
    report->exec();
    delete report;
    return;
  }
  report->setAttribute(Qt::WA_DeleteOnClose);
  report->show();
  m_LastReport = report;
}

QString CProjectCommands::AskSavePath(const QString& title, const QString& filter,
                                      const QString& suffix, const QString& name) {
  QFileDialog dialog(m_Frame, title, QString::fromStdString(GetLastBrowsedFolder()), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(suffix);
  if (!name.isEmpty()) dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().front();
}

int CProjectCommands::LoadImages(COrvalisFrame* project) {
  CProgressDlg* dialog = m_Frame->GetProgressDlg();
  dialog->m_AbortFlag = 0;
  dialog->GetAbortButton()->setEnabled(false);
  COrvalisDoc* document = project->GetDocument();
  const int count = document->GetImages().InitImages(document->GetPathName(), true,
                                                     dialog->GetProgressCtrl(), [dialog] {
                                                       dialog->show();
                                                       QCoreApplication::processEvents();
                                                     });
  dialog->hide();
  document->GetImages().LoadOrientations(document->GetPathName(), true);
  CImageForm* panel = project->GetImagePanel();
  panel->SetInteractive(m_Interactive);
  panel->InitialUpdate(document, project->GetView()->GetRenderWindowRecord(),
                       {dialog, dialog->GetProgressCtrl()});
  project->GetView()->RefreshTexture();
  return count;
}

int CProjectCommands::AddImages(COrvalisFrame* project, const QStringList& paths) {
  if (!project || paths.isEmpty()) return 0;
  const std::vector<std::string> sources = AbsolutePaths(paths);
  if (CReportDlg* report = MakeUnorientedImagesReport(sources, m_Frame)) ShowReport(report);
  ProblemList problems;
  int done = 0;
  bool stopped = false;
  {
    CProgressDlgRun run(m_Frame->GetProgressDlg(), true);
    done = ImportImages(sources, run.Progress(), &run, problems, run.AbortFlag(),
                        project->GetDocument()->GetPathName());
    stopped = *run.AbortFlag() != 0;
  }
  if (stopped) ShowMessage("Process stopped by user!");
  if (!problems.empty())
    ShowReport(MakeProblemsReport("Some problems occurred:", problems, m_Frame));
  if (LoadImages(project) > 0 && project->GetLayout() == LAYOUT_STREAMING)
    project->SetLayout(LAYOUT_STANDARD);
  return done;
}

int CProjectCommands::ExportVtp(COrvalisFrame* project, const QString& path) {
  CNimbex* cloud = project ? project->GetDocument()->GetFirstCloud() : nullptr;
  if (!cloud || path.isEmpty()) return 0;
  std::string error;
  int written = 0;
  {
    CProgressDlgRun run(m_Frame->GetProgressDlg(), false);
    written = ::ExportVtp(*cloud, path.toStdString(), run.Progress(), &run, error);
  }
  if (written)
    ShowMessage("Process completed");
  else
    ShowMessage(QString("The VTP model was not written: %1.").arg(Native(error)),
                QMessageBox::Warning);
  return written;
}

int CProjectCommands::RunFilter(Filter filter, COrvalisFrame* project, const QString& output) {
  CNimbex* cloud = project ? project->GetDocument()->GetFirstCloud() : nullptr;
  if (!cloud || output.isEmpty()) return 0;
  char path[PATH_MAX];
  std::snprintf(path, sizeof path, "%s", output.toStdString().c_str());
  QElapsedTimer clock;
  clock.start();
  int made = 0;
  bool stopped = false;
  {
    CProgressDlgRun run(m_Frame->GetProgressDlg(), true);
    made = filter == Filter::Clean
               ? cloud->CleanFilter(NBX_UNSET, path, run.AbortFlag(), run.Progress(), &run)
               : cloud->MeshFilter(NBX_UNSET, path, run.AbortFlag(), run.Progress(), &run);
    stopped = *run.AbortFlag() != 0;
  }
  if (made)
    ShowMessage(QString::asprintf("Process completed, needed %d secs.",
                                  static_cast<int>(clock.elapsed() / 1000)));
  else if (stopped)
    ShowMessage("Process stopped by user!");
  else
    ShowMessage(QString("The new stream was not made: %1.").arg(Native(cloud->GetLastError())),
                QMessageBox::Warning);
  return made;
}

int CProjectCommands::RunCleanFilter(COrvalisFrame* project, const QString& output) {
  return RunFilter(Filter::Clean, project, output);
}

int CProjectCommands::RunMeshFilter(COrvalisFrame* project, const QString& output) {
  return RunFilter(Filter::Mesh, project, output);
}

int CProjectCommands::BuildMeshOverview(COrvalisFrame* project) {
  CNimbex* cloud = project ? project->GetDocument()->GetFirstCloud() : nullptr;
  if (!cloud) return 0;
  QElapsedTimer clock;
  clock.start();
  const int built = cloud->BuildMeshOverview();
  if (built) {
    ShowMessage(QString::asprintf("Process completed, needed %d secs.",
                                  static_cast<int>(clock.elapsed() / 1000)));
    project->GetView()->Redraw();
  } else {
    ShowMessage("The mesh overview was not built: the stream holds no mesh over a grid.",
                QMessageBox::Warning);
  }
  return built;
}

int CProjectCommands::SaveScreen(COrvalisFrame* project, const QString& path) {
  if (!project || path.isEmpty()) return 0;
  const bool saved = project->GetView()->grabFramebuffer().save(path, "JPG");
  if (saved)
    ShowMessage("Image Saved successfully");
  else
    ShowMessage("Unable to save current image of 3D model!", QMessageBox::Warning);
  return saved ? 1 : 0;
}

int CProjectCommands::SaveScreenAllLayout(COrvalisFrame* project, const QString& path) {
  if (!project || path.isEmpty()) return 0;
  const QPixmap picture = project->grab();
  if (picture.isNull()) {
    ShowMessage("Unable to Allocate Bitmap Memory", QMessageBox::Critical, "Error");
    return 0;
  }
  if (!picture.save(path, "BMP")) {
    ShowMessage("Unable to Create Bitmap File", QMessageBox::Critical, "Error");
    return 0;
  }
  return 1;
}

int CProjectCommands::UpdateProjectOverview(COrvalisFrame* project) {
  if (!project) return 0;
  const std::string overview = MakeFileName(PFK_OVERVIEW, project->GetDocument()->GetPathName());
  std::error_code error;
  std::filesystem::remove(overview, error);
  const bool saved = !error && project->GetView()->grabFramebuffer().save(Native(overview), "JPG");
  if (saved)
    ShowMessage("Overview updated successfully");
  else
    ShowMessage("Unable to update current project overview!", QMessageBox::Warning);
  return saved ? 1 : 0;
}

void CProjectCommands::OnAddImages() {
  COrvalisFrame* project = m_Frame->GetActiveProject();
  if (!project) return;
  const QStringList paths = QFileDialog::getOpenFileNames(
      m_Frame, "Add Images to Stream", QString::fromStdString(GetLastBrowsedFolder()),
      kImageFileFilter);
  AddImages(project, paths);
}

void CProjectCommands::OnExportVtp() {
  if (COrvalisFrame* project = m_Frame->GetActiveProject())
    ExportVtp(project, AskSavePath("Export VTP", "VTP Model File (*.vtp)", "vtp"));
}

void CProjectCommands::OnCleanFilter() {
  if (COrvalisFrame* project = m_Frame->GetActiveProject())
    RunCleanFilter(project, AskSavePath("Clean Filter", kStreamFilter, "strm"));
}

void CProjectCommands::OnMeshFilter() {
  if (COrvalisFrame* project = m_Frame->GetActiveProject())
    RunMeshFilter(project, AskSavePath("Mesh Filter", kStreamFilter, "strm"));
}

void CProjectCommands::OnMeshOverview() {
  BuildMeshOverview(m_Frame->GetActiveProject());
}

void CProjectCommands::OnSaveScreen() {
  if (COrvalisFrame* project = m_Frame->GetActiveProject())
    SaveScreen(project, AskSavePath("Save Screen", "JPG Image Model (*.jpg)", "jpg"));
}

void CProjectCommands::OnSaveScreenAllLayout() {
  if (COrvalisFrame* project = m_Frame->GetActiveProject())
    SaveScreenAllLayout(project, AskSavePath("Save Screen All Layout", "Bitmap Files (*.bmp)",
                                             "bmp", "ScreenShot.bmp"));
}

void CProjectCommands::OnUpdateProjectOverview() {
  UpdateProjectOverview(m_Frame->GetActiveProject());
}
