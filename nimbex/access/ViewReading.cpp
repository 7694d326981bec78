// Reading the items of a view on two threads: every item's records are copied out of the
// mapped data files into its own stretch of the arrays, grown once for the whole view.
#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cstring>
#include <thread>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/access/TupleCopy.h"

namespace nimbex_view {

// Copies `taken` stepped tuples into `target` (the item's first tuple in the array).
using TupleCopier = void (*)(char* target, const char* source, int64_t taken, int step);

// One array of the view and the file its records come from.
struct Array {
  vtkDataArray* array = nullptr;
  StrmFileKind kind = STRM_FILE;
  TupleCopier copy = nullptr;
  size_t tupleBytes = 0;
  vtkIdType firstValue = 0;  // values the array held before the view
  char* base = nullptr;      // where the view's first tuple goes
};

}  // namespace nimbex_view

using ViewArray = nimbex_view::Array;

namespace {

template <int Components, class Target, class Source>
void CopyRecords(char* target, const char* source, int64_t taken, int step) {
  CopyTuples<Components>(reinterpret_cast<Target*>(target), reinterpret_cast<const Source*>(source),
                         taken, step);
}

// Below this many points a second thread costs more than it saves.
constexpr int64_t kPointsWorthASecondThread = 200000;

template <int Components, class Array>
void AddArray(std::vector<ViewArray>& arrays, Array* array, StrmFileKind kind) {
  using T = typename Array::ValueType;
  if (array) arrays.push_back({array, kind, CopyRecords<Components, T, T>, Components * sizeof(T)});
}

// The points' array, single or double precision; false for any other kind of array.
bool AddPoints(std::vector<ViewArray>& arrays, vtkPoints* points) {
  if (auto* floats = vtkFloatArray::FastDownCast(points->GetData())) {
    AddArray<3>(arrays, floats, STRM_FILE);
    return true;
  }
  if (auto* doubles = vtkDoubleArray::FastDownCast(points->GetData())) {
    arrays.push_back({doubles, STRM_FILE, CopyRecords<3, double, float>, 3 * sizeof(double)});
    return true;
  }
  return false;
}

// Byte position of an item's records in the file of `kind`; points and normals are both
// 12-byte records at the item's point position.
int64_t RecordPosition(const Item& item, StrmFileKind kind) {
  return kind == STRM_FILE || kind == NORM_FILE ? item.ptsPos
                                                : GetAttributePosition(item.ptsPos, kind);
}

}  // namespace

// One item of the view: where its records are mapped and where its tuples go.
struct nimbex_view::ItemCopy {
  int index = 0;  // in the view's list of items
  const Item* item = nullptr;
  int64_t taken = 0;
  int64_t firstTuple = 0;
  std::vector<const char*> sources;  // one per view array
  int vanished = -1;                 // the array whose records were cut short under the copy
};

