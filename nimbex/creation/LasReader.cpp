#include "nimbex/creation/LasReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Header fields used here, by byte offset.
constexpr size_t kVersionMajor = 24;
constexpr size_t kVersionMinor = 25;
constexpr size_t kHeaderSize = 94;
constexpr size_t kPointOffset = 96;
constexpr size_t kVlrCount = 100;
constexpr size_t kPointFormat = 104;
constexpr size_t kRecordLength = 105;
constexpr size_t kLegacyCount = 107;
constexpr size_t kScale = 131;
constexpr size_t kOffset = 155;
constexpr size_t kMaxMin = 179;   // max x, min x, max y, min y, max z, min z
constexpr size_t kCount64 = 247;  // LAS 1.4
constexpr size_t kMinHeaderSize = 227;
constexpr size_t kHeaderReadSize = kCount64 + 8;
constexpr int64_t kVlrHeaderSize = 54;

constexpr int kFormatCount = 11;
constexpr int kStandardRecordLength[kFormatCount] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
constexpr int kColourOffset[kFormatCount] = {0, 0, 20, 28, 0, 28, 0, 30, 30, 0, 30};

constexpr size_t kBlockBytes = 1 << 20;
constexpr int64_t kPumpInterval = 1 << 20;
constexpr const char* kAxisNames[3] = {"X", "Y", "Z"};

uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t LoadI32(const uint8_t* p) {
  return static_cast<int32_t>(LoadU32(p));
}

uint64_t LoadU64(const uint8_t* p) {
  return static_cast<uint64_t>(LoadU32(p)) | static_cast<uint64_t>(LoadU32(p + 4)) << 32;
}

