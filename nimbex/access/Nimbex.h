// One opened strm stream: the paths and handles of its file set, the header values, the
// in-memory item index of every level and the cell container built from the header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbex/format/Container.h"
#include "nimbex/format/Item.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/Unset.h"
#include "nimbex/platform/Pgon.h"

class vtkPoints;
class vtkCellArray;
class vtkUnsignedCharArray;
class vtkFloatArray;
class vtkRenderer;
class vtkProp3D;
class CUCS;
class TProgressTimeToComplete;

// Iteration cursor over an item map: 0 once the iteration is over.
using POSITION = std::size_t;

class CNimbex {
 public:
  explicit CNimbex(const char* fileName);
  virtual ~CNimbex();
  CNimbex(const CNimbex&) = delete;
  CNimbex& operator=(const CNimbex&) = delete;

  // Opens the stream without drawing objects: header, item index and linear density.
  // 1 on success; on failure the object stays closed and GetLastError() says why.
  int OpenStrmCloud();
  // Writes back the editable header values and releases everything; may be opened again.
  void CloseStrmCloud();
  // What the last failed opening found wrong, naming the file.
  const std::string& GetLastError() const { return m_LastError; }

  // Files: open ("rb", or "rb+" for update) returns the handle, or null when the file could
  // not be opened or was already open; callers test Get<kind>File() afterwards.
  std::FILE* OpenFile(StrmFileKind kind, int update);
  void CloseFile(StrmFileKind kind);
  std::FILE* GetFile(StrmFileKind kind) const { return m_Files[kind]; }
  void CloseAllFiles();
  const char* GetStrmFileName() const { return m_FileName.c_str(); }
  std::string GetFileName(StrmFileKind kind) const;

#define NIMBEX_FILE_OPERATIONS(Name, Kind)  \
  std::FILE* Open##Name##File(int update) { \
    return OpenFile(Kind, update);          \
  }                                         \
  void Close##Name##File() {                \
    CloseFile(Kind);                        \
  }                                         \
  std::FILE* Get##Name##File() const {      \
    return GetFile(Kind);                   \
  }
  NIMBEX_FILE_OPERATIONS(Strm, STRM_FILE)
  NIMBEX_FILE_OPERATIONS(Ovw, OVW_FILE)
  NIMBEX_FILE_OPERATIONS(Tri, TRI_FILE)
  NIMBEX_FILE_OPERATIONS(Triovw, TRIOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Rgb, RGB_FILE)
  NIMBEX_FILE_OPERATIONS(Rgbovw, RGBOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Rif, RIF_FILE)
  NIMBEX_FILE_OPERATIONS(Rifovw, RIFOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Cla, CLA_FILE)
  NIMBEX_FILE_OPERATIONS(Claovw, CLAOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Pls, PLS_FILE)
  NIMBEX_FILE_OPERATIONS(Plsovw, PLSOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Norm, NORM_FILE)
  NIMBEX_FILE_OPERATIONS(Normovw, NORMOVW_FILE)
  NIMBEX_FILE_OPERATIONS(Pci, PCI_FILE)
