// The clean filter, which thins a stream item by item, and the new stream that every stream
// filter writes.
#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/AsciiModel.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/processing/StreamFilter.h"

namespace fs = std::filesystem;

namespace {

// Two names give the same stream when they share folder and stem: every file of the set is
// named by replacing the extension.
bool SameStream(const fs::path& a, const fs::path& b) {
  std::error_code ignored;
  const auto key = [&ignored](const fs::path& path) {
    return fs::weakly_canonical(fs::absolute(path, ignored).replace_extension(), ignored);
  };
  return key(a) == key(b);
}

// The colour mode shown first must be one the new stream can show.
int CvmFor(int sourceCvm, int hasColors) {
  return sourceCvm == CVM_RGB && hasColors ? CVM_RGB : CVM_ELEVATION;
}

// The points the clean filter keeps, found in time that grows linearly with their number.
// The kept points are filed in the cells of a grid at least `radius` wide, so that a point
// is compared only with the kept points of its own cell and of the 26 around it: two points
// within `radius` of each other lie in the same or in adjacent cells. Only occupied cells
// are stored, sorted by their key; the neighbours of a cell in one row of the grid are then
// a run of consecutive cells, and the runs of all cells are found in one sweep per row.
class CSpacedPoints {
 public:
  CSpacedPoints(vtkPoints* points, double radius) {
    const vtkIdType count = points->GetNumberOfPoints();
    m_Xyz.resize(3 * static_cast<size_t>(count));
    for (vtkIdType i = 0; i < count; ++i) points->GetPoint(i, &m_Xyz[3 * i]);
    FileIntoCells(CellWidth(radius));
    FindNeighbourRuns();
    KeepPoints(radius * radius);
  }
  // Ids of the kept points, in the order of the cloud.
  const std::vector<vtkIdType>& GetKept() const { return m_Kept; }

 private:
  // A cell's key packs its indices along x, y and z (lowest bits first), each below 2^20 + 1,
  // so that stepping to a neighbour never carries into the next index.
  static constexpr int kAxisBits = 21;
  static constexpr uint64_t kAxisMask = (uint64_t(1) << kAxisBits) - 1;
  static constexpr double kMostCells = double(uint64_t(1) << (kAxisBits - 1));
  static constexpr int kRows = 9;  // rows of three cells around a cell, along x

  vtkIdType Count() const { return static_cast<vtkIdType>(m_Xyz.size() / 3); }
  const double* Point(vtkIdType id) const { return &m_Xyz[3 * id]; }
  // A point that is not finite is in no cell: it can neither reach nor be reached.
  static bool IsFinite(const double* p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
  }
  static uint64_t Index(uint64_t key, int axis) { return (key >> (kAxisBits * axis)) & kAxisMask; }

  // Cells wider than the radius find the same neighbours; the floor keeps every index within
  // its bits. Coincident points with radius 0 share one cell of any width.
  double CellWidth(double radius) {
    for (int axis = 0; axis < 3; ++axis) {
      m_Low[axis] = std::numeric_limits<double>::max();
      m_High[axis] = std::numeric_limits<double>::lowest();
    }
    for (vtkIdType i = 0; i < Count(); ++i)
      if (IsFinite(Point(i)))
        for (int axis = 0; axis < 3; ++axis) {
          m_Low[axis] = std::min(m_Low[axis], Point(i)[axis]);
          m_High[axis] = std::max(m_High[axis], Point(i)[axis]);
        }
    double extent = 0.0;
    for (int axis = 0; axis < 3; ++axis) extent = std::max(extent, m_High[axis] - m_Low[axis]);
    const double width = std::max(radius, extent / kMostCells);
    return width > 0.0 ? width : 1.0;
  }

