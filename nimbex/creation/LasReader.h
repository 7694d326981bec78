// Reads uncompressed LAS 1.0 to 1.4 files, point formats 0 to 10, in large blocks of records.
// Variable-length records are skipped: the points start where the header says they do.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nimbex/creation/PointReader.h"

class CLasReader : public SPreader {
 public:
  // Opens `path` and checks its header. Null on failure, with a message for the user in
  // `error` that names the file, says what is wrong and what to do.
  static std::unique_ptr<CLasReader> Open(const std::string& path, std::string& error);
  ~CLasReader() override;
  CLasReader(const CLasReader&) = delete;
  CLasReader& operator=(const CLasReader&) = delete;

  // The points the file holds: the header's count (the 64-bit one of LAS 1.4 when set), less
  // those missing from a truncated file.
  int64_t GetPointCount() const override { return m_PointCount; }
  int Read(SPoint& point) override;
  // The header's box widened by one scale step on each side; false when the header's box is
  // unusable (not finite, inverted, or out of reach of any point the file can store).
  bool GetHeaderBounds(double bounds[6]) const override;
  bool Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
            const int* cancel) override;
  bool Rewind() override;
  const std::string& GetError() const override { return m_Error; }
  int64_t GetSkippedCount() const override { return 0; }

  // The point format carries colours.
  bool HasColours() const { return m_Layout.colourOffset != 0; }
  // Points the header claims beyond the end of a truncated file.
  int64_t GetMissingPointCount() const { return m_MissingCount; }
  // Damage the reader worked around (truncated point data, a wrong count of variable-length
  // records), one line each for the log.
  const std::vector<std::string>& GetWarnings() const override { return m_Warnings; }

  // Where the records of one point format keep their fields.
  struct SLayout {
    int64_t pointOffset = 0;
    uint64_t declaredCount = 0;
    int recordLength = 0;
    int colourOffset = 0;   // 0 when the format has no colour
    bool extended = false;  // formats 6-10: 4-bit return fields, full classification byte
    double scale[3] = {1, 1, 1};
    double offset[3] = {0, 0, 0};
    double headerBox[6] = {0, 0, 0, 0, 0, 0};  // xmin, xmax, ymin, ymax, zmin, zmax
  };

 private:
  explicit CLasReader(std::string path) : m_Path(std::move(path)) {}
  std::string Start();
  std::string SetUpPointRange(int64_t fileSize);
  void CheckVariableLengthRecords(int headerSize, uint32_t vlrCount);
  bool FillBlock();
  bool DecideColourShift();
  void DecodeRecord(const uint8_t* record, SPoint& point) const;
  const uint8_t* BlockRecord(size_t index) const {
    return m_Block.data() + index * m_Layout.recordLength;
  }

  std::string m_Path;
  std::FILE* m_File = nullptr;
  SLayout m_Layout;
  int64_t m_PointCount = 0;
  int64_t m_MissingCount = 0;
  // Right shift bringing the file's colours to 0..255; -1 until the colours were examined.
  int m_ColourShift = -1;

  std::vector<uint8_t> m_Block;  // whole records read at once
  size_t m_BlockCapacity = 0;    // records
  size_t m_BlockSize = 0;        // records held
  size_t m_BlockNext = 0;        // next record to decode
  int64_t m_RecordsLoaded = 0;   // since the first point
  bool m_ReadFailed = false;

  std::string m_Error;
  std::vector<std::string> m_Warnings;
};

// The parse string that keeps every attribute LAS files hold: intensities, classes and pulses
// always, colours when the point format of any of `files` carries them ("xyzirgbc", else
// "xyzic"). Files that cannot be opened are left to the creator to report.
std::string GetLasParseString(const std::vector<std::string>& files);
