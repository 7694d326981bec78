// Painting a window, reading back its depth and picture, and converting between window
// pixels and scene coordinates through the camera of the last frame.
#include <vtkCamera.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkHomogeneousTransform.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cmath>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"
#include "nimbex/window/WindowInternal.h"

namespace {

// Farthest depth: nothing was drawn at a pixel that keeps it.
constexpr float kEmptyDepth = 1.0f;
// How far from the asked pixel snapping looks for drawn geometry.
constexpr int kSnapRadius = 6;

bool WindowSize(const RenderWindow* window, int& width, int& height) {
  const int* size = window->m_RenderWindow->GetSize();
  width = size[0];
  height = size[1];
  return width > 0 && height > 0;
}

// The scene point drawn at pixel column x, depth-buffer row r (row 0 at the bottom).
int Unproject(const RenderWindow* window, int x, int r, float depth, int width, int height,
              double* scene) {
  const double device[3] = {(x + 0.5) / (width / 2.0) - 1.0, (r + 0.5) / (height / 2.0) - 1.0,
                            2.0 * depth - 1.0};
  return TransformHomogeneous(window->m_ViewToWorld, device, scene);
}

// Scene units per pixel of an off-screen window showing its view rectangle.
int OffScreenScale(const RenderWindow* window, double& scale) {
  int width = 0, height = 0;
  if (!WindowSize(window, width, height) || width < 2 || height < 2) return 0;
  const double* rect = window->m_ViewRect;
  scale = std::max(std::fabs(rect[2] - rect[0]) / (width - 1),
                   std::fabs(rect[3] - rect[1]) / (height - 1));
  return scale > 0.0;
}

bool IsShown(const RenderWindow* window, const CNimbex* cloud) {
  return std::find(window->m_Clouds.begin(), window->m_Clouds.end(), cloud) !=
         window->m_Clouds.end();
}

// While a pass reads, it pumps messages and its streams have given their mappers up: a render
// then (a camera flight, a marker shown) would put an empty scene on the screen. A window
// embedded in the host keeps its last frame instead until the pass is over.
class CLastFrameKept {
 public:
  explicit CLastFrameKept(vtkRenderWindow* renderWindow)
      : m_Window(vtkGenericOpenGLRenderWindow::SafeDownCast(renderWindow)),
        m_WasReady(m_Window && m_Window->GetReadyForRendering()) {
    if (m_WasReady) m_Window->SetReadyForRendering(false);
  }
  ~CLastFrameKept() {
    if (m_WasReady) m_Window->SetReadyForRendering(true);
  }

