// Arbitrary bytes as a measure import file: reading must not crash and keeps at most the
// points an import keeps; every point read has a usable id and finite coordinates, and the
// points written out again read back as the same rows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/annotations/Measures.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  SMeasureImport read;
  ReadMeasures(in, read);
  Check(read.points.size() <= size_t(kMaxImportedMeasures));
  CMeasureList list;
  for (const SMeasurePoint& p : read.points) {
    Check(p.id >= 1 && p.id <= kMaxMeasureId);
    for (int axis = 0; axis < 3; ++axis) Check(std::isfinite(p.point[axis]));
    list.Add(p.point, p.id);
  }
  Check(list.NextAutomaticId() >= 1);

  std::istringstream written(MeasureFileText(list.GetPoints()));
  SMeasureImport again;
  ReadMeasures(written, again);
  Check(again.skippedLines == 0 && again.points.size() == read.points.size());
  for (size_t i = 0; i < again.points.size(); ++i) {
    Check(again.points[i].id == list.GetPoints()[i].id);
    Check(again.points[i].point == list.GetPoints()[i].point);
  }
  return 0;
}
