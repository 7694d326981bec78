// Reading the points and attributes of one item from the stream's data files.
#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>
#include <type_traits>

#include "nimbex/access/Nimbex.h"
#include "nimbex/access/TupleCopy.h"

namespace {

// Appends every `step`-th of the first `taken * step` tuples of `source` to `array`.
template <int Components, class Array, class T>
void AppendTuplesOf(Array* array, const T* source, int64_t taken, int step) {
  CopyTuples<Components>(array->WritePointer(array->GetNumberOfValues(), taken * Components),
                         source, taken, step);
  array->Modified();
}

template <class Array, class T>
void AppendTuples(Array* array, const T* source, int components, int64_t taken, int step) {
  if (taken <= 0) return;
  if (components == 3)
    AppendTuplesOf<3>(array, source, taken, step);
  else
    AppendTuplesOf<1>(array, source, taken, step);
}

// Appends the triangles of an item whose points were taken with `step`: a triangle is kept
// when its three points were taken, with their indices among the taken points.
void AppendTriangles(vtkCellArray* cells, const int32_t* triangles, int64_t count, vtkIdType base,
                     int step, int64_t taken) {
  const int64_t takenEnd = taken * step;
  for (int64_t t = 0; t < count; ++t) {
    const int32_t* corners = triangles + 3 * t;
    vtkIdType ids[3];
    bool kept = true;
    for (int c = 0; c < 3 && kept; ++c) {
      kept = corners[c] % step == 0 && corners[c] < takenEnd;
      ids[c] = base + corners[c] / step;
    }
    if (kept) cells->InsertNextCell(3, ids);
  }
}

// The caller's arrays with their lengths before an item is appended: a refused item is
// taken out again, so that the arrays stay parallel.
class CAppendedArrays {
 public:
  CAppendedArrays(std::initializer_list<vtkDataArray*> arrays) {
    for (vtkDataArray* array : arrays)
      if (array) m_Marks[m_Count++] = {array, array->GetNumberOfValues()};
  }
  void Restore() const {
    for (int i = 0; i < m_Count; ++i) m_Marks[i].first->SetNumberOfValues(m_Marks[i].second);
  }

 private:
  std::array<std::pair<vtkDataArray*, vtkIdType>, 6> m_Marks;
  int m_Count = 0;
};

bool HasComponents(vtkDataArray* array, int components) {
  return !array || array->GetNumberOfComponents() == components;
}

// Appends the taken points to the points' array, widened when it is not single precision.
void AppendPoints(vtkPoints* points, const float* source, int64_t taken, int step) {
  if (auto* floats = vtkFloatArray::FastDownCast(points->GetData())) {
    AppendTuples(floats, source, 3, taken, step);
  } else if (auto* doubles = vtkDoubleArray::FastDownCast(points->GetData())) {
    AppendTuples(doubles, source, 3, taken, step);
  } else {
    for (int64_t j = 0; j < taken; ++j) points->InsertNextPoint(source + j * step * 3);
  }
  points->Modified();
}

}  // namespace

std::FILE* CNimbex::OpenForLoading(StrmFileKind kind) {
  if (!GetFile(kind)) OpenFile(kind, 0);
  if (GetFile(kind) && !m_Mappings[kind].IsMapped())
    m_Mappings[kind].Map(GetFile(kind), m_FileSizes[kind]);
  return GetFile(kind);
}

int CNimbex::RefuseItem(const std::string& problem) {
  m_LoadError = problem;
  return 0;
}

std::string CNimbex::DescribeItem(const Item& item, int depth) const {
  return "item " + std::to_string(item.id) + " at depth " +
         std::to_string(depth == -1 ? m_Depth : depth) + " of " + m_FileName;
}

// 1 when `count` records of `kind` from `position` lie within the file.
int CNimbex::CheckItemExtent(StrmFileKind kind, int64_t position, int64_t count, const Item& item,
                             int depth) {
  const int64_t end = position + count * GetStrmRecordSize(kind);
  const int64_t size = GetFileSize(kind);
  if (end <= size) return 1;
  return RefuseItem(m_Paths[kind] + " ends at byte " + std::to_string(size) + ", but " +
                    DescribeItem(item, depth) + " needs it up to byte " + std::to_string(end) +
                    ": the file was cut short; restore it or rebuild the stream");
}

// Reads `count` records of `kind` from `position` into `target`; 0, with the reason kept,
// when the file does not give them all.
int CNimbex::ReadItemFile(StrmFileKind kind, int64_t position, int64_t count, char* target) {
  if (count <= 0) return 1;
  std::FILE* file = m_Files[kind];
  if (m_SavedPositions[kind] != position) {
    if (fseeko(file, position, SEEK_SET) != 0)
      return RefuseItem("cannot seek in " + m_Paths[kind] + ": " + std::strerror(errno));
    m_SavedPositions[kind] = position;
    ++m_SeekCount;
  }
  const size_t wanted = static_cast<size_t>(count) * GetStrmRecordSize(kind);
  const size_t bytes = std::fread(target, 1, wanted, file);
  m_SavedPositions[kind] += bytes;
  if (bytes == wanted) return 1;
  const std::string cause = std::ferror(file) ? std::strerror(errno) : "the file ends before";
  std::clearerr(file);
  return RefuseItem("cannot read " + m_Paths[kind] + " from byte " + std::to_string(position) +
                    ": " + std::to_string(bytes) + " of " + std::to_string(wanted) +
                    " bytes read (" + cause + ")");
}

