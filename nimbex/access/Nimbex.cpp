#include "nimbex/access/Nimbex.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "nimbex/format/PointClasses.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/format/Unset.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/UCS.h"

namespace {

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

// What a data file holds, for messages.
const char* FileRole(StrmFileKind kind) {
  static const char* const kRoles[STRM_FILE_KIND_COUNT] = {
      "points file", "overview points file", "triangle file",  "overview triangle file",
      "colour file", "overview colour file", "intensity file", "overview intensity file",
      "class file",  "overview class file",  "pulse file",     "overview pulse file",
      "normal file", "overview normal file", "header"};
  return kRoles[kind];
}

// Where the items of one or more levels end in their points and triangles files.
struct StrmExtent {
  int64_t pointsEnd = 0;
  int64_t trianglesEnd = 0;

  void Add(const std::vector<Item>& items) {
    for (const Item& item : items) {
      pointsEnd = std::max(pointsEnd, item.ptsPos + int64_t{item.ptsCount} * STRM_POINT_BYTES);
      trianglesEnd =
          std::max(trianglesEnd, item.triPos + int64_t{item.triCount} * STRM_TRIANGLE_BYTES);
    }
  }
};

// Overwrites `n` doubles or ints at `position` of an open header; true when all were written.
template <class T>
bool WriteAt(std::FILE* file, int64_t position, const T* values, size_t n) {
  return fseeko(file, position, SEEK_SET) == 0 && std::fwrite(values, sizeof(T), n, file) == n;
}

}  // namespace

CNimbex::CNimbex(const char* fileName) : m_FileName(fileName ? fileName : "") {
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind)
    m_Paths[kind] = kind == STRM_FILE
                        ? m_FileName
                        : GetStrmCompanionName(m_FileName, StrmFileKind(kind)).string();
}

CNimbex::~CNimbex() {
  CloseStrmCloud();
}

std::string CNimbex::GetFileName(StrmFileKind kind) const {
  return m_Paths[kind];
}

// ---------------------------------------------------------------------------------------
// Files

std::FILE* CNimbex::OpenFile(StrmFileKind kind, int update) {
  if (m_Files[kind]) return nullptr;
  std::FILE* file = std::fopen(m_Paths[kind].c_str(), update ? "rb+" : "rb");
  if (!file) return nullptr;
  m_Files[kind] = file;
  m_SavedPositions[kind] = 0;
  m_FileSizes[kind] = OpenFileSize(file);
  // Items are read whole, straight into the caller's arrays: a stdio buffer would only add
  // a copy and split each read in two.
  if (kind != PCI_FILE) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

void CNimbex::CloseFile(StrmFileKind kind) {
  if (!m_Files[kind]) return;
  m_Mappings[kind].Unmap();
  std::fclose(m_Files[kind]);
  m_Files[kind] = nullptr;
}

void CNimbex::CloseAllFiles() {
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind) CloseFile(StrmFileKind(kind));
}

int64_t CNimbex::GetFileSize(StrmFileKind kind) {
  if (m_Files[kind]) return m_FileSizes[kind];
  struct stat info;
  return stat(m_Paths[kind].c_str(), &info) == 0 ? info.st_size : 0;
}

// ---------------------------------------------------------------------------------------
// Opening and closing

int CNimbex::Fail(const std::string& problem) {
  m_LastError = problem;
  return 0;
}

int CNimbex::OpenStrmCloud() {
  CloseStrmCloud();
  m_LastError.clear();
  m_PointDataSize = STRM_POINT_BYTES;
  const bool openedHere = OpenStrmFile(0) != nullptr;
  if (!GetStrmFile())
    return Fail("cannot open the stream file " + m_FileName + ": " + std::strerror(errno));
  const int opened = ReadCloudInfo();
  if (openedHere) CloseStrmFile();
  if (!opened) {
    std::string reason = m_LastError;
    CloseStrmCloud();
    m_LastError = reason;
  }
  return opened;
}

int CNimbex::ReadCloudInfo() {
  if (!FileExists(m_Paths[PCI_FILE]))
    return Fail("the stream header " + m_Paths[PCI_FILE] + " is missing");
  const bool mainOpenedHere = OpenStrmFile(0) != nullptr;
  if (!GetStrmFile())
    return Fail("cannot open the stream file " + m_FileName + ": " + std::strerror(errno));
  const bool pciOpenedHere = OpenPciFile(0) != nullptr;
  if (!GetPciFile()) {
    if (mainOpenedHere) CloseStrmFile();
    return Fail("cannot open the stream header " + m_Paths[PCI_FILE] + ": " + std::strerror(errno));
  }

  int read = ReadHeaderAndIndex(GetPciFile());
  if (pciOpenedHere) ClosePciFile();
  if (read) {
    SetAvailabilityFlags();
    read = CheckDataFileSizes();
  }
  if (read && (m_LinearDensity == 0.0 || IsShiftKeyDown())) {
    EvaluateLinearDensity(nullptr, 1);
    if (m_LinearDensity == 0.0)
      read = Fail("cannot open " + m_FileName +
                  ": its point spacing is not stored and cannot be computed (the coarsest item "
                  "holds fewer than 3 points)");
  }
  if (mainOpenedHere) CloseStrmFile();
  return read;
}

