// Loads every item of a small valid mesh stream whose triangle, colour, class and normal
// files (full resolution and overview) are the fuzzer's bytes: damaged data files must be
// refused or give arrays that agree with the points, with every cell naming loaded points.
//
// The input is a list of chunks, one per damaged file in the order of kFuzzedKinds: a 16-bit
// little-endian length, then that many bytes (fewer when the input ends). Files after the
// input's end keep their valid bytes, so the empty input is the valid stream.
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/platform/Hooks.h"
#include "tests/support/StreamWriter.h"

namespace {

constexpr StrmFileKind kFuzzedKinds[] = {TRI_FILE, TRIOVW_FILE, RGB_FILE,  RGBOVW_FILE,
                                         CLA_FILE, CLAOVW_FILE, NORM_FILE, NORMOVW_FILE};

const std::filesystem::path& ScratchStream() {
  static const std::filesystem::path path =
      "/dev/shm/item_files_fuzz_" + std::to_string(getpid()) + ".strm";
  return path;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A fan of triangles over the item's points, each point with its own colour, class and normal.
TestItem FanItem(int id, int depth, int count, float z) {
  TestItem item;
  item.id = id;
  item.depth = depth;
  for (int i = 0; i < count; ++i) {
    const float x = -7.5f + static_cast<float>(i % 4), y = -7.5f + static_cast<float>(i / 4);
    item.points.push_back({x, y, z});
    item.colors.push_back({uint8_t(40 * i), uint8_t(255 - 30 * i), uint8_t(17 * i)});
    item.classes.push_back(uint8_t(i % 10));
    item.normals.push_back({0, 0, 1});
  }
  for (int i = 1; i + 1 < count; ++i) item.triangles.push_back({0, i, i + 1});
  return item;
}

TestStream FanStream() {
  TestStream stream;
  stream.depth = 1;
  stream.tri = stream.rgb = stream.cla = stream.norm = true;
  stream.items = {FanItem(0, 1, 6, -7), FanItem(3, 1, 5, -6), FanItem(6, 1, 4, 1),
                  FanItem(0, 0, 5, 0)};
  return stream;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void RemoveScratchStream() {
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind)
    std::filesystem::remove(GetStrmCompanionName(ScratchStream(), StrmFileKind(kind)));
}

// The valid bytes of every fuzzed file, read once from the stream written at start.
const std::map<StrmFileKind, std::string>& ValidFiles() {
  static const std::map<StrmFileKind, std::string> files = [] {
    WriteTestStream(ScratchStream(), FanStream());
    std::atexit(RemoveScratchStream);
    std::map<StrmFileKind, std::string> contents;
    for (StrmFileKind kind : kFuzzedKinds)
      contents[kind] = ReadAll(GetStrmCompanionName(ScratchStream(), kind));
    return contents;
  }();
  return files;
}

void WriteFile(StrmFileKind kind, const uint8_t* data, size_t size) {
  std::ofstream(GetStrmCompanionName(ScratchStream(), kind), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteDamagedFiles(const uint8_t* data, size_t size) {
  size_t at = 0;
  for (StrmFileKind kind : kFuzzedKinds) {
    if (at + 2 > size) {
      const std::string& valid = ValidFiles().at(kind);
      WriteFile(kind, reinterpret_cast<const uint8_t*>(valid.data()), valid.size());
      continue;
    }
    const size_t length = std::min<size_t>(data[at] | data[at + 1] << 8, size - at - 2);
    WriteFile(kind, data + at + 2, length);
    at += 2 + length;
  }
}

struct LevelArrays {
  LevelArrays() {
    colors->SetNumberOfComponents(3);
    normals->SetNumberOfComponents(3);
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> cells;
  vtkNew<vtkUnsignedCharArray> classes;
  vtkNew<vtkUnsignedCharArray> colors;
  vtkNew<vtkFloatArray> normals;
};

// Classes are read whenever an array is given for them, so they hold one tuple per loaded
// point; every other attribute holds one per point when the stream has it and none when it has
// not (a meshed stream whose overview attribute file is short drops that attribute). Every
// cell names loaded points, as the drawing pass and VTK's bounds and rendering code assume.
void CheckLevel(const CNimbex& cloud, const LevelArrays& a) {
  const vtkIdType points = a.points->GetNumberOfPoints();
  auto tuples = [points](int present) { return present ? points : 0; };
  Check(a.classes->GetNumberOfTuples() == points &&
        a.colors->GetNumberOfTuples() == tuples(cloud.HasColors()) &&
        a.normals->GetNumberOfTuples() == tuples(cloud.HasNormals()));
  vtkNew<vtkIdList> ids;
  for (vtkIdType cell = 0; cell < a.cells->GetNumberOfCells(); ++cell) {
    a.cells->GetCellAtId(cell, ids);
    for (vtkIdType i = 0; i < ids->GetNumberOfIds(); ++i)
      Check(ids->GetId(i) >= 0 && ids->GetId(i) < points);
  }
}

// Loads every item of every level into one set of arrays per level, as the drawing pass
// does, whole or as a stepped sample.
void LoadLevels(CNimbex& cloud, int step) {
  for (int depth = 0; depth <= cloud.GetDepth(); ++depth) {
    LevelArrays a;
    cloud.ResetIOPtsLoaded();
    for (const Item& item : cloud.GetLevelItems(depth))
      cloud.LoadItemIO(depth, item.id, a.points, a.cells, a.classes, a.colors, nullptr, nullptr,
                       a.normals, step);
    CheckLevel(cloud, a);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUserMessageHook([](const std::string&, const std::string&, UserMessageKind) {});
  ValidFiles();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteDamagedFiles(data, size);
  CNimbex cloud(ScratchStream().c_str());
  if (!cloud.OpenStrmCloud()) return 0;
  LoadLevels(cloud, 1);
  LoadLevels(cloud, 2);
  return 0;
}
