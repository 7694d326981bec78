#include "app/shell/MainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <cstdio>
#include <memory>

#include "app/annotations/LinkDlg.h"
#include "app/drawings/CadForm.h"
#include "app/drawings/CadLayerDlg.h"
#include "app/images/ImageForm.h"
#include "app/projects/DataBaseHost.h"
#include "app/projects/DataBaseSql.h"
#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectBrowserDlg.h"
#include "app/projects/ProjectFiles.h"
#include "app/projects/ProjectOpening.h"
#include "app/shell/AppLook.h"
#include "app/shell/BuildCommands.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/ProgressDlg.h"
#include "app/shell/ProjectCommands.h"
#include "app/shell/Settings.h"
#include "app/shell/ViewCommands.h"
#include "app/widgets/HelpWindow.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/window/RenderWindow.h"

namespace {

constexpr int kRecentFileCount = 4;
const char* const kRecentFilesKey = "RecentFiles";
constexpr int kStatusPaneWidth = 700;
constexpr int kCoordinatesPaneWidth = 300;
constexpr int kProgressHeight = 15;
const QColor kProgressBarColor(88, 177, 0);

struct PresetCommand {
  const char* label;
  PresetView view;
};
const PresetCommand kPresetCommands[] = {
    {"Top", VIEW_TOP},   {"Bottom", VIEW_BOTTOM}, {"Front", VIEW_FRONT}, {"Back", VIEW_BACK},
    {"Left", VIEW_LEFT}, {"Right", VIEW_RIGHT},   {"N-E", VIEW_NE},      {"N-W", VIEW_NW},
    {"S-E", VIEW_SE},    {"S-W", VIEW_SW}};

// The layouts of what the drawing panel holds.
struct PanelLayoutCommand {
  const char* label;
  const char* tip;
  const char* missing;
  int content;
};
const PanelLayoutCommand kPanelLayoutCommands[] = {
    {"Orthophoto", "Toggle to Orthophoto layout", "no orthophoto", CAD_PANE_ORTHOPHOTO},
    {"Drawing", "Toggle to Drawing layout", "no CAD drawing", CAD_PANE_DRAWING},
    {"Dem", "Toggle to Dem layout", "no elevation model", CAD_PANE_DEM}};

struct DetailCommand {
  const char* label;
  double factor;
};
const DetailCommand kDetailCommands[] = {{"    High", 3.0}, {"Medium", 1.5}, {"      Low", 0.5}};

struct ColourCommand {
  const char* label;
  const char* tip;
  int mode;
};
const ColourCommand kColourCommands[] = {{"RGB", "Cloud colors", CVM_RGB},
                                         {"Elevation", "Elevation colors", CVM_ELEVATION},
                                         {"Intensity", "Intensity color", CVM_INTENSITY},
                                         {"User Defined", "User colors", CVM_USER_DEFINED}};

QString DefaultHelpFolder() {
  const QString beside = QCoreApplication::applicationDirPath() + "/help";
  if (QFileInfo(beside).isDir()) return beside;
  return QCoreApplication::applicationDirPath() + "/../share/orvalis/help";
}

}  // namespace

CMainFrame::CMainFrame(CDataBaseSql* database, bool interactive, QWidget* parent)
    : QMainWindow(parent),
      m_Database(database),
      m_Interactive(interactive),
      m_HelpFolder(DefaultHelpFolder()),
      m_MdiArea(new QMdiArea(this)) {
  qRegisterMetaType<COrvalisFrame*>("COrvalisFrame*");
  setWindowTitle(QString("Orvalis %1").arg(QCoreApplication::applicationVersion()));
  setCentralWidget(m_MdiArea);
  m_ProjectCommands = new CProjectCommands(this, interactive);
  m_BuildCommands = new CBuildCommands(this);
  BuildMenus();
  BuildCommandTabs();
  BuildHelpBar();
  BuildStatusBar();
  m_ProgressDlg = new CProgressDlg(this);
  connect(m_MdiArea, &QMdiArea::subWindowActivated, this, [this] { UpdateCommandStates(); });
  UpdateCommandStates();
  QCoreApplication::processEvents();
}

CMainFrame::~CMainFrame() {
  // Closing the projects activates the others one by one; the commands must not follow.
  disconnect(m_MdiArea, nullptr, this, nullptr);
  m_MdiArea->closeAllSubWindows();
}

