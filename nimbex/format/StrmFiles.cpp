#include "nimbex/format/StrmFiles.h"

namespace {

struct KindInfo {
  const char* extension;
  int recordSize;
};

constexpr KindInfo kKinds[STRM_FILE_KIND_COUNT] = {
    {"strm", 12}, {"ovw", 12},    {"tri", 12}, {"triovw", 12}, {"rgb", 3},
    {"rgbovw", 3}, {"rif", 4},    {"rifovw", 4}, {"cla", 1},  {"claovw", 1},
    {"pls", 1},   {"plsovw", 1}, {"norm", 12}, {"normovw", 12}, {"pci", 0},
};

}  // namespace

const char* GetStrmExtension(StrmFileKind kind) { return kKinds[kind].extension; }

int GetStrmRecordSize(StrmFileKind kind) { return kKinds[kind].recordSize; }

StrmFileKind GetOverviewKind(StrmFileKind fullResolutionKind) {
  // Every full-resolution kind is directly followed by its overview companion.
  return static_cast<StrmFileKind>(fullResolutionKind | 1);
}

std::filesystem::path GetStrmCompanionName(const std::filesystem::path& mainFile, StrmFileKind kind) {
  std::filesystem::path name = mainFile;
  name.replace_extension(GetStrmExtension(kind));
  return name;
}

int64_t GetAttributePosition(int64_t pointsPosition, StrmFileKind kind) {
  return pointsPosition / STRM_POINT_BYTES * GetStrmRecordSize(kind);
}

std::filesystem::path GetBufferFileName(const std::filesystem::path& outputFile, int itemId,
                                        const std::string& extension) {
  std::filesystem::path name = outputFile.parent_path();
  name /= outputFile.stem().string() + "_" + std::to_string(itemId) + "." + extension;
  return name;
}
