// Arbitrary bytes as a PTX file: reading must end without fault, every valid point must be
// finite, and a transformed point must be finite whenever the transform accepts it.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nimbex/creation/PtxReader.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/ptx_fuzz_" + std::to_string(getpid()) + ".ptx";
  return path;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// An odd control byte puts blank lines (which the reader skips) before the text, so that its
// lines straddle the end of the first block.
std::string Padding(uint8_t control) {
  if (!(control & 1)) return {};
  return std::string(CPtxReader::kBlockSize - (control >> 1), '\n');
}

bool Finite(double x, double y, double z) {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text =
      Padding(data[0]) + std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);

  CPtxReader reader;
  Check(reader.Open(ScratchFile()));
  PtxScan scan;
  // Every other scan is skipped unread, as NextScan allows.
  for (int scans = 0; reader.NextScan(scan); ++scans) {
    Check(scan.columns >= 0 && scan.rows >= 0 && PtxScanPointCount(scan) >= 0);
    PtxPoint point;
    while (scans % 2 == 0 && reader.NextPoint(point) == 1) {
      Check(point.rgb[0] >= 0 && point.rgb[0] <= 255 && (point.hasColour || point.rgb[2] == 0));
      if (!point.valid) continue;
      Check(Finite(point.x, point.y, point.z) && std::isfinite(point.intensity));
      double x = point.x, y = point.y, z = point.z;
      Check(!TransformPtxPoint(scan, x, y, z) || Finite(x, y, z));
    }
  }
  PtxPoint after;  // the file stays ended
  Check(reader.NextPoint(after) == 0 && !reader.NextScan(scan));
  std::remove(ScratchFile().c_str());
  return 0;
}
