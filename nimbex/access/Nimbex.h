// One opened strm stream: the paths and handles of its file set, the header values, the
// in-memory item index of every level and the cell container built from the header.
#pragma once

#include <vtkSmartPointer.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbex/access/MappedFile.h"
#include "nimbex/format/Container.h"
#include "nimbex/format/Item.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/format/Unset.h"
#include "nimbex/platform/Pgon.h"
#include "nimbex/platform/WinTypes.h"

class vtkPoints;
class vtkCellArray;
class vtkUnsignedCharArray;
class vtkFloatArray;
class vtkRenderer;
class vtkProp3D;
class vtkActor;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkElevationFilter;
class vtkCastToConcrete;
class vtkTransformPolyDataFilter;
class vtkLookupTable;
class vtkPointData;
class vtkProperty;
class vtkRenderWindow;
class vtkRenderWindowInteractor;
class vtkTransform;
class CUCS;
class CTextSink;
class TProgressTimeToComplete;
struct RenderWindow;
struct DrawnArrays;

enum ColorScheme {
  COLOR_SCHEME_NONE = -1,
  COLOR_SCHEME_OWN = 0,
  COLOR_SCHEME_GRAYSCALE = 1,
  COLOR_SCHEME_RED_BLUE = 2,
  COLOR_SCHEME_BLUE_RED = 3
};
enum PresetView {
  VIEW_TOP = 0,
  VIEW_BOTTOM = 1,
  VIEW_FRONT = 2,
  VIEW_BACK = 5,
  VIEW_LEFT = 8,
  VIEW_RIGHT = 11,
  VIEW_NW = 14,
  VIEW_NE = 17,
  VIEW_SW = 20,
  VIEW_SE = 23
};

// Iteration cursor over an item map: 0 once the iteration is over.
using POSITION = std::size_t;