#undef NIMBEX_FILE_OPERATIONS

  // Header values.
  double GetVersion() const {
    return m_Version;
  }
  int IsTerrain() const {
    return m_IsTerrain;
  }
  int GetDepth() const {
    return m_Depth;
  }
  int GetPointsCount() const {
    return m_PointsCount;
  }
  double GetLinearDensity() const {
    return m_LinearDensity;
  }
  int GetCVM() const {
    return m_CVM;
  }
  void GetBounds(double* bounds) const;
  void GetOffset(double* offset) const;
  void GetCloudOffset(double* offset) const;
  double* GetIntensityRange() {
    return m_IntensityRange;
  }
  // Elevation range relative to the offset's z (the header stores it absolute).
  double* GetElevationRange() {
    return m_ElevationRange;
  }
  std::vector<int>& GetClassesPoints() {
    return m_ClassesPoints;
  }
  int GetClassCount() const {
    return static_cast<int>(m_ClassesPoints.size());
  }
  int GetBorderCopiesCount() const {
    return m_BorderCopiesCount;
  }
  int GetPointDataSize() const {
    return m_PointDataSize;
  }
  const CContainer* GetContainer() const {
    return m_Container.get();
  }

  // Attributes present.
  int HasPyramidalLevels() const {
    return m_HasPyramidalLevels;
  }
  int HasTri() const {
    return m_HasTri;
  }
  int HasColors() const {
    return m_HasColors;
  }
  int HasIntensity() const {
    return m_HasIntensity;
  }
  int HasClasses() const {
    return m_HasClasses;
  }
  int HasPulses() const {
    return m_HasPulses;
  }
  int HasNormals() const {
    return m_HasNormals;
  }

  // Item index. Depth -1 means the full-resolution level.
  Item* GetItems() {
    return m_Items.empty() ? nullptr : m_Items.data();
  }
  int GetItem(int id, Item*& item);
  int GetItem(int id, Item*& item, int depth);
  int GetItemCount(int depth);
  POSITION GetFirstItem() const;
  void GetNextItem(POSITION& position, int& id, Item*& item);
  POSITION GetFirstOvwItem(int depth) const;
  void GetNextOvwItem(int depth, POSITION& position, int& id, Item*& item);
  int GetItemBounds(int id, int depth, double* bounds) const;
  int GetItemCenter(int id, int depth, double* center);
  double GetItemExtent(int axis, int depth) const;
  void GetItemExtent(int depth, double* sizes) const;

  // Class counters and header write-back.
  int GetNumberOfClassesPoints(const int* classes, int n) const;
  int UpdatePointsCount();
  void SetIntensityRange(double minimum, double maximum, int store);
  int GetInstrumentalValuesCount() const {
    return static_cast<int>(m_InstrumentalValues.size());
  }

  // Reads the points (and the attributes whose arrays are given) of one item, taking every
  // `step`-th point. Any array may be null. 1 when the item was read.
  int LoadItemIO(int depth, int id, vtkPoints* points, vtkCellArray* cells,
                 vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                 vtkFloatArray* intensities, vtkUnsignedCharArray* pulses, vtkFloatArray* normals,
                 int step);
  int GetIOPtsLoaded() const {
    return m_IOPtsLoaded;
  }
  void ResetIOPtsLoaded() {
    m_IOPtsLoaded = 0;
  }
  // Seeks issued by LoadItemIO since opening: items stored back to back need none.
  long long GetSeekCount() const {
    return m_SeekCount;
  }

  // Mean distance between neighbouring points: of the whole-stream overview item, or of the
  // fullest grid item meeting `area` (absolute). With `store`, also rewritten in the header.
  int EvaluateLinearDensity(const CPgon* area, int store);

  // Level of detail and reading a view.
  int GetCurDepth() const { return m_CurDepth; }
  double GetStreamDetailFactor() const { return m_StreamDetailFactor; }
  void SetStreamDetailFactor(double factor) { m_StreamDetailFactor = factor; }
  int IsTextureActive() const { return m_TextureActive; }
  void PutTextureActive(int active) { m_TextureActive = active; }
  double GetTextureDelta() const { return m_TextureDelta; }
  void SetTextureDelta(double delta) { m_TextureDelta = delta; }
  int IsFullRes() const { return m_FullRes; }
  void PutFullRes(int fullRes) { m_FullRes = fullRes; }
  int GetRenderedPointCount() const { return m_RenderedPointCount; }
  int GetPrevStreamSample() const { return m_PrevStreamSample; }
  // Left, top, right, bottom of the cells read by the last LoadSpcData (local frame).
  const double* GetViewRect() const { return m_ViewRect; }
  // The renderer whose active camera orders items front to back, and the cloud's actor.
  void SetRenderer(vtkRenderer* renderer) { m_Renderer = renderer; }
  void SetActor(vtkProp3D* actor) { m_Actor = actor; }

  int GetBestLod(int count, int& depth);
  int GetItemArray(int depth, Wml::Box3<double>* box, int boxIsRelative, int sort, int*& ids,
                   int& count);
  int GetItemArray(int depth, CPgon* polygon, int polygonIsRelative, int*& ids, int& count);
  int GetSubItemArray(int id, int depth, int*& ids, int& count);
  void SortItemsInDepth(int depth, int* ids, int count);
  int GetDepthPtCount(int depth, Wml::Box3<double>& box);
  int LoadSpcData(int& depth, int& step, Wml::Box3<double>& box, vtkPoints*& points,
                  vtkCellArray* cells, vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                  vtkFloatArray* intensities, vtkUnsignedCharArray* pulses, vtkFloatArray* normals,
                  double unused, int* budget, TProgressTimeToComplete* progress);
  // The points budget of a drawing pass in a window whose screen rectangle is given; -1 when
  // the pass reads without a budget (meshes, full-resolution mode).
  int GetDrawingBudget(int left, int top, int right, int bottom) const;

  // Rewriting attributes in place and rebuilding their overviews.
  int WriteItemIO(int depth, int itemId, vtkUnsignedCharArray* classes,
                  vtkUnsignedCharArray* colors, vtkFloatArray* intensities,
                  vtkUnsignedCharArray* pulses, vtkFloatArray* normals);
  int RebuildItem(Item* item, int targetDepth, int itemDepth, CPgon* area,
                  vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                  vtkFloatArray* intensities);
  int RebuildClassesOvw();
  int RebuildRgbOvw();
  int RebuildRifOvw();
  int RebuildPlsOvw();
  int RebuildNormOvw();
  int AdjustHeaderClassPtsCount();

  // Surface models from pulses and extents in a user coordinate system.
  int MakeDSMFromPulse(int pulseSelection, const std::string& outputPath);
  CPgon* GetItemUcsExtent(CUCS* ucs, int itemId, int depth);

  // Filters that write a new stream made from this one (nimbex/processing/StreamFilter.h).
  // `outputPath`, a buffer of PATH_MAX characters, receives the absolute, normalised name.
  // 1 when the new stream is complete; 0 when refused, failed or cancelled through `cancel`,
  // with nothing of it left behind and the reason in GetLastError().
  // Merges the points of each item closer than `radius`; unset: the linear density.
  int CleanFilter(double radius, char* outputPath, int* cancel = nullptr,
                  class CProgressSink* progress = nullptr, class CTextSink* status = nullptr);
  // A triangle mesh of each item's points, cut to the item's box. The radius must not be
  // negative but does not shape the mesh.
  int MeshFilter(double radius, char* outputPath, int* cancel = nullptr,
                 class CProgressSink* progress = nullptr, class CTextSink* status = nullptr);
  // Rewrites the item index in ascending id order and rebuilds the overview levels of a
  // mesh stream. 0 for a stream without grid depth or without triangles.
  int BuildMeshOverview();

 protected:
  int ReadCloudInfo();
  // The level to read for a detail ratio (pixel size / point spacing); `ratio` returns the
  // sampling step. -1 for a negative depth.
  int GetBestDepth(int& ratio, int depth);

 private:
  int Fail(const std::string& problem);
  int ReadHeaderAndIndex(std::FILE* pci);
  int SampleMeanSpacing(vtkPoints* points, double& meanSpacing) const;
  void SetAvailabilityFlags();
  int HasAttribute(StrmFileKind fullResolutionKind) const;
  void WriteBackHeader();
  int64_t GetFileSize(StrmFileKind kind);
  std::FILE* OpenForLoading(StrmFileKind kind);
  int64_t ReadItemFile(StrmFileKind kind, int64_t position, int64_t count, char* target);
  int64_t LoadPoints(StrmFileKind kind, int64_t position, int64_t count, int step,
                     vtkPoints* points);
  template <class Array>
  void LoadAttribute(StrmFileKind kind, int64_t position, int64_t count, int step, Array* array);
  const std::vector<Item>* GetLevelItems(int depth) const;
  void ReleaseIndex();

  std::string m_FileName;
  std::string m_Paths[STRM_FILE_KIND_COUNT];
  std::FILE* m_Files[STRM_FILE_KIND_COUNT] = {};
  int64_t m_SavedPositions[STRM_FILE_KIND_COUNT] = {};
  int64_t m_FileSizes[STRM_FILE_KIND_COUNT] = {};
  std::string m_LastError;

  int m_Version = -1;
  int m_IsTerrain = 1;
  int m_PointsCount = 0;
  double m_Bounds[6] = {0, 0, 0, 0, 0, 0};
  double m_Offset[3] = {0, 0, 0};
  int m_Depth = 0;
  std::vector<int> m_ClassesPoints;
  int64_t m_ClassesPointsPosition = 0;
  double m_LinearDensity = 0.0;
  int64_t m_LinearDensityPosition = 0;
  int m_ItemCount = 0;
  double m_IntensityRange[2] = {0.0, 1.0};
  int64_t m_IntensityRangePosition = -1;
  int m_CVM = 0;
  double m_ElevationRange[2] = {0.0, 1.0};
  int64_t m_ElevationRangePosition = -1;
  int m_BorderCopiesCount = 0;
  int m_PointDataSize = 0;

  int m_HasPyramidalLevels = 0;
  int m_HasTri = 0;
  int m_HasColors = 0;
  int m_HasIntensity = 0;
  int m_HasClasses = 0;
  int m_HasPulses = 0;
  int m_HasNormals = 0;

  std::vector<Item> m_Items;
  std::unordered_map<int, Item*> m_ItemMap;
  std::vector<std::vector<Item>> m_LevelItems;
  std::vector<std::unordered_map<int, Item*>> m_LevelMaps;
  std::unique_ptr<CContainer> m_Container;
  std::vector<double> m_InstrumentalValues;

  int m_IOPtsLoaded = 0;
  long long m_SeekCount = 0;

  int m_CurDepth = 0;
  double m_StreamDetailFactor = 1.5;
  int m_TextureActive = 0;
  double m_TextureDelta = 10.0;
  int m_FullRes = 0;
  int m_RenderedPointCount = 0;
  int m_PrevStreamSample = 0;
  double m_ViewRect[4] = {NBX_UNSET, NBX_UNSET, NBX_UNSET, NBX_UNSET};
  vtkRenderer* m_Renderer = nullptr;
  vtkProp3D* m_Actor = nullptr;
  std::vector<char> m_ReadBuffer;
};
