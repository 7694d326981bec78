#include "nimbex/creation/CellStore.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// A cell spills at least this many records at once, and holds at most this many. The
// largest grid a point count can ask for (65536 cells) keeps under 200 MiB then.
constexpr size_t kMinCellRecords = 128;
constexpr size_t kMaxCellRecords = 1 << 16;

}  // namespace

std::string DescribeBufferOpenError(const std::string& path, int error) {
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

CCellStore::CCellStore(const bool kinds[ST_COUNT], std::vector<std::string> spillNames,
                       size_t memoryBudget, long long cellCount)
    : m_SpillNames(std::move(spillNames)) {
  size_t pointBytes = 0;
  for (int type = 0; type < ST_COUNT; ++type) {
    m_Kinds[type] = kinds[type];
    if (kinds[type]) pointBytes += kRecordSizes[type];
  }
  const size_t perCell = memoryBudget / std::max<size_t>(pointBytes, 1) /
                         static_cast<size_t>(std::max(cellCount, 1LL));
  m_CellCapacity = std::clamp(perCell, kMinCellRecords, kMaxCellRecords);
  m_CellBytes = m_CellCapacity * pointBytes;
}

CCellStore::~CCellStore() {
  for (int type = 0; type < ST_COUNT; ++type) {
    if (!m_SpillFiles[type]) continue;
    std::fclose(m_SpillFiles[type]);
    std::error_code ignored;
    std::filesystem::remove(m_SpillNames[type], ignored);
  }
}

CCellStore::SCell& CCellStore::Cell(int cellId) {
  auto found = m_Cells.find(cellId);
  if (found != m_Cells.end()) return found->second;
  SCell& cell = m_Cells[cellId];
  // Not zero-filled: only what the cell receives is ever read.
  m_Memory.emplace_back(new char[m_CellBytes]);
  char* next = m_Memory.back().get();
  for (int type = 0; type < ST_COUNT; ++type) {
    if (!m_Kinds[type]) continue;
    cell.records[type] = next;
    next += m_CellCapacity * kRecordSizes[type];
  }
  return cell;
}

const CCellStore::SCell* CCellStore::Find(int cellId) const {
  auto found = m_Cells.find(cellId);
  return found == m_Cells.end() ? nullptr : &found->second;
}

void CCellStore::SetError(const std::string& error) {
  std::lock_guard<std::mutex> lock(m_ErrorMutex);
  if (m_Error.empty()) m_Error = error;
}

std::string CCellStore::Error() {
  std::lock_guard<std::mutex> lock(m_ErrorMutex);
  return m_Error;
}

bool CCellStore::OpenSpillFiles() {
  m_SpillsOpen = true;
  for (int type = 0; type < ST_COUNT; ++type) {
    if (!m_Kinds[type]) continue;
    // Never over a file this build did not write.
    m_SpillFiles[type] = std::fopen(m_SpillNames[type].c_str(), "w+bx");
    if (!m_SpillFiles[type]) {
      SetError(DescribeBufferOpenError(m_SpillNames[type], errno));
      return false;
    }
    std::setvbuf(m_SpillFiles[type], nullptr, _IOFBF, 1 << 20);
  }
  return true;
}

bool CCellStore::Spill(SCell& cell) {
  if (m_Failed || (!m_SpillsOpen && !OpenSpillFiles())) {
    m_Failed = true;
    return false;
  }
  for (int type = 0; type < ST_COUNT; ++type) {
    if (!m_Kinds[type]) continue;
    const size_t bytes = cell.held * kRecordSizes[type];
    if (std::fwrite(cell.records[type], 1, bytes, m_SpillFiles[type]) != bytes) {
      SetError("cannot write the buffer file " + m_SpillNames[type] + " (is the disk full?)");
      m_Failed = true;
      return false;
    }
  }
  cell.runs.emplace_back(m_SpilledRecords, static_cast<int64_t>(cell.held));
  m_SpilledRecords += static_cast<int64_t>(cell.held);
  cell.spilled += static_cast<int64_t>(cell.held);
  cell.held = 0;
  return true;
}

bool CCellStore::FinishSpills() {
  for (int type = 0; type < ST_COUNT; ++type)
    if (m_SpillFiles[type] && std::fflush(m_SpillFiles[type]) != 0) {
      SetError("cannot write the buffer file " + m_SpillNames[type] + " (is the disk full?)");
      return false;
    }
  return true;
}

bool CCellStore::ReadRecords(const SCell& cell, StreamType type, int64_t maxRecords,
                             std::vector<char>& scratch,
                             const std::function<bool(const char*, size_t)>& deliver) {
  const size_t recordSize = kRecordSizes[type];
  int64_t left = std::min(maxRecords, RecordCount(cell));
  for (const auto& run : cell.runs) {
    if (left <= 0) return true;
    const size_t bytes = static_cast<size_t>(std::min(run.second, left)) * recordSize;
    scratch.resize(std::max(scratch.size(), bytes));
    const ssize_t got = pread(fileno(m_SpillFiles[type]), scratch.data(), bytes,
                              static_cast<off_t>(run.first * recordSize));
    if (got != static_cast<ssize_t>(bytes)) {
      SetError("cannot read the buffer file " + m_SpillNames[type] + " back");
      return false;
    }
    if (!deliver(scratch.data(), bytes)) return false;
    left -= run.second;
  }
  if (left <= 0) return true;
  return deliver(cell.records[type], static_cast<size_t>(left) * recordSize);
}