namespace nimbex_view {
struct Array;
struct ItemCopy;
}  // namespace nimbex_view

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
  // 1 (the default): the user's changes to the colour mode and the intensity and elevation
  // ranges are written into the header, and so is a point spacing computed while opening.
  // 0: the header is never written (read-only commands); set it before opening.
  void PutHeaderWriteBack(int writeBack) { m_HeaderWriteBack = writeBack; }
  int GetHeaderWriteBack() const { return m_HeaderWriteBack; }

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
  // The item records of level `depth` (-1: full resolution) in their stored order; empty for
  // a level the stream does not have.
  const std::vector<Item>& GetLevelItems(int depth) const;
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
  // `step`-th point. Any array may be null. 1 when the item was read; 0 when it is not in the
  // index, holds no points, or cannot be read whole (a file missing or cut short, a triangle
  // naming a point the item does not have): the arrays are then left as they were and
  // GetLoadError() says why, naming the file at fault.
  int LoadItemIO(int depth, int id, vtkPoints* points, vtkCellArray* cells,
                 vtkUnsignedCharArray* classes, vtkUnsignedCharArray* colors,
                 vtkFloatArray* intensities, vtkUnsignedCharArray* pulses, vtkFloatArray* normals,
                 int step);
  // Why the last LoadItemIO refused its item; after LoadSpcData, the first stored item of the
  // view that could not be read. Empty when everything asked for was read.
  const std::string& GetLoadError() const {
    return m_LoadError;
  }
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
  int GetCurDepth() const {
    return m_CurDepth;
  }
  double GetStreamDetailFactor() const {
    return m_StreamDetailFactor;
  }
  void SetStreamDetailFactor(double factor) {
    m_StreamDetailFactor = factor;
  }
  int IsTextureActive() const {
    return m_TextureActive;
  }
  void PutTextureActive(int active) {
    m_TextureActive = active;
  }
  double GetTextureDelta() const {
    return m_TextureDelta;
  }
  void SetTextureDelta(double delta) {
    m_TextureDelta = delta;
  }
  int IsFullRes() const {
    return m_FullRes;
  }
  void PutFullRes(int fullRes) {
    m_FullRes = fullRes;
  }
  int GetRenderedPointCount() const {
    return m_RenderedPointCount;
  }
  int GetPrevStreamSample() const {
    return m_PrevStreamSample;
  }
  // Left, top, right, bottom of the cells read by the last LoadSpcData (local frame).
  const double* GetLoadedRect() const {
    return m_LoadedRect;
  }
  // The renderer whose active camera orders items front to back, and the cloud's actor.
  void SetRenderer(vtkRenderer* renderer) {
    m_Renderer = renderer;
  }
  void SetActor(vtkProp3D* actor) {
    m_Actor = actor;
  }

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

  // Drawing objects and the drawing pass (Drawing.cpp). The renderer, VTK window, interactor
  // and transforms belong to the render window record and are only borrowed.
  // Opens the stream for the window `hwnd` and builds its drawing objects; 1 on success.
  int InitStrmCloud(WindowId hwnd);
  RenderWindow* GetStrmRenderWindow() const {
    return m_RenderWindowRecord;
  }
  void SetStrmRenderWindow(RenderWindow* window) {
    m_RenderWindowRecord = window;
  }
  void SetGLRenderWindow(vtkRenderWindow* window) {
    m_GLRenderWindow = window;
  }
  void SetInteractor(vtkRenderWindowInteractor* interactor) {
    m_Interactor = interactor;
  }
  void SetWorldToView(vtkTransform* transform) {
    m_WorldToView = transform;
  }
  WindowId GetWindowId() const {
    return m_hWnd;
  }
  // Reads, filters and colours the points of the view for the window's mapper. With
  // `interacting` set, shows the light mask instead. 1 when the pass completed.
  int DrawCloud(double pixelSize, CTextSink* status, TProgressTimeToComplete* progress,
                int interacting);
  // Rebuilds the sample of at most 10,000 points shown while a mouse button is down.
  void UpdateMaskPolyData(RenderWindow* window = nullptr);
  // Off-screen windows: the part of the stream the last render showed.
  void PostRender();
  // Off-screen windows: the absolute x/y extent shown, and the view centre from it.
  void SetViewRect(double maxY, double minX, double minY, double maxX);
  WinDRect GetViewRect() const;
  int ViewRectDefined() const;
  // The window pixels of the eight corners of `bounds` (relative), in the order (xmin, ymin,
  // zmin), (xmax, ymin, zmin), (xmax, ymax, zmin), (xmin, ymax, zmin), then the same at zmax.
  int GetBoundaryScreenPts(const double* bounds, WinPoint* pts);
  int IsVisible() const {
    return m_Visible;
  }
  void PutVisible(int visible) {
    m_Visible = visible;
  }
  int GetDynElevView() const {
    return m_DynElevView;
  }
  void SetDynElevView(int on) {
    m_DynElevView = on;
  }
  int GetDynElevDirView() const {
    return m_DynElevDirView;
  }
  void SetDynElevDirView(int on) {
    m_DynElevDirView = on;
  }
  vtkPolyData* GetRenderPolyData() const {
    return m_RenderPolyData;
  }
  vtkPolyData* GetMaskPolyData() const {
    return m_MaskPolyData;
  }
  vtkPolyDataMapper* GetMapper() const {
    return m_Mapper;
  }
  vtkPolyDataMapper* GetIndexPolyDataMapper() const {
    return m_IndexMapper;
  }
  vtkActor* GetActor() const {
    return m_MainActor;
  }
  const Wml::Point3<double>& GetLastLowPt() const {
    return m_LastLowPt;
  }
  void SetLastLowPt(const Wml::Point3<double>& p) {
    m_LastLowPt = p;
  }
  const Wml::Point3<double>& GetLastHighPt() const {
    return m_LastHighPt;
  }
  void SetLastHighPt(const Wml::Point3<double>& p) {
    m_LastHighPt = p;
  }
  const double* GetLastRenderedRect() const {
    return m_LastRenderedRect;
  }
  void SetLastRenderedRect(const double* rect);

  // Colouring (Colouring.cpp).
  int HasCVM(CVM mode) const;
  void SetCVM(CVM mode);
  void SetColorBy(const char* name, const double* range, const int* component);
  const char* GetColorBy() const {
    return m_ColorBy.c_str();
  }
  vtkLookupTable* GetLookupTable() const {
    return m_LookupTable;
  }
  const double* GetLookupTableRange() const {
    return m_LookupTableRange;
  }
  int GetColorScheme() const {
    return m_ColorScheme;
  }
  void SetColorScheme(int scheme);
  void SetColorSchemeToOwn() {
    SetColorScheme(COLOR_SCHEME_OWN);
  }
  void SetColorSchemeToGrayscale() {
    SetColorScheme(COLOR_SCHEME_GRAYSCALE);
  }
  void SetColorSchemeToRedBlue() {
    SetColorScheme(COLOR_SCHEME_RED_BLUE);
  }
  void SetColorSchemeToBlueRed() {
    SetColorScheme(COLOR_SCHEME_BLUE_RED);
  }
  unsigned long GetPropertyColor() const {
    return m_PropertyColor;
  }
  void SetPropertyColor(unsigned long color);
  int GetRepresentation() const;
  const char* GetRepresentationAsString() const;
  void SetRepresentation(int representation);
  int GetInterpolation() const;
  void SetInterpolation(int interpolation);
  int GetPointSize() const;
  void SetPointSize(int size);
  int GetLineWeight() const;
  void SetLineWeight(int width);
  void SetBackgroundColor(unsigned long bottom, unsigned long top);

  // Camera (Colouring.cpp): preset views over the stream, and the clipping range
  // (-1, -1: the renderer chooses it).
  void SetPresetView(PresetView view);
  void ResetCamera() {
    SetPresetView(VIEW_TOP);
  }
  void SetClipRange(double nearPlane, double farPlane);

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
  // The colour mode and the ranges as the header stores them: only a change is written back.
  struct HeaderSettings {
    double intensityRange[2];
    int cvm;
    double elevationRange[2];  // absolute
    bool operator==(const HeaderSettings& other) const;
  };
  HeaderSettings GetHeaderSettings() const;
  int CheckDataFileSizes();
  int CheckFileSize(StrmFileKind kind, int64_t needed);
  int RefuseItem(const std::string& problem);
  std::string DescribeItem(const Item& item, int depth) const;
  void WriteBackHeader();
  int64_t GetFileSize(StrmFileKind kind);
  std::FILE* OpenForLoading(StrmFileKind kind);
  int CheckItemExtent(StrmFileKind kind, int64_t position, int64_t count, const Item& item,
                      int depth);
  int ReadItemFile(StrmFileKind kind, int64_t position, int64_t count, char* target);
  const char* ReadIntoBuffer(StrmFileKind kind, int64_t position, int64_t count);
  const char* MappedRecords(StrmFileKind kind, int64_t position, int64_t count) const;
  int CopyMappedRecords(StrmFileKind kind, int64_t position, int64_t count,
                        const std::function<void()>& copy);
  int RefuseVanishedRecords(StrmFileKind kind, int64_t position);
  // The arrays a view read fills; any but the points may be null.
  struct ViewArrays {
    vtkPoints* points;
    vtkCellArray* cells;
    vtkUnsignedCharArray* classes;
    vtkUnsignedCharArray* colors;
    vtkFloatArray* intensities;
    vtkUnsignedCharArray* pulses;
    vtkFloatArray* normals;
  };
  // Reads the view's items on two threads (ViewReading.cpp); -1, with nothing read, when
  // they must be read one by one instead (a mesh, files not mapped, few points).
  int ReadViewOnTwoThreads(int level, const int* ids, int count, int step, const ViewArrays& arrays,
                           const std::function<void(int)>& showProgress);
  void ReadViewItemByItem(int level, const int* ids, int count, int step, const ViewArrays& arrays,
                          const std::function<void(int)>& showProgress);
  void CopyViewItem(nimbex_view::ItemCopy& copy, const std::vector<nimbex_view::Array>& arrays,
                    int step);
  int64_t KeepCopiedItems(const std::vector<nimbex_view::ItemCopy>& copies,
                          const std::vector<nimbex_view::Array>& arrays,
                          std::vector<std::string>& problems, int level);
  void WidenLoadedRect(const double* bounds);
  int ReadTriangles(StrmFileKind kind, const Item& item, int depth);
  int LoadPoints(StrmFileKind kind, int64_t position, int64_t count, int step, vtkPoints* points);
  template <class Array>
  int LoadAttribute(StrmFileKind kind, int64_t position, int64_t count, int step, Array* array);
  void ReleaseIndex();

  // Drawing (Drawing.cpp).
  vtkSmartPointer<vtkPolyData> GetOverview();
  int BuildDrawingObjects(RenderWindow* window);
  void ReleaseDrawingObjects();
  RenderWindow* GetDrawingWindow() const;
  RenderWindow* GetOffScreenWindow() const;
  Wml::Box3<double> GetViewBox(RenderWindow* window) const;
  void ClearMapperInput();
  void ShowOnMapper(vtkPolyData* data);
  void ShowMask();
  void FitClippingRangeToWindow(RenderWindow* window);
  void ReleaseRenderPolyData();
  void CreateViewArrays(DrawnArrays& arrays, bool withCells) const;
  int RegenerateRenderPolyData(RenderWindow* window, Wml::Box3<double>& box, int step, int budget,
                               TProgressTimeToComplete* progress);
  vtkSmartPointer<vtkPolyData> BuildMeshPolyData(DrawnArrays& arrays);
  vtkSmartPointer<vtkPolyData> BuildPointPolyData(RenderWindow* window,
                                                  const Wml::Box3<double>& box,
                                                  DrawnArrays& arrays);
  void StoreTrackedElevation(double lowZ, double highZ, const CUCS* ucs);
  vtkSmartPointer<vtkPolyData> ColourByElevation(vtkPolyData* data);
  void PrepareViewUcs(const Wml::Box3<double>& box, bool onScreen);
  bool IsUcsWorldAligned() const;
  // Scene bounds of the stream in its window: relative bounds + offset - window centre.
  void GetSceneBounds(double* bounds) const;

  // Colouring (Colouring.cpp).
  void ColorByPropertyColor();
  void ColorByTexture(vtkPointData* pointData);
  void ColorByArray(vtkPointData* pointData, const double* range, const int* component);
  vtkProperty* GetActorProperty() const;

  std::string m_FileName;
  std::string m_Paths[STRM_FILE_KIND_COUNT];
  std::FILE* m_Files[STRM_FILE_KIND_COUNT] = {};
  int64_t m_SavedPositions[STRM_FILE_KIND_COUNT] = {};
  int64_t m_FileSizes[STRM_FILE_KIND_COUNT] = {};
  CMappedFile m_Mappings[STRM_FILE_KIND_COUNT];
  std::string m_LastError;
  int m_HeaderWriteBack = 1;
  HeaderSettings m_StoredSettings = {};
  std::string m_LoadError;

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
  double m_LoadedRect[4] = {NBX_UNSET, NBX_UNSET, NBX_UNSET, NBX_UNSET};
  vtkRenderer* m_Renderer = nullptr;
  vtkProp3D* m_Actor = nullptr;

  // Drawing state.
  RenderWindow* m_RenderWindowRecord = nullptr;
  WindowId m_hWnd = nullptr;
  vtkRenderWindow* m_GLRenderWindow = nullptr;
  vtkRenderWindowInteractor* m_Interactor = nullptr;
  vtkTransform* m_WorldToView = nullptr;
  vtkPolyDataMapper* m_IndexMapper = nullptr;
  vtkPolyDataMapper* m_Mapper = nullptr;
  vtkActor* m_MainActor = nullptr;
  vtkPolyData* m_RenderPolyData = nullptr;
  vtkPolyData* m_MaskPolyData = nullptr;
  vtkElevationFilter* m_ElevationFilter = nullptr;
  vtkCastToConcrete* m_CastFilter = nullptr;
  vtkTransformPolyDataFilter* m_TransformFilter = nullptr;
  vtkLookupTable* m_LookupTable = nullptr;
  std::string m_ColorBy;
  double m_LookupTableRange[2] = {NBX_UNSET, NBX_UNSET};
  int m_ColorScheme = COLOR_SCHEME_NONE;
  unsigned long m_PropertyColor = 0xFFFFFF;
  double m_ClipRange[2] = {-1.0, -1.0};
  int m_Visible = 1;
  int m_FullResShown = 0;
  int m_DynElevView = 0;
  int m_DynElevDirView = 0;
  std::unique_ptr<CUCS> m_Ucs;
  Wml::Point3<double> m_LastLowPt;
  Wml::Point3<double> m_LastHighPt;
  double m_LastRenderedRect[4] = {NBX_UNSET, NBX_UNSET, NBX_UNSET, NBX_UNSET};
  std::vector<char> m_ReadBuffer;
  std::vector<int32_t> m_TriangleBuffer;
};
