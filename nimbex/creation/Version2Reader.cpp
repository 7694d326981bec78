// The version 2.0 scanner text format: "#version 2.0", header lines in any order (transform
// and projection matrices, the number of vertices...), then the vertices "x y z [r g b]" and
// after them one normal "x y z" per vertex.
#include <cctype>
#include <cmath>
#include <vector>

#include "nimbex/creation/AsciiModel.h"

using scantext::AllFinite;
using scantext::ApplyHomogeneous;
using scantext::ColourByte;
using scantext::IsBlank;
using scantext::Line;
using scantext::LineProblem;
using scantext::LineSource;
using scantext::Matrix4;
using scantext::NextContentLine;
using scantext::ScanFields;
using scantext::ScanInt;
using scantext::SkipSpace;

namespace {

constexpr int kMaxUnknownHeaderLines = 10;  // the tenth abandons the file

// Matches `phrase` at the start of the line (after blanks) without regard to case; a blank in
// the phrase matches any run of blanks, none included, as in a scanf format. Returns where
// the match ends, or null.
const char* MatchPhrase(const Line& line, const char* phrase) {
  if (line.tooLong) return nullptr;
  const char* p = SkipSpace(line.begin, line.end);
  for (; *phrase; ++phrase) {
    if (*phrase == ' ') {
      p = SkipSpace(p, line.end);
    } else {
      if (p == line.end || std::tolower(static_cast<unsigned char>(*p)) != *phrase) return nullptr;
      ++p;
    }
  }
  return p;
}

struct Version2Header {
  Matrix4 transform = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  int64_t vertexCount = -1;  // -1 when the file gives none: every line is then a vertex
};

bool ReadMatrixRows(LineSource& lines, Matrix4 matrix) {
  for (int row = 0; row < 4; ++row) {
    Line line;
    if (!NextContentLine(lines, line) || ScanFields(line, "ffff", matrix[row]) < 4 ||
        !AllFinite(matrix[row], 4))
      return false;
  }
  return true;
}

enum class HeaderLine { Used, Unknown, FirstVertex, Broken };

HeaderLine ReadHeaderLine(LineSource& lines, const Line& line, Version2Header& header,
                          std::string& problem) {
  Matrix4 projection;  // read to move past it; models carry no projection
  bool transform = MatchPhrase(line, "transform matrix") != nullptr;
  if (transform || MatchPhrase(line, "projection matrix")) {
    if (ReadMatrixRows(lines, transform ? header.transform : projection)) return HeaderLine::Used;
    problem = LineProblem(lines.LineNumber(), "expected four matrix values");
    return HeaderLine::Broken;
  }
  if (const char* value = MatchPhrase(line, "number of vertices :")) {
    double count = 0;
    if (!ScanInt(value, line.end, count)) return HeaderLine::Unknown;
    if (count < 0) {
      problem = LineProblem(lines.LineNumber(), "negative vertex count");
      return HeaderLine::Broken;
    }
    header.vertexCount = int64_t(count);
    return HeaderLine::Used;
  }
  if (MatchPhrase(line, "shell type :") || MatchPhrase(line, "image file :") ||
      MatchPhrase(line, "has vertex color :"))
    return HeaderLine::Used;
  double v[6];
  return ScanFields(line, "fffddd", v) >= 3 ? HeaderLine::FirstVertex : HeaderLine::Unknown;
}

// The normal transform: the inverse transpose of the upper-left 3x3, as the cofactor matrix
// carrying the determinant's sign (lengths do not matter, normals are renormalised). For a
// rotation it is the rotation itself; under uneven scaling it keeps normals perpendicular to
// the surface, where the plain 3x3 would tilt them.
void NormalMatrix(const Matrix4 m, double out[3][3]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      out[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
    }
  double det = m[0][0] * out[0][0] + m[0][1] * out[0][1] + m[0][2] * out[0][2];
  if (det < 0)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) out[r][c] = -out[r][c];
}

class Version2Reader {
 public:
  Version2Reader(LineSource& lines, AsciiModelInfo& info, asciimodel::ModelBuilder& builder)
      : m_Lines(lines), m_Info(info), m_Builder(builder) {}

