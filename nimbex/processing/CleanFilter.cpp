// The clean filter, which thins a stream item by item, and the new stream that every stream
// filter writes.
#include <vtkCellArray.h>
#include <vtkCleanPolyData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
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
  // The cleaner keeps only points that some cell uses.
  cloud->SetVerts(VertexCells(cloud->GetNumberOfPoints()));
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
  if (m_Cleaner) m_Cleaner->Delete();
}

void CCleanPointsFilter::Execute(vtkPolyData* input, double radius) {
  if (!input || IsUnset(radius)) return;
  if (m_Cleaner) m_Cleaner->Delete();
  m_Cleaner = vtkCleanPolyData::New();
  m_Cleaner->ToleranceIsAbsoluteOn();
  m_Cleaner->SetAbsoluteTolerance(radius);
  m_Cleaner->ConvertLinesToPointsOff();
  m_Cleaner->ConvertPolysToLinesOff();
  m_Cleaner->ConvertStripsToPolysOff();
  m_Cleaner->PointMergingOn();
  m_Cleaner->SetInputData(input);
  m_Cleaner->Update();
  m_Output = m_Cleaner->GetOutput();
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
