#include "app/shell/OrvalisView.h"

#include <vtkCamera.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkLookupTable.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarBarWidget.h>

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <filesystem>
#include <limits>

#include "app/images/ImageForm.h"
#include "app/images/ViewTexture.h"
#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectFiles.h"
#include "app/shell/ViewCommands.h"
#include "app/widgets/WindowInput.h"
#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

// The view saves the project's overview picture this long after its first paint.
constexpr int kOverviewTimerId = 1000;
constexpr int kOverviewDelayMs = 1500;
constexpr int kOverviewPictureKind = 4;

}  // namespace

COrvalisView::COrvalisView(COrvalisDoc* document, TProgressTimeToComplete* progress,
                           QWidget* parent)
    : QVTKOpenGLNativeWidget(parent), m_Document(document), m_Progress(progress) {
  vtkNew<vtkGenericOpenGLRenderWindow> window;
  // Snapping reads the depth buffer, which multisampling would blur at point edges.
  window->SetMultiSamples(0);
  setRenderWindow(window.Get());
  // Loading detail lets events through while it paints, and the window may show the view's
  // frame buffer then: it must still hold the last whole picture, not a cleared one.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  CreateRenderWindow(this, renderWindow(), renderWindow()->GetInteractor(), [this] { Redraw(); });
}

COrvalisView::~COrvalisView() {
  makeCurrent();
  if (m_Document) m_Document->ReleaseClouds();
  DestroyRenderWindow(this);
  doneCurrent();
}

::RenderWindow* COrvalisView::GetRenderWindowRecord() const {
  return ::GetRenderWindow(static_cast<WindowId>(this));
}

void COrvalisView::Redraw() {
  m_Invalidated = true;
  update();
}

void COrvalisView::RenderAgain() {
  if (isValid()) renderWindow()->Render();
}

bool COrvalisView::event(QEvent* event) {
  // Input goes through the library's handlers only: the widget's own adapter would hand it
  // to the VTK interactor a second time.
  if (IsInputEvent(event->type())) return QOpenGLWidget::event(event);
  return QVTKOpenGLNativeWidget::event(event);
}

void COrvalisView::paintGL() {
  const bool textured = IsPaintingTextured();
  if (m_Invalidated && !QCoreApplication::closingDown()) {
    m_Invalidated = false;
    QString status;
    if (textured)
      status = PaintTextured();
    else
      PaintStreams();
    ++m_RegenerationCount;
    StartOverviewTimerWhenMissing();
    emit regenerated();
    if (textured) emit textureStatus(status);
  }
  QVTKOpenGLNativeWidget::paintGL();
  if (textured && !m_TexturedPicture.isNull() && CameraState() == m_TexturedCamera) {
    QPainter painter(this);
    painter.drawImage(rect(), m_TexturedPicture);
  }
}

void COrvalisView::PaintStreams() {
  if (m_Progress) {
    m_Progress->RestartTimer();
    m_Progress->m_Text = "Rendering";
    m_Progress->SetPos(0);
  }
  DrawSpClouds(this, nullptr, nullptr, nullptr, m_Progress);
  if (m_Progress) {
    m_Progress->m_Text.clear();
    m_Progress->SetPos(0);
  }
}

// The textured picture stands for the camera it was painted from: a camera moved without a
// paint (a flight to a photograph) shows the streams until the next paint.
std::array<double, 10> COrvalisView::CameraState() const {
  std::array<double, 10> state{};
  ::RenderWindow* record = GetRenderWindowRecord();
  if (!record || !record->m_Renderer) return state;
  vtkCamera* camera = record->m_Renderer->GetActiveCamera();
  camera->GetPosition(&state[0]);
  camera->GetFocalPoint(&state[3]);
  camera->GetViewUp(&state[6]);
  state[9] = camera->GetParallelScale();
  return state;
}

// While a button is held the camera moves and the streams show their light sample.
bool COrvalisView::IsPaintingTextured() const {
  return m_Document && m_Document->IsTextureMode() && m_ButtonsHeld == Qt::NoButton;
}

void COrvalisView::ToggleTexture() {
  if (!m_Document) return;
  m_Document->SetTextureMode(!m_Document->IsTextureMode());
  // The photographs are read again each time the mode is turned on: some may have come since.
  m_Texture.reset();
  m_TexturedPicture = QImage();
  Redraw();
}

void COrvalisView::RefreshTexture() {
  if (!m_Texture) return;
  m_Texture.reset();
  Redraw();
}