 private:
  vtkGenericOpenGLRenderWindow* m_Window;
  bool m_WasReady;
};

void DrawClouds(RenderWindow* window, CTextSink* status, CNimbex* cloud,
                TProgressTimeToComplete* progress) {
  const CLastFrameKept lastFrame(window->m_OffScreen ? nullptr : window->m_RenderWindow);
  window->m_Drawing = 1;
  if (!window->m_OffScreen) {
    // By index: a stream removed while loading pumps messages must not derail the loop.
    for (std::size_t i = 0; i < window->m_Clouds.size(); ++i)
      window->m_Clouds[i]->DrawCloud(window->m_PixelSize, status, progress, 0);
  } else if (cloud && IsShown(window, cloud)) {
    cloud->DrawCloud(window->m_PixelSize, status, progress, 0);
  }
  window->m_Drawing = 0;
}

// Copies what the off-screen window rendered into `image` at the window position, scaled
// to the position's size; black pixels are transparent and leave the image as it was.
void CopyPicture(RenderWindow* window, WinImage* image) {
  int sourceWidth = 0, sourceHeight = 0;
  if (!WindowSize(window, sourceWidth, sourceHeight)) return;
  const WinRect target = GetWinPosition(window);
  const int width = target.right - target.left + 1;
  const int height = target.bottom - target.top + 1;
  if (image->width == 0 && target.left + width > 0 && target.top + height > 0)
    image->Resize(target.left + width, target.top + height);
  if (image->width <= 0 || image->height <= 0 ||
      image->rgb.size() < static_cast<std::size_t>(image->width) * image->height * 3)
    return;
  vtkNew<vtkUnsignedCharArray> pixels;
  if (!window->m_RenderWindow->GetPixelData(0, 0, sourceWidth - 1, sourceHeight - 1, 1, pixels))
    return;
  const unsigned char* source = pixels->GetPointer(0);
  for (int row = 0; row < height; ++row) {
    const int y = target.top + row;
    if (y < 0 || y >= image->height) continue;
    // The window's pixels come bottom row first.
    const int sourceRow = sourceHeight - 1 - row * sourceHeight / height;
    for (int column = 0; column < width; ++column) {
      const int x = target.left + column;
      if (x < 0 || x >= image->width) continue;
      const int sourceColumn = column * sourceWidth / width;
      const unsigned char* rgb = source + (sourceRow * sourceWidth + sourceColumn) * 3;
      if (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0) continue;
      std::copy(rgb, rgb + 3, image->Pixel(x, y));
    }
  }
}

bool HasDepth(const RenderWindow* window, int x, int r, int width, int height) {
  return x >= 0 && x < width && r >= 0 && r < height &&
         window->m_ZBuffer[static_cast<std::size_t>(r) * width + x] != kEmptyDepth;
}

// The absolute point drawn at pixel (x, r) of the freshly read depth buffer.
int SnapResult(const RenderWindow* window, int x, int r, int width, int height, double* out) {
  const float depth = window->m_ZBuffer[static_cast<std::size_t>(r) * width + x];
  if (!Unproject(window, x, r, depth, width, height, out)) return 0;
  for (int axis = 0; axis < 3; ++axis) out[axis] += window->m_Center[axis];
  return 1;
}

}  // namespace

int TransformHomogeneous(vtkAbstractTransform* transform, const double in[3], double out[3]) {
  auto* homogeneous = vtkHomogeneousTransform::SafeDownCast(transform);
  if (!homogeneous) return 0;
  const double point[4] = {in[0], in[1], in[2], 1.0};
  double result[4];
  homogeneous->GetMatrix()->MultiplyPoint(point, result);
  if (result[3] == 0.0) return 0;
  for (int axis = 0; axis < 3; ++axis) out[axis] = result[axis] / result[3];
  return 1;
}

// Painting. On screen the host's widget shows the VTK window itself, so `image` is only
// needed by off-screen windows.
void DrawSpClouds(WindowId hwnd, WinImage* image, CTextSink* status, CNimbex* cloud,
                  TProgressTimeToComplete* progress) {
  RenderWindow* window = GetRenderWindow(hwnd);
  if (!window || !window->m_RenderWindow || window->m_Clouds.empty()) return;
  if (window->m_OffScreen && !image) return;
  // A paint requested while loading pumps messages would release the data being loaded.
  if (window->m_Drawing) return;
  // The camera may have moved since the last frame (keys, wheel): load what it shows now.
  RefreshViewMatrices(window);
  if (!EvaluateVtkPixelSize(window)) return;
  DrawClouds(window, status, cloud, progress);
  if (cloud && cloud->IsTextureActive()) return;
  window->m_RenderWindow->Render();
  PostRender(window, image);
}

void PostRender(WindowId hwnd, WinImage* image) {
  PostRender(GetRenderWindow(hwnd), image);
}

void PostRender(RenderWindow* window, WinImage* image) {
  if (!window) return;
  SetupZBuffer(window);
  RefreshViewMatrices(window);
  ++iRenderProc;
  if (!window->m_OffScreen) return;
  if (image && window->m_RenderWindow) CopyPicture(window, image);
  for (CNimbex* cloud : window->m_Clouds) cloud->PostRender();
}

int SetupZBuffer(WindowId hwnd) {
  return SetupZBuffer(GetRenderWindow(hwnd));
}

