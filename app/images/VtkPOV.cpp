#include "VtkPOV.h"

#include <vtkAppendPolyData.h>
#include <vtkBMPReader.h>
#include <vtkBalloonWidget.h>
#include <vtkCubeSource.h>
#include <vtkImageData.h>
#include <vtkImageReader2.h>
#include <vtkJPEGReader.h>
#include <vtkLODActor.h>
#include <vtkLineSource.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPNGReader.h>
#include <vtkPNMReader.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTIFFReader.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "nimbex/window/RenderWindow.h"

namespace {

constexpr double kMarkerCubeEdge = 0.05;
constexpr double kMarkerAxisLength = 0.25;
constexpr double kMarkerOpacity = 0.9;

vtkSmartPointer<vtkImageReader2> PictureReaderFor(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".jpg") return vtkSmartPointer<vtkJPEGReader>::New();
  if (extension == ".tif") return vtkSmartPointer<vtkTIFFReader>::New();
  if (extension == ".png") return vtkSmartPointer<vtkPNGReader>::New();
  if (extension == ".bmp") return vtkSmartPointer<vtkBMPReader>::New();
  if (extension == ".pnm") return vtkSmartPointer<vtkPNMReader>::New();
  return nullptr;
}

}  // namespace

vtkSmartPointer<vtkImageData> ReadBalloonPicture(const std::string& path) {
  vtkSmartPointer<vtkImageReader2> reader = PictureReaderFor(path);
  // The readers report a file they cannot read through VTK's error output only: check first.
  if (!reader || !reader->CanReadFile(path.c_str())) return nullptr;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkImageData* picture = reader->GetOutput();
  int dimensions[3];
  picture->GetDimensions(dimensions);
  if (dimensions[0] <= 0 || dimensions[1] <= 0 || picture->GetNumberOfPoints() == 0) return nullptr;
  return picture;
}

CVtkPOV::CVtkPOV(RenderWindow* window, std::string imagePath, const COrientation& orientation)
    : m_Window(window), m_ImagePath(std::move(imagePath)), m_Orientation(orientation) {
  if (m_Window) CameraCentreInWindow(m_Orientation, m_Window->m_Center, m_CameraCentre);
}

CVtkPOV::~CVtkPOV() {
  if (!m_Actor || !m_Window) return;
  if (m_Window->m_Balloon) m_Window->m_Balloon->RemoveBalloon(m_Actor);
  if (m_InRenderer && m_Window->m_Renderer) m_Window->m_Renderer->RemoveActor(m_Actor);
}

int CVtkPOV::BuildMarker() {
  if (!m_Window || !m_Window->m_Renderer) return 0;
  vtkNew<vtkCubeSource> cube;
  cube->SetXLength(kMarkerCubeEdge);
  cube->SetYLength(kMarkerCubeEdge);
  cube->SetZLength(kMarkerCubeEdge);
  vtkNew<vtkLineSource> axis;
  axis->SetPoint1(0, 0, 0);
  axis->SetPoint2(0, 0, -kMarkerAxisLength);
  axis->SetResolution(1);
  vtkNew<vtkAppendPolyData> marker;
  marker->AddInputConnection(cube->GetOutputPort());
  marker->AddInputConnection(axis->GetOutputPort());
  m_Mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  m_Mapper->SetInputConnection(marker->GetOutputPort());
  m_Actor = vtkSmartPointer<vtkLODActor>::New();
  m_Actor->SetMapper(m_Mapper);
  m_Actor->GetProperty()->SetOpacity(kMarkerOpacity);
  ApplyColour();
  ApplyTransform();
  // A photograph without an orientation has no place in the model: its marker is kept for
  // the filters but never drawn.
  if (IsOrientedPhotograph(m_Orientation)) {
    m_Window->m_Renderer->AddActor(m_Actor);
    m_InRenderer = true;
  }
  return 1;
}

void CVtkPOV::SetPicture(vtkImageData* picture, const std::string& text) {
  m_Picture = picture;
  if (m_Actor && m_InRenderer && m_Window->m_Balloon)
    m_Window->m_Balloon->AddBalloon(m_Actor, text.c_str(), picture);
}

bool CVtkPOV::IsOriented() const {
  return m_Actor && m_Mapper && m_Window && m_Window->m_Renderer && m_Picture &&
         IsOrientedPhotograph(m_Orientation);
}

void CVtkPOV::SetFiltered(int filtered) {
  if (!IsOriented()) return;
  m_Filtered = filtered;
  ApplyColour();
}

void CVtkPOV::ApplyColour() {
  const double* colour = m_Filtered ? kFilteredMarkerColour : kPassingMarkerColour;
  m_Actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
}

void CVtkPOV::SetMarkerScale(double scale) {
  m_Scale = scale;
  if (m_Actor) ApplyTransform();
}

void CVtkPOV::ApplyTransform() {
  const double scale[3] = {m_Scale, m_Scale, m_Scale};
  const Matrix4 pose = ScaledPose(MakePoseMatrix(m_Orientation.GetRotMat(), m_CameraCentre), scale);
  vtkNew<vtkMatrix4x4> matrix;
  matrix->DeepCopy(pose.data());
  m_Actor->SetUserMatrix(matrix);
}

void CVtkPOV::SetVisible(bool visible) {
  if (m_Actor) m_Actor->SetVisibility(visible && m_InRenderer);
}

bool CVtkPOV::IsVisible() const {
  return m_Actor && m_InRenderer && m_Actor->GetVisibility();
}
