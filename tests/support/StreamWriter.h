// Writes small streams file by file, following the stored byte layout, so that opening and
// reading are tested independently of stream creation.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

using Point3f = std::array<float, 3>;
using Rgb = std::array<uint8_t, 3>;
using Triangle = std::array<int32_t, 3>;

struct TestItem {
  int id = 0;
  int depth = 0;
  std::vector<Point3f> points;       // local frame
  std::vector<Rgb> colors;           // one per point when the stream has colours
  std::vector<float> intensities;
  std::vector<uint8_t> classes;
  std::vector<uint8_t> pulses;
  std::vector<Point3f> normals;
  std::vector<Triangle> triangles;
};

struct TestStream {
  int version = 103;
  int isTerrain = 0;
  double bounds[6] = {-8, 8, -8, 8, -8, 8};
  double offset[3] = {1000, 2000, 300};
  int depth = 0;
  std::vector<int> classesPoints = std::vector<int>(10, 0);
  double gsd = 0.5;
  double intensityRange[2] = {0, 255};
  int cvm = 0;
  double elevationRange[2] = {292, 308};  // absolute
  int borderCopies = 0;
  bool rgb = false, rif = false, cla = false, pls = false, norm = false, tri = false;
  std::vector<TestItem> items;  // any order; each is stored at its depth
};

// Writes every file of the stream named by `strm` (the main file's path).
void WriteTestStream(const std::filesystem::path& strm, const TestStream& stream);

// A stream whose every cell of `depth` holds `side`^3 points on a regular lattice (side^2
// for terrain), with spacing = cell size / side, and whose overview cells hold a lattice
// of the same number of points; colours, intensities and classes derived from positions.
TestStream MakeLatticeStream(int depth, int side, int isTerrain);

// A unique empty folder under the system's temporary folder, removed by the destructor.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::filesystem::path& Path() const { return m_Path; }
  std::filesystem::path operator/(const std::string& name) const { return m_Path / name; }

 private:
  std::filesystem::path m_Path;
};
