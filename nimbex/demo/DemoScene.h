// The demo site as its photographs see it: every point of a LAS file with its own colour lit
// by a morning sun (shaded by the normal of the surface around it, darkened where something
// stands between it and the sun) and the size of its footprint, so that a renderer can close
// the gaps between points. Beside the points, what a flight plan needs to know of the site:
// the height of the ground anywhere and the buildings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nimbex/platform/Geometry.h"

class CProgressSink;
class CTextSink;

// Coordinates are relative to the scene's origin, which keeps them precise as floats.
struct DemoScenePoint {
  float x, y, z;
  float spacing;  // distance to the neighbouring points of the same surface, model units
  // The normal of the surface through the point, times 127: up on a lone point, zero on a
  // post (round, facing every way).
  int8_t normal[3];
  uint8_t rgb[3];  // the point's colour in the sunlight it gets
  uint8_t classification;
};

// A building found from its points (class 6): the box of its points, relative coordinates.
struct DemoBuilding {
  double x0, x1, y0, y1;
  double base;  // the ground around it
  double top;   // its highest point
  // The side along x whose wall holds points: -1 the wall at x0, +1 the wall at x1, 0
  // neither (an airborne scan samples only walls that face the scanner).
  int sampledWall;
};

class CDemoScene {
 public:
  using Point3 = Wml::Point3<double>;

  // Reads and lights the points of `lasPath`, reporting its phases on `status` and their
  // progress on `progress` (either may be null). False, with the reason in `error`, when
  // the file cannot be read or holds no point.
  bool Load(const std::string& lasPath, CProgressSink* progress, CTextSink* status,
            std::string& error);

  const std::vector<DemoScenePoint>& GetPoints() const { return m_Points; }
  // Absolute coordinates of the relative origin.
  const Point3& GetOrigin() const { return m_Origin; }
  // The box of the points, relative coordinates.
  const Point3& GetMin() const { return m_Min; }
  const Point3& GetMax() const { return m_Max; }

  // Height of the ground at a relative position: the ground points of the nearest cell that
  // has any; the lowest ground of the site outside it.
  double GroundHeight(double x, double y) const;
  // The highest point within `radius` of a relative position, or the ground there.
  double HighestPoint(double x, double y, double radius) const;
  const std::vector<DemoBuilding>& GetBuildings() const { return m_Buildings; }

 private:
  bool ReadPoints(const std::string& lasPath, CProgressSink* progress, std::string& error);
  void MeasureSurfaces();
  void HangCurtains();
  void HangWalls(std::vector<DemoScenePoint>& hung);
  void RaisePosts(std::vector<DemoScenePoint>& hung);
  void Hang(DemoScenePoint from, float spacing, float bottom,
            std::vector<DemoScenePoint>& hung) const;
  void Light();
  void MakeSiteGrid();
  void FindBuildings();
  int CellIndex(double x, double y) const;

  std::vector<DemoScenePoint> m_Points;
  float m_TypicalSpacing = 0.25f;  // the spacing most points have
  Point3 m_Origin, m_Min, m_Max;
  Wml::Vector3<double> m_Sun;

  // A grid over the site in x and y: ground height (filled under buildings and trees) and
  // the highest point of each cell.
  double m_CellSize = 1;
  int m_Columns = 0, m_Rows = 0;
  std::vector<float> m_Ground, m_Top;
  std::vector<uint16_t> m_BuildingPoints;
  std::vector<DemoBuilding> m_Buildings;
};
