// `nimbex demo-photos`: renders photographs of the demo site with their orientations.
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "cli/PhaseProgress.h"
#include "nimbex/demo/DemoPhotos.h"

int RunDemoPhotos(const std::string& sitePath, const std::string& outputFolder, int count,
                  unsigned seed) {
  DemoPhotoSettings settings;
  settings.count = count;
  settings.seed = seed;
  const std::string problem = DemoPhotosRequestProblem(sitePath, outputFolder, settings);
  if (!problem.empty()) {
    std::fprintf(stderr, "nimbex demo-photos: %s\n", problem.c_str());
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<DemoShot> shots;
  std::string error;
  bool written;
  {
    PhaseProgress progress;
    written = WriteDemoPhotos(sitePath, outputFolder, settings, &progress, &progress, shots, error);
  }
  if (!written) {
    std::fprintf(stderr, "nimbex demo-photos: %s\n", error.c_str());
    return 1;
  }
  int byKind[3] = {0, 0, 0}, unoriented = 0;
  for (const DemoShot& shot : shots) {
    ++byKind[int(shot.kind)];
    unoriented += !shot.withExterior;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "wrote %zu photographs to %s in %.1f s: %d nadir and %d oblique from the drone, %d "
      "from the ground; %d without .est\n",
      shots.size(), outputFolder.c_str(), seconds, byKind[int(DemoShotKind::Nadir)],
      byKind[int(DemoShotKind::Oblique)], byKind[int(DemoShotKind::Ground)], unoriented);
  return 0;
}
