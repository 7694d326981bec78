// The drawing side of a stream: its VTK objects in a render window, the pass that reads the
// points of the view within the window's budget, keeps those facing the camera and of
// visible classes, colours them by the colour mode and places them in the window's scene
// frame, and the light sample shown while the user drags.
//
// Class bytes of 10 or more and pulse kinds of 4 or more have no entry in the class and
// pulse tables: such points are drawn in a neutral grey and are visible when class 0
// ("<no class>") is, so that no table is ever read out of its range.
#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCastToConcrete.h>
#include <vtkCellArray.h>
#include <vtkElevationFilter.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkLookupTable.h>
#include <vtkMaskPoints.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/platform/Sinks.h"
#include "nimbex/platform/UCS.h"
#include "nimbex/window/RenderWindow.h"

namespace {

constexpr int kMaskMaxPoints = 10000;
// A stream whose offset is the window centre within this distance is drawn untranslated.
constexpr double kCentreTolerance = 0.001;
constexpr unsigned int kOutOfTableColor = 0x808080;
constexpr double kViewDepthHalfExtent = 1000000.0;

using Vector = Wml::Vector3<double>;

template <class T>
void DeleteVtk(T*& object) {
  if (object) object->Delete();
  object = nullptr;
}

bool AnyClassVisible() {
  for (const PointClass& pointClass : _ClassArray)
    if (pointClass.visible) return true;
  return false;
}

bool AllClassesVisible() {
  for (const PointClass& pointClass : _ClassArray)
    if (!pointClass.visible) return false;
  return true;
}

// Visibility and colours per byte value, read once per pass from the process-wide tables.
struct ClassLookup {
  bool visible[256];
  unsigned int classColor[256];
  unsigned int pulseColor[256];

  ClassLookup() {
    for (int value = 0; value < 256; ++value) {
      const bool inTable = value < POINT_CLASS_COUNT;
      visible[value] = (inTable ? _ClassArray[value].visible : _ClassArray[0].visible) != 0;
      classColor[value] = inTable ? _ClassArray[value].color : kOutOfTableColor;
      pulseColor[value] = value < PULSE_KIND_COUNT ? _PulsesColors[value] : kOutOfTableColor;
    }
  }
};

void PutColorRef(unsigned char* rgb, unsigned int color) {
  rgb[0] = color & 0xFF;
  rgb[1] = (color >> 8) & 0xFF;
  rgb[2] = (color >> 16) & 0xFF;
}

template <class Array>
auto* TuplesOf(Array* array, vtkIdType count) {
  return array && array->GetNumberOfTuples() == count ? array->GetPointer(0) : nullptr;
}

vtkSmartPointer<vtkCellArray> MakeVertexCells(vtkIdType count) {
  vtkNew<vtkIdTypeArray> offsets;
  vtkNew<vtkIdTypeArray> connectivity;
  offsets->SetNumberOfValues(count + 1);
  connectivity->SetNumberOfValues(count);
  std::iota(offsets->GetPointer(0), offsets->GetPointer(0) + count + 1, vtkIdType(0));
  std::iota(connectivity->GetPointer(0), connectivity->GetPointer(0) + count, vtkIdType(0));
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}

// The renderer's aspect from the present window size. The aspect the renderer keeps is only
// refreshed by ComputeAspect, whose cache of the last size is not reliably initialised in
// this VTK, so that a new renderer may keep reporting 1:1.
void GetRendererAspect(vtkRenderer* renderer, double* aspect) {
  int width = 0, height = 0, x = 0, y = 0;
  if (renderer->GetVTKWindow()) renderer->GetTiledSizeAndOrigin(&width, &height, &x, &y);
  if (width <= 0 || height <= 0) {
    renderer->GetAspect(aspect);
    return;
  }
  const double* pixelAspect = renderer->GetPixelAspect();
  aspect[0] = static_cast<double>(width) / height * pixelAspect[0];
  aspect[1] = pixelAspect[1];
}

bool NeedsTranslation(const double* offset, const double* centre) {
  for (int axis = 0; axis < 3; ++axis)
    if (std::fabs(offset[axis] - centre[axis]) > kCentreTolerance) return true;
  return false;
}

// Runs a filter on `input` and keeps a copy of its output; the filter lets go of both, so
// that the data lives only as long as the copy.
vtkSmartPointer<vtkPolyData> RunAndCopy(vtkAlgorithm* filter, vtkPolyData* input,
                                        vtkPolyData* output) {
  filter->SetInputDataObject(input);
  filter->Update();
  auto copy = vtkSmartPointer<vtkPolyData>::New();
  copy->ShallowCopy(output);
  filter->SetInputDataObject(nullptr);
  output->ReleaseData();
  return copy;
}

// Moves stream-frame data to the scene frame of a window centred on `centre`.
vtkSmartPointer<vtkPolyData> ToSceneFrame(vtkTransformPolyDataFilter* filter, vtkPolyData* data,
                                          const double* offset, const double* centre) {
  if (!NeedsTranslation(offset, centre)) return data;
  vtkNew<vtkTransform> translation;
  translation->Translate(offset[0] - centre[0], offset[1] - centre[1], offset[2] - centre[2]);
  filter->SetTransform(translation);
  return RunAndCopy(filter, data, filter->GetOutput());
}

// The low and high elevations of the points inside the view, measured along the z axis of
// `ucs` (world z when null).
struct ElevationTracker {
  bool on = false;
  double regionMin[3] = {0, 0, 0};
  double regionMax[3] = {0, 0, 0};
  const CUCS* ucs = nullptr;
  double lowZ = 1.0e10;
  double highZ = -1.0e10;

