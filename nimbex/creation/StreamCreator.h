// CStreamCreator turns input models into a strm stream: bounds and grid set-up, gridding
// into per-cell buffer files, merging into the final files with the item index, overview
// levels and class files. One creator serves one run.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "nimbex/creation/StreamCreatorFormat.h"
#include "nimbex/format/Container.h"
#include "nimbex/format/Item.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/platform/Sinks.h"

class SPreader;
struct SPoint;
class CCellStore;
struct SStoredCell;
struct SGriddedPoint;
struct SPointBatch;
class CGeoTransform;
class CCellLocator;
class vtkDataArray;
class vtkPolyData;
class vtkTransformPolyDataFilter;

enum StreamType {
  ST_POINTS = 0,
  ST_COLORS = 1,
  ST_INTENSITIES = 2,
  ST_CLASSES = 3,
  ST_PULSES = 4,
  ST_TRIANGLES = 5,
  ST_NORMALS = 6,
  ST_COUNT = 7
};

// The pulse kind of a return: 0 single, 1 first, 2 intermediary, 3 last.
int GetPulseKind(int returnNumber, int numberOfReturns);

// The grid depth a stream of `pointsCount` points gets.
int ComputeGridDepth(long long pointsCount, int isTerrain);

class CStreamCreator {
 public:
  CStreamCreator();
  virtual ~CStreamCreator();
  CStreamCreator(const CStreamCreator&) = delete;
  CStreamCreator& operator=(const CStreamCreator&) = delete;

  // The whole pipeline. 1 when the stream is complete; 0 otherwise, with nothing of the
  // failed run left behind but its log. `GetLastError` says what failed. A stream of the
  // same name is replaced whole: its files are removed once the new input is gridded.
  int CreateStream(const std::string& input, const std::string& inputFormat,
                   const std::string& parseString, int terrain, int geoTransform, int utmZone,
                   bool listOfFiles, const std::string& outputFile, int* cancel,
                   StreamCreatorFormat format, double* bounds, int* pointsCount,
                   CMessageSink* messages, CProgressSink* progress, CTextSink* status,
                   CTextSink* percent);

  void SetOutputFileName(const char* fileName) { m_OutputFileName = fileName ? fileName : ""; }
  void SetPointsCount(int count) { m_PointsCount = count; }
  void SetGridDepth(int depth) { m_GridDepth = depth; }
  void PutTerrain(int terrain) { m_IsTerrain = terrain; }
  void PutRgb(int flag) { m_HasRgb = flag; }
  void PutRif(int flag) { m_HasRif = flag; }
  void PutCla(int flag) { m_HasCla = flag; }
  void PutTri(int flag) { m_HasTri = flag; }
  void PutNorm(int flag) { m_HasNorm = flag; }
  // Lends a container to the creator; the caller keeps it alive for the creator's work.
  void SetContainer(CContainer* container) { m_Container = container; }
  void SetGSD(double gsd) { m_GSD = gsd; }
  void PutMorph(int flag) { m_Morph = flag; }
  void PutMergingDoneOutside(int flag) { m_MergingDoneOutside = flag; }
  std::vector<int>* GetItemsIds() { return &m_ItemsIds; }
  int GetPointsCount() const { return m_PointsCount; }
  int GetGridDepth() const { return m_GridDepth; }
  int GetBorderCopiesCount() const { return m_BorderCopiesCount; }
  const std::string& GetLastError() const { return m_LastError; }
  // Input points that did not reach the stream (outside the grid, unwritable buffers).
  long long GetDroppedPointsCount() const { return m_DroppedPointsCount; }
  // Points the input announced but did not hold (a truncated file).
  long long GetMissingPointsCount() const { return m_MissingPointsCount; }
  // Records of the input that hold no point (text lines that do not parse).
  long long GetSkippedRecordsCount() const { return m_SkippedRecordsCount; }
  // Damage of the input that the reader worked around.
  const std::vector<std::string>& GetInputWarnings() const { return m_InputWarnings; }
  // Listed inputs that lost points to damage (unreadable, or cut short), one line each naming
  // the file and where reading stopped; the stream holds what could be read.
  const std::vector<std::string>& GetDamagedInputs() const { return m_DamagedInputs; }

  static void FreeItemArrayItems(std::vector<Item*>& items);

  // Buffer-file pool.
  std::FILE* OpenBufStream(StreamType type, int cellId);
  void CloseAllBufFiles();
  int GetOpenedStreamsCount() const;

