// Delimited text point files: one point per line, its columns named in order by a parse
// string such as "xyz", "xyzirgb" or "x-y-z-s-c".
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "nimbex/creation/PointReader.h"

class CTextReader : public SPreader {
 public:
  // The text is read in blocks of this size; a line that does not fit in one (with its '\n')
  // is skipped whole.
  static constexpr size_t kBlockSize = size_t(1) << 20;
  // Scan runs its `pump` once per this many lines.
  static constexpr int64_t kLinesPerPump = 1 << 20;

  // Letters of the parse string, upper or lower case: x y z coordinates, i intensity,
  // r g b colour, c class, s a column to ignore; '-' only separates letters. x, y and z are
  // required and no letter may appear twice. Counts the data lines of `path` before
  // returning. Null on failure, with the reason in `error`.
  static std::unique_ptr<CTextReader> Open(const std::string& path, const std::string& parseString,
                                           std::string& error);

  // The parse string that the first line of `path` gives when it names the columns: x, y, z,
  // intensity, red, green, blue and classification (or the parse letters themselves), in any
  // case and quoted or not; other names are columns to skip. Empty when the line holds a
  // number, does not name x, y and z, or names a column twice.
  static std::string ParseStringFromHeader(const std::string& path);

  // The number of data lines (lines holding anything but separators), counted at open: every
  // one of them gives SP_VALID or SP_SKIP in a full pass.
  int64_t GetPointCount() const override { return m_DataLines; }
  int Read(SPoint& point) override;
  bool GetHeaderBounds(double bounds[6]) const override;
  // Bounds are all zero when no line holds a point. False when cancelled (no error is set)
  // or when the file could not be read (see GetError).
  bool Scan(double bounds[6], int64_t& count, const std::function<void()>& pump,
            const int* cancel) override;
  bool Rewind() override;
  // Also set when a read fails in the middle of the file: Read then returns SP_END early.
  const std::string& GetError() const override { return m_Error; }
  // Lines that hold no point, each counted once however many passes are made.
  int64_t GetSkippedCount() const override;

 private:
  enum ColumnRole : uint8_t { kX, kY, kZ, kIntensity, kRed, kGreen, kBlue, kClass, kSkip };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  CTextReader(std::FILE* file, std::string path, std::vector<ColumnRole> columns);
  static bool ParseColumns(const std::string& parseString, std::vector<ColumnRole>& columns,
                           std::string& problem);

  // One line of the file without its '\n', or a line too long to hold (`tooLong`, no text).
  struct Line {
    const char* begin = nullptr;
    const char* end = nullptr;
    bool tooLong = false;
  };
  bool NextLine(Line& line);
  bool FillBuffer();
  bool DiscardRestOfLine();
  bool CountDataLines();
  bool ParseLine(const char* begin, const char* end, SPoint& point) const;
  static bool StoreColumn(ColumnRole role, double value, SPoint& point);
  void FailRead();

  std::unique_ptr<std::FILE, FileCloser> m_File;
  std::string m_Path;
  std::vector<ColumnRole> m_Columns;
  std::vector<char> m_Buffer;
  size_t m_Begin = 0, m_End = 0;  // unread bytes of m_Buffer
  bool m_AtEof = false;
  bool m_ReadFailed = false;
  int64_t m_DataLines = 0;
  int64_t m_SkippedThisPass = 0;
  int64_t m_SkippedMostInAPass = 0;
  std::string m_Error;
};
