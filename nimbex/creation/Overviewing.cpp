// Overviews: each coarser level keeps a regular sample of its children's points (or a
// decimated mesh); classification gives input without classes all-zero class files.
#include <vtkCellArray.h>
#include <vtkDecimatePro.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "nimbex/creation/CreationWorker.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"

namespace {

struct OverviewFile {
  StreamType type;
  const char* extension;
  int recordSize;
};

// The overview companions, in the order of the data handles of the step: the handle arrays
// below are indexed by this slot, not by the buffer type.
constexpr OverviewFile kOverviewFiles[ST_COUNT] = {
    {ST_POINTS, "ovw", 12},        {ST_TRIANGLES, "triovw", 12}, {ST_COLORS, "rgbovw", 3},
    {ST_INTENSITIES, "rifovw", 4}, {ST_CLASSES, "claovw", 1},    {ST_PULSES, "plsovw", 1},
    {ST_NORMALS, "normovw", 12}};

constexpr int kPointsSlot = 0;
constexpr int kTrianglesSlot = 1;

constexpr long long kZeroChunk = 1000000;

std::vector<char> ReadAt(std::FILE* file, int64_t position, size_t bytes) {
  std::vector<char> data(bytes);
  if (bytes == 0) return data;
  fseeko(file, position, SEEK_SET);
  data.resize(std::fread(data.data(), 1, bytes, file));
  return data;
}

int64_t EndPosition(std::FILE* file) {
  fseeko(file, 0, SEEK_END);
  return ftello(file);
}

void AppendAtEnd(std::FILE* file, const void* data, size_t bytes) {
  fseeko(file, 0, SEEK_END);
  if (bytes) std::fwrite(data, 1, bytes, file);
}

}  // namespace

// One level of overviews: the parents of `children` (sorted by id) at `depth`, their data
// read from `sources` and appended to `targets`.
std::vector<std::unique_ptr<Item>> CStreamCreator::BuildOverviewLevel(
    const std::vector<Item*>& children, int depth, std::FILE* const sources[ST_COUNT],
    std::FILE* const targets[ST_COUNT], std::FILE* header) {
  const int dimensions = m_Container->GetDimensionCount();
  const long long fanOut = 1LL << dimensions;
  std::vector<std::unique_ptr<Item>> parents;
  std::vector<ChildrenRun> runs;
  size_t next = 0;
  for (long long parent = 0; parent < GetCellCount(depth, m_IsTerrain) && next < children.size();
       ++parent) {
    const size_t first = next;
    while (next < children.size() && children[next]->id <= (parent + 1) * fanOut - 1) ++next;
    const size_t runLength = next - first;
    if (runLength == 0 || runLength > static_cast<size_t>(fanOut)) continue;

    long long points = 0, bytes = 0;
    for (size_t c = first; c < next; ++c) {
      points += children[c]->ptsCount;
      bytes += children[c]->ptsBytes;
    }
    const long long kept = points / fanOut;
    if (kept == 0) continue;

    auto item = std::make_unique<Item>();
    const Item& firstChild = *children[first];
    item->id = m_Container->GetItemId(firstChild.center, 0, depth);
    double bounds[6];
    double* center = m_Container->GetItemCenter(item->id, 0, depth, bounds);
    if (!center) continue;
    std::copy(center, center + 3, item->center);
    delete[] center;
    for (int d = 0; d < 3; ++d)
      item->size[d] = static_cast<float>(bounds[2 * d + 1] - bounds[2 * d]);
    parents.push_back(std::move(item));
    runs.push_back({first, next, firstChild.ptsPos, bytes / STRM_POINT_BYTES, kept});
  }

  if (m_HasTri) {
    for (size_t p = 0; p < parents.size(); ++p) {
      parents[p]->ptsPos = EndPosition(targets[kPointsSlot]);
      DecimateChildren(children, runs[p].first, runs[p].last, sources, targets, *parents[p]);
    }
  } else {
    SampleLevel(runs, sources, targets, parents);
  }
  for (const auto& item : parents) std::fwrite(item.get(), sizeof(Item), 1, header);
  return parents;
}

