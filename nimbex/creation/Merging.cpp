// Merging: the per-cell buffers become the stream's full-resolution files and item index.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "nimbex/creation/CellStore.h"
#include "nimbex/creation/CreationWorker.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/platform/Hooks.h"

namespace {

struct MergedFile {
  StreamType type;
  const char* extension;
  int recordSize;
};

// The final files in the order merging fills them.
constexpr MergedFile kMergedFiles[ST_COUNT] = {{ST_POINTS, "strm", 12}, {ST_TRIANGLES, "tri", 12},
                                               {ST_COLORS, "rgb", 3},   {ST_INTENSITIES, "rif", 4},
                                               {ST_CLASSES, "cla", 1},  {ST_PULSES, "pls", 1},
                                               {ST_NORMALS, "norm", 12}};

}  // namespace

int CStreamCreator::ThirdStep_Merging(std::vector<Item*>* items, std::FILE*& header,
                                      std::FILE*& points, std::FILE*& triangles, std::FILE*& colors,
                                      std::FILE*& intensities, std::FILE*& classes,
                                      std::FILE*& pulses, std::FILE*& normals, int* cancel,
                                      CMessageSink*, CProgressSink* progress, CTextSink*,
                                      CTextSink* percent) {
  if (!items) return 0;
  std::sort(m_ItemsIds.begin(), m_ItemsIds.end());
  std::FILE** files[ST_COUNT] = {&points,  &triangles, &colors, &intensities,
                                 &classes, &pulses,    &normals};
  const int flags[ST_COUNT] = {1, m_HasTri, m_HasRgb, m_HasRif, m_HasCla, m_HasPulses, m_HasNorm};
  for (int i = 0; i < ST_COUNT; ++i)
    if (!*files[i] && flags[i]) *files[i] = CreateStreamFile(kMergedFiles[i].extension, "wb");
  if (!points) {
    m_LastError = m_WriteError;
    return 0;
  }

  double cell[6];
  m_Container->GetItemBounds(0, m_GridDepth, cell);
  const float size[3] = {static_cast<float>(cell[1] - cell[0]),
                         static_cast<float>(cell[3] - cell[2]),
                         static_cast<float>(cell[5] - cell[4])};
  const int count = static_cast<int>(m_ItemsIds.size());
  std::vector<long long> cellPoints(count);
  bool overfull = false;
  for (int i = 0; i < count && !overfull; ++i) {
    cellPoints[i] = BufferRecordCount(ST_POINTS, m_ItemsIds[i], STRM_POINT_BYTES);
    overfull = !CheckItemPoints(m_ItemsIds[i], cellPoints[i]);
  }

  // With two threads a worker copies the attribute files while this thread copies the
  // points and writes the records; each file still receives the cells in id order.
  std::string workerError;
  std::unique_ptr<CCreationWorker> worker;
  if (m_CreationThreads > 1 && !overfull)
    worker = std::make_unique<CCreationWorker>([&](const std::atomic<bool>& stop) {
      std::vector<char> scratch;
      for (int i = 0; i < count && !stop; ++i)
        CopyCellAttributes(m_ItemsIds[i], cellPoints[i], files, scratch, workerError);
    });
  if (progress) progress->SetRange(0, count);
  for (int i = 0; i < count && !overfull && !IsCancelled(cancel); ++i) {
    if (progress) progress->SetPos(i);
    if (percent)
      percent->SetText(std::to_string(static_cast<long long>(i + 1) * 100 / count) + "%");
    PumpMsgs();

    Item* item = new Item{};
    item->id = m_ItemsIds[i];
    item->isLeaf = 1;
    double* center = m_Container->GetItemCenter(item->id, 0, m_GridDepth);
    std::copy(center, center + 3, item->center);
    delete[] center;
    std::copy(size, size + 3, item->size);
    item->ptsPos = ftello(points);
    item->ptsCount = static_cast<int32_t>(cellPoints[i]);
    item->ptsBytes = item->ptsCount * STRM_POINT_BYTES;
    CopyBuffer(ST_POINTS, item->id, STRM_POINT_BYTES, cellPoints[i], points, m_CopyBuffer,
               m_WriteError);
    if (triangles) {
      item->triPos = ftello(triangles);
      item->triCount = static_cast<int32_t>(CopyBuffer(ST_TRIANGLES, item->id, STRM_TRIANGLE_BYTES,
                                                       -1, triangles, m_CopyBuffer, m_WriteError));
    }
    if (!worker) CopyCellAttributes(item->id, cellPoints[i], files, m_CopyBuffer, m_WriteError);
    std::fwrite(item, sizeof(Item), 1, header);
    items->push_back(item);
  }
  if (worker) {
    if (IsCancelled(cancel)) worker->Stop();
    worker->Finish(cancel);
    if (m_WriteError.empty()) m_WriteError = workerError;
  }

  if (progress) progress->SetPos(count);
  if (IsCancelled(cancel) || overfull) {
    for (std::FILE** file : files)
      if (*file) std::fclose(*file), *file = nullptr;
    CancelCreation(m_WorkFolder.c_str());
    return 0;
  }
  // The overview step reads the full-resolution files back.
  for (int i = 0; i < ST_COUNT; ++i) {
    if (!*files[i]) continue;
    if (std::fclose(*files[i]) != 0 && m_WriteError.empty())
      m_WriteError =
          "cannot write " + StreamFilePath(kMergedFiles[i].extension) + " (is the disk full?)";
    *files[i] = std::fopen(StreamFilePath(kMergedFiles[i].extension).c_str(), "rb");
  }
  RemoveBufferFiles();
  if (!m_WriteError.empty()) {
    m_LastError = m_WriteError;
    return 0;
  }
  return 1;
}

