// `nimbex clean` and `nimbex mesh`: new streams made from an existing one, item by item.
#include <climits>
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "cli/PhaseProgress.h"
#include "nimbex/access/Nimbex.h"

namespace {

int Refuse(const char* command, const std::string& message) {
  std::fprintf(stderr, "nimbex %s: %s\n", command, message.c_str());
  return 1;
}

long long CountTriangles(CNimbex& cloud) {
  long long triangles = 0;
  for (const Item& item : cloud.GetLevelItems(-1)) triangles += item.triCount;
  return triangles;
}

enum class Filter { Clean, Mesh };

int RunFilter(Filter filter, const std::string& streamPath, const std::string& outputPath,
              double radius) {
  const char* command = filter == Filter::Clean ? "clean" : "mesh";
  CNimbex cloud(streamPath.c_str());
  cloud.PutHeaderWriteBack(0);  // the stream read from stays as it is
  if (!cloud.OpenStrmCloud()) return Refuse(command, cloud.GetLastError());
  char output[PATH_MAX];
  std::snprintf(output, sizeof output, "%s", outputPath.c_str());
  PhaseProgress progress;
  const int made = filter == Filter::Clean
                       ? cloud.CleanFilter(radius, output, nullptr, &progress, &progress)
                       : cloud.MeshFilter(radius, output, nullptr, &progress, &progress);
  progress.Finish();
  if (!made) return Refuse(command, cloud.GetLastError());

  CNimbex result(output);
  if (!result.OpenStrmCloud())
    return Refuse(command,
                  "the new stream was written but cannot be opened: " + result.GetLastError());
  if (filter == Filter::Clean)
    std::printf("%s: %d points kept of %d\n", output, result.GetPointsCount(),
                cloud.GetPointsCount());
  else
    std::printf("%s: %d points, %lld triangles\n", output, result.GetPointsCount(),
                CountTriangles(result));
  return 0;
}

}  // namespace

int RunClean(const std::string& streamPath, const std::string& outputPath, double radius) {
  return RunFilter(Filter::Clean, streamPath, outputPath, radius);
}

int RunMesh(const std::string& streamPath, const std::string& outputPath, double radius) {
  return RunFilter(Filter::Mesh, streamPath, outputPath, radius);
}
