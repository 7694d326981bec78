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

// Appends every `step`-th of the first `taken * step` tuples of `source` to `array`.
template <class Array, class T>
void AppendTuples(Array* array, const T* source, int components, int64_t taken, int step) {
  if (taken <= 0) return;
  const vtkIdType first = array->GetNumberOfValues();
  T* target = array->WritePointer(first, taken * components);
  if (step == 1) {
    std::memcpy(target, source, taken * components * sizeof(T));
  } else {
    for (int64_t j = 0; j < taken; ++j)
      std::copy(source + j * step * components, source + (j * step + 1) * components,
                target + j * components);
  }
  array->Modified();
}

// Appends the taken points, widened or copied into whatever precision `points` holds.
void AppendPoints(vtkPoints* points, const float* source, int64_t taken, int step) {
  vtkDataArray* data = points->GetData();
  if (auto* floats = vtkFloatArray::FastDownCast(data)) {
    AppendTuples(floats, source, 3, taken, step);
  } else if (auto* doubles = vtkDoubleArray::FastDownCast(data)) {
    const vtkIdType first = doubles->GetNumberOfValues();
    double* target = doubles->WritePointer(first, taken * 3);
    for (int64_t j = 0; j < taken; ++j)
      for (int c = 0; c < 3; ++c) target[j * 3 + c] = source[j * step * 3 + c];
    doubles->Modified();
  } else {
    for (int64_t j = 0; j < taken; ++j) points->InsertNextPoint(source + j * step * 3);
  }
  points->Modified();
}

// Appends one vertex cell per point, for the point ids firstId, firstId + 1, ...
void AppendVertexCells(vtkCellArray* cells, vtkIdType firstId, int64_t count) {
  if (count <= 0) return;
  if (!cells->IsStorage64Bit()) {
    for (int64_t j = 0; j < count; ++j) {
      vtkIdType id = firstId + j;
      cells->InsertNextCell(1, &id);
    }
    return;
  }
  auto* offsets = cells->GetOffsetsArray64();
  auto* connectivity = cells->GetConnectivityArray64();
  if (offsets->GetNumberOfValues() == 0) offsets->InsertNextValue(0);
  const vtkIdType connectivityStart = connectivity->GetNumberOfValues();
  const vtkIdType offsetStart = offsets->GetNumberOfValues();
  vtkTypeInt64* ids = connectivity->WritePointer(connectivityStart, count);
  vtkTypeInt64* ends = offsets->WritePointer(offsetStart, count);
  for (int64_t j = 0; j < count; ++j) {
    ids[j] = firstId + j;
    ends[j] = connectivityStart + j + 1;
  }
  connectivity->Modified();
  offsets->Modified();
  cells->Modified();
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

// Reads up to `count` records of `kind` from `position` into `buffer` (resized to hold
// `count` records, zero past what was read). The file bounds the read: a count that the
// file cannot hold is never allocated.
int CNimbex::ReadItemFile(StrmFileKind kind, int64_t position, int64_t count,
                          std::vector<char>& buffer, int64_t& elementsRead) {
  elementsRead = 0;
  if (!GetFile(kind) && !OpenFile(kind, 0)) return 0;
  std::FILE* file = GetFile(kind);
  const int recordSize = GetStrmRecordSize(kind);
  const int64_t available = std::max<int64_t>(0, (m_FileSizes[kind] - position) / recordSize);
  const int64_t wanted = std::max<int64_t>(0, std::min(count, available));
  buffer.resize(static_cast<size_t>(count * recordSize));

  if (wanted > 0) {
    if (m_SavedPositions[kind] != position) {
      if (fseeko(file, position, SEEK_SET) != 0) return 0;
      m_SavedPositions[kind] = position;
      ++m_SeekCount;
    }
    const size_t bytes = std::fread(buffer.data(), 1, wanted * recordSize, file);
    m_SavedPositions[kind] += bytes;
    elementsRead = bytes / recordSize;
  }
  std::fill(buffer.begin() + elementsRead * recordSize, buffer.end(), 0);
  return 1;
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

  // The points file bounds the item, whether its points are read or not.
  const StrmFileKind pointsKind = level(STRM_FILE);
  int64_t count = std::min<int64_t>(
      item->ptsCount, std::max<int64_t>(0, (GetFileSize(pointsKind) - item->ptsPos) / STRM_POINT_BYTES));
  std::vector<char>& pointBuffer = m_ReadBuffers[STRM_FILE / 2];
  if (points) {
    int64_t pointsRead = 0;
    if (!ReadItemFile(pointsKind, item->ptsPos, count, pointBuffer, pointsRead)) return 0;
    count = pointsRead;
  }

  const bool readTriangles = cells && m_HasTri;
  std::vector<char>& triangleBuffer = m_ReadBuffers[TRI_FILE / 2];
  int64_t trianglesRead = 0;
  if (readTriangles &&
      !ReadItemFile(level(TRI_FILE), item->triPos, item->triCount, triangleBuffer, trianglesRead))
    return 0;

  struct Attribute {
    StrmFileKind kind;
    bool wanted;
  };
  const Attribute attributes[] = {{CLA_FILE, classes != nullptr},
                                  {RGB_FILE, colors && m_HasColors},
                                  {RIF_FILE, intensities && m_HasIntensity},
                                  {PLS_FILE, pulses && m_HasPulses},
                                  {NORM_FILE, normals && m_HasNormals}};
  for (const Attribute& attribute : attributes) {
    int64_t read = 0;
    if (attribute.wanted &&
        !ReadItemFile(level(attribute.kind), GetAttributePosition(item->ptsPos, attribute.kind),
                      count, m_ReadBuffers[attribute.kind / 2], read))
      return 0;
  }

  const int64_t taken = count / step;
  const vtkIdType firstPointId = points ? points->GetNumberOfPoints() : m_IOPtsLoaded;
  if (readTriangles)
    AppendTriangles(cells, reinterpret_cast<const int32_t*>(triangleBuffer.data()), trianglesRead,
                    m_IOPtsLoaded);
  m_IOPtsLoaded += static_cast<int>(taken);
  if (points) AppendPoints(points, reinterpret_cast<const float*>(pointBuffer.data()), taken, step);
  if (cells && !m_HasTri) AppendVertexCells(cells, firstPointId, taken);

  auto bytes = [this](StrmFileKind kind) { return m_ReadBuffers[kind / 2].data(); };
  if (classes)
    AppendTuples(classes, reinterpret_cast<const unsigned char*>(bytes(CLA_FILE)), 1, taken, step);
  if (colors && m_HasColors)
    AppendTuples(colors, reinterpret_cast<const unsigned char*>(bytes(RGB_FILE)), 3, taken, step);
  if (intensities && m_HasIntensity)
    AppendTuples(intensities, reinterpret_cast<const float*>(bytes(RIF_FILE)), 1, taken, step);
  if (pulses && m_HasPulses)
    AppendTuples(pulses, reinterpret_cast<const unsigned char*>(bytes(PLS_FILE)), 1, taken, step);
  if (normals && m_HasNormals)
    AppendTuples(normals, reinterpret_cast<const float*>(bytes(NORM_FILE)), 3, taken, step);
  return 1;
}
