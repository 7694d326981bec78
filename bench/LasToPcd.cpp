// Writes the points of a LAS file as a binary PCD file (x y z float32, relative to the
// centre of the file's box), the input of the out-of-core octree builder we compare with.
#include <cstdio>
#include <string>
#include <vector>

#include "nimbex/creation/PointReader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: las-to-pcd INPUT.las OUTPUT.pcd\n");
    return 2;
  }
  std::string error;
  auto reader = OpenPointReader(argv[1], "las", "xyz", error);
  double box[6];
  if (!reader || !reader->GetHeaderBounds(box)) {
    std::fprintf(stderr, "las-to-pcd: %s\n", error.c_str());
    return 1;
  }
  const double centre[3] = {(box[0] + box[1]) / 2, (box[2] + box[3]) / 2, (box[4] + box[5]) / 2};
  std::vector<float> xyz;
  xyz.reserve(static_cast<size_t>(reader->GetPointCount()) * 3);
  SPoint point;
  while (int result = reader->Read(point)) {
    if (result != SP_VALID) continue;
    xyz.insert(xyz.end(),
               {static_cast<float>(point.x - centre[0]), static_cast<float>(point.y - centre[1]),
                static_cast<float>(point.z - centre[2])});
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::fprintf(stderr, "las-to-pcd: cannot create %s\n", argv[2]);
    return 1;
  }
  const size_t count = xyz.size() / 3;
  std::fprintf(out,
               "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS x y z\n"
               "SIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH %zu\nHEIGHT 1\n"
               "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS %zu\nDATA binary\n",
               count, count);
  std::fwrite(xyz.data(), sizeof(float), xyz.size(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
