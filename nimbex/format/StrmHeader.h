// The header and item index of a stream (the "pci" file): the global values, then the
// full-resolution item records, then one block per overview depth, finest first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "nimbex/format/Item.h"

// Streams written today carry version 103; 100 to 102 lack the newer trailing fields.
constexpr int STRM_VERSION = 103;
constexpr int STRM_OLDEST_VERSION = 100;

// Colour mode shown first: 0 "Elevation" ... 6 "Pulse", -1 none.
enum CVM {
  CVM_NONE = -1,
  CVM_ELEVATION = 0,
  CVM_INTENSITY = 1,
  CVM_RGB = 2,
  CVM_NORMALS = 3,
  CVM_CLASSES = 4,
  CVM_USER_DEFINED = 5,
  CVM_PULSE = 6
};
const char* GetCVMName(int cvm);

// Creates or truncates `path` and writes the header fields in their stored order. Item
// records are appended afterwards by the caller. Does nothing for a null path or a file
// that cannot be created.
void WriteStrmHeaderFile(const char* path, int version, int isTerrain, int pointsCount,
                         const double* bounds, const double* offset, int gridDepth,
                         int classesCount, const int* classesPoints, double gsd, int itemsCount,
                         int compressed, const double* intensityRange, int cvm,
                         const double* elevationRange, int borderCopiesCount);

// The header as read, with the byte positions of the fields that are rewritten in place.
// Fields absent from older versions keep the values the caller set before reading.
struct StrmHeader {
  int version = -1;
  int isTerrain = 1;
  int pointsCount = 0;
  double bounds[6] = {0, 0, 0, 0, 0, 0};
  double offset[3] = {0, 0, 0};
  int depth = 0;
  std::vector<int> classesPoints;
  double linearDensity = 0.0;
  int itemCount = 0;
  double intensityRange[2] = {0.0, 1.0};
  int cvm = 0;
  double elevationRange[2] = {0.0, 1.0};  // world frame, as stored
  int borderCopiesCount = 0;

  int64_t classesPointsPosition = 0;
  int64_t linearDensityPosition = 0;
  int64_t intensityRangePosition = 0;  // -1 when the version does not store it
  int64_t elevationRangePosition = 0;  // -1 when the version does not store it
};

// The item index: full-resolution records, then the records of each overview depth
// (levels[d] holds depth d).
struct StrmIndex {
  std::vector<Item> leaves;
  std::vector<std::vector<Item>> levels;
};

// Reads the header from the start of `file`, whose size is `fileSize`. Every count is
// checked against what the file can hold before anything is allocated for it. Returns 1,
// or 0 with a sentence for the user in `error`.
int ReadStrmHeader(std::FILE* file, int64_t fileSize, StrmHeader& header, std::string& error);

// Reads the index that follows the header (the file positioned right after it). A level
// block missing at the end of the file counts as an empty level.
int ReadStrmIndex(std::FILE* file, int64_t fileSize, const StrmHeader& header, StrmIndex& index,
                  std::string& error);

// Bytes of a header of `version` with `classesCount` class counters.
int64_t GetStrmHeaderSize(int version, int classesCount);
