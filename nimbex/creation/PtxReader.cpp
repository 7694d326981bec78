#include "nimbex/creation/PtxReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

using scantext::AllFinite;
using scantext::ApplyHomogeneous;
using scantext::ColourByte;
using scantext::FilePtr;
using scantext::IsIdentity;
using scantext::IsLoneInteger;
using scantext::Line;
using scantext::LineProblem;
using scantext::LineSource;
using scantext::Matrix4;
using scantext::NextContentLine;
using scantext::OpenRegularFile;
using scantext::ScanFields;

CPtxReader::CPtxReader() = default;
CPtxReader::~CPtxReader() = default;

bool CPtxReader::Open(const std::string& path) {
  FilePtr file = OpenRegularFile(path);
  m_Lines = file ? std::make_unique<LineSource>(std::move(file), kMaxLine) : nullptr;
  m_HasPendingColumns = false;
  m_Ended = !m_Lines;
  m_InScan = false;
  m_Problem = m_Lines ? "" : "cannot open the file";
  m_Path = path;
  m_PointLines = 0;
  return m_Lines != nullptr;
}

std::string CPtxReader::GetStopReport() const {
  if (m_Problem.empty()) return "";
  if (!m_Lines) return m_Path + ": " + m_Problem;
  return m_Path + ": " + m_Problem + "; reading stopped there, after " +
         std::to_string(m_PointLines) + " points of the file";
}

namespace {

// A header line of `count` finite numbers ("%lf %lf %lf" or four of them).
bool ReadNumberLine(LineSource& lines, int count, double* values) {
  Line line;
  double read[4];
  if (!NextContentLine(lines, line) || ScanFields(line, "ffff", read) < count ||
      !AllFinite(read, count))
    return false;
  std::copy(read, read + count, values);
  return true;
}

bool ReadCount(LineSource& lines, int& count) {
  Line line;
  int64_t value = 0;
  if (!NextContentLine(lines, line) || !IsLoneInteger(line, value)) return false;
  if (value < 0 || value > INT_MAX) return false;
  count = int(value);
  return true;
}

// The scanner's placeholders for directions that gave no return.
bool IsMissingPoint(const PtxPoint& p) {
  if (p.x != 0 || p.y != 0 || p.z != 0) return false;
  if (!p.hasColour) return p.intensity == 0.5 || p.intensity == 0.0;
  return p.intensity == 0.5 && p.rgb[0] == 0 && p.rgb[1] == 0 && p.rgb[2] == 0;
}

// The matrix of a PTX scan is written as most scanner software writes it: for a point as a
// row vector, so its fourth line holds the translation. Real exports show it: a scan whose
// matrix scales z by 2 and ends with "600000 800000 400 1" lands on the LAS export of the
// same survey only when read that way (x + 600000, y + 800000, 2 z + 400); read as rows for a
// column vector, the fourth component would be about 2e10 and every point would collapse
// near the origin. The transform is kept transposed, for a column vector.
//
// When the matrix is the identity the scanner pose stands in for it, laid out the same way:
// the x, y and z axis lines, then the position line. Scanners that do fill in the matrix
// write exactly that: their matrix lines repeat the pose lines.
void SetTransform(PtxScan& scan) {
  Matrix4 lines;
  std::memcpy(lines, scan.fileMatrix, sizeof lines);
  if (IsIdentity(scan.fileMatrix)) {
    for (int axis = 0; axis < 3; ++axis) {
      for (int c = 0; c < 3; ++c) lines[axis][c] = scan.axes[axis][c];
      lines[axis][3] = 0;
      lines[3][axis] = scan.position[axis];
    }
    lines[3][3] = 1;
  }
  scan.transformed = !IsIdentity(lines);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) scan.transform[row][column] = lines[column][row];
}

}  // namespace

bool CPtxReader::Fail(const char* what) {
  m_Problem = LineProblem(m_Lines->LineNumber(), what);
  m_Ended = true;
  m_InScan = false;
  return false;
}

bool CPtxReader::ReadHeader(PtxScan& scan) {
  scan = PtxScan();
  if (m_HasPendingColumns) {
    scan.columns = m_PendingColumns;
    m_HasPendingColumns = false;
  } else {
    Line line;
    if (!NextContentLine(*m_Lines, line)) {
      m_Ended = true;
      if (m_Lines->ReadFailed()) m_Problem = "the file could not be read to its end";
      return false;
    }
    int64_t columns = 0;
    if (!IsLoneInteger(line, columns) || columns < 0 || columns > INT_MAX)
      return Fail("expected the column count of a scan");
    scan.columns = int(columns);
  }
  if (!ReadCount(*m_Lines, scan.rows)) return Fail("expected the row count of a scan");
  if (!ReadNumberLine(*m_Lines, 3, scan.position)) return Fail("expected the scanner position");
  for (auto& axis : scan.axes)
    if (!ReadNumberLine(*m_Lines, 3, axis)) return Fail("expected a scanner axis");
  for (auto& row : scan.fileMatrix)
    if (!ReadNumberLine(*m_Lines, 4, row)) return Fail("expected a line of the scan matrix");
  SetTransform(scan);
  m_InScan = true;
  return true;
}

bool CPtxReader::NextScan(PtxScan& scan) {
  PtxPoint unread;
  while (NextPoint(unread) == 1) {
  }
  return !m_Ended && ReadHeader(scan);
}

int CPtxReader::NextPoint(PtxPoint& point) {
  if (!m_InScan) return 0;
  Line line;
  if (!NextContentLine(*m_Lines, line)) {
    m_InScan = false;
    m_Ended = true;
    if (m_Lines->ReadFailed()) m_Problem = "the file could not be read to its end";
    return 0;
  }
  double v[7];
  int count = ScanFields(line, "ffffddd", v);
  if (count == 4 || count == 7) {
    point = PtxPoint();
    point.x = v[0], point.y = v[1], point.z = v[2], point.intensity = v[3];
    point.hasColour = count == 7;
    for (int c = 0; point.hasColour && c < 3; ++c) point.rgb[c] = ColourByte(v[4 + c]);
    point.valid = AllFinite(v, 4) && !IsMissingPoint(point);
    ++m_PointLines;
    return 1;
  }
  int64_t columns = 0;
  if (IsLoneInteger(line, columns) && columns >= 0 && columns <= INT_MAX) {
    m_PendingColumns = int(columns);
    m_HasPendingColumns = true;
    m_InScan = false;
    return 0;
  }
  Fail(line.tooLong ? "line too long for a point" : "expected a point or the next scan");
  return 0;
}

bool TransformPtxPoint(const PtxScan& scan, double& x, double& y, double& z) {
  if (!scan.transformed) return true;
  return ApplyHomogeneous(scan.transform, x, y, z);
}

int64_t PtxScanPointCount(const PtxScan& scan) {
  if (scan.columns <= 0 || scan.rows <= 0) return 0;
  return int64_t(scan.columns) * scan.rows;
}
