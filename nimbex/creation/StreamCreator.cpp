// The creation driver: bounds, grid set-up, the order of the steps, reporting and the
// clean-up of a failed run.
#include "nimbex/creation/StreamCreator.h"

#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "nimbex/creation/CellStore.h"
#include "nimbex/creation/GeoTransform.h"
#include "nimbex/creation/PointListReader.h"
#include "nimbex/creation/PointReader.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/format/Unset.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/Profile.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Points read between two pumps of the message queue in a pass of the creator's own.
constexpr long long kPumpInterval = 1 << 16;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Buffers share the process's file descriptors with everything else it has open: the pool
// keeps to half of the limit, and holds at least one buffer of each type.
int BufferPoolSize() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 502;
  return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 2, ST_COUNT + 1, 502));
}

// NIMBEX_CREATION_THREADS=1 keeps the whole build on the calling thread.
int CreationThreads() {
  const char* threads = std::getenv("NIMBEX_CREATION_THREADS");
  return threads && std::strcmp(threads, "1") == 0 ? 1 : 2;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// 1234567 -> "1.234.567"
std::string GroupDigits(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
    grouped += digits[i];
  }
  return value < 0 ? "-" + grouped : grouped;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool Contains(const std::string& text, char c) {
  return text.find(c) != std::string::npos;
}

}  // namespace

int GetPulseKind(int returnNumber, int numberOfReturns) {
  if (numberOfReturns <= 1) return SINGLE_PULSE;
  if (returnNumber == 1) return FIRST_PULSE;
  if (returnNumber == numberOfReturns) return LAST_PULSE;
  return INTERMEDIARY_PULSE;
}

int ComputeGridDepth(long long pointsCount, int isTerrain) {
  const int dimensions = 3 - isTerrain;
  int depth = isTerrain ? 9 : 6;
  unsigned long long limit = 4294967295ULL;
  while (pointsCount < static_cast<long long>(limit)) {
    --depth;
    limit /= 1ULL << dimensions;
  }
  return (depth < 0 || pointsCount < 500000) ? 0 : depth;
}

CStreamCreator::CStreamCreator()
    : m_ClassPointsCount(POINT_CLASS_COUNT, 0),
      m_MaxOpenBuffers(BufferPoolSize()),
      m_CreationThreads(CreationThreads()) {
  for (auto& handles : m_BufHandles) handles.assign(m_MaxOpenBuffers, nullptr);
  for (auto& staging : m_BufStaging) staging.resize(m_MaxOpenBuffers);
}

CStreamCreator::~CStreamCreator() {
  CloseAllBufFiles();
  if (m_Log) std::fclose(m_Log);
}

void CStreamCreator::FreeItemArrayItems(std::vector<Item*>& items) {
  for (Item* item : items) delete item;
  items.clear();
}

// ---------------------------------------------------------------------------------------
// Reporting

void CStreamCreator::Report(const std::string& message) {
  if (m_Messages) {
    m_Messages->AddLine(message);
  } else if (m_Log) {
    std::fprintf(m_Log, "%s\n", message.c_str());
    std::fflush(m_Log);
  }
}

void CStreamCreator::SetProgress(int position) {
  if (m_Progress) m_Progress->SetPos(position);
}

void CStreamCreator::SetPercent(const std::string& text) {
  if (m_Percent) m_Percent->SetText(text);
}

void CStreamCreator::SetStatus(const std::string& text) {
  if (m_Status) m_Status->SetText(text);
}