int SetupZBuffer(RenderWindow* window) {
  if (!window || !window->m_RenderWindow) return 0;
  window->m_ZBuffer.clear();
  window->m_ZBufferSize = 0;
  int width = 0, height = 0;
  // A window that never rendered has no frame (nor a context) to read.
  if (!WindowSize(window, width, height) || window->m_RenderWindow->GetNeverRendered()) return 0;
  window->m_ZBuffer.resize(static_cast<std::size_t>(width) * height);
  if (!window->m_RenderWindow->GetZbufferData(0, 0, width - 1, height - 1,
                                              window->m_ZBuffer.data())) {
    window->m_ZBuffer.clear();
    return 0;
  }
  window->m_ZBufferSize = width * height;
  return 1;
}

int RefreshViewMatrices(WindowId hwnd) {
  return RefreshViewMatrices(GetRenderWindow(hwnd));
}

int RefreshViewMatrices(RenderWindow* window) {
  if (!window || !window->m_Renderer || !window->m_WorldToView) return 0;
  // The aspect the camera projects with when it renders: the renderer's pixel size in the
  // window as it is now (the renderer's own cached aspect can be stale).
  int width = 0, height = 0, left = 0, bottom = 0;
  if (window->m_Renderer->GetVTKWindow())
    window->m_Renderer->GetTiledSizeAndOrigin(&width, &height, &left, &bottom);
  if (width <= 0 || height <= 0) return 0;
  vtkCamera* camera = window->m_Renderer->GetActiveCamera();
  window->m_WorldToView->SetMatrix(
      camera->GetCompositeProjectionTransformMatrix(double(width) / height, -1.0, 1.0));
  window->m_ViewToWorld = window->m_WorldToView->GetInverse();
  return 1;
}

int EvaluateVtkPixelSize(WindowId hwnd) {
  return EvaluateVtkPixelSize(GetRenderWindow(hwnd));
}

int EvaluateVtkPixelSize(RenderWindow* window) {
  if (!window || !window->m_Renderer || !window->m_RenderWindow || !window->m_WorldToView ||
      !window->m_ViewToWorld)
    return 0;
  int width = 0, height = 0;
  if (!WindowSize(window, width, height)) return 0;
  const double origin[3] = {0.0, 0.0, 0.0};
  if (!TransformHomogeneous(window->m_ViewToWorld, origin, window->m_ViewCenter)) return 0;
  if (window->m_OffScreen) {
    const double* rect = window->m_ViewRect;
    window->m_PixelSize = ((rect[3] - rect[1]) / height + (rect[2] - rect[0]) / width) / 2.0;
    return 1;
  }
  const double step[3] = {2.0 / width, 2.0 / height, 0.0};
  double q[3];
  if (!TransformHomogeneous(window->m_ViewToWorld, step, q)) return 0;
  window->m_PixelSize = std::sqrt(vtkMath::Distance2BetweenPoints(q, window->m_ViewCenter));
  return 1;
}

WinRect GetWinPosition(WindowId hwnd) {
  return GetWinPosition(GetRenderWindow(hwnd));
}

WinRect GetWinPosition(RenderWindow* window) {
  WinRect rect;
  if (!window || !window->m_RenderWindow) return rect;
  const int* size = window->m_RenderWindow->GetSize();
  rect.left = window->m_Position[0];
  rect.top = window->m_Position[1];
  rect.right = rect.left + size[0] - 1;
  rect.bottom = rect.top + size[1] - 1;
  return rect;
}

void SetWinPosition(WindowId hwnd, WinRect rect) {
  SetWinPosition(GetRenderWindow(hwnd), rect);
}

// An empty or inverted rectangle is refused: a VTK window cannot have no pixels.
void SetWinPosition(RenderWindow* window, WinRect rect) {
  if (!window || !window->m_RenderWindow) return;
  const int width = rect.right - rect.left + 1;
  const int height = rect.bottom - rect.top + 1;
  if (width <= 0 || height <= 0) return;
  window->m_Position[0] = rect.left;
  window->m_Position[1] = rect.top;
  window->m_RenderWindow->SetSize(width, height);
}

