// Opens a stream whose header and item index are the fuzzer's bytes, over a small points
// file, and reads every item it claims: damaged indexes must be refused or read safely.
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Hooks.h"

namespace {

std::string ScratchStem() {
  static const std::string stem = "/dev/shm/strm_header_fuzz_" + std::to_string(getpid());
  return stem;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

void PrepareStream() {
  static bool prepared = false;
  if (prepared) return;
  std::vector<float> points(3 * 100);
  for (size_t i = 0; i < points.size(); ++i) points[i] = static_cast<float>(i % 17);
  const auto* bytes = reinterpret_cast<const uint8_t*>(points.data());
  for (const char* extension : {".strm", ".ovw"})
    WriteFile(ScratchStem() + extension, bytes, points.size() * sizeof(float));
  SetUserMessageHook([](const std::string&, const std::string&, UserMessageKind) {});
  prepared = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareStream();
  WriteFile(ScratchStem() + ".pci", data, size);
  CNimbex cloud((ScratchStem() + ".strm").c_str());
  if (!cloud.OpenStrmCloud()) return 0;
  for (int depth = 0; depth <= cloud.GetDepth(); ++depth) {
    for (const Item& item : cloud.GetLevelItems(depth)) {
      const int id = item.id;
      vtkNew<vtkPoints> points;
      vtkNew<vtkCellArray> cells;
      cloud.LoadItemIO(depth, id, points, cells, nullptr, nullptr, nullptr, nullptr, nullptr, 2);
      double bounds[6];
      cloud.GetItemBounds(id, depth, bounds);
    }
  }
  return 0;
}
