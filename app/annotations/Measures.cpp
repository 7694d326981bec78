#include "Measures.h"

#include <vtkMath.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <system_error>
#include <unordered_set>

#include "nimbex/platform/TextFiles.h"

namespace fs = std::filesystem;

using Point3 = Wml::Point3<double>;
using Vector3 = Wml::Vector3<double>;

namespace {

// A line longer than this holds no point; only this much of it is kept while it is read.
constexpr size_t kMaxLineLength = 1024;
constexpr size_t kReadChunk = 64 * 1024;
// Below this share of the largest spread the points lie on a line (or on one point).
constexpr double kFlatSpread = 1e-12;

std::string FormatFixed(double value, int decimals) {
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "0";
  return std::string(text, end);
}

double ShownCoordinate(double value) {
  double shown = value;
  ParseFiniteDouble(FormatMeasureCoordinate(value), shown);
  return shown;
}

double Distance(const Point3& a, const Point3& b, int distanceMode) {
  Vector3 step = b - a;
  if (distanceMode == MEASURE_HORIZONTAL) step.Z() = 0;
  return step.Length();
}

// The shoelace rule over 2-D coordinates: the sum of x_i (y_{i-1} - y_{i+1}), halved.
double PolygonArea(const std::vector<Wml::Point2<double>>& polygon) {
  const size_t count = polygon.size();
  double sum = 0;
  for (size_t i = 0; i < count; ++i) {
    const auto& previous = polygon[(i + count - 1) % count];
    const auto& next = polygon[(i + 1) % count];
    sum += polygon[i].X() * (previous.Y() - next.Y());
  }
  return std::abs(sum) / 2;
}

// The normal of the plane through the centroid with the least spread of the points: the
// eigenvector of the smallest eigenvalue of the sums of squared and cross deviations. False
// when the points do not span a plane.
bool FitPlane(const std::vector<Vector3>& deviations, Vector3& normal) {
  double sums[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (const Vector3& d : deviations)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) sums[r][c] += d[r] * d[c];
  double vectors[3][3];
  double values[3];
  double* rows[3] = {sums[0], sums[1], sums[2]};
  double* vectorRows[3] = {vectors[0], vectors[1], vectors[2]};
  if (!vtkMath::Jacobi(rows, values, vectorRows)) return false;
  // Eigenvalues come largest first; the eigenvectors are the columns.
  if (!std::isfinite(values[0]) || values[0] <= 0 || values[1] <= kFlatSpread * values[0])
    return false;
  normal = Vector3(vectors[0][2], vectors[1][2], vectors[2][2]);
  return normal.Normalize() > 0;
}

// A frame on the plane through the origin with `normal`: u is the x axis projected onto it,
// v = normal x u. A plane across the x axis (a wall facing east or west) takes the y axis
// instead, which the x axis alone would leave without a frame.
void PlaneFrame(const Vector3& normal, Vector3& u, Vector3& v) {
  u = Vector3::UnitX() - normal * normal.X();
  if (u.Length() < 1e-6) u = Vector3::UnitY() - normal * normal.Y();
  u.Normalize();
  v = normal.Cross(u);
}

double AreaInFrame(const std::vector<Vector3>& points, const Vector3& u, const Vector3& v) {
  std::vector<Wml::Point2<double>> polygon;
  polygon.reserve(points.size());
  for (const Vector3& p : points) polygon.emplace_back(p.Dot(u), p.Dot(v));
  return PolygonArea(polygon);
}

void ComputeAreas(const std::vector<Point3>& points, const Vector3& viewDirection,
                  SMeasureResults& results) {
  // Areas do not change with the origin: taking it at the centroid keeps the digits that
  // absolute coordinates of a large site would lose.
  Vector3 centroid;
  for (const Point3& p : points) centroid += p;
  centroid = centroid / double(points.size());
  std::vector<Vector3> deviations;
  deviations.reserve(points.size());
  for (const Point3& p : points) deviations.push_back(p - centroid);
  if (!FitPlane(deviations, results.planeNormal)) return;
  results.planeFitted = true;
  Vector3 u, v;
  PlaneFrame(results.planeNormal, u, v);

  // A point's projection onto a plane through the origin along its normal keeps its
  // coordinates along u and v of the fitted plane.
  results.planeArea = AreaInFrame(deviations, u, v);

  Vector3 view = viewDirection;
  std::vector<Vector3> onView;
  if (view.Normalize() > 0) {
    for (const Vector3& d : deviations) onView.push_back(d - view * d.Dot(view));
    results.viewArea = AreaInFrame(onView, u, v);
  }

  std::vector<Wml::Point2<double>> horizontal;
  for (const Vector3& d : deviations) horizontal.emplace_back(d.X(), d.Y());
  results.horizontalArea = PolygonArea(horizontal);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseId(std::string_view text, int& id) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, id);
  return error == std::errc() && next == end && id >= 1 && id <= kMaxMeasureId;
}

bool ParseCoordinate(std::string_view text, double& value) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  return ParseFiniteDouble(std::string(text), value);
}

// Takes the lines of a text one piece at a time, keeping at most kMaxLineLength characters
// of each.
class CLineCollector {
 public:
  explicit CLineCollector(SMeasureImport& result) : m_Result(result) {}

