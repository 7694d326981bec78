// Figures for the drawing pass over the 20-million-point demo site in a full-HD window:
// the regeneration of DrawCloud (read, filter, colour, build the poly data), next to a memcpy
// of the bytes it delivers measured in the same run, and, apart, the render of what it built,
// each the median over several views.
//   target: regeneration under 60 ms and at most 10 times the memcpy floor; the render time is
//   information only (software OpenGL here says little about a workstation's graphics card)
// Usage: bench_draw BUILD_FOLDER (needs an X display: bench/run starts one when missing).
#include <vtkCamera.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/BenchWindow.h"
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

}  // namespace

int main(int argc, char** argv) {
  const fs::path strm = ViewStreamFromArguments(argc, argv);
  if (strm.empty()) return 1;
  InitStrmDll(BuiltInProfileReader);
  InitPulses(BuiltInProfileReader);

  CBenchWindow bench(strm, kWindowWidth, kWindowHeight);
  RenderWindow* window = bench.Get();
  CNimbex* cloud = bench.Cloud();
  if (!cloud) return 1;

  std::vector<double> regenerations, floors, renders;
  std::printf("draw    %d x %d pixels, detail %.1f, %d points in the stream\n", kWindowWidth,
              kWindowHeight, cloud->GetStreamDetailFactor(), cloud->GetPointsCount());
  for (const BenchView& view : kViews) {
    cloud->SetPresetView(view.preset);
    window->m_Renderer->GetActiveCamera()->Zoom(view.zoom);
    std::vector<double> regeneration, render;
    for (int run = 0; run <= kRunsPerView; ++run) {
      RefreshViewMatrices(window);
      EvaluateVtkPixelSize(window);
      const double drawMs =
          Milliseconds([&] { cloud->DrawCloud(window->m_PixelSize, nullptr, nullptr, 0); });
      const double renderMs = Milliseconds([&] { bench.GetVtkWindow()->Render(); });
      if (run == 0) continue;  // the first pass warms the file cache
      regeneration.push_back(drawMs);
      render.push_back(renderMs);
    }
    // The floor: copying the bytes the pass delivers to the mapper.
    vtkPolyData* drawn = cloud->GetRenderPolyData();
    const size_t bytes = drawn ? size_t(drawn->GetActualMemorySize()) * 1024 : 0;
    const double floorMs = bytes ? MemcpyMilliseconds(bytes, kRunsPerView) : 0.0;
    std::printf(
        "        %-20s level %d, step %d, %8d points: DrawCloud %6.1f ms = %4.1f x memcpy "
        "of its %5.1f MB, render %6.1f ms\n",
        view.name, cloud->GetCurDepth(), cloud->GetPrevStreamSample(),
        cloud->GetRenderedPointCount(), Median(regeneration), Median(regeneration) / floorMs,
        bytes / 1e6, Median(render));
    regenerations.push_back(Median(regeneration));
    floors.push_back(Median(regeneration) / floorMs);
    renders.push_back(Median(render));
  }
  std::printf(
      "        DrawCloud regeneration median %7.1f ms   (target < 60 ms), "
      "%.1f x the memcpy floor   (target <= 10)\n",
      Median(regenerations), Median(floors));
  std::printf("        render median %7.1f ms (software OpenGL; information only)\n",
              Median(renders));
  return 0;
}
