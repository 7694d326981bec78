// Arbitrary bytes as a photograph's ".int" and ".est" files: the readers must not crash,
// a refused file leaves the orientation as it was, and an accepted one writes out and reads
// back to the same orientation, whose middle pixel goes to a ray and back to itself.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "nimbex/platform/Orientation.h"

namespace {

std::filesystem::path ScratchFile(const char* extension) {
  return std::filesystem::temp_directory_path() /
         ("orvalis orientation_fuzz " + std::to_string(::getpid()) + extension);
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckInterior(const COrientation& read, const std::filesystem::path& scratch) {
  Check(read.WriteINT(scratch) == 1);
  COrientation again(1);
  Check(again.ReadINT(scratch) == 1);
  Check(again.GetFocalLength() == read.GetFocalLength());
  Check(again.GetPixToFidMat() == read.GetPixToFidMat());
  Check(again.GetRadialDistortion()[0] == read.GetRadialDistortion()[0]);
  COrientation::Vector3 ray;
  const COrientation::Point2 middle(read.GetRasterWidth() / 2.0, read.GetRasterHeight() / 2.0);
  if (read.PixToRay(middle, ray)) {
    COrientation::Point2 back;
    Check(read.Pt3dToPix(read.GetN() + ray, back) == 1);
    Check(std::hypot(back.X() - middle.X(), back.Y() - middle.Y()) <
          1e-6 * (1 + read.GetRasterWidth() + read.GetRasterHeight()));
  }
}

void CheckExterior(const COrientation& read, const std::filesystem::path& scratch) {
  Check(read.WriteEST(scratch) == 1);
  COrientation again(1);
  Check(again.ReadEST(scratch) == 1);
  Check(again.GetN() == read.GetN());
  Check(again.GetMeanGSD() == read.GetMeanGSD());
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      Check(std::fabs(again.GetRotMat()(r, c) - read.GetRotMat()(r, c)) < 1e-12);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path input = ScratchFile(".in"), output = ScratchFile(".out");
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  COrientation interior(1);
  if (interior.ReadINT(input))
    CheckInterior(interior, output);
  else
    Check(!interior.HasInterior());

  COrientation exterior(1);
  if (exterior.ReadEST(input))
    CheckExterior(exterior, output);
  else
    Check(!exterior.HasExterior());

  std::filesystem::remove(input);
  std::filesystem::remove(output);
  return 0;
}
