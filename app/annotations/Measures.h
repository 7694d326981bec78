// Measured points of the model and what is measured from them: the numbered list, the length
// of the path through the selected points (open and closed, horizontal or 3D), the plane
// fitted to them and the three areas of the polygon they form, and the text files the list
// is exported to and imported from ("id;x;y;z" lines). No widgets: the measure page shows
// what this computes, and the import is fuzzed.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "nimbex/platform/Geometry.h"

enum MeasureDistanceMode {
  MEASURE_HORIZONTAL = 1,  // planimetric: x and y only
  MEASURE_3D = 2,
};

// Ids run from 1 to this; a file's larger ids are refused, so that the automatic id (one
// more than the highest) stays an int.
constexpr int kMaxMeasureId = 999999999;
// The most points an import keeps: every point is a caption in the 3D view.
constexpr int kMaxImportedMeasures = 2000;

struct SMeasurePoint {
  int id = 0;
  // Absolute model coordinates, as the list shows them (three decimals).
  Wml::Point3<double> point;
};

// A coordinate as the list shows it and files hold it: "%.3f", '.' whatever the locale.
std::string FormatMeasureCoordinate(double value);
// Lengths "%.4f", areas "%.3f", '.' whatever the locale.
std::string FormatMeasureLength(double value);
std::string FormatMeasureArea(double value);

class CMeasureList {
 public:
  const std::vector<SMeasurePoint>& GetPoints() const { return m_Points; }
  int GetCount() const { return static_cast<int>(m_Points.size()); }
  // The id a point added without one gets: one more than the highest id of the list (ids
  // removed from the end are not given again), 1 for an empty list.
  int NextAutomaticId() const;
  // Appends a point with `id` (0: the automatic id) and its coordinates rounded as the list
  // shows them. Returns its row.
  int Add(const Wml::Point3<double>& point, int id = 0);
  // Removes the rows (any order; rows outside the list are ignored).
  void RemoveRows(std::vector<int> rows);
  // The rows whose id is one of `ids`, in list order.
  std::vector<int> RowsWithIds(const std::vector<SMeasurePoint>& ids) const;

 private:
  std::vector<SMeasurePoint> m_Points;
};

struct SMeasureResults {
  // Two or more points: the path through them in order, and the path back to the first.
  bool hasLengths = false;
  double length = 0;
  double closedLength = 0;
  // Three or more points spanning a plane: its normal (unit) and the polygon's areas; the
  // areas are 0 otherwise.
  bool planeFitted = false;
  Wml::Vector3<double> planeNormal;
  double planeArea = 0;
  double viewArea = 0;
  double horizontalArea = 0;
};

// Lengths and areas of `points` (the selected points, in list order) in `distanceMode`;
// `viewDirection` is the camera's direction of projection, for the view area.
SMeasureResults ComputeMeasures(const std::vector<Wml::Point3<double>>& points, int distanceMode,
                                const Wml::Vector3<double>& viewDirection);

// Export: one line "id;x;y;z\n" per point, the coordinates as shown. 1 when written.
std::string MeasureFileText(const std::vector<SMeasurePoint>& points);
int ExportMeasures(const std::filesystem::path& path, const std::vector<SMeasurePoint>& points);

// One line of an import file: "id;x;y;z" with an id from 1 to kMaxMeasureId and finite
// decimal coordinates ('.' whatever the locale), blanks allowed around each value.
bool ParseMeasureLine(std::string_view line, SMeasurePoint& point);

struct SMeasureImport {
  std::vector<SMeasurePoint> points;  // in file order
  long long skippedLines = 0;         // lines that are not blank and hold no point
  bool truncated = false;  // more than kMaxImportedMeasures points: the rest was not read
  std::string error;       // why the file could not be read; empty when it was
};

// Reads points line by line; the last line needs no line end. Lines are not kept whole, so
// a file of any size (or one endless line) is read in bounded memory.
void ReadMeasures(std::istream& in, SMeasureImport& result);
// The same from a file, which must be a regular file. 1 when it was read.
int ImportMeasureFile(const std::filesystem::path& path, SMeasureImport& result);
