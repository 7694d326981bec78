// The cell hierarchy of a stream: an octree over x, y and z, or for terrain clouds a
// quadtree over x and y. An item id is the cell's code at its depth: one group of D bits
// per level, the coarsest level in the most significant group, bit d of a group set when
// the cell lies in the upper half of dimension d (x = 0, y = 1, z = 2) at that level.
#pragma once

#include <algorithm>
#include <vector>

#include "nimbex/platform/Geometry.h"
#include "nimbex/platform/Pgon.h"

class CContainer {
 public:
  CContainer();
  // `depth` is not kept; a null offset leaves the offset at 0, 0, 0.
  CContainer(const double bounds[6], int depth, int isTerrain, const double offset[3]);
  virtual ~CContainer() = default;

  // Non-zero when all six bounds are set and, when `checkOffset` is non-zero, the offset too.
  int IsValid(int checkOffset) const;

  // The id of the cell holding `point` at `depth`, or -1 when the point lies outside.
  // Points on an upper bound or on a split plane belong to the upper cell.
  int GetItemId(const double* point, int isRelative, int depth, double* bounds = nullptr) const;
  // New array of 3 doubles (the caller frees it with delete[]), or null. `bounds` receives
  // the item's relative cell bounds.
  double* GetItemCenter(int id, int wantRelative, int depth, double* bounds = nullptr) const;
  int GetItemBounds(int id, int depth, double* bounds) const;
  double GetItemExtent(int axis, int depth) const;
  void GetItemExtent(int depth, double* sizes) const;

  // Ids (increasing) of the items of `depth` that meet the box or polygon; the id array is
  // allocated with new[] for the caller. 1 when at least one item was found.
  int GetItemArray(int depth, const Wml::Box3<double>* box, int isRelative, int** ids,
                   int* count) const;
  int GetItemArray(int depth, const CPgon* polygon, int isRelative, int** ids, int* count) const;
  // The 2^D children of item `id` of `depth`, in child order.
  int GetSubItemArray(int id, int depth, int** ids, int* count) const;

  // Number of split dimensions: 3 for an octree, 2 for a terrain quadtree.
  int GetDimensionCount() const { return 3 - m_IsTerrain; }

  double m_Bounds[6];
  double m_Offset[3];
  int m_IsTerrain;
};

// Ids are 32-bit signed integers, so a hierarchy can hold at most 30 bits of cell code:
// depth 10 for an octree, 15 for a terrain quadtree.
int GetMaxDepth(int isTerrain);
// 2^(depth * D): the number of cells at `depth`; 0 for a depth beyond GetMaxDepth.
long long GetCellCount(int depth, int isTerrain);

// Finds the cell of a point at one depth in constant time, with the same answer as
// CContainer::GetItemId: the split planes are computed once by the container's own halving,
// and each coordinate's index is a division corrected against them.
class CCellLocator {
 public:
  CCellLocator(const CContainer& container, int depth);
  // The item id of a point in the container's local frame, or -1 outside the bounds.
  int Locate(const double point[3]) const;

 private:
  int IndexAlong(int dimension, double coordinate) const;

  int m_Dimensions;
  int m_Cells;  // cells along each dimension
  double m_Min[3], m_Max[3], m_InverseSize[3];
  std::vector<double> m_Planes[3];  // the 2^depth - 1 inner split planes, increasing
  std::vector<int> m_Spread[3];     // the id bits of each index along a dimension
};

// Inline: creation locates every input point, and a call per point into the library costs
// more than the lookup itself.
inline int CCellLocator::IndexAlong(int dimension, double coordinate) const {
  const std::vector<double>& planes = m_Planes[dimension];
  int index = static_cast<int>((coordinate - m_Min[dimension]) * m_InverseSize[dimension]);
  index = std::max(0, std::min(index, m_Cells - 1));
  // The index is the number of planes at or below the coordinate (a coordinate on a plane
  // belongs to the upper cell).
  while (index > 0 && coordinate < planes[index - 1]) --index;
  while (index < m_Cells - 1 && coordinate >= planes[index]) ++index;
  return index;
}

inline int CCellLocator::Locate(const double point[3]) const {
  int id = 0;
  for (int d = 0; d < m_Dimensions; ++d) {
    if (!(point[d] >= m_Min[d] && point[d] <= m_Max[d])) return -1;
    id |= m_Spread[d][IndexAlong(d, point[d])];
  }
  return id;
}
