// Gridding of the inputs the library reads itself: VTP models, PTX scans and ASCII point
// files, named in a list file. Models go through WriteVtpOnStream, which can also copy
// points near a cell face into the neighbouring cell; PTX points go straight to the cells.
#include <vtkDataArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkThinPlateSplineTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <tuple>
#include <utility>
#include <vector>

#include "nimbex/creation/AsciiModel.h"
#include "nimbex/creation/GlobalBounds.h"
#include "nimbex/creation/PtxReader.h"
#include "nimbex/creation/ScanText.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/creation/VtpReader.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/platform/Hooks.h"

namespace fs = std::filesystem;

namespace {

constexpr int kProgressInterval = 10000;
// Default records written at once when an attribute arrives late.
constexpr long long kBackfillRecords = 4096;

// Moves every point of a model by `shift`.
void ShiftModel(vtkPolyData* model, const double shift[3]) {
  vtkPoints* points = model->GetPoints();
  if (!points) return;
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    double p[3];
    points->GetPoint(i, p);
    points->SetPoint(i, p[0] + shift[0], p[1] + shift[1], p[2] + shift[2]);
  }
  points->Modified();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Writing one model

// The model arrays that carry attributes, looked up by name.
CStreamCreator::ModelArrays CStreamCreator::FindModelArrays(vtkPolyData* model) {
  vtkPointData* data = model->GetPointData();
  return {data->GetArray("RGB"), data->GetArray("Intensity"), data->GetArray("Normals")};
}

int CStreamCreator::AcquireWithNeighbour(const bool wanted[ST_COUNT], CellBuffers& current,
                                         int neighbourId, CellBuffers& neighbour) {
  int missing = 0;
  for (int type = 0; type < ST_COUNT; ++type)
    if (wanted[type] && !m_BufMaps[type].count(neighbourId)) ++missing;
  // Closing the pool for the neighbour would close the current cell's buffers too: take the
  // current cell's buffers again first, so the point's own cell always stays writable.
  if (missing > 0 && GetOpenedStreamsCount() + missing > m_MaxOpenBuffers - 1) {
    CloseAllBufFiles();
    AcquireCellBuffers(current.cellId, wanted, current);
  }
  return AcquireCellBuffers(neighbourId, wanted, neighbour);
}

void CStreamCreator::WriteModelRecord(const CellBuffers& buffers, const float local[3],
                                      const ModelPoint& point) {
  Stage(buffers, ST_POINTS, local, 3 * sizeof(float));
  if (buffers.staging[ST_COLORS]) Stage(buffers, ST_COLORS, point.rgb, 3);
  if (buffers.staging[ST_INTENSITIES]) {
    Stage(buffers, ST_INTENSITIES, &point.intensity, sizeof point.intensity);
    m_IntensityRange[0] = std::min<double>(m_IntensityRange[0], point.intensity);
    m_IntensityRange[1] = std::max<double>(m_IntensityRange[1], point.intensity);
  }
  if (buffers.staging[ST_NORMALS]) Stage(buffers, ST_NORMALS, point.normal, sizeof point.normal);
}

// The neighbour a point near a cell face is copied into: the cell across the nearest face
// when that face is closer than the GSD; -1 otherwise.
int CStreamCreator::FindBorderNeighbour(const CCellLocator& locator, int cellId,
                                        const float local[3]) const {
  double bounds[6];
  if (!m_Container->GetItemBounds(cellId, m_GridDepth, bounds)) return -1;
  int nearest = -1;
  double distance = 0.0;
  bool towardsUpper = false;
  for (int d = 0; d < m_Container->GetDimensionCount(); ++d) {
    const double center = (bounds[2 * d] + bounds[2 * d + 1]) / 2;
    const bool upper = local[d] >= center;
    const double toFace = upper ? bounds[2 * d + 1] - local[d] : local[d] - bounds[2 * d];
    if (nearest < 0 || toFace < distance) {
      nearest = d;
      distance = toFace;
      towardsUpper = upper;
    }
  }
  if (nearest < 0 || !(distance < m_GSD)) return -1;
  double mirrored[3] = {local[0], local[1], local[2]};
  mirrored[nearest] += towardsUpper ? 2 * distance : -2 * distance;
  const int neighbour = locator.Locate(mirrored);
  return neighbour == cellId ? -1 : neighbour;
}

void CStreamCreator::WriteVtpOnStream(vtkPolyData* model, int* cancel, CMessageSink*,
                                      CProgressSink* progress, CTextSink*, CTextSink* percent) {
  if (!model || !m_Container || !model->GetPoints()) return;
  const ModelArrays arrays = FindModelArrays(model);
  AddModelAttributes(arrays.colors != nullptr, arrays.intensities != nullptr,
                     arrays.normals != nullptr);
  const bool wanted[ST_COUNT] = {true,  m_HasRgb != 0, m_HasRif != 0, false,
                                 false, false,         m_HasNorm != 0};
  const CCellLocator locator(*m_Container, m_GridDepth);
  const vtkIdType count = model->GetNumberOfPoints();
  if (progress) progress->SetRange(0, static_cast<int>(std::min<vtkIdType>(count, INT_MAX)));

  CellBuffers current, neighbour;
  bool complete = false;
  for (vtkIdType i = 0; i < count; ++i) {
    const double* p = model->GetPoint(i);
    const float local[3] = {static_cast<float>(p[0]), static_cast<float>(p[1]),
                            static_cast<float>(p[2])};
    const double stored[3] = {local[0], local[1], local[2]};
    const int cellId = locator.Locate(stored);
    if (cellId < 0) {
      ++m_DroppedPointsCount;
    } else {
      if (cellId != current.cellId) {
        RegisterCell(cellId);
        complete = AcquireCellBuffers(cellId, wanted, current);
      }
      const ModelPoint point = ReadModelPoint(arrays, i);
      if (!complete) {
        ++m_DroppedPointsCount;
      } else {
        WriteModelRecord(current, local, point);
        ++m_GriddedPointsCount;
        const int across = m_GSD > 0 ? FindBorderNeighbour(locator, cellId, local) : -1;
        if (across >= 0) {
          RegisterCell(across);
          if (AcquireWithNeighbour(wanted, current, across, neighbour)) {
            WriteModelRecord(neighbour, local, point);
            ++m_BorderCopiesCount;
          }
        }
      }
    }
    if (IsCancelled(cancel)) {
      CancelCreation(m_WorkFolder.c_str());
      return;
    }
    if ((i + 1) % kProgressInterval == 0) {
      if (progress) progress->SetPos(static_cast<int>(i + 1));
      if (percent) percent->SetText(std::to_string((i + 2) * 100 / count) + "%");
      PumpMsgs();
    }
  }
}

// A stream keeps every attribute any of its models or scans brings, whatever their order. An
// attribute that arrives after points were gridded gives those points the default record
// (ModelPoint's), as later inputs without it get: every attribute buffer of a cell stays in
// step with its points.
void CStreamCreator::AddModelAttributes(bool colors, bool intensities, bool normals) {
  const std::tuple<bool, int&, StreamType> attributes[] = {{colors, m_HasRgb, ST_COLORS},
                                                           {intensities, m_HasRif, ST_INTENSITIES},
                                                           {normals, m_HasNorm, ST_NORMALS}};
  for (const auto& [brought, kept, type] : attributes) {
    if (!brought || kept) continue;
    BackfillAttribute(type);
    kept = 1;
  }
}

void CStreamCreator::BackfillAttribute(StreamType type) {
  const ModelPoint defaults;
  const std::pair<const void*, size_t> records[ST_COUNT] = {
      {}, {defaults.rgb, 3}, {&defaults.intensity, 4}, {}, {}, {}, {defaults.normal, 12}};
  const auto [record, size] = records[type];
  std::vector<char> block(kBackfillRecords * size);
  for (size_t at = 0; at < block.size(); at += size) std::memcpy(&block[at], record, size);

  CloseAllBufFiles();  // every staged point record reaches its buffer first
  long long filled = 0;
  for (const int cellId : m_ItemsIds) {
    std::error_code absent;
    long long missing = static_cast<long long>(
        fs::file_size(BufferPath(ST_POINTS, cellId), absent) / (3 * sizeof(float)));
    if (absent || missing == 0) continue;
    std::FILE* file = OpenBufStream(type, cellId);
    filled += missing;
    while (missing > 0) {
      const size_t count = static_cast<size_t>(std::min<long long>(missing, kBackfillRecords));
      if (!file || std::fwrite(block.data(), size, count, file) != count) {
        if (m_WriteError.empty())
          m_WriteError =
              "cannot write the buffer files of " + m_OutputFileName + " (is the disk full?)";
        break;
      }
      missing -= static_cast<long long>(count);
    }
  }
  CloseAllBufFiles();
  if (type == ST_INTENSITIES && filled > 0) {
    m_IntensityRange[0] = std::min<double>(m_IntensityRange[0], defaults.intensity);
    m_IntensityRange[1] = std::max<double>(m_IntensityRange[1], defaults.intensity);
  }
}

CStreamCreator::ModelPoint CStreamCreator::ReadModelPoint(const ModelArrays& a, long long i) const {
  ModelPoint point;
  if (m_HasRgb && a.colors && a.colors->GetNumberOfComponents() >= 3)
    for (int c = 0; c < 3; ++c)
      point.rgb[c] =
          static_cast<unsigned char>(static_cast<long long>(a.colors->GetComponent(i, c)) & 0xFF);
  if (m_HasRif && a.intensities)
    point.intensity = static_cast<float>(a.intensities->GetComponent(i, 0));
  if (m_HasNorm && a.normals && a.normals->GetNumberOfComponents() >= 3)
    for (int c = 0; c < 3; ++c) point.normal[c] = static_cast<float>(a.normals->GetComponent(i, c));
  return point;
}

// ---------------------------------------------------------------------------------------
// Warping a model onto the points gridded before it

vtkTransformPolyDataFilter* CStreamCreator::m_MorphPolyData(vtkPolyData*& model) {
  if (!model || !m_Container || model->GetNumberOfPoints() == 0) return nullptr;
  // Model and gridded points are compared in the stream's local frame, where both are.
  double modelBounds[6];
  model->GetBounds(modelBounds);
  const Wml::Box3<double> box = Wml::MakeAlignedBox(modelBounds);
  int* ids = nullptr;
  int count = 0;
  if (!m_Container->GetItemArray(m_GridDepth, &box, 1, &ids, &count)) return nullptr;

  CloseAllBufFiles();  // every staged record reaches its buffer before the buffers are read
  vtkNew<vtkPoints> gridded;
  for (int i = 0; i < count; ++i) {
    std::FILE* buffer = std::fopen(BufferPath(ST_POINTS, ids[i]).c_str(), "rb");
    if (!buffer) continue;
    float p[3];
    while (std::fread(p, sizeof p, 1, buffer) == 1) gridded->InsertNextPoint(p[0], p[1], p[2]);
    std::fclose(buffer);
  }
  delete[] ids;
  if (gridded->GetNumberOfPoints() == 0) return nullptr;

  vtkNew<vtkPolyData> reference;
  reference->SetPoints(gridded);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(reference);
  locator->BuildLocator();
  const double spacing = m_GSD > 0 ? m_GSD : ComputeGroundStep(model);
  // About 256 landmarks; a model with fewer points uses every point.
  const vtkIdType stride = std::max<vtkIdType>(1, model->GetNumberOfPoints() / 256);
  vtkNew<vtkPoints> source, target;
  for (vtkIdType i = 0; i < model->GetNumberOfPoints(); i += stride) {
    double m[3];
    model->GetPoint(i, m);
    source->InsertNextPoint(m);
    double distance2 = 0;
    const vtkIdType closest = locator->FindClosestPointWithinRadius(spacing, m, distance2);
    if (closest >= 0 && distance2 < 3 * spacing)
      target->InsertNextPoint(gridded->GetPoint(closest));
    else
      target->InsertNextPoint(m);
  }
  vtkNew<vtkThinPlateSplineTransform> warp;
  warp->SetSourceLandmarks(source);
  warp->SetTargetLandmarks(target);
  warp->SetBasisToR();
  vtkTransformPolyDataFilter* filter = vtkTransformPolyDataFilter::New();
  filter->SetInputData(model);
  filter->SetTransform(warp);
  filter->Update();
  model = filter->GetOutput();
  return filter;
}

// ---------------------------------------------------------------------------------------
// The list of inputs

void CStreamCreator::ReportDamagedInput(const std::string& problem) {
  m_DamagedInputs.push_back(problem);
  Report(problem);
}

// Reads one listed model into the stream's local frame; null (and a damaged input reported)
// when it cannot be read. The caller releases the model.
vtkPolyData* CStreamCreator::ReadListedModel(const std::string& path) {
  vtkSmartPointer<vtkPolyData> model;
  double toLocal[3] = {-m_Offset[0], -m_Offset[1], -m_Offset[2]};
  if (m_Format == SCF_VTP_LIST) {
    std::string error;
    model = ReadVtpModel(path, error);
    if (!model) {
      ReportDamagedInput(error);
      return nullptr;
    }
    double offset[3];
    ReadVtwOffset(path, offset);
    for (int d = 0; d < 3; ++d) toLocal[d] += offset[d];
  } else {
    AsciiModelInfo info;
    model = ReadAsciiModel(path, info);
    if (!model) {
      ReportDamagedInput(SkippedModelReport(path, info));
      return nullptr;
    }
    if (!info.problem.empty()) m_InputWarnings.push_back(path + ": " + info.problem);
  }
  // ASCII points are world coordinates like the others: all come into the local frame.
  ShiftModel(model, toLocal);
  model->Register(nullptr);
  return model;
}

int CStreamCreator::SecondStep_Gridding(const std::string& listFile, int* cancel,
                                        CMessageSink* messages, CProgressSink* progress,
                                        CTextSink* status, CTextSink* percent) {
  bool opened = false;
  const std::vector<std::string> files = ReadListFile(listFile, opened);
  if (!opened || files.empty() || !m_Container) return 0;
  const CCellLocator locator(*m_Container, m_GridDepth);
  for (size_t i = 0; i < files.size(); ++i) {
    if (IsCancelled(cancel)) {
      CancelCreation(m_WorkFolder.c_str());
      return 0;
    }
    if (m_Format == SCF_PTX_LIST) {
      if (!GridPtxFile(files[i], locator, cancel, progress)) return 0;
      continue;
    }
    vtkPolyData* model = ReadListedModel(files[i]);
    if (!model) continue;
    vtkPolyData* read = model;
    vtkTransformPolyDataFilter* warp = m_Morph && i > 0 ? m_MorphPolyData(model) : nullptr;
    WriteVtpOnStream(model, cancel, messages, progress, status, percent);
    if (warp) warp->Delete();
    read->Delete();
  }
  CloseAllBufFiles();
  if (IsCancelled(cancel)) return 0;
  // The header counts the points the stream was made from, border copies aside.
  m_PointsCount = static_cast<int>(std::min<long long>(m_GriddedPointsCount, INT_MAX));
  m_ClassPointsCount.assign(m_ClassesCount, 0);
  m_ClassPointsCount[0] = m_PointsCount;
  if (m_GriddedPointsCount == 0) {
    m_LastError = "the inputs hold no usable point";
    return 0;
  }
  return m_WriteError.empty() ? 1 : (m_LastError = m_WriteError, 0);
}

// ---------------------------------------------------------------------------------------
// PTX scans

int CStreamCreator::GridPtxFile(const std::string& path, const CCellLocator& locator, int* cancel,
                                CProgressSink* progress) {
  CPtxReader reader;
  if (!reader.Open(path)) {
    ReportDamagedInput(reader.GetStopReport());
    return 1;
  }
  AddModelAttributes(false, true, false);
  PtxScan scan;
  PtxPoint point;
  long long lines = 0;
  int lastRed = 0;
  CellBuffers current;
  bool complete = false;
  while (reader.NextScan(scan)) {
    while (reader.NextPoint(point)) {
      if (++lines % kProgressInterval == 0) {
        if (progress) progress->SetPos(static_cast<int>((lines / kProgressInterval) % 100));
        PumpMsgs();
        if (IsCancelled(cancel)) {
          CancelCreation(m_WorkFolder.c_str());
          return 0;
        }
      }
      if (!point.valid) continue;
      // A point without colour gets the grey of the last red of its file.
      if (point.hasColour && !m_HasRgb) {
        AddModelAttributes(true, false, false);
        current.cellId = -1;  // the pool was closed: take the cell's buffers again
      }
      if (point.hasColour) lastRed = point.rgb[0];
      double x = point.x, y = point.y, z = point.z;
      if (!TransformPtxPoint(scan, x, y, z)) {
        ++m_DroppedPointsCount;
        continue;
      }
      const float local[3] = {static_cast<float>(x - m_Offset[0]),
                              static_cast<float>(y - m_Offset[1]),
                              static_cast<float>(z - m_Offset[2])};
      const double stored[3] = {local[0], local[1], local[2]};
      const int cellId = locator.Locate(stored);
      if (cellId < 0) {
        ++m_DroppedPointsCount;
        continue;
      }
      if (cellId != current.cellId) {
        RegisterCell(cellId);
        const bool wanted[ST_COUNT] = {true, m_HasRgb != 0, true, false, false, false, false};
        complete = AcquireCellBuffers(cellId, wanted, current);
      }
      if (!complete) {
        ++m_DroppedPointsCount;
        continue;
      }
      ModelPoint record;
      for (int c = 0; c < 3; ++c)
        record.rgb[c] =
            static_cast<unsigned char>((point.hasColour ? point.rgb[c] : lastRed) & 0xFF);
      record.intensity = static_cast<float>(point.intensity);
      WriteModelRecord(current, local, record);
      ++m_GriddedPointsCount;
    }
  }
  CloseAllBufFiles();
  if (!reader.GetProblem().empty()) ReportDamagedInput(reader.GetStopReport());
  return 1;
}
