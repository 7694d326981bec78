// Arbitrary bytes as an ASCII model (PTS blocks or the version 2.0 format): the reader must
// abandon it with a reason or build a consistent model: one vertex per point, every point
// data array one tuple per point, finite points, unit or zero normals.
#include <unistd.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nimbex/creation/AsciiModel.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/pts_fuzz_" + std::to_string(getpid()) + ".pts";
  return path;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// An odd control byte puts blank lines (which the reader skips) after the first line, so that
// the lines behind them straddle the end of the first block.
std::string WithPadding(uint8_t control, const std::string& text) {
  if (!(control & 1)) return text;
  size_t firstLineEnd = text.find('\n');
  if (firstLineEnd == std::string::npos) return text;
  std::string blanks(scantext::kBlockSize - (control >> 1), '\n');
  return text.substr(0, firstLineEnd + 1) + blanks + text.substr(firstLineEnd + 1);
}

void CheckModel(vtkPolyData* model, const AsciiModelInfo& info) {
  const vtkIdType points = model->GetNumberOfPoints();
  Check(points == info.points && model->GetNumberOfVerts() == points);
  for (vtkIdType i = 0; i < points; ++i) {
    const double* p = model->GetPoint(i);
    Check(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
  }
  vtkPointData* data = model->GetPointData();
  for (int i = 0; i < data->GetNumberOfArrays(); ++i)
    Check(data->GetArray(i)->GetNumberOfTuples() == points && points > 0);
  vtkDataArray* scalars = data->GetScalars();
  Check(info.coloured == (scalars && std::string(scalars->GetName()) == "RGB"));
  if (vtkDataArray* normals = data->GetArray("Normals")) {
    for (vtkIdType i = 0; i < points; ++i) {
      double n[3];
      normals->GetTuple(i, n);
      double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      Check(length == 0 || std::fabs(length - 1) < 1e-5);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text =
      WithPadding(data[0], std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);

  AsciiModelInfo info;
  vtkSmartPointer<vtkPolyData> model = ReadAsciiModel(ScratchFile(), info);
  Check(!model == info.abandoned);
  if (model)
    CheckModel(model, info);
  else
    Check(!info.problem.empty());
  std::remove(ScratchFile().c_str());
  return 0;
}