QAction* CMainFrame::MakeAction(const QString& label, const QString& tip,
                                void (CMainFrame::*slot)()) {
  auto* action = new QAction(label, this);
  action->setToolTip(tip.isEmpty() ? label : tip);
  action->setStatusTip(tip);
  if (slot) connect(action, &QAction::triggered, this, slot);
  return action;
}

void CMainFrame::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = MakeAction("&Open", "Open a stream as a project", &CMainFrame::OnOpen);
  open->setShortcut(QKeySequence::Open);
  file->addAction(open);
  file->addActions(m_BuildCommands->GetActions());
  QAction* addStream =
      MakeAction("Add &Stream", "Add a stream to the active project", &CMainFrame::OnAddStream);
  file->addAction(addStream);
  file->addActions(m_ProjectCommands->GetFileActions());
  QAction* save = MakeAction("&Save", "Save what the project's panels hold", &CMainFrame::OnSave);
  file->addAction(save);
  m_ProjectActions << addStream << m_ProjectCommands->GetFileActions() << save;
  QAction* close = MakeAction("Close", "Close the active project", &CMainFrame::OnClose);
  file->addAction(close);
  m_ProjectActions << close;
  file->addSeparator();
  m_RecentMenu = file->addMenu("Recent documents");
  RefreshRecentMenu();
  file->addSeparator();
  QAction* exit = MakeAction("Exit", "Quit Orvalis");
  connect(exit, &QAction::triggered, this, &QWidget::close);
  file->addAction(exit);
  QMenu* view = menuBar()->addMenu("&View");
  view->addAction(MakeAction("&Project Overview", "Open model database overview",
                             &CMainFrame::RunProjectManager));
  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->addActions(m_ProjectCommands->GetToolsActions());
  m_ProjectActions << m_ProjectCommands->GetToolsActions();
}

QWidget* CMainFrame::AddPanel(QWidget* page, const QString& title, const QList<QAction*>& actions) {
  auto* panel = new QGroupBox(title, page);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(4, 2, 4, 2);
  for (QAction* action : actions) {
    auto* button = new QToolButton(panel);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    layout->addWidget(button);
  }
  static_cast<QHBoxLayout*>(page->layout())->addWidget(panel);
  return panel;
}

