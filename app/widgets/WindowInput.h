// What a widget hosting a library render window hands to the window handlers: the key and
// button flags of a mouse event, its position in the window's device pixels, which Qt events
// are input that the handlers, not the VTK widget's own adapter, must receive, and the
// forwarding of buttons and the wheel to the handlers of the window `hwnd`.
#pragma once

#include <QEvent>
#include <QMouseEvent>
#include <QPoint>
#include <QWheelEvent>
#include <QWidget>

#include "nimbex/platform/WinTypes.h"
#include "nimbex/window/RenderWindow.h"

inline int KeyFlags(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  int flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) flags |= MK_CONTROL;
  if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
  if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) flags |= MK_MBUTTON;
  return flags;
}

// Qt's logical pixels as the window's device pixels, which the library counts in.
inline WinPoint WindowPixel(const QWidget& widget, const QPoint& position) {
  const double ratio = widget.devicePixelRatioF();
  return {int(position.x() * ratio), int(position.y() * ratio)};
}

inline bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

inline void ForwardButtonPress(WindowId hwnd, const QWidget& widget, const QMouseEvent& event) {
  const WinPoint pt = WindowPixel(widget, event.pos());
  const int flags = KeyFlags(event.modifiers(), event.buttons());
  if (event.button() == Qt::LeftButton)
    RW_OnLButtonDown(hwnd, flags, pt, nullptr);
  else if (event.button() == Qt::MiddleButton)
    RW_OnMButtonDown(hwnd, flags, pt);
  else if (event.button() == Qt::RightButton)
    RW_OnRButtonDown(hwnd, flags, pt);
}

inline void ForwardButtonRelease(WindowId hwnd, const QWidget& widget, const QMouseEvent& event) {
  const WinPoint pt = WindowPixel(widget, event.pos());
  const int flags = KeyFlags(event.modifiers(), event.buttons());
  if (event.button() == Qt::LeftButton)
    RW_OnLButtonUp(hwnd, flags, pt);
  else if (event.button() == Qt::MiddleButton)
    RW_OnMButtonUp(hwnd, flags, pt);
  else if (event.button() == Qt::RightButton)
    RW_OnRButtonUp(hwnd, flags, pt);
}

inline void ForwardWheel(WindowId hwnd, const QWidget& widget, const QWheelEvent& event) {
  const int steps = event.angleDelta().y() / 120;
  if (steps != 0)
    RW_OnMouseWheel(hwnd, KeyFlags(event.modifiers(), event.buttons()),
                    WindowPixel(widget, event.position().toPoint()), steps);
}
