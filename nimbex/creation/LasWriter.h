// Writes LAS 1.4 files (point formats 6, 7 and 8): the demo site, and test inputs with the
// exact properties a test needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct LasPoint {
  double x = 0, y = 0, z = 0;
  uint16_t intensity = 0;
  uint8_t returnNumber = 1;     // 1..15
  uint8_t numberOfReturns = 1;  // 1..15
  uint8_t classification = 0;
  uint16_t rgb[3] = {0, 0, 0};  // 16-bit colour components (formats 7 and 8)
  uint16_t nir = 0;             // format 8
  double gpsTime = 0;
  int16_t scanAngle = 0;       // units of 0.006 degrees, negative to the left of the aircraft
  uint16_t pointSourceId = 0;  // the flight line that recorded the point
};

// The creation day stored in the header.
struct LasDate {
  uint16_t dayOfYear = 1;  // 1..366
  uint16_t year = 2000;
};

// The current day in UTC.
LasDate TodayUtc();

class CLasWriter {
 public:
  CLasWriter() = default;
  ~CLasWriter();
  CLasWriter(const CLasWriter&) = delete;
  CLasWriter& operator=(const CLasWriter&) = delete;

  // Creates `path` for points of `pointFormat` (6, 7 or 8) with the given scale and offset.
  // Returns false with a message in GetError() when the file cannot be created.
  bool Open(const std::string& path, int pointFormat, const double scale[3],
            const double offset[3]);
  // Replaces the creation day Open took from the clock, for files that must come out the same
  // whenever they are made.
  void SetCreationDate(LasDate date) { m_Date = date; }
  // Appends one point; false when the coordinates do not fit the scale and offset.
  bool Write(const LasPoint& point);
  // Completes the header (counts per return, bounds) and closes the file.
  bool Close();
  const std::string& GetError() const { return m_Error; }

 private:
  bool Fail(const std::string& message);
  bool Quantize(const LasPoint& point, int32_t stored[3]);
  void Encode(const LasPoint& point, const int32_t stored[3], unsigned char* record) const;
  void Account(const LasPoint& point, const int32_t stored[3]);
  bool Flush();
  void EncodeHeader(unsigned char* header) const;
  bool PatchHeader();

  std::FILE* m_File = nullptr;
  std::string m_Path;
  std::string m_Error;
  int m_PointFormat = 7;
  int m_RecordLength = 36;
  double m_Scale[3] = {0.001, 0.001, 0.001};
  double m_Offset[3] = {0, 0, 0};
  // Extremes of the stored integer coordinates; the header bounds are made from them so they
  // match what a reader computes from the records.
  int32_t m_Low[3] = {0, 0, 0};
  int32_t m_High[3] = {0, 0, 0};
  uint64_t m_PointCount = 0;
  uint64_t m_PointsByReturn[15] = {};
  LasDate m_Date;
  std::vector<unsigned char> m_Buffer;
  size_t m_Buffered = 0;
  bool m_WriteFailed = false;
};
