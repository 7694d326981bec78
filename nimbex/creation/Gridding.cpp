// Gridding: every input point goes to the buffer files of its full-resolution cell.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstring>
#include <filesystem>

#include "nimbex/creation/GeoTransform.h"
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

long long BufferKey(StreamType type, int cellId) {
  return (static_cast<long long>(cellId) << 3) | type;
}

StreamType BufferType(long long key) {
  return static_cast<StreamType>(key & 7);
}

int BufferCell(long long key) {
  return static_cast<int>(key >> 3);
}

// Why a buffer could not be opened, and what to do about it.
std::string BufferOpenError(const std::string& path, int error) {
  std::string advice;
  if (error == EEXIST)
    advice =
        ": a file of that name exists already, which this build did not write; move it "
        "away or choose another output name";
  else if (error == EMFILE || error == ENFILE)
    advice = " (" + std::string(std::strerror(error)) +
             "): close other programs or raise the limit of open files (ulimit -n) and build "
             "again";
  else
    advice = " (" + std::string(std::strerror(error)) + ")";
  return "cannot create the buffer file " + path + advice;
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
    if (m_WriteError.empty()) m_WriteError = BufferOpenError(path, errno);
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
void CStreamCreator::RemoveBufferFiles() const {
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

void CStreamCreator::WritePointRecord(const CellBuffers& buffers, const float local[3],
                                      const SPoint& point, int pulseKind) {
  Stage(buffers, ST_POINTS, local, 3 * sizeof(float));
  if (buffers.staging[ST_COLORS]) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(point.rgb[0] & 0xFF),
                                  static_cast<unsigned char>(point.rgb[1] & 0xFF),
                                  static_cast<unsigned char>(point.rgb[2] & 0xFF)};
    Stage(buffers, ST_COLORS, rgb, 3);
  }
  if (buffers.staging[ST_INTENSITIES]) {
    const float intensity = m_HasPulses ? static_cast<float>(point.lasIntensity) : point.intensity;
    Stage(buffers, ST_INTENSITIES, &intensity, sizeof intensity);
    m_IntensityRange[0] = std::min<double>(m_IntensityRange[0], intensity);
    m_IntensityRange[1] = std::max<double>(m_IntensityRange[1], intensity);
  }
  if (buffers.staging[ST_CLASSES]) {
    Stage(buffers, ST_CLASSES, &point.classification, 1);
    // Class 0 starts with every point; a class the table has no counter for stays there.
    if (point.classification != 0 && point.classification < m_ClassesCount) {
      --m_ClassPointsCount[0];
      ++m_ClassPointsCount[point.classification];
    }
  }
  if (buffers.staging[ST_PULSES]) {
    const unsigned char kind = static_cast<unsigned char>(pulseKind);
    Stage(buffers, ST_PULSES, &kind, 1);
  }
}

int CStreamCreator::SecondStep_Gridding(SPreader* reader, int* cancel, CMessageSink*,
                                        CProgressSink* progress, CTextSink*, CTextSink* percent) {
  if (!reader || reader->GetPointCount() == 0 || !m_Container) return 0;
  const int64_t announced = reader->GetPointCount();
  if (progress) progress->SetRange(0, static_cast<int>(std::min<int64_t>(announced, INT_MAX)));
  if (percent) percent->SetText("0%");

  const bool wanted[ST_COUNT] = {
      true, m_HasRgb != 0, m_HasRif != 0, m_HasCla != 0, m_HasPulses != 0, false, false};
  const CCellLocator locator(*m_Container, m_GridDepth);
  CellBuffers current;
  long long read = 0, written = 0;
  int shownPercent = 0;
  SPoint point;
  int result;
  while ((result = reader->Read(point)) != SP_END) {
    if (++read % kProgressInterval == 0) {
      if (progress) progress->SetPos(static_cast<int>(std::min<long long>(read, INT_MAX)));
      const int whole = static_cast<int>((read + 1) * 100 / std::max<int64_t>(announced, 1));
      if (percent && whole != shownPercent) percent->SetText(std::to_string(whole) + "%");
      shownPercent = whole;
      PumpMsgs();
      if (IsCancelled(cancel)) break;
    }
    if (result != SP_VALID) continue;
    const int pulseKind = GetPulseKind(point.returnNumber, point.numberOfReturns);
    if (m_GeoTransform && !m_GeoTransform->Transform(point.x, point.y, point.z)) {
      ++m_DroppedPointsCount;
      continue;
    }
    const float local[3] = {static_cast<float>(point.x - m_Offset[0]),
                            static_cast<float>(point.y - m_Offset[1]),
                            static_cast<float>(point.z - m_Offset[2])};
    // The cell comes from the stored float coordinates, so that a reader finds every
    // point inside the cell of its item.
    const double stored[3] = {local[0], local[1], local[2]};
    const int cellId = locator.Locate(stored);
    if (cellId < 0) {
      ++m_DroppedPointsCount;
      ++m_OutsidePointsCount;
      continue;
    }
    if (cellId != current.cellId) {
      RegisterCell(cellId);
      // A buffer that cannot be opened ends the run: the cause is in m_WriteError.
      if (!AcquireCellBuffers(cellId, wanted, current)) break;
    }
    WritePointRecord(current, local, point, pulseKind);
    ++written;
  }
  CloseAllBufFiles();
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
