// Reading the points and attributes of one item from the stream's data files.
#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstring>

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

void AppendTriangles(vtkCellArray* cells, const int32_t* triangles, int64_t count, vtkIdType base) {
  for (int64_t t = 0; t < count; ++t) {
    vtkIdType ids[3] = {base + triangles[3 * t], base + triangles[3 * t + 1],
                        base + triangles[3 * t + 2]};
    cells->InsertNextCell(3, ids);
  }
}

bool HasComponents(vtkDataArray* array, int components) {
  return !array || array->GetNumberOfComponents() == components;
}

}  // namespace

std::FILE* CNimbex::OpenForLoading(StrmFileKind kind) {
  if (!GetFile(kind)) OpenFile(kind, 0);
  return GetFile(kind);
}

// Reads up to `count` records of `kind` from `position` into `target`, which holds `count`
// records; what the file does not hold is zeroed. Returns the records read.
int64_t CNimbex::ReadItemFile(StrmFileKind kind, int64_t position, int64_t count, char* target) {
  const int recordSize = GetStrmRecordSize(kind);
  const int64_t available = std::max<int64_t>(0, (m_FileSizes[kind] - position) / recordSize);
  const int64_t wanted = std::max<int64_t>(0, std::min(count, available));
  int64_t elementsRead = 0;
  if (wanted > 0) {
    bool positioned = m_SavedPositions[kind] == position;
    if (!positioned && fseeko(m_Files[kind], position, SEEK_SET) == 0) {
      m_SavedPositions[kind] = position;
      ++m_SeekCount;
      positioned = true;
    }
    if (positioned) {
      const size_t bytes = std::fread(target, 1, wanted * recordSize, m_Files[kind]);
      m_SavedPositions[kind] += bytes;
      elementsRead = bytes / recordSize;
    }
  }
  std::memset(target + elementsRead * recordSize, 0, (count - elementsRead) * recordSize);
  return elementsRead;
}

// Appends the taken records of one attribute file: straight into the array when every
// record is taken, through a buffer when stepping.
template <class Array>
void CNimbex::LoadAttribute(StrmFileKind kind, int64_t position, int64_t count, int step,
                            Array* array) {
  using T = typename Array::ValueType;
  const int components = array->GetNumberOfComponents();
  if (step == 1) {
    T* target = array->WritePointer(array->GetNumberOfValues(), count * components);
    ReadItemFile(kind, position, count, reinterpret_cast<char*>(target));
    array->Modified();
    return;
  }
  std::vector<char>& buffer = m_ReadBuffer;
  buffer.resize(count * GetStrmRecordSize(kind));
  ReadItemFile(kind, position, count, buffer.data());
  AppendTuples(array, reinterpret_cast<const T*>(buffer.data()), components, count / step, step);
}

// Appends the taken points, read straight into single-precision arrays, widened for others.
// Returns the number of points the file held.
int64_t CNimbex::LoadPoints(StrmFileKind kind, int64_t position, int64_t count, int step,
                            vtkPoints* points) {
  auto* floats = vtkFloatArray::FastDownCast(points->GetData());
  if (floats && step == 1) {
    const vtkIdType first = floats->GetNumberOfValues();
    float* target = floats->WritePointer(first, count * 3);
    const int64_t read = ReadItemFile(kind, position, count, reinterpret_cast<char*>(target));
    if (read < count) floats->SetNumberOfValues(first + read * 3);
    floats->Modified();
    points->Modified();
    return read;
  }
  m_ReadBuffer.resize(count * STRM_POINT_BYTES);
  const int64_t read = ReadItemFile(kind, position, count, m_ReadBuffer.data());
  const float* source = reinterpret_cast<const float*>(m_ReadBuffer.data());
  const int64_t taken = read / step;
  if (floats) {
    AppendTuples(floats, source, 3, taken, step);
  } else if (auto* doubles = vtkDoubleArray::FastDownCast(points->GetData())) {
    AppendTuples(doubles, source, 3, taken, step);
  } else {
    for (int64_t j = 0; j < taken; ++j) points->InsertNextPoint(source + j * step * 3);
  }
  points->Modified();
  return read;
}

int CNimbex::LoadItemIO(int depth, int id, vtkPoints* points, vtkCellArray* cells,
                        vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                        vtkFloatArray* intensities, vtkUnsignedCharArray* pulses,
                        vtkFloatArray* normals, int step) {
  Item* item = nullptr;
  if (!GetItem(id, item, depth) || item->ptsCount <= 0) return 0;
  if (!HasComponents(classes, 1) || !HasComponents(colors, 3) || !HasComponents(intensities, 1) ||
      !HasComponents(pulses, 1) || !HasComponents(normals, 3))
    return 0;
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
    if (wanted && !OpenForLoading(level(kind))) return 0;

  // The points file bounds the item, whether its points are read or not: a count that the
  // file cannot hold is never allocated.
  const StrmFileKind pointsKind = level(STRM_FILE);
  int64_t count = std::min<int64_t>(
      item->ptsCount,
      std::max<int64_t>(0, (GetFileSize(pointsKind) - item->ptsPos) / STRM_POINT_BYTES));
  const vtkIdType firstPointId = points ? points->GetNumberOfPoints() : m_IOPtsLoaded;
  if (points) count = LoadPoints(pointsKind, item->ptsPos, count, step, points);
  const int64_t taken = count / step;

  if (readTriangles) {
    const StrmFileKind kind = level(TRI_FILE);
    const int64_t available =
        std::max<int64_t>(0, (m_FileSizes[kind] - item->triPos) / STRM_TRIANGLE_BYTES);
    m_ReadBuffer.resize(std::min<int64_t>(item->triCount, available) * STRM_TRIANGLE_BYTES);
    const int64_t read = ReadItemFile(kind, item->triPos, m_ReadBuffer.size() / STRM_TRIANGLE_BYTES,
                                      m_ReadBuffer.data());
    AppendTriangles(cells, reinterpret_cast<const int32_t*>(m_ReadBuffer.data()), read,
                    m_IOPtsLoaded);
  }
  m_IOPtsLoaded += static_cast<int>(taken);
  if (cells && !m_HasTri) AppendVertexCells(cells, firstPointId, taken);

  const int64_t position = item->ptsPos;
  if (classes)
    LoadAttribute(level(CLA_FILE), GetAttributePosition(position, CLA_FILE), count, step, classes);
  if (colors)
    LoadAttribute(level(RGB_FILE), GetAttributePosition(position, RGB_FILE), count, step, colors);
  if (intensities)
    LoadAttribute(level(RIF_FILE), GetAttributePosition(position, RIF_FILE), count, step,
                  intensities);
  if (pulses)
    LoadAttribute(level(PLS_FILE), GetAttributePosition(position, PLS_FILE), count, step, pulses);
  if (normals) LoadAttribute(level(NORM_FILE), position, count, step, normals);
  return 1;
}