// The textured picture of the current view; what the status bar says of it.
QString COrvalisView::PaintTextured() {
  if (!m_Texture) {
    m_TextureProblems.clear();
    m_Texture = std::make_unique<CViewTexture>(
        GetRenderWindowRecord(), LoadTexturePhotos(m_Document->GetImages(), m_TextureProblems));
  }
  m_TexturedPicture = QImage();
  QString status;
  if (!m_Texture->DrawTextured(m_Document->GetFirstCloud())) {
    status = "Texture: nothing drawn, the view shows too few points of the model";
  } else {
    const cv::Mat& picture = m_Texture->GetPicture();
    m_TexturedPicture =
        QImage(picture.data, picture.cols, picture.rows, int(picture.step), QImage::Format_BGR888)
            .copy();
    m_TexturedCamera = CameraState();
    const std::string main = m_Texture->GetMainPath();
    status =
        main.empty()
            ? QString("Texture: no photograph sees this view")
            : QString("Texture: main photograph %1")
                  .arg(QString::fromStdString(std::filesystem::path(main).filename().string()));
  }
  if (!m_TextureProblems.empty())
    status += QString(" (%1 photographs left out. %2)")
                  .arg(m_TextureProblems.size())
                  .arg(QString::fromStdString(m_TextureProblems.front()));
  return status;
}

void COrvalisView::resizeGL(int w, int h) {
  QVTKOpenGLNativeWidget::resizeGL(w, h);
  m_Invalidated = true;
}

void COrvalisView::StartOverviewTimerWhenMissing() {
  if (!m_FirstDraw || !m_Document) return;
  const std::string picture = MakeFileName(kOverviewPictureKind, m_Document->GetPathName());
  if (std::filesystem::exists(picture))
    m_FirstDraw = false;
  else if (!m_OverviewTimer.isActive())
    m_OverviewTimer.start(kOverviewDelayMs, this);
}

void COrvalisView::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_OverviewTimer.timerId())
    return QVTKOpenGLNativeWidget::timerEvent(event);
  RW_OnTimer(this, kOverviewTimerId);
  m_OverviewTimer.stop();
  // A view whose window was closed (and waits to be deleted) or hidden cannot paint the
  // picture; the next paint of a view shown again starts the timer again.
  if (!isVisible()) return;
  m_FirstDraw = false;
  SaveOverviewPicture();
}

void COrvalisView::SaveOverviewPicture() {
  if (!m_Document) return;
  const std::string picture = MakeFileName(kOverviewPictureKind, m_Document->GetPathName());
  grabFramebuffer().save(QString::fromStdString(picture), "JPG");
  emit overviewSaved();
}

WinPoint COrvalisView::ToWindowPixel(const QPoint& position) const {
  return WindowPixel(*this, position);
}

void COrvalisView::mousePressEvent(QMouseEvent* event) {
  m_ButtonsHeld = event->buttons();
  if (event->button() == Qt::LeftButton) {
    emit helpTip("Left click to rotate the view; right click to zoom; wheel button to pan");
    const WinPoint pt = ToWindowPixel(event->pos());
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (m_ImagePanel && m_ImagePanel->PageTakesClick(pt, shift, control)) return;
    const bool controlOnly = control && !shift;
    if (controlOnly && m_ImagePanel && m_ImagePanel->SelectMarkerAt(pt)) return;
  }
  ForwardButtonPress(this, *this, *event);
}

void COrvalisView::mouseReleaseEvent(QMouseEvent* event) {
  m_ButtonsHeld = event->buttons();
  ForwardButtonRelease(this, *this, *event);
}

void COrvalisView::mouseMoveEvent(QMouseEvent* event) {
  // The textured picture has no depth to snap to: the cursor moves the camera only while a
  // button is held.
  if (m_Document && m_Document->IsTextureMode() && event->buttons() == Qt::NoButton) return;
  setFocus();
  RW_OnMouseMove(this, KeyFlags(event->modifiers(), event->buttons()), ToWindowPixel(event->pos()));
  if (event->buttons() == Qt::NoButton) ShowCursorCoordinates(event->pos());
}

void COrvalisView::mouseDoubleClickEvent(QMouseEvent* event) {
  const WinPoint pt = ToWindowPixel(event->pos());
  if (event->button() == Qt::LeftButton && m_ImagePanel &&
      (m_ImagePanel->PageTakesDoubleClick(pt) || m_ImagePanel->OpenPictureAt(pt)))
    return;
  mousePressEvent(event);
}

void COrvalisView::wheelEvent(QWheelEvent* event) {
  ForwardWheel(this, *this, *event);
}

void COrvalisView::enterEvent(QEvent*) {}

void COrvalisView::leaveEvent(QEvent*) {
  emit coordinatesChanged("No value");
}

int COrvalisView::PickModelPoint(WinPoint pixel, double point[3]) {
  makeCurrent();
  const int found = SnapToPoint(this, pixel, point);
  doneCurrent();
  return found;
}