  void FileIntoCells(double width) {
    std::vector<std::pair<uint64_t, vtkIdType>> filed;  // (cell key, point id)
    filed.reserve(static_cast<size_t>(Count()));
    for (vtkIdType i = 0; i < Count(); ++i) {
      if (!IsFinite(Point(i))) continue;
      uint64_t key = 0;
      for (int axis = 0; axis < 3; ++axis)
        key |= static_cast<uint64_t>((Point(i)[axis] - m_Low[axis]) / width) << (kAxisBits * axis);
      filed.emplace_back(key, i);
    }
    std::sort(filed.begin(), filed.end());
    // Each cell gets room for all its points, of which the kept ones fill the front.
    m_CellOf.assign(static_cast<size_t>(Count()), -1);
    for (size_t slot = 0; slot < filed.size(); ++slot) {
      if (slot == 0 || filed[slot].first != filed[slot - 1].first) {
        m_CellKeys.push_back(filed[slot].first);
        m_First.push_back(static_cast<vtkIdType>(slot));
      }
      m_CellOf[filed[slot].second] = static_cast<vtkIdType>(m_CellKeys.size()) - 1;
    }
    m_KeptIn.assign(m_CellKeys.size(), 0);
    m_KeptXyz.resize(3 * filed.size());
  }

  // For every cell and every row (dy, dz) around it, the run of occupied cells from x - 1 to
  // x + 1. Cells are sorted by key and so are the rows' starts: one pointer sweeps each row.
  void FindNeighbourRuns() {
    const auto cells = static_cast<vtkIdType>(m_CellKeys.size());
    m_RunFirst.resize(kRows * static_cast<size_t>(cells));
    m_RunLength.assign(kRows * static_cast<size_t>(cells), 0);
    int row = 0;
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy, ++row) {
        const uint64_t step = (uint64_t(int64_t(dz)) << (2 * kAxisBits)) +
                              (uint64_t(int64_t(dy)) << kAxisBits);  // wraps for -1, as meant
        vtkIdType first = 0;
        for (vtkIdType cell = 0; cell < cells; ++cell) {
          const uint64_t key = m_CellKeys[cell];
          if ((dy < 0 && Index(key, 1) == 0) || (dz < 0 && Index(key, 2) == 0)) continue;
          const uint64_t middle = key + step;
          const uint64_t start = Index(key, 0) > 0 ? middle - 1 : middle;
          while (first < cells && m_CellKeys[first] < start) ++first;
          vtkIdType end = first;
          while (end < cells && m_CellKeys[end] <= middle + 1) ++end;
          m_RunFirst[kRows * cell + row] = first;
          m_RunLength[kRows * cell + row] = static_cast<uint8_t>(end - first);
        }
      }
  }

  bool ReachesKept(const double* p, vtkIdType cell, double reach2) const {
    for (size_t run = kRows * size_t(cell); run < kRows * size_t(cell + 1); ++run)
      for (vtkIdType other = m_RunFirst[run]; other < m_RunFirst[run] + m_RunLength[run]; ++other) {
        const double* kept = &m_KeptXyz[3 * m_First[other]];
        for (vtkIdType k = 0; k < m_KeptIn[other]; ++k)
          if (vtkMath::Distance2BetweenPoints(p, kept + 3 * k) <= reach2) return true;
      }
    return false;
  }

  void KeepPoints(double reach2) {
    for (vtkIdType i = 0; i < Count(); ++i) {
      const vtkIdType cell = m_CellOf[i];
      if (cell >= 0) {
        if (ReachesKept(Point(i), cell, reach2)) continue;
        std::copy_n(Point(i), 3, &m_KeptXyz[3 * (m_First[cell] + m_KeptIn[cell]++)]);
      }
      m_Kept.push_back(i);
    }
  }

  std::vector<double> m_Xyz;
  double m_Low[3], m_High[3];
  std::vector<vtkIdType> m_CellOf;  // -1 for a point that is not finite
  std::vector<uint64_t> m_CellKeys;
  std::vector<vtkIdType> m_First, m_KeptIn;  // each cell's slots and how many it has filled
  std::vector<double> m_KeptXyz;             // the kept points, by cell
  std::vector<vtkIdType> m_RunFirst;
  std::vector<uint8_t> m_RunLength;
  std::vector<vtkIdType> m_Kept;
};

