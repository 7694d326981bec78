// Arbitrary bytes as a DXF drawing: reading must not crash nor hang, a refused file leaves
// the drawing as it was, and a drawing that was read writes out as DXF and reads back with
// as many entities. Seeds: the DXF files of the sample-data folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/drawings/CadFile.h"

namespace {

std::filesystem::path ScratchFile(const char* name) {
  return std::filesystem::temp_directory_path() /
         ("orvalis dxf_fuzz " + std::to_string(::getpid()) + name);
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path input = ScratchFile(".dxf");
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  CCadDrawing drawing;
  drawing.AddLayer("Kept", 3);
  std::string error;
  if (!CadFileOpen(drawing, input.string(), error)) {
    Check(!error.empty() && drawing.GetLayerByName("Kept") && drawing.GetFileName().empty());
    return 0;
  }
  CadExtent extents;
  drawing.GetExtents(extents);
  const std::filesystem::path saved = ScratchFile(" saved.dxf");
  Check(CadFileSaveAs(drawing, saved.string(), error) == 1);
  CCadDrawing again;
  Check(CadFileOpen(again, saved.string(), error) == 1);
  Check(again.CountEntities() == drawing.CountEntities());
  // Layer names that differ only in characters DXF names cannot hold become one layer.
  Check(again.CountLayers() <= drawing.CountLayers());
  return 0;
}
