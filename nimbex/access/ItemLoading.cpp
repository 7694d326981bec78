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

#include "nimbex/access/Nimbex.h"

namespace {

// Appends every `step`-th of the first `taken * step` tuples of `source` to `array`. The
// tuple size is a constant of each copy loop, so that the compiler copies whole tuples.
template <int Components, class Array, class T>
void AppendTuplesOf(Array* array, const T* source, int64_t taken, int step) {
  auto* target = array->WritePointer(array->GetNumberOfValues(), taken * Components);
  for (int64_t j = 0; j < taken; ++j)
    for (int c = 0; c < Components; ++c)
      target[j * Components + c] = source[j * step * Components + c];
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

// Appends one vertex cell per point, for the point ids firstId, firstId + 1, ..., writing
// the cell array's offsets and connectivity directly (32- or 64-bit storage).
template <class IdArray>
void AppendVertexIds(vtkCellArray* cells, IdArray* offsets, IdArray* connectivity,
                     vtkIdType firstId, int64_t count) {
  if (offsets->GetNumberOfValues() == 0) offsets->InsertNextValue(0);
  const vtkIdType connectivityStart = connectivity->GetNumberOfValues();
  auto* ids = connectivity->WritePointer(connectivityStart, count);
  auto* ends = offsets->WritePointer(offsets->GetNumberOfValues(), count);
  for (int64_t j = 0; j < count; ++j) {
    ids[j] = firstId + j;
    ends[j] = connectivityStart + j + 1;
  }
  connectivity->Modified();
  offsets->Modified();
  cells->Modified();
}

void AppendVertexCells(vtkCellArray* cells, vtkIdType firstId, int64_t count) {
  if (count <= 0) return;
  if (cells->IsStorage64Bit())
    AppendVertexIds(cells, cells->GetOffsetsArray64(), cells->GetConnectivityArray64(), firstId,
                    count);
  else
    AppendVertexIds(cells, cells->GetOffsetsArray32(), cells->GetConnectivityArray32(), firstId,
                    count);
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

}  // namespace

std::FILE* CNimbex::OpenForLoading(StrmFileKind kind) {
  if (!GetFile(kind)) OpenFile(kind, 0);
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

// Appends the taken records of one attribute file: straight into the array when every
// record is taken, through a buffer when stepping.
template <class Array>
int CNimbex::LoadAttribute(StrmFileKind kind, int64_t position, int64_t count, int step,
                           Array* array) {
  using T = typename Array::ValueType;
  const int components = array->GetNumberOfComponents();
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

// Appends the taken points, read straight into single-precision arrays, widened for others.
int CNimbex::LoadPoints(StrmFileKind kind, int64_t position, int64_t count, int step,
                        vtkPoints* points) {
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
  const float* source = reinterpret_cast<const float*>(records);
  const int64_t taken = count / step;
  if (floats) {
    AppendTuples(floats, source, 3, taken, step);
  } else if (auto* doubles = vtkDoubleArray::FastDownCast(points->GetData())) {
    AppendTuples(doubles, source, 3, taken, step);
  } else {
    for (int64_t j = 0; j < taken; ++j) points->InsertNextPoint(source + j * step * 3);
  }
  points->Modified();
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