// Cleans one item and writes its buffers. Returns "" or why the item could not be cleaned:
// an item that holds points but cannot be read would be lost from the new stream.
std::string CleanItem(CNimbex& source, int id, double radius, CFilteredStream& stream) {
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> colors;
  colors->SetNumberOfComponents(3);
  colors->SetName("RGB");
  vtkUnsignedCharArray* wantedColors = source.HasColors() ? colors.Get() : nullptr;
  if (!source.LoadItemIO(source.GetDepth(), id, points, nullptr, nullptr, wantedColors, nullptr,
                         nullptr, nullptr, 1))
    return CFilteredStream::UnreadableItem(source, id);
  if (points->GetNumberOfPoints() == 0) return "";

  vtkNew<vtkPolyData> cloud;
  cloud->SetPoints(points);
  if (wantedColors) cloud->GetPointData()->SetScalars(wantedColors);

  CCleanPointsFilter cleaner;
  cleaner.Execute(cloud, radius);
  vtkPolyData* kept = cleaner.GetOutput();
  if (!kept || kept->GetNumberOfPoints() == 0) return "";
  if (!stream.WritePoints(id, kept->GetPoints())) return stream.GetWriteError();
  vtkDataArray* keptColors = kept->GetPointData()->GetArray("RGB");
  if (wantedColors && keptColors && !stream.WriteColors(id, keptColors))
    return stream.GetWriteError();
  stream.AddItem(id, kept->GetNumberOfPoints());
  return "";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CCleanPointsFilter

CCleanPointsFilter::~CCleanPointsFilter() {
  if (m_Output) m_Output->Delete();
}

void CCleanPointsFilter::Execute(vtkPolyData* input, double radius) {
  if (!input || !CFilteredStream::IsRadius(radius)) return;
  if (m_Output) m_Output->Delete();
  m_Output = vtkPolyData::New();
  vtkPoints* points = input->GetPoints();
  if (!points) return;

  const std::vector<vtkIdType> kept = CSpacedPoints(points, radius).GetKept();
  const auto count = static_cast<vtkIdType>(kept.size());
  vtkNew<vtkIdList> from, to;
  from->SetNumberOfIds(count);
  to->SetNumberOfIds(count);
  for (vtkIdType i = 0; i < count; ++i) {
    from->SetId(i, kept[i]);
    to->SetId(i, i);
  }
  vtkNew<vtkPoints> keptPoints;
  keptPoints->SetDataType(points->GetDataType());
  keptPoints->SetNumberOfPoints(count);
  points->GetPoints(from, keptPoints);
  m_Output->SetPoints(keptPoints);
  m_Output->SetVerts(VertexCells(count));
  vtkPointData* data = m_Output->GetPointData();
  data->CopyAllocate(input->GetPointData(), count);
  data->CopyData(input->GetPointData(), from, to);
}

// ---------------------------------------------------------------------------------------
// CNimbex::CleanFilter

int CNimbex::CleanFilter(double radius, char* outputPath, int* cancel, CProgressSink* progress,
                         CTextSink* status) {
  m_LastError.clear();
  if (m_Version < 0) return Fail("the stream " + m_FileName + " is not open");
  if (IsUnset(radius)) radius = m_LinearDensity;
  if (!CFilteredStream::IsRadius(radius)) return Fail(CFilteredStream::NotARadius(radius));

  CFilteredStream stream(*this, HasColors(), 0);
  const std::string refusal = stream.Prepare(outputPath);
  if (!refusal.empty()) return Fail(refusal);

  std::string problem =
      stream.FilterItems([&](int id) { return CleanItem(*this, id, radius, stream); },
                         "Cleaning items", cancel, progress, status);
  if (!problem.empty()) return Fail(problem);
  // Points closer than the radius were merged: the spacing cannot be below it any more.
  problem = stream.Finish(std::max(m_LinearDensity, radius), cancel, progress, status);
  return problem.empty() ? 1 : Fail(problem);
}

// ---------------------------------------------------------------------------------------
// CFilteredStream

CFilteredStream::CFilteredStream(CNimbex& source, int hasColors, int hasTriangles)
    : m_Source(source),
      m_Container(source.GetContainer() ? *source.GetContainer() : CContainer()),
      m_HasColors(hasColors),
      m_HasTriangles(hasTriangles) {
  m_Creator.SetGridDepth(source.GetDepth());
  m_Creator.PutTerrain(source.IsTerrain());
  m_Creator.PutRgb(hasColors);
  m_Creator.PutTri(hasTriangles);
  m_Creator.PutRif(0);
}

CFilteredStream::~CFilteredStream() {
  RemoveBuffers();
  if (m_Prepared && !m_Finished) RemoveWhatWasWritten();
}

std::string CFilteredStream::Prepare(char* outputPath) {
  if (!outputPath || !*outputPath) return "no file name was given for the new stream";
  std::error_code error;
  const fs::path output = fs::absolute(outputPath, error).lexically_normal();
  if (error) return std::string("cannot resolve the output name ") + outputPath;
  const std::string refusal = CheckOutputName(output);
  if (!refusal.empty()) return refusal;

  const fs::path folder = output.parent_path();
  if (!fs::is_directory(folder, error)) {
    if (!fs::create_directory(folder, error))
      return "cannot create the folder " + folder.string() + ": " + error.message();
    m_CreatedFolder = folder;
  }
  m_Output = output;
  std::snprintf(outputPath, PATH_MAX, "%s", output.c_str());
  m_Creator.SetOutputFileName(output.c_str());
  m_Prepared = true;
  return "";
}

// Nothing of the source nor of another stream may be replaced: every file of the new set
// must be new.
std::string CFilteredStream::CheckOutputName(const fs::path& output) const {
  if (output.string().size() >= PATH_MAX)
    return "the output name " + output.string() + " is too long";
  if (output.extension() != ".strm")
    return "the output " + output.string() + " must be a .strm file";
  std::error_code error;
  if (fs::exists(output, error))
    return "the stream " + output.string() + " exists already; give another name";
  if (SameStream(output, m_Source.GetStrmFileName()))
    return "the output " + output.string() +
           " would replace files of the stream it is made from; give another name";
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind) {
    const fs::path companion = GetStrmCompanionName(output, static_cast<StrmFileKind>(kind));
    if (fs::exists(companion, error))
      return "the output " + output.string() + " would replace " + companion.string() +
             "; move it away or give another name";
  }
  return CheckBufferNames(output);
}

