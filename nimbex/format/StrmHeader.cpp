#include "nimbex/format/StrmHeader.h"

#include <cmath>

#include "nimbex/format/Container.h"
#include "nimbex/format/StrmFiles.h"

namespace {

template <class T>
bool ReadValue(std::FILE* file, T& value) {
  return std::fread(&value, sizeof(T), 1, file) == 1;
}

template <class T>
bool ReadValues(std::FILE* file, T* values, size_t n) {
  return n == 0 || std::fread(values, sizeof(T), n, file) == n;
}

template <class T>
void WriteValue(std::FILE* file, const T& value) {
  std::fwrite(&value, sizeof(T), 1, file);
}

template <class T>
void WriteValues(std::FILE* file, const T* values, size_t n) {
  if (n) std::fwrite(values, sizeof(T), n, file);
}

int64_t Tell(std::FILE* file) { return ftello(file); }

std::string Describe(const char* what, long long value) {
  return std::string(what) + " " + std::to_string(value);
}

// Why an item record cannot belong to a stream, or empty when it can.
std::string CheckItem(const Item& item, int depth, int isTerrain) {
  if (item.id < 0 || item.id >= GetCellCount(depth, isTerrain))
    return Describe("an item id out of range for its depth:", item.id);
  if (item.ptsCount < 0) return Describe("a negative point count:", item.ptsCount);
  if (item.triCount < 0) return Describe("a negative triangle count:", item.triCount);
  if (item.ptsPos < 0 || item.ptsPos % STRM_POINT_BYTES != 0)
    return Describe("a points position that is not a whole point:", item.ptsPos);
  if (item.triPos < 0) return Describe("a negative triangles position:", item.triPos);
  return {};
}

int ReadItemBlock(std::FILE* file, int64_t fileSize, int count, int depth, int isTerrain,
                  std::vector<Item>& items, std::string& error) {
  const int64_t available = fileSize - Tell(file);
  if (count < 0 || count > GetCellCount(depth, isTerrain)) {
    error = "the item index is corrupted (" + Describe("an item count of", count) +
            " at depth " + std::to_string(depth) + ")";
    return 0;
  }
  if (int64_t(count) * int64_t(sizeof(Item)) > available) {
    error = "the item index is truncated (" + std::to_string(count) + " items at depth " +
            std::to_string(depth) + " need " + std::to_string(int64_t(count) * sizeof(Item)) +
            " bytes, " + std::to_string(available) + " remain)";
    return 0;
  }
  items.resize(count);
  if (!ReadValues(file, items.data(), items.size())) {
    error = "the item index cannot be read";
    return 0;
  }
  for (const Item& item : items) {
    std::string problem = CheckItem(item, depth, isTerrain);
    if (!problem.empty()) {
      error = "the item index is corrupted (" + problem + " at depth " + std::to_string(depth) + ")";
      return 0;
    }
  }
  return 1;
}

}  // namespace

const char* GetCVMName(int cvm) {
  static const char* const kNames[] = {"Elevation", "Intensity",          "RGB",  "Normals",
                                       "Classes",   "User Defined Color", "Pulse"};
  return cvm >= 0 && cvm <= CVM_PULSE ? kNames[cvm] : "";
}

int64_t GetStrmHeaderSize(int version, int classesCount) {
  // version, terrain flag, points count, 6 bounds, 3 offsets, depth, classes count,
  // the counters, GSD, items count and compressed flag.
  int64_t size = 4 * 3 + 8 * 6 + 8 * 3 + 4 + 4 + 4 * int64_t(classesCount) + 8 + 4 + 4;
  if (version > 100) size += 16;
  if (version > 101) size += 4 + 16;
  if (version > 102) size += 4;
  return size;
}

void WriteStrmHeaderFile(const char* path, int version, int isTerrain, int pointsCount,
                         const double* bounds, const double* offset, int gridDepth,
                         int classesCount, const int* classesPoints, double gsd, int itemsCount,
                         int compressed, const double* intensityRange, int cvm,
                         const double* elevationRange, int borderCopiesCount) {
  if (!path) return;
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return;
  WriteValue(file, version);
  WriteValue(file, isTerrain);
  WriteValue(file, pointsCount);
  WriteValues(file, bounds, 6);
  WriteValues(file, offset, 3);
  WriteValue(file, gridDepth);
  WriteValue(file, classesCount);
  WriteValues(file, classesPoints, classesCount > 0 ? classesCount : 0);
  WriteValue(file, gsd);
  WriteValue(file, itemsCount);
  WriteValue(file, compressed);
  if (version > 100) WriteValues(file, intensityRange, 2);
  if (version > 101) {
    WriteValue(file, cvm);
    WriteValues(file, elevationRange, 2);
  }
  if (version > 102) WriteValue(file, borderCopiesCount);
  std::fclose(file);
}