// Reads `count` records of `kind` from `position` into the read buffer; null when the file
// does not give them all. The buffer only grows: shrinking it for a smaller item and growing
// it again for the next would clear, each time, the bytes about to be read over.
const char* CNimbex::ReadIntoBuffer(StrmFileKind kind, int64_t position, int64_t count) {
  const size_t bytes = static_cast<size_t>(count) * GetStrmRecordSize(kind);
  if (m_ReadBuffer.size() < bytes) m_ReadBuffer.resize(bytes);
  return ReadItemFile(kind, position, count, m_ReadBuffer.data()) ? m_ReadBuffer.data() : nullptr;
}

// Reads the item's triangles into the triangle buffer; every index must name a point of the
// item, or VTK would read beyond the points.
int CNimbex::ReadTriangles(StrmFileKind kind, const Item& item, int depth) {
  const int64_t count = item.triCount;
  if (!CheckItemExtent(kind, item.triPos, count, item, depth)) return 0;
  m_TriangleBuffer.resize(count * 3);
  if (!ReadItemFile(kind, item.triPos, count, reinterpret_cast<char*>(m_TriangleBuffer.data())))
    return 0;
  for (int64_t i = 0; i < count * 3; ++i) {
    const int32_t index = m_TriangleBuffer[i];
    if (index >= 0 && index < item.ptsCount) continue;
    return RefuseItem(m_Paths[kind] + " is damaged: triangle " + std::to_string(i / 3) + " of " +
                      DescribeItem(item, depth) + " names point " + std::to_string(index) +
                      ", but the item has " + std::to_string(item.ptsCount) +
                      " points; rebuild the stream");
  }
  return 1;
}

// The item's records of `kind` in the file's mapping; null when the file is not mapped or the
// records lie beyond the mapping (the file grew since it was mapped): they are read then.
const char* CNimbex::MappedRecords(StrmFileKind kind, int64_t position, int64_t count) const {
  return m_Mappings[kind].Bytes(position, count * GetStrmRecordSize(kind));
}

// Copies mapped records with `copy`. A file cut short under the mapping loses its pages past
// the end (the copy faults, and stops) and reads as zeros up to the end of its last page: the
// size checked after the copy tells both apart from the records the index promised.
int CNimbex::CopyMappedRecords(StrmFileKind kind, int64_t position, int64_t count,
                               const std::function<void()>& copy) {
  const int64_t end = position + count * GetStrmRecordSize(kind);
  if (CopyFromMapping(copy) && OpenFileSize(m_Files[kind]) >= end) return 1;
  return RefuseVanishedRecords(kind, position);
}

int CNimbex::RefuseVanishedRecords(StrmFileKind kind, int64_t position) {
  return RefuseItem("cannot read " + m_Paths[kind] + " from byte " + std::to_string(position) +
                    ": the file was cut short while the stream was open; restore it or rebuild "
                    "the stream");
}

// Appends the taken records of one attribute file: copied out of the file's mapping, or read
// straight into the array when every record is taken, else through a buffer.
template <class Array>
int CNimbex::LoadAttribute(StrmFileKind kind, int64_t position, int64_t count, int step,
                           Array* array) {
  using T = typename Array::ValueType;
  const int components = array->GetNumberOfComponents();
  if (const char* mapped = MappedRecords(kind, position, count)) {
    const T* source = reinterpret_cast<const T*>(mapped);
    return CopyMappedRecords(kind, position, count,
                             [&] { AppendTuples(array, source, components, count / step, step); });
  }
  if (step == 1) {
    T* target = array->WritePointer(array->GetNumberOfValues(), count * components);
    const int read = ReadItemFile(kind, position, count, reinterpret_cast<char*>(target));
    array->Modified();
    return read;
  }
  const char* records = ReadIntoBuffer(kind, position, count);
  if (!records) return 0;
  AppendTuples(array, reinterpret_cast<const T*>(records), components, count / step, step);
  return 1;
}

