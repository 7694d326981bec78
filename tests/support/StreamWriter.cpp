#include "tests/support/StreamWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "nimbex/format/Container.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"

namespace {

class DataFiles {
 public:
  DataFiles(const std::filesystem::path& strm, const TestStream& stream, bool overview) {
    Open(strm, STRM_FILE, overview, true);
    Open(strm, TRI_FILE, overview, stream.tri);
    Open(strm, RGB_FILE, overview, stream.rgb);
    Open(strm, RIF_FILE, overview, stream.rif);
    Open(strm, CLA_FILE, overview, stream.cla);
    Open(strm, PLS_FILE, overview, stream.pls);
    Open(strm, NORM_FILE, overview, stream.norm);
  }
  ~DataFiles() {
    for (auto& entry : m_Files) std::fclose(entry.second);
  }

  // Appends the item's data and returns its record with the positions filled in.
  Item Append(const TestItem& source, const CContainer& container, bool leaf) {
    Item item{};
    item.id = source.id;
    item.ptsCount = static_cast<int32_t>(source.points.size());
    item.triCount = static_cast<int32_t>(source.triangles.size());
    item.isLeaf = leaf ? 1 : 0;
    double bounds[6];
    double* center = container.GetItemCenter(source.id, 0, source.depth, bounds);
    if (!center) throw std::runtime_error("item id outside the hierarchy");
    std::copy(center, center + 3, item.center);
    delete[] center;
    for (int d = 0; d < 3; ++d) item.size[d] = static_cast<float>(bounds[2 * d + 1] - bounds[2 * d]);
    item.ptsPos = ftello(m_Files.at(STRM_FILE));
    item.triPos = m_Files.count(TRI_FILE) ? ftello(m_Files.at(TRI_FILE)) : 0;
    item.ptsBytes = item.ptsCount * STRM_POINT_BYTES;

    Write(STRM_FILE, source.points);
    Write(TRI_FILE, source.triangles);
    Write(RGB_FILE, source.colors);
    Write(RIF_FILE, source.intensities);
    Write(CLA_FILE, source.classes);
    Write(PLS_FILE, source.pulses);
    Write(NORM_FILE, source.normals);
    return item;
  }

 private:
  void Open(const std::filesystem::path& strm, StrmFileKind kind, bool overview, bool wanted) {
    if (!wanted) return;
    StrmFileKind stored = overview ? GetOverviewKind(kind) : kind;
    std::FILE* file = std::fopen(GetStrmCompanionName(strm, stored).c_str(), "wb");
    if (!file) throw std::runtime_error("cannot create a test stream file");
    m_Files[kind] = file;
  }

  template <class T>
  void Write(StrmFileKind kind, const std::vector<T>& records) {
    auto found = m_Files.find(kind);
    if (found != m_Files.end() && !records.empty())
      std::fwrite(records.data(), sizeof(T), records.size(), found->second);
  }

  std::map<StrmFileKind, std::FILE*> m_Files;
};

std::vector<const TestItem*> ItemsOfDepth(const TestStream& stream, int depth) {
  std::vector<const TestItem*> items;
  for (const TestItem& item : stream.items)
    if (item.depth == depth) items.push_back(&item);
  std::sort(items.begin(), items.end(),
            [](const TestItem* a, const TestItem* b) { return a->id < b->id; });
  return items;
}

void AppendRecords(const std::filesystem::path& pci, const std::vector<Item>& records,
                   bool withCount) {
  std::FILE* file = std::fopen(pci.c_str(), "ab");
  if (withCount) {
    int32_t count = static_cast<int32_t>(records.size());
    std::fwrite(&count, sizeof count, 1, file);
  }
  if (!records.empty()) std::fwrite(records.data(), sizeof(Item), records.size(), file);
  std::fclose(file);
}

}  // namespace

void WriteTestStream(const std::filesystem::path& strm, const TestStream& stream) {
  const CContainer container(stream.bounds, stream.depth, stream.isTerrain, stream.offset);
  std::vector<const TestItem*> leaves = ItemsOfDepth(stream, stream.depth);
  int pointsCount = 0;
  for (const TestItem* item : leaves) pointsCount += static_cast<int>(item->points.size());

  const std::filesystem::path pci = GetStrmCompanionName(strm, PCI_FILE);
  WriteStrmHeaderFile(pci.c_str(), stream.version, stream.isTerrain, pointsCount, stream.bounds,
                      stream.offset, stream.depth, static_cast<int>(stream.classesPoints.size()),
                      stream.classesPoints.data(), stream.gsd, static_cast<int>(leaves.size()), 0,
                      stream.intensityRange, stream.cvm, stream.elevationRange,
                      stream.borderCopies);

  std::vector<Item> records;
  {
    DataFiles files(strm, stream, false);
    for (const TestItem* item : leaves) records.push_back(files.Append(*item, container, true));
  }
  AppendRecords(pci, records, false);
  if (stream.depth == 0) return;

  DataFiles overviewFiles(strm, stream, true);
  for (int depth = stream.depth - 1; depth >= 0; --depth) {
    records.clear();
    for (const TestItem* item : ItemsOfDepth(stream, depth))
      records.push_back(overviewFiles.Append(*item, container, false));
    AppendRecords(pci, records, true);
  }
}

namespace {

TestItem MakeLatticeItem(const CContainer& container, int id, int depth, int side, bool terrain) {
  TestItem item;
  item.id = id;
  item.depth = depth;
  double bounds[6];
  container.GetItemBounds(id, depth, bounds);
  const int zSide = terrain ? 1 : side;
  for (int k = 0; k < zSide; ++k)
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i) {
        auto at = [&](int axis, int n, int steps) {
          double size = bounds[2 * axis + 1] - bounds[2 * axis];
          return static_cast<float>(bounds[2 * axis] + (n + 0.5) * size / steps);
        };
        Point3f p = {at(0, i, side), at(1, j, side),
                     terrain ? static_cast<float>((bounds[4] + bounds[5]) / 2) : at(2, k, side)};
        item.points.push_back(p);
        item.colors.push_back({uint8_t(i * 7), uint8_t(j * 11), uint8_t(k * 13)});
        item.intensities.push_back(static_cast<float>(i + j + k));
        item.classes.push_back(static_cast<uint8_t>((i + j + k) % 10));
        item.pulses.push_back(static_cast<uint8_t>((i + j) % 4));
        item.normals.push_back({0.0f, 0.0f, 1.0f});
      }
  return item;
}

}  // namespace

TestStream MakeLatticeStream(int depth, int side, int isTerrain) {
  TestStream stream;
  stream.depth = depth;
  stream.isTerrain = isTerrain;
  stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = true;
  const CContainer container(stream.bounds, depth, isTerrain, stream.offset);
  for (int level = depth; level >= 0; --level)
    for (long long id = 0; id < GetCellCount(level, isTerrain); ++id)
      stream.items.push_back(MakeLatticeItem(container, static_cast<int>(id), level, side, isTerrain));
  for (const TestItem& item : stream.items)
    if (item.depth == depth)
      for (uint8_t c : item.classes) ++stream.classesPoints[c];
  return stream;
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvalis-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
  m_Path = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_Path, ignored);
}
