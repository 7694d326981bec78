#include "nimbex/creation/LasWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iterator>
#include <limits>

namespace {

constexpr uint16_t kHeaderSize = 375;
constexpr size_t kBufferBytes = size_t(4) << 20;
// Global encoding bit 4: a coordinate system would be given as WKT, which formats 6 and up
// require.
constexpr uint16_t kGlobalEncodingWkt = 1 << 4;
constexpr const char* kSystemIdentifier = "Orvalis";
constexpr const char* kGeneratingSoftware = "nimbex demo-site";

int RecordLength(int pointFormat) {
  switch (pointFormat) {
    case 6:
      return 30;
    case 7:
      return 36;
    default:
      return 38;
  }
}

// LAS is little-endian whatever the host.
void Put16(unsigned char* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

// Spelled out byte by byte so that the compiler merges them into one store.
void Put32(unsigned char* at, uint32_t value) {
  Put16(at, uint16_t(value));
  Put16(at + 2, uint16_t(value >> 16));
}

void Put64(unsigned char* at, uint64_t value) {
  Put32(at, uint32_t(value));
  Put32(at + 4, uint32_t(value >> 32));
}

void PutDouble(unsigned char* at, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Put64(at, bits);
}

void PutText(unsigned char* at, size_t size, const char* text) {
  std::strncpy(reinterpret_cast<char*>(at), text, size);
}

// std::llround without the library call: for |units| < 2^52 the fraction left after the
// truncation is exact, so the comparison with one half decides exactly as llround does.
int64_t RoundHalfAway(double units) {
  const int64_t whole = int64_t(units);
  const double fraction = units - double(whole);
  return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

LasDate TodayUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  return LasDate{uint16_t(parts.tm_yday + 1), uint16_t(parts.tm_year + 1900)};
}

CLasWriter::~CLasWriter() {
  Close();
}

bool CLasWriter::Open(const std::string& path, int pointFormat, const double scale[3],
                      const double offset[3]) {
  if (m_File) return Fail("cannot create " + path + ": " + m_Path + " is still being written");
  if (pointFormat < 6 || pointFormat > 8)
    return Fail("cannot create " + path + ": point format " + std::to_string(pointFormat) +
                " is not supported (the LAS writer makes formats 6, 7 and 8)");
  for (int axis = 0; axis < 3; ++axis)
    if (!(scale[axis] > 0) || !std::isfinite(scale[axis]) || !std::isfinite(offset[axis]))
      return Fail("cannot create " + path + ": scales must be positive and offsets finite");
  m_File = std::fopen(path.c_str(), "wb");
  if (!m_File) return Fail("cannot create " + path + ": " + std::strerror(errno));

  m_Path = path;
  m_Error.clear();
  m_PointFormat = pointFormat;
  m_RecordLength = RecordLength(pointFormat);
  for (int axis = 0; axis < 3; ++axis) {
    m_Scale[axis] = scale[axis];
    m_Offset[axis] = offset[axis];
    m_Low[axis] = std::numeric_limits<int32_t>::max();
    m_High[axis] = std::numeric_limits<int32_t>::min();
  }
  m_PointCount = 0;
  std::fill(std::begin(m_PointsByReturn), std::end(m_PointsByReturn), 0);
  m_Date = TodayUtc();
  m_WriteFailed = false;
  // A provisional header goes first, so the records follow at the right offset; Close
  // rewrites it with the counts and bounds.
  m_Buffer.assign(kBufferBytes, 0);
  EncodeHeader(m_Buffer.data());
  m_Buffered = kHeaderSize;
  return true;
}

bool CLasWriter::Write(const LasPoint& point) {
  if (!m_File) return Fail("no LAS file is open for writing");
  if (m_WriteFailed) return false;
  if (point.returnNumber > 15 || point.numberOfReturns > 15)
    return Fail("cannot write to " + m_Path +
                ": return numbers and numbers of returns go up to 15");
  int32_t stored[3];
  if (!Quantize(point, stored)) return false;
  if (m_Buffered + m_RecordLength > m_Buffer.size() && !Flush()) return false;
  Encode(point, stored, m_Buffer.data() + m_Buffered);
  m_Buffered += m_RecordLength;
  Account(point, stored);
  return true;
}

bool CLasWriter::Close() {
  if (!m_File) return !m_WriteFailed;
  bool ok = !m_WriteFailed && Flush() && PatchHeader();
  if (std::fclose(m_File) != 0 && ok)
    ok = Fail("cannot write " + m_Path + ": " + std::strerror(errno));
  m_File = nullptr;
  m_Buffer = std::vector<unsigned char>();
  m_Buffered = 0;
  m_WriteFailed = !ok;
  return ok;
}

bool CLasWriter::Fail(const std::string& message) {
  m_Error = message;
  return false;
}

bool CLasWriter::Quantize(const LasPoint& point, int32_t stored[3]) {
  static const char kAxisNames[3] = {'x', 'y', 'z'};
  const double coordinates[3] = {point.x, point.y, point.z};
  for (int axis = 0; axis < 3; ++axis) {
    const double units = (coordinates[axis] - m_Offset[axis]) / m_Scale[axis];
    // Anything llround would not bring into int32 (NaN included) is refused.
    if (!(units > -2147483648.5 && units < 2147483647.5))
      return Fail("cannot write to " + m_Path + ": " + kAxisNames[axis] + " = " +
                  Number(coordinates[axis]) + " does not fit a 32-bit LAS coordinate with scale " +
                  Number(m_Scale[axis]) + " and offset " + Number(m_Offset[axis]) +
                  "; choose a larger scale or an offset nearer the points");
    stored[axis] = int32_t(RoundHalfAway(units));
  }
  return true;
}

void CLasWriter::Encode(const LasPoint& point, const int32_t stored[3],
                        unsigned char* record) const {
  for (int axis = 0; axis < 3; ++axis) Put32(record + 4 * axis, uint32_t(stored[axis]));
  Put16(record + 12, point.intensity);
  record[14] = uint8_t((point.returnNumber & 0x0F) | (point.numberOfReturns << 4));
  record[15] = 0;  // classification flags, scanner channel, scan direction, edge of line
  record[16] = point.classification;
  record[17] = 0;  // user data
  Put16(record + 18, uint16_t(point.scanAngle));
  Put16(record + 20, point.pointSourceId);
  PutDouble(record + 22, point.gpsTime);
  if (m_PointFormat >= 7)
    for (int channel = 0; channel < 3; ++channel)
      Put16(record + 30 + 2 * channel, point.rgb[channel]);
  if (m_PointFormat == 8) Put16(record + 36, point.nir);
}

void CLasWriter::Account(const LasPoint& point, const int32_t stored[3]) {
  for (int axis = 0; axis < 3; ++axis) {
    m_Low[axis] = std::min(m_Low[axis], stored[axis]);
    m_High[axis] = std::max(m_High[axis], stored[axis]);
  }
  ++m_PointCount;
  if (point.returnNumber >= 1) ++m_PointsByReturn[point.returnNumber - 1];
}

bool CLasWriter::Flush() {
  if (m_Buffered > 0 && std::fwrite(m_Buffer.data(), 1, m_Buffered, m_File) != m_Buffered) {
    m_WriteFailed = true;
    return Fail("cannot write " + m_Path + ": " + std::strerror(errno));
  }
  m_Buffered = 0;
  return true;
}

void CLasWriter::EncodeHeader(unsigned char* header) const {
  std::memset(header, 0, kHeaderSize);
  std::memcpy(header, "LASF", 4);
  Put16(header + 6, kGlobalEncodingWkt);
  header[24] = 1;  // version 1.4
  header[25] = 4;
  PutText(header + 26, 32, kSystemIdentifier);
  PutText(header + 58, 32, kGeneratingSoftware);
  Put16(header + 90, m_Date.dayOfYear);
  Put16(header + 92, m_Date.year);
  Put16(header + 94, kHeaderSize);
  Put32(header + 96, kHeaderSize);  // no VLRs: the points follow the header
  header[104] = uint8_t(m_PointFormat);
  Put16(header + 105, uint16_t(m_RecordLength));
  // The legacy 32-bit counts at 107 and 111 stay 0, as formats 6 and up require.
  for (int axis = 0; axis < 3; ++axis) {
    PutDouble(header + 131 + 8 * axis, m_Scale[axis]);
    PutDouble(header + 155 + 8 * axis, m_Offset[axis]);
    // Max then min, per axis; all 0 while there are no points.
    if (m_PointCount == 0) continue;
    PutDouble(header + 179 + 16 * axis, m_High[axis] * m_Scale[axis] + m_Offset[axis]);
    PutDouble(header + 187 + 16 * axis, m_Low[axis] * m_Scale[axis] + m_Offset[axis]);
  }
  Put64(header + 247, m_PointCount);
  for (int i = 0; i < 15; ++i) Put64(header + 255 + 8 * i, m_PointsByReturn[i]);
}

bool CLasWriter::PatchHeader() {
  unsigned char header[kHeaderSize];
  EncodeHeader(header);
  if (std::fseek(m_File, 0, SEEK_SET) != 0 ||
      std::fwrite(header, 1, kHeaderSize, m_File) != kHeaderSize) {
    m_WriteFailed = true;
    return Fail("cannot complete the header of " + m_Path + ": " + std::strerror(errno));
  }
  return true;
}
