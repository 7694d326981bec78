// The nimbex command: the headless face of the library.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/Commands.h"
#include "nimbex/format/Unset.h"

int main(int argc, char** argv) {
  CLI::App app{"nimbex: build, inspect and render strm point-cloud streams"};
  app.require_subcommand(1);

  std::string infoStream;
  bool infoJson = false;
  CLI::App* info =
      app.add_subcommand("info", "Print the header, levels and attributes of a stream");
  info->add_option("STREAM", infoStream, "the stream's .strm file")->required();
  info->add_flag("--json", infoJson, "print one JSON object");

  BuildOptions build;
  bool octree = false, terrain = false;
  CLI::App* buildCommand =
      app.add_subcommand("build", "Build a stream from LAS or text point files");
  buildCommand->add_option("INPUT", build.inputs, "input point files")->required();
  buildCommand->add_option("-o,--output", build.output, "the stream to write (.strm)")->required();
  buildCommand->add_option("--format", build.format,
                           "las, text, vtp, ptx or ascii (default: from the extension)");
  buildCommand->add_option("--parse", build.parse,
                           "columns of text input: x y z i r g b c, s skips one, - separates");
  auto* terrainFlag = buildCommand->add_flag("--terrain", terrain, "a quadtree over x and y");
  buildCommand->add_flag("--octree", octree, "an octree over x, y and z")->excludes(terrainFlag);
  buildCommand->add_option("--utm-zone", build.utmZone,
                           "input is WGS84 longitude/latitude: convert to this UTM zone (north)");
  buildCommand
      ->add_option("--gsd", build.gsd,
                   "point spacing: models copy points closer than this to a cell face into the "
                   "neighbouring cell")
      ->check(CLI::NonNegativeNumber);
  buildCommand->add_flag("--morph", build.morph,
                         "warp each further model onto the points of the models before it");
  buildCommand->add_flag("--overwrite", build.overwrite, "replace an existing stream");

  DemoSiteOptions demoSite;
  CLI::App* demo = app.add_subcommand(
      "demo-site", "Write a synthetic survey site as LAS 1.4, its plan and its orthophoto");
  demo->add_option("OUT", demoSite.output, "the LAS file to write");
  demo->add_option("--points", demoSite.points, "number of points (default 2,000,000)");
  demo->add_option("--seed", demoSite.seed, "random seed (default 1)");
  demo->add_option("--plan", demoSite.plan, "also write the site's plan (.dxf)");
  demo->add_option("--ortho", demoSite.ortho,
                   "also write the site's orthophoto (.tif) with its world file (.tfw)");
  demo->add_option("--ortho-pixel", demoSite.orthoPixel,
                   "the orthophoto's pixel size in metres (default 0.25)")
      ->check(CLI::Range(0.01, 100.0));

  std::string photosSite, photosFolder;
  int photosCount = 16;
  unsigned photosSeed = 1;
  CLI::App* photos = app.add_subcommand(
      "demo-photos", "Render photographs of a demo site with their .int and .est files");
  photos->add_option("SITE", photosSite, "the demo site's LAS file")->required();
  photos->add_option("OUTDIR", photosFolder, "the folder to write the photographs into")
      ->required();
  photos->add_option("--count", photosCount, "number of photographs (default 16)");
  photos->add_option("--seed", photosSeed, "random seed (default 1)");

  std::string dsmStream, dsmOutput, dsmPulses;
  CLI::App* dsm = app.add_subcommand(
      "dsm", "Make a surface model stream from the returns of chosen pulse kinds");
  dsm->add_option("STREAM", dsmStream, "the stream's .strm file")->required();
  dsm->add_option("-o,--output", dsmOutput, "the surface model to write (.strm)")->required();
  dsm->add_option("--pulses", dsmPulses,
                  "0 single returns, 1 single and first, 3 single and last, all every return")
      ->required()
      ->check(CLI::IsMember({"0", "1", "3", "all"}));

  ClassifyOptions classify;
  CLI::App* classifyCommand =
      app.add_subcommand("classify", "Set the class of the points of a stream inside a box");
  classifyCommand->add_option("STREAM", classify.stream, "the stream's .strm file")->required();
  classifyCommand->add_option("--class", classify.pointClass, "the class to set, 0 to 255")
      ->required();
  classifyCommand
      ->add_option("--box", classify.box,
                   "XMIN XMAX YMIN YMAX ZMIN ZMAX in absolute coordinates (default: every point)")
      ->expected(6);

  std::string cleanStream, cleanOutput;
  double cleanRadius = NBX_UNSET;
  CLI::App* clean =
      app.add_subcommand("clean", "Thin a stream: merge the points closer than a radius");
  clean->add_option("STREAM", cleanStream, "the stream's .strm file")->required();
  clean->add_option("-o,--output", cleanOutput, "the thinned stream to write (.strm)")->required();
  clean->add_option("--radius", cleanRadius,
                    "points closer than this merge (default: the stream's linear density)");

  std::string meshStream, meshOutput;
  double meshRadius = NBX_UNSET;
  CLI::App* mesh =
      app.add_subcommand("mesh", "Make a triangle-mesh stream from the points of a stream");
  mesh->add_option("STREAM", meshStream, "the stream's .strm file")->required();
  mesh->add_option("-o,--output", meshOutput, "the mesh stream to write (.strm)")->required();
  mesh->add_option("--radius", meshRadius,
                   "0 or more; the mesh does not depend on it (default: the linear density)");

  RenderOptions render;
  std::string renderSize;
  CLI::App* renderCommand =
      app.add_subcommand("render", "Draw streams off screen and write the picture as PNG");
  renderCommand->add_option("STREAM", render.streams, "the streams' .strm files")->required();
  renderCommand->add_option("-o,--output", render.output, "the picture to write (.png)")
      ->required();
  renderCommand->add_option("--size", renderSize, "picture size as WxH (default 1280x960)");
  renderCommand->add_option("--view", render.view, "the preset view (default top)")
      ->check(CLI::IsMember(RenderViewNames()));
  renderCommand->add_option("--mode", render.mode, "colour mode (default: as stored)")
      ->check(CLI::IsMember(RenderModeNames()));
  renderCommand->add_option("--detail", render.detail, "points per window pixel (default 1.5)")
      ->check(CLI::PositiveNumber);
  renderCommand->add_flag("--full-res", render.fullRes, "draw every point of the finest level");
  renderCommand->add_option("--hide-class", render.hiddenClasses, "hide a point class (0-9)")
      ->check(CLI::Range(0, 9));

  CLI11_PARSE(app, argc, argv);
  if (renderCommand->parsed()) {
    if (!renderSize.empty() &&
        std::sscanf(renderSize.c_str(), "%dx%d", &render.width, &render.height) != 2) {
      std::fprintf(stderr, "nimbex render: --size takes WxH, for example 1920x1080\n");
      return 1;
    }
    return RunRender(render);
  }
  if (info->parsed()) return RunInfo(infoStream, infoJson);
  if (buildCommand->parsed()) {
    build.terrain = terrain ? 1 : (octree ? 0 : -1);
    return RunBuild(build);
  }
  if (demo->parsed()) return RunDemoSite(demoSite);
  if (photos->parsed()) return RunDemoPhotos(photosSite, photosFolder, photosCount, photosSeed);
  if (dsm->parsed()) return RunDsm(dsmStream, dsmOutput, dsmPulses);
  if (classifyCommand->parsed()) return RunClassify(classify);
  if (clean->parsed()) return RunClean(cleanStream, cleanOutput, cleanRadius);
  if (mesh->parsed()) return RunMesh(meshStream, meshOutput, meshRadius);
  return 1;
}