double LoadF64(const uint8_t* p) {
  const uint64_t bits = LoadU64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string Text(uint64_t value) {
  return std::to_string(value);
}

// Why the first bytes cannot open a LAS file this reader handles, or empty.
std::string CheckIdentity(const uint8_t* head, size_t size) {
  if (size < 4 || std::memcmp(head, "LASF", 4) != 0)
    return "not a LAS file (it does not begin with \"LASF\"); choose a LAS file";
  if (size < kMinHeaderSize)
    return "only " + Text(size) + " bytes, too short for a LAS header (227 bytes); the file " +
           "is truncated";
  const int major = head[kVersionMajor], minor = head[kVersionMinor];
  if (major != 1 || minor > 4)
    return "LAS version " + Text(major) + "." + Text(minor) +
           " is not supported (1.0 to 1.4 are); convert the file to LAS 1.4";
  if (head[kPointFormat] & 0xC0)
    return "LAZ (compressed LAS) is not supported; decompress it to LAS first";
  return {};
}

std::string ParseFormat(const uint8_t* head, CLasReader::SLayout& layout) {
  const int format = head[kPointFormat];
  if (format >= kFormatCount)
    return "point format " + Text(format) + " is unknown (0 to 10 are); the file is damaged " +
           "or of a newer LAS version";
  layout.recordLength = LoadU16(head + kRecordLength);
  if (layout.recordLength < kStandardRecordLength[format])
    return "point records of " + Text(layout.recordLength) + " bytes are shorter than point " +
           "format " + Text(format) + " needs (" + Text(kStandardRecordLength[format]) +
           "); the file is damaged";
  layout.colourOffset = kColourOffset[format];
  layout.extended = format >= 6;
  return {};
}

// Checks that the header, the variable-length records and the point data start in order
// within the file.
std::string CheckExtents(size_t headerSize, int64_t pointOffset, uint32_t vlrCount,
                         int64_t fileSize) {
  if (headerSize < kMinHeaderSize)
    return "the header size (" + Text(headerSize) + " bytes) is below the 227-byte minimum; " +
           "the file is damaged";
  if (static_cast<int64_t>(headerSize) > fileSize)
    return "the header (" + Text(headerSize) + " bytes) is longer than the file; the file is " +
           "truncated";
  if (pointOffset < static_cast<int64_t>(headerSize))
    return "the point data would start at byte " + Text(pointOffset) + ", inside the " +
           Text(headerSize) + "-byte header; the file is damaged";
  if (pointOffset > fileSize)
    return "the point data would start at byte " + Text(pointOffset) + ", beyond the end of " +
           "the " + Text(fileSize) + "-byte file; the file is truncated";
  const int64_t room = (pointOffset - static_cast<int64_t>(headerSize)) / kVlrHeaderSize;
  if (vlrCount > room)
    return "the header claims " + Text(vlrCount) + " variable-length records but only room " +
           "for " + Text(room) + "; the file is damaged";
  return {};
}

// Scales and offsets must turn every storable integer into a finite coordinate.
std::string ParseScaling(const uint8_t* head, CLasReader::SLayout& layout) {
  for (int axis = 0; axis < 3; ++axis) {
    const double scale = LoadF64(head + kScale + 8 * axis);
    const double offset = LoadF64(head + kOffset + 8 * axis);
    const double lowest = std::numeric_limits<int32_t>::min() * scale + offset;
    const double highest = std::numeric_limits<int32_t>::max() * scale + offset;
    if (scale == 0 || !std::isfinite(lowest) || !std::isfinite(highest))
      return "the " + std::string(kAxisNames[axis]) + " scale factor or offset is zero or " +
             "out of range; the file is damaged";
    layout.scale[axis] = scale;
    layout.offset[axis] = offset;
    layout.headerBox[2 * axis] = LoadF64(head + kMaxMin + 16 * axis + 8);
    layout.headerBox[2 * axis + 1] = LoadF64(head + kMaxMin + 16 * axis);
  }
  return {};
}

// LAS 1.4 keeps a 64-bit count beside the legacy one; writers fill them inconsistently, so the
// 64-bit count wins whenever it is set.
uint64_t DeclaredCount(const uint8_t* head, size_t headerSize) {
  const uint64_t legacy = LoadU32(head + kLegacyCount);
  if (head[kVersionMinor] < 4 || headerSize < kHeaderReadSize) return legacy;
  const uint64_t count64 = LoadU64(head + kCount64);
  return count64 ? count64 : legacy;
}

std::string ParseHeader(const uint8_t* head, size_t size, int64_t fileSize,
                        CLasReader::SLayout& layout, size_t& headerSize, uint32_t& vlrCount) {
  if (std::string problem = CheckIdentity(head, size); !problem.empty()) return problem;
  if (std::string problem = ParseFormat(head, layout); !problem.empty()) return problem;
  headerSize = LoadU16(head + kHeaderSize);
  layout.pointOffset = LoadU32(head + kPointOffset);
  vlrCount = LoadU32(head + kVlrCount);
  if (std::string problem = CheckExtents(headerSize, layout.pointOffset, vlrCount, fileSize);
      !problem.empty())
    return problem;
  layout.declaredCount = DeclaredCount(head, headerSize);
  return ParseScaling(head, layout);
}

// A usable header box is finite, ordered and reachable by the integers the file can store
// (some writers store the box in raw integer units).
bool HeaderBoxIsUsable(const CLasReader::SLayout& layout) {
  for (int axis = 0; axis < 3; ++axis) {
    const double scale = layout.scale[axis], offset = layout.offset[axis];
    const double a = std::numeric_limits<int32_t>::min() * scale + offset;
    const double b = std::numeric_limits<int32_t>::max() * scale + offset;
    const double step = std::fabs(scale);
    const double low = layout.headerBox[2 * axis], high = layout.headerBox[2 * axis + 1];
    if (!(low <= high) || low < std::min(a, b) - step || high > std::max(a, b) + step) return false;
  }
  return true;
}

int64_t FileSize(std::FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return status.st_size;
}

// Integer extremes of the records seen so far, per axis.
struct SRawBox {
  int32_t low[3] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                    std::numeric_limits<int32_t>::max()};
  int32_t high[3] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
                     std::numeric_limits<int32_t>::min()};

  void Add(const uint8_t* record) {
    for (int axis = 0; axis < 3; ++axis) {
      const int32_t value = LoadI32(record + 4 * axis);
      low[axis] = std::min(low[axis], value);
      high[axis] = std::max(high[axis], value);
    }
  }

  // Scaling is monotonic, so the extremes of the integers give the extremes of the points.
  void ToBounds(const CLasReader::SLayout& layout, double bounds[6]) const {
    for (int axis = 0; axis < 3; ++axis) {
      const double a = low[axis] * layout.scale[axis] + layout.offset[axis];
      const double b = high[axis] * layout.scale[axis] + layout.offset[axis];
      bounds[2 * axis] = std::min(a, b);
      bounds[2 * axis + 1] = std::max(a, b);
    }
  }
};

uint16_t LargestColour(const uint8_t* record) {
  return std::max({LoadU16(record), LoadU16(record + 2), LoadU16(record + 4)});
}

// 16-bit colours come down by their high byte: this undoes both usual ways of widening 8-bit
// values (v * 256 and v * 257) exactly.
int ColourShiftFor(uint16_t largest) {
  return largest > 255 ? 8 : 0;
}

}  // namespace

