// Gridding: every input point goes to the buffer files of its full-resolution cell.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstring>
#include <filesystem>

#include "nimbex/creation/CellStore.h"
#include "nimbex/creation/GeoTransform.h"
#include "nimbex/creation/PointBatches.h"
#include "nimbex/creation/PointReader.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/platform/Hooks.h"

namespace {

const char* const kBufferExtensions[ST_COUNT] = {"buf",    "rgbbuf", "rifbuf", "clabuf",
                                                 "plsbuf", "tribuf", "normbuf"};

// Records of a cell collect in memory and reach its open buffer file in blocks of this
// size: no library call per point. At most 501 buffers are open at once, fewer under a low
// limit of open files.
constexpr size_t kStagingBlock = 64 << 10;

constexpr int kProgressInterval = 10000;
// Records read into one batch of points: a few batches stay in the processors' caches, and
// the batches end on every multiple of the progress interval.
constexpr int kBatchRecords = kProgressInterval / 4;

long long BufferKey(StreamType type, int cellId) {
  return (static_cast<long long>(cellId) << 3) | type;
}

StreamType BufferType(long long key) {
  return static_cast<StreamType>(key & 7);
}

int BufferCell(long long key) {
  return static_cast<int>(key >> 3);
}

}  // namespace

std::string CStreamCreator::BufferPath(StreamType type, int cellId) const {
  return GetBufferFileName(m_OutputFileName, cellId, kBufferExtensions[type]).string();
}

std::FILE* CStreamCreator::OpenBufStream(StreamType type, int cellId) {
  const int slot = OpenBufferSlot(type, cellId);
  if (slot < 0) return nullptr;
  // A caller writing to the file itself must find every record staged before its own.
  FlushStaging(type, slot);
  return m_BufHandles[type][slot];
}

int CStreamCreator::OpenBufferSlot(StreamType type, int cellId) {
  if (cellId < 0 || type < 0 || type >= ST_COUNT) return -1;
  auto found = m_BufMaps[type].find(cellId);
  if (found != m_BufMaps[type].end()) return found->second;
  if (GetOpenedStreamsCount() >= m_MaxOpenBuffers - 1) CloseAllBufFiles();

  // The first opening in this run creates the buffer, never over a file the run did not
  // write; later ones append to it.
  const bool created = m_CreatedBuffers.count(BufferKey(type, cellId)) > 0;
  const std::string path = BufferPath(type, cellId);
  std::FILE* file = std::fopen(path.c_str(), created ? "ab" : "wbx");
  if (!file) {
    if (m_WriteError.empty()) m_WriteError = DescribeBufferOpenError(path, errno);
    return -1;
  }
  const int slot = static_cast<int>(m_BufMaps[type].size());
  m_BufHandles[type][slot] = file;
  m_BufMaps[type][cellId] = slot;
  m_CreatedBuffers.insert(BufferKey(type, cellId));
  Staging& staging = m_BufStaging[type][slot];
  if (!staging.data) staging.data = std::make_unique<char[]>(kStagingBlock);
  return slot;
}

void CStreamCreator::FlushStaging(StreamType type, int slot) {
  Staging& staging = m_BufStaging[type][slot];
  if (staging.used == 0) return;
  std::FILE* file = m_BufHandles[type][slot];
  if ((!file || std::fwrite(staging.data.get(), 1, staging.used, file) != staging.used) &&
      m_WriteError.empty())
    m_WriteError = "cannot write the buffer files of " + m_OutputFileName + " (is the disk full?)";
  staging.used = 0;
}

void CStreamCreator::CloseAllBufFiles() {
  for (int type = 0; type < ST_COUNT; ++type) {
    for (const auto& entry : m_BufMaps[type]) {
      FlushStaging(StreamType(type), entry.second);
      std::FILE*& file = m_BufHandles[type][entry.second];
      if (file && std::fclose(file) != 0 && m_WriteError.empty())
        m_WriteError =
            "cannot write the buffer files of " + m_OutputFileName + " (is the disk full?)";
      file = nullptr;
    }
    m_BufMaps[type].clear();
  }
}

// Only the buffers this run created are removed: a file of the same pattern that the run
// did not write (the user's, another run's) stays.
void CStreamCreator::RemoveBufferFiles() {
  m_CellStore.reset();
  for (long long key : m_CreatedBuffers) {
    std::error_code ignored;
    std::filesystem::remove(BufferPath(BufferType(key), BufferCell(key)), ignored);
  }
}

