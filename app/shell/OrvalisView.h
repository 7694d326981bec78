// The project's 3D view: a VTK widget whose render window is a Nimbex render window. Every
// mouse, timer and character event goes through the library's window handlers exactly once
// (Qt's own forwarding to VTK is stopped), and painting regenerates the streams' detail
// through DrawSpClouds when the view was invalidated.
#pragma once

#include <QVTKOpenGLNativeWidget.h>

#include <QBasicTimer>
#include <QImage>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "nimbex/platform/WinTypes.h"

class CImageForm;
class CViewTexture;
class COrvalisDoc;
class TProgressTimeToComplete;
class CTextSink;
struct RenderWindow;

class COrvalisView : public QVTKOpenGLNativeWidget {
  Q_OBJECT
 public:
  COrvalisView(COrvalisDoc* document, TProgressTimeToComplete* progress, QWidget* parent = nullptr);
  ~COrvalisView() override;

  COrvalisDoc* GetDocument() const { return m_Document; }
  // The project window's image panel: CTRL+clicks and double clicks on camera markers go to
  // it, and the F, M and N keys show its pages.
  void SetImagePanel(CImageForm* panel) { m_ImagePanel = panel; }
  ::RenderWindow* GetRenderWindowRecord() const;
  // The absolute model point drawn at (or next to) a window pixel; 1 when there is one.
  int PickModelPoint(WinPoint pixel, double point[3]);
  // Asks for a paint that loads the detail of the current view.
  void Redraw();
  // Renders the view again with the detail already loaded (markers changed).
  void RenderAgain();
  // Sets the colour mode of every stream, shows the scalar bar when all streams are coloured
  // by intensity or all by elevation, and redraws. A mode that a stream cannot show changes
  // nothing; the help bar says why.
  void ApplyColorMode(int mode);
  void ApplyPointSize(int size);
  void ApplyPresetView(int view);
  void ApplyStreamDetail(double factor);
  void ToggleAnaglyph();
  bool IsAnaglyphOn() const;
  // Turns the document's texture mode on or off and redraws: while on, the view paints the
  // model textured from the oriented photographs, and the light sample while a button is held.
  void ToggleTexture();
  // The project's photographs changed: a textured view reads them again.
  void RefreshTexture();
  // The textured picture's maker while texture mode is on, else null.
  CViewTexture* GetTexture() const { return m_Texture.get(); }
  // Number of paints that loaded detail so far.
  int GetRegenerationCount() const { return m_RegenerationCount; }
  // True while the project's missing overview picture waits to be saved after the first paint.
  bool IsOverviewPending() const { return m_OverviewTimer.isActive(); }

 signals:
  void coordinatesChanged(const QString& text);
  void helpTip(const QString& text);
  // After every paint that loaded detail.
  void regenerated();
  // The project's overview picture was written.
  void overviewSaved();
  // After every textured paint: which photograph is the main one, or why nothing was drawn.
  void textureStatus(const QString& text);

 protected:
  bool event(QEvent* event) override;
  void paintGL() override;
  void resizeGL(int w, int h) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void enterEvent(QEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Qt's logical pixels as the window's device pixels, which the library counts in.
  WinPoint ToWindowPixel(const QPoint& position) const;
  void StepColorMode(int (*step)(int mode));
  void UpdateScalarBar();
  void ShowCursorCoordinates(const QPoint& position);
  void SaveOverviewPicture();
  void StartOverviewTimerWhenMissing();
  void PaintStreams();
  QString PaintTextured();
  bool IsPaintingTextured() const;
  std::array<double, 10> CameraState() const;

  COrvalisDoc* m_Document;
  CImageForm* m_ImagePanel = nullptr;
  TProgressTimeToComplete* m_Progress;
  bool m_Invalidated = true;
  bool m_FirstDraw = true;
  int m_RegenerationCount = 0;
  QBasicTimer m_OverviewTimer;
  Qt::MouseButtons m_ButtonsHeld = Qt::NoButton;
  std::unique_ptr<CViewTexture> m_Texture;
  QImage m_TexturedPicture;
  std::array<double, 10> m_TexturedCamera{};
  std::vector<std::string> m_TextureProblems;
};