int CNimbex::ReadViewOnTwoThreads(int level, const int* ids, int count, int step,
                                  const ViewArrays& given,
                                  const std::function<void(int)>& showProgress) {
  if (m_HasTri || !given.points) return -1;
  std::vector<ViewArray> arrays;
  if (!AddPoints(arrays, given.points)) return -1;
  AddArray<1>(arrays, given.classes, CLA_FILE);
  AddArray<3>(arrays, m_HasColors ? given.colors : nullptr, RGB_FILE);
  AddArray<1>(arrays, m_HasIntensity ? given.intensities : nullptr, RIF_FILE);
  AddArray<1>(arrays, m_HasPulses ? given.pulses : nullptr, PLS_FILE);
  AddArray<3>(arrays, m_HasNormals ? given.normals : nullptr, NORM_FILE);
  const bool fullResolution = level == m_Depth;
  for (ViewArray& a : arrays) {
    a.kind = fullResolution ? a.kind : GetOverviewKind(a.kind);
    const int components = a.array->GetNumberOfComponents();
    if (a.tupleBytes != components * static_cast<size_t>(a.array->GetDataTypeSize()) ||
        !OpenForLoading(a.kind))
      return -1;
  }

  std::vector<nimbex_view::ItemCopy> copies;
  std::vector<std::string> problems(count);
  int64_t total = 0;
  for (int i = 0; i < count; ++i) {
    Item* item = nullptr;
    if (!GetItem(ids[i], item, level) || item->ptsCount == 0) continue;
    nimbex_view::ItemCopy copy;
    copy.index = i;
    copy.item = item;
    for (const ViewArray& a : arrays) {
      const int64_t position = RecordPosition(*item, a.kind);
      if (!CheckItemExtent(a.kind, position, item->ptsCount, *item, level)) break;
      copy.sources.push_back(MappedRecords(a.kind, position, item->ptsCount));
      if (!copy.sources.back()) return -1;
    }
    if (copy.sources.size() < arrays.size()) {
      problems[i] = m_LoadError;
      continue;
    }
    copy.taken = item->ptsCount / step;
    copy.firstTuple = total;
    total += copy.taken;
    copies.push_back(std::move(copy));
  }
  if (total < kPointsWorthASecondThread) return -1;

  for (ViewArray& a : arrays) {
    a.firstValue = a.array->GetNumberOfValues();
    const int components = a.array->GetNumberOfComponents();
    a.array->SetNumberOfValues(a.firstValue + total * components);
    a.base = static_cast<char*>(a.array->GetVoidPointer(a.firstValue));
  }
  auto copyItems = [&](size_t first, size_t end, bool reportProgress) {
    for (size_t c = first; c < end; ++c) {
      if (reportProgress) showProgress(copies[c].index);
      CopyViewItem(copies[c], arrays, step);
    }
  };
  size_t half = 0;
  while (half < copies.size() && copies[half].firstTuple < total / 2) ++half;
  std::thread second(copyItems, half, copies.size(), false);
  copyItems(0, half, true);
  second.join();

  const int64_t kept = KeepCopiedItems(copies, arrays, problems, level);
  for (ViewArray& a : arrays) {
    a.array->SetNumberOfValues(a.firstValue + kept * a.array->GetNumberOfComponents());
    a.array->Modified();
  }
  given.points->Modified();
  if (given.cells) AppendVertexCells(given.cells, m_IOPtsLoaded, kept);
  m_IOPtsLoaded += static_cast<int>(kept);
  m_LoadError.clear();
  for (const std::string& problem : problems)
    if (!problem.empty()) {
      m_LoadError = problem;
      break;
    }
  return 1;
}

// Copies one item's records; on a file cut short under the copy, notes which array it hit.
void CNimbex::CopyViewItem(nimbex_view::ItemCopy& copy, const std::vector<ViewArray>& arrays,
                           int step) {
  const bool copied = CopyFromMapping([&] {
    for (size_t a = 0; a < arrays.size(); ++a) {
      copy.vanished = static_cast<int>(a);
      arrays[a].copy(arrays[a].base + copy.firstTuple * arrays[a].tupleBytes, copy.sources[a],
                     copy.taken, step);
    }
  });
  if (!copied) return;
  copy.vanished = -1;
  for (size_t a = 0; a < arrays.size(); ++a) {
    const int64_t end = RecordPosition(*copy.item, arrays[a].kind) +
                        copy.item->ptsCount * GetStrmRecordSize(arrays[a].kind);
    if (OpenFileSize(m_Files[arrays[a].kind]) < end) {
      copy.vanished = static_cast<int>(a);
      return;
    }
  }
}

// Closes the gaps that items cut short left in the arrays, notes why each was left out and
// widens the view rectangle by the items kept; the number of tuples kept.
int64_t CNimbex::KeepCopiedItems(const std::vector<nimbex_view::ItemCopy>& copies,
                                 const std::vector<ViewArray>& arrays,
                                 std::vector<std::string>& problems, int level) {
  int64_t kept = 0;
  for (const nimbex_view::ItemCopy& copy : copies) {
    if (copy.vanished >= 0) {
      const StrmFileKind kind = arrays[copy.vanished].kind;
      RefuseVanishedRecords(kind, RecordPosition(*copy.item, kind));
      problems[copy.index] = m_LoadError;
      continue;
    }
    if (kept != copy.firstTuple)
      for (const ViewArray& a : arrays)
        std::memmove(a.base + kept * a.tupleBytes, a.base + copy.firstTuple * a.tupleBytes,
                     copy.taken * a.tupleBytes);
    kept += copy.taken;
    double bounds[6];
    if (GetItemBounds(copy.item->id, level, bounds)) WidenLoadedRect(bounds);
  }
  return kept;
}
