#include "nimbex/format/Container.h"

#include <algorithm>
#include <vector>

#include "nimbex/format/Unset.h"

namespace {

struct Cell {
  double bounds[6];
};

bool AllSet(const double* values, int n) {
  return std::none_of(values, values + n, [](double v) { return IsUnset(v); });
}

Cell ChildCell(const Cell& parent, int childBits, int dimensions) {
  Cell child = parent;
  for (int d = 0; d < dimensions; ++d) {
    double mid = (parent.bounds[2 * d] + parent.bounds[2 * d + 1]) / 2;
    if (childBits & (1 << d))
      child.bounds[2 * d] = mid;
    else
      child.bounds[2 * d + 1] = mid;
  }
  return child;
}

Wml::Box3<double> CellBox(const Cell& cell) {
  return Wml::MakeAlignedBox(cell.bounds);
}

int* CopyToNewArray(const std::vector<int>& ids) {
  int* array = new int[ids.size()];
  std::copy(ids.begin(), ids.end(), array);
  return array;
}

int HandOver(const std::vector<int>& found, int** ids, int* count) {
  if (found.empty()) return 0;
  *ids = CopyToNewArray(found);
  if (count) *count = static_cast<int>(found.size());
  return 1;
}

// Walks the hierarchy from the root and collects, in increasing id order, the cells of
// `depth` for which `meets` holds. A child lies inside its parent, so a parent that the
// query misses prunes its whole subtree without changing the result.
template <class Meets>
void CollectCells(const Cell& cell, int id, int level, int depth, int dimensions,
                  const Meets& meets, std::vector<int>& found) {
  if (!meets(cell)) return;
  if (level == depth) {
    found.push_back(id);
    return;
  }
  for (int k = 0; k < (1 << dimensions); ++k)
    CollectCells(ChildCell(cell, k, dimensions), (id << dimensions) | k, level + 1, depth,
                 dimensions, meets, found);
}

}  // namespace

int GetMaxDepth(int isTerrain) {
  return 30 / (3 - (isTerrain ? 1 : 0));
}

long long GetCellCount(int depth, int isTerrain) {
  if (depth < 0 || depth > GetMaxDepth(isTerrain)) return 0;
  return 1LL << (depth * (3 - (isTerrain ? 1 : 0)));
}

CContainer::CContainer() : m_Bounds{0, 0, 0, 0, 0, 0}, m_Offset{0, 0, 0}, m_IsTerrain(0) {}

CContainer::CContainer(const double bounds[6], int /*depth*/, int isTerrain, const double offset[3])
    : m_Offset{0, 0, 0}, m_IsTerrain(isTerrain ? 1 : 0) {
  std::copy(bounds, bounds + 6, m_Bounds);
  if (offset) std::copy(offset, offset + 3, m_Offset);
}

int CContainer::IsValid(int checkOffset) const {
  if (!AllSet(m_Bounds, 6)) return 0;
  return !checkOffset || AllSet(m_Offset, 3);
}

int CContainer::GetItemId(const double* point, int isRelative, int depth, double* bounds) const {
  if (!point || depth < 0 || depth > GetMaxDepth(m_IsTerrain) || !IsValid(1)) return -1;
  const int dimensions = GetDimensionCount();
  double p[3] = {point[0], point[1], point[2]};
  if (!isRelative)
    for (int d = 0; d < dimensions; ++d) p[d] -= m_Offset[d];
  for (int d = 0; d < dimensions; ++d)
    if (p[d] < m_Bounds[2 * d] || p[d] > m_Bounds[2 * d + 1]) return -1;

  int code = 0;
  Cell cell;
  std::copy(m_Bounds, m_Bounds + 6, cell.bounds);
  for (int level = 0; level < depth; ++level) {
    code <<= dimensions;
    for (int d = 0; d < dimensions; ++d) {
      double mid = (cell.bounds[2 * d] + cell.bounds[2 * d + 1]) / 2;
      if (p[d] >= mid) {
        cell.bounds[2 * d] = mid;
        code |= 1 << d;
      } else {
        cell.bounds[2 * d + 1] = mid;
      }
    }
  }
  if (bounds) std::copy(cell.bounds, cell.bounds + 6, bounds);
  return code;
}

double* CContainer::GetItemCenter(int id, int wantRelative, int depth, double* bounds) const {
  if (id < 0 || depth < 0 || id >= GetCellCount(depth, m_IsTerrain) || !IsValid(0)) return nullptr;
  const int dimensions = GetDimensionCount();
  Cell cell;
  std::copy(m_Bounds, m_Bounds + 6, cell.bounds);
  for (int level = depth - 1; level >= 0; --level)
    cell = ChildCell(cell, (id >> (level * dimensions)) & ((1 << dimensions) - 1), dimensions);

  double* center = new double[3];
  for (int d = 0; d < 3; ++d) center[d] = (cell.bounds[2 * d] + cell.bounds[2 * d + 1]) / 2;
  if (!wantRelative && IsValid(1))
    for (int d = 0; d < dimensions; ++d) center[d] += m_Offset[d];
  if (bounds) std::copy(cell.bounds, cell.bounds + 6, bounds);
  return center;
}

