// Arbitrary bytes as a VTK XML polydata file: the reader must refuse them with a message or
// give a model whose point data arrays match its points and whose cells name its points.
// Start it from a corpus of .vtp files.
#include <unistd.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "nimbex/creation/VtpReader.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = "/dev/shm/vtp_fuzz_" + std::to_string(getpid()) + ".vtp";
  return path;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Every cell names points of the model, as the creator expects when it walks them.
void CheckCells(vtkPolyData* model) {
  vtkNew<vtkIdList> ids;
  for (vtkIdType cell = 0; cell < model->GetNumberOfCells(); ++cell) {
    model->GetCellPoints(cell, ids);
    for (vtkIdType i = 0; i < ids->GetNumberOfIds(); ++i)
      Check(ids->GetId(i) >= 0 && ids->GetId(i) < model->GetNumberOfPoints());
  }
}

}  // namespace

// VTK 9.1 leaks the points it was reading when their array fails to read: the vtkPoints, its
// float array and an iterator over it. Nothing of ours allocates these here.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:vtkArrayIteratorTemplate\nleak:vtkPoints::vtkPoints\nleak:vtkFloatArray::New\n"
         "leak:vtkAOSDataArrayTemplate\n";
}

// Messages of objects without an error observer would flood the log; the reader's own
// errors still reach ReadVtpModel.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vtkOutputWindow::GetInstance()->SetDisplayModeToNever();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(ScratchFile().c_str(), "wb");
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);

  std::string error;
  vtkSmartPointer<vtkPolyData> model = ReadVtpModel(ScratchFile(), error);
  if (model) {
    vtkPointData* pointData = model->GetPointData();
    Check(error.empty() && model->GetNumberOfPoints() > 0);
    for (int i = 0; i < pointData->GetNumberOfArrays(); ++i)
      Check(pointData->GetAbstractArray(i)->GetNumberOfTuples() == model->GetNumberOfPoints());
    CheckCells(model);
  } else {
    Check(!error.empty());
  }
  std::remove(ScratchFile().c_str());
  return 0;
}
