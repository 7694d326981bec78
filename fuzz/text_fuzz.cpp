// Arbitrary bytes as a delimited text point file, with the first line as the parse string:
// every data line must give exactly one point or one skip in every pass, and each point
// must be finite and inside the box the scan found.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nimbex/creation/TextReader.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/text_fuzz_" + std::to_string(getpid()) + ".txt";
  return path;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// An odd control byte puts the text just before the end of the first block, behind a run of
// blanks or digits, so that lines straddle blocks or grow too long to hold.
std::string Padding(uint8_t control) {
  if (!(control & 1)) return {};
  return std::string(CTextReader::kBlockSize - (control >> 2), (control & 2) ? ' ' : '7');
}

bool Inside(const SPoint& point, const double bounds[6]) {
  return point.x >= bounds[0] && point.x <= bounds[1] && point.y >= bounds[2] &&
         point.y <= bounds[3] && point.z >= bounds[4] && point.z <= bounds[5];
}

void CheckFullPass(CTextReader& reader, int64_t points, const double bounds[6]) {
  int64_t valid = 0, skipped = 0;
  SPoint point;
  for (int result; (result = reader.Read(point)) != SP_END;) {
    if (result == SP_SKIP) {
      ++skipped;
      continue;
    }
    Check(result == SP_VALID && Inside(point, bounds) && std::isfinite(point.intensity));
    ++valid;
  }
  Check(valid == points && valid + skipped == reader.GetPointCount());
  Check(reader.GetSkippedCount() == skipped && reader.GetError().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t newline = input.find('\n');
  if (newline == std::string::npos) return 0;
  const std::string parseString = input.substr(0, newline);
  const std::string text = Padding(data[0]) + input.substr(newline + 1);

  std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);

  std::string error;
  auto reader = CTextReader::Open(ScratchFile(), parseString, error);
  if (!reader) {
    Check(!error.empty());
    return 0;
  }
  double bounds[6];
  int64_t points = -1;
  Check(reader->Scan(bounds, points, nullptr, nullptr));
  CheckFullPass(*reader, points, bounds);
  Check(reader->Rewind());
  CheckFullPass(*reader, points, bounds);
  std::remove(ScratchFile().c_str());
  return 0;
}
