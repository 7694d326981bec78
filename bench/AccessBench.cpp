// Figures for opening a stream and reading its items, each next to a floor measured in the
// same run on the same machine:
//   opening  a hand-made index of 32,768 leaf items and 5 overview levels (target < 20 ms)
//   reading  LoadItemIO over every item of a 10-million-point stream, warm cache, against
//            `cat` of the same files (target: at least half of cat's speed)
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "nimbex/access/Nimbex.h"
#include "tests/support/StreamWriter.h"

namespace {

// An octree of depth 5 with every one of its 32,768 cells filled, and every overview level.
void BenchOpening(const ScratchFolder& folder) {
  TestStream stream;
  stream.depth = 5;
  for (int depth = 0; depth <= 5; ++depth)
    for (long long id = 0; id < GetCellCount(depth, 0); ++id) {
      TestItem item;
      item.id = static_cast<int>(id);
      item.depth = depth;
      item.points = {{0, 0, 0}};
      stream.items.push_back(item);
    }
  const auto path = folder / "index.strm";
  WriteTestStream(path, stream);

  const double ms = MedianMilliseconds(15, [&] {
    CNimbex cloud(path.c_str());
    if (!cloud.OpenStrmCloud())
      std::fprintf(stderr, "open failed: %s\n", cloud.GetLastError().c_str());
  });
  std::printf("open    32768 leaf items + 5 overview levels   median %8.2f ms   (target < 20 ms)\n",
              ms);
}

void BenchReading(const ScratchFolder& folder) {
  const auto path = folder / "lattice.strm";
  WriteTestStream(path, MakeLatticeStream(4, 14, 0));
  CNimbex cloud(path.c_str());
  if (!cloud.OpenStrmCloud()) {
    std::fprintf(stderr, "open failed: %s\n", cloud.GetLastError().c_str());
    return;
  }

  std::string files;
  long long bytes = 0;
  for (StrmFileKind kind : {STRM_FILE, RGB_FILE, RIF_FILE, CLA_FILE, PLS_FILE, NORM_FILE}) {
    files += " '" + cloud.GetFileName(kind) + "'";
    bytes += std::filesystem::file_size(cloud.GetFileName(kind));
  }
  const std::string cat = "cat" + files + " > /dev/null";
  std::system(cat.c_str());  // warm the cache
  const double catMs = MedianMilliseconds(7, [&] { std::system(cat.c_str()); });

  // The arrays are reused from run to run, as a drawing pass reuses its poly data: the
  // figure is the reading, not the first touch of fresh memory.
  long long points = 0;
  vtkNew<vtkPoints> xyz;
  vtkNew<vtkCellArray> vertices;
  vtkNew<vtkUnsignedCharArray> classes, colors, pulses;
  vtkNew<vtkFloatArray> intensities, normals;
  colors->SetNumberOfComponents(3);
  normals->SetNumberOfComponents(3);
  vertices->Use32BitStorage();  // a drawing pass holds at most 5 million points
  auto readAll = [&] {
    xyz->Reset();
    vertices->Reset();
    for (vtkDataArray* array :
         std::initializer_list<vtkDataArray*>{classes, colors, pulses, intensities, normals})
      array->Reset();
    cloud.ResetIOPtsLoaded();
    for (const Item& item : cloud.GetLevelItems(-1)) {
      cloud.LoadItemIO(-1, item.id, xyz, vertices, classes, colors, intensities, pulses, normals,
                       1);
    }
    points = xyz->GetNumberOfPoints();
  };
  readAll();
  const double loadMs = MedianMilliseconds(7, readAll);

  const double mb = bytes / 1e6;
  std::printf(
      "read    %lld points, %.0f MB (points, colours, intensities, classes, pulses, normals)\n",
      points, mb);
  std::printf("        cat         median %8.1f ms  %8.0f MB/s\n", catMs, mb / catMs * 1000);
  std::printf("        LoadItemIO  median %8.1f ms  %8.0f MB/s\n", loadMs, mb / loadMs * 1000);
  std::printf("        speed of LoadItemIO / cat = %.2f   (target >= 0.5)\n", catMs / loadMs);
}

}  // namespace

int main() {
  ScratchFolder folder;
  BenchOpening(folder);
  BenchReading(folder);
  return 0;
}