std::unique_ptr<CLasReader> CLasReader::Open(const std::string& path, std::string& error) {
  std::unique_ptr<CLasReader> reader(new CLasReader(path));
  error = reader->Start();
  if (!error.empty()) reader.reset();
  return reader;
}

std::string GetLasParseString(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    std::string error;
    const std::unique_ptr<CLasReader> reader = CLasReader::Open(file, error);
    if (reader && reader->HasColours()) return "xyzirgbc";
  }
  return "xyzic";
}

CLasReader::~CLasReader() {
  if (m_File) std::fclose(m_File);
}

std::string CLasReader::Start() {
  m_File = std::fopen(m_Path.c_str(), "rb");
  if (!m_File)
    return m_Path + ": cannot open (" + std::strerror(errno) + "); check the path and the " +
           "permissions";
  const int64_t fileSize = FileSize(m_File);
  if (fileSize < 0) return m_Path + ": not a regular file; choose a LAS file";
  uint8_t head[kHeaderReadSize] = {};
  const size_t size = std::fread(head, 1, kHeaderReadSize, m_File);
  size_t headerSize = 0;
  uint32_t vlrCount = 0;
  std::string problem = ParseHeader(head, size, fileSize, m_Layout, headerSize, vlrCount);
  if (problem.empty()) problem = SetUpPointRange(fileSize);
  if (!problem.empty()) return m_Path + ": " + problem;
  CheckVariableLengthRecords(static_cast<int>(headerSize), vlrCount);
  m_BlockCapacity = std::max<size_t>(1, kBlockBytes / m_Layout.recordLength);
  m_BlockCapacity = std::min<size_t>(m_BlockCapacity, std::max<int64_t>(1, m_PointCount));
  m_Block.resize(m_BlockCapacity * m_Layout.recordLength);
  if (!m_Layout.colourOffset) m_ColourShift = 0;
  return Rewind() ? std::string() : m_Error;
}

// The header's count is trusted only as far as whole records fit in the file: a truncated
// file yields the records it holds, and the shortfall is reported.
std::string CLasReader::SetUpPointRange(int64_t fileSize) {
  const uint64_t declared =
      std::min<uint64_t>(m_Layout.declaredCount, std::numeric_limits<int64_t>::max());
  const int64_t present = (fileSize - m_Layout.pointOffset) / m_Layout.recordLength;
  if (declared > 0 && present == 0)
    return "the header claims " + Text(declared) + " points but the file holds none; the " +
           "file is truncated";
  m_PointCount = std::min<int64_t>(static_cast<int64_t>(declared), present);
  m_MissingCount = static_cast<int64_t>(declared) - m_PointCount;
  if (m_MissingCount > 0)
    m_Warnings.push_back(m_Path + ": the header claims " + Text(declared) +
                         " points but the file holds " + Text(m_PointCount) + "; the last " +
                         Text(m_MissingCount) + " are missing (the file is truncated)");
  return {};
}

// The records themselves are skipped by offset; walking their headers only tells the user
// that the header miscounts them.
void CLasReader::CheckVariableLengthRecords(int headerSize, uint32_t vlrCount) {
  int64_t position = headerSize;
  uint32_t fitting = 0;
  uint8_t vlrHeader[kVlrHeaderSize];
  for (; fitting < vlrCount; ++fitting) {
    if (position + kVlrHeaderSize > m_Layout.pointOffset || fseeko(m_File, position, SEEK_SET) ||
        std::fread(vlrHeader, 1, sizeof vlrHeader, m_File) != sizeof vlrHeader)
      break;
    position += kVlrHeaderSize + LoadU16(vlrHeader + 20);
    if (position > m_Layout.pointOffset) break;
  }
  if (fitting < vlrCount)
    m_Warnings.push_back(m_Path + ": the header claims " + Text(vlrCount) +
                         " variable-length records but only " + Text(fitting) +
                         " fit before the point data; they are ignored and the points read");
}

bool CLasReader::Rewind() {
  m_BlockSize = m_BlockNext = 0;
  m_RecordsLoaded = 0;
  m_ReadFailed = false;
  if (fseeko(m_File, m_Layout.pointOffset, SEEK_SET) == 0) return true;
  m_Error = m_Path + ": cannot go to the point data (" + std::strerror(errno) + ")";
  return false;
}

