// The records gridding writes for each cell, held in memory and spilled in runs of many
// records to one file per kind of record: a build creates a handful of files, not several
// per cell. Merging then reads each cell back, its spilled runs in the order they were
// written and then the records still in memory, so a cell's records keep the input's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbex/creation/StreamCreator.h"

// Why a buffer file could not be created, and what to do about it.
std::string DescribeBufferOpenError(const std::string& path, int error);

// One cell of the store: its records not yet spilled and where its spilled runs lie.
struct SStoredCell {
  char* records[ST_COUNT] = {};  // this cell's part of the store's memory, per kind
  size_t held = 0;               // records of each kind in memory
  // Runs in the spill files: the first record (the same index in every kind's file) and the
  // number of records.
  std::vector<std::pair<int64_t, int64_t>> runs;
  int64_t spilled = 0;
};

class CCellStore {
 public:
  using SCell = SStoredCell;

  // Keeps the records of the kinds in `kinds`; `spillName(type)` names a kind's spill file,
  // created (never over an existing file) on the first spill. Each cell holds up to
  // `memoryBudget` / (`cellCount` * bytes of one point's records) records in memory.
  CCellStore(const bool kinds[ST_COUNT], std::vector<std::string> spillNames, size_t memoryBudget,
             long long cellCount);
  // Removes the spill files.
  ~CCellStore();
  CCellStore(const CCellStore&) = delete;
  CCellStore& operator=(const CCellStore&) = delete;

  // The cell, made on its first use.
  SCell& Cell(int cellId);
  // Null when the cell received nothing.
  const SCell* Find(int cellId) const;
  // Where the next record of a kind goes; Commit() after every kind of one point was written.
  char* Next(SCell& cell, StreamType type) const {
    return cell.records[type] + cell.held * kRecordSizes[type];
  }
  // Counts one point's records; a full cell spills. False when the spill failed (see Error).
  bool Commit(SCell& cell) { return ++cell.held < m_CellCapacity || Spill(cell); }

  // Records of a cell (spilled and held).
  static int64_t RecordCount(const SCell& cell) {
    return cell.spilled + static_cast<int64_t>(cell.held);
  }
  // Whether the store keeps records of a kind.
  bool Holds(StreamType type) const { return m_Kinds[type]; }
  // Hands at most `maxRecords` records of one kind of a cell to `deliver`, in order, in
  // pieces read through `scratch`. False when a spill file cannot be read or `deliver`
  // refused a piece.
  bool ReadRecords(const SCell& cell, StreamType type, int64_t maxRecords,
                   std::vector<char>& scratch,
                   const std::function<bool(const char*, size_t)>& deliver);

  // The first failure, for the user: names the file and says what to do.
  std::string Error();
  // Spills must reach their files before merging reads them back.
  bool FinishSpills();

  static constexpr int kRecordSizes[ST_COUNT] = {12, 3, 4, 1, 1, 12, 12};

 private:
  bool Spill(SCell& cell);
  bool OpenSpillFiles();
  void SetError(const std::string& error);

  bool m_Kinds[ST_COUNT] = {};
  std::vector<std::string> m_SpillNames;
  size_t m_CellCapacity = 0;  // records of each kind a cell holds in memory
  size_t m_CellBytes = 0;     // memory of one cell's records
  std::unordered_map<int, SCell> m_Cells;
  std::vector<std::unique_ptr<char[]>> m_Memory;  // one block per cell
  std::FILE* m_SpillFiles[ST_COUNT] = {};
  bool m_SpillsOpen = false;
  bool m_Failed = false;         // a spill failed: the store takes no more
  int64_t m_SpilledRecords = 0;  // records of each kind in the spill files
  std::mutex m_ErrorMutex;       // merging reads kinds back on two threads
  std::string m_Error;
};