// The item buffers take names of the output's stem ("<stem>_<id>.buf"): a file the run did
// not write must not be overwritten by one, and then removed with it.
std::string CFilteredStream::CheckBufferNames(const fs::path& output) const {
  std::vector<const char*> extensions = {"buf"};
  if (m_HasColors) extensions.push_back("rgbbuf");
  if (m_HasTriangles) extensions.push_back("tribuf");
  std::error_code error;
  for (const Item& item : m_Source.GetLevelItems(-1))
    for (const char* extension : extensions) {
      const fs::path buffer = GetBufferFileName(output, item.id, extension);
      if (fs::exists(buffer, error))
        return "making " + output.string() + " would overwrite " + buffer.string() +
               ", a file this run did not write; move it away or give another name";
    }
  return "";
}

std::string CFilteredStream::FilterItems(const std::function<std::string(int id)>& filterItem,
                                         const char* title, int* cancel, CProgressSink* progress,
                                         CTextSink* status) {
  if (status) status->SetText(title);
  if (progress) progress->SetRange(0, m_Source.GetItemCount(-1));
  int done = 0;
  for (const Item& item : m_Source.GetLevelItems(-1)) {
    if (cancel && *cancel) return "filtering cancelled: nothing was written";
    const std::string problem = item.ptsCount > 0 ? filterItem(item.id) : "";
    if (!problem.empty()) return problem;
    if (progress) progress->SetPos(++done);
    PumpMsgs();
  }
  return "";
}

fs::path CFilteredStream::BufferPath(int id, const char* extension) const {
  return GetBufferFileName(m_Output, id, extension);
}

bool CFilteredStream::WriteBuffer(int id, const char* extension, const void* data, size_t bytes) {
  const fs::path path = BufferPath(id, extension);
  // Created exclusively: a file that appeared since the names were checked stays the owner's.
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file) m_Buffers.push_back(path);
  bool written = file && std::fwrite(data, 1, bytes, file) == bytes;
  if (file && std::fclose(file) != 0) written = false;
  if (!written && m_WriteError.empty())
    m_WriteError = "cannot write " + path.string() + ": " + std::strerror(errno);
  return written;
}