void CMainFrame::BuildCommandTabs() {
  m_Tabs = new QTabWidget(this);
  m_Tabs->setObjectName("commandTabs");
  auto newPage = [this](const QString& category) {
    auto* page = new QWidget(m_Tabs);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    m_Tabs->addTab(page, category);
    return page;
  };

  QWidget* view = newPage("View");
  AddPanel(view, "Project",
           {MakeAction("Project Manager", "Open model database overview",
                       &CMainFrame::RunProjectManager)});
  QAction* reset = MakeAction("Reset", "Reset current view", &CMainFrame::OnReset);
  m_AnaglyphAction = MakeAction("Anaglyph", "Toggle stereo anaglyph view", &CMainFrame::OnAnaglyph);
  m_AnaglyphAction->setCheckable(true);
  AddPanel(view, "View", {reset, m_AnaglyphAction});
  QAction* standard =
      MakeAction("Standard", "Toggle to Standard layout", &CMainFrame::OnStandardLayout);
  QAction* streaming =
      MakeAction("Streaming", "Toggle to Streaming layout", &CMainFrame::OnStreamingLayout);
  QAction* measure = MakeAction("Measure", "2d/3d Measures");
  connect(measure, &QAction::triggered, this, [this] { ShowImagePanelTab(TAB_MEASURE); });
  QAction* filters = MakeAction("Filters", "Filter on images Point of View");
  connect(filters, &QAction::triggered, this, [this] { ShowImagePanelTab(TAB_FILTERS); });
  QAction* notes = MakeAction("Notes", "Current image notes");
  connect(notes, &QAction::triggered, this, [this] { ShowImagePanelTab(TAB_NOTES); });
  QAction* link = MakeAction("Link", "Manage 3d links");
  connect(link, &QAction::triggered, this, [this] { ShowImagePanelTab(TAB_LINK); });
  AddPanel(view, "Panels", {measure, link, filters, notes});
  QList<QAction*> layouts = {standard, streaming};
  for (int i = 0; i < 3; ++i) {
    QAction* action = MakeAction(kPanelLayoutCommands[i].label, kPanelLayoutCommands[i].tip);
    connect(action, &QAction::triggered, this, [this, i] { ShowPanelLayout(i); });
    layouts << action;
  }
  AddPanel(view, "Layout", layouts);
  m_TextureAction = MakeAction("Texture", "Paint the model with the colours of its photographs",
                               &CMainFrame::OnTexture);
  m_TextureAction->setCheckable(true);
  AddPanel(view, "Floating Dialogs", {m_TextureAction});
  QList<QAction*> presets;
  for (const PresetCommand& command : kPresetCommands) {
    QAction* action = MakeAction(command.label, QString("%1 view").arg(command.label));
    const int preset = command.view;
    connect(action, &QAction::triggered, this, [this, preset] { ApplyPresetView(preset); });
    presets << action;
  }
  QAction* overlap = MakeAction("Drawing Overlap", "View current drawing on 3d Model window");
  connect(overlap, &QAction::triggered, this, [this] {
    if (COrvalisFrame* project = GetActiveProject()) project->GetDrawingPanel()->ProjectEntities();
  });
  QAction* layers =
      MakeAction("Layer Properties", "Cad Layers properties", &CMainFrame::OnLayerProperties);
  AddPanel(view, "Drawing 3d Views", QList<QAction*>{overlap, layers} << presets);
  m_ProjectActions << reset << m_AnaglyphAction << measure << link << filters << notes << layouts
                   << m_TextureAction << overlap << layers << presets;

  QWidget* stream = newPage("Stream");
  m_DetailGroup = new QActionGroup(this);
  QList<QAction*> details;
  for (const DetailCommand& command : kDetailCommands) {
    QAction* action = MakeAction(command.label, "Points drawn per window pixel");
    action->setCheckable(true);
    action->setData(command.factor);
    const double factor = command.factor;
    connect(action, &QAction::triggered, this, [this, factor] { ApplyStreamDetail(factor); });
    m_DetailGroup->addAction(action);
    details << action;
  }
  AddPanel(stream, "Stream Detail", details);
  m_ProjectActions << details;

  QWidget* representation = newPage("Representation");
  QWidget* sizePanel = AddPanel(representation, "Point Size", {});
  m_PointSizeSlider = new QSlider(Qt::Horizontal, sizePanel);
  m_PointSizeSlider->setObjectName("pointSizeSlider");
  m_PointSizeSlider->setRange(1, 5);
  m_PointSizeSlider->setSingleStep(1);
  m_PointSizeSlider->setToolTip("Set points (pix) size");
  m_PointSizeSlider->setMinimumWidth(100);
  sizePanel->layout()->addWidget(m_PointSizeSlider);
  connect(m_PointSizeSlider, &QSlider::valueChanged, this,
          [this](int size) { ApplyPointSize(size); });
  QList<QAction*> colours;
  for (const ColourCommand& command : kColourCommands) {
    QAction* action = MakeAction(command.label, command.tip);
    const int mode = command.mode;
    connect(action, &QAction::triggered, this, [this, mode] { ApplyColorMode(mode); });
    colours << action;
  }
  AddPanel(representation, "Color", colours);
  m_ProjectActions << colours;

  QWidget* help = newPage("Help");
  AddPanel(help, "Help",
           {MakeAction("Help (Ita)", "Open the Italian tutorial", &CMainFrame::OnHelpIta),
            MakeAction("Help (Eng)", "Open the English tutorial", &CMainFrame::OnHelpEng)});
  m_HelpBarAction = MakeAction("Help Bar", "Shows tips");
  m_HelpBarAction->setCheckable(true);
  m_HelpBarAction->setChecked(true);
  AddPanel(help, "Info",
           {MakeAction("Info", "Orvalis information", &CMainFrame::OnInfo), m_HelpBarAction});
  for (int i = 0; i < m_Tabs->count(); ++i)
    static_cast<QHBoxLayout*>(m_Tabs->widget(i)->layout())->addStretch(1);

  auto* corner = new QWidget(m_Tabs);
  auto* cornerLayout = new QHBoxLayout(corner);
  cornerLayout->setContentsMargins(0, 0, 0, 0);
  auto* looks = new QToolButton(corner);
  looks->setText("Visual Styles");
  looks->setToolTip("Select application look");
  looks->setPopupMode(QToolButton::InstantPopup);
  auto* lookMenu = new QMenu(looks);
  BuildLookMenu(lookMenu);
  looks->setMenu(lookMenu);
  auto* about = new QToolButton(corner);
  about->setDefaultAction(MakeAction("About", "Orvalis information", &CMainFrame::OnInfo));
  cornerLayout->addWidget(looks);
  cornerLayout->addWidget(about);
  m_Tabs->setCornerWidget(corner, Qt::TopRightCorner);

  QToolBar* bar = addToolBar("Commands");
  bar->setObjectName("commandBar");
  bar->setMovable(false);
  bar->addWidget(m_Tabs);
}