int ReadStrmHeader(std::FILE* file, int64_t fileSize, StrmHeader& header, std::string& error) {
  int version = 0;
  if (!ReadValue(file, version)) {
    error = "the header is empty or unreadable";
    return 0;
  }
  if (version < STRM_OLDEST_VERSION || version > STRM_VERSION) {
    error = "this is not a stream header this release can read (" +
            Describe("version", version) + ", expected 100 to 103)";
    return 0;
  }
  header.version = version;
  const int64_t smallest = GetStrmHeaderSize(version, 0);
  if (fileSize < smallest) {
    error = "the header is truncated (" + std::to_string(fileSize) + " bytes, a version-" +
            std::to_string(version) + " header needs at least " + std::to_string(smallest) + ")";
    return 0;
  }

  int classesCount = 0;
  ReadValue(file, header.isTerrain);
  ReadValue(file, header.pointsCount);
  ReadValues(file, header.bounds, 6);
  ReadValues(file, header.offset, 3);
  ReadValue(file, header.depth);
  ReadValue(file, classesCount);
  if (header.isTerrain != 0 && header.isTerrain != 1) {
    error = "the header is corrupted (" + Describe("terrain flag", header.isTerrain) + ")";
    return 0;
  }
  if (header.depth < 0 || header.depth > GetMaxDepth(header.isTerrain)) {
    error = "the header is corrupted (" + Describe("grid depth", header.depth) + ", at most " +
            std::to_string(GetMaxDepth(header.isTerrain)) + ")";
    return 0;
  }
  if (classesCount < 0 || GetStrmHeaderSize(version, classesCount) > fileSize) {
    error = "the header is corrupted (" + Describe("class counter count", classesCount) +
            " does not fit in a file of " + std::to_string(fileSize) + " bytes)";
    return 0;
  }

  header.classesPointsPosition = Tell(file);
  header.classesPoints.resize(classesCount);
  ReadValues(file, header.classesPoints.data(), header.classesPoints.size());
  header.linearDensityPosition = Tell(file);
  ReadValue(file, header.linearDensity);
  ReadValue(file, header.itemCount);
  int compressed = 0;
  ReadValue(file, compressed);

  header.elevationRange[0] = header.bounds[4] + header.offset[2];
  header.elevationRange[1] = header.bounds[5] + header.offset[2];
  header.intensityRangePosition = -1;
  header.elevationRangePosition = -1;
  if (version > 100) {
    header.intensityRangePosition = Tell(file);
    ReadValues(file, header.intensityRange, 2);
  }
  if (version > 101) {
    ReadValue(file, header.cvm);
    header.elevationRangePosition = Tell(file);
    ReadValues(file, header.elevationRange, 2);
  }
  if (version > 102) ReadValue(file, header.borderCopiesCount);
  if (std::ferror(file)) {
    error = "the header cannot be read";
    return 0;
  }
  return 1;
}

int ReadStrmIndex(std::FILE* file, int64_t fileSize, const StrmHeader& header, StrmIndex& index,
                  std::string& error) {
  if (!ReadItemBlock(file, fileSize, header.itemCount, header.depth, header.isTerrain,
                     index.leaves, error))
    return 0;
  index.levels.assign(header.depth, {});
  for (int depth = header.depth - 1; depth >= 0; --depth) {
    const int64_t remaining = fileSize - Tell(file);
    if (remaining == 0) break;  // coarser levels that produced no item are not stored
    int count = 0;
    if (remaining < int64_t(sizeof count) || !ReadValue(file, count)) {
      error = "the item index is truncated (the item count of depth " + std::to_string(depth) +
              " is cut short)";
      return 0;
    }
    if (!ReadItemBlock(file, fileSize, count, depth, header.isTerrain, index.levels[depth], error))
      return 0;
  }
  return 1;
}
