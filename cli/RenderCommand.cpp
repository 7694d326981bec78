// `nimbex render`: draws streams in one off-screen window at the detail the view asks for and
// writes the picture as PNG.
#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkPNGWriter.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkWindowToImageFilter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "cli/Commands.h"
#include "common/progress/TerminalProgress.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"

namespace {

int Refuse(const std::string& message) {
  std::fprintf(stderr, "nimbex render: %s\n", message.c_str());
  return 1;
}

const std::map<std::string, PresetView>& PresetViews() {
  static const std::map<std::string, PresetView> views = {
      {"top", VIEW_TOP},   {"bottom", VIEW_BOTTOM}, {"front", VIEW_FRONT}, {"back", VIEW_BACK},
      {"left", VIEW_LEFT}, {"right", VIEW_RIGHT},   {"nw", VIEW_NW},       {"ne", VIEW_NE},
      {"sw", VIEW_SW},     {"se", VIEW_SE}};
  return views;
}

const std::map<std::string, CVM>& ColourModes() {
  static const std::map<std::string, CVM> modes = {
      {"elevation", CVM_ELEVATION}, {"intensity", CVM_INTENSITY}, {"rgb", CVM_RGB},
      {"normals", CVM_NORMALS},     {"classes", CVM_CLASSES},     {"user", CVM_USER_DEFINED},
      {"pulse", CVM_PULSE}};
  return modes;
}

int HideClasses(const std::vector<int>& classes) {
  for (int number : classes) {
    PointClass pointClass{};
    if (!GetPointClass(number, pointClass)) return 0;
    pointClass.visible = 0;
    SetPointClass(number, pointClass);
  }
  return 1;
}

// The scene bounds (absolute minus the window centre) of every stream of the window.
void GetSceneBounds(const RenderWindow& window, double* scene) {
  for (int axis = 0; axis < 3; ++axis) {
    scene[2 * axis] = 1.0e300;
    scene[2 * axis + 1] = -1.0e300;
  }
  for (CNimbex* cloud : window.m_Clouds) {
    double bounds[6], offset[3];
    cloud->GetBounds(bounds);
    cloud->GetOffset(offset);
    for (int axis = 0; axis < 3; ++axis) {
      const double shift = offset[axis] - window.m_Center[axis];
      scene[2 * axis] = std::min(scene[2 * axis], bounds[2 * axis] + shift);
      scene[2 * axis + 1] = std::max(scene[2 * axis + 1], bounds[2 * axis + 1] + shift);
    }
  }
}

// Points the camera along the preset of the first stream, then frames every stream.
void PlaceCamera(RenderWindow& window, PresetView view) {
  window.m_Clouds.front()->SetPresetView(view);
  if (window.m_Clouds.size() < 2) return;
  double scene[6];
  GetSceneBounds(window, scene);
  window.m_Renderer->ResetCamera(scene);
}

int WritePng(vtkRenderWindow* window, const std::string& path) {
  vtkNew<vtkWindowToImageFilter> grab;
  grab->SetInput(window);
  grab->SetInputBufferTypeToRGB();
  grab->ReadFrontBufferOff();
  vtkNew<vtkPNGWriter> writer;
  writer->SetFileName(path.c_str());
  writer->SetInputConnection(grab->GetOutputPort());
  writer->Write();
  return writer->GetErrorCode() == 0 && std::filesystem::exists(path);
}

// Prints what each stream drew; false when a stream left out an item it could not read.
bool PrintDrawn(const RenderWindow& window) {
  bool whole = true;
  for (CNimbex* cloud : window.m_Clouds) {
    std::printf("%s: level %d of %d, step %d, %d points drawn\n", cloud->GetStrmFileName(),
                cloud->GetCurDepth(), cloud->GetDepth(), cloud->GetPrevStreamSample(),
                cloud->GetRenderedPointCount());
    if (cloud->GetLoadError().empty()) continue;
    Refuse(cloud->GetLoadError());
    whole = false;
  }
  return whole;
}

void SetUpStream(CNimbex& cloud, const RenderOptions& options) {
  if (!options.mode.empty()) {
    const CVM mode = ColourModes().at(options.mode);
    if (!cloud.HasCVM(mode))
      std::fprintf(stderr, "nimbex render: %s has no %s; drawn as it was left\n",
                   cloud.GetStrmFileName(), options.mode.c_str());
    cloud.SetCVM(mode);
  }
  if (options.detail > 0.0) cloud.SetStreamDetailFactor(options.detail);
  cloud.PutFullRes(options.fullRes ? 1 : 0);
}

// Draws the streams in the window `id`, already sized; false with a message on failure.
bool DrawStreams(WindowId id, const RenderOptions& options) {
  for (const std::string& path : options.streams) {
    CNimbex* cloud = AddSpCloud(path.c_str(), id, 0);
    if (!cloud) {
      const bool twice = GetSpCloud(id, path.c_str()) != nullptr;
      Refuse(twice ? "the stream " + path + " is given twice" : GetAddSpCloudError());
      return false;
    }
    SetUpStream(*cloud, options);
  }
  RenderWindow* window = GetRenderWindow(id);
  PlaceCamera(*window, PresetViews().at(options.view));
  TerminalProgress bar("Loading from disk");
  DrawSpClouds(id, nullptr, nullptr, nullptr, &bar);
  // Loading rewinds the bar when it is done; the line left on the terminal says done.
  int lower = 0, upper = 0;
  bar.GetRange(lower, upper);
  bar.SetPos(upper);
  bar.Finish();
  return PrintDrawn(*window);
}

}  // namespace

const std::vector<std::string>& RenderViewNames() {
  static std::vector<std::string> names;
  if (names.empty())
    for (const auto& entry : PresetViews()) names.push_back(entry.first);
  return names;
}

const std::vector<std::string>& RenderModeNames() {
  static std::vector<std::string> names;
  if (names.empty())
    for (const auto& entry : ColourModes()) names.push_back(entry.first);
  return names;
}

int RunRender(const RenderOptions& options) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display)
    return Refuse(
        "rendering needs an X display; run it under xvfb-run, for example: "
        "xvfb-run -a nimbex render ...");
  if (options.width < 16 || options.height < 16 || options.width > 8192 || options.height > 8192)
    return Refuse("the picture size must lie between 16x16 and 8192x8192");
  InitStrmDll(BuiltInProfileReader);
  InitPulses(BuiltInProfileReader);
  if (!HideClasses(options.hiddenClasses)) return Refuse("--hide-class takes a class from 0 to 9");

  vtkNew<vtkRenderWindow> vtkWindow;
  vtkWindow->SetOffScreenRendering(1);
  vtkWindow->SetMultiSamples(0);
  vtkWindow->SetSize(options.width, options.height);
  vtkNew<vtkRenderWindowInteractor> interactor;
  interactor->SetRenderWindow(vtkWindow);
  const int windowTag = 0;
  const WindowId id = &windowTag;
  RenderWindow* window = CreateRenderWindow(id, vtkWindow, interactor, {});
  if (!window) return Refuse("cannot create the render window");
  // The colour mode and detail given here are for this picture only: the streams keep theirs.
  window->m_HeaderWriteBack = 0;

  int status = DrawStreams(id, options) ? 0 : 1;
  if (status == 0 && !WritePng(vtkWindow, options.output))
    status = Refuse("cannot write the picture " + options.output +
                    "; check the folder exists "
                    "and is writable");
  if (status == 0) std::printf("%s\n", options.output.c_str());
  DestroyRenderWindow(id);
  return status;
}