  void Add(const float* p) {
    for (int axis = 0; axis < 3; ++axis)
      if (!(p[axis] > regionMin[axis] && p[axis] < regionMax[axis])) return;
    double z = p[2];
    if (ucs) {
      const double world[3] = {p[0], p[1], p[2]};
      double user[3];
      ucs->WorldToUser(world, user);
      z = user[2];
    }
    lowZ = std::min(lowZ, z);
    highZ = std::max(highZ, z);
  }
  bool Found() const { return lowZ <= highZ; }
};

}  // namespace

// The per-point arrays of one reading. The loaded ones are filtered in place; `rgb` is what
// the mode draws: the stored colours, or colours made from classes or pulse kinds.
struct DrawnArrays {
  vtkSmartPointer<vtkPoints> points = vtkSmartPointer<vtkPoints>::New();
  vtkSmartPointer<vtkCellArray> cells;
  vtkSmartPointer<vtkUnsignedCharArray> classes;
  vtkSmartPointer<vtkUnsignedCharArray> colors;
  vtkSmartPointer<vtkFloatArray> intensities;
  vtkSmartPointer<vtkUnsignedCharArray> pulses;
  vtkSmartPointer<vtkFloatArray> normals;
  vtkSmartPointer<vtkUnsignedCharArray> rgb;
};