void CMainFrame::BuildLookMenu(QMenu* menu) {
  auto* group = new QActionGroup(menu);
  const int current = LoadStoredAppLook();
  for (const AppLook& look : GetAppLooks()) {
    QAction* action = menu->addAction(look.label);
    action->setCheckable(true);
    action->setChecked(look.id == current);
    group->addAction(action);
    const int id = look.id;
    connect(action, &QAction::triggered, this, [id] { StoreAppLook(ApplyAppLook(*qApp, id)); });
  }
}

void CMainFrame::BuildHelpBar() {
  addToolBarBreak();
  m_HelpBar = addToolBar("Help Bar");
  m_HelpBar->setObjectName("helpBar");
  m_HelpBar->setMovable(false);
  m_HelpLabel = new QLabel("Help Bar", m_HelpBar);
  m_HelpLabel->setContentsMargins(6, 2, 6, 2);
  m_HelpBar->addWidget(m_HelpLabel);
  connect(m_HelpBarAction, &QAction::toggled, m_HelpBar, &QWidget::setVisible);
}

void CMainFrame::BuildStatusBar() {
  m_ProgressPane = new QWidget(statusBar());
  m_ProgressPane->setObjectName("progressPane");
  m_ProgressPane->setFixedHeight(kProgressHeight + 4);
  m_Progress = new TProgressTimeToCompleteCtrl(m_ProgressPane);
  m_Progress->setObjectName("progressCtrl");
  m_Progress->SetBarColor(kProgressBarColor);
  m_StatusPane = new QLabel("Status", statusBar());
  m_StatusPane->setMaximumWidth(kStatusPaneWidth);
  m_StatusPane->setMinimumWidth(0);
  m_CoordinatesPane = new QLabel("Coordinatograph ", statusBar());
  m_CoordinatesPane->setFixedWidth(kCoordinatesPaneWidth);
  QPalette grey = m_CoordinatesPane->palette();
  grey.setColor(QPalette::WindowText, QColor(90, 90, 90));
  m_CoordinatesPane->setPalette(grey);
  statusBar()->addWidget(m_ProgressPane);
  statusBar()->addWidget(m_StatusPane, 1);
  statusBar()->addPermanentWidget(m_CoordinatesPane);
  UpdateProgressGeometry();
}

void CMainFrame::UpdateProgressGeometry() {
  const int width = GetProgressControlWidth(this->width());
  m_ProgressPane->setFixedWidth(width + 5);
  m_Progress->setGeometry(5, 2, width, kProgressHeight);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  UpdateProgressGeometry();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  m_MdiArea->closeAllSubWindows();
  // A project whose unsaved drawing the user chose to keep stays open, and so does the program.
  if (!m_MdiArea->subWindowList().isEmpty()) {
    event->ignore();
    return;
  }
  m_ProgressDlg->close();
  event->accept();
}

void CMainFrame::ShowStatusMessage(const QString& text) {
  m_StatusPane->setText(text);
}

QLabel* CMainFrame::GetStatusPane(int pane) const {
  return pane == 1 ? m_StatusPane : (pane == 2 ? m_CoordinatesPane : nullptr);
}

QString CMainFrame::GetHelpText() const {
  return m_HelpLabel->text();
}

void CMainFrame::SetHelpText(const QString& text) {
  m_HelpLabel->setText(text);
}

QList<COrvalisFrame*> CMainFrame::GetProjects() const {
  QList<COrvalisFrame*> projects;
  for (QMdiSubWindow* window : m_MdiArea->subWindowList())
    if (auto* project = qobject_cast<COrvalisFrame*>(window->widget())) projects << project;
  return projects;
}

