// The demo site seen from above, as a surveyor's plan and an orthophoto show it: the outlines of
// its buildings and roads, and the colour of whatever is seen straight down at a place. The
// map is made from the same seed and point count as the site's LAS file, so that plan,
// orthophoto and points agree. Absolute coordinates throughout.
#pragma once

#include <cstdint>
#include <vector>

#include "nimbex/demo/DemoLayout.h"
#include "nimbex/demo/DemoSite.h"

struct DemoMapVertex {
  double x, y, z;
};

enum DemoOutlineKind { kDemoBuildingOutline, kDemoRoadOutline };

// A closed outline; its first vertex is not repeated at the end.
struct DemoOutline {
  DemoOutlineKind kind;
  bool redRoof = false;  // buildings: a red tiled roof, else a grey one
  std::vector<DemoMapVertex> vertices;
};

class CDemoSiteMap {
 public:
  explicit CDemoSiteMap(const DemoSiteSettings& settings);

  // The flown area: min x, min y, max x, max y.
  const double* GetExtent() const { return m_Extent; }

  // Buildings wholly inside the flown area, outlined along their roof edges (eaves, and the
  // ridge's ends over the gables), and the roads cut to the flown area, outlined on the
  // ground with a vertex every few metres. Buildings first.
  std::vector<DemoOutline> GetOutlines() const;

  // The colour of the roof, crown, road or grass seen straight down at (x, y).
  void ColourFromAbove(double x, double y, uint8_t rgb[3]) const;

 private:
  const demosite::Tile* TileAt(double relativeX, double relativeY) const;
  void AddBuildingOutlines(std::vector<DemoOutline>& outlines) const;
  void AddRoadOutlines(std::vector<DemoOutline>& outlines) const;
  DemoOutline RoadOutline(double x0, double y0, double x1, double y1) const;

  double m_Width = 0, m_Length = 0;  // the flown area, from the origin
  double m_Extent[4] = {0, 0, 0, 0};
  demosite::CTerrain m_Terrain;
  int64_t m_TileColumns = 0, m_TileRows = 0;
  std::vector<demosite::Tile> m_Tiles;  // row by row
};