int CStreamCreator::GetOpenedStreamsCount() const {
  int count = 0;
  for (const auto& map : m_BufMaps) count += static_cast<int>(map.size());
  return count;
}

void CStreamCreator::RegisterCell(int cellId) {
  if (m_KnownCells.insert(cellId).second) m_ItemsIds.push_back(cellId);
}

// Gets every wanted buffer of a cell. The pool is closed, when it must be, before the first
// buffer of the cell is opened, so no handle the cell needs is closed under it.
int CStreamCreator::AcquireCellBuffers(int cellId, const bool wanted[ST_COUNT],
                                       CellBuffers& buffers) {
  int missing = 0;
  for (int type = 0; type < ST_COUNT; ++type)
    if (wanted[type] && !m_BufMaps[type].count(cellId)) ++missing;
  if (missing > 0 && GetOpenedStreamsCount() + missing > m_MaxOpenBuffers - 1) CloseAllBufFiles();

  buffers.cellId = cellId;
  int complete = 1;
  for (int type = 0; type < ST_COUNT; ++type) {
    buffers.staging[type] = nullptr;
    if (!wanted[type]) continue;
    const int slot = OpenBufferSlot(StreamType(type), cellId);
    if (slot < 0) {
      complete = 0;
      continue;
    }
    buffers.slots[type] = slot;
    buffers.staging[type] = &m_BufStaging[type][slot];
  }
  return complete;
}

void CStreamCreator::Stage(const CellBuffers& buffers, StreamType type, const void* record,
                           size_t bytes) {
  Staging& staging = *buffers.staging[type];
  if (staging.used + bytes > kStagingBlock) FlushStaging(type, buffers.slots[type]);
  std::memcpy(staging.data.get() + staging.used, record, bytes);
  staging.used += bytes;
}

// Reads up to one batch of records: each valid point converted to the local frame. Runs on
// the batch worker: it touches the reader, the geographic transformation and nothing the
// calling thread writes meanwhile.
void CStreamCreator::FillBatch(SPreader& reader, SPointBatch& batch) const {
  batch.points.clear();
  batch.read = batch.dropped = 0;
  batch.last = false;
  SPoint point;
  while (batch.read < kBatchRecords) {
    const int result = reader.Read(point);
    if (result == SP_END) {
      batch.last = true;
      return;
    }
    ++batch.read;
    if (result != SP_VALID) continue;
    if (m_GeoTransform && !m_GeoTransform->Transform(point.x, point.y, point.z)) {
      ++batch.dropped;
      continue;
    }
    // Filled in place: a copy of a point assembled field by field stalls the processor.
    SGriddedPoint& gridded = batch.points.emplace_back();
    gridded.xyz[0] = static_cast<float>(point.x - m_Offset[0]);
    gridded.xyz[1] = static_cast<float>(point.y - m_Offset[1]);
    gridded.xyz[2] = static_cast<float>(point.z - m_Offset[2]);
    for (int c = 0; c < 3; ++c) gridded.rgb[c] = static_cast<uint8_t>(point.rgb[c] & 0xFF);
    gridded.intensity = m_HasPulses ? static_cast<float>(point.lasIntensity) : point.intensity;
    gridded.classification = point.classification;
    gridded.pulseKind =
        static_cast<uint8_t>(GetPulseKind(point.returnNumber, point.numberOfReturns));
  }
}

// The records of one point into its cell, and the run's class counts and intensity range.
void CStreamCreator::StorePoint(CCellStore& store, SStoredCell& cell, const SGriddedPoint& point) {
  std::memcpy(store.Next(cell, ST_POINTS), point.xyz, sizeof point.xyz);
  if (m_HasRgb) std::memcpy(store.Next(cell, ST_COLORS), point.rgb, sizeof point.rgb);
  if (m_HasRif) {
    std::memcpy(store.Next(cell, ST_INTENSITIES), &point.intensity, sizeof point.intensity);
    m_IntensityRange[0] = std::min<double>(m_IntensityRange[0], point.intensity);
    m_IntensityRange[1] = std::max<double>(m_IntensityRange[1], point.intensity);
  }
  if (m_HasCla) {
    *store.Next(cell, ST_CLASSES) = static_cast<char>(point.classification);
    // Class 0 starts with every point; a class the table has no counter for stays there.
    if (point.classification != 0 && point.classification < m_ClassesCount) {
      --m_ClassPointsCount[0];
      ++m_ClassPointsCount[point.classification];
    }
  }
  if (m_HasPulses) *store.Next(cell, ST_PULSES) = static_cast<char>(point.pulseKind);
}