int CoordWinToModel(WindowId hwnd, WinPoint pt, double* out) {
  return CoordWinToModel(GetRenderWindow(hwnd), pt, out);
}

int CoordWinToModel(RenderWindow* window, WinPoint pt, double* out) {
  if (!window || !window->m_RenderWindow || !out) return 0;
  if (window->m_OffScreen) {
    // The view rectangle is absolute; the answer is a scene point like on screen.
    double scale = 0.0;
    if (!OffScreenScale(window, scale)) return 0;
    out[0] = pt.x * scale + window->m_ViewRect[0] - window->m_Center[0];
    out[1] = window->m_ViewRect[3] - pt.y * scale - window->m_Center[1];
    out[2] = 0.0;
    return 1;
  }
  int width = 0, height = 0;
  if (!window->m_ViewToWorld || window->m_ZBuffer.empty() || !WindowSize(window, width, height))
    return 0;
  if (pt.x < 0 || pt.x >= width || pt.y < 0 || pt.y >= height) return 0;
  const int r = height - 1 - pt.y;
  const long long index = static_cast<long long>(width) * r + pt.x;
  if (index >= window->m_ZBufferSize) return 0;
  const float depth = window->m_ZBuffer[index];
  if (depth == kEmptyDepth) return 0;
  return Unproject(window, pt.x, r, depth, width, height, out);
}

int CoordModelToWin(WindowId hwnd, const double* p, WinPoint* out) {
  return CoordModelToWin(GetRenderWindow(hwnd), p, out);
}

// Rounded down, so that a point left of or above the window never lands in its first
// column or row.
int CoordModelToWin(RenderWindow* window, const double* p, WinPoint* out) {
  if (!window || !window->m_RenderWindow || !p || !out) return 0;
  if (window->m_OffScreen) {
    double scale = 0.0;
    if (!OffScreenScale(window, scale)) return 0;
    const double left = window->m_ViewRect[0] - window->m_Center[0];
    const double top = window->m_ViewRect[3] - window->m_Center[1];
    out->x = static_cast<int>(std::floor((p[0] - left) / scale + 0.5));
    out->y = static_cast<int>(std::floor((top - p[1]) / scale + 0.5));
    return 1;
  }
  int width = 0, height = 0;
  double device[3];
  if (!WindowSize(window, width, height) || !TransformHomogeneous(window->m_WorldToView, p, device))
    return 0;
  // The pixel that contains the projected point, as the rasteriser fills it.
  out->x = static_cast<int>(std::floor((device[0] + 1.0) * width / 2.0));
  out->y = static_cast<int>(std::floor((1.0 - device[1]) * height / 2.0));
  return 1;
}

int SnapToPoint(WindowId hwnd, WinPoint pt, double* out) {
  return SnapToPoint(GetRenderWindow(hwnd), pt, out);
}

int SnapToPoint(RenderWindow* window, WinPoint pt, double* out) {
  if (!window || !window->m_RenderWindow || !out) return 0;
  const WinRect rect = GetWinPosition(window);
  if (pt.x < rect.left || pt.x > rect.right || pt.y < rect.top || pt.y > rect.bottom) return 0;
  const int x = pt.x - rect.left;
  const int y = pt.y - rect.top;
  if (!SetupZBuffer(window) || !RefreshViewMatrices(window)) return 0;
  const int width = rect.right - rect.left + 1;
  const int height = rect.bottom - rect.top + 1;
  const int r = height - 1 - y;
  if (HasDepth(window, x, r, width, height)) return SnapResult(window, x, r, width, height, out);
  // Growing squares around the pixel, row by row, so the nearest ring wins.
  for (int k = 1; k <= kSnapRadius; ++k)
    for (int dy = -k; dy <= k; ++dy)
      for (int dx = -k; dx <= k; ++dx)
        if (HasDepth(window, x + dx, r + dy, width, height))
          return SnapResult(window, x + dx, r + dy, width, height, out);
  return 0;
}