// Coordinates are stored as the nearest float.
bool CFilteredStream::WritePoints(int id, vtkPoints* points) {
  std::vector<float> xyz(static_cast<size_t>(points->GetNumberOfPoints()) * 3);
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    const double* p = points->GetPoint(i);
    for (int axis = 0; axis < 3; ++axis) xyz[3 * i + axis] = static_cast<float>(p[axis]);
  }
  return WriteBuffer(id, "buf", xyz.data(), xyz.size() * sizeof(float));
}

// Components are truncated toward zero, as colour arrays of other types than bytes need.
bool CFilteredStream::WriteColors(int id, vtkDataArray* colors) {
  std::vector<unsigned char> rgb(static_cast<size_t>(colors->GetNumberOfTuples()) * 3);
  for (vtkIdType i = 0; i < colors->GetNumberOfTuples(); ++i)
    for (int c = 0; c < 3; ++c) {
      const double value =
          colors->GetComponent(i, std::min(c, colors->GetNumberOfComponents() - 1));
      rgb[3 * i + c] = static_cast<unsigned char>(std::clamp(std::trunc(value), 0.0, 255.0));
    }
  return WriteBuffer(id, "rgbbuf", rgb.data(), rgb.size());
}

// Polygons of more than three corners are split into a fan of triangles.
bool CFilteredStream::WriteTriangles(int id, vtkCellArray* polygons) {
  std::vector<int32_t> corners;
  vtkIdType count = 0;
  const vtkIdType* ids = nullptr;
  for (polygons->InitTraversal(); polygons->GetNextCell(count, ids);)
    for (vtkIdType k = 1; k + 1 < count; ++k)
      corners.insert(corners.end(), {static_cast<int32_t>(ids[0]), static_cast<int32_t>(ids[k]),
                                     static_cast<int32_t>(ids[k + 1])});
  return WriteBuffer(id, "tribuf", corners.data(), corners.size() * sizeof(int32_t));
}

bool CFilteredStream::IsRadius(double radius) {
  return radius >= 0.0 && std::isfinite(radius);
}

std::string CFilteredStream::NotARadius(double radius) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", radius);
  return std::string("the radius must be 0 or more, not ") + text;
}

std::string CFilteredStream::UnreadableItem(const CNimbex& source, int id) {
  return "cannot read the points of item " + std::to_string(id) + " of " +
         source.GetStrmFileName() + ": " + source.GetLoadError() + "; nothing was written";
}

void CFilteredStream::AddItem(int id, long long points) {
  m_Creator.GetItemsIds()->push_back(id);
  m_PointsCount += points;
}

// The header describes the new stream: its own points, all of them in class 0 (the class
// files the classification step writes are zero), its own items, no border copies.
bool CFilteredStream::WriteHeader(double linearDensity) {
  double bounds[6], offset[3];
  m_Source.GetBounds(bounds);
  m_Source.GetOffset(offset);
  std::vector<int> classes(GetPointClassNumber(), 0);
  classes[0] = static_cast<int>(m_PointsCount);
  const double* elevation = m_Source.GetElevationRange();
  const double absoluteElevation[2] = {elevation[0] + offset[2], elevation[1] + offset[2]};
  const fs::path header = GetStrmCompanionName(m_Output, PCI_FILE);
  WriteStrmHeaderFile(
      header.c_str(), STRM_VERSION, m_Source.IsTerrain(), static_cast<int>(m_PointsCount), bounds,
      offset, m_Source.GetDepth(), static_cast<int>(classes.size()), classes.data(), linearDensity,
      static_cast<int>(m_Creator.GetItemsIds()->size()), 0, m_Source.GetIntensityRange(),
      CvmFor(m_Source.GetCVM(), m_HasColors), absoluteElevation, 0);
  std::error_code error;
  return fs::file_size(header, error) ==
         static_cast<uintmax_t>(GetStrmHeaderSize(STRM_VERSION, static_cast<int>(classes.size())));
}