int CNimbex::ReadHeaderAndIndex(std::FILE* pci) {
  const int64_t size = OpenFileSize(pci);
  StrmHeader header;
  StrmIndex index;
  std::string problem;
  if (!ReadStrmHeader(pci, size, header, problem) ||
      !ReadStrmIndex(pci, size, header, index, problem))
    return Fail("cannot open " + m_FileName + ": its header " + m_Paths[PCI_FILE] +
                " is damaged: " + problem);

  if (static_cast<int>(header.classesPoints.size()) != GetPointClassNumber())
    ShowUserMessage("Warning! Cloud has been generated by a deprecated release.", "",
                    UserMessageKind::Warning);

  m_Version = header.version;
  m_IsTerrain = header.isTerrain;
  m_PointsCount = header.pointsCount;
  std::copy(header.bounds, header.bounds + 6, m_Bounds);
  std::copy(header.offset, header.offset + 3, m_Offset);
  m_Depth = header.depth;
  m_Container = std::make_unique<CContainer>(m_Bounds, m_Depth, m_IsTerrain, m_Offset);
  m_ClassesPoints = std::move(header.classesPoints);
  m_ClassesPointsPosition = header.classesPointsPosition;
  m_LinearDensity = header.linearDensity;
  m_LinearDensityPosition = header.linearDensityPosition;
  m_ItemCount = header.itemCount;
  if (header.intensityRangePosition >= 0)
    std::copy(header.intensityRange, header.intensityRange + 2, m_IntensityRange);
  m_IntensityRangePosition = header.intensityRangePosition;
  if (header.elevationRangePosition >= 0) m_CVM = header.cvm;
  m_ElevationRange[0] = header.elevationRange[0] - m_Offset[2];
  m_ElevationRange[1] = header.elevationRange[1] - m_Offset[2];
  m_ElevationRangePosition = header.elevationRangePosition;
  m_BorderCopiesCount = header.borderCopiesCount;
  m_StoredSettings = GetHeaderSettings();

  m_Items = std::move(index.leaves);
  m_ItemMap.reserve(m_Items.size());
  for (Item& item : m_Items) m_ItemMap[item.id] = &item;
  m_LevelItems = std::move(index.levels);
  m_LevelMaps.assign(m_LevelItems.size(), {});
  for (size_t depth = 0; depth < m_LevelItems.size(); ++depth) {
    m_LevelMaps[depth].reserve(m_LevelItems[depth].size());
    for (Item& item : m_LevelItems[depth]) m_LevelMaps[depth][item.id] = &item;
  }
  return 1;
}

int CNimbex::HasAttribute(StrmFileKind fullResolutionKind) const {
  if (!FileExists(m_Paths[fullResolutionKind])) return 0;
  return !m_HasPyramidalLevels || FileExists(m_Paths[GetOverviewKind(fullResolutionKind)]);
}

void CNimbex::SetAvailabilityFlags() {
  m_HasPyramidalLevels = FileExists(m_Paths[OVW_FILE]);
  m_HasTri = HasAttribute(TRI_FILE);
  m_HasColors = HasAttribute(RGB_FILE);
  m_HasIntensity = HasAttribute(RIF_FILE);
  m_HasClasses = HasAttribute(CLA_FILE);
  m_HasPulses = HasAttribute(PLS_FILE);
  m_HasNormals = HasAttribute(NORM_FILE);
}

bool CNimbex::HeaderSettings::operator==(const HeaderSettings& other) const {
  return std::equal(intensityRange, intensityRange + 2, other.intensityRange) && cvm == other.cvm &&
         std::equal(elevationRange, elevationRange + 2, other.elevationRange);
}

CNimbex::HeaderSettings CNimbex::GetHeaderSettings() const {
  return {{m_IntensityRange[0], m_IntensityRange[1]},
          m_CVM,
          {m_ElevationRange[0] + m_Offset[2], m_ElevationRange[1] + m_Offset[2]}};
}