COrvalisFrame* CMainFrame::GetActiveProject() const {
  QMdiSubWindow* window = m_MdiArea->activeSubWindow();
  if (!window && m_MdiArea->subWindowList().size() == 1) window = m_MdiArea->subWindowList()[0];
  return window ? qobject_cast<COrvalisFrame*>(window->widget()) : nullptr;
}

COrvalisFrame* CMainFrame::FindProject(const QString& path) const {
  for (COrvalisFrame* project : GetProjects())
    if (QString::fromStdString(project->GetDocument()->GetPathName()) == path) return project;
  return nullptr;
}

QString CMainFrame::WhyNotLoaded(const QString& path) const {
  if (!IsStreamPath(path.toStdString())) return "only .strm streams can be opened";
  return QString::fromStdString(GetAddSpCloudError());
}

COrvalisFrame* CMainFrame::OpenProject(const QString& givenPath) {
  const QString path = QString::fromStdString(AbsolutePath(givenPath.toStdString()));
  if (COrvalisFrame* open = FindProject(path)) {
    m_MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(open->parentWidget()));
    return nullptr;
  }
  auto* project = new COrvalisFrame(std::make_unique<COrvalisDoc>(path.toStdString()), m_Progress);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool added =
      project->GetDocument()->AddStream(path.toStdString(), project->GetView()) != nullptr;
  QApplication::restoreOverrideCursor();
  if (!added) {
    const QString reason = WhyNotLoaded(path);
    delete project;
    ShowInformation(QString("The 3D model %1 was not loaded: %2.").arg(path, reason));
    return nullptr;
  }
  const int images = m_ProjectCommands->LoadImages(project);
  project->ShowLinks(m_Interactive);
  project->SetLayout(images > 0 ? LAYOUT_STANDARD : LAYOUT_STREAMING);
  RecordOpening(project, images);
  COrvalisView* view = project->GetView();
  connect(view, &COrvalisView::coordinatesChanged, m_CoordinatesPane, &QLabel::setText);
  connect(view, &COrvalisView::helpTip, this, &CMainFrame::SetHelpText);
  connect(view, &COrvalisView::textureStatus, this, &CMainFrame::ShowStatusMessage);
  connect(project->GetImagePanel(), &CImageForm::helpTip, this, &CMainFrame::SetHelpText);
  connect(project->GetImagePanel(), &CImageForm::statusMessage, this,
          &CMainFrame::ShowStatusMessage);
  connect(project->GetDrawingPanel(), &CCadForm::problem, this, &CMainFrame::ShowInformation);
  connect(view, &COrvalisView::regenerated, this, [this, project] {
    UpdateLoadedPointsStatus(project);
    emit projectRegenerated(project);
  });
  QMdiSubWindow* window = m_MdiArea->addSubWindow(project);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->showMaximized();
  RememberRecentFile(path);
  UpdateCommandStates();
  return project;
}

bool CMainFrame::OpenOrActivateProject(const QString& path) {
  if (OpenProject(path)) return true;
  return FindProject(QString::fromStdString(AbsolutePath(path.toStdString()))) != nullptr;
}

void CMainFrame::RunProjectManager() {
  CProjectBrowserDlg browser(m_PictureFolder.toStdString(), this);
  ProjectManagerHost host;
  host.showBrowser = [&browser](const std::vector<CBrowserProject>& projects) {
    const BrowserChoice choice =
        browser.Choose(projects, QString::fromStdString(GetLastBrowsedFolder()));
    if (choice.kind == BrowserChoice::OtherStream) SetLastBrowsedFolder(choice.otherStream);
    return choice;
  };
  host.openStream = [this](const std::string& path) {
    return OpenOrActivateProject(QString::fromStdString(path));
  };
  host.report = [this](const std::string& text, DBMessageKind kind) {
    ShowDataBaseMessage(text, kind, this);
  };
  ::RunProjectManager(m_Database, host);
}

void CMainFrame::RecordOpening(COrvalisFrame* project, int images) {
  if (!m_Database) return;
  COrvalisDoc* document = project->GetDocument();
  RecordProjectOpening(*m_Database, document->GetPathName(),
                       static_cast<int>(document->GetTotalPointsCount()), images);
}