// The points of a level's parents, and their attributes: with two threads a worker samples
// the attribute files while this thread samples the points.
void CStreamCreator::SampleLevel(const std::vector<ChildrenRun>& runs,
                                 std::FILE* const sources[ST_COUNT],
                                 std::FILE* const targets[ST_COUNT],
                                 std::vector<std::unique_ptr<Item>>& parents) {
  auto sampleAttributes = [&](size_t p) {
    for (int slot = kTrianglesSlot + 1; slot < ST_COUNT; ++slot)
      SampleSlot(slot, runs[p], sources, targets);
  };
  std::unique_ptr<CCreationWorker> worker;
  if (m_CreationThreads > 1)
    worker = std::make_unique<CCreationWorker>([&](const std::atomic<bool>& stop) {
      for (size_t p = 0; p < runs.size() && !stop; ++p) sampleAttributes(p);
    });
  for (size_t p = 0; p < parents.size(); ++p) {
    Item& parent = *parents[p];
    parent.ptsPos = EndPosition(targets[kPointsSlot]);
    SampleSlot(kPointsSlot, runs[p], sources, targets);
    if (!worker) sampleAttributes(p);
    parent.ptsCount = static_cast<int32_t>(runs[p].kept);
    parent.ptsBytes = parent.ptsCount * STRM_POINT_BYTES;
    m_OvwPointsCount += parent.ptsCount;
  }
  if (worker) worker->Finish(nullptr);
}

// Keeps every 2^D-th record of the children's run in one overview file, up to the parent's
// kept points.
void CStreamCreator::SampleSlot(int slot, const ChildrenRun& run,
                                std::FILE* const sources[ST_COUNT],
                                std::FILE* const targets[ST_COUNT]) const {
  const OverviewFile& file = kOverviewFiles[slot];
  if (!sources[slot] || !targets[slot]) return;
  const long long stride = 1LL << m_Container->GetDimensionCount();
  const int64_t position = run.pointsPosition / STRM_POINT_BYTES * file.recordSize;
  const std::vector<char> data = ReadAt(sources[slot], position, run.points * file.recordSize);
  const long long available = static_cast<long long>(data.size()) / file.recordSize;
  const long long taken = std::min(run.kept, (available + stride - 1) / stride);
  std::vector<char> sample(static_cast<size_t>(taken * file.recordSize));
  for (long long j = 0; j < taken; ++j)
    std::memcpy(sample.data() + j * file.recordSize, data.data() + j * stride * file.recordSize,
                file.recordSize);
  AppendAtEnd(targets[slot], sample.data(), sample.size());
}

