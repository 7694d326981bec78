#include "nimbex/window/RenderWindow.h"

#include <vtkCamera.h>
#include <vtkInteractorStyleTrackballCamera.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <algorithm>
#include <cstring>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/WindowInternal.h"

int iRenderProc = 0;

namespace {

// Every record, in the order the windows were made; a window id occurs at most once.
std::vector<RenderWindow*>& Registry() {
  static std::vector<RenderWindow*> registry;
  return registry;
}

std::string& AddSpCloudError() {
  static std::string error;
  return error;
}

// A record with its renderer (parallel projection) added to `window` and its transform.
RenderWindow* NewRecord(WindowId hwnd, vtkRenderWindow* window) {
  auto* record = new RenderWindow;
  record->m_hWnd = hwnd;
  record->m_Renderer = vtkRenderer::New();
  vtkObject::GlobalWarningDisplayOff();
  record->m_Renderer->GetActiveCamera()->ParallelProjectionOn();
  record->m_RenderWindow = window;
  window->AddRenderer(record->m_Renderer);
  record->m_WorldToView = vtkTransform::New();
  return record;
}

RenderWindow* CreateOffScreenWindow(WindowId hwnd) {
  vtkRenderWindow* window = vtkRenderWindow::New();
  window->SetOffScreenRendering(1);
  // Colour and depth must agree at point edges: snapping reads the depth buffer.
  window->SetMultiSamples(0);
  RenderWindow* record = NewRecord(hwnd, window);
  record->m_OffScreen = 1;
  Registry().push_back(record);
  return record;
}

// Places the window centre in the middle of its streams' absolute bounds and frames them.
void CenterWindow(RenderWindow* record) {
  double all[6] = {1.0e10, -1.0e10, 1.0e10, -1.0e10, 1.0e10, -1.0e10};
  for (CNimbex* cloud : record->m_Clouds) {
    double bounds[6], offset[3];
    cloud->GetBounds(bounds);
    cloud->GetOffset(offset);
    for (int axis = 0; axis < 3; ++axis) {
      all[2 * axis] = std::min(all[2 * axis], bounds[2 * axis] + offset[axis]);
      all[2 * axis + 1] = std::max(all[2 * axis + 1], bounds[2 * axis + 1] + offset[axis]);
    }
  }
  double relative[6];
  for (int axis = 0; axis < 3; ++axis) {
    record->m_Center[axis] = (all[2 * axis] + all[2 * axis + 1]) / 2.0;
    relative[2 * axis] = all[2 * axis] - record->m_Center[axis];
    relative[2 * axis + 1] = all[2 * axis + 1] - record->m_Center[axis];
  }
  record->m_Renderer->GetActiveCamera()->SetParallelScale((all[3] - all[2]) / 2.0);
  record->m_Renderer->ResetCamera(relative);
}

// The stream made for the window and opened in it, or null (then it is already removed).
CNimbex* OpenCloud(RenderWindow* record, const char* fileName) {
  auto* cloud = new CNimbex(fileName);
  cloud->SetRenderer(record->m_Renderer);
  cloud->SetGLRenderWindow(record->m_RenderWindow);
  cloud->SetInteractor(record->m_Interactor);
  cloud->SetWorldToView(record->m_WorldToView);
  cloud->SetStrmRenderWindow(record);
  cloud->PutHeaderWriteBack(record->m_HeaderWriteBack);
  record->m_Clouds.push_back(cloud);
  if (!cloud->InitStrmCloud(record->m_hWnd)) {
    AddSpCloudError() = cloud->GetLastError().empty()
                            ? std::string("the stream ") + fileName + " cannot be drawn"
                            : cloud->GetLastError();
    RemoveSpCloud(cloud, record->m_hWnd);
  }
  return cloud;
}

// The host's interactor outlives the record: its style must not keep our renderer.
void DetachFromInteractor(RenderWindow* record) {
  vtkInteractorObserver* style = record->m_Interactor->GetInteractorStyle();
  if (style && style->GetCurrentRenderer() == record->m_Renderer)
    style->SetCurrentRenderer(nullptr);
  record->m_Interactor->UnRegister(nullptr);
  record->m_Interactor = nullptr;
}

// Our own off-screen window is finalised and deleted; the host's only loses our renderer.
void ReleaseVtkWindow(RenderWindow* record) {
  record->m_RenderWindow->RemoveRenderer(record->m_Renderer);
  if (record->m_OffScreen) record->m_RenderWindow->Finalize();
  record->m_RenderWindow->UnRegister(nullptr);
  record->m_RenderWindow = nullptr;
}

}  // namespace