// Loads the next whole records; false at the end of the points or when reading fails.
bool CLasReader::FillBlock() {
  m_BlockSize = m_BlockNext = 0;
  const int64_t remaining = m_PointCount - m_RecordsLoaded;
  if (remaining <= 0 || m_ReadFailed) return false;
  const size_t wanted = std::min<size_t>(m_BlockCapacity, static_cast<size_t>(remaining));
  const size_t bytes = wanted * m_Layout.recordLength;
  const size_t got = std::fread(m_Block.data(), 1, bytes, m_File);
  m_BlockSize = got / m_Layout.recordLength;
  m_RecordsLoaded += static_cast<int64_t>(m_BlockSize);
  if (got < bytes) {
    m_ReadFailed = true;
    const char* reason = std::ferror(m_File) ? std::strerror(errno) : "the file became shorter";
    m_Error =
        m_Path + ": reading stopped after " + Text(m_RecordsLoaded) + " points (" + reason + ")";
  }
  return m_BlockSize > 0;
}

// Files keep either 8-bit values or true 16-bit values in the 16-bit colour fields: one value
// above 255 settles it, otherwise every colour is looked at.
bool CLasReader::DecideColourShift() {
  uint16_t largest = 0;
  while (largest <= 255 && FillBlock())
    for (size_t i = 0; i < m_BlockSize; ++i)
      largest = std::max(largest, LargestColour(BlockRecord(i) + m_Layout.colourOffset));
  if (m_ReadFailed) return false;
  m_ColourShift = ColourShiftFor(largest);
  return Rewind();
}

int CLasReader::Read(SPoint& point) {
  if (m_BlockNext == m_BlockSize) {
    if (m_ColourShift < 0 && !DecideColourShift()) return SP_END;
    if (!FillBlock()) return SP_END;
  }
  DecodeRecord(BlockRecord(m_BlockNext++), point);
  return SP_VALID;
}

void CLasReader::DecodeRecord(const uint8_t* record, SPoint& point) const {
  point.x = LoadI32(record) * m_Layout.scale[0] + m_Layout.offset[0];
  point.y = LoadI32(record + 4) * m_Layout.scale[1] + m_Layout.offset[1];
  point.z = LoadI32(record + 8) * m_Layout.scale[2] + m_Layout.offset[2];
  point.lasIntensity = LoadU16(record + 12);
  point.intensity = point.lasIntensity;
  const uint8_t returns = record[14];
  point.returnByte = returns;
  if (m_Layout.extended) {
    point.returnNumber = returns & 15;
    point.numberOfReturns = returns >> 4;
    point.classification = record[16];
  } else {
    point.returnNumber = returns & 7;
    point.numberOfReturns = (returns >> 3) & 7;
    point.classification = record[15] & 31;
  }
  for (int c = 0; c < 3; ++c)
    point.rgb[c] = m_Layout.colourOffset
                       ? LoadU16(record + m_Layout.colourOffset + 2 * c) >> m_ColourShift
                       : 0;
}

bool CLasReader::GetHeaderBounds(double bounds[6]) const {
  if (!HeaderBoxIsUsable(m_Layout)) return false;
  for (int axis = 0; axis < 3; ++axis) {
    const double step = std::fabs(m_Layout.scale[axis]);
    bounds[2 * axis] = m_Layout.headerBox[2 * axis] - step;
    bounds[2 * axis + 1] = m_Layout.headerBox[2 * axis + 1] + step;
  }
  return true;
}

bool CLasReader::Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
                      const int* cancel) {
  count = 0;
  std::fill(bounds, bounds + 6, 0.0);
  if (!Rewind()) return false;
  SRawBox box;
  uint16_t largestColour = 0;
  int64_t sincePump = 0;
  while (FillBlock()) {
    for (size_t i = 0; i < m_BlockSize; ++i) box.Add(BlockRecord(i));
    if (m_Layout.colourOffset)
      for (size_t i = 0; i < m_BlockSize; ++i)
        largestColour =
            std::max(largestColour, LargestColour(BlockRecord(i) + m_Layout.colourOffset));
    count += static_cast<int64_t>(m_BlockSize);
    if ((sincePump += static_cast<int64_t>(m_BlockSize)) >= kPumpInterval) {
      sincePump = 0;
      if (pump) pump();
    }
    if (cancel && *cancel) {
      Rewind();
      return false;
    }
  }
  if (m_ReadFailed) return false;
  if (m_ColourShift < 0) m_ColourShift = ColourShiftFor(largestColour);
  if (count > 0) box.ToBounds(m_Layout, bounds);
  return Rewind();
}
