// Rewriting attributes in place: the block of one item, the blocks of an item's descendants
// from arrays that hold them back to back, and the header's points-per-class counters.
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Hooks.h"

namespace {

// One attribute to write: its file (full-resolution kind until the level is known), the
// caller's array and the components of one record.
struct AttributeWrite {
  StrmFileKind kind;
  vtkDataArray* array;
  int components;
};

std::vector<AttributeWrite> GivenAttributes(vtkUnsignedCharArray* classes,
                                            vtkUnsignedCharArray* colors,
                                            vtkFloatArray* intensities,
                                            vtkUnsignedCharArray* pulses, vtkFloatArray* normals) {
  const AttributeWrite all[] = {{CLA_FILE, classes, 1},
                                {RGB_FILE, colors, 3},
                                {RIF_FILE, intensities, 1},
                                {PLS_FILE, pulses, 1},
                                {NORM_FILE, normals, 3}};
  std::vector<AttributeWrite> given;
  for (const AttributeWrite& attribute : all)
    if (attribute.array) given.push_back(attribute);
  return given;
}

bool HoldsTuples(vtkDataArray* array, int components, int64_t count) {
  return !array ||
         (array->GetNumberOfComponents() == components && array->GetNumberOfTuples() >= count);
}

// Writes the first `count` records of `array` at `position`, in one piece.
bool WriteBlock(std::FILE* file, int64_t position, vtkDataArray* array, int recordSize,
                int64_t count) {
  return fseeko(file, position, SEEK_SET) == 0 &&
         std::fwrite(array->GetVoidPointer(0), recordSize, count, file) ==
             static_cast<size_t>(count);
}

// Tuples [first, first + count) of `source` as a new array of the same type, or null for a
// null source.
template <class Array>
vtkSmartPointer<Array> Slice(Array* source, int64_t first, int64_t count) {
  if (!source) return nullptr;
  auto slice = vtkSmartPointer<Array>::New();
  const int components = source->GetNumberOfComponents();
  slice->SetNumberOfComponents(components);
  slice->SetNumberOfTuples(count);
  std::copy(source->GetPointer(first * components),
            source->GetPointer((first + count) * components), slice->GetPointer(0));
  return slice;
}

bool CellMeetsArea(const CNimbex& cloud, int id, int depth, const CPgon* area) {
  if (!area) return true;
  double bounds[6];
  if (!cloud.GetItemBounds(id, depth, bounds)) return false;
  return (CPgon::Rectangle(bounds[0], bounds[1], bounds[2], bounds[3]) & *area).GetNumContours() >
         0;
}

// The items of `targetDepth` below cell `id` of `depth` that hold points and whose cell meets
// `area`, in child order. A cell missing the area prunes its subtree: children lie inside
// their parent.
void CollectDescendants(CNimbex& cloud, int id, int depth, int targetDepth, const CPgon* area,
                        std::vector<Item*>& found) {
  int* ids = nullptr;
  int count = 0;
  if (!cloud.GetSubItemArray(id, depth, ids, count)) return;
  const std::unique_ptr<int[]> children(ids);
  for (int k = 0; k < count; ++k) {
    const int child = children[k];
    if (!CellMeetsArea(cloud, child, depth + 1, area)) continue;
    if (depth + 1 < targetDepth) {
      CollectDescendants(cloud, child, depth + 1, targetDepth, area, found);
      continue;
    }
    Item* item = nullptr;
    if (cloud.GetItem(child, item, targetDepth) && item->ptsCount > 0) found.push_back(item);
  }
}

}  // namespace