RenderWindow* CreateRenderWindow(WindowId hwnd, vtkRenderWindow* window,
                                 vtkRenderWindowInteractor* interactor,
                                 std::function<void()> invalidate) {
  if (!hwnd || !window || !interactor) return nullptr;
  if (RenderWindow* existing = GetRenderWindow(hwnd)) return existing;
  window->Register(nullptr);
  RenderWindow* record = NewRecord(hwnd, window);
  if (interactor->GetRenderWindow() != window) interactor->SetRenderWindow(window);
  interactor->Register(nullptr);
  record->m_Interactor = interactor;
  vtkNew<vtkInteractorStyleTrackballCamera> style;
  interactor->SetInteractorStyle(style);
  record->m_Invalidate = std::move(invalidate);
  CreateWindowWidgets(record);
  Registry().push_back(record);
  return record;
}

CNimbex* AddSpCloud(const char* fileName, WindowId hwnd, int offScreen) {
  std::string& error = AddSpCloudError();
  error.clear();
  if (!hwnd || !fileName) {
    error = "no window or no file name was given";
    return nullptr;
  }
  RenderWindow* record = GetRenderWindow(hwnd);
  if (!record) {
    if (!offScreen) {
      error = "the window has no render window to draw in";
      return nullptr;
    }
    record = CreateOffScreenWindow(hwnd);
  }
  if (GetSpCloud(record, fileName, nullptr)) {
    error = std::string("the stream ") + fileName + " is shown in this window already";
    return nullptr;
  }
  CNimbex* cloud = OpenCloud(record, fileName);
  if (!record->m_Clouds.empty()) {
    CenterWindow(record);
    // The masks are placed relative to the window centre, which may have moved.
    for (CNimbex* shown : record->m_Clouds) shown->UpdateMaskPolyData(record);
  }
  return cloud;
}

const std::string& GetAddSpCloudError() {
  return AddSpCloudError();
}

// The stream is found by identity: a stream of the same file shown in another window (or a
// stale pointer) must never delete this window's stream.
int RemoveSpCloud(CNimbex*& cloud, WindowId hwnd) {
  RenderWindow* record = GetRenderWindow(hwnd);
  if (!cloud || !record) return 0;
  auto found = std::find(record->m_Clouds.begin(), record->m_Clouds.end(), cloud);
  if (found == record->m_Clouds.end()) return 0;
  record->m_Clouds.erase(found);
  // A removed stream must not stay drawn.
  if (cloud->GetActor()) record->m_Renderer->RemoveActor(cloud->GetActor());
  delete cloud;
  cloud = nullptr;
  return 1;
}

CNimbex* GetSpCloud(WindowId hwnd, const char* fileName, int* index) {
  RenderWindow* record = GetRenderWindow(hwnd);
  if (!record || !fileName) return nullptr;
  for (std::size_t i = 0; i < record->m_Clouds.size(); ++i) {
    if (std::strcmp(record->m_Clouds[i]->GetStrmFileName(), fileName) != 0) continue;
    if (index) *index = static_cast<int>(i);
    return record->m_Clouds[i];
  }
  return nullptr;
}

CNimbex* GetSpCloud(RenderWindow* window, const char* fileName, int* /*index: never written*/) {
  if (!window || !fileName) return nullptr;
  for (CNimbex* cloud : window->m_Clouds)
    if (std::strcmp(cloud->GetStrmFileName(), fileName) == 0) return cloud;
  return nullptr;
}

RenderWindow* GetRenderWindow(WindowId hwnd, int* index) {
  if (!hwnd) return nullptr;
  const std::vector<RenderWindow*>& registry = Registry();
  for (std::size_t i = 0; i < registry.size(); ++i) {
    if (registry[i]->m_hWnd != hwnd) continue;
    if (index) *index = static_cast<int>(i);
    return registry[i];
  }
  return nullptr;
}

RenderWindow* GetRenderWindow(vtkRenderWindow* window) {
  if (!window) return nullptr;
  for (RenderWindow* record : Registry())
    if (record->m_RenderWindow == window) return record;
  return nullptr;
}

int GetRenderWindows(CNimbex* cloud, RenderWindow**& windows, int& count) {
  windows = nullptr;
  count = 0;
  if (!cloud) return 0;
  std::vector<RenderWindow*> showing;
  for (RenderWindow* record : Registry()) {
    const auto& clouds = record->m_Clouds;
    if (std::find(clouds.begin(), clouds.end(), cloud) != clouds.end()) showing.push_back(record);
  }
  if (showing.empty()) return 0;
  count = static_cast<int>(showing.size());
  windows = new RenderWindow*[showing.size()];
  std::copy(showing.begin(), showing.end(), windows);
  return 1;
}

void DestroyRenderWindow(WindowId hwnd) {
  int index = 0;
  RenderWindow* record = GetRenderWindow(hwnd, &index);
  if (!record) return;
  while (!record->m_Clouds.empty()) {
    CNimbex* cloud = record->m_Clouds.front();
    RemoveSpCloud(cloud, hwnd);
  }
  ReleaseWindowWidgets(record);
  record->m_WorldToView->Delete();
  record->m_WorldToView = nullptr;
  record->m_ViewToWorld = nullptr;
  if (record->m_Interactor) DetachFromInteractor(record);
  ReleaseVtkWindow(record);
  record->m_Renderer->Delete();
  Registry().erase(Registry().begin() + index);
  delete record;
}