  // False once the import has all the points it keeps.
  bool Take(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == '\n') {
        if (!EndLine()) return false;
      } else if (m_Line.size() < kMaxLineLength) {
        m_Line.push_back(data[i]);
      } else {
        m_TooLong = true;
      }
    }
    return true;
  }
  // The last line, which may have no line end.
  void Finish() {
    if (!m_Line.empty() || m_TooLong) EndLine();
  }

 private:
  bool EndLine() {
    const bool tooLong = m_TooLong;
    const bool blank = Trimmed(m_Line).empty();
    SMeasurePoint point;
    const bool parsed = !tooLong && ParseMeasureLine(m_Line, point);
    m_Line.clear();
    m_TooLong = false;
    if (!parsed) {
      if (tooLong || !blank) ++m_Result.skippedLines;
      return true;
    }
    if (m_Result.points.size() >= size_t(kMaxImportedMeasures)) {
      m_Result.truncated = true;
      return false;
    }
    m_Result.points.push_back(point);
    return true;
  }

  SMeasureImport& m_Result;
  std::string m_Line;
  bool m_TooLong = false;
};

}  // namespace

std::string FormatMeasureCoordinate(double value) {
  return FormatFixed(value, 3);
}

std::string FormatMeasureLength(double value) {
  return FormatFixed(value, 4);
}

std::string FormatMeasureArea(double value) {
  return FormatFixed(value, 3);
}

int CMeasureList::NextAutomaticId() const {
  int highest = 0;
  for (const SMeasurePoint& p : m_Points) highest = std::max(highest, p.id);
  return highest + 1;
}

int CMeasureList::Add(const Point3& point, int id) {
  SMeasurePoint added;
  added.id = id != 0 ? id : NextAutomaticId();
  for (int i = 0; i < 3; ++i) added.point[i] = ShownCoordinate(point[i]);
  m_Points.push_back(added);
  return GetCount() - 1;
}

void CMeasureList::RemoveRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto row = rows.rbegin(); row != rows.rend(); ++row)
    if (*row >= 0 && *row < GetCount()) m_Points.erase(m_Points.begin() + *row);
}

std::vector<int> CMeasureList::RowsWithIds(const std::vector<SMeasurePoint>& ids) const {
  std::unordered_set<int> wanted;
  for (const SMeasurePoint& other : ids) wanted.insert(other.id);
  std::vector<int> rows;
  for (int row = 0; row < GetCount(); ++row)
    if (wanted.count(m_Points[row].id)) rows.push_back(row);
  return rows;
}

SMeasureResults ComputeMeasures(const std::vector<Point3>& points, int distanceMode,
                                const Vector3& viewDirection) {
  SMeasureResults results;
  if (points.size() >= 2) {
    results.hasLengths = true;
    for (size_t i = 1; i < points.size(); ++i)
      results.length += Distance(points[i - 1], points[i], distanceMode);
    results.closedLength = results.length + Distance(points.back(), points.front(), distanceMode);
  }
  if (points.size() >= 3) ComputeAreas(points, viewDirection, results);
  return results;
}

std::string MeasureFileText(const std::vector<SMeasurePoint>& points) {
  std::string text;
  for (const SMeasurePoint& p : points)
    text += std::to_string(p.id) + ";" + FormatMeasureCoordinate(p.point.X()) + ";" +
            FormatMeasureCoordinate(p.point.Y()) + ";" + FormatMeasureCoordinate(p.point.Z()) +
            "\n";
  return text;
}

int ExportMeasures(const fs::path& path, const std::vector<SMeasurePoint>& points) {
  return ReplaceFile(path, MeasureFileText(points), false) ? 1 : 0;
}

bool ParseMeasureLine(std::string_view line, SMeasurePoint& point) {
  std::string_view fields[4];
  for (int i = 0; i < 3; ++i) {
    const size_t separator = line.find(';');
    if (separator == std::string_view::npos) return false;
    fields[i] = line.substr(0, separator);
    line.remove_prefix(separator + 1);
  }
  fields[3] = line;
  SMeasurePoint parsed;
  if (!ParseId(fields[0], parsed.id)) return false;
  for (int i = 0; i < 3; ++i)
    if (!ParseCoordinate(fields[i + 1], parsed.point[i])) return false;
  point = parsed;
  return true;
}

void ReadMeasures(std::istream& in, SMeasureImport& result) {
  CLineCollector lines(result);
  std::vector<char> chunk(kReadChunk);
  bool first = true;
  while (in) {
    in.read(chunk.data(), std::streamsize(chunk.size()));
    const std::streamsize read = in.gcount();
    if (read <= 0) break;
    // A UTF-8 byte order mark before the first line is no part of it.
    size_t start = 0;
    if (first && read >= 3 && chunk[0] == '\xEF' && chunk[1] == '\xBB' && chunk[2] == '\xBF')
      start = 3;
    first = false;
    if (!lines.Take(chunk.data() + start, size_t(read) - start)) return;
  }
  lines.Finish();
}

int ImportMeasureFile(const fs::path& path, SMeasureImport& result) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    result.error = "it is not a file that can be read";
    return 0;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.error = "it cannot be opened";
    return 0;
  }
  ReadMeasures(in, result);
  if (in.bad()) {
    result.error = "reading it failed";
    return 0;
  }
  return 1;
}