  int SecondStep_Gridding(SPreader* reader, int* cancel, CMessageSink* messages,
                          CProgressSink* progress, CTextSink* status, CTextSink* percent);
  // Gridding of the VTP, PTX or ASCII files named in `listFile` (the run's format).
  int SecondStep_Gridding(const std::string& listFile, int* cancel, CMessageSink* messages,
                          CProgressSink* progress, CTextSink* status, CTextSink* percent);
  // Distributes one model whose points are in the stream's local frame.
  void WriteVtpOnStream(vtkPolyData* model, int* cancel, CMessageSink* messages,
                        CProgressSink* progress, CTextSink* status, CTextSink* percent);
  // Warps `model` onto the points gridded before it; replaces `model` by the warped output
  // and returns the filter that owns it (the caller deletes it), or null.
  vtkTransformPolyDataFilter* m_MorphPolyData(vtkPolyData*& model);
  int ThirdStep_Merging(std::vector<Item*>* items, std::FILE*& header, std::FILE*& points,
                        std::FILE*& triangles, std::FILE*& colors, std::FILE*& intensities,
                        std::FILE*& classes, std::FILE*& pulses, std::FILE*& normals, int* cancel,
                        CMessageSink* messages, CProgressSink* progress, CTextSink* status,
                        CTextSink* percent);
  int FourthStep_Overviewing(std::vector<Item*>* items, std::FILE*& header, std::FILE*& points,
                             std::FILE*& triangles, std::FILE*& colors, std::FILE*& intensities,
                             std::FILE*& classes, std::FILE*& pulses, std::FILE*& normals,
                             int* cancel, CMessageSink* messages, CProgressSink* progress,
                             CTextSink* status, CTextSink* percent);
  int FifthStep_Classifing(int* cancel, CMessageSink* messages, CProgressSink* progress,
                           CTextSink* status, CTextSink* percent);
  // Removes what this run wrote: its buffer files and its partial stream files, only those
  // of this stream's stem. `folder` is the output folder.
  void CancelCreation(const char* folder);

 private:
  // The attribute arrays of a model, found by name, and one point's attribute records.
  struct ModelArrays {
    vtkDataArray* colors = nullptr;
    vtkDataArray* intensities = nullptr;
    vtkDataArray* normals = nullptr;
  };
  // Its defaults are the records of a point whose model lacks the attribute.
  struct ModelPoint {
    unsigned char rgb[3] = {128, 128, 128};
    float intensity = 0.0f;
    float normal[3] = {0, 0, 0};
  };
  // Records of one buffer file that have not reached it yet.
  struct Staging {
    std::unique_ptr<char[]> data;
    size_t used = 0;
  };

 protected:
  // The pipeline after the input is open: `reader` is null for model lists.
  int CreateFromReader(SPreader* reader, bool lasInput, const std::string& parse, int utmZone,
                       const std::string& outputFile, int* cancel, double* bounds,
                       int* pointsCount);

  std::string m_OutputFileName;
  int m_PointsCount = 0;
  int m_OvwPointsCount = 0;
  std::vector<int> m_ItemsIds;
  int m_ClassesCount = POINT_CLASS_COUNT;
  std::vector<int> m_ClassPointsCount;
  CContainer* m_Container = nullptr;
  int m_GridDepth = 6;
  int m_IsTerrain = 1;
  int m_HasPulses = 0;
  int m_UseGeoTransform = 0;
  int m_HasRgb = 0, m_HasRif = 0, m_HasCla = 0, m_HasTri = 0, m_HasNorm = 0;
  std::unique_ptr<CGeoTransform> m_GeoTransform;
  int m_MaxOpenBuffers = 502;  // fewer under a low limit of open files
  std::vector<std::FILE*> m_BufHandles[ST_COUNT];
  std::unordered_map<int, int> m_BufMaps[ST_COUNT];
  std::vector<Staging> m_BufStaging[ST_COUNT];  // records not yet in each slot's file
  double m_Offset[3] = {0, 0, 0};
  double m_IntensityRange[2] = {100000.0, -100000.0};
  int m_BorderCopiesCount = 0;
  double m_GSD = 0.0;
  int m_Morph = 0;
  int m_MergingDoneOutside = 0;
  std::string m_WorkFolder;
  StreamCreatorFormat m_Format = SCF_POINT_FILE;
  // Threads of the build: 2 unless the environment variable NIMBEX_CREATION_THREADS is 1.
  // The stream written is the same either way.
  int m_CreationThreads = 2;
  // Memory for the records of the cells of a point file before they spill to disk.
  size_t m_CellMemoryBudget = size_t(128) << 20;

 private:
  // The children of one overview parent: their items and their points in the source files.
  struct ChildrenRun {
    size_t first, last;  // the children's items, last excluded
    int64_t pointsPosition;
    long long points;
    long long kept;  // points the parent keeps
  };
  // The buffers the current cell writes to: the staging memory of each wanted type.
  struct CellBuffers {
    int cellId = -1;
    int slots[ST_COUNT] = {};
    Staging* staging[ST_COUNT] = {};
  };

  // Reporting.
  void Report(const std::string& message);
  void SetProgress(int position);
  void SetPercent(const std::string& text);
  void SetStatus(const std::string& text);
  int Fail(const std::string& problem);

  // Set-up.
  int FindBounds(SPreader* reader, bool lasInput, double* bounds, int* pointsCount, int* cancel,
                 double world[6]);
  void WriteBoundsFile(const double world[6]);
  int ScanBounds(SPreader* reader, int* cancel, double world[6], long long& count);
  int KeepBounds(const double world[6], long long count, double* bounds);
  void SetUpGrid(const double world[6]);
  int RunPipeline(SPreader* reader, int* cancel, const double world[6]);
  int FinishStream(int* cancel, std::chrono::steady_clock::time_point runStart);
  double SpacingOfFewPoints();

