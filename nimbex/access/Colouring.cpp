// Colouring of a stream: the colour mode and the array it colours by, the lookup table and
// its schemes, the actor's appearance, the window background, and the camera placed over
// the stream.
#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkDataArray.h>
#include <vtkElevationFilter.h>
#include <vtkLookupTable.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

// The longest colour-by name kept.
constexpr std::size_t kMaxColorByLength = 512;

std::string ToLower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The mode of a colour-by name (exact, case-sensitive), or CVM_NONE.
int ModeOfName(const char* name) {
  for (int mode = CVM_ELEVATION; mode <= CVM_PULSE; ++mode)
    if (std::strcmp(name, GetCVMName(mode)) == 0) return mode;
  return CVM_NONE;
}

void ToVtkColor(unsigned long color, double* rgb) {
  rgb[0] = (color & 0xFF) / 255.0;
  rgb[1] = ((color >> 8) & 0xFF) / 255.0;
  rgb[2] = ((color >> 16) & 0xFF) / 255.0;
}

void MakeNoArrayActive(vtkPointData* pointData, int attribute) {
  pointData->SetActiveAttribute(-1, attribute);
}

void MakeArrayActive(vtkPointData* pointData, const char* name, int attribute) {
  int index = -1;
  pointData->GetAbstractArray(name, index);
  pointData->SetActiveAttribute(index, attribute);
}

struct PresetCamera {
  int view;
  double direction[3];  // camera position - focal point
  double viewUp[3];
  double roll;
};

constexpr PresetCamera kPresetCameras[] = {
    {VIEW_TOP, {0, 0, 1}, {0, 0, 1}, 90},   {VIEW_BOTTOM, {0, 0, -1}, {0, 0, 1}, -90},
    {VIEW_FRONT, {0, -1, 0}, {0, 1, 0}, 0}, {VIEW_BACK, {0, 1, 0}, {0, 1, 0}, 0},
    {VIEW_LEFT, {-1, 0, 0}, {1, 0, 0}, 90}, {VIEW_RIGHT, {1, 0, 0}, {1, 0, 0}, -90},
    {VIEW_NW, {-1, 1, 1}, {0, 0, 1}, 0},    {VIEW_NE, {1, 1, 1}, {0, 0, 1}, 0},
    {VIEW_SW, {-1, -1, 1}, {0, 0, 1}, 0},   {VIEW_SE, {1, -1, 1}, {0, 0, 1}, 0}};

}  // namespace

// ---------------------------------------------------------------------------------------
// Colour mode and colour-by name

int CNimbex::HasCVM(CVM mode) const {
  switch (mode) {
    case CVM_ELEVATION:
    case CVM_CLASSES:
    case CVM_USER_DEFINED:
      return 1;
    case CVM_INTENSITY:
      return m_HasIntensity;
    case CVM_RGB:
      return m_HasColors;
    case CVM_NORMALS:
      return m_HasNormals;
    case CVM_PULSE:
      return m_HasPulses;
    default:
      return 0;
  }
}

void CNimbex::SetCVM(CVM mode) {
  if (!HasCVM(mode)) return;
  const double unset[2] = {NBX_UNSET, NBX_UNSET};
  const double* range = unset;
  if (mode == CVM_ELEVATION) range = m_ElevationRange;
  if (mode == CVM_INTENSITY) range = m_IntensityRange;
  // The range is copied first: SetColorBy rewrites the stream's own ranges from it.
  const double copied[2] = {range[0], range[1]};
  SetColorBy(GetCVMName(mode), copied, nullptr);
}

void CNimbex::SetColorBy(const char* name, const double* range, const int* component) {
  vtkPolyData* input = m_Mapper ? m_Mapper->GetInput() : nullptr;
  vtkPointData* pointData = input ? input->GetPointData() : nullptr;
  if (!name) {
    ColorByPropertyColor();
  } else {
    const int mode = ModeOfName(name);
    if (mode != CVM_NONE) m_CVM = mode;
    m_ColorBy.assign(name, std::min(std::strlen(name), kMaxColorByLength));
    if (ToLower(m_ColorBy) == "texture")
      ColorByTexture(pointData);
    else
      ColorByArray(pointData, range, component);
  }
  ReleaseRenderPolyData();
  SetColorScheme(m_ColorScheme);
  UpdateMaskPolyData();
  if (m_CVM != CVM_ELEVATION) m_DynElevView = m_DynElevDirView = 0;
}

