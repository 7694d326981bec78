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

#include <algorithm>
#include <cmath>
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
// The box (xmin, xmax, ymin, ymax, zmin, zmax) of the points ReadAsciiModel gives, and in
// `info` their count, read without building the model: what a bounds pass needs. False for
// the files ReadAsciiModel abandons, with the same `info`. A version 2.0 model's normals are
// not read, so normals it would drop are not reported here.
bool ReadAsciiModelBox(const std::string& path, AsciiModelInfo& info, double box[6]);
// For the user: the file ReadAsciiModel could not read, and why.
std::string SkippedModelReport(const std::string& path, const AsciiModelInfo& info);

// One vertex cell per point, for models and clouds that are only points.
vtkSmartPointer<vtkCellArray> VertexCells(vtkIdType count);

// What the PTS and version 2.0 readers share.
namespace asciimodel {

constexpr size_t kMaxModelLine = 512;

// A model under construction; or, made to keep only the box, the box and count of its points.
class ModelBuilder {
 public:
  enum Keep { kModel, kBoxOnly };
  explicit ModelBuilder(Keep keep);

  void AddPoint(double x, double y, double z, const uint8_t colour[3]) {
    const double p[3] = {x, y, z};
    for (int d = 0; d < 3; ++d) {
      m_Box[2 * d] = std::min(m_Box[2 * d], p[d]);
      m_Box[2 * d + 1] = std::max(m_Box[2 * d + 1], p[d]);
    }
    ++m_Count;
    if (m_BoxOnly) return;
    m_Points->InsertNextPoint(x, y, z);
    m_Rgb->InsertNextTypedTuple(colour);
  }
  void AddIntensity(int value) {
    if (!m_BoxOnly) m_Intensity->InsertNextValue(value);
  }
  void AddNormal(const double normal[3]) {
    if (!m_BoxOnly) m_Normals->InsertNextTuple(normal);
  }
  void DropIntensities() { m_Intensity->Initialize(); }
  void DropNormals() { m_Normals->Initialize(); }

  int64_t GetCount() const { return m_Count; }
  vtkIdType GetNormalCount() const { return m_Normals->GetNumberOfTuples(); }
  // Meaningful once a point was added.
  const double* GetBox() const { return m_Box; }

  // Points with one vertex cell each; "RGB" as the scalars when coloured, the intensities or
  // the normals (whichever were added) as a further array or, without colour, as the scalars.
  vtkSmartPointer<vtkPolyData> Build(bool coloured);

 private:
  bool m_BoxOnly;
  int64_t m_Count = 0;
  double m_Box[6] = {HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
  vtkNew<vtkPoints> m_Points;
  vtkNew<vtkUnsignedCharArray> m_Rgb;
  vtkNew<vtkIntArray> m_Intensity;
  vtkNew<vtkFloatArray> m_Normals;
};

// Marks the model abandoned for `problem`; returns false.
bool Abandon(AsciiModelInfo& info, std::string problem);

// The readers of the two formats, after the first line: they fill `builder` and `info`, false
// when they abandon the file. Only one of intensity and normals is filled.
bool ReadPtsBlocks(scantext::LineSource& lines, AsciiModelInfo& info, ModelBuilder& builder);
bool ReadVersion2Model(scantext::LineSource& lines, AsciiModelInfo& info, ModelBuilder& builder);

}  // namespace asciimodel