std::string CFilteredStream::Finish(double linearDensity, int* cancel, CProgressSink* progress,
                                    CTextSink* status) {
  if (m_PointsCount == 0)
    return "no item of " + std::string(m_Source.GetStrmFileName()) +
           " gave a point to write: there is no stream to make";
  if (m_PointsCount > INT_MAX)
    return "the new stream would hold " + std::to_string(m_PointsCount) +
           " points, more than a stream can count";
  if (!WriteHeader(linearDensity))
    return "cannot write the stream header " + GetStrmCompanionName(m_Output, PCI_FILE).string();
  std::string problem = RunCreationSteps(cancel, progress, status);
  if (problem.empty()) problem = CheckResult();
  if (problem.empty()) m_Finished = true;
  return problem;
}

std::string CFilteredStream::RunCreationSteps(int* cancel, CProgressSink* progress,
                                              CTextSink* status) {
  const fs::path headerPath = GetStrmCompanionName(m_Output, PCI_FILE);
  std::FILE* header = std::fopen(headerPath.c_str(), "rb+");
  if (!header) return "cannot write the stream header " + headerPath.string();
  std::fseek(header, 0, SEEK_END);
  m_Creator.SetContainer(&m_Container);
  std::FILE* files[ST_COUNT] = {};
  std::vector<Item*> items;
  if (status) status->SetText("Merging items");
  const int merged =
      m_Creator.ThirdStep_Merging(&items, header, files[0], files[1], files[2], files[3], files[4],
                                  files[5], files[6], cancel, nullptr, progress, nullptr, nullptr);
  int overviewed = 1;
  if (merged && m_Source.GetDepth() > 0 && !(cancel && *cancel)) {
    if (status) status->SetText("Building overviews");
    overviewed = m_Creator.FourthStep_Overviewing(&items, header, files[0], files[1], files[2],
                                                  files[3], files[4], files[5], files[6], cancel,
                                                  nullptr, nullptr, nullptr, nullptr);
  }
  for (std::FILE*& file : files)
    if (file) std::fclose(file), file = nullptr;
  RemoveBuffers();
  CStreamCreator::FreeItemArrayItems(items);
  const bool headerClosed = std::fclose(header) == 0;
  m_Creator.SetContainer(nullptr);
  if (cancel && *cancel) return "filtering cancelled: nothing was written";
  if (!merged || !overviewed) return "cannot make the new stream: " + m_Creator.GetLastError();
  if (!headerClosed) return "cannot write the stream header " + headerPath.string();

  m_Creator.SetPointsCount(static_cast<int>(m_PointsCount));
  m_Creator.SetContainer(&m_Container);
  // Returns 0 without writing anything when there are no overview points: not a failure.
  m_Creator.FifthStep_Classifing(cancel, nullptr, nullptr, nullptr, nullptr);
  m_Creator.SetContainer(nullptr);
  return "";
}

// The stream must open and hold the points written.
std::string CFilteredStream::CheckResult() const {
  CNimbex result(m_Output.c_str());
  if (!result.OpenStrmCloud())
    return "the new stream was written but cannot be opened: " + result.GetLastError();
  long long stored = 0;
  for (const Item& item : result.GetLevelItems(-1)) stored += item.ptsCount;
  if (stored != m_PointsCount)
    return "the new stream holds " + std::to_string(stored) + " points instead of " +
           std::to_string(m_PointsCount) + " (is the disk full?)";
  return "";
}

void CFilteredStream::RemoveBuffers() {
  for (const fs::path& buffer : m_Buffers) {
    std::error_code ignored;
    fs::remove(buffer, ignored);
  }
  m_Buffers.clear();
}

void CFilteredStream::RemoveWhatWasWritten() {
  m_Creator.CancelCreation(m_Output.parent_path().c_str());
  std::error_code ignored;
  fs::remove(GetStrmCompanionName(m_Output, PCI_FILE), ignored);
  if (!m_CreatedFolder.empty()) fs::remove(m_CreatedFolder, ignored);  // only when empty
}
