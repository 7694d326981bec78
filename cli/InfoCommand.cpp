// `nimbex info`: what a stream holds, as text for people or as one JSON object.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/format/StrmHeader.h"

namespace {

struct Level {
  int depth;
  int items;
  long long points;
};

// Levels finest first, the full-resolution level included.
std::vector<Level> CollectLevels(CNimbex& cloud) {
  std::vector<Level> levels;
  for (int depth = cloud.GetDepth(); depth >= 0; --depth) {
    Level level{depth, 0, 0};
    for (const Item& item : cloud.GetLevelItems(depth)) {
      ++level.items;
      level.points += item.ptsCount;
    }
    levels.push_back(level);
  }
  return levels;
}

std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string NumberList(const double* values, int n) {
  std::string list = "[";
  for (int i = 0; i < n; ++i) list += (i ? ", " : "") + Number(values[i]);
  return list + "]";
}

std::string Bool(int flag) {
  return flag ? "true" : "false";
}

void PrintJson(CNimbex& cloud) {
  double bounds[6], offset[3];
  cloud.GetBounds(bounds);
  cloud.GetOffset(offset);
  const double* elevation = cloud.GetElevationRange();
  const double absoluteElevation[2] = {elevation[0] + offset[2], elevation[1] + offset[2]};

  std::ostringstream out;
  out << "{\"version\": " << cloud.GetVersion() << ", \"terrain\": " << Bool(cloud.IsTerrain())
      << ", \"points\": " << cloud.GetPointsCount() << ", \"bounds\": " << NumberList(bounds, 6)
      << ", \"offset\": " << NumberList(offset, 3) << ", \"depth\": " << cloud.GetDepth()
      << ", \"class_points\": [";
  const std::vector<int>& classes = cloud.GetClassesPoints();
  for (size_t i = 0; i < classes.size(); ++i) out << (i ? ", " : "") << classes[i];
  out << "], \"gsd\": " << Number(cloud.GetLinearDensity())
      << ", \"items\": " << cloud.GetItemCount(-1)
      << ", \"intensity_range\": " << NumberList(cloud.GetIntensityRange(), 2)
      << ", \"cvm\": " << cloud.GetCVM()
      << ", \"elevation_range\": " << NumberList(absoluteElevation, 2)
      << ", \"border_copies\": " << cloud.GetBorderCopiesCount() << ", \"levels\": [";
  bool first = true;
  for (const Level& level : CollectLevels(cloud)) {
    out << (first ? "" : ", ") << "{\"depth\": " << level.depth << ", \"items\": " << level.items
        << ", \"points\": " << level.points << "}";
    first = false;
  }
  out << "], \"attributes\": {\"rgb\": " << Bool(cloud.HasColors())
      << ", \"intensity\": " << Bool(cloud.HasIntensity())
      << ", \"classes\": " << Bool(cloud.HasClasses())
      << ", \"pulses\": " << Bool(cloud.HasPulses())
      << ", \"normals\": " << Bool(cloud.HasNormals())
      << ", \"triangles\": " << Bool(cloud.HasTri())
      << ", \"overviews\": " << Bool(cloud.HasPyramidalLevels()) << "}}";
  std::printf("%s\n", out.str().c_str());
}

const char* YesNo(int flag) {
  return flag ? "yes" : "no";
}

void PrintText(CNimbex& cloud) {
  double bounds[6], offset[3];
  cloud.GetBounds(bounds);
  cloud.GetOffset(offset);
  const double* intensity = cloud.GetIntensityRange();
  const double* elevation = cloud.GetElevationRange();

  std::printf("Stream            %s\n", cloud.GetStrmFileName());
  std::printf("Version           %g\n", cloud.GetVersion());
  std::printf("Hierarchy         %s\n", cloud.IsTerrain() ? "quadtree (terrain)" : "octree");
  std::printf("Points            %d\n", cloud.GetPointsCount());
  std::printf("Bounds (local)    x %.6f .. %.6f  y %.6f .. %.6f  z %.6f .. %.6f\n", bounds[0],
              bounds[1], bounds[2], bounds[3], bounds[4], bounds[5]);
  std::printf("Offset            %.6f %.6f %.6f\n", offset[0], offset[1], offset[2]);
  std::printf("Grid depth        %d\n", cloud.GetDepth());
  std::printf("Linear density    %.6g\n", cloud.GetLinearDensity());
  std::printf("Intensity range   %g .. %g\n", intensity[0], intensity[1]);
  std::printf("Elevation range   %.6f .. %.6f (absolute)\n", elevation[0] + offset[2],
              elevation[1] + offset[2]);
  std::printf("Colour mode       %d %s\n", cloud.GetCVM(), GetCVMName(cloud.GetCVM()));
  std::printf("Border copies     %d\n", cloud.GetBorderCopiesCount());
  std::printf(
      "Attributes        rgb %s, intensity %s, classes %s, pulses %s, normals %s, "
      "triangles %s, overviews %s\n",
      YesNo(cloud.HasColors()), YesNo(cloud.HasIntensity()), YesNo(cloud.HasClasses()),
      YesNo(cloud.HasPulses()), YesNo(cloud.HasNormals()), YesNo(cloud.HasTri()),
      YesNo(cloud.HasPyramidalLevels()));
  std::printf("Levels\n");
  for (const Level& level : CollectLevels(cloud))
    std::printf("  depth %2d  %8d items  %12lld points%s\n", level.depth, level.items, level.points,
                level.depth == cloud.GetDepth() ? "  (full resolution)" : "");
  std::printf("Class points\n");
  const std::vector<int>& classes = cloud.GetClassesPoints();
  for (size_t number = 0; number < classes.size(); ++number) {
    char name[256] = "";
    GetPointClassName(static_cast<int>(number), name);
    std::printf("  %2zu %-45s %d\n", number, name, classes[number]);
  }
}

}  // namespace

int RunInfo(const std::string& streamPath, bool json) {
  CNimbex cloud(streamPath.c_str());
  cloud.PutHeaderWriteBack(0);
  if (!cloud.OpenStrmCloud()) {
    std::fprintf(stderr, "nimbex: %s\n", cloud.GetLastError().c_str());
    return 1;
  }
  if (json)
    PrintJson(cloud);
  else
    PrintText(cloud);
  return 0;
}
