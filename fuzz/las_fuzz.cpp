// Arbitrary bytes as a LAS file: opening must refuse them with a message or read them
// safely, and what Read and Scan return must agree with the count the reader announced.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "nimbex/creation/LasReader.h"

namespace {

constexpr int64_t kMaxPoints = 100000;

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/las_fuzz_" + std::to_string(getpid()) + ".las";
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

bool Inside(const SPoint& p, const double box[6]) {
  return p.x >= box[0] && p.x <= box[1] && p.y >= box[2] && p.y <= box[3] && p.z >= box[4] &&
         p.z <= box[5];
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFile(ScratchFile(), data, size);
  std::string error;
  auto reader = CLasReader::Open(ScratchFile(), error);
  if (!reader) {
    Check(!error.empty());
    return 0;
  }
  double header[6], bounds[6];
  reader->GetHeaderBounds(header);
  int64_t count = 0;
  Check(reader->Scan(bounds, count, nullptr, nullptr));
  Check(count == reader->GetPointCount());
  SPoint point;
  int64_t read = 0;
  while (read < kMaxPoints && reader->Read(point) == SP_VALID) {
    Check(Inside(point, bounds));
    Check(point.rgb[0] <= 255 && point.rgb[1] <= 255 && point.rgb[2] <= 255);
    ++read;
  }
  Check(read == std::min(count, kMaxPoints));
  return 0;
}
