// Copies of records into the arrays of a view read, shared by the item and view readers.
#pragma once

#include <vtkCellArray.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

// Copies every `step`-th of the first `taken * step` tuples of `source` to `target`. The tuple
// size is a constant of each copy loop, so that the compiler copies whole tuples.
template <int Components, class Target, class Source>
void CopyTuples(Target* target, const Source* source, int64_t taken, int step) {
  if constexpr (std::is_same_v<Target, Source>) {
    if (step == 1) {
      std::memcpy(target, source, static_cast<size_t>(taken) * Components * sizeof(Source));
      return;
    }
  }
  // Mapped pages are scattered in memory, which stops the processor's own prefetching at
  // every page: fetching a kilobyte ahead keeps the stepped copy from waiting on each line.
  for (int64_t j = 0; j < taken; ++j) {
    __builtin_prefetch(reinterpret_cast<const char*>(source + j * step * Components) + 1024);
    for (int c = 0; c < Components; ++c)
      target[j * Components + c] = source[j * step * Components + c];
  }
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

inline void AppendVertexCells(vtkCellArray* cells, vtkIdType firstId, int64_t count) {
  if (count <= 0) return;
  if (cells->IsStorage64Bit())
    AppendVertexIds(cells, cells->GetOffsetsArray64(), cells->GetConnectivityArray64(), firstId,
                    count);
  else
    AppendVertexIds(cells, cells->GetOffsetsArray32(), cells->GetConnectivityArray32(), firstId,
                    count);
}
