// PTS files: a count line, then "x y z [intensity [r g b]]" lines; a further count line starts
// a further block of the same model.
#include "nimbex/creation/AsciiModel.h"

using scantext::AllFinite;
using scantext::ColourByte;
using scantext::IsBlank;
using scantext::IsLoneInteger;
using scantext::Line;
using scantext::LineProblem;
using scantext::LineSource;
using scantext::ScanFields;

namespace {

// PTS intensities run from -2048 to 2047 (some writers use -4095 to 4096); grey spreads that
// range over 0..255.
uint8_t GreyOfIntensity(int intensity) {
  return ColourByte((intensity + 4095.0) / 8191.0 * 255.0);
}

}  // namespace

namespace asciimodel {

bool ReadPtsBlocks(LineSource& lines, AsciiModelInfo& info, ModelBuilder& builder) {
  info.format = AsciiModelFormat::PtsBlocks;
  bool coloured = false, hasIntensity = false;
  for (Line line; lines.Next(line);) {
    if (IsBlank(line)) continue;
    double v[7];
    int count = ScanFields(line, "fffdddd", v);
    int64_t blockCount = 0;
    if (count != 3 && count != 4 && count != 7) {
      if (IsLoneInteger(line, blockCount)) continue;  // the next block's count
      return Abandon(info, LineProblem(lines.LineNumber(),
                                       line.tooLong ? "line too long"
                                                    : "expected \"x y z [intensity [r g b]]\""));
    }
    if ((v[0] == 0 && v[1] == 0 && v[2] == 0) || !AllFinite(v, 3)) {
      ++info.skippedPoints;
      continue;
    }
    // Files of coordinates alone are common; beside lines with an intensity they take 0.
    int intensity = count > 3 ? int(v[3]) : 0;
    hasIntensity = hasIntensity || count > 3;
    uint8_t grey = GreyOfIntensity(intensity);
    uint8_t colour[3] = {grey, grey, grey};
    if (count == 7) {
      coloured = true;
      for (int c = 0; c < 3; ++c) colour[c] = ColourByte(v[4 + c]);
    }
    builder.AddPoint(v[0], v[1], v[2], colour);
    builder.AddIntensity(intensity);
  }
  if (lines.ReadFailed()) return Abandon(info, "the file could not be read to its end");
  if (!hasIntensity) builder.DropIntensities();
  info.points = builder.GetCount();
  info.coloured = coloured;
  return true;
}

}  // namespace asciimodel
