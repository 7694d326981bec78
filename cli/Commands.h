// The subcommands of the nimbex command. Each returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "nimbex/demo/DemoPlan.h"

int RunInfo(const std::string& streamPath, bool json);

struct DemoSiteOptions {
  std::string output;  // the LAS file; may be empty when a plan or orthophoto is asked for
  std::string plan;    // DXF
  std::string ortho;   // GeoTIFF
  double orthoPixel = kDemoOrthoPixelSize;
  long long points = 2000000;
  unsigned seed = 1;
};

// Writes a synthetic survey site as LAS 1.4, deterministic for its seed and point count, and
// the plan and orthophoto of the same site.
int RunDemoSite(const DemoSiteOptions& options);
// Renders `count` photographs of a demo site into a folder, with their orientation files.
int RunDemoPhotos(const std::string& sitePath, const std::string& outputFolder, int count,
                  unsigned seed);

struct BuildOptions {
  std::vector<std::string> inputs;
  std::string output;
  std::string format;  // las, text, vtp, ptx or ascii; empty: from the first input's extension
  std::string parse;   // the columns of text input
  int terrain = -1;    // 1 quadtree, 0 octree, -1 the format's default
  int utmZone = -1;    // converts WGS84 longitude/latitude to this UTM zone
  double gsd = 0.0;
  bool morph = false;
  bool overwrite = false;
};

// Builds a stream from point files.
int RunBuild(const BuildOptions& options);

// Makes a surface model stream from the returns of the chosen pulse kinds: "0" single
// returns, "1" single and first, "3" single and last, "all" every return.
int RunDsm(const std::string& streamPath, const std::string& outputPath, const std::string& pulses);

struct ClassifyOptions {
  std::string stream;
  int pointClass = -1;
  std::vector<double> box;  // xmin xmax ymin ymax zmin zmax, absolute; empty: every point
};

// Sets the class of the points inside the box, then the overview classes and the header's
// points per class.
int RunClassify(const ClassifyOptions& options);

// Thins a stream into a new one: inside each item, points closer than `radius` merge into
// one. The unset radius (NBX_UNSET) takes the stream's linear density.
int RunClean(const std::string& streamPath, const std::string& outputPath, double radius);
// Makes a triangle-mesh stream: one surface per item, cut to the item's box. The unset
// radius takes the linear density; the radius does not change the mesh.
int RunMesh(const std::string& streamPath, const std::string& outputPath, double radius);

struct RenderOptions {
  std::vector<std::string> streams;
  std::string output;
  int width = 1280;
  int height = 960;
  std::string view = "top";
  std::string mode;     // empty: the mode stored with each stream
  double detail = 0.0;  // points per window pixel; 0 keeps the stream's own factor
  bool fullRes = false;
  std::vector<int> hiddenClasses;
};

// The names --view and --mode accept.
const std::vector<std::string>& RenderViewNames();
const std::vector<std::string>& RenderModeNames();
// Draws the streams in one off-screen window and writes the picture as PNG.
int RunRender(const RenderOptions& options);
