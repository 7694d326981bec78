// What stream creation needs of a point file: a count, points one at a time, the header's
// bounding box and a scanning pass that finds the true box. Two readers stand behind it:
// LAS 1.0 to 1.4 and delimited text driven by a parse string.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One point as the creator consumes it.
struct SPoint {
  double x = 0, y = 0, z = 0;
  // Colour components: LAS colours brought to 0..255 (16-bit values are scaled down); text
  // colours as the file gives them (the creator keeps the low byte).
  uint16_t rgb[3] = {0, 0, 0};
  float intensity = 0.0f;     // the text reader's intensity; LAS: the 16-bit value as float
  uint16_t lasIntensity = 0;  // LAS only
  uint8_t classification = 0;
  // Return number and number of returns, decoded from the 3-bit fields of LAS point formats
  // 0-5 or the 4-bit fields of formats 6-10; 0 when the input has none.
  uint8_t returnNumber = 0;
  uint8_t numberOfReturns = 0;
  uint8_t returnByte = 0;  // the raw byte at offset 14 of a LAS point record
};

enum SPReadResult { SP_END = 0, SP_VALID = 1, SP_SKIP = 2 };

class SPreader {
 public:
  virtual ~SPreader() = default;

  // Number of points the input announces (LAS: the header's count, the 64-bit one for 1.4).
  virtual int64_t GetPointCount() const = 0;
  // Reads the next point: SP_END at the end of input, SP_VALID for a point, SP_SKIP for a
  // record that holds no point (a text line that does not parse).
  virtual int Read(SPoint& point) = 0;
  // The bounding box the input declares (xmin, xmax, ymin, ymax, zmin, zmax); false when it
  // declares none (text).
  virtual bool GetHeaderBounds(double bounds[6]) const = 0;
  // Reads every point to find the true box and count, then starts again from the first
  // point. `pump` runs now and then; a non-zero `*cancel` stops the scan (false).
  virtual bool Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
                    const int* cancel) = 0;
  // Starts again from the first point.
  virtual bool Rewind() = 0;
  // What went wrong, for the user: names the file and the problem.
  virtual const std::string& GetError() const = 0;
  // Points the reader skipped (text lines that do not parse) and why, for the log.
  virtual int64_t GetSkippedCount() const = 0;
  // Damage the reader worked around (a truncated point block...), one line each.
  virtual const std::vector<std::string>& GetWarnings() const {
    static const std::vector<std::string> none;
    return none;
  }
};

// Opens `path` as "las" or "text" ("txt" is the same; `parseString` drives the text reader). Null
// on failure, with the reason in `error`: a missing file, LAZ, a truncated or corrupt header...
std::unique_ptr<SPreader> OpenPointReader(const std::string& path, const std::string& format,
                                          const std::string& parseString, std::string& error);