// The cells' records are kept in memory up to a budget and spilled in runs, a handful of
// files for the whole build.
void CStreamCreator::StartCellStore(const bool kinds[ST_COUNT]) {
  std::vector<std::string> spillNames;
  const std::filesystem::path output(m_OutputFileName);
  for (const char* extension : kBufferExtensions)
    spillNames.push_back(
        (output.parent_path() / (output.stem().string() + "_cells." + extension)).string());
  m_CellStore = std::make_unique<CCellStore>(kinds, std::move(spillNames), m_CellMemoryBudget,
                                             GetCellCount(m_GridDepth, m_IsTerrain));
}

int CStreamCreator::SecondStep_Gridding(SPreader* reader, int* cancel, CMessageSink*,
                                        CProgressSink* progress, CTextSink*, CTextSink* percent) {
  if (!reader || reader->GetPointCount() == 0 || !m_Container) return 0;
  const int64_t announced = reader->GetPointCount();
  if (progress) progress->SetRange(0, static_cast<int>(std::min<int64_t>(announced, INT_MAX)));
  if (percent) percent->SetText("0%");

  const bool kinds[ST_COUNT] = {
      true, m_HasRgb != 0, m_HasRif != 0, m_HasCla != 0, m_HasPulses != 0, false, false};
  StartCellStore(kinds);
  const CCellLocator locator(*m_Container, m_GridDepth);
  long long read = 0, written = 0;
  int shownPercent = 0;
  bool stored = true;
  CPointBatches batches([&](SPointBatch& batch) { FillBatch(*reader, batch); },
                        m_CreationThreads > 1);
  int currentId = -1;
  SStoredCell* cell = nullptr;
  while (const SPointBatch* batch = batches.Next()) {
    for (const SGriddedPoint& point : batch->points) {
      // The cell comes from the stored float coordinates, so that a reader finds every
      // point inside the cell of its item.
      const double local[3] = {point.xyz[0], point.xyz[1], point.xyz[2]};
      const int cellId = locator.Locate(local);
      if (cellId < 0) {
        ++m_DroppedPointsCount;
        ++m_OutsidePointsCount;
        continue;
      }
      if (cellId != currentId) {
        currentId = cellId;
        RegisterCell(currentId);
        cell = &m_CellStore->Cell(currentId);
      }
      StorePoint(*m_CellStore, *cell, point);
      // A spill that fails ends the run: the cause is in the store's error.
      if (!(stored = m_CellStore->Commit(*cell))) break;
      ++written;
    }
    read += batch->read;
    m_DroppedPointsCount += batch->dropped;
    if (!stored) break;
    if (batch->read > 0 && read % kProgressInterval == 0) {
      if (progress) progress->SetPos(static_cast<int>(std::min<long long>(read, INT_MAX)));
      const int whole = static_cast<int>((read + 1) * 100 / std::max<int64_t>(announced, 1));
      if (percent && whole != shownPercent) percent->SetText(std::to_string(whole) + "%");
      shownPercent = whole;
      PumpMsgs();
      if (IsCancelled(cancel)) break;
    }
  }
  batches.Stop();
  if ((!stored || !m_CellStore->FinishSpills()) && m_WriteError.empty())
    m_WriteError = m_CellStore->Error();
  if (IsCancelled(cancel)) {
    CancelCreation(m_WorkFolder.c_str());
    return 0;
  }
  if (!reader->GetError().empty() || !m_WriteError.empty()) {
    m_LastError = m_WriteError.empty() ? reader->GetError() : m_WriteError;
    return 0;
  }
  m_MissingPointsCount = std::max<long long>(0, announced - read);
  m_SkippedRecordsCount = reader->GetSkippedCount();
  m_InputWarnings = reader->GetWarnings();
  // The header counts the points the stream holds; class 0 keeps what no other class took.
  const long long dropped = m_PointsCount - written;
  m_ClassPointsCount[0] -= static_cast<int>(dropped);
  m_PointsCount = static_cast<int>(written);
  if (written == 0) {
    m_LastError = "no point of the input lies in the stream's box";
    return 0;
  }
  return 1;
}