int CStreamCreator::Fail(const std::string& problem) {
  if (!problem.empty()) {
    m_LastError = problem;
    Report(problem);
  }
  CloseAllBufFiles();
  if (!m_WorkFolder.empty()) CancelCreation(m_WorkFolder.c_str());
  if (m_Log) {
    std::fclose(m_Log);
    m_Log = nullptr;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------
// The pipeline

int CStreamCreator::CreateStream(const std::string& input, const std::string& inputFormat,
                                 const std::string& parseString, int terrain, int geoTransform,
                                 int utmZone, bool listOfFiles, const std::string& outputFile,
                                 int* cancel, StreamCreatorFormat format, double* bounds,
                                 int* pointsCount, CMessageSink* messages, CProgressSink* progress,
                                 CTextSink* status, CTextSink* percent) {
  m_Messages = messages;
  m_Progress = progress;
  m_Status = status;
  m_Percent = percent;
  m_LastError.clear();
  m_IsTerrain = terrain ? 1 : 0;
  m_Format = format;
  m_UseGeoTransform = utmZone != -1 ? geoTransform : 0;
  const std::string parse = Lower(parseString);
  const bool lasInput = Lower(inputFormat) == "las";

  std::unique_ptr<SPreader> reader;
  if (format == SCF_POINT_FILE) {
    std::string error;
    reader = listOfFiles ? OpenPointListReader(input, Lower(inputFormat), parse, error)
                         : OpenPointReader(input, Lower(inputFormat), parse, error);
    if (!reader) return Fail(error);
  }
  m_InputList = format == SCF_POINT_FILE ? std::string() : input;
  return CreateFromReader(reader.get(), lasInput, parse, utmZone, outputFile, cancel, bounds,
                          pointsCount);
}

int CStreamCreator::CreateFromReader(SPreader* reader, bool lasInput, const std::string& parse,
                                     int utmZone, const std::string& outputFile, int* cancel,
                                     double* bounds, int* pointsCount) {
  m_OutputFileName = outputFile;
  const fs::path output(outputFile);
  const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  std::error_code ignored;
  if (!fs::is_directory(folder, ignored) && !fs::create_directories(folder, ignored))
    return Fail("cannot create the output folder " + folder.string());
  m_WorkFolder = folder.string() + "/";
  if (!m_Messages) m_Log = std::fopen(StreamFilePath("log").c_str(), "w");

  if (m_UseGeoTransform) {
    std::string error;
    m_GeoTransform = CGeoTransform::Create(utmZone, error);
    if (!m_GeoTransform) return Fail(error);
  }

  SetStatus("(1/3): computing bounding box...");
  SetProgress(0);
  Report("(1/3): computing bounding box...");
  const Clock::time_point runStart = Clock::now();
  m_PointsCount = 0;
  SetProgress(25);
  SetPercent("25%");

  double world[6];
  if (!FindBounds(reader, lasInput, bounds, pointsCount, cancel, world)) return Fail(m_LastError);
  SetProgress(75);
  SetPercent("75%");
  Report("needed " + Format("%g", SecondsSince(runStart)) + " seconds (" +
         GroupDigits(m_PointsCount) + " points)");

  m_HasPulses = lasInput ? 1 : 0;
  m_HasRgb = Contains(parse, 'r') && Contains(parse, 'g') && Contains(parse, 'b');
  m_HasRif = Contains(parse, 'i') || lasInput;
  m_HasCla = Contains(parse, 'c');
  m_HasNorm = 0;

  int gridded = RunPipeline(reader, cancel, world);
  if (lasInput && reader && m_OutsidePointsCount > 0 && !IsCancelled(cancel) &&
      reader->GetError().empty() && m_WriteError.empty()) {
    // The header's box does not hold every point, maybe none: find the true box and grid
    // again, so that no point is lost.
    Report(GroupDigits(m_OutsidePointsCount) +
           " points lie outside the box the file declares; scanning for the true box...");
    CancelCreation(m_WorkFolder.c_str());
    m_LastError.clear();
    long long scanned = 0;
    if (!ScanBounds(reader, cancel, world, scanned) || !KeepBounds(world, scanned, bounds))
      return Fail(m_LastError);
    gridded = RunPipeline(reader, cancel, world);
  }
  if (!gridded) return Fail(m_LastError);

  if (m_DroppedPointsCount > 0)
    Report(GroupDigits(m_DroppedPointsCount) + " points could not be written and were dropped");
  if (m_MissingPointsCount > 0)
    Report(GroupDigits(m_MissingPointsCount) +
           " points announced by the input are missing: the file is truncated");
  for (const std::string& warning : m_InputWarnings) Report(warning);
  if (m_SkippedRecordsCount > 0)
    Report(GroupDigits(m_SkippedRecordsCount) +
           " lines of the input are not points and were skipped");
  return FinishStream(cancel, runStart);
}

// The box of the points as the stream will hold them, from a pass over the input. Geographic
// points are converted one by one: the corners of a longitude/latitude box do not bound its
// projection, whose edges bulge.
int CStreamCreator::ScanBounds(SPreader* reader, int* cancel, double world[6], long long& count) {
  if (!m_GeoTransform) {
    int64_t scanned = 0;
    if (!reader->Scan(world, scanned, PumpMsgs, cancel)) {
      m_LastError = IsCancelled(cancel) ? "creation cancelled" : reader->GetError();
      return 0;
    }
    count = scanned;
    return 1;
  }
  for (int d = 0; d < 3; ++d) {
    world[2 * d] = DBL_MAX;
    world[2 * d + 1] = -DBL_MAX;
  }
  count = 0;
  long long read = 0, projected = 0;
  SPoint point;
  int result;
  if (!reader->Rewind()) {
    m_LastError = reader->GetError();
    return 0;
  }
  while ((result = reader->Read(point)) != SP_END) {
    if (++read % kPumpInterval == 0) {
      PumpMsgs();
      if (IsCancelled(cancel)) {
        m_LastError = "creation cancelled";
        return 0;
      }
    }
    if (result != SP_VALID) continue;
    ++count;
    if (!m_GeoTransform->Transform(point.x, point.y, point.z)) continue;
    ++projected;
    const double xyz[3] = {point.x, point.y, point.z};
    for (int d = 0; d < 3; ++d) {
      world[2 * d] = std::min(world[2 * d], xyz[d]);
      world[2 * d + 1] = std::max(world[2 * d + 1], xyz[d]);
    }
  }
  if (!reader->GetError().empty() || !reader->Rewind()) {
    m_LastError = reader->GetError();
    return 0;
  }
  if (count > 0 && projected == 0) {
    m_LastError = "none of the " + GroupDigits(count) +
                  " points of the input can be converted to UTM: are its coordinates WGS84 "
                  "longitudes and latitudes?";
    return 0;
  }
  return 1;
}

// LAS input takes its box from the file: the header's box, or a pass over the points when the
// header declares none or the points are geographic.
int CStreamCreator::FindBounds(SPreader* reader, bool lasInput, double* bounds, int* pointsCount,
                               int* cancel, double world[6]) {
  long long count = 0;
  if (lasInput && reader && !m_GeoTransform && reader->GetHeaderBounds(world)) {
    count = reader->GetPointCount();
  } else if (bounds && pointsCount && !(lasInput && reader)) {
    std::copy(bounds, bounds + 6, world);
    count = *pointsCount;
  } else if (reader) {
    if (!ScanBounds(reader, cancel, world, count)) return 0;
  } else {
    m_LastError = "the bounds and point count of a model list must be given";
    return 0;
  }
  return KeepBounds(world, count, bounds);
}

// The box and count the grid is made for: returned to the caller and written to the folder's
// "Bounds" file.
int CStreamCreator::KeepBounds(const double world[6], long long count, double* bounds) {
  if (count > INT_MAX) {
    m_LastError = "the input holds " + GroupDigits(count) +
                  " points; a stream holds at most 2.147.483.647: split the input";
    return 0;
  }
  if (count <= 0) {
    m_LastError = "the input holds no point";
    return 0;
  }
  m_PointsCount = static_cast<int>(count);
  if (bounds) std::copy(world, world + 6, bounds);
  WriteBoundsFile(world);
  return 1;
}

void CStreamCreator::WriteBoundsFile(const double world[6]) {
  const fs::path path = fs::path(m_WorkFolder) / "Bounds.txt";
  std::error_code ignored;
  if (!fs::exists(path, ignored)) m_WrittenFiles.insert(path.string());
  CProfile profile;
  profile.Load(path);
  const char* keys[6] = {"MinX", "MaxX", "MinY", "MaxY", "MinZ", "MaxZ"};
  for (int i = 0; i < 6; ++i) profile.SetString("Bounds", keys[i], Format("%lf", world[i]));
  profile.Save(path, false);
}

void CStreamCreator::SetUpGrid(const double world[6]) {
  double grid[6];
  for (int d = 0; d < 3; ++d) {
    m_Offset[d] = (world[2 * d] + world[2 * d + 1]) / 2;
    // Widened by a few float steps: coordinates are stored as float32 relative to the
    // offset, and a point on the box's face must not round out of it.
    const double half = (world[2 * d + 1] - world[2 * d]) / 2;
    const double margin = std::max(std::fabs(half) * 8 * FLT_EPSILON, 1e-9);
    grid[2 * d] = -half - margin;
    grid[2 * d + 1] = half + margin;
  }
  m_GridDepth = ComputeGridDepth(m_PointsCount, m_IsTerrain);
  m_OwnedContainer = std::make_unique<CContainer>(grid, m_GridDepth, m_IsTerrain, m_Offset);
  m_Container = m_OwnedContainer.get();
}

int CStreamCreator::RunPipeline(SPreader* reader, int* cancel, const double world[6]) {
  SetUpGrid(world);
  const Clock::time_point start = Clock::now();
  SetProgress(100);
  SetPercent("100%");
  SetStatus("Populating final grid...");
  SetProgress(0);
  SetPercent("0%");
  if (IsCancelled(cancel)) {
    m_LastError = "creation cancelled";
    return 0;
  }
  Report("Populating final grid...");

  m_ItemsIds.clear();
  m_KnownCells.clear();
  m_CreatedBuffers.clear();
  std::fill(m_ClassPointsCount.begin(), m_ClassPointsCount.end(), 0);
  m_ClassPointsCount[0] = m_PointsCount;
  m_IntensityRange[0] = 100000.0;
  m_IntensityRange[1] = -100000.0;
  m_DroppedPointsCount = 0;
  m_OutsidePointsCount = 0;
  m_DamagedInputs.clear();
  m_BorderCopiesCount = 0;
  m_OvwPointsCount = 0;
  if (reader && !reader->Rewind()) {
    m_LastError = reader->GetError();
    return 0;
  }
  m_GriddedPointsCount = 0;
  const int gridded =
      reader
          ? SecondStep_Gridding(reader, cancel, m_Messages, m_Progress, m_Status, m_Percent)
          : SecondStep_Gridding(m_InputList, cancel, m_Messages, m_Progress, m_Status, m_Percent);
  if (!gridded && m_LastError.empty())
    m_LastError = IsCancelled(cancel) ? "creation cancelled" : "the input holds no point";
  if (gridded) m_GriddingSeconds = SecondsSince(start);
  return gridded;
}

int CStreamCreator::FinishStream(int* cancel, std::chrono::steady_clock::time_point runStart) {
  if (m_IntensityRange[0] == 100000.0 || m_IntensityRange[1] == -100000.0) {
    m_IntensityRange[0] = 0.0;
    m_IntensityRange[1] = 1.0;
  }
  const double* grid = m_Container->m_Bounds;
  const double elevation[2] = {grid[4] + m_Offset[2], grid[5] + m_Offset[2]};
  const std::string itemsCreated = "done..." + std::to_string(m_ItemsIds.size()) + " items created";
  Report(itemsCreated);
  SetStatus(itemsCreated);
  Report("needed " + Format("%g", m_GriddingSeconds) + " seconds");

  const double spacing = m_GSD == 0.0 && m_PointsCount < 3 ? SpacingOfFewPoints() : m_GSD;
  if (!RemoveReplacedStreamFiles()) return Fail(m_LastError);
  const std::string pciPath = StreamFilePath("pci");
  m_WrittenFiles.insert(pciPath);
  WriteStrmHeaderFile(pciPath.c_str(), STRM_VERSION, m_IsTerrain, m_PointsCount, grid, m_Offset,
                      m_GridDepth, m_ClassesCount, m_ClassPointsCount.data(), spacing,
                      static_cast<int>(m_ItemsIds.size()), 0, m_IntensityRange, CVM_ELEVATION,
                      elevation, m_BorderCopiesCount);

  SetStatus("Merging grid...");
  SetProgress(0);
  Report("Merging grid...");
  const Clock::time_point mergeStart = Clock::now();
  std::FILE* header = std::fopen(pciPath.c_str(), "rb+");
  if (!header) return Fail("cannot write the stream header " + pciPath);
  std::fseek(header, 0, SEEK_END);
  std::FILE* files[7] = {};
  std::vector<Item*> items;
  int merged =
      ThirdStep_Merging(&items, header, files[0], files[1], files[2], files[3], files[4], files[5],
                        files[6], cancel, m_Messages, m_Progress, m_Status, m_Percent);
  if (merged && !IsCancelled(cancel))
    FourthStep_Overviewing(&items, header, files[0], files[1], files[2], files[3], files[4],
                           files[5], files[6], cancel, m_Messages, m_Progress, m_Status, m_Percent);
  for (std::FILE*& file : files)
    if (file) std::fclose(file), file = nullptr;
  FreeItemArrayItems(items);
  const bool headerWritten = std::fclose(header) == 0;
  Report("needed " + Format("%g", SecondsSince(mergeStart)) + " seconds");
  if (!merged || IsCancelled(cancel))
    return Fail(IsCancelled(cancel) ? "creation cancelled" : m_LastError);
  if (!headerWritten || !m_WriteError.empty())
    return Fail(m_WriteError.empty() ? "cannot write the stream header " + pciPath : m_WriteError);

  if (!m_HasCla) FifthStep_Classifing(cancel, m_Messages, m_Progress, m_Status, m_Percent);
  if (!m_WriteError.empty()) return Fail(m_WriteError);
  Report("Process completed in " + Format("%g", SecondsSince(runStart)) + " seconds.");
  if (m_Log) {
    std::fclose(m_Log);
    m_Log = nullptr;
  }
  return 1;
}

// A stream measures its point spacing when it opens, from 3 points at least. One of 1 or 2
// points stores its spacing instead: the distance between its two points, or, without a
// second point to measure to, the unset value, which the reader takes as it is.
double CStreamCreator::SpacingOfFewPoints() {
  std::vector<float> xyz;
  for (int id : m_ItemsIds)
    ReadBufferRecords(ST_POINTS, id, STRM_POINT_BYTES, 2, m_CopyBuffer, m_WriteError,
                      [&](const char* data, size_t bytes) {
                        for (size_t at = 0; at + STRM_POINT_BYTES <= bytes && xyz.size() < 6;
                             at += STRM_POINT_BYTES) {
                          float point[3];
                          std::memcpy(point, data + at, sizeof point);
                          xyz.insert(xyz.end(), point, point + 3);
                        }
                        return true;
                      });
  if (xyz.size() < 6) return NBX_UNSET;
  double squared = 0.0;
  for (int d = 0; d < 3; ++d) {
    const double delta = static_cast<double>(xyz[3 + d]) - xyz[d];
    squared += delta * delta;
  }
  return squared > 0 ? std::sqrt(squared) : NBX_UNSET;
}

// ---------------------------------------------------------------------------------------
// Files

std::string CStreamCreator::StreamFilePath(const char* extension) const {
  fs::path path(m_OutputFileName);
  path.replace_extension(extension);
  return path.string();
}

std::FILE* CStreamCreator::CreateStreamFile(const char* extension, const char* mode) {
  const std::string path = StreamFilePath(extension);
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (!file) {
    m_WriteError = "cannot create " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  m_WrittenFiles.insert(path);
  std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
  return file;
}

// A stream written over another replaces its whole file set: a companion the new stream does
// not write (colours, overviews...) would otherwise be read as part of it. Only the names of
// the set are touched; the old stream stays whole until the new one is ready to be written.
int CStreamCreator::RemoveReplacedStreamFiles() {
  for (int kind = 0; kind < STRM_FILE_KIND_COUNT; ++kind) {
    const fs::path path = GetStrmCompanionName(m_OutputFileName, StrmFileKind(kind));
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status)) continue;
    if ((!fs::is_regular_file(status) && !fs::is_symlink(status)) || !fs::remove(path, error)) {
      m_LastError = "cannot replace the stream " + m_OutputFileName + ": " + path.string() +
                    (error ? " cannot be removed (" + error.message() + ")" : " is not a file");
      return 0;
    }
  }
  return 1;
}

void CStreamCreator::CancelCreation(const char* /*folder*/) {
  CloseAllBufFiles();
  RemoveBufferFiles();
  for (const std::string& path : m_WrittenFiles) {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
  m_WrittenFiles.clear();
}
