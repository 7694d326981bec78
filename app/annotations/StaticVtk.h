// A library render window inside a dialog: a VTK widget whose VTK window becomes a Nimbex
// render window. A paint after the window was invalidated loads the detail of the current
// view through DrawSpClouds, with the dialog's progress control; mouse buttons, moves and the
// wheel go to the library's window handlers exactly once (Qt's own forwarding is stopped), so
// the camera turns, zooms and pans as in the project's 3D view.
#pragma once

#include <QVTKOpenGLNativeWidget.h>

#include "nimbex/platform/WinTypes.h"

class TProgressTimeToComplete;
struct RenderWindow;

class CStaticVtk : public QVTKOpenGLNativeWidget {
  Q_OBJECT
 public:
  // `progress` (may be null) shows how far loading the detail got while the window paints.
  explicit CStaticVtk(TProgressTimeToComplete* progress, QWidget* parent = nullptr);
  // Closes the window's streams with its render window.
  ~CStaticVtk() override;

  ::RenderWindow* GetRenderWindowRecord() const;
  // Asks for a paint that loads the detail of the current view.
  void Redraw();
  // Number of paints that loaded detail so far.
  int GetRegenerationCount() const { return m_RegenerationCount; }

 signals:
  // After every paint that loaded detail.
  void regenerated();

 protected:
  bool event(QEvent* event) override;
  void paintGL() override;
  void resizeGL(int w, int h) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  TProgressTimeToComplete* m_Progress;
  bool m_Invalidated = true;
  int m_RegenerationCount = 0;
};