namespace {

template <class Array>
vtkSmartPointer<Array> NewArray(const char* name, int components) {
  auto array = vtkSmartPointer<Array>::New();
  array->SetName(name);
  array->SetNumberOfComponents(components);
  return array;
}

// Keeps the points that face the camera (`view`: its direction, null: no facing test) and
// whose class is visible, moving every per-point array down in place, and colours the kept
// points by `mode`. Returns the number kept.
vtkIdType KeepDrawnPoints(DrawnArrays& a, int mode, const Vector* view, ElevationTracker* tracker) {
  const vtkIdType count = a.points->GetNumberOfPoints();
  float* points = vtkFloatArray::FastDownCast(a.points->GetData())->GetPointer(0);
  const unsigned char* classes = TuplesOf(a.classes.Get(), count);
  unsigned char* colors = TuplesOf(a.colors.Get(), count);
  float* intensities = TuplesOf(a.intensities.Get(), count);
  const unsigned char* pulses = TuplesOf(a.pulses.Get(), count);
  float* normals = TuplesOf(a.normals.Get(), count);

  const bool byClass = mode == CVM_CLASSES;
  const bool byPulse = mode == CVM_PULSE && pulses;
  const bool byColor = mode == CVM_RGB && colors;
  if (byClass || byPulse) {
    a.rgb = NewArray<vtkUnsignedCharArray>("RGB", 3);
    a.rgb->SetNumberOfTuples(count);
  } else if (byColor) {
    a.rgb = a.colors;
  }
  unsigned char* rgb = a.rgb ? a.rgb->GetPointer(0) : nullptr;
  const ClassLookup lookup;

  vtkIdType kept = 0;
  for (vtkIdType i = 0; i < count; ++i) {
    const float* n = normals ? normals + 3 * i : nullptr;
    if (n && view && n[0] * view->X() + n[1] * view->Y() + n[2] * view->Z() > 0.0) continue;
    if (!lookup.visible[classes ? classes[i] : 0]) continue;
    std::copy(points + 3 * i, points + 3 * i + 3, points + 3 * kept);
    if (normals) std::copy(n, n + 3, normals + 3 * kept);
    if (intensities) intensities[kept] = intensities[i];
    if (byClass) PutColorRef(rgb + 3 * kept, lookup.classColor[classes ? classes[i] : 0]);
    if (byPulse) PutColorRef(rgb + 3 * kept, lookup.pulseColor[pulses[i]]);
    if (byColor) std::copy(colors + 3 * i, colors + 3 * i + 3, rgb + 3 * kept);
    if (tracker && tracker->on) tracker->Add(points + 3 * kept);
    ++kept;
  }

  a.points->SetNumberOfPoints(kept);
  if (normals) a.normals->SetNumberOfTuples(kept);
  if (intensities) a.intensities->SetNumberOfTuples(kept);
  if (rgb) a.rgb->SetNumberOfTuples(kept);
  if (!normals) a.normals = nullptr;
  if (!intensities) a.intensities = nullptr;
  return kept;
}

// A normal's x, y and z as red, green and blue, from 0 at -1 to 255 at +1 after the normal is
// made unit length; the zero normal of points that came without one is mid-grey.
vtkSmartPointer<vtkUnsignedCharArray> ColoursOfNormals(vtkFloatArray* normals) {
  auto rgb = NewArray<vtkUnsignedCharArray>("RGB", 3);
  const vtkIdType count = normals->GetNumberOfTuples();
  rgb->SetNumberOfTuples(count);
  const float* n = normals->GetPointer(0);
  unsigned char* out = rgb->GetPointer(0);
  for (vtkIdType i = 0; i < count; ++i) {
    const double length =
        std::sqrt(double(n[3 * i]) * n[3 * i] + double(n[3 * i + 1]) * n[3 * i + 1] +
                  double(n[3 * i + 2]) * n[3 * i + 2]);
    for (int c = 0; c < 3; ++c) {
      // A NaN component, or a zero normal, counts as 0.
      const double unit = length > 0.0 ? n[3 * i + c] / length : 0.0;
      const double component = unit >= -1.0 ? std::min(unit, 1.0) : 0.0;
      out[3 * i + c] = static_cast<unsigned char>(std::lround((component + 1.0) * 127.5));
    }
  }
  return rgb;
}

// Adds the colour arrays to a poly data: "RGB" as the scalars, intensities and normals as the
// scalars when there are none yet, otherwise as further arrays.
void AttachArrays(vtkPolyData* data, const DrawnArrays& a) {
  vtkPointData* pointData = data->GetPointData();
  if (a.rgb) pointData->SetScalars(a.rgb);
  for (vtkDataArray* array : {static_cast<vtkDataArray*>(a.intensities.Get()),
                              static_cast<vtkDataArray*>(a.normals.Get())}) {
    if (!array) continue;
    if (pointData->GetScalars())
      pointData->AddArray(array);
    else
      pointData->SetScalars(array);
  }
}

// Makes the array of `name` the active scalars; a name no array has leaves none active.
void ActivateScalars(vtkPolyData* data, const char* name) {
  int index = -1;
  data->GetPointData()->GetAbstractArray(name, index);
  data->GetPointData()->SetActiveAttribute(index, vtkDataSetAttributes::SCALARS);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Opening for a window and closing

int CNimbex::InitStrmCloud(WindowId hwnd) {
  RenderWindow* window = GetRenderWindow(hwnd);
  if (!window || !m_Renderer || !m_GLRenderWindow) return 0;
  if (!m_Interactor && !window->m_OffScreen) return 0;
  // Opening starts from a closed object, which forgets the window's objects: keep them.
  vtkRenderer* renderer = m_Renderer;
  vtkRenderWindow* glWindow = m_GLRenderWindow;
  vtkRenderWindowInteractor* interactor = m_Interactor;
  vtkTransform* worldToView = m_WorldToView;
  if (!OpenStrmCloud()) return 0;
  m_Renderer = renderer;
  m_GLRenderWindow = glWindow;
  m_Interactor = interactor;
  m_WorldToView = worldToView;
  m_RenderWindowRecord = window;

  if (!BuildDrawingObjects(window)) {
    CloseStrmCloud();
    return 0;
  }
  m_ColorBy = GetCVMName(m_CVM);
  SetColorScheme(COLOR_SCHEME_BLUE_RED);
  m_DynElevView = m_DynElevDirView = 0;
  m_IOPtsLoaded = 0;
  m_hWnd = hwnd;
  SetBackgroundColor(0x2D2D2D, 0x505050);
  return 1;
}

// One vertex per full-resolution item at the item's centre, in stored order.
vtkSmartPointer<vtkPolyData> CNimbex::GetOverview() {
  if (m_Items.empty()) return nullptr;
  vtkNew<vtkPoints> centres;
  for (const Item& item : m_Items) centres->InsertNextPoint(item.center);
  auto overview = vtkSmartPointer<vtkPolyData>::New();
  overview->SetPoints(centres);
  overview->SetVerts(MakeVertexCells(centres->GetNumberOfPoints()));
  return overview;
}

int CNimbex::BuildDrawingObjects(RenderWindow* window) {
  vtkSmartPointer<vtkPolyData> overview = GetOverview();
  if (!overview || m_Depth < 0) return 0;
  m_IndexMapper = vtkPolyDataMapper::New();
  m_IndexMapper->SetInputData(overview);
  m_IndexMapper->ScalarVisibilityOff();

  const double* range = m_CVM == CVM_INTENSITY ? m_IntensityRange : m_ElevationRange;
  m_Mapper = vtkPolyDataMapper::New();
  m_Mapper->ScalarVisibilityOn();
  m_Mapper->SetScalarRange(range[0], range[1]);
  m_MainActor = vtkActor::New();
  m_MainActor->SetMapper(m_Mapper);
  m_MainActor->GetProperty()->SetRepresentationToPoints();
  m_Renderer->AddActor(m_MainActor);
  m_Actor = m_MainActor;

  // The gradient runs along z over the elevation range until a pass measures the view.
  m_ElevationFilter = vtkElevationFilter::New();
  m_LastLowPt = Wml::Point3<double>(0, 0, m_ElevationRange[0]);
  m_LastHighPt = Wml::Point3<double>(0, 0, m_ElevationRange[1]);
  m_ElevationFilter->SetLowPoint(0, 0, m_ElevationRange[0]);
  m_ElevationFilter->SetHighPoint(0, 0, m_ElevationRange[1]);
  m_ElevationFilter->SetScalarRange(m_ElevationRange[0], m_ElevationRange[1]);

  m_LookupTable = vtkLookupTable::New();
  m_LookupTable->SetHueRange(0.6667, 0.0);
  m_LookupTable->SetSaturationRange(1.0, 1.0);
  m_LookupTable->SetValueRange(1.0, 1.0);
  RefreshViewMatrices(window);
  m_LookupTableRange[0] = range[0];
  m_LookupTableRange[1] = range[1];
  m_LookupTable->SetRange(range[0], range[1]);
  m_LookupTable->Build();

  m_CastFilter = vtkCastToConcrete::New();
  m_TransformFilter = vtkTransformPolyDataFilter::New();
  return 1;
}

void CNimbex::ReleaseDrawingObjects() {
  if (m_Renderer && m_MainActor) m_Renderer->RemoveActor(m_MainActor);
  DeleteVtk(m_IndexMapper);
  DeleteVtk(m_Mapper);
  DeleteVtk(m_RenderPolyData);
  DeleteVtk(m_MaskPolyData);
  DeleteVtk(m_MainActor);
  DeleteVtk(m_ElevationFilter);
  DeleteVtk(m_CastFilter);
  DeleteVtk(m_TransformFilter);
  DeleteVtk(m_LookupTable);
  m_Ucs.reset();
  m_PrevStreamSample = 0;
  m_FullResShown = 0;
  m_Actor = nullptr;
  m_Renderer = nullptr;
  m_GLRenderWindow = nullptr;
  m_Interactor = nullptr;
  m_WorldToView = nullptr;
}

// ---------------------------------------------------------------------------------------
// The drawing pass

void CNimbex::ClearMapperInput() {
  if (m_Mapper) m_Mapper->SetInputData(nullptr);
}

void CNimbex::ShowOnMapper(vtkPolyData* data) {
  m_Mapper->SetInputData(data);
  m_Mapper->Update();
}

RenderWindow* CNimbex::GetDrawingWindow() const {
  if (m_LinearDensity == 0.0 || !m_GLRenderWindow || !m_hWnd || !m_Mapper || !m_Renderer)
    return nullptr;
  return GetRenderWindow(m_hWnd);
}

// The box the camera sees, in the stream's frame: the window's view centre is a scene point.
Wml::Box3<double> CNimbex::GetViewBox(RenderWindow* window) const {
  vtkCamera* camera = m_Renderer->GetActiveCamera();
  Vector up(camera->GetViewUp());
  Vector direction(camera->GetDirectionOfProjection());
  up.Normalize();
  direction.Normalize();
  double aspect[2];
  GetRendererAspect(m_Renderer, aspect);
  const double height = 2.0 * camera->GetParallelScale() / aspect[1];
  const double width = height * aspect[0];
  Vector right = up.Cross(direction);
  right.Normalize();

  Wml::Box3<double> box;
  for (int axis = 0; axis < 3; ++axis)
    box.Center()[axis] = window->m_ViewCenter[axis] + window->m_Center[axis] - m_Offset[axis];
  box.Axis(0) = right;
  box.Axis(1) = up;
  box.Axis(2) = direction;
  box.Extent(0) = width / 2.0;
  box.Extent(1) = height / 2.0;
  box.Extent(2) = kViewDepthHalfExtent;
  return box;
}

int CNimbex::DrawCloud(double /*pixelSize: the window's own is used*/, CTextSink* status,
                       TProgressTimeToComplete* progress, int interacting) {
  RenderWindow* window = GetDrawingWindow();
  if (!window) return 0;
  // A hidden stream shows nothing in any window, and its detail must not come back when a
  // mouse button is released.
  if (!AnyClassVisible() || !m_Visible) {
    ReleaseRenderPolyData();
    ClearMapperInput();
    return 0;
  }
  const WinRect screen = GetWinPosition(window);
  if (status) status->SetText("Loading from disk...");
  Wml::Box3<double> box = GetViewBox(window);

  int step = 1;
  int budget = -1;
  if (m_FullRes) {
    m_CurDepth = m_Depth;
  } else {
    step = static_cast<int>(std::max(window->m_PixelSize / m_LinearDensity, 1.0));
    m_CurDepth = GetBestDepth(step, -1);
    budget = GetDrawingBudget(screen.left, screen.top, screen.right, screen.bottom);
  }
  if (m_CurDepth == -1) return 0;
  if (!m_FullRes && m_FullResShown) {
    m_FullResShown = 0;
    UpdateMaskPolyData(window);
  }

  const auto start = std::chrono::steady_clock::now();
  if (!interacting && !m_FullResShown) {
    if (!RegenerateRenderPolyData(window, box, step, budget, progress)) return 0;
  } else if (interacting && m_MaskPolyData) {
    ShowMask();
  }
  if (m_ClipRange[0] == -1.0 && m_ClipRange[1] == -1.0) FitClippingRangeToWindow(window);

  if (status) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[512];
    std::snprintf(text, sizeof text,
                  " Interaction=%d \r\n \r\n Depth=%d   m_Depth=%d \r\n \r\n SS=%d \r\n \r\n "
                  "Points=%d \r\n \r\n Time=%.3lf \r\n \r\n ps=%.3lf",
                  iRenderProc, m_CurDepth, m_Depth, m_PrevStreamSample, m_RenderedPointCount,
                  seconds, window->m_PixelSize);
    status->SetText(text);
  }
  return 1;
}

// The clipping range holds every visible stream of the window and whatever else the host
// draws in it (camera markers above the ground, links): fitted to one stream, it would cut
// away the others where they lie at other heights.
void CNimbex::FitClippingRangeToWindow(RenderWindow* window) {
  double all[6] = {1.0e300, -1.0e300, 1.0e300, -1.0e300, 1.0e300, -1.0e300};
  bool anyVisible = false;
  double props[6];
  m_Renderer->ComputeVisiblePropBounds(props);
  if (props[0] <= props[1]) {
    std::copy(props, props + 6, all);
    anyVisible = true;
  }
  for (const CNimbex* cloud : window->m_Clouds) {
    if (!cloud->IsVisible()) continue;
    double bounds[6];
    cloud->GetSceneBounds(bounds);
    for (int axis = 0; axis < 3; ++axis) {
      all[2 * axis] = std::min(all[2 * axis], bounds[2 * axis]);
      all[2 * axis + 1] = std::max(all[2 * axis + 1], bounds[2 * axis + 1]);
    }
    anyVisible = true;
  }
  if (anyVisible) m_Renderer->ResetCameraClippingRange(all);
}

void CNimbex::ShowMask() {
  if (m_Mapper->GetInput() == m_MaskPolyData) return;
  if (m_RenderPolyData && m_Mapper->GetInput() == m_RenderPolyData) ReleaseRenderPolyData();
  ShowOnMapper(m_MaskPolyData);
}

void CNimbex::ReleaseRenderPolyData() {
  DeleteVtk(m_RenderPolyData);
}

// The arrays a pass reads for the colour mode. Stored colours are drawn on point streams
// only.
void CNimbex::CreateViewArrays(DrawnArrays& a, bool withCells) const {
  if (withCells) a.cells = vtkSmartPointer<vtkCellArray>::New();
  const bool classesNeeded = m_CVM == CVM_CLASSES || !AllClassesVisible();
  // A stream without class files holds only unclassified points.
  if (classesNeeded && m_HasClasses) a.classes = NewArray<vtkUnsignedCharArray>("Classes", 1);
  if (m_CVM == CVM_RGB && !m_HasTri) a.colors = NewArray<vtkUnsignedCharArray>("RGB", 3);
  if (m_CVM == CVM_INTENSITY) a.intensities = NewArray<vtkFloatArray>("Intensity", 1);
  if (m_CVM == CVM_PULSE) a.pulses = NewArray<vtkUnsignedCharArray>("Pulses", 1);
}

int CNimbex::RegenerateRenderPolyData(RenderWindow* window, Wml::Box3<double>& box, int step,
                                      int budget, TProgressTimeToComplete* progress) {
  ClearMapperInput();
  ReleaseRenderPolyData();
  DrawnArrays a;
  CreateViewArrays(a, m_HasTri != 0);
  if (m_HasNormals) a.normals = NewArray<vtkFloatArray>("Normals", 3);
  if (m_HasTri) {
    step = 1;
    budget = -1;
  }
  vtkPoints* points = a.points;
  int depth = m_CurDepth;
  const int loaded =
      LoadSpcData(depth, step, box, points, a.cells, a.classes, a.colors, a.intensities, a.pulses,
                  a.normals, 0.0, budget > 0 ? &budget : nullptr, progress);
  m_RenderedPointCount = static_cast<int>(a.points->GetNumberOfPoints());
  if (!loaded || m_RenderedPointCount == 0) return 0;

  vtkSmartPointer<vtkPolyData> data =
      m_HasTri ? BuildMeshPolyData(a) : BuildPointPolyData(window, box, a);
  if (!data) return 0;
  if (m_CVM == CVM_NORMALS && a.normals) a.rgb = ColoursOfNormals(a.normals);
  AttachArrays(data, a);
  const bool colouredByRgb = m_CVM == CVM_CLASSES || m_CVM == CVM_PULSE || m_CVM == CVM_NORMALS;
  ActivateScalars(data, colouredByRgb ? "RGB" : m_ColorBy.c_str());
  data = ToSceneFrame(m_TransformFilter, data, m_Offset, window->m_Center);

  if (m_FullRes) {
    // The mask reads on its own: what the view's reading found wrong is what the pass says.
    const std::string viewProblem = m_LoadError;
    m_FullResShown = 1;
    UpdateMaskPolyData(window);
    m_LoadError = viewProblem;
  }
  m_RenderPolyData = data;
  m_RenderPolyData->Register(nullptr);
  ShowOnMapper(m_RenderPolyData);
  m_PrevStreamSample = step;
  return 1;
}

vtkSmartPointer<vtkPolyData> CNimbex::BuildMeshPolyData(DrawnArrays& a) {
  m_MainActor->GetProperty()->SetRepresentationToWireframe();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(a.points);
  data->SetPolys(a.cells);
  // Colours made per point are not drawn on meshes; keep only arrays that match the points.
  const vtkIdType count = a.points->GetNumberOfPoints();
  if (!TuplesOf(a.intensities.Get(), count)) a.intensities = nullptr;
  if (!TuplesOf(a.normals.Get(), count)) a.normals = nullptr;
  return data;
}

// Filters and colours the points of a point stream; with elevation colouring, runs the
// elevation filter over them. Null when no point is left.
vtkSmartPointer<vtkPolyData> CNimbex::BuildPointPolyData(RenderWindow* window,
                                                         const Wml::Box3<double>& box,
                                                         DrawnArrays& a) {
  const bool onScreen = !window->m_OffScreen;
  ElevationTracker tracker;
  tracker.on = (m_CVM == CVM_ELEVATION && m_DynElevView) || (onScreen && m_DynElevDirView);
  PrepareViewUcs(box, onScreen);
  if (tracker.on) {
    for (int axis = 0; axis < 3; ++axis) {
      tracker.regionMin[axis] = box.Center()[axis] - box.Extent(axis);
      tracker.regionMax[axis] = box.Center()[axis] + box.Extent(axis);
    }
    // Only elevation along the view direction is measured in the view's system.
    if (onScreen && m_DynElevDirView && !IsUcsWorldAligned()) tracker.ucs = m_Ucs.get();
  }

  vtkCamera* camera = m_Renderer->GetActiveCamera();
  Vector view = Vector(camera->GetFocalPoint()) - Vector(camera->GetPosition());
  view.Normalize();
  if (KeepDrawnPoints(a, m_CVM, &view, &tracker) == 0) return nullptr;

  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->SetPoints(a.points);
  data->SetVerts(MakeVertexCells(a.points->GetNumberOfPoints()));
  if (m_CVM != CVM_ELEVATION) return data;

  if (tracker.on && tracker.Found())
    StoreTrackedElevation(tracker.lowZ, tracker.highZ, tracker.ucs);
  m_ElevationFilter->SetLowPoint(m_LastLowPt.X(), m_LastLowPt.Y(), m_LastLowPt.Z());
  m_ElevationFilter->SetHighPoint(m_LastHighPt.X(), m_LastHighPt.Y(), m_LastHighPt.Z());
  m_ElevationRange[0] = m_LastLowPt.Z();
  m_ElevationRange[1] = m_LastHighPt.Z();
  return ColourByElevation(data);
}

// The points with the elevation filter's scalars, from its present low and high points.
vtkSmartPointer<vtkPolyData> CNimbex::ColourByElevation(vtkPolyData* data) {
  m_CastFilter->SetInputConnection(m_ElevationFilter->GetOutputPort());
  m_ElevationFilter->SetInputData(data);
  m_CastFilter->Update();
  auto elevated = vtkSmartPointer<vtkPolyData>::New();
  elevated->ShallowCopy(m_CastFilter->GetPolyDataOutput());
  m_ElevationFilter->SetInputDataObject(nullptr);
  m_ElevationFilter->GetOutput()->ReleaseData();
  m_CastFilter->GetOutput()->ReleaseData();
  return elevated;
}

// Stores the tracked elevations as the gradient's low and high points. Measured in the
// view's system, both lie on its z axis through the view centre, so that the gradient runs
// exactly along the viewing direction; otherwise they keep their x and y.
void CNimbex::StoreTrackedElevation(double lowZ, double highZ, const CUCS* ucs) {
  if (ucs) {
    m_LastLowPt = ucs->UserToWorld(Vector(0, 0, lowZ));
    m_LastHighPt = ucs->UserToWorld(Vector(0, 0, highZ));
    return;
  }
  m_LastLowPt.Z() = lowZ;
  m_LastHighPt.Z() = highZ;
}

// The system whose z axis is the viewing direction, centred on the view.
void CNimbex::PrepareViewUcs(const Wml::Box3<double>& box, bool onScreen) {
  if (m_Ucs && !(onScreen && m_DynElevDirView)) return;
  m_Ucs = std::make_unique<CUCS>(box.Center(), box.Axis(0), box.Axis(1));
}

bool CNimbex::IsUcsWorldAligned() const {
  if (!m_Ucs) return true;
  const Vector z = m_Ucs->GetAxis(2);
  return std::fabs(z.X()) < 0.001 && std::fabs(z.Y()) < 0.001 && std::fabs(z.Z() - 1.0) < 0.001;
}

// ---------------------------------------------------------------------------------------
// The light sample shown during interaction

void CNimbex::UpdateMaskPolyData(RenderWindow* window) {
  if (!window) window = m_RenderWindowRecord ? m_RenderWindowRecord : GetRenderWindow(m_hWnd);
  if (!window || !m_TransformFilter) return;
  DeleteVtk(m_MaskPolyData);

  DrawnArrays a;
  CreateViewArrays(a, false);
  if (m_CVM == CVM_RGB && !a.colors) a.colors = NewArray<vtkUnsignedCharArray>("RGB", 3);
  if (m_CVM == CVM_NORMALS && m_HasNormals) a.normals = NewArray<vtkFloatArray>("Normals", 3);
  if (!LoadItemIO(0, 0, a.points, nullptr, a.classes, a.colors, a.intensities, a.pulses, a.normals,
                  1) ||
      KeepDrawnPoints(a, m_CVM, nullptr, nullptr) == 0)
    return;
  if (m_CVM == CVM_NORMALS && a.normals) a.rgb = ColoursOfNormals(a.normals);

  vtkNew<vtkPolyData> sample;
  sample->SetPoints(a.points);
  sample->SetVerts(MakeVertexCells(a.points->GetNumberOfPoints()));
  if (a.rgb) sample->GetPointData()->SetScalars(a.rgb);
  if (a.intensities) sample->GetPointData()->SetScalars(a.intensities);
  // Coloured as the detail is, so that dragging keeps the picture's colours.
  vtkSmartPointer<vtkPolyData> coloured = sample;
  if (m_CVM == CVM_ELEVATION && m_ElevationFilter) coloured = ColourByElevation(sample);

  vtkNew<vtkMaskPoints> mask;
  mask->SetOnRatio(1);
  mask->RandomModeOn();
  mask->SetRandomModeType(1);
  mask->SetMaximumNumberOfPoints(kMaskMaxPoints);
  mask->GenerateVerticesOn();
  mask->SingleVertexPerCellOn();
  vtkSmartPointer<vtkPolyData> masked = RunAndCopy(mask, coloured, mask->GetOutput());
  masked = ToSceneFrame(m_TransformFilter, masked, m_Offset, window->m_Center);
  m_MaskPolyData = vtkPolyData::New();
  m_MaskPolyData->ShallowCopy(masked);
}

// ---------------------------------------------------------------------------------------
// Off-screen windows: view rectangle and what the last render showed

RenderWindow* CNimbex::GetOffScreenWindow() const {
  RenderWindow* window = m_RenderWindowRecord ? m_RenderWindowRecord : GetRenderWindow(m_hWnd);
  return window && window->m_OffScreen ? window : nullptr;
}

void CNimbex::PostRender() {
  RenderWindow* window = GetOffScreenWindow();
  if (!window) return;
  // The view rectangle is absolute, the bounds relative to the offset.
  const double* view = window->m_ViewRect;
  const double left = std::max(m_Bounds[0], view[0] - m_Offset[0]);
  const double bottom = std::max(m_Bounds[2], view[1] - m_Offset[1]);
  const double right = std::min(m_Bounds[1], view[2] - m_Offset[0]);
  const double top = std::min(m_Bounds[3], view[3] - m_Offset[1]);
  if (left < right && bottom < top) {
    const double rect[4] = {left, bottom, right, top};
    SetLastRenderedRect(rect);
  } else {
    const double unset[4] = {NBX_UNSET, NBX_UNSET, NBX_UNSET, NBX_UNSET};
    SetLastRenderedRect(unset);
  }
}

void CNimbex::SetLastRenderedRect(const double* rect) {
  if (rect) std::copy(rect, rect + 4, m_LastRenderedRect);
}

// The view centre is kept as a scene point, like the one the camera gives on screen.
void CNimbex::SetViewRect(double maxY, double minX, double minY, double maxX) {
  RenderWindow* window = GetOffScreenWindow();
  if (!window) return;
  window->m_ViewRect[0] = minX;
  window->m_ViewRect[1] = minY;
  window->m_ViewRect[2] = maxX;
  window->m_ViewRect[3] = maxY;
  window->m_ViewCenter[0] = (minX + maxX) / 2.0 - window->m_Center[0];
  window->m_ViewCenter[1] = (minY + maxY) / 2.0 - window->m_Center[1];
}

WinDRect CNimbex::GetViewRect() const {
  WinDRect rect;
  if (RenderWindow* window = GetOffScreenWindow()) {
    rect.left = window->m_ViewRect[0];
    rect.top = window->m_ViewRect[1];
    rect.right = window->m_ViewRect[2];
    rect.bottom = window->m_ViewRect[3];
  }
  return rect;
}

int CNimbex::ViewRectDefined() const {
  const WinDRect rect = GetViewRect();
  return rect.left != 0.0 || rect.top != 0.0 || rect.right != 0.0 || rect.bottom != 0.0;
}

int CNimbex::GetBoundaryScreenPts(const double* bounds, WinPoint* pts) {
  RenderWindow* window = m_RenderWindowRecord ? m_RenderWindowRecord : GetRenderWindow(m_hWnd);
  if (!bounds || !pts || !window) return 0;
  static const int kCorners[8][3] = {{0, 2, 4}, {1, 2, 4}, {1, 3, 4}, {0, 3, 4},
                                     {0, 2, 5}, {1, 2, 5}, {1, 3, 5}, {0, 3, 5}};
  int converted = 1;
  for (int corner = 0; corner < 8; ++corner) {
    double scene[3];
    for (int axis = 0; axis < 3; ++axis)
      scene[axis] = bounds[kCorners[corner][axis]] + m_Offset[axis] - window->m_Center[axis];
    if (!CoordModelToWin(window, scene, &pts[corner])) converted = 0;
  }
  return converted;
}
