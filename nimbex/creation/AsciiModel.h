// ASCII models: PTS files (a count line, then "x y z [intensity [r g b]]" lines, in one or more
// blocks) and the version 2.0 scanner text format, each read whole into a vtkPolyData.
#pragma once

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <cstdint>
#include <string>

#include "nimbex/creation/ScanText.h"

enum class AsciiModelFormat { Unknown, PtsBlocks, Version2 };

struct AsciiModelInfo {
  AsciiModelFormat format = AsciiModelFormat::Unknown;
  int64_t points = 0;         // points in the model
  int64_t skippedPoints = 0;  // PTS lines at 0 0 0; lines that give a non-finite point
  bool coloured = false;      // "RGB" is the point scalars
  bool abandoned = false;     // no model: `problem` says why
  std::string problem;        // why it was abandoned, or what was dropped (normals)
};

// Reads a PTS file (a count line then "x y z [intensity [r g b]]" lines, in one or more blocks)
// or a version 2.0 scanner text model into points with one vertex cell each. Point data:
// "RGB" (unsigned char x3) as the scalars when coloured; "Intensity" (int x1, PTS) or
// "Normals" (float x3, version 2.0) as a further array, or as the scalars when there is no
// colour. Coordinates are as the file gives them (version 2.0: after its transform matrix).
// Null when the file cannot be opened or is abandoned (see `info`).
vtkSmartPointer<vtkPolyData> ReadAsciiModel(const std::string& path, AsciiModelInfo& info);
// For the user: the file ReadAsciiModel could not read, and why.
std::string SkippedModelReport(const std::string& path, const AsciiModelInfo& info);

// One vertex cell per point, for models and clouds that are only points.
vtkSmartPointer<vtkCellArray> VertexCells(vtkIdType count);

// What the PTS and version 2.0 readers share.
namespace asciimodel {

constexpr size_t kMaxModelLine = 512;

// The arrays of a model under construction.
struct ModelBuilder {
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> rgb;
  vtkNew<vtkIntArray> intensity;
  vtkNew<vtkFloatArray> normals;

  ModelBuilder() {
    points->SetDataTypeToDouble();  // world coordinates: float would lose centimetres
    rgb->SetName("RGB");
    rgb->SetNumberOfComponents(3);
    intensity->SetName("Intensity");
    normals->SetName("Normals");
    normals->SetNumberOfComponents(3);
  }

  void AddPoint(double x, double y, double z, const uint8_t colour[3]) {
    points->InsertNextPoint(x, y, z);
    rgb->InsertNextTypedTuple(colour);
  }
};

// Points with one vertex cell each; "RGB" as the scalars when coloured, `extra` as a further
// array or, without colour, as the scalars (only when it holds tuples).
vtkSmartPointer<vtkPolyData> BuildModel(ModelBuilder& b, bool coloured, vtkDataArray* extra);
// Marks the model abandoned for `problem`; returns null.
vtkSmartPointer<vtkPolyData> Abandon(AsciiModelInfo& info, std::string problem);

// The readers of the two formats, after the first line.
vtkSmartPointer<vtkPolyData> ReadPtsBlocks(scantext::LineSource& lines, AsciiModelInfo& info);
vtkSmartPointer<vtkPolyData> ReadVersion2Model(scantext::LineSource& lines, AsciiModelInfo& info);

}  // namespace asciimodel
