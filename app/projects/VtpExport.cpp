#include "VtpExport.h"

#include <vtkCellArray.h>
#include <vtkErrorCode.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataWriter.h>

#include <cstdio>
#include <filesystem>

#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/Profile.h"
#include "nimbex/platform/Sinks.h"

namespace {

constexpr int kFullResolution = -1;

void SetProgress(CProgressSink* progress, int position) {
  if (progress) progress->SetPos(position);
}

void SetStatus(CTextSink* status, const char* text) {
  if (status) status->SetText(text);
}

// Every full-resolution item read into one point set; 0 when an item cannot be read.
int LoadFullResolution(CNimbex& cloud, vtkPoints* points, vtkUnsignedCharArray* colours,
                       CProgressSink* progress, std::string& error) {
  const std::vector<Item>& items = cloud.GetLevelItems(kFullResolution);
  cloud.ResetIOPtsLoaded();
  for (size_t i = 0; i < items.size(); ++i) {
    PumpMsgs();
    if (items[i].ptsCount > 0 &&
        !cloud.LoadItemIO(kFullResolution, static_cast<int>(items[i].id), points, nullptr, nullptr,
                          colours, nullptr, nullptr, nullptr, 1)) {
      error = "the points of item " + std::to_string(items[i].id) + " cannot be read from " +
              cloud.GetStrmFileName();
      return 0;
    }
    SetProgress(progress, static_cast<int>((i + 1) * 100 / items.size()));
  }
  return 1;
}

int WriteOffsetFile(const CNimbex& cloud, const std::string& vtpPath, std::string& error) {
  double offset[3];
  cloud.GetCloudOffset(offset);
  const std::filesystem::path vtwPath = std::filesystem::path(vtpPath).replace_extension(".vtw");
  CProfile profile;
  profile.Load(vtwPath);
  const char* keys[3] = {"X", "Y", "Z"};
  for (int axis = 0; axis < 3; ++axis) {
    char value[64];
    std::snprintf(value, sizeof value, "%.10lf", offset[axis]);
    profile.SetString("PolyData Offset", keys[axis], value);
  }
  if (profile.Save(vtwPath, false)) return 1;
  error = "unable to write the offset file " + vtwPath.string();
  return 0;
}

}  // namespace

int ExportVtp(CNimbex& cloud, const std::string& path, CProgressSink* progress, CTextSink* status,
              std::string& error) {
  SetStatus(status, "Build Vtp from Stream");
  if (progress) progress->SetRange(0, 100);
  SetProgress(progress, 0);
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> colours;
  colours->SetNumberOfComponents(3);
  colours->SetName("RGB");
  if (!LoadFullResolution(cloud, points, colours, progress, error)) return 0;

  vtkNew<vtkPolyData> model;
  model->SetPoints(points);
  vtkNew<vtkCellArray> vertices;
  vertices->AllocateExact(points->GetNumberOfPoints(), points->GetNumberOfPoints());
  for (vtkIdType id = 0; id < points->GetNumberOfPoints(); ++id) vertices->InsertNextCell(1, &id);
  model->SetVerts(vertices);
  if (colours->GetNumberOfTuples() > 0) model->GetPointData()->SetScalars(colours);

  SetStatus(status, "Writing File");
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetFileName(path.c_str());
  writer->SetInputData(model);
  writer->SetDataModeToAppended();
  writer->EncodeAppendedDataOff();
  if (!writer->Write()) {
    error = "unable to write " + path + ": " +
            vtkErrorCode::GetStringFromErrorCode(static_cast<int>(writer->GetErrorCode()));
    SetProgress(progress, 0);
    return 0;
  }
  const int written = WriteOffsetFile(cloud, path, error);
  SetProgress(progress, 0);
  SetStatus(status, written ? "Process completed" : "");
  return written;
}