void CNimbex::ColorByPropertyColor() {
  m_CVM = CVM_USER_DEFINED;
  if (m_Mapper) m_Mapper->ScalarVisibilityOff();
  m_ColorBy.clear();
  SetPropertyColor(m_PropertyColor);
  if (m_MainActor) m_MainActor->SetTexture(nullptr);
}

// Texture display draws the texture coordinates of that name; the texture itself is set by
// the texture view.
void CNimbex::ColorByTexture(vtkPointData* pointData) {
  if (pointData) {
    MakeNoArrayActive(pointData, vtkDataSetAttributes::SCALARS);
    MakeArrayActive(pointData, m_ColorBy.c_str(), vtkDataSetAttributes::TCOORDS);
  }
  if (m_Mapper) m_Mapper->ScalarVisibilityOff();
  if (m_MainActor) m_MainActor->SetTexture(nullptr);
}

void CNimbex::ColorByArray(vtkPointData* pointData, const double* range, const int* component) {
  vtkDataArray* array = pointData ? pointData->GetArray(m_ColorBy.c_str()) : nullptr;
  if (range) {
    m_LookupTableRange[0] = range[0];
    m_LookupTableRange[1] = range[1];
  } else if (array) {
    array->GetRange(m_LookupTableRange, component ? *component : -1);
  }
  const double minimum = m_LookupTableRange[0];
  const double maximum = m_LookupTableRange[1];
  if (m_LookupTable) m_LookupTable->SetRange(minimum, maximum);
  if (pointData) {
    MakeArrayActive(pointData, m_ColorBy.c_str(), vtkDataSetAttributes::SCALARS);
    MakeNoArrayActive(pointData, vtkDataSetAttributes::TCOORDS);
  }
  if (m_Mapper) {
    m_Mapper->SetScalarRange(minimum, maximum);
    m_Mapper->ScalarVisibilityOn();
  }

  if (m_CVM == CVM_ELEVATION) {
    m_ElevationRange[0] = minimum;
    m_ElevationRange[1] = maximum;
    if (m_ElevationFilter) {
      m_ElevationFilter->SetLowPoint(0, 0, minimum);
      m_ElevationFilter->SetHighPoint(0, 0, maximum);
      m_ElevationFilter->SetScalarRange(minimum, maximum);
    }
    m_LastLowPt = Wml::Point3<double>(0, 0, minimum);
    m_LastHighPt = Wml::Point3<double>(0, 0, maximum);
  } else if (m_CVM == CVM_INTENSITY) {
    SetIntensityRange(minimum, maximum, 1);
  }
}

// ---------------------------------------------------------------------------------------
// Lookup table schemes

void CNimbex::SetColorScheme(int scheme) {
  if (scheme < COLOR_SCHEME_OWN || scheme > COLOR_SCHEME_BLUE_RED) return;
  m_ColorScheme = scheme;
  if (m_LookupTable) {
    switch (scheme) {
      case COLOR_SCHEME_GRAYSCALE:
        m_LookupTable->SetHueRange(0.0, 0.0);
        m_LookupTable->SetSaturationRange(0.0, 0.0);
        m_LookupTable->SetValueRange(0.0, 1.0);
        break;
      case COLOR_SCHEME_RED_BLUE:
        m_LookupTable->SetHueRange(0.0, 0.6667);
        m_LookupTable->SetSaturationRange(1.0, 1.0);
        m_LookupTable->SetValueRange(1.0, 1.0);
        break;
      case COLOR_SCHEME_BLUE_RED:
        m_LookupTable->SetHueRange(0.6667, 0.0);
        m_LookupTable->SetSaturationRange(1.0, 1.0);
        m_LookupTable->SetValueRange(1.0, 1.0);
        break;
      default:
        break;
    }
    m_LookupTable->Build();
  }
  if (!m_Mapper) return;
  if (scheme != COLOR_SCHEME_OWN)
    m_Mapper->SetLookupTable(m_LookupTable);
  else if (ToLower(m_ColorBy) != "texture")
    m_Mapper->SetLookupTable(nullptr);
}

// ---------------------------------------------------------------------------------------
// Appearance