// Every data file must hold what the index says is in it: a file cut short would lose points
// without a word, and a missing overview file would leave the coarser levels empty.
int CNimbex::CheckDataFileSizes() {
  StrmExtent extents[2];  // full resolution, overview levels
  extents[0].Add(m_Items);
  for (const std::vector<Item>& level : m_LevelItems) extents[1].Add(level);
  std::pair<StrmFileKind, int*> attributes[] = {{CLA_FILE, &m_HasClasses},
                                                {RGB_FILE, &m_HasColors},
                                                {RIF_FILE, &m_HasIntensity},
                                                {PLS_FILE, &m_HasPulses},
                                                {NORM_FILE, &m_HasNormals}};
  for (int overview = 0; overview < 2; ++overview) {
    const StrmExtent& extent = extents[overview];
    auto level = [overview](StrmFileKind kind) { return overview ? GetOverviewKind(kind) : kind; };
    if (!CheckFileSize(level(STRM_FILE), extent.pointsEnd)) return 0;
    if (m_HasTri && !CheckFileSize(level(TRI_FILE), extent.trianglesEnd)) return 0;
    for (const auto& [kind, present] : attributes) {
      const int64_t needed = GetAttributePosition(extent.pointsEnd, kind);
      if (!*present || GetFileSize(level(kind)) >= needed) continue;
      // Meshed streams carry no attribute records for their overview points: a short
      // overview attribute file there makes the attribute absent, not the stream unreadable.
      if (overview && m_HasTri) {
        *present = 0;
        continue;
      }
      if (!CheckFileSize(level(kind), needed)) return 0;
    }
  }
  return 1;
}

int CNimbex::CheckFileSize(StrmFileKind kind, int64_t needed) {
  if (needed <= 0) return 1;
  const std::string& path = m_Paths[kind];
  if (!FileExists(path))
    return Fail("cannot open " + m_FileName + ": its " + FileRole(kind) + " " + path +
                " is missing, but the item index has data in it; restore the file or rebuild "
                "the stream");
  const int64_t size = GetFileSize(kind);
  if (size >= needed) return 1;
  return Fail("cannot open " + m_FileName + ": its " + FileRole(kind) + " " + path + " holds " +
              std::to_string(size) + " bytes, but the item index needs " + std::to_string(needed) +
              " (the file was cut short); restore it or rebuild the "
              "stream");
}

// An unchanged header is not touched: opening and closing a stream leaves its files as they
// were.
void CNimbex::WriteBackHeader() {
  if (!m_HeaderWriteBack || m_Version <= 100 || m_IntensityRangePosition < 0) return;
  const HeaderSettings settings = GetHeaderSettings();
  if (settings == m_StoredSettings) return;
  std::FILE* pci = std::fopen(m_Paths[PCI_FILE].c_str(), "rb+");
  if (!pci) return;
  if (WriteAt(pci, m_IntensityRangePosition, settings.intensityRange, 2) && m_Version > 101) {
    std::fwrite(&settings.cvm, sizeof settings.cvm, 1, pci);
    std::fwrite(settings.elevationRange, sizeof(double), 2, pci);
  }
  if (std::fclose(pci) == 0) m_StoredSettings = settings;
}

void CNimbex::ReleaseIndex() {
  m_Items.clear();
  m_ItemMap.clear();
  m_LevelItems.clear();
  m_LevelMaps.clear();
  m_ClassesPoints.clear();
  m_ItemCount = 0;
}

void CNimbex::CloseStrmCloud() {
  CloseAllFiles();
  WriteBackHeader();
  std::fill(m_Bounds, m_Bounds + 6, 0.0);
  ReleaseDrawingObjects();
  m_Container.reset();
  ReleaseIndex();
  m_Version = -1;
  m_IntensityRangePosition = -1;
  m_ElevationRangePosition = -1;
}

// ---------------------------------------------------------------------------------------
// Header queries and write-back

void CNimbex::GetBounds(double* bounds) const {
  std::copy(m_Bounds, m_Bounds + 6, bounds);
}

void CNimbex::GetOffset(double* offset) const {
  std::copy(m_Offset, m_Offset + 3, offset);
}

void CNimbex::GetCloudOffset(double* offset) const {
  if (offset) GetOffset(offset);
}

int CNimbex::GetNumberOfClassesPoints(const int* classes, int n) const {
  if (m_ClassesPoints.empty() || !classes || n <= 0) return -1;
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    // A class the header keeps no counter for cannot be counted.
    if (classes[i] < 0 || classes[i] >= POINT_CLASS_COUNT || classes[i] >= GetClassCount())
      return -1;
    sum += m_ClassesPoints[classes[i]];
  }
  return sum;
}