// Appends the taken points: copied out of the file's mapping, or read straight into a
// single-precision array when every point is taken, else through a buffer.
int CNimbex::LoadPoints(StrmFileKind kind, int64_t position, int64_t count, int step,
                        vtkPoints* points) {
  const int64_t taken = count / step;
  if (const char* mapped = MappedRecords(kind, position, count)) {
    const float* source = reinterpret_cast<const float*>(mapped);
    return CopyMappedRecords(kind, position, count,
                             [&] { AppendPoints(points, source, taken, step); });
  }
  auto* floats = vtkFloatArray::FastDownCast(points->GetData());
  if (floats && step == 1) {
    float* target = floats->WritePointer(floats->GetNumberOfValues(), count * 3);
    const int read = ReadItemFile(kind, position, count, reinterpret_cast<char*>(target));
    floats->Modified();
    points->Modified();
    return read;
  }
  const char* records = ReadIntoBuffer(kind, position, count);
  if (!records) return 0;
  AppendPoints(points, reinterpret_cast<const float*>(records), taken, step);
  return 1;
}

int CNimbex::LoadItemIO(int depth, int id, vtkPoints* points, vtkCellArray* cells,
                        vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                        vtkFloatArray* intensities, vtkUnsignedCharArray* pulses,
                        vtkFloatArray* normals, int step) {
  m_LoadError.clear();
  Item* item = nullptr;
  if (!GetItem(id, item, depth))
    return RefuseItem("item " + std::to_string(id) + " is not in the index of " + m_FileName +
                      " at depth " + std::to_string(depth == -1 ? m_Depth : depth));
  if (item->ptsCount <= 0) return RefuseItem(DescribeItem(*item, depth) + " holds no points");
  if (!HasComponents(classes, 1) || !HasComponents(colors, 3) || !HasComponents(intensities, 1) ||
      !HasComponents(pulses, 1) || !HasComponents(normals, 3))
    return RefuseItem("an array given for " + DescribeItem(*item, depth) +
                      " has the wrong number of components");
  step = std::max(step, 1);
  const bool fullResolution = depth == -1 || depth == m_Depth;
  auto level = [fullResolution](StrmFileKind kind) {
    return fullResolution ? kind : GetOverviewKind(kind);
  };

  const bool readTriangles = cells && m_HasTri;
  colors = m_HasColors ? colors : nullptr;
  intensities = m_HasIntensity ? intensities : nullptr;
  pulses = m_HasPulses ? pulses : nullptr;
  normals = m_HasNormals ? normals : nullptr;
  const std::pair<StrmFileKind, bool> taking[] = {
      {STRM_FILE, points != nullptr},     {TRI_FILE, readTriangles},
      {CLA_FILE, classes != nullptr},     {RGB_FILE, colors != nullptr},
      {RIF_FILE, intensities != nullptr}, {PLS_FILE, pulses != nullptr},
      {NORM_FILE, normals != nullptr}};
  for (const auto& [kind, wanted] : taking)
    if (wanted && !OpenForLoading(level(kind)))
      return RefuseItem("cannot open " + m_Paths[level(kind)] + ": " + std::strerror(errno));

  // Every file must hold the whole item before anything is appended. The points file bounds
  // the item whether its points are read or not: a count that the file cannot hold is never
  // allocated.
  const int64_t count = item->ptsCount;
  const int64_t position = item->ptsPos;
  if (!CheckItemExtent(level(STRM_FILE), position, count, *item, depth)) return 0;
  for (const auto& [kind, wanted] : taking)
    if (wanted && kind != STRM_FILE && kind != TRI_FILE &&
        !CheckItemExtent(level(kind), GetAttributePosition(position, kind), count, *item, depth))
      return 0;
  if (readTriangles && !ReadTriangles(level(TRI_FILE), *item, depth)) return 0;

  const CAppendedArrays appended = {
      points ? points->GetData() : nullptr, classes, colors, intensities, pulses, normals};
  const vtkIdType firstPointId = points ? points->GetNumberOfPoints() : m_IOPtsLoaded;
  const bool read =
      (!points || LoadPoints(level(STRM_FILE), position, count, step, points)) &&
      (!classes || LoadAttribute(level(CLA_FILE), GetAttributePosition(position, CLA_FILE), count,
                                 step, classes)) &&
      (!colors || LoadAttribute(level(RGB_FILE), GetAttributePosition(position, RGB_FILE), count,
                                step, colors)) &&
      (!intensities || LoadAttribute(level(RIF_FILE), GetAttributePosition(position, RIF_FILE),
                                     count, step, intensities)) &&
      (!pulses || LoadAttribute(level(PLS_FILE), GetAttributePosition(position, PLS_FILE), count,
                                step, pulses)) &&
      (!normals || LoadAttribute(level(NORM_FILE), position, count, step, normals));
  if (!read) {
    appended.Restore();
    if (points) points->Modified();
    return 0;
  }

  const int64_t taken = count / step;
  if (readTriangles)
    AppendTriangles(cells, m_TriangleBuffer.data(), item->triCount, m_IOPtsLoaded, step, taken);
  m_IOPtsLoaded += static_cast<int>(taken);
  if (cells && !m_HasTri) AppendVertexCells(cells, firstPointId, taken);
  return 1;
}