void CNimbex::SetPropertyColor(unsigned long color) {
  if (!m_MainActor) return;
  m_PropertyColor = color;
  double rgb[3];
  ToVtkColor(color, rgb);
  m_MainActor->GetProperty()->SetColor(rgb);
}

vtkProperty* CNimbex::GetActorProperty() const {
  return m_MainActor ? m_MainActor->GetProperty() : nullptr;
}

int CNimbex::GetRepresentation() const {
  const std::string name = GetRepresentationAsString();
  if (name == "Points") return 0;
  if (name == "Wireframe") return 1;
  if (name == "Surface") return 2;
  return -1;
}

const char* CNimbex::GetRepresentationAsString() const {
  vtkProperty* property = GetActorProperty();
  return property ? property->GetRepresentationAsString() : "";
}

void CNimbex::SetRepresentation(int representation) {
  if (vtkProperty* property = GetActorProperty()) property->SetRepresentation(representation);
}

int CNimbex::GetInterpolation() const {
  vtkProperty* property = GetActorProperty();
  if (!property) return -1;
  const std::string name = property->GetInterpolationAsString();
  if (name == "Flat") return 0;
  if (name == "Gouraud") return 1;
  if (name == "Phong") return 2;
  return -1;
}

void CNimbex::SetInterpolation(int interpolation) {
  vtkProperty* property = GetActorProperty();
  if (property && interpolation >= VTK_FLAT && interpolation <= VTK_PHONG)
    property->SetInterpolation(interpolation);
}

int CNimbex::GetPointSize() const {
  vtkProperty* property = GetActorProperty();
  return property ? static_cast<int>(property->GetPointSize()) : -1;
}

void CNimbex::SetPointSize(int size) {
  if (vtkProperty* property = GetActorProperty()) property->SetPointSize(static_cast<float>(size));
}

int CNimbex::GetLineWeight() const {
  vtkProperty* property = GetActorProperty();
  return property ? static_cast<int>(property->GetLineWidth()) : -1;
}

void CNimbex::SetLineWeight(int width) {
  if (vtkProperty* property = GetActorProperty()) property->SetLineWidth(static_cast<float>(width));
}

void CNimbex::SetBackgroundColor(unsigned long bottom, unsigned long top) {
  if (!m_Renderer) return;
  double rgb[3];
  ToVtkColor(bottom, rgb);
  m_Renderer->SetBackground(rgb);
  ToVtkColor(top, rgb);
  m_Renderer->SetBackground2(rgb);
  m_Renderer->SetGradientBackground(bottom != top);
}

// ---------------------------------------------------------------------------------------
// Camera

void CNimbex::GetSceneBounds(double* bounds) const {
  const RenderWindow* window = m_RenderWindowRecord;
  for (int axis = 0; axis < 3; ++axis) {
    const double shift = window ? m_Offset[axis] - window->m_Center[axis] : 0.0;
    bounds[2 * axis] = m_Bounds[2 * axis] + shift;
    bounds[2 * axis + 1] = m_Bounds[2 * axis + 1] + shift;
  }
}

// VTK draws scene coordinates, so the camera frames the stream where the window draws it.
void CNimbex::SetPresetView(PresetView view) {
  if (!m_Renderer) return;
  const PresetCamera* preset = nullptr;
  for (const PresetCamera& candidate : kPresetCameras)
    if (candidate.view == view) preset = &candidate;
  if (!preset) return;

  double bounds[6];
  GetSceneBounds(bounds);
  const double focal[3] = {(bounds[0] + bounds[1]) / 2, (bounds[2] + bounds[3]) / 2,
                           (bounds[4] + bounds[5]) / 2};
  vtkCamera* camera = m_Renderer->GetActiveCamera();
  camera->SetFocalPoint(focal);
  camera->SetPosition(focal[0] + preset->direction[0], focal[1] + preset->direction[1],
                      focal[2] + preset->direction[2]);
  camera->SetViewUp(preset->viewUp);
  m_Renderer->ResetCamera(bounds);
  camera->Roll(preset->roll);
}

void CNimbex::SetClipRange(double nearPlane, double farPlane) {
  m_ClipRange[0] = nearPlane;
  m_ClipRange[1] = farPlane;
  if (!m_Renderer) return;
  if (nearPlane == -1.0 && farPlane == -1.0)
    m_Renderer->ResetCameraClippingRange();
  else
    m_Renderer->GetActiveCamera()->SetClippingRange(nearPlane, farPlane);
}