int CNimbex::UpdatePointsCount() {
  if (m_Version < 0) return 0;
  std::FILE* pci = std::fopen(m_Paths[PCI_FILE].c_str(), "rb+");
  if (!pci) return 0;
  const bool written =
      WriteAt(pci, m_ClassesPointsPosition, m_ClassesPoints.data(), m_ClassesPoints.size());
  return (std::fclose(pci) == 0 && written) ? 1 : 0;
}

void CNimbex::SetIntensityRange(double minimum, double maximum, int store) {
  m_IntensityRange[0] = minimum;
  m_IntensityRange[1] = maximum;
  if (!store || !m_HeaderWriteBack || m_Version <= 100 || m_IntensityRangePosition < 0) return;
  if (std::equal(m_IntensityRange, m_IntensityRange + 2, m_StoredSettings.intensityRange)) return;
  std::FILE* pci = std::fopen(m_Paths[PCI_FILE].c_str(), "rb+");
  if (!pci) return;
  const bool written = WriteAt(pci, m_IntensityRangePosition, m_IntensityRange, 2);
  if (std::fclose(pci) == 0 && written)
    std::copy(m_IntensityRange, m_IntensityRange + 2, m_StoredSettings.intensityRange);
}

// ---------------------------------------------------------------------------------------
// Item index

const std::vector<Item>& CNimbex::GetLevelItems(int depth) const {
  static const std::vector<Item> none;
  if (depth == -1 || depth == m_Depth) return m_Items;
  if (depth < 0 || depth >= static_cast<int>(m_LevelItems.size())) return none;
  return m_LevelItems[depth];
}

int CNimbex::GetItem(int id, Item*& item) {
  item = nullptr;
  auto found = m_ItemMap.find(id);
  if (found == m_ItemMap.end()) return 0;
  item = found->second;
  return 1;
}

int CNimbex::GetItem(int id, Item*& item, int depth) {
  item = nullptr;
  if (depth == -1 || depth == m_Depth) return GetItem(id, item);
  if (depth < 0 || depth >= static_cast<int>(m_LevelMaps.size())) return 0;
  auto found = m_LevelMaps[depth].find(id);
  if (found == m_LevelMaps[depth].end()) return 0;
  item = found->second;
  return 1;
}

int CNimbex::GetItemCount(int depth) {
  if (depth == -1 || depth == m_Depth) return m_ItemCount;
  if (depth < 0 || depth >= static_cast<int>(m_LevelMaps.size())) return -1;
  return static_cast<int>(m_LevelMaps[depth].size());
}

// Items are visited in storage order (increasing id); a position is the index of the next
// record plus one.
POSITION CNimbex::GetFirstItem() const {
  return m_Items.empty() ? 0 : 1;
}

void CNimbex::GetNextItem(POSITION& position, int& id, Item*& item) {
  item = nullptr;
  if (position == 0 || position > m_Items.size()) {
    position = 0;
    return;
  }
  item = &m_Items[position - 1];
  id = item->id;
  position = position < m_Items.size() ? position + 1 : 0;
}

POSITION CNimbex::GetFirstOvwItem(int depth) const {
  if (depth < 0 || depth >= static_cast<int>(m_LevelItems.size())) return 0;
  return m_LevelItems[depth].empty() ? 0 : 1;
}

void CNimbex::GetNextOvwItem(int depth, POSITION& position, int& id, Item*& item) {
  item = nullptr;
  if (depth < 0 || depth >= static_cast<int>(m_LevelItems.size()) || position == 0 ||
      position > m_LevelItems[depth].size()) {
    position = 0;
    return;
  }
  std::vector<Item>& level = m_LevelItems[depth];
  item = &level[position - 1];
  id = item->id;
  position = position < level.size() ? position + 1 : 0;
}

int CNimbex::GetItemBounds(int id, int depth, double* bounds) const {
  if (!m_Container) return 0;
  return m_Container->GetItemBounds(id, depth == -1 ? m_Depth : depth, bounds);
}

int CNimbex::GetItemCenter(int id, int depth, double* center) {
  Item* item = nullptr;
  if (!center || !GetItem(id, item, depth)) return 0;
  std::copy(item->center, item->center + 3, center);
  return 1;
}

double CNimbex::GetItemExtent(int axis, int depth) const {
  if (!m_Container) return NBX_UNSET;
  return m_Container->GetItemExtent(axis, depth == -1 ? m_Depth : depth);
}

void CNimbex::GetItemExtent(int depth, double* sizes) const {
  if (m_Container) m_Container->GetItemExtent(depth, sizes);
}