int CNimbex::WriteItemIO(int depth, int itemId, vtkUnsignedCharArray* classes,
                         vtkUnsignedCharArray* colors, vtkFloatArray* intensities,
                         vtkUnsignedCharArray* pulses, vtkFloatArray* normals) {
  std::vector<AttributeWrite> writes =
      GivenAttributes(classes, colors, intensities, pulses, normals);
  Item* item = nullptr;
  if (writes.empty() || !GetItem(itemId, item, depth) || item->ptsCount <= 0) return 0;
  const bool fullResolution = depth == -1 || depth == m_Depth;
  for (AttributeWrite& write : writes) {
    if (!fullResolution) write.kind = GetOverviewKind(write.kind);
    // A short array would leave the end of the block with another item's values.
    if (!HoldsTuples(write.array, write.components, item->ptsCount)) return 0;
  }

  // Every file is reopened for update and checked before the first write, so that a refusal
  // leaves all of them as they were. Reopening resets the file's saved read position.
  bool ready = true;
  for (const AttributeWrite& write : writes) {
    CloseFile(write.kind);
    const int64_t end = GetAttributePosition(item->ptsPos, write.kind) +
                        int64_t{item->ptsCount} * GetStrmRecordSize(write.kind);
    ready = ready && OpenFile(write.kind, 1) && m_FileSizes[write.kind] >= end;
  }
  bool written = ready;
  for (const AttributeWrite& write : writes) {
    if (written)
      written = WriteBlock(GetFile(write.kind), GetAttributePosition(item->ptsPos, write.kind),
                           write.array, GetStrmRecordSize(write.kind), item->ptsCount) &&
                std::fflush(GetFile(write.kind)) == 0;
    // The next LoadItemIO reopens the file for reading and reads what was just written.
    CloseFile(write.kind);
  }
  return written ? 1 : 0;
}

int CNimbex::RebuildItem(Item* item, int targetDepth, int itemDepth, CPgon* area,
                         vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                         vtkFloatArray* intensities) {
  if (!item || item->ptsCount <= 0 || itemDepth < 0 || targetDepth < itemDepth ||
      (!classes && !colors && !intensities))
    return 0;
  if (targetDepth == itemDepth)
    return WriteItemIO(itemDepth, item->id, classes, colors, intensities, nullptr, nullptr);

  std::vector<Item*> descendants;
  CollectDescendants(*this, item->id, itemDepth, targetDepth, area, descendants);
  int64_t total = 0;
  for (const Item* descendant : descendants) total += descendant->ptsCount;
  // Arrays that do not hold every descendant's points do not line up with the blocks.
  if (descendants.empty() || !HoldsTuples(classes, 1, total) || !HoldsTuples(colors, 3, total) ||
      !HoldsTuples(intensities, 1, total))
    return 0;

  int written = 1;
  int64_t first = 0;
  for (const Item* descendant : descendants) {
    PumpMsgs();
    const int64_t count = descendant->ptsCount;
    if (!WriteItemIO(targetDepth, descendant->id, Slice(classes, first, count),
                     Slice(colors, first, count), Slice(intensities, first, count), nullptr,
                     nullptr))
      written = 0;
    first += count;
  }
  return written;
}

int CNimbex::AdjustHeaderClassPtsCount() {
  std::FILE* header = std::fopen(m_Paths[PCI_FILE].c_str(), "rb+");
  if (!header) return 0;
  std::fclose(header);
  // Without a classes file there is nothing to count: the stored counters are kept.
  std::error_code ignored;
  if (m_Version < 0 || !std::filesystem::is_regular_file(m_Paths[CLA_FILE], ignored)) return 0;

  std::vector<int> counts(m_ClassesPoints.size(), 0);
  vtkNew<vtkUnsignedCharArray> classes;
  for (const Item& item : m_Items) {
    if (item.ptsCount <= 0) continue;
    classes->Reset();
    if (!LoadItemIO(m_Depth, item.id, nullptr, nullptr, classes, nullptr, nullptr, nullptr, nullptr,
                    1))
      return 0;
    for (vtkIdType i = 0; i < classes->GetNumberOfValues(); ++i)
      if (classes->GetValue(i) < counts.size()) ++counts[classes->GetValue(i)];
  }
  counts.swap(m_ClassesPoints);
  if (UpdatePointsCount()) return 1;
  counts.swap(m_ClassesPoints);
  return 0;
}