// The whole records a cell's buffer holds, from its size; none without a buffer.
long long CStreamCreator::BufferRecordCount(StreamType type, int cellId, int recordSize) const {
  if (m_CellStore && m_CellStore->Holds(type)) {
    const SStoredCell* cell = m_CellStore->Find(cellId);
    return cell ? CCellStore::RecordCount(*cell) : 0;
  }
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(BufferPath(type, cellId), error);
  return error ? 0 : static_cast<long long>(bytes / recordSize);
}

// Hands the whole records of one cell's buffer to `deliver`, at most `maxRecords` of them
// when it is not negative. Returns the number of whole records the buffer holds; a missing
// buffer holds none.
long long CStreamCreator::ReadBufferRecords(
    StreamType type, int cellId, int recordSize, long long maxRecords, std::vector<char>& scratch,
    std::string& error, const std::function<bool(const char*, size_t)>& deliver) const {
  if (m_CellStore && m_CellStore->Holds(type)) {
    const SStoredCell* cell = m_CellStore->Find(cellId);
    if (!cell) return 0;
    const long long records = CCellStore::RecordCount(*cell);
    if (!m_CellStore->ReadRecords(*cell, type, maxRecords < 0 ? records : maxRecords, scratch,
                                  deliver) &&
        error.empty())
      error = m_CellStore->Error();
    return records;
  }
  std::FILE* buffer = std::fopen(BufferPath(type, cellId).c_str(), "rb");
  if (!buffer) return 0;
  std::fseek(buffer, 0, SEEK_END);
  const long long records = ftello(buffer) / recordSize;
  std::fseek(buffer, 0, SEEK_SET);
  const long long copied = maxRecords < 0 ? records : std::min(records, maxRecords);
  scratch.resize(static_cast<size_t>(copied * recordSize));
  const size_t got = std::fread(scratch.data(), 1, scratch.size(), buffer);
  std::fclose(buffer);
  deliver(scratch.data(), got);
  return records;
}

// Appends the whole records of one cell's buffer to `target`, at most `maxRecords` of them
// when it is not negative (attributes stay parallel to the points), and removes a buffer
// file it consumed. Returns the number of whole records the buffer held. The first failure
// goes to `error`; `scratch` is the calling thread's memory for the copy.
long long CStreamCreator::CopyBuffer(StreamType type, int cellId, int recordSize,
                                     long long maxRecords, std::FILE* target,
                                     std::vector<char>& scratch, std::string& error) const {
  const long long records = ReadBufferRecords(
      type, cellId, recordSize, maxRecords, scratch, error, [&](const char* data, size_t bytes) {
        if (std::fwrite(data, 1, bytes, target) == bytes) return true;
        if (error.empty())
          error = "cannot write the stream files of " + m_OutputFileName + " (is the disk full?)";
        return false;
      });
  if (!m_CellStore || !m_CellStore->Holds(type)) std::remove(BufferPath(type, cellId).c_str());
  return records;
}

// The attribute records of one cell, as many as it has points, each to its open file.
void CStreamCreator::CopyCellAttributes(int cellId, long long points, std::FILE** const files[],
                                        std::vector<char>& scratch, std::string& error) const {
  for (int f = 2; f < ST_COUNT; ++f)
    if (*files[f])
      CopyBuffer(kMergedFiles[f].type, cellId, kMergedFiles[f].recordSize, points, *files[f],
                 scratch, error);
}

// An item counts its points bytes in 32 bits: a cell of more points is refused.
bool CStreamCreator::CheckItemPoints(int cellId, long long points) {
  int32_t pointsBytes = 0;
  if (GetItemPointsBytes(points, pointsBytes)) return true;
  m_LastError = "cell " + std::to_string(cellId) + " holds " + std::to_string(points) +
                " points, more than one item can count (" + std::to_string(ITEM_MAX_POINTS) +
                "): the points crowd into a small part of the stream's box; remove far outliers "
                "or split the input";
  return false;
}
