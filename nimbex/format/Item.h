// The 80-byte record of one cell of a stream. The same layout is used on disk (the item
// index of the "pci" file) and in memory, so records are read and written whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nimbex/format/StrmFiles.h"

struct Item {
  int32_t id;        // cell code at the item's depth
  int32_t ptsCount;  // number of points
  int32_t triCount;  // number of triangles (0 without a mesh)
  uint8_t isLeaf;    // 1 for full-resolution items, 0 for overview items
  uint8_t pad0[3];
  double center[3];  // centre of the cell, world frame
  float size[3];     // cell size along x, y, z
  uint8_t pad1[4];
  int64_t ptsPos;    // byte offset of the first point in "strm" (leaf) or "ovw"
  int64_t triPos;    // byte offset of the first triangle in "tri" (leaf) or "triovw"
  int32_t ptsBytes;  // ptsCount * 12
  uint8_t pad2[4];
};

static_assert(sizeof(Item) == 80, "the item record is 80 bytes on disk");
static_assert(offsetof(Item, id) == 0 && offsetof(Item, ptsCount) == 4 &&
                  offsetof(Item, triCount) == 8 && offsetof(Item, isLeaf) == 12 &&
                  offsetof(Item, center) == 16 && offsetof(Item, size) == 40 &&
                  offsetof(Item, ptsPos) == 56 && offsetof(Item, triPos) == 64 &&
                  offsetof(Item, ptsBytes) == 72,
              "item record fields at their on-disk offsets");

// The most points one item can hold: its points bytes are a 32-bit field.
constexpr int64_t ITEM_MAX_POINTS = INT32_MAX / STRM_POINT_BYTES;

// The points bytes of an item of `points` points, in `bytes`; false, leaving `bytes` as it
// was, when they do not fit the item's field.
inline bool GetItemPointsBytes(int64_t points, int32_t& bytes) {
  if (points < 0 || points > ITEM_MAX_POINTS) return false;
  bytes = static_cast<int32_t>(points * STRM_POINT_BYTES);
  return true;
}