  bool Read() {
    m_Info.format = AsciiModelFormat::Version2;
    Line line;
    if (!ReadHeader(line)) return asciimodel::Abandon(m_Info, m_Problem);
    m_Coloured = ScanFields(line, "fffddd", m_Values) == 6;
    NormalMatrix(m_Header.transform, m_NormalMatrix);
    if (!ReadBody(line)) return asciimodel::Abandon(m_Info, m_Problem);
    if (m_Lines.ReadFailed())
      return asciimodel::Abandon(m_Info, "the file could not be read to its end");
    DropIncompleteNormals();
    m_Info.points = m_Builder.GetCount();
    m_Info.coloured = m_Coloured && m_Info.points > 0;  // every vertex may have been left out
    return true;
  }

 private:
  // Reads up to the first vertex line, left in `line`; false with m_Problem set.
  bool ReadHeader(Line& line) {
    int unknown = 0;
    while (NextContentLine(m_Lines, line)) {
      switch (ReadHeaderLine(m_Lines, line, m_Header, m_Problem)) {
        case HeaderLine::FirstVertex:
          return true;
        case HeaderLine::Broken:
          return false;
        case HeaderLine::Unknown:
          if (++unknown >= kMaxUnknownHeaderLines)
            return Fail("too many unrecognised header lines");
          break;
        case HeaderLine::Used:
          break;
      }
    }
    m_Problem = "no vertices";
    return false;
  }

  bool Fail(const char* what) {
    m_Problem = LineProblem(m_Lines.LineNumber(), what);
    return false;
  }

  bool ReadBody(Line& line) {
    do {
      if (IsBlank(line)) continue;
      bool isVertex = m_Header.vertexCount < 0 || m_VertexLines < m_Header.vertexCount;
      if (!(isVertex ? AddVertex(line) : AddNormal(line)))
        return Fail(!isVertex    ? "expected a normal \"x y z\""
                    : m_Coloured ? "expected a vertex \"x y z r g b\""
                                 : "expected a vertex \"x y z\"");
    } while (m_Lines.Next(line));
    return true;
  }

  bool AddVertex(const Line& line) {
    if (ScanFields(line, "fffddd", m_Values) < (m_Coloured ? 6 : 3)) return false;
    ++m_VertexLines;
    double x = m_Values[0], y = m_Values[1], z = m_Values[2];
    bool placed = AllFinite(m_Values, 3) && ApplyHomogeneous(m_Header.transform, x, y, z);
    m_Placed.push_back(placed);
    if (!placed) {
      ++m_Info.skippedPoints;
      return true;
    }
    uint8_t colour[3] = {0, 0, 0};
    for (int c = 0; m_Coloured && c < 3; ++c) colour[c] = ColourByte(m_Values[3 + c]);
    m_Builder.AddPoint(x, y, z, colour);
    return true;
  }

  // Normals follow the vertices one for one; those of vertices left out are dropped with them.
  bool AddNormal(const Line& line) {
    if (ScanFields(line, "fff", m_Values) < 3) return false;
    size_t vertex = size_t(m_NormalLines++);
    if (vertex >= m_Placed.size() || !m_Placed[vertex]) return true;
    double n[3];
    for (int r = 0; r < 3; ++r)
      n[r] = m_NormalMatrix[r][0] * m_Values[0] + m_NormalMatrix[r][1] * m_Values[1] +
             m_NormalMatrix[r][2] * m_Values[2];
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    bool usable = length > 0 && std::isfinite(length);
    for (double& value : n) value = usable ? value / length : 0.0;
    m_Builder.AddNormal(n);
    return true;
  }

  // A normals array must hold one tuple per point or none.
  void DropIncompleteNormals() {
    vtkIdType normals = m_Builder.GetNormalCount();
    if (normals == 0 || normals == m_Builder.GetCount()) return;
    m_Info.problem = "normals dropped: " + std::to_string(m_NormalLines) + " normal lines for " +
                     std::to_string(m_VertexLines) + " vertices";
    m_Builder.DropNormals();
  }

  LineSource& m_Lines;
  AsciiModelInfo& m_Info;
  Version2Header m_Header;
  double m_NormalMatrix[3][3];
  asciimodel::ModelBuilder& m_Builder;
  bool m_Coloured = false;
  std::string m_Problem;
  double m_Values[6];
  int64_t m_VertexLines = 0, m_NormalLines = 0;
  std::vector<bool> m_Placed;  // per vertex line: kept as a point
};

}  // namespace

bool asciimodel::ReadVersion2Model(LineSource& lines, AsciiModelInfo& info, ModelBuilder& builder) {
  return Version2Reader(lines, info, builder).Read();
}