  // Gridding.
  bool IsCancelled(const int* cancel) const { return cancel && *cancel; }
  int AcquireCellBuffers(int cellId, const bool wanted[ST_COUNT], CellBuffers& buffers);
  int OpenBufferSlot(StreamType type, int cellId);
  void FlushStaging(StreamType type, int slot);
  void Stage(const CellBuffers& buffers, StreamType type, const void* record, size_t bytes);
  void RegisterCell(int cellId);
  std::string BufferPath(StreamType type, int cellId) const;
  void StartCellStore(const bool kinds[ST_COUNT]);
  void FillBatch(SPreader& reader, SPointBatch& batch) const;
  void StorePoint(CCellStore& store, SStoredCell& cell, const SGriddedPoint& point);

  // Models and scans.
  static ModelArrays FindModelArrays(vtkPolyData* model);
  void AddModelAttributes(bool colors, bool intensities, bool normals);
  void BackfillAttribute(StreamType type);
  ModelPoint ReadModelPoint(const ModelArrays& arrays, long long index) const;
  void WriteModelRecord(const CellBuffers& buffers, const float local[3], const ModelPoint& point);
  int FindBorderNeighbour(const CCellLocator& locator, int cellId, const float local[3]) const;
  int AcquireWithNeighbour(const bool wanted[ST_COUNT], CellBuffers& current, int neighbourId,
                           CellBuffers& neighbour);
  int GridPtxFile(const std::string& path, const CCellLocator& locator, int* cancel,
                  CProgressSink* progress);
  vtkPolyData* ReadListedModel(const std::string& path);
  void ReportDamagedInput(const std::string& problem);

  // Merging and overviews.
  std::string StreamFilePath(const char* extension) const;
  std::FILE* CreateStreamFile(const char* extension, const char* mode);
  int RemoveReplacedStreamFiles();
  void RemoveBufferFiles();
  long long BufferRecordCount(StreamType type, int cellId, int recordSize) const;
  long long ReadBufferRecords(StreamType type, int cellId, int recordSize, long long maxRecords,
                              std::vector<char>& scratch, std::string& error,
                              const std::function<bool(const char*, size_t)>& deliver) const;
  long long CopyBuffer(StreamType type, int cellId, int recordSize, long long maxRecords,
                       std::FILE* target, std::vector<char>& scratch, std::string& error) const;
  void CopyCellAttributes(int cellId, long long points, std::FILE** const files[],
                          std::vector<char>& scratch, std::string& error) const;
  bool CheckItemPoints(int cellId, long long points);
  int WriteZeroClassFile(const char* extension, long long bytes);
  std::vector<std::unique_ptr<Item>> BuildOverviewLevel(const std::vector<Item*>& children,
                                                        int depth,
                                                        std::FILE* const sources[ST_COUNT],
                                                        std::FILE* const targets[ST_COUNT],
                                                        std::FILE* header);
  void SampleLevel(const std::vector<ChildrenRun>& runs, std::FILE* const sources[ST_COUNT],
                   std::FILE* const targets[ST_COUNT], std::vector<std::unique_ptr<Item>>& parents);
  void SampleSlot(int slot, const ChildrenRun& run, std::FILE* const sources[ST_COUNT],
                  std::FILE* const targets[ST_COUNT]) const;
  void DecimateChildren(const std::vector<Item*>& children, size_t first, size_t last,
                        std::FILE* const sources[ST_COUNT], std::FILE* const targets[ST_COUNT],
                        Item& parent);

  std::string m_LastError;
  std::FILE* m_Log = nullptr;
  CMessageSink* m_Messages = nullptr;
  CProgressSink* m_Progress = nullptr;
  CTextSink* m_Status = nullptr;
  CTextSink* m_Percent = nullptr;
  std::unique_ptr<CContainer> m_OwnedContainer;  // the container CreateStream builds
  std::unordered_set<int> m_KnownCells;
  std::unordered_set<long long> m_CreatedBuffers;
  std::set<std::string> m_WrittenFiles;
  long long m_DroppedPointsCount = 0;
  long long m_OutsidePointsCount = 0;  // dropped because they lie outside the grid's box
  long long m_MissingPointsCount = 0;
  long long m_SkippedRecordsCount = 0;
  std::vector<std::string> m_InputWarnings;
  std::vector<std::string> m_DamagedInputs;
  long long m_GriddedPointsCount = 0;  // input points written to their own cell
  std::string m_InputList;             // the list file of model, scan or ASCII inputs
  double m_GriddingSeconds = 0.0;
  std::string m_WriteError;  // the first write that failed, for the user
  std::vector<char> m_CopyBuffer;
  std::unique_ptr<CCellStore> m_CellStore;  // the cells of a point file until merged
};
