// The project commands of the File and Tools menus: adding photographs, exporting the points
// as a VTP model, the stream filters, the screen pictures and the project's overview picture,
// and loading a project's photographs when it opens. Each command has a function that takes
// its paths; the menu's handler asks for them in a file dialog first, so that scripts and
// tests run the commands without dialogs.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include "app/widgets/ReportDlg.h"

class QAction;
class CMainFrame;
class COrvalisFrame;

class CProjectCommands : public QObject {
  Q_OBJECT
 public:
  // Without `interactive`, messages go to standard error and reports open without waiting.
  CProjectCommands(CMainFrame* frame, bool interactive);

  // The entries of the project File menu and of the Tools menu, in menu order.
  QList<QAction*> GetFileActions() const { return m_FileActions; }
  QList<QAction*> GetToolsActions() const { return m_ToolsActions; }

  // Fills the project's image list (with the progress dialog while thumbnails are made) and
  // its orientations, and makes their Points of View in the image panel; returns the number
  // of images.
  int LoadImages(COrvalisFrame* project);

  // Reports the photographs without orientation, imports all of them into the project and
  // reports what went wrong. 1 when the import ran to its end.
  int AddImages(COrvalisFrame* project, const QStringList& paths);
  // Writes the first stream's full-resolution points and colours with the offset file.
  int ExportVtp(COrvalisFrame* project, const QString& path);
  // The clean and mesh filters of the first stream, writing the stream `output`.
  int RunCleanFilter(COrvalisFrame* project, const QString& output);
  int RunMeshFilter(COrvalisFrame* project, const QString& output);
  // Rebuilds the overview levels of the first stream, a mesh.
  int BuildMeshOverview(COrvalisFrame* project);
  // The 3D view as JPEG; the whole project window as BMP.
  int SaveScreen(COrvalisFrame* project, const QString& path);
  int SaveScreenAllLayout(COrvalisFrame* project, const QString& path);
  // Writes the project's overview picture again from the 3D view.
  int UpdateProjectOverview(COrvalisFrame* project);

  // The report shown last (without `interactive` it stays open), or null.
  CReportDlg* GetLastReport() const { return m_LastReport; }

  // How the commands tell the user: a message box, or standard error without `interactive`;
  // every message is also signalled. A report is shown and deleted, or left open.
  void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::Information,
                   const QString& title = "Orvalis");
  void ShowReport(CReportDlg* report);

 signals:
  // Every message the commands show, as the user reads it.
  void messageShown(const QString& text);

 private:
  enum class Filter { Clean, Mesh };
  QAction* AddAction(QList<QAction*>& menu, const QString& label, const QString& tip,
                     void (CProjectCommands::*handler)());
  int RunFilter(Filter filter, COrvalisFrame* project, const QString& output);
  // The file chosen in a save dialog; `suffix` is added to a name typed without one.
  QString AskSavePath(const QString& title, const QString& filter, const QString& suffix,
                      const QString& name = {});

  void OnAddImages();
  void OnExportVtp();
  void OnCleanFilter();
  void OnMeshFilter();
  void OnMeshOverview();
  void OnSaveScreen();
  void OnSaveScreenAllLayout();
  void OnUpdateProjectOverview();

  CMainFrame* m_Frame;
  bool m_Interactive;
  QList<QAction*> m_FileActions;
  QList<QAction*> m_ToolsActions;
  QPointer<CReportDlg> m_LastReport;
};
