// The main window: an MDI area with one window per opened project, a tabbed tool bar with
// the command categories, the help bar, the status bar with its three panes and progress
// control, and the hidden progress dialog.
#pragma once

#include <QMainWindow>

class QActionGroup;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSlider;
class QTabWidget;
class QToolBar;
class CBuildCommands;
class CDataBaseSql;
class CHelpWindow;
class COrvalisFrame;
class CProgressDlg;
class CProjectCommands;
class TProgressTimeToCompleteCtrl;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // Without `interactive`, messages go to standard error instead of message boxes.
  CMainFrame(CDataBaseSql* database, bool interactive, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Opens the project of a stream, known by its absolute and canonical path; a project
  // already open is brought forward instead and null is returned, as for a stream that
  // cannot be shown (the user is told why).
  COrvalisFrame* OpenProject(const QString& path);
  // The project whose window is active, or null.
  COrvalisFrame* GetActiveProject() const;
  QList<COrvalisFrame*> GetProjects() const;

  // The project database that records each opening; none until it is set.
  void SetDataBase(CDataBaseSql* database) { m_Database = database; }
  // The folder of the pictures installed with the program (the one shown for a project
  // without an overview).
  void SetPictureFolder(const QString& folder) { m_PictureFolder = folder; }

  // The Project Manager command: the project browser, shown until a project opens from it
  // or the user closes it; projects whose stream is gone leave the database first.
  void RunProjectManager();
  // News for the user in the status bar's text pane, until a project's status replaces it.
  void ShowStatusMessage(const QString& text);

  TProgressTimeToCompleteCtrl* GetProgressCtrl() const { return m_Progress; }
  CProgressDlg* GetProgressDlg() const { return m_ProgressDlg; }
  CProjectCommands* GetProjectCommands() const { return m_ProjectCommands; }
  CBuildCommands* GetBuildCommands() const { return m_BuildCommands; }
  QLabel* GetStatusPane(int pane) const;
  QString GetHelpText() const;
  void SetHelpText(const QString& text);
  QTabWidget* GetCommandTabs() const { return m_Tabs; }
  // The folder of the help pages: "help" beside the program, or share/orvalis/help once
  // installed.
  void SetHelpFolder(const QString& folder) { m_HelpFolder = folder; }
  QStringList GetRecentFiles() const;

 signals:
  // A project's view painted with fresh detail.
  void projectRegenerated(COrvalisFrame* project);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildCommandTabs();
  QWidget* AddPanel(QWidget* page, const QString& title, const QList<QAction*>& actions);
  void BuildStatusBar();
  void BuildHelpBar();
  void BuildLookMenu(QMenu* menu);
  QAction* MakeAction(const QString& label, const QString& tip,
                      void (CMainFrame::*slot)() = nullptr);
  void UpdateProgressGeometry();
  void UpdateCommandStates();
  void UpdateLoadedPointsStatus(COrvalisFrame* project);
  void RememberRecentFile(const QString& path);
  void RefreshRecentMenu();
  COrvalisFrame* FindProject(const QString& path) const;
  QString WhyNotLoaded(const QString& path) const;
  bool OpenOrActivateProject(const QString& path);
  void RecordOpening(COrvalisFrame* project, int images);

  void OnOpen();
  void OnAddStream();
  void OnClose();
  void OnReset();
  void OnAnaglyph();
  void OnTexture();
  void OnStandardLayout();
  void OnStreamingLayout();
  void OnSave();
  void ShowImagePanelTab(int tab);
  void OnHelpIta();
  void OnHelpEng();
  void OnInfo();
  void OpenHelp(const QString& name);
  void ApplyStreamDetail(double factor);
  void ApplyColorMode(int mode);
  void ApplyPresetView(int view);
  // The layout of the drawing panel's content, by its command's place in the Layout panel.
  void ShowPanelLayout(int command);
  void OnLayerProperties();
  void ApplyPointSize(int size);

  void ShowInformation(const QString& text);

  CDataBaseSql* m_Database;
  bool m_Interactive;
  QString m_HelpFolder;
  QString m_PictureFolder;
  QMdiArea* m_MdiArea;
  QTabWidget* m_Tabs = nullptr;
  QToolBar* m_HelpBar = nullptr;
  QLabel* m_HelpLabel = nullptr;
  QAction* m_HelpBarAction = nullptr;
  QAction* m_AnaglyphAction = nullptr;
  QAction* m_TextureAction = nullptr;
  QActionGroup* m_DetailGroup = nullptr;
  QList<QAction*> m_ProjectActions;
  QMenu* m_RecentMenu = nullptr;
  QSlider* m_PointSizeSlider = nullptr;
  QWidget* m_ProgressPane = nullptr;
  TProgressTimeToCompleteCtrl* m_Progress = nullptr;
  QLabel* m_StatusPane = nullptr;
  QLabel* m_CoordinatesPane = nullptr;
  CProgressDlg* m_ProgressDlg = nullptr;
  CProjectCommands* m_ProjectCommands = nullptr;
  CBuildCommands* m_BuildCommands = nullptr;
  CHelpWindow* m_HelpWindow = nullptr;
};