// Joins the children's meshes and halves their triangles; meshes carry no attributes.
void CStreamCreator::DecimateChildren(const std::vector<Item*>& children, size_t first, size_t last,
                                      std::FILE* const sources[ST_COUNT],
                                      std::FILE* const targets[ST_COUNT], Item& parent) {
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> triangles;
  for (size_t c = first; c < last; ++c) {
    const Item& child = *children[c];
    const vtkIdType base = points->GetNumberOfPoints();
    const std::vector<char> xyz = ReadAt(sources[kPointsSlot], child.ptsPos, child.ptsBytes);
    const float* p = reinterpret_cast<const float*>(xyz.data());
    for (size_t i = 0; i + 3 <= xyz.size() / sizeof(float); i += 3)
      points->InsertNextPoint(p[i], p[i + 1], p[i + 2]);
    if (!sources[kTrianglesSlot]) continue;
    const std::vector<char> ids = ReadAt(sources[kTrianglesSlot], child.triPos,
                                         static_cast<size_t>(child.triCount) * STRM_TRIANGLE_BYTES);
    const int32_t* t = reinterpret_cast<const int32_t*>(ids.data());
    for (size_t i = 0; i + 3 <= ids.size() / sizeof(int32_t); i += 3) {
      vtkIdType cell[3] = {base + t[i], base + t[i + 1], base + t[i + 2]};
      triangles->InsertNextCell(3, cell);
    }
  }
  vtkNew<vtkPolyData> mesh;
  mesh->SetPoints(points);
  mesh->SetPolys(triangles);
  vtkNew<vtkDecimatePro> decimate;
  decimate->SetInputData(mesh);
  decimate->SetTargetReduction(0.5);
  decimate->Update();
  vtkPolyData* result = decimate->GetOutput();

  std::vector<float> xyz;
  for (vtkIdType i = 0; i < result->GetNumberOfPoints(); ++i) {
    const double* p = result->GetPoint(i);
    xyz.insert(xyz.end(),
               {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
  }
  AppendAtEnd(targets[kPointsSlot], xyz.data(), xyz.size() * sizeof(float));
  parent.ptsCount = static_cast<int32_t>(result->GetNumberOfPoints());
  parent.ptsBytes = parent.ptsCount * STRM_POINT_BYTES;
  m_OvwPointsCount += parent.ptsCount;

  std::vector<int32_t> ids;
  vtkCellArray* polys = result->GetPolys();
  polys->InitTraversal();
  vtkIdType npts = 0;
  const vtkIdType* cell = nullptr;
  while (polys->GetNextCell(npts, cell))
    if (npts == 3) ids.insert(ids.end(), {int32_t(cell[0]), int32_t(cell[1]), int32_t(cell[2])});
  if (targets[kTrianglesSlot]) {
    fseeko(targets[kTrianglesSlot], 0, SEEK_END);
    parent.triPos = ftello(targets[kTrianglesSlot]);
    AppendAtEnd(targets[kTrianglesSlot], ids.data(), ids.size() * sizeof(int32_t));
  }
  parent.triCount = static_cast<int32_t>(ids.size() / 3);
}

int CStreamCreator::FourthStep_Overviewing(std::vector<Item*>* items, std::FILE*& header,
                                           std::FILE*& points, std::FILE*& triangles,
                                           std::FILE*& colors, std::FILE*& intensities,
                                           std::FILE*& classes, std::FILE*& pulses,
                                           std::FILE*& normals, int*, CMessageSink*, CProgressSink*,
                                           CTextSink*, CTextSink*) {
  if (!items || m_GridDepth == 0 || !m_Container) return 0;
  const int flags[ST_COUNT] = {1,
                               m_HasTri,
                               m_HasRgb && !m_HasTri,
                               m_HasRif && !m_HasTri,
                               m_HasCla && !m_HasTri,
                               m_HasPulses && !m_HasTri,
                               m_HasNorm && !m_HasTri};
  std::FILE* overview[ST_COUNT] = {};
  for (int i = 0; i < ST_COUNT; ++i)
    if (flags[i]) overview[i] = CreateStreamFile(kOverviewFiles[i].extension, "w+b");
  std::FILE* fullResolution[ST_COUNT] = {points,  triangles, colors, intensities,
                                         classes, pulses,    normals};

  std::vector<Item*> source(*items);
  std::vector<std::unique_ptr<Item>> previous;
  for (int depth = m_GridDepth - 1; depth >= 0 && !source.empty(); --depth) {
    const int64_t countPosition = ftello(header);
    const int32_t placeholder = 0;
    std::fwrite(&placeholder, sizeof placeholder, 1, header);
    std::vector<std::unique_ptr<Item>> level = BuildOverviewLevel(
        source, depth, depth == m_GridDepth - 1 ? fullResolution : overview, overview, header);
    if (!level.empty()) {
      const int32_t count = static_cast<int32_t>(level.size());
      fseeko(header, countPosition, SEEK_SET);
      std::fwrite(&count, sizeof count, 1, header);
      fseeko(header, 0, SEEK_END);
    }
    previous = std::move(level);
    source.clear();
    for (const auto& item : previous) source.push_back(item.get());
  }
  for (int i = 0; i < ST_COUNT; ++i)
    if (overview[i] && std::fclose(overview[i]) != 0 && m_WriteError.empty())
      m_WriteError =
          "cannot write " + StreamFilePath(kOverviewFiles[i].extension) + " (is the disk full?)";
  return m_WriteError.empty() ? 1 : 0;
}

int CStreamCreator::WriteZeroClassFile(const char* extension, long long bytes) {
  std::FILE* file = CreateStreamFile(extension, "wb");
  if (!file) return 0;
  const std::vector<char> zeros(static_cast<size_t>(std::min(kZeroChunk, std::max(bytes, 1LL))), 0);
  for (long long left = bytes; left > 0; left -= kZeroChunk)
    std::fwrite(zeros.data(), 1, static_cast<size_t>(std::min(left, kZeroChunk)), file);
  if (std::fclose(file) != 0 && m_WriteError.empty())
    m_WriteError = "cannot write " + StreamFilePath(extension) + " (is the disk full?)";
  return 1;
}

int CStreamCreator::FifthStep_Classifing(int*, CMessageSink*, CProgressSink*, CTextSink*,
                                         CTextSink*) {
  if (m_OvwPointsCount == 0) return 0;
  // One class byte per stored point: the points file, border copies included.
  std::error_code ignored;
  const long long stored =
      static_cast<long long>(std::filesystem::file_size(StreamFilePath("strm"), ignored)) /
      STRM_POINT_BYTES;
  if (!WriteZeroClassFile("cla", stored)) return 0;
  if (m_GridDepth >= 1 && !WriteZeroClassFile("claovw", m_OvwPointsCount)) return 0;
  return 1;
}
