// PTX scans: one or more scans, each a header (columns, rows, scanner pose, 4x4 matrix)
// followed by columns x rows point lines, read as a stream without holding the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "nimbex/creation/ScanText.h"

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
  static constexpr size_t kBlockSize = scantext::kBlockSize;

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
  // For the user: empty for a file read to its end; otherwise the file, where and why reading
  // stopped and how many point lines were read before.
  std::string GetStopReport() const;

 private:
  bool ReadHeader(PtxScan& scan);
  bool Fail(const char* what);

  std::unique_ptr<scantext::LineSource> m_Lines;
  bool m_HasPendingColumns = false;
  int m_PendingColumns = 0;
  bool m_Ended = true;
  bool m_InScan = false;
  std::string m_Problem;
  std::string m_Path;
  int64_t m_PointLines = 0;  // point lines read since Open
};

// Applies the scan's transformation to a point read from it. False when the point cannot be
// placed: the homogeneous fourth component is zero or the result is not finite.
bool TransformPtxPoint(const PtxScan& scan, double& x, double& y, double& z);
// The number of point lines the scan header announces: columns x rows, 0 when either is not
// positive. Announced, not verified: NextPoint reads what the file holds.
int64_t PtxScanPointCount(const PtxScan& scan);
