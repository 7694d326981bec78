// `nimbex dsm`: a surface model stream made from the returns of chosen pulse kinds.
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/Commands.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"

namespace fs = std::filesystem;

namespace {

// The library keeps every return for any selection other than 0, 1 and 3.
constexpr int kEveryPulse = 2;

int Refuse(const std::string& message) {
  std::fprintf(stderr, "nimbex dsm: %s\n", message.c_str());
  return 1;
}

bool HasStrmExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".strm";
}

}  // namespace

int RunDsm(const std::string& streamPath, const std::string& outputPath,
           const std::string& pulses) {
  const fs::path output(outputPath);
  if (!HasStrmExtension(output))
    return Refuse("the output " + outputPath + " must be a .strm file");
  for (StrmFileKind kind : {STRM_FILE, PCI_FILE})
    if (fs::exists(GetStrmCompanionName(output, kind)))
      return Refuse("the stream " + outputPath + " exists already; give another name");

  CNimbex cloud(streamPath.c_str());
  cloud.PutHeaderWriteBack(0);  // the stream read from stays as it is
  if (!cloud.OpenStrmCloud()) return Refuse(cloud.GetLastError());
  const int selection = pulses == "all" ? kEveryPulse : std::stoi(pulses);
  if (!cloud.MakeDSMFromPulse(selection, outputPath)) return Refuse(cloud.GetLastError());

  CNimbex surface(outputPath.c_str());
  if (!surface.OpenStrmCloud())
    return Refuse("the surface model was written but cannot be opened: " + surface.GetLastError());
  std::printf("%s: %d points\n", outputPath.c_str(), surface.GetPointsCount());
  return 0;
}
