// The file set of a stream: one folder, one stem, one extension per kind of data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

enum StrmFileKind {
  STRM_FILE,
  OVW_FILE,
  TRI_FILE,
  TRIOVW_FILE,
  RGB_FILE,
  RGBOVW_FILE,
  RIF_FILE,
  RIFOVW_FILE,
  CLA_FILE,
  CLAOVW_FILE,
  PLS_FILE,
  PLSOVW_FILE,
  NORM_FILE,
  NORMOVW_FILE,
  PCI_FILE,
  STRM_FILE_KIND_COUNT
};

// Bytes of one stored point (three float32 in the stream's local frame).
constexpr int STRM_POINT_BYTES = 12;
constexpr int STRM_TRIANGLE_BYTES = 12;

// The extension of a file kind, without the dot ("strm", "ovw", ..., "pci").
const char* GetStrmExtension(StrmFileKind kind);
// Bytes of one record of a file kind (points, triangles and normals 12, colours 3,
// intensities 4, classes and pulse kinds 1; 0 for "pci").
int GetStrmRecordSize(StrmFileKind kind);
// The overview companion of a full-resolution data file ("rgb" -> "rgbovw").
StrmFileKind GetOverviewKind(StrmFileKind fullResolutionKind);
// The name of a companion: the main file's folder and stem with the kind's extension.
std::filesystem::path GetStrmCompanionName(const std::filesystem::path& mainFile, StrmFileKind kind);

// Attribute files have no positions of their own: an item's first record lies at its
// points position / 12 * record size.
int64_t GetAttributePosition(int64_t pointsPosition, StrmFileKind kind);

// Name of a temporary per-cell buffer file of creation: "<stem>_<id>.<extension>".
std::filesystem::path GetBufferFileName(const std::filesystem::path& outputFile, int itemId,
                                        const std::string& extension);
