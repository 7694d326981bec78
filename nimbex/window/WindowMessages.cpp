// The host's mouse, wheel, timer and character messages, turned into camera interaction by
// the window's interactor. While a button is down every stream shows its light sample; the
// release asks the host for a repaint, which loads the detail of the new view.
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>

#include <cstring>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

// Keys the interactor would take to quit, exit, switch to joystick mode, pick, fly to,
// change the representation or stereo: the host owns those decisions.
constexpr char kSwallowedKeys[] = "qQeEjJpPfFsSmMwW3";

bool IsSwallowedKey(unsigned character) {
  return character != 0 && character < 0x80 &&
         std::strchr(kSwallowedKeys, static_cast<int>(character)) != nullptr;
}

// The record, when it has an interactor that takes events.
RenderWindow* InteractiveWindow(WindowId hwnd) {
  RenderWindow* window = GetRenderWindow(hwnd);
  if (!window || !window->m_Interactor || !window->m_Interactor->GetEnabled()) return nullptr;
  return window;
}

// Interactor positions count from the bottom: it must know the window's present height.
void SetEventInformation(RenderWindow* window, int flags, WinPoint pt) {
  vtkRenderWindowInteractor* interactor = window->m_Interactor;
  if (window->m_RenderWindow) {
    const int* size = window->m_RenderWindow->GetSize();
    const int* known = interactor->GetSize();
    if (known[0] != size[0] || known[1] != size[1]) interactor->SetSize(size[0], size[1]);
  }
  interactor->SetEventInformationFlipY(pt.x, pt.y, (flags & MK_CONTROL) != 0,
                                       (flags & MK_SHIFT) != 0);
}

// Gives every stream's mapper the poly data `shown` picks (its mask or its detail).
void ShowOnMappers(RenderWindow* window, vtkPolyData* (CNimbex::*shown)() const) {
  for (CNimbex* cloud : window->m_Clouds) {
    vtkPolyDataMapper* mapper = cloud->GetMapper();
    vtkPolyData* data = (cloud->*shown)();
    if (!mapper || !data) continue;
    mapper->SetInputData(data);
    mapper->Update();
  }
}

void Invalidate(RenderWindow* window) {
  if (window->m_Invalidate) window->m_Invalidate();
}

int ButtonDown(RenderWindow* window, int flags, WinPoint pt, unsigned long event) {
  ShowOnMappers(window, &CNimbex::GetMaskPolyData);
  SetEventInformation(window, flags, pt);
  window->m_Interactor->InvokeEvent(event);
  return 1;
}

int ButtonUp(WindowId hwnd, int flags, WinPoint pt, unsigned long event) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window) return 0;
  ShowOnMappers(window, &CNimbex::GetRenderPolyData);
  SetEventInformation(window, flags, pt);
  window->m_Interactor->InvokeEvent(event);
  Invalidate(window);
  RefreshViewMatrices(window);
  return 1;
}

// Turns the camera around the absolute point: focal point there, same viewing offset.
void FocusCameraOn(RenderWindow* window, const double* absolute) {
  vtkCamera* camera = window->m_Renderer->GetActiveCamera();
  double focal[3], position[3], scene[3];
  camera->GetFocalPoint(focal);
  camera->GetPosition(position);
  for (int axis = 0; axis < 3; ++axis) {
    scene[axis] = absolute[axis] - window->m_Center[axis];
    position[axis] += scene[axis] - focal[axis];
  }
  camera->SetFocalPoint(scene);
  camera->SetPosition(position);
}

}  // namespace

// Shift and Control: turn around the point under the cursor. Shift alone: answer the point
// under the cursor, and refuse the click when there is none or nowhere to put it.
int RW_OnLButtonDown(WindowId hwnd, int flags, WinPoint pt, Wml::Point3<double>* out) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window) return 0;
  const bool shift = (flags & MK_SHIFT) != 0;
  const bool control = (flags & MK_CONTROL) != 0;
  double snapped[3];
  if (shift && control) {
    if (SnapToPoint(window, pt, snapped)) FocusCameraOn(window, snapped);
  } else if (shift) {
    if (!out || !SnapToPoint(window, pt, snapped)) return 0;
    *out = Wml::Point3<double>(snapped);
  }
  return ButtonDown(window, flags, pt, vtkCommand::LeftButtonPressEvent);
}

int RW_OnLButtonUp(WindowId hwnd, int flags, WinPoint pt) {
  return ButtonUp(hwnd, flags, pt, vtkCommand::LeftButtonReleaseEvent);
}

int RW_OnMButtonDown(WindowId hwnd, int flags, WinPoint pt) {
  RenderWindow* window = InteractiveWindow(hwnd);
  return window ? ButtonDown(window, flags, pt, vtkCommand::MiddleButtonPressEvent) : 0;
}

int RW_OnMButtonUp(WindowId hwnd, int flags, WinPoint pt) {
  return ButtonUp(hwnd, flags, pt, vtkCommand::MiddleButtonReleaseEvent);
}

int RW_OnRButtonDown(WindowId hwnd, int flags, WinPoint pt) {
  RenderWindow* window = InteractiveWindow(hwnd);
  return window ? ButtonDown(window, flags, pt, vtkCommand::RightButtonPressEvent) : 0;
}

int RW_OnRButtonUp(WindowId hwnd, int flags, WinPoint pt) {
  return ButtonUp(hwnd, flags, pt, vtkCommand::RightButtonReleaseEvent);
}

int RW_OnMouseMove(WindowId hwnd, int flags, WinPoint pt) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window) return 0;
  SetEventInformation(window, flags, pt);
  window->m_Interactor->InvokeEvent(vtkCommand::MouseMoveEvent);
  return 1;
}

int RW_OnMouseWheel(WindowId hwnd, int flags, WinPoint pt, int steps) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window || steps == 0) return 0;
  SetEventInformation(window, flags, pt);
  const unsigned long event =
      steps > 0 ? vtkCommand::MouseWheelForwardEvent : vtkCommand::MouseWheelBackwardEvent;
  for (int step = 0; step < (steps > 0 ? steps : -steps); ++step)
    window->m_Interactor->InvokeEvent(event);
  Invalidate(window);
  RefreshViewMatrices(window);
  return 1;
}

int RW_OnTimer(WindowId hwnd, unsigned timerId) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window) return 0;
  int id = static_cast<int>(timerId);
  window->m_Interactor->SetTimerEventId(id);
  window->m_Interactor->InvokeEvent(vtkCommand::TimerEvent, &id);
  return 1;
}

int RW_OnChar(WindowId hwnd, unsigned character, unsigned repeatCount, unsigned /*flags*/) {
  RenderWindow* window = InteractiveWindow(hwnd);
  if (!window || IsSwallowedKey(character)) return 0;
  // A wider character must not be cut down to a byte that names one of those keys.
  window->m_Interactor->SetKeyCode(character <= 0xFF ? static_cast<char>(character) : 0);
  window->m_Interactor->SetRepeatCount(static_cast<int>(repeatCount));
  window->m_Interactor->InvokeEvent(vtkCommand::CharEvent);
  return 1;
}
