// Writes the scanner exports the scan benchmark ingests: a PTX file of two scans and an
// ASCII PTS file ("x y z intensity r g b"), each of about `points` points of a rolling
// terrain seen from two stations. Deterministic.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Height(double x, double y) {
  return 2.0 * std::sin(x * 0.05) + 1.5 * std::cos(y * 0.07);
}

// One scan: rows x columns points in the scanner's frame, placed in the world by `matrix`
// (a rotation about z by `angle` and a translation), the matrix written as the file stores it.
void WriteScan(std::FILE* out, int columns, int rows, double angle, const double origin[3]) {
  const double c = std::cos(angle), s = std::sin(angle);
  std::fprintf(out, "%d\n%d\n%.3f %.3f %.3f\n", columns, rows, origin[0], origin[1], origin[2]);
  std::fprintf(out, "%.9f %.9f 0\n%.9f %.9f 0\n0 0 1\n", c, s, -s, c);
  std::fprintf(out, "%.9f %.9f 0 0\n%.9f %.9f 0 0\n0 0 1 0\n%.3f %.3f %.3f 1\n", c, s, -s, c,
               origin[0], origin[1], origin[2]);
  for (int column = 0; column < columns; ++column)
    for (int row = 0; row < rows; ++row) {
      const double x = column * 0.05 - columns * 0.025, y = row * 0.05 - rows * 0.025;
      const int grey = (column * 7 + row * 3) % 256;
      std::fprintf(out, "%.4f %.4f %.4f %.4f %d %d %d\n", x, y, Height(x, y), (grey + 1) / 257.0,
                   grey, 255 - grey, (grey * 3) % 256);
    }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make-scan-files POINTS OUT.ptx OUT.pts\n");
    return 2;
  }
  const long long points = std::atoll(argv[1]);
  const int columns = 2000;
  const int rows = static_cast<int>(points / 2 / columns);
  std::FILE* ptx = std::fopen(argv[2], "w");
  std::FILE* pts = std::fopen(argv[3], "w");
  if (!ptx || !pts) {
    std::fprintf(stderr, "make-scan-files: cannot create the output files\n");
    return 1;
  }
  const double first[3] = {512000.0, 5403000.0, 210.0}, second[3] = {512060.0, 5403040.0, 211.5};
  WriteScan(ptx, columns, rows, 0.0, first);
  WriteScan(ptx, columns, rows, 0.6, second);

  std::fprintf(pts, "%lld\n", static_cast<long long>(columns) * rows * 2);
  for (long long i = 0; i < static_cast<long long>(columns) * rows * 2; ++i) {
    const double x = 512000.0 + (i % 2500) * 0.04, y = 5403000.0 + (i / 2500) * 0.04;
    const int grey = static_cast<int>(i % 256);
    std::fprintf(pts, "%.3f %.3f %.3f %d %d %d %d\n", x, y, 210.0 + Height(x, y), grey * 16 - 2048,
                 grey, 255 - grey, (grey * 3) % 256);
  }
  return std::fclose(ptx) == 0 && std::fclose(pts) == 0 ? 0 : 1;
}
