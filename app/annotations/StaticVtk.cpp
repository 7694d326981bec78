#include "app/annotations/StaticVtk.h"

#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkNew.h>

#include <QCoreApplication>

#include "app/widgets/WindowInput.h"
#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/window/RenderWindow.h"

CStaticVtk::CStaticVtk(TProgressTimeToComplete* progress, QWidget* parent)
    : QVTKOpenGLNativeWidget(parent), m_Progress(progress) {
  vtkNew<vtkGenericOpenGLRenderWindow> window;
  // Snapping reads the depth buffer, which multisampling would blur at point edges.
  window->SetMultiSamples(0);
  setRenderWindow(window.Get());
  // Loading detail lets events through while it paints: the frame buffer shown meanwhile
  // must still hold the last whole picture.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  setFocusPolicy(Qt::StrongFocus);
  CreateRenderWindow(this, renderWindow(), renderWindow()->GetInteractor(), [this] { Redraw(); });
}

CStaticVtk::~CStaticVtk() {
  makeCurrent();
  DestroyRenderWindow(this);
  doneCurrent();
}

::RenderWindow* CStaticVtk::GetRenderWindowRecord() const {
  return ::GetRenderWindow(static_cast<WindowId>(this));
}

void CStaticVtk::Redraw() {
  m_Invalidated = true;
  update();
}

bool CStaticVtk::event(QEvent* event) {
  // Input goes through the library's handlers only: the widget's own adapter would hand it
  // to the VTK interactor a second time.
  if (IsInputEvent(event->type())) return QOpenGLWidget::event(event);
  return QVTKOpenGLNativeWidget::event(event);
}

void CStaticVtk::paintGL() {
  if (m_Invalidated && !QCoreApplication::closingDown()) {
    m_Invalidated = false;
    if (m_Progress) m_Progress->RestartTimer();
    DrawSpClouds(this, nullptr, nullptr, nullptr, m_Progress);
    // The library renders only windows with streams; models of the host's own are rendered
    // here.
    if (GetRenderWindowRecord()->m_Clouds.empty()) renderWindow()->Render();
    if (m_Progress) m_Progress->SetPos(0);
    ++m_RegenerationCount;
    emit regenerated();
  }
  QVTKOpenGLNativeWidget::paintGL();
}

void CStaticVtk::resizeGL(int w, int h) {
  QVTKOpenGLNativeWidget::resizeGL(w, h);
  m_Invalidated = true;
}

void CStaticVtk::mousePressEvent(QMouseEvent* event) {
  ForwardButtonPress(this, *this, *event);
}

void CStaticVtk::mouseReleaseEvent(QMouseEvent* event) {
  ForwardButtonRelease(this, *this, *event);
}

void CStaticVtk::mouseMoveEvent(QMouseEvent* event) {
  RW_OnMouseMove(this, KeyFlags(event->modifiers(), event->buttons()),
                 WindowPixel(*this, event->pos()));
}

void CStaticVtk::wheelEvent(QWheelEvent* event) {
  ForwardWheel(this, *this, *event);
}