void CMainFrame::UpdateLoadedPointsStatus(COrvalisFrame* project) {
  if (project != GetActiveProject()) return;
  const COrvalisDoc* document = project->GetDocument();
  m_StatusPane->setText(QString::fromStdString(
      FormatLoadedPointsStatus(document->GetLoadedPointsCount(), document->GetTotalPointsCount(),
                               document->GetPointSize(), document->GetColorMode())));
  const QSignalBlocker block(m_PointSizeSlider);
  m_PointSizeSlider->setValue(document->GetPointSize());
}

void CMainFrame::UpdateCommandStates() {
  COrvalisFrame* project = GetActiveProject();
  for (QAction* action : m_ProjectActions) action->setEnabled(project != nullptr);
  m_PointSizeSlider->setEnabled(project != nullptr);
  if (!project) return;
  m_AnaglyphAction->setChecked(project->GetView()->IsAnaglyphOn());
  m_TextureAction->setChecked(project->GetDocument()->IsTextureMode());
  CNimbex* first = project->GetDocument()->GetFirstCloud();
  for (QAction* action : m_DetailGroup->actions())
    action->setChecked(first && action->data().toDouble() == first->GetStreamDetailFactor());
  UpdateLoadedPointsStatus(project);
}

QStringList CMainFrame::GetRecentFiles() const {
  return OpenUserSettings()->value(kRecentFilesKey).toStringList();
}

void CMainFrame::RememberRecentFile(const QString& path) {
  QStringList files = GetRecentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFileCount) files.removeLast();
  OpenUserSettings()->setValue(kRecentFilesKey, files);
  RefreshRecentMenu();
}

void CMainFrame::RefreshRecentMenu() {
  m_RecentMenu->clear();
  const QStringList files = GetRecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* action = m_RecentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(path));
    connect(action, &QAction::triggered, this, [this, path] { OpenProject(path); });
  }
  m_RecentMenu->setEnabled(!files.isEmpty());
}

void CMainFrame::OnOpen() {
  const QStringList paths = QFileDialog::getOpenFileNames(
      this, "Open", QString::fromStdString(GetLastBrowsedFolder()), "STRM Files (*.strm)");
  if (paths.isEmpty()) return;
  SetLastBrowsedFolder(paths.front().toStdString());
  for (const QString& path : paths) OpenProject(path);
}

void CMainFrame::OnAddStream() {
  COrvalisFrame* project = GetActiveProject();
  if (!project) return;
  const QString chosen = QFileDialog::getOpenFileName(
      this, "Add Stream", QString::fromStdString(GetLastBrowsedFolder()), "STRM Files (*.strm)");
  if (chosen.isEmpty()) return;
  const QString path = QString::fromStdString(AbsolutePath(chosen.toStdString()));
  SetLastBrowsedFolder(path.toStdString());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool added =
      project->GetDocument()->AddStream(path.toStdString(), project->GetView()) != nullptr;
  QApplication::restoreOverrideCursor();
  if (!added) {
    ShowInformation(QString("The 3D model %1 was not loaded: %2.").arg(path, WhyNotLoaded(path)));
    return;
  }
  // The scene is drawn about the middle of all the streams, which the new one moved.
  project->GetLinkPage()->RebuildMarkers();
  project->GetView()->Redraw();
}

void CMainFrame::OnClose() {
  if (QMdiSubWindow* window = m_MdiArea->activeSubWindow()) window->close();
}

// A plan has one meaningful preset, the view from the top: the drawing panel shows its
// extents for it; the side and oblique views leave the panel as it is.
void CMainFrame::ApplyPresetView(int view) {
  COrvalisFrame* project = GetActiveProject();
  if (!project) return;
  project->GetView()->ApplyPresetView(view);
  if (view == VIEW_TOP) project->GetDrawingPanel()->GetView()->ZoomExtents();
}

void CMainFrame::ShowPanelLayout(int index) {
  const PanelLayoutCommand& command = kPanelLayoutCommands[index];
  COrvalisFrame* project = GetActiveProject();
  if (project && !project->ShowPanelLayout(command.content))
    SetHelpText(QString("The drawing panel holds %1: the %2 layout shows one opened from a link")
                    .arg(command.missing, command.label));
}

