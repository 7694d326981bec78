// Rebuilding an overview attribute file from the full-resolution one after attributes were
// rewritten: every overview item again keeps every 2^D-th record of its children's run,
// as creation made it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "nimbex/access/Nimbex.h"

namespace {

// Writes the new overview file beside the old one and renames it over the old one only when
// every level was rebuilt: a failure leaves the stream as it was.
//
// Levels are stored finest first and rebuilt in the same order, so the children of an
// overview item (at the next finer overview level) lie before it in the new file and have
// already been rewritten when they are read. Each item's record must agree with where its
// block lands; a disagreement refuses the rebuild rather than shifting the data.
class COverviewRebuilder {
 public:
  COverviewRebuilder(CNimbex& cloud, StrmFileKind dataKind)
      : m_Cloud(cloud),
        m_DataKind(dataKind),
        m_OverviewKind(GetOverviewKind(dataKind)),
        m_RecordSize(GetStrmRecordSize(dataKind)),
        m_Stride(int64_t{1} << (3 - cloud.IsTerrain())) {}
  ~COverviewRebuilder() {
    if (m_Data) std::fclose(m_Data);
    if (m_Output) std::fclose(m_Output);
    if (!m_TemporaryPath.empty()) std::remove(m_TemporaryPath.c_str());
  }
  COverviewRebuilder(const COverviewRebuilder&) = delete;
  COverviewRebuilder& operator=(const COverviewRebuilder&) = delete;

  int Run() {
    if (m_Cloud.GetVersion() < 0 || m_Cloud.GetDepth() <= 0 || !OpenFiles()) return 0;
    for (int depth = m_Cloud.GetDepth() - 1; depth >= 0; --depth)
      if (!RebuildLevel(depth)) return 0;
    return Commit() ? 1 : 0;
  }

 private:
  bool OpenFiles() {
    const std::string overview = m_Cloud.GetFileName(m_OverviewKind);
    // The overview file must exist and be writable: the rebuild replaces it, never adds it.
    std::FILE* writable = std::fopen(overview.c_str(), "rb+");
    if (!writable) return false;
    std::fclose(writable);
    m_Data = std::fopen(m_Cloud.GetFileName(m_DataKind).c_str(), "rb");
    std::string pattern = overview + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) return false;
    m_TemporaryPath = pattern;
    m_Output = fdopen(descriptor, "w+b");
    if (!m_Output) close(descriptor);
    return m_Data && m_Output;
  }

  bool RebuildLevel(int depth) {
    std::vector<const Item*> items;
    for (const Item& item : m_Cloud.GetLevelItems(depth)) items.push_back(&item);
    std::sort(items.begin(), items.end(),
              [](const Item* a, const Item* b) { return a->id < b->id; });
    for (const Item* item : items)
      if (!RebuildItem(*item, depth)) return false;
    return true;
  }

  bool RebuildItem(const Item& item, int depth) {
    std::vector<const Item*> children;
    if (!CollectChildren(item.id, depth, children)) return false;
    int64_t sum = 0;
    for (const Item* child : children) sum += child->ptsCount;
    const int64_t kept = sum / m_Stride;
    if (item.ptsCount != kept || RecordPosition(item) != m_OutputPosition) return false;
    if (kept == 0) return true;

    const bool fromData = depth + 1 == m_Cloud.GetDepth();
    const int64_t source = RecordPosition(*children.front());
    // Children of an overview level are read back from the new file: they must lie wholly
    // in what has been rewritten already.
    if (!fromData && source + sum * m_RecordSize > m_OutputPosition) return false;
    return ReadRun(fromData ? m_Data : m_Output, source, sum) && WriteSample(kept);
  }

  // The children of `id` that hold points, in child order; false when their blocks do not
  // follow one another, for then they are not the one run their parent samples.
  bool CollectChildren(int id, int depth, std::vector<const Item*>& children) {
    int* ids = nullptr;
    int count = 0;
    if (!m_Cloud.GetSubItemArray(id, depth, ids, count)) return true;
    const std::unique_ptr<int[]> owned(ids);
    for (int k = 0; k < count; ++k) {
      Item* child = nullptr;
      if (!m_Cloud.GetItem(ids[k], child, depth + 1) || child->ptsCount <= 0) continue;
      if (!children.empty() &&
          child->ptsPos !=
              children.back()->ptsPos + int64_t{children.back()->ptsCount} * STRM_POINT_BYTES)
        return false;
      children.push_back(child);
    }
    return true;
  }

  int64_t RecordPosition(const Item& item) const {
    return GetAttributePosition(item.ptsPos, m_DataKind);
  }

  bool ReadRun(std::FILE* file, int64_t position, int64_t records) {
    m_Run.resize(records * m_RecordSize);
    return fseeko(file, position, SEEK_SET) == 0 &&
           std::fread(m_Run.data(), 1, m_Run.size(), file) == m_Run.size();
  }

  bool WriteSample(int64_t kept) {
    m_Sample.resize(kept * m_RecordSize);
    for (int64_t j = 0; j < kept; ++j)
      std::copy_n(m_Run.data() + j * m_Stride * m_RecordSize, m_RecordSize,
                  m_Sample.data() + j * m_RecordSize);
    if (fseeko(m_Output, m_OutputPosition, SEEK_SET) != 0 ||
        std::fwrite(m_Sample.data(), 1, m_Sample.size(), m_Output) != m_Sample.size())
      return false;
    m_OutputPosition += m_Sample.size();
    return true;
  }

  // Replaces the overview file, keeping its permissions; the cloud's handle on the old file
  // is closed so that the next read opens the new one.
  bool Commit() {
    const std::string overview = m_Cloud.GetFileName(m_OverviewKind);
    const bool closed = std::fclose(m_Output) == 0;
    m_Output = nullptr;
    struct stat status;
    if (!closed || stat(overview.c_str(), &status) != 0 ||
        chmod(m_TemporaryPath.c_str(), status.st_mode & 07777) != 0)
      return false;
    m_Cloud.CloseFile(m_OverviewKind);
    if (std::rename(m_TemporaryPath.c_str(), overview.c_str()) != 0) return false;
    m_TemporaryPath.clear();
    return true;
  }

  CNimbex& m_Cloud;
  const StrmFileKind m_DataKind;
  const StrmFileKind m_OverviewKind;
  const int m_RecordSize;
  const int64_t m_Stride;
  std::FILE* m_Data = nullptr;
  std::FILE* m_Output = nullptr;
  std::string m_TemporaryPath;  // empty once renamed over the overview file
  int64_t m_OutputPosition = 0;
  std::vector<char> m_Run;
  std::vector<char> m_Sample;
};

int RebuildOverview(CNimbex& cloud, StrmFileKind dataKind) {
  return COverviewRebuilder(cloud, dataKind).Run();
}

}  // namespace

int CNimbex::RebuildClassesOvw() {
  return RebuildOverview(*this, CLA_FILE);
}

int CNimbex::RebuildRgbOvw() {
  return RebuildOverview(*this, RGB_FILE);
}

int CNimbex::RebuildRifOvw() {
  return RebuildOverview(*this, RIF_FILE);
}

int CNimbex::RebuildPlsOvw() {
  return RebuildOverview(*this, PLS_FILE);
}

int CNimbex::RebuildNormOvw() {
  return RebuildOverview(*this, NORM_FILE);
}
