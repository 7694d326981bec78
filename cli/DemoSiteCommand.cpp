// `nimbex demo-site`: writes the synthetic survey site as a LAS file, and its plan and
// orthophoto.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "common/progress/TerminalProgress.h"
#include "nimbex/demo/DemoPlan.h"
#include "nimbex/demo/DemoSite.h"

namespace {

int Refuse(const std::string& message) {
  std::fprintf(stderr, "nimbex demo-site: %s\n", message.c_str());
  return 1;
}

DemoSiteSettings SettingsOf(const DemoSiteOptions& options) {
  DemoSiteSettings settings;
  settings.points = options.points;
  settings.seed = options.seed;
  return settings;
}

// Every output is checked before anything is written, so that a mistyped plan path does not
// cost the time of the points first.
std::string RequestProblem(const DemoSiteOptions& options) {
  if (options.output.empty() && options.plan.empty() && options.ortho.empty())
    return "nothing to write: give the LAS file, --plan or --ortho";
  const std::pair<const std::string*, const char*> outputs[] = {
      {&options.output, "LAS"}, {&options.plan, "DXF"}, {&options.ortho, "GeoTIFF"}};
  for (const auto& [path, kind] : outputs) {
    if (path->empty()) continue;
    const std::string problem = DemoSiteRequestProblem(*path, options.points, kind);
    if (!problem.empty()) return problem;
  }
  return "";
}

bool WritePoints(const DemoSiteOptions& options, std::string& error) {
  TerminalProgress progress("demo-site");
  // The count is at most kMaxDemoSitePoints, which fits the progress range.
  progress.SetRange(0, int(options.points));
  progress.SetPos(0);
  const bool written = WriteDemoSite(
      options.output, SettingsOf(options),
      [&progress](long long done) { progress.SetPos(int(done)); }, error);
  if (written) progress.SetPos(int(options.points));
  progress.Finish();
  if (written) std::printf("wrote %lld points to %s\n", options.points, options.output.c_str());
  return written;
}

bool WriteOrthophoto(const DemoSiteOptions& options, std::string& error) {
  TerminalProgress progress("orthophoto");
  const bool written = WriteDemoOrthophoto(
      options.ortho, SettingsOf(options), options.orthoPixel,
      [&progress](int done, int rows) {
        progress.SetRange(0, rows);
        progress.SetPos(done);
      },
      error);
  progress.Finish();
  if (written) std::printf("wrote the orthophoto %s and its world file\n", options.ortho.c_str());
  return written;
}

}  // namespace

int RunDemoSite(const DemoSiteOptions& options) {
  const std::string problem = RequestProblem(options);
  if (!problem.empty()) return Refuse(problem);
  std::string error;
  if (!options.output.empty() && !WritePoints(options, error)) return Refuse(error);
  if (!options.plan.empty()) {
    if (!WriteDemoPlan(options.plan, SettingsOf(options), error)) return Refuse(error);
    std::printf("wrote the plan %s\n", options.plan.c_str());
  }
  if (!options.ortho.empty() && !WriteOrthophoto(options, error)) return Refuse(error);
  return 0;
}
