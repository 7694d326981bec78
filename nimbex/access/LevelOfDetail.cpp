// Level of detail: which level and sampling step a view reads, the items of a level that
// meet a view, their front-to-back order, and reading a whole view within a points budget.
#include <vtkCellArray.h>
#include <vtkDepthSortPolyData.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"

namespace {

// A drawing pass never reads more points than this, whatever its window.
constexpr int kMaxDrawingBudget = 5000000;
// The coarsest sampling step tried at a level before the next coarser level is read.
constexpr int kCoarsestLevelStep = 6;
// The progress bar moves every this many items.
constexpr int kItemsPerProgressStep = 10;

// The ids of the items of one level meeting a box, owned.
struct LevelItems {
  std::unique_ptr<int[]> ids;
  int count = 0;
};

// Cells of `depth` meeting the box (local frame), in increasing id order; false when none.
bool FindLevelItems(CNimbex& cloud, int depth, Wml::Box3<double>& box, LevelItems& items) {
  int* ids = nullptr;
  int count = 0;
  const bool found = cloud.GetItemArray(depth, &box, 1, 0, ids, count) && count > 0;
  items.ids.reset(ids);
  items.count = found ? count : 0;
  return found;
}

// Points stored in the listed cells of `depth`; cells without an item hold none.
long long SumPointCounts(CNimbex& cloud, int depth, const LevelItems& items) {
  long long total = 0;
  for (int i = 0; i < items.count; ++i) {
    Item* item = nullptr;
    if (cloud.GetItem(items.ids[i], item, depth)) total += item->ptsCount;
  }
  return total;
}

int ClampToInt(long long value) {
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

// The first step of 2 to kCoarsestLevelStep that brings `total` under the budget; 0 if none.
int FindSamplingStep(long long total, int budget) {
  for (int step = 2; step <= kCoarsestLevelStep; ++step)
    if (total / step < budget) return step;
  return 0;
}

// Coarsens the reading until it fits the budget: a sampling step at the level when one of 2
// to kCoarsestLevelStep fits, else the next coarser level. Level 0 has no coarser level, so
// there the step grows until the budget holds (each item reads its count / step points).
// False when a coarser level has no cell meeting the box.
bool FitToBudget(CNimbex& cloud, Wml::Box3<double>& box, int budget, int& depth, int& step,
                 LevelItems& items) {
  for (long long total = SumPointCounts(cloud, depth, items); total > budget;
       total = SumPointCounts(cloud, depth, items)) {
    if (const int fitting = FindSamplingStep(total, budget)) {
      step = fitting;
      return true;
    }
    if (depth == 0) {
      step = ClampToInt((total + budget - 1) / budget);
      return true;
    }
    if (!FindLevelItems(cloud, --depth, box, items)) return false;
  }
  step = 1;
  return true;
}

// The view rectangle is left, top, right, bottom: x minimum, y minimum, x maximum, y maximum.
void ResetViewRect(double* rect) {
  rect[0] = rect[1] = 1e10;
  rect[2] = rect[3] = -1e10;
}

void WidenViewRect(double* rect, const double* bounds) {
  rect[0] = std::min(rect[0], bounds[0]);
  rect[1] = std::min(rect[1], bounds[2]);
  rect[2] = std::max(rect[2], bounds[1]);
  rect[3] = std::max(rect[3], bounds[3]);
}

void StartProgress(TProgressTimeToComplete* progress, int itemCount) {
  if (!progress) return;
  progress->RestartTimer();
  progress->SetPos(0);
  progress->SetRange(0, itemCount == 1 ? 1 : itemCount - 1);
}

// A single item fills the bar at once; many items move it every kItemsPerProgressStep items.
void ShowItemProgress(TProgressTimeToComplete* progress, int index, int itemCount) {
  if (!progress) return;
  if (itemCount == 1)
    progress->SetPos(1);
  else if (index % kItemsPerProgressStep == 0)
    progress->SetPos(index);
}

void EndProgress(TProgressTimeToComplete* progress) {
  if (!progress) return;
  progress->m_Text.clear();
  progress->SetPos(0);
}

// One vertex per item at its stored centre, with the item's id in the "IDs" point array.
// Ids whose item is not stored at `depth` are left out and listed in `missing`.
void BuildItemCentres(CNimbex& cloud, int depth, const int* ids, int count, vtkPolyData* centres,
                      std::vector<int>& missing) {
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> vertices;
  vtkNew<vtkIntArray> itemIds;
  itemIds->SetName("IDs");
  for (int i = 0; i < count; ++i) {
    double centre[3];
    if (!cloud.GetItemCenter(ids[i], depth, centre)) {
      missing.push_back(ids[i]);
      continue;
    }
    const vtkIdType point = points->InsertNextPoint(centre);
    vertices->InsertNextCell(1, &point);
    itemIds->InsertNextValue(ids[i]);
  }
  centres->SetPoints(points);
  centres->SetVerts(vertices);
  centres->GetPointData()->AddArray(itemIds);
}

// Writes the "IDs" of the sorted vertices in their order from ids[0]; false (nothing
// written) when the sorted output does not hold one vertex per centre.
bool CopySortedIds(vtkPolyData* sorted, vtkIdType centreCount, int* ids) {
  vtkCellArray* vertices = sorted->GetVerts();
  auto* itemIds = vtkIntArray::SafeDownCast(sorted->GetPointData()->GetArray("IDs"));
  if (!vertices || !itemIds || vertices->GetNumberOfCells() != centreCount) return false;
  for (vtkIdType cell = 0; cell < centreCount; ++cell) {
    vtkIdType size = 0;
    const vtkIdType* point = nullptr;
    vertices->GetCellAtId(cell, size, point);
    ids[cell] = itemIds->GetValue(point[0]);
  }
  return true;
}

// Below one point the budget would read as "no budget": an empty window reads one point.
int ToBudget(double points) {
  if (!(points >= 1.0)) return 1;
  if (points >= INT_MAX) return INT_MAX;
  return static_cast<int>(std::floor(points));
}

}  // namespace

int CNimbex::GetBestDepth(int& ratio, int depth) {
  if (depth == -1) depth = m_Depth;
  if (depth < 0) return -1;
  const int dimensions = 3 - m_IsTerrain;
  const int branching = 1 << dimensions;
  // Each level up divides the points of a cell by the branching factor; the remainders
  // left over become a sampling step within the level.
  int rest = 0;
  while (ratio > branching) {
    rest += ratio % branching;
    ratio >>= dimensions;
    --depth;
  }
  if (!HasTri()) ++depth;
  depth = std::clamp(depth, 0, m_Depth);
  ratio = static_cast<int>(std::floor(std::sqrt(std::max(rest, 1)) + 0.5));
  return depth;
}

int CNimbex::GetBestLod(int count, int& depth) {
  if (count < 2) return 0;
  depth = m_Depth - 1;
  for (int level = 0; level < m_Depth; ++level)
    if (count <= (1LL << (level + 2))) {
      depth = level;
      break;
    }
  if (depth != m_Depth - 1) ++depth;
  return 1;
}

int CNimbex::GetItemArray(int depth, Wml::Box3<double>* box, int boxIsRelative, int sort, int*& ids,
                          int& count) {
  ids = nullptr;
  count = 0;
  if (!m_Container) return 0;
  if (depth == -1) depth = m_Depth;
  if (!m_Container->GetItemArray(depth, box, boxIsRelative, &ids, &count)) return 0;
  if (sort) SortItemsInDepth(depth, ids, count);
  return 1;
}

int CNimbex::GetItemArray(int depth, CPgon* polygon, int polygonIsRelative, int*& ids, int& count) {
  ids = nullptr;
  count = 0;
  if (!m_Container) return 0;
  if (depth == -1) depth = m_Depth;
  return m_Container->GetItemArray(depth, polygon, polygonIsRelative, &ids, &count);
}

int CNimbex::GetSubItemArray(int id, int depth, int*& ids, int& count) {
  ids = nullptr;
  count = 0;
  if (!m_Container) return 0;
  if (depth == -1) depth = m_Depth;
  return m_Container->GetSubItemArray(id, depth, &ids, &count);
}

// Ids without a stored item have no centre to sort by: they follow the sorted ones in their
// former order, so the array keeps every id exactly once.
void CNimbex::SortItemsInDepth(int depth, int* ids, int count) {
  if (!ids || count < 2 || !m_Renderer) return;
  vtkNew<vtkPolyData> centres;
  std::vector<int> missing;
  BuildItemCentres(*this, depth, ids, count, centres, missing);
  const vtkIdType centreCount = centres->GetNumberOfPoints();
  if (centreCount < 2) return;

  vtkNew<vtkDepthSortPolyData> sorter;
  sorter->SetInputData(centres);
  sorter->SetDirectionToFrontToBack();
  sorter->SetCamera(m_Renderer->GetActiveCamera());
  if (m_Actor) sorter->SetProp3D(m_Actor);
  sorter->Update();
  if (CopySortedIds(sorter->GetOutput(), centreCount, ids))
    std::copy(missing.begin(), missing.end(), ids + centreCount);
}

int CNimbex::GetDepthPtCount(int depth, Wml::Box3<double>& box) {
  if (depth < 0 || depth > m_Depth) return 0;
  LevelItems items;
  if (!FindLevelItems(*this, depth, box, items)) return 0;
  return ClampToInt(SumPointCounts(*this, depth, items));
}

int CNimbex::LoadSpcData(int& depth, int& step, Wml::Box3<double>& box, vtkPoints*& points,
                         vtkCellArray* cells, vtkUnsignedCharArray* classes,
                         vtkUnsignedCharArray* colors, vtkFloatArray* intensities,
                         vtkUnsignedCharArray* pulses, vtkFloatArray* normals, double /*unused*/,
                         int* budget, TProgressTimeToComplete* progress) {
  if (!m_Container || !points) return 0;
  int level = depth == -1 ? m_Depth : depth;
  if (level < 0 || level > m_Depth) return 0;
  LevelItems items;
  if (!FindLevelItems(*this, level, box, items)) return 0;

  int sampling = std::max(step, 1);
  if (budget && *budget > 0) {
    *budget = std::min(*budget, kMaxDrawingBudget);
    if (!FitToBudget(*this, box, *budget, level, sampling, items)) return 0;
  }

  ResetViewRect(m_LoadedRect);
  m_IOPtsLoaded = 0;
  StartProgress(progress, items.count);
  const ViewArrays arrays = {points, cells, classes, colors, intensities, pulses, normals};
  const int count = items.count;
  const auto showProgress = [progress, count](int i) { ShowItemProgress(progress, i, count); };
  if (ReadViewOnTwoThreads(level, items.ids.get(), count, sampling, arrays, showProgress) < 0)
    ReadViewItemByItem(level, items.ids.get(), count, sampling, arrays, showProgress);
  items.ids.reset();
  EndProgress(progress);

  m_CurDepth = level;
  m_PrevStreamSample = sampling;
  m_RenderedPointCount = m_IOPtsLoaded;
  depth = level;
  step = sampling;
  return 1;
}

void CNimbex::ReadViewItemByItem(int level, const int* ids, int count, int step,
                                 const ViewArrays& a,
                                 const std::function<void(int)>& showProgress) {
  std::string firstProblem;
  for (int i = 0; i < count; ++i) {
    showProgress(i);
    // Cells of the view without a stored item hold nothing to read.
    Item* item = nullptr;
    if (!GetItem(ids[i], item, level) || item->ptsCount == 0) continue;
    if (!LoadItemIO(level, ids[i], a.points, a.cells, a.classes, a.colors, a.intensities, a.pulses,
                    a.normals, step)) {
      if (firstProblem.empty()) firstProblem = m_LoadError;
      continue;
    }
    double bounds[6];
    if (GetItemBounds(ids[i], level, bounds)) WidenLoadedRect(bounds);
  }
  m_LoadError = firstProblem;
}

void CNimbex::WidenLoadedRect(const double* bounds) {
  WidenViewRect(m_LoadedRect, bounds);
}

int CNimbex::GetDrawingBudget(int left, int top, int right, int bottom) const {
  if (HasTri() || m_FullRes) return -1;
  // An inverted rectangle is an empty window, not a positive area.
  const double width = std::max(0.0, double(right) - left + 1);
  const double height = std::max(0.0, double(bottom) - top + 1);
  const double pixels = width * height;
  return ToBudget(m_TextureActive ? pixels / m_TextureDelta : pixels * m_StreamDetailFactor);
}