void COrvalisView::ShowCursorCoordinates(const QPoint& position) {
  double point[3];
  const bool found = PickModelPoint(ToWindowPixel(position), point) != 0;
  emit coordinatesChanged(QString::fromStdString(FormatCursorCoordinates(found ? point : nullptr)));
}

void COrvalisView::keyPressEvent(QKeyEvent* event) {
  if (!m_Document) return;
  switch (event->key()) {
    case Qt::Key_Left:
      ApplyPointSize(SteppedPointSize(m_Document->GetPointSize(), -1));
      return;
    case Qt::Key_Right:
      ApplyPointSize(SteppedPointSize(m_Document->GetPointSize(), +1));
      return;
    case Qt::Key_Up:
      StepColorMode(NextColourMode);
      return;
    case Qt::Key_Down:
      StepColorMode(PreviousColourMode);
      return;
    case Qt::Key_F:
      if (m_ImagePanel) m_ImagePanel->ShowTab(TAB_FILTERS);
      return;
    case Qt::Key_N:
      if (m_ImagePanel) m_ImagePanel->ShowTab(TAB_NOTES);
      return;
    case Qt::Key_M:
      if (m_ImagePanel) m_ImagePanel->ShowTab(TAB_MEASURE);
      return;
    case Qt::Key_L:
      if (m_ImagePanel) m_ImagePanel->ShowTab(TAB_LINK);
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).unicode() < 128)
    RW_OnChar(this, text.at(0).unicode(), event->isAutoRepeat() ? 2 : 1, 0);
}

void COrvalisView::ApplyColorMode(int mode) {
  if (!m_Document || m_Document->GetClouds().empty()) return;
  if (!m_Document->SetColorMode(mode)) {
    emit helpTip(QString("%1 colours cannot be shown: a stream of this project has no such data")
                     .arg(StatusModeName(mode)));
    return;
  }
  UpdateScalarBar();
  Redraw();
}

// The arrow keys pass over the modes that the streams cannot show; elevation always can.
void COrvalisView::StepColorMode(int (*step)(int mode)) {
  if (!m_Document || m_Document->GetClouds().empty()) return;
  int mode = m_Document->GetColorMode();
  for (int tried = 0; tried < kColourModeCount; ++tried) {
    mode = step(mode);
    if (m_Document->SetColorMode(mode)) {
      UpdateScalarBar();
      Redraw();
      return;
    }
  }
}

void COrvalisView::ApplyPointSize(int size) {
  if (!m_Document || !m_Document->SetPointSize(size)) return;
  Redraw();
}

void COrvalisView::ApplyPresetView(int view) {
  if (!m_Document) return;
  m_Document->SetPresetView(view);
  Redraw();
}

void COrvalisView::ApplyStreamDetail(double factor) {
  if (!m_Document) return;
  m_Document->SetStreamDetail(factor);
  Redraw();
}

void COrvalisView::ToggleAnaglyph() {
  vtkRenderWindow* window = renderWindow();
  if (window->GetStereoRender()) {
    window->StereoRenderOff();
  } else {
    window->SetStereoTypeToAnaglyph();
    window->StereoRenderOn();
  }
  Redraw();
}

bool COrvalisView::IsAnaglyphOn() const {
  return renderWindow()->GetStereoRender() != 0;
}

// The legend shows the intensity or elevation scale when every stream uses the same one.
void COrvalisView::UpdateScalarBar() {
  ::RenderWindow* record = GetRenderWindowRecord();
  if (!record || !record->m_ScalarBar || !record->m_ScalarBarLut) return;
  bool allIntensity = true, allElevation = true;
  double low = std::numeric_limits<double>::max(), high = -low;
  for (const auto& entry : m_Document->GetClouds()) {
    CNimbex* cloud = entry.second;
    allIntensity = allIntensity && cloud->GetCVM() == CVM_INTENSITY;
    allElevation = allElevation && cloud->GetCVM() == CVM_ELEVATION;
  }
  if (m_Document->GetClouds().empty() || (!allIntensity && !allElevation)) {
    record->m_ScalarBar->Off();
    return;
  }
  for (const auto& entry : m_Document->GetClouds()) {
    CNimbex* cloud = entry.second;
    double offset[3];
    cloud->GetCloudOffset(offset);
    const double* range = allIntensity ? cloud->GetIntensityRange() : cloud->GetElevationRange();
    const double shift = allIntensity ? 0.0 : offset[2];
    low = std::min(low, range[0] + shift);
    high = std::max(high, range[1] + shift);
  }
  record->m_ScalarBar->GetScalarBarActor()->SetTitle(allIntensity ? "Intensity" : "Elevation");
  record->m_ScalarBarLut->SetRange(low, high);
  record->m_ScalarBar->On();
}