int CContainer::GetItemBounds(int id, int depth, double* bounds) const {
  if (!bounds) return 0;
  double* center = GetItemCenter(id, 1, depth, bounds);
  if (!center) return 0;
  delete[] center;
  return 1;
}

double CContainer::GetItemExtent(int axis, int depth) const {
  if (axis < 0 || axis > 2 || depth < 0) return NBX_UNSET;
  double sizes[3];
  GetItemExtent(depth, sizes);
  return sizes[axis];
}

void CContainer::GetItemExtent(int depth, double* sizes) const {
  if (!sizes || depth < 0) return;
  double bounds[6];
  if (!GetItemBounds(0, depth, bounds)) {
    std::fill(sizes, sizes + 3, NBX_UNSET);
    return;
  }
  for (int d = 0; d < 3; ++d) sizes[d] = bounds[2 * d + 1] - bounds[2 * d];
}

int CContainer::GetItemArray(int depth, const Wml::Box3<double>* box, int isRelative, int** ids,
                             int* count) const {
  if (depth < 0 || depth > GetMaxDepth(m_IsTerrain) || !box || !ids || !IsValid(0)) return 0;
  Wml::Box3<double> query = *box;
  if (!isRelative) query.Center() -= Wml::Vector3<double>(m_Offset);

  Cell root;
  std::copy(m_Bounds, m_Bounds + 6, root.bounds);
  std::vector<int> found;
  CollectCells(
      root, 0, 0, depth, GetDimensionCount(),
      [&query](const Cell& cell) { return Wml::TestIntersection(CellBox(cell), query); }, found);
  return HandOver(found, ids, count);
}

int CContainer::GetItemArray(int depth, const CPgon* polygon, int isRelative, int** ids,
                             int* count) const {
  if (depth < 0 || depth > GetMaxDepth(m_IsTerrain) || !ids || !IsValid(0)) return 0;
  const CPgon boundsRectangle =
      CPgon::Rectangle(m_Bounds[0], m_Bounds[1], m_Bounds[2], m_Bounds[3]);
  CPgon area = polygon ? *polygon : boundsRectangle;
  if (polygon && !isRelative) {
    // An absolute polygon is searched with its first contour only, moved into the local frame.
    CContour contour;
    if (!area.GetContour(0, contour)) return 0;
    for (auto& vertex : contour) {
      vertex.X() -= m_Offset[0];
      vertex.Y() -= m_Offset[1];
    }
    area = CPgon({contour});
  }

  Cell root;
  std::copy(m_Bounds, m_Bounds + 6, root.bounds);
  std::vector<int> found;
  CollectCells(
      root, 0, 0, depth, GetDimensionCount(),
      [&area](const Cell& cell) {
        const double* b = cell.bounds;
        return (CPgon::Rectangle(b[0], b[1], b[2], b[3]) & area).GetNumContours() > 0;
      },
      found);
  return HandOver(found, ids, count);
}

int CContainer::GetSubItemArray(int id, int depth, int** ids, int* count) const {
  if (id < 0 || depth < 0 || !ids || !IsValid(0)) return 0;
  if (id >= GetCellCount(depth, m_IsTerrain) || depth + 1 > GetMaxDepth(m_IsTerrain)) return 0;
  const int dimensions = GetDimensionCount();
  std::vector<int> children;
  for (int k = 0; k < (1 << dimensions); ++k) children.push_back((id << dimensions) | k);
  return HandOver(children, ids, count);
}

namespace {

// The split planes of one dimension at `depth`, by the same halving as GetItemId.
void CollectPlanes(double low, double high, int levels, std::vector<double>& planes) {
  if (levels == 0) return;
  const double mid = (low + high) / 2;
  CollectPlanes(low, mid, levels - 1, planes);
  planes.push_back(mid);
  CollectPlanes(mid, high, levels - 1, planes);
}

}  // namespace

CCellLocator::CCellLocator(const CContainer& container, int depth)
    : m_Dimensions(container.GetDimensionCount()), m_Cells(1 << depth) {
  for (int d = 0; d < m_Dimensions; ++d) {
    m_Min[d] = container.m_Bounds[2 * d];
    m_Max[d] = container.m_Bounds[2 * d + 1];
    const double extent = m_Max[d] - m_Min[d];
    m_InverseSize[d] = extent > 0 ? m_Cells / extent : 0.0;
    CollectPlanes(m_Min[d], m_Max[d], depth, m_Planes[d]);
    // Index bit b (from the coarsest level down) goes to bit d of group b of the id.
    m_Spread[d].resize(m_Cells);
    for (int index = 0; index < m_Cells; ++index) {
      int bits = 0;
      for (int level = 0; level < depth; ++level)
        if (index & (1 << level)) bits |= 1 << (level * m_Dimensions + d);
      m_Spread[d][index] = bits;
    }
  }
}
