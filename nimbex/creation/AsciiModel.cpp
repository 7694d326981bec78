// ASCII model files: the first line tells PTS blocks from the version 2.0 scanner format.
#include "nimbex/creation/AsciiModel.h"

#include <vtkIdTypeArray.h>
#include <vtkPointData.h>

#include <algorithm>
#include <cctype>
#include <numeric>
#include <utility>

using scantext::FilePtr;
using scantext::IsLoneInteger;
using scantext::Line;
using scantext::LineSource;
using scantext::OpenRegularFile;

namespace asciimodel {

vtkSmartPointer<vtkPolyData> BuildModel(ModelBuilder& b, bool coloured, vtkDataArray* extra) {
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(b.points);
  model->SetVerts(VertexCells(b.points->GetNumberOfPoints()));
  vtkPointData* data = model->GetPointData();
  bool hasExtra = extra->GetNumberOfTuples() > 0;
  if (coloured) {
    data->SetScalars(b.rgb);
    if (hasExtra) data->AddArray(extra);
  } else if (hasExtra) {
    data->SetScalars(extra);
  }
  return model;
}

vtkSmartPointer<vtkPolyData> Abandon(AsciiModelInfo& info, std::string problem) {
  info.abandoned = true;
  info.points = 0;
  info.coloured = false;
  info.problem = std::move(problem);
  return nullptr;
}

}  // namespace asciimodel

namespace {

bool IsVersion2Line(const Line& line) {
  static const char kTag[] = "#version 2.0";
  if (line.tooLong || size_t(line.end - line.begin) != sizeof kTag - 1) return false;
  return std::equal(line.begin, line.end, kTag, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

}  // namespace

vtkSmartPointer<vtkPolyData> ReadAsciiModel(const std::string& path, AsciiModelInfo& info) {
  info = AsciiModelInfo();
  FilePtr file = OpenRegularFile(path);
  if (!file) return asciimodel::Abandon(info, "cannot open the file");
  LineSource lines(std::move(file), asciimodel::kMaxModelLine);
  Line first;
  int64_t count = 0;
  if (!lines.Next(first)) return asciimodel::Abandon(info, "empty file");
  if (IsVersion2Line(first)) return asciimodel::ReadVersion2Model(lines, info);
  if (IsLoneInteger(first, count)) return asciimodel::ReadPtsBlocks(lines, info);
  return asciimodel::Abandon(info, "line 1: neither a PTS point count nor \"#version 2.0\"");
}

std::string SkippedModelReport(const std::string& path, const AsciiModelInfo& info) {
  return path + ": " + info.problem + "; the file was skipped";
}

// One vertex cell per point, built in one go: cell i holds point i.
vtkSmartPointer<vtkCellArray> VertexCells(vtkIdType count) {
  vtkNew<vtkIdTypeArray> offsets, connectivity;
  vtkIdType* offset = offsets->WritePointer(0, count + 1);
  std::iota(offset, offset + count + 1, vtkIdType(0));
  vtkIdType* id = connectivity->WritePointer(0, count);
  std::iota(id, id + count, vtkIdType(0));
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}