void CMainFrame::OnLayerProperties() {
  COrvalisFrame* project = GetActiveProject();
  CCadForm* panel = project ? project->GetDrawingPanel() : nullptr;
  if (!panel || !panel->GetDrawing()) {
    SetHelpText("The drawing panel holds no drawing whose layers could be shown");
    return;
  }
  CCadLayerDlg dialog(*panel->GetDrawing(), *panel->GetView(), this);
  dialog.exec();
}

void CMainFrame::OnReset() {
  ApplyPresetView(VIEW_TOP);
}

void CMainFrame::OnAnaglyph() {
  if (COrvalisFrame* project = GetActiveProject()) {
    project->GetView()->ToggleAnaglyph();
    m_AnaglyphAction->setChecked(project->GetView()->IsAnaglyphOn());
    m_TextureAction->setChecked(project->GetDocument()->IsTextureMode());
  }
}

void CMainFrame::OnTexture() {
  if (COrvalisFrame* project = GetActiveProject()) {
    project->GetView()->ToggleTexture();
    m_TextureAction->setChecked(project->GetDocument()->IsTextureMode());
  }
}

void CMainFrame::OnStandardLayout() {
  if (COrvalisFrame* project = GetActiveProject()) {
    project->SetLayout(LAYOUT_STANDARD);
    SetHelpText("Drag the thumbnail window border to resize the picture area");
  }
}

void CMainFrame::OnSave() {
  COrvalisFrame* project = GetActiveProject();
  if (!project) return;
  // Outlines drawn on a drawing without a file have nowhere to go but a file the user names.
  if (project->GetDrawingPanel()->HasUnsavedWork()) project->GetDrawingPanel()->SaveDrawingAs();
  project->Save();
}

// A page of a panel that the layout hides brings the panel back.
void CMainFrame::ShowImagePanelTab(int tab) {
  COrvalisFrame* project = GetActiveProject();
  if (!project || !project->GetImagePanel()->ShowTab(tab)) return;
  if (project->GetColumnWidths()[0] == 0) project->SetLayout(LAYOUT_STANDARD);
}

void CMainFrame::OnStreamingLayout() {
  if (COrvalisFrame* project = GetActiveProject()) project->SetLayout(LAYOUT_STREAMING);
}

void CMainFrame::ApplyStreamDetail(double factor) {
  if (COrvalisFrame* project = GetActiveProject()) project->GetView()->ApplyStreamDetail(factor);
}

void CMainFrame::ApplyColorMode(int mode) {
  if (COrvalisFrame* project = GetActiveProject()) project->GetView()->ApplyColorMode(mode);
}

void CMainFrame::ApplyPointSize(int size) {
  if (COrvalisFrame* project = GetActiveProject()) project->GetView()->ApplyPointSize(size);
}

void CMainFrame::OpenHelp(const QString& name) {
  const QString page = m_HelpFolder + "/" + name + ".html";
  if (!QFileInfo::exists(page)) {
    ShowInformation(QString("The tutorial %1 was not found: the help pages are installed with "
                            "Orvalis, and installing it again restores them.")
                        .arg(page));
    return;
  }
  const QString absolute = QFileInfo(page).absoluteFilePath();
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(absolute))) return;
  // No browser on this desktop: the program shows the page itself.
  if (!m_HelpWindow) m_HelpWindow = new CHelpWindow(this);
  m_HelpWindow->ShowPage(absolute);
  SetHelpText("No browser could open the help pages: they are shown in Orvalis's help window");
}

void CMainFrame::ShowInformation(const QString& text) {
  if (m_Interactive)
    QMessageBox::information(this, "Orvalis", text);
  else
    std::fprintf(stderr, "orvalis: %s\n", text.toLocal8Bit().constData());
}

void CMainFrame::OnHelpIta() {
  OpenHelp("[ITA]_Orvalis");
}

void CMainFrame::OnHelpEng() {
  OpenHelp("[ENG]_Orvalis");
}

void CMainFrame::OnInfo() {
  QMessageBox::about(
      this, "Orvalis information",
      QString("<b>Orvalis %1</b><p>Browsing and annotating survey sites captured by laser "
              "scanning and photogrammetry.</p>")
          .arg(QCoreApplication::applicationVersion()));
}
