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

ModelBuilder::ModelBuilder(Keep keep) : m_BoxOnly(keep == kBoxOnly) {
  m_Points->SetDataTypeToDouble();  // world coordinates: float would lose centimetres
  m_Rgb->SetName("RGB");
  m_Rgb->SetNumberOfComponents(3);
  m_Intensity->SetName("Intensity");
  m_Normals->SetName("Normals");
  m_Normals->SetNumberOfComponents(3);
}

vtkSmartPointer<vtkPolyData> ModelBuilder::Build(bool coloured) {
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(m_Points);
  model->SetVerts(VertexCells(m_Points->GetNumberOfPoints()));
  vtkPointData* data = model->GetPointData();
  vtkDataArray* extra = nullptr;
  if (m_Intensity->GetNumberOfTuples() > 0) extra = m_Intensity;
  if (m_Normals->GetNumberOfTuples() > 0) extra = m_Normals;
  if (coloured) {
    data->SetScalars(m_Rgb);
    if (extra) data->AddArray(extra);
  } else if (extra) {
    data->SetScalars(extra);
  }
  return model;
}

bool Abandon(AsciiModelInfo& info, std::string problem) {
  info.abandoned = true;
  info.points = 0;
  info.coloured = false;
  info.problem = std::move(problem);
  return false;
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

// Reads the file into `builder`; false when it cannot be opened or is abandoned.
bool ReadModelInto(const std::string& path, AsciiModelInfo& info,
                   asciimodel::ModelBuilder& builder) {
  info = AsciiModelInfo();
  FilePtr file = OpenRegularFile(path);
  if (!file) return asciimodel::Abandon(info, "cannot open the file");
  LineSource lines(std::move(file), asciimodel::kMaxModelLine);
  Line first;
  int64_t count = 0;
  if (!lines.Next(first)) return asciimodel::Abandon(info, "empty file");
  if (IsVersion2Line(first)) return asciimodel::ReadVersion2Model(lines, info, builder);
  if (IsLoneInteger(first, count)) return asciimodel::ReadPtsBlocks(lines, info, builder);
  return asciimodel::Abandon(info, "line 1: neither a PTS point count nor \"#version 2.0\"");
}

}  // namespace

vtkSmartPointer<vtkPolyData> ReadAsciiModel(const std::string& path, AsciiModelInfo& info) {
  asciimodel::ModelBuilder builder(asciimodel::ModelBuilder::kModel);
  if (!ReadModelInto(path, info, builder)) return nullptr;
  return builder.Build(info.coloured);
}

bool ReadAsciiModelBox(const std::string& path, AsciiModelInfo& info, double box[6]) {
  asciimodel::ModelBuilder builder(asciimodel::ModelBuilder::kBoxOnly);
  if (!ReadModelInto(path, info, builder)) return false;
  std::copy(builder.GetBox(), builder.GetBox() + 6, box);
  return true;
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
