// Figures for the drawing pass over the 20-million-point demo site in a full-HD window:
// the regeneration of DrawCloud (read, filter, colour, build the poly data) and, apart, the
// render of what it built, each the median over several views.
//   target: regeneration under 150 ms; the render time is information only (software
//   OpenGL here says little about a workstation's graphics card)
// Usage: bench_draw BUILD_FOLDER (needs an X display: bench/run starts one when missing).
#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"

namespace {

constexpr int kWindowWidth = 1920;
constexpr int kWindowHeight = 1080;
constexpr int kRunsPerView = 3;

struct BenchView {
  const char* name;
  PresetView preset;
  double zoom;  // camera zoom after the preset: 1 frames the whole site
};

const BenchView kViews[] = {{"top, whole site", VIEW_TOP, 1.0},
                            {"top, a quarter", VIEW_TOP, 4.0},
                            {"north-east", VIEW_NE, 1.0},
                            {"front, zoomed", VIEW_FRONT, 2.5},
                            {"south-west, zoomed", VIEW_SW, 3.0}};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s BUILD_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path strm = EnsureViewStream(argv[1]);
  if (strm.empty()) return 1;
  InitStrmDll(BuiltInProfileReader);
  InitPulses(BuiltInProfileReader);

  vtkNew<vtkRenderWindow> vtkWindow;
  vtkWindow->SetOffScreenRendering(1);
  vtkWindow->SetMultiSamples(0);
  vtkWindow->SetSize(kWindowWidth, kWindowHeight);
  vtkNew<vtkRenderWindowInteractor> interactor;
  interactor->SetRenderWindow(vtkWindow);
  const int tag = 0;
  RenderWindow* window = CreateRenderWindow(&tag, vtkWindow, interactor, {});
  CNimbex* cloud = window ? AddSpCloud(strm.c_str(), &tag, 0) : nullptr;
  if (!cloud) {
    std::fprintf(stderr, "cannot draw %s\n", strm.c_str());
    return 1;
  }

  std::vector<double> regenerations, renders;
  std::printf("draw    %d x %d pixels, detail %.1f, %d points in the stream\n", kWindowWidth,
              kWindowHeight, cloud->GetStreamDetailFactor(), cloud->GetPointsCount());
  for (const BenchView& view : kViews) {
    cloud->SetPresetView(view.preset);
    window->m_Renderer->GetActiveCamera()->Zoom(view.zoom);
    std::vector<double> regeneration, render;
    for (int run = 0; run <= kRunsPerView; ++run) {
      RefreshViewMatrices(window);
      EvaluateVtkPixelSize(window);
      const double drawMs = MedianMilliseconds(
          1, [&] { cloud->DrawCloud(window->m_PixelSize, nullptr, nullptr, 0); });
      const double renderMs = MedianMilliseconds(1, [&] { vtkWindow->Render(); });
      if (run == 0) continue;  // the first pass warms the file cache
      regeneration.push_back(drawMs);
      render.push_back(renderMs);
    }
    std::printf(
        "        %-20s level %d, step %d, %8d points: DrawCloud %7.1f ms, render %7.1f ms\n",
        view.name, cloud->GetCurDepth(), cloud->GetPrevStreamSample(),
        cloud->GetRenderedPointCount(), Median(regeneration), Median(render));
    regenerations.push_back(Median(regeneration));
    renders.push_back(Median(render));
  }
  std::printf("        DrawCloud regeneration median %7.1f ms   (target < 150 ms)\n",
              Median(regenerations));
  std::printf("        render median %7.1f ms (software OpenGL; information only)\n",
              Median(renders));
  DestroyRenderWindow(&tag);
  return 0;
}
