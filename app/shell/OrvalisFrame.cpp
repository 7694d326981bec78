#include "app/shell/OrvalisFrame.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QSplitter>
#include <algorithm>

#include "app/annotations/LinkDlg.h"
#include "app/annotations/MeasureDlg.h"
#include "app/drawings/CadForm.h"
#include "app/images/ImageForm.h"
#include "app/projects/OrvalisDoc.h"
#include "app/shell/OrvalisView.h"
#include "app/shell/Settings.h"
#include "app/shell/ViewCommands.h"

COrvalisFrame::COrvalisFrame(std::unique_ptr<COrvalisDoc> document,
                             TProgressTimeToComplete* progress, QWidget* parent)
    : QWidget(parent), m_Document(std::move(document)) {
  m_Splitter = new QSplitter(Qt::Horizontal, this);
  m_ImagePanel = new CImageForm(m_Splitter);
  m_ImagePanel->setObjectName("imagePanel");
  m_View = new COrvalisView(m_Document.get(), progress, m_Splitter);
  m_View->SetImagePanel(m_ImagePanel);
  connect(m_ImagePanel, &CImageForm::viewChanged, m_View, &COrvalisView::RenderAgain);
  connect(m_ImagePanel, &CImageForm::viewMoved, m_View, &COrvalisView::Redraw);
  AddMeasurePage();
  m_LinkPage = new CLinkDlg(OpenUserSettings);
  m_ImagePanel->AddPage(TAB_LINK, m_LinkPage, "Link",
                        "CTRL+click on the model to add a link in add mode, on a link to delete "
                        "it in delete mode; double click on a link to open it");
  connect(m_LinkPage, &CLinkDlg::viewChanged, m_View, &COrvalisView::RenderAgain);
  connect(m_LinkPage, &CLinkDlg::statusMessage, m_ImagePanel, &CImageForm::statusMessage);
  connect(m_LinkPage, &CLinkDlg::drawingLinkOpened, this, &COrvalisFrame::OpenDrawingLink);
  m_DrawingPanel = new CCadForm(progress, m_Splitter);
  m_DrawingPanel->SetModelWindow([view = QPointer<COrvalisView>(m_View)] {
    return view ? view->GetRenderWindowRecord() : nullptr;
  });
  m_Splitter->setChildrenCollapsible(true);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_Splitter);
  setWindowTitle(QString::fromStdString(m_Document->GetPathName()));
  ApplyLayout();
}

COrvalisFrame::~COrvalisFrame() {
  Save();
  // The markers leave the render window before it goes; the view releases the document's
  // streams and its render window, before the document.
  m_ImagePanel->ReleasePointsOfView();
  m_LinkPage->ReleaseMarkers();
  delete m_View;
  m_View = nullptr;
}

void COrvalisFrame::AddMeasurePage() {
  auto* measure = new CMeasureDlg;
  COrvalisView* view = m_View;
  measure->SetView(
      view, [view](WinPoint pixel, double point[3]) { return view->PickModelPoint(pixel, point); });
  connect(measure, &CMeasureDlg::viewChanged, m_View, &COrvalisView::RenderAgain);
  m_ImagePanel->AddPage(TAB_MEASURE, measure, "Measure",
                        "Shift + Click on the model adds a measure point; select points in the "
                        "list to measure their lengths and areas");
}

void COrvalisFrame::ShowLinks(bool interactive) {
  COrvalisView* view = m_View;
  m_LinkPage->SetInteractive(interactive);
  m_LinkPage->ShowProject(
      m_Document->GetPathName(), view->GetRenderWindowRecord(), m_ImagePanel->GetModelSize(),
      [view](WinPoint pixel, double point[3]) { return view->PickModelPoint(pixel, point); });
}

void COrvalisFrame::OpenDrawingLink(int type, const QString& path) {
  if (!m_DrawingPanel->ConfirmDrawingClose()) return;
  const std::string file = path.toStdString();
  const int loaded = type == LINK_ORTHOPHOTO ? LoadOrthophoto(file)
                     : type == LINK_DEM      ? LoadDem(file)
                                             : LoadDrawing(file);
  if (!loaded) m_LinkPage->ReportDrawingLinkFailure(type, m_DrawingPanel->GetLastError());
}

int COrvalisFrame::Save() {
  const int drawing = m_DrawingPanel->SaveDrawing();
  return m_ImagePanel->SaveState() && drawing;
}

int COrvalisFrame::LoadDrawing(const std::string& path) {
  return LoadIntoPanel(&CCadForm::LoadDrawing, path);
}

int COrvalisFrame::LoadOrthophoto(const std::string& path) {
  return LoadIntoPanel(&CCadForm::LoadOrthophoto, path);
}

int COrvalisFrame::LoadDem(const std::string& path) {
  return LoadIntoPanel(&CCadForm::LoadDem, path);
}

void COrvalisFrame::closeEvent(QCloseEvent* event) {
  if (m_DrawingPanel->ConfirmDrawingClose())
    event->accept();
  else
    event->ignore();
}

int COrvalisFrame::LoadIntoPanel(int (CCadForm::*load)(const std::string&),
                                 const std::string& path) {
  const int loaded = (m_DrawingPanel->*load)(path);
  ApplyPanelLayout(loaded);
  return loaded;
}

void COrvalisFrame::ApplyPanelLayout(bool loaded) {
  if (loaded && ShowPanelLayout(m_DrawingPanel->GetContent())) return;
  SetLayout(m_ImagePanel->GetImages().empty() ? LAYOUT_STREAMING : LAYOUT_STANDARD);
}

int COrvalisFrame::ShowPanelLayout(int content) {
  static const int kLayouts[] = {0, LAYOUT_DRAWING, LAYOUT_ORTHOPHOTO, LAYOUT_DEM};
  if (content <= CAD_PANE_EMPTY || content > CAD_PANE_DEM ||
      m_DrawingPanel->GetContent() != content)
    return 0;
  SetLayout(kLayouts[content]);
  return 1;
}

void COrvalisFrame::SetLayout(int layout) {
  m_Layout = layout;
  ApplyLayout();
}

QList<int> COrvalisFrame::GetColumnWidths() const {
  return m_Splitter->sizes();
}

void COrvalisFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyLayout();
}

void COrvalisFrame::ApplyLayout() {
  const LayoutWidths widths = GetLayoutWidths(m_Layout, width());
  m_ImagePanel->setVisible(widths.images > 0);
  m_DrawingPanel->setVisible(widths.drawing > 0);
  // The view takes what the other columns leave: given a total wider than the window, the
  // splitter would shrink every column in proportion, the image panel with it.
  const int handles = m_Splitter->handleWidth() * ((widths.images > 0) + (widths.drawing > 0));
  const int view = std::max(0, width() - widths.images - widths.drawing - handles);
  m_Splitter->setSizes({widths.images, view, widths.drawing});
  // A panel shown for the first time takes its place only now: the sizes are given again.
  if (m_Splitter->sizes() != QList<int>{widths.images, view, widths.drawing})
    m_Splitter->setSizes({widths.images, view, widths.drawing});
}
