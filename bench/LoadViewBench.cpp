// Figures for one drawing pass: LoadSpcData reading a full-HD view (1920 x 1080 pixels at
// detail 1.5) of the whole 20-million-point demo site, warm cache, next to a memcpy of the
// bytes it delivers (points and colours) measured in the same run.
//   target: under 60 ms, and at most 4 times the memcpy floor
// Usage: bench_load_view BUILD_FOLDER (the folder holding cli/nimbex and bench-data).
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "nimbex/access/Nimbex.h"

namespace {

constexpr int kWindowWidth = 1920;
constexpr int kWindowHeight = 1080;
constexpr double kDetail = 1.5;
constexpr int kRuns = 11;
constexpr int kBytesPerPoint = 12 + 3;  // coordinates and colour

// A drawing pass's arrays, reused from pass to pass as the viewer reuses its poly data.
struct ViewArrays {
  ViewArrays() {
    points->SetDataTypeToFloat();
    cells->Use32BitStorage();
    colors->SetNumberOfComponents(3);
  }
  void Reset() {
    points->Reset();
    cells->Reset();
    colors->Reset();
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkUnsignedCharArray> colors;
};

struct ViewReading {
  int loaded = 0;
  int depth = 0;
  int step = 1;
  int points = 0;
};

ViewReading ReadWholeView(CNimbex& cloud, ViewArrays& arrays, int budget) {
  double bounds[6];
  cloud.GetBounds(bounds);
  Wml::Box3<double> box = Wml::MakeAlignedBox(bounds);
  arrays.Reset();
  ViewReading reading;
  reading.depth = cloud.GetDepth();
  vtkPoints* points = arrays.points;
  reading.loaded =
      cloud.LoadSpcData(reading.depth, reading.step, box, points, arrays.cells, nullptr,
                        arrays.colors, nullptr, nullptr, nullptr, 0.0, &budget, nullptr);
  reading.points = cloud.GetRenderedPointCount();
  return reading;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path strm = ViewStreamFromArguments(argc, argv);
  if (strm.empty()) return 1;
  CNimbex cloud(strm.c_str());
  if (!cloud.OpenStrmCloud()) {
    std::fprintf(stderr, "open failed: %s\n", cloud.GetLastError().c_str());
    return 1;
  }
  cloud.SetStreamDetailFactor(kDetail);
  const int budget = cloud.GetDrawingBudget(0, 0, kWindowWidth - 1, kWindowHeight - 1);

  ViewArrays arrays;
  const ViewReading reading = ReadWholeView(cloud, arrays, budget);  // warms the cache
  if (!reading.loaded) {
    std::fprintf(stderr, "the view could not be read\n");
    return 1;
  }
  const double loadMs = MedianMilliseconds(kRuns, [&] { ReadWholeView(cloud, arrays, budget); });
  const size_t bytes = static_cast<size_t>(reading.points) * kBytesPerPoint;
  const double copyMs = MemcpyMilliseconds(bytes, kRuns);

  std::printf("view    %d x %d pixels, detail %.1f: budget %d points of %d\n", kWindowWidth,
              kWindowHeight, kDetail, budget, cloud.GetPointsCount());
  std::printf("        read %d points (points and colours) at level %d of %d, step %d\n",
              reading.points, reading.depth, cloud.GetDepth(), reading.step);
  std::printf("        LoadSpcData  median %8.2f ms   (target < 60 ms)\n", loadMs);
  std::printf("        memcpy %.1f MB median %8.2f ms\n", bytes / 1e6, copyMs);
  std::printf("        LoadSpcData / memcpy = %.2f   (target <= 4)\n", loadMs / copyMs);
  return 0;
}
