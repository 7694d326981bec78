// Scanner exports and models that stream creation takes besides LAS and delimited text:
// list files naming the inputs, VTK polydata models (.vtp) with their "vtw" and "ini"
// companions, PTX scans read as a stream, and ASCII models (PTS blocks and the version 2.0
// scanner text format) read whole into a vtkPolyData.
//
// Every text line is read into a fixed buffer; counts announced by a file are never used to
// size an allocation.
#pragma once

#include <vtkCellArray.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scanfiles_internal {
class LineSource;
}

// ---- List files ----

// The input paths of a list file, one a line, in file order. The line end (LF, CRLF) is
// removed and empty lines are skipped. A line longer than kMaxListLine characters or holding a
// NUL byte cannot name a file: it is skipped and counted in `*unusableLines` when given.
// `opened` is false when the file cannot be opened (the result is then empty).
constexpr size_t kMaxListLine = 4096;
std::vector<std::string> ReadListFile(const std::string& path, bool& opened,
                                      size_t* unusableLines = nullptr);

// ---- VTP models and their companions ----

// The offset from the "vtw" file beside the model (same folder and stem, extension "vtw"):
// section "PolyData Offset", keys X, Y, Z. Zero for a missing file or key.
void ReadVtwOffset(const std::string& modelPath, double offset[3]);
// The ground sample distance from the "ini" file beside the model: section
// "Kelvo_CloudData", key GSD, 0 when missing. `present` is false when there is no such file.
double ReadIniGsd(const std::string& modelPath, bool& present);

// Reads a VTK XML polydata file. Null, with the reason in `error`, when the file is missing,
// is not a polydata file VTK can read, is damaged (any error VTK reports while reading),
// declares more data than it can hold, holds no points, a point that is not finite or a cell
// naming a point it does not hold. Text arrays of point and cell data are not read.
vtkSmartPointer<vtkPolyData> ReadVtpModel(const std::string& path, std::string& error);

// ---- PTX scans ----

// One scan header. PTX files hold one or more scans, each a header followed by
// columns x rows point lines.
struct PtxScan {
  int columns = 0;
  int rows = 0;
  double position[3] = {0, 0, 0};                         // scanner position
  double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // scanner x, y and z axes
  double fileMatrix[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};  // lines
  // What TransformPtxPoint applies, for a column vector (x, y, z, 1): the transpose of the
  // file's matrix, or of the scanner pose when the file's matrix is the identity.
  double transform[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  bool transformed = false;  // false: the points are used as read
};

// One point line of a scan, untransformed.
struct PtxPoint {
  double x = 0, y = 0, z = 0;
  double intensity = 0;
  int rgb[3] = {0, 0, 0};  // clamped to 0..255; zero when the line has no colour
  bool hasColour = false;  // the line had seven values
  // False for the scanner's "no return" placeholders (0 0 0 with intensity 0.5 or 0, or
  // 0 0 0 0.5 0 0 0) and for lines with a coordinate or intensity that is not finite.
  bool valid = true;
};

// Reads a PTX file scan by scan, point by point, without holding it in memory.
class CPtxReader {
 public:
  static constexpr size_t kMaxLine = 512;  // longer lines are malformed
  // All text files here are read in blocks of this size.
  static constexpr size_t kBlockSize = size_t(1) << 20;

  CPtxReader();
  ~CPtxReader();
  CPtxReader(const CPtxReader&) = delete;
  CPtxReader& operator=(const CPtxReader&) = delete;

  // False when the file cannot be opened.
  bool Open(const std::string& path);
  // Reads the next scan header, first skipping the points of the current scan that were not
  // read. False at the end of the file or when a header line does not parse: a malformed
  // header ends the file (see GetProblem).
  bool NextScan(PtxScan& scan);
  // 1 for a point line, 0 at the end of the scan (a line holding one integer, which is kept as
  // the columns of the next scan) or of the file. A line that is neither a point nor a
  // columns line ends the file (see GetProblem). Blank lines are skipped.
  int NextPoint(PtxPoint& point);
  // Why the file ended before its end, with the line number; empty for a clean end.
  const std::string& GetProblem() const { return m_Problem; }

 private:
  bool ReadHeader(PtxScan& scan);
  bool Fail(const char* what);

  std::unique_ptr<scanfiles_internal::LineSource> m_Lines;
  bool m_HasPendingColumns = false;
  int m_PendingColumns = 0;
  bool m_Ended = true;
  bool m_InScan = false;
  std::string m_Problem;
};

// Applies the scan's transformation to a point read from it. False when the point cannot be
// placed: the homogeneous fourth component is zero or the result is not finite.
bool TransformPtxPoint(const PtxScan& scan, double& x, double& y, double& z);
// The number of point lines the scan header announces: columns x rows, 0 when either is not
// positive. Announced, not verified: NextPoint reads what the file holds.
int64_t PtxScanPointCount(const PtxScan& scan);

// ---- ASCII models ----

enum class AsciiModelFormat { Unknown, PtsBlocks, Version2 };

struct AsciiModelInfo {
  AsciiModelFormat format = AsciiModelFormat::Unknown;
  int64_t points = 0;         // points in the model
  int64_t skippedPoints = 0;  // PTS lines at 0 0 0; lines that give a non-finite point
  bool coloured = false;      // "RGB" is the point scalars
  bool abandoned = false;     // no model: `problem` says why
  std::string problem;        // why it was abandoned, or what was dropped (normals)
};

// Reads a PTS file (a count line then "x y z intensity [r g b]" lines, in one or more blocks)
// or a version 2.0 scanner text model into points with one vertex cell each. Point data:
// "RGB" (unsigned char x3) as the scalars when coloured; "Intensity" (int x1, PTS) or
// "Normals" (float x3, version 2.0) as a further array, or as the scalars when there is no
// colour. Coordinates are as the file gives them (version 2.0: after its transform matrix).
// Null when the file cannot be opened or is abandoned (see `info`).
vtkSmartPointer<vtkPolyData> ReadAsciiModel(const std::string& path, AsciiModelInfo& info);

// One vertex cell per point, for models and clouds that are only points.
vtkSmartPointer<vtkCellArray> VertexCells(vtkIdType count);
