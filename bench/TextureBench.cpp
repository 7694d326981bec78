// Figures for the textured view: one textured paint of the demo project (the site and the
// photographs `make run` shows) in a 1280 x 720 window looking from a Point of View, next to
// the ordinary paint of the same view measured in the same run, each the median of warm runs;
// beside them, the same picture with every pixel located in the triangulation, the slow way.
//   target: the textured paint at most 3 times the ordinary one, and under one second
// Usage: bench_texture BUILD_FOLDER (needs an X display: bench/run starts one when missing).

#include <cstdio>
#include <string>
#include <vector>

#include "app/images/ViewTexture.h"
#include "app/projects/ProjectImages.h"
#include "bench/BenchSupport.h"
#include "bench/BenchWindow.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"

namespace {

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;
constexpr int kRuns = 3;

// The demo project as scripts/demo makes it, made here when missing.
fs::path EnsureDemoProject(const fs::path& build) {
  const fs::path demo = build / "demo";
  const std::string nimbex = Quoted(build / "cli" / "nimbex");
  const fs::path las = demo / "site.las", strm = demo / "site.strm", photos = demo / "photos";
  fs::create_directories(demo);
  const std::string quiet = " > /dev/null 2>&1";
  const bool made =
      RunWhenMissing(las,
                     nimbex + " demo-site " + Quoted(las) + " --points 2000000 --seed 1" + quiet) &&
      RunWhenMissing(strm, nimbex + " build " + Quoted(las) + " -o " + Quoted(strm) + quiet) &&
      RunWhenMissing(photos, nimbex + " demo-photos " + Quoted(las) + " " + Quoted(photos) +
                                 " --count 16 --seed 1" + quiet) &&
      RunWhenMissing(demo / "site_data", "ORVALIS_HOME=" + Quoted(demo / "home") + " " +
                                             Quoted(build / "app" / "orvalis") +
                                             " --import-images " + Quoted(strm) + " " +
                                             Quoted(photos) + "/*.JPG" + quiet);
  return made ? strm : fs::path();
}

// The first photograph that comes with a textured model: a nadir view of the site.
int ChoosePointOfView(const std::vector<STexturePhoto>& photos) {
  for (size_t k = 0; k < photos.size(); ++k)
    if (photos[k].oriented && !photos[k].image.empty() &&
        fs::exists(fs::path(photos[k].path).replace_extension(".vtp")))
      return static_cast<int>(k);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s BUILD_FOLDER\n", argv[0]);
    return 1;
  }
  const fs::path strm = EnsureDemoProject(argv[1]);
  if (strm.empty()) return 1;
  InitStrmDll(BuiltInProfileReader);
  InitPulses(BuiltInProfileReader);

  CProjectImages images;
  images.InitImages(strm.string(), true);
  images.LoadOrientations(strm.string(), true);
  std::vector<std::string> problems;
  std::vector<STexturePhoto> photos;
  const double loadMs = Milliseconds([&] { photos = LoadTexturePhotos(images, problems); });
  for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
  const int pov = ChoosePointOfView(photos);
  if (pov < 0) {
    std::fprintf(stderr, "the demo project %s has no nadir photograph\n", strm.c_str());
    return 1;
  }

  CBenchWindow bench(strm, kWindowWidth, kWindowHeight);
  RenderWindow* window = bench.Get();
  CNimbex* cloud = bench.Cloud();
  if (!cloud) return 1;
  cloud->SetCVM(CVM_RGB);
  LookThroughPhotograph(window, photos[pov].orientation);

  CViewTexture texture(window, photos);
  std::vector<double> ordinary, textured;
  double firstTexturedMs = 0;
  for (int run = 0; run <= kRuns; ++run) {
    const double ordinaryMs =
        Milliseconds([&] { DrawSpClouds(bench.Id(), nullptr, nullptr, cloud, nullptr); });
    const int ordinaryPoints = cloud->GetRenderedPointCount();
    const double texturedMs = Milliseconds([&] { texture.DrawTextured(cloud); });
    if (run == 0) {  // the first runs warm the file cache and read the main photograph
      firstTexturedMs = texturedMs;
      std::printf(
          "texture %d x %d pixels from %s: ordinary paint draws %d points, textured %d "
          "points with %d triangulated\n",
          kWindowWidth, kWindowHeight, fs::path(photos[pov].path).filename().c_str(),
          ordinaryPoints, texture.GetPointCount(), texture.GetVertexCount());
      continue;
    }
    ordinary.push_back(ordinaryMs);
    textured.push_back(texturedMs);
  }
  texture.SetPixelMethod(ETexturePixels::PointLocation);
  const double referenceMs = Milliseconds([&] { texture.DrawTextured(cloud); });

  const double ratio = Median(textured) / Median(ordinary);
  std::printf(
      "        photographs read in %.0f ms; first textured paint %.1f ms (reads the main "
      "photograph, %s)\n",
      loadMs, firstTexturedMs, fs::path(texture.GetMainPath()).filename().c_str());
  std::printf("        every pixel located in the triangulation instead: %.1f ms (information)\n",
              referenceMs);
  std::printf(
      "        textured paint median %7.1f ms, ordinary paint %7.1f ms: %.2f x   "
      "(target <= 3 x and < 1000 ms)\n",
      Median(textured), Median(ordinary), ratio);
  return 0;
}
