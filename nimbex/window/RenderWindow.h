// The render windows: one record per host window showing streams, kept in a process-wide
// registry keyed by the window id, with the functions that add and remove streams, paint,
// convert between window pixels and model coordinates, snap to drawn geometry and turn the
// host's mouse, timer and character messages into camera interaction.
//
// Coordinates: every window has a centre, the middle of the union of the absolute bounds of
// its streams. VTK draws scene coordinates = absolute coordinates - window centre.
// CoordWinToModel and CoordModelToWin speak scene coordinates; SnapToPoint and
// RW_OnLButtonDown answer absolute ones.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "nimbex/platform/Geometry.h"
#include "nimbex/platform/WinTypes.h"

class CNimbex;
class CTextSink;
class TProgressTimeToComplete;
class vtkAbstractTransform;
class vtkAxesActor;
class vtkBalloonRepresentation;
class vtkBalloonWidget;
class vtkLogoRepresentation;
class vtkLogoWidget;
class vtkLookupTable;
class vtkOrientationMarkerWidget;
class vtkRenderWindow;
class vtkRenderWindowInteractor;
class vtkRenderer;
class vtkScalarBarWidget;
class vtkTransform;

struct RenderWindow {
  vtkRenderer* m_Renderer = nullptr;                  // its active camera projects in parallel
  vtkRenderWindow* m_RenderWindow = nullptr;          // the VTK window
  vtkRenderWindowInteractor* m_Interactor = nullptr;  // null for an off-screen window
  WindowId m_hWnd = nullptr;
  vtkTransform* m_WorldToView = nullptr;          // scene -> normalised device coordinates
  vtkAbstractTransform* m_ViewToWorld = nullptr;  // its inverse
  std::vector<float> m_ZBuffer;                   // depth of the last frame, row 0 at the bottom
  int m_ZBufferSize = 0;
  double m_PixelSize = 1.0;             // scene length of one pixel's diagonal
  double m_ViewCenter[3] = {0, 0, 0};   // scene point under the middle of the view
  double m_ViewRect[4] = {0, 0, 0, 0};  // off screen: min x, min y, max x, max y
  int m_Position[2] = {0, 0};           // pixel of the view's top-left corner
  int m_Drawing = 0;                    // 1 while DrawSpClouds runs
  std::vector<CNimbex*> m_Clouds;       // in the order added; owned
  vtkAxesActor* m_Axes = nullptr;
  vtkOrientationMarkerWidget* m_AxesWidget = nullptr;
  vtkBalloonWidget* m_Balloon = nullptr;
  vtkBalloonRepresentation* m_BalloonRep = nullptr;
  vtkLogoWidget* m_Logo = nullptr;
  vtkLogoRepresentation* m_LogoRep = nullptr;
  vtkScalarBarWidget* m_ScalarBar = nullptr;
  vtkLookupTable* m_ScalarBarLut = nullptr;
  double m_Center[3] = {0, 0, 0};  // the window centre (absolute)

  int m_OffScreen = 0;  // the library made the VTK window and renders it off screen
  // Streams opened in this window write the user's changes back into their headers; a
  // window of a read-only command turns it off before adding streams.
  int m_HeaderWriteBack = 1;
  // Asks the host to repaint the window later without erasing it (button release);
  // empty for off-screen windows.
  std::function<void()> m_Invalidate;
};

// Number of PostRender calls so far.
extern int iRenderProc;

// Makes the record of an on-screen window: the host hands in the VTK window it shows and its
// interactor (both stay the host's) and how to ask for a repaint. The library adds its
// renderer and widgets to them. Returns the existing record when `hwnd` has one; null for a
// null id, window or interactor.
RenderWindow* CreateRenderWindow(WindowId hwnd, vtkRenderWindow* window,
                                 vtkRenderWindowInteractor* interactor,
                                 std::function<void()> invalidate);

// Opens `fileName` in the window `hwnd`. Without a record, an off-screen window makes its own
// off-screen VTK window; an on-screen one must have been made by CreateRenderWindow.
// Null when the stream cannot be opened or the window already shows this file.
CNimbex* AddSpCloud(const char* fileName, WindowId hwnd, int offScreen);
// Why the last AddSpCloud returned null, naming the file where one is at fault; empty after
// a stream was added.
const std::string& GetAddSpCloudError();
int RemoveSpCloud(CNimbex*& cloud, WindowId hwnd);
CNimbex* GetSpCloud(WindowId hwnd, const char* fileName, int* index = nullptr);
CNimbex* GetSpCloud(RenderWindow* window, const char* fileName, int* index);
RenderWindow* GetRenderWindow(WindowId hwnd, int* index = nullptr);
RenderWindow* GetRenderWindow(vtkRenderWindow* window);
// The records showing `cloud`, in registry order, in a new array the caller frees (delete[]).
int GetRenderWindows(CNimbex* cloud, RenderWindow**& windows, int& count);

// Draws every stream of an on-screen window (off screen: only `cloud`) and renders. An
// off-screen window copies its picture into `image` at the window position (black pixels
// stay transparent; an empty image is first sized to hold it); on screen the host's widget
// shows the VTK window itself and `image` may be null.
void DrawSpClouds(WindowId hwnd, WinImage* image, CTextSink* status, CNimbex* cloud,
                  TProgressTimeToComplete* progress);
void PostRender(WindowId hwnd, WinImage* image);
void PostRender(RenderWindow* window, WinImage* image);
void DestroyRenderWindow(WindowId hwnd);

int SetupZBuffer(WindowId hwnd);
int SetupZBuffer(RenderWindow* window);
int SnapToPoint(WindowId hwnd, WinPoint pt, double* out);
int SnapToPoint(RenderWindow* window, WinPoint pt, double* out);
WinRect GetWinPosition(WindowId hwnd);
WinRect GetWinPosition(RenderWindow* window);
void SetWinPosition(WindowId hwnd, WinRect rect);
void SetWinPosition(RenderWindow* window, WinRect rect);
int RefreshViewMatrices(WindowId hwnd);
int RefreshViewMatrices(RenderWindow* window);
int CoordWinToModel(WindowId hwnd, WinPoint pt, double* out);
int CoordWinToModel(RenderWindow* window, WinPoint pt, double* out);
int CoordModelToWin(WindowId hwnd, const double* p, WinPoint* out);
int CoordModelToWin(RenderWindow* window, const double* p, WinPoint* out);
int EvaluateVtkPixelSize(WindowId hwnd);
int EvaluateVtkPixelSize(RenderWindow* window);

// Host window messages. Each returns 1 when it consumed the message.
int RW_OnLButtonDown(WindowId hwnd, int flags, WinPoint pt, Wml::Point3<double>* out);
int RW_OnLButtonUp(WindowId hwnd, int flags, WinPoint pt);
int RW_OnMButtonDown(WindowId hwnd, int flags, WinPoint pt);
int RW_OnMButtonUp(WindowId hwnd, int flags, WinPoint pt);
int RW_OnRButtonDown(WindowId hwnd, int flags, WinPoint pt);
int RW_OnRButtonUp(WindowId hwnd, int flags, WinPoint pt);
int RW_OnMouseMove(WindowId hwnd, int flags, WinPoint pt);
// Wheel steps (positive: away from the user) zoom the camera; the window is invalidated so
// that the next paint loads the detail of the new view.
int RW_OnMouseWheel(WindowId hwnd, int flags, WinPoint pt, int steps);
int RW_OnTimer(WindowId hwnd, unsigned timerId);
int RW_OnChar(WindowId hwnd, unsigned character, unsigned repeatCount, unsigned flags);
