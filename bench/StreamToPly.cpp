// Writes the full-resolution points of a stream (local frame, with colours when the stream
// has them) as a binary little-endian PLY file: the same points for a peer tool.
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cstdio>
#include <vector>

#include "nimbex/access/Nimbex.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: stream-to-ply STREAM.strm OUTPUT.ply\n");
    return 2;
  }
  CNimbex cloud(argv[1]);
  if (!cloud.OpenStrmCloud()) {
    std::fprintf(stderr, "stream-to-ply: %s\n", cloud.GetLastError().c_str());
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::fprintf(stderr, "stream-to-ply: cannot create %s\n", argv[2]);
    return 1;
  }
  const bool colors = cloud.HasColors();
  long long count = 0;
  for (const Item& item : cloud.GetLevelItems(-1)) count += item.ptsCount;
  std::fprintf(out,
               "ply\nformat binary_little_endian 1.0\nelement vertex %lld\n"
               "property float x\nproperty float y\nproperty float z\n%s"
               "end_header\n",
               count,
               colors ? "property uchar red\nproperty uchar green\nproperty uchar blue\n" : "");
  std::vector<char> record;
  for (const Item& item : cloud.GetLevelItems(-1)) {
    vtkNew<vtkPoints> points;
    vtkNew<vtkUnsignedCharArray> rgb;
    rgb->SetNumberOfComponents(3);
    cloud.LoadItemIO(cloud.GetDepth(), item.id, points, nullptr, nullptr,
                     colors ? rgb.Get() : nullptr, nullptr, nullptr, nullptr, 1);
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
      const double* p = points->GetPoint(i);
      const float xyz[3] = {static_cast<float>(p[0]), static_cast<float>(p[1]),
                            static_cast<float>(p[2])};
      std::fwrite(xyz, sizeof xyz, 1, out);
      if (colors) std::fwrite(rgb->GetPointer(3 * i), 1, 3, out);
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
