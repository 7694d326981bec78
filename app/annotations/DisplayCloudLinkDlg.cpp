#include "app/annotations/DisplayCloudLinkDlg.h"

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkImageReader2.h>
#include <vtkImageReader2Factory.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkVertexGlyphFilter.h>
#include <vtkXMLPolyDataReader.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "app/annotations/StaticVtk.h"
#include "app/projects/OrvalisDoc.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Profile.h"
#include "nimbex/window/RenderWindow.h"

namespace fs = std::filesystem;

const char* const CDisplayCloudLinkDlg::kPoints = "3D Points";
const char* const CDisplayCloudLinkDlg::kSurface = "Surface";
const char* const CDisplayCloudLinkDlg::kTexture = "Texture";

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string LowerExtension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// Absolute bounds, as x min, x max, y min, y max, z min, z max.
struct Bounds {
  double b[6] = {1e300, -1e300, 1e300, -1e300, 1e300, -1e300};
  void Add(const double* other, const double* shift) {
    for (int axis = 0; axis < 3; ++axis) {
      b[2 * axis] = std::min(b[2 * axis], other[2 * axis] + shift[axis]);
      b[2 * axis + 1] = std::max(b[2 * axis + 1], other[2 * axis + 1] + shift[axis]);
    }
  }
  bool IsValid() const { return b[0] <= b[1]; }
};

}  // namespace

std::vector<std::string> SplitModelPaths(const std::string& paths) {
  std::vector<std::string> models;
  std::istringstream in(paths);
  for (std::string name; std::getline(in, name, ';');)
    if (!Trimmed(name).empty()) models.push_back(Trimmed(name));
  return models;
}

std::string FindModelTexture(const std::string& modelPath) {
  CProfile description;
  if (!description.Load(fs::path(modelPath).replace_extension(".tex"))) return {};
  const std::string picture = description.GetString("Texture", "File", "");
  if (picture.empty()) return {};
  const fs::path path(picture);
  return path.is_absolute() ? picture : (fs::path(modelPath).parent_path() / path).string();
}

CDisplayCloudLinkDlg::CDisplayCloudLinkDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Talvern Software - 3D points: 0");
  m_Progress = new TProgressTimeToCompleteCtrl(this);
  m_Progress->SetSmooth(true);
  m_View = new CStaticVtk(m_Progress, this);
  m_View->setMinimumSize(320, 240);
  m_Representation = new QComboBox(this);
  connect(m_Representation, &QComboBox::currentTextChanged, this,
          [this](const QString& name) { SetRepresentation(name); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Representation:", this));
  controls->addWidget(m_Representation);
  controls->addStretch(1);
  controls->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_View, 1);
  layout->addWidget(m_Progress);
  layout->addLayout(controls);
  resize(800, 600);

  // A linked model is only looked at: nothing the viewer sets is written into its files.
  m_View->GetRenderWindowRecord()->m_HeaderWriteBack = 0;
}

CDisplayCloudLinkDlg::~CDisplayCloudLinkDlg() = default;

int CDisplayCloudLinkDlg::LoadModels(const std::vector<std::string>& paths) {
  int loaded = 0;
  bool hasSurfaces = false;
  for (const std::string& path : paths) {
    const std::string extension = LowerExtension(path);
    if (extension == ".strm")
      loaded += LoadStream(path);
    else if (extension == ".vtp")
      loaded += LoadVtp(path);
    else
      m_Problems.push_back({path, "not a model: only .strm and .vtp files are shown"});
  }
  for (CNimbex* cloud : m_View->GetRenderWindowRecord()->m_Clouds)
    hasSurfaces = hasSurfaces || cloud->HasTri();
  for (const VtpModel& model : m_VtpModels) {
    vtkPolyData* data = vtkPolyData::SafeDownCast(model.actor->GetMapper()->GetInput());
    hasSurfaces = hasSurfaces || data->GetNumberOfPolys() > 0 || data->GetNumberOfStrips() > 0;
  }
  PlaceVtpModels();
  FillRepresentationBox(hasSurfaces);
  setWindowTitle(QString("Talvern Software - 3D points: %1").arg(m_PointCount));
  m_View->Redraw();
  return loaded;
}

int CDisplayCloudLinkDlg::LoadStream(const std::string& path) {
  CNimbex* cloud = AddSpCloud(path.c_str(), m_View, 0);
  if (!cloud) {
    m_Problems.push_back({path, GetAddSpCloudError()});
    return 0;
  }
  cloud->SetCVM(static_cast<CVM>(GetInitialColorMode(*cloud)));
  m_PointCount += cloud->GetPointsCount();
  return 1;
}

int CDisplayCloudLinkDlg::LoadVtp(const std::string& path) {
  if (!fs::is_regular_file(path)) {
    m_Problems.push_back({path, "the file does not exist"});
    return 0;
  }
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkSmartPointer<vtkPolyData> data = reader->GetOutput();
  if (reader->GetErrorCode() != 0 || !data || data->GetNumberOfPoints() == 0) {
    m_Problems.push_back({path, "no points could be read from it (not a VTK polydata file?)"});
    return 0;
  }
  // Points without cells would draw nothing: each becomes a vertex.
  if (data->GetNumberOfCells() == 0) {
    vtkNew<vtkVertexGlyphFilter> vertices;
    vertices->SetInputData(data);
    vertices->Update();
    data = vertices->GetOutput();
  }
  vtkDataArray* coordinates = data->GetPointData()->GetArray("Texture");
  const bool hasCoordinates = coordinates && coordinates->GetNumberOfComponents() == 2;
  if (hasCoordinates) data->GetPointData()->SetTCoords(coordinates);

  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(data);
  VtpModel model;
  model.actor = vtkSmartPointer<vtkActor>::New();
  model.actor->SetMapper(mapper);
  model.actor->GetProperty()->SetPointSize(2);
  model.texture = LoadTexture(path, hasCoordinates);
  m_View->GetRenderWindowRecord()->m_Renderer->AddActor(model.actor);
  m_VtpModels.push_back(model);
  m_PointCount += data->GetNumberOfPoints();
  return 1;
}

vtkSmartPointer<vtkTexture> CDisplayCloudLinkDlg::LoadTexture(const std::string& modelPath,
                                                              bool hasCoordinates) {
  const std::string picture = FindModelTexture(modelPath);
  if (!hasCoordinates || picture.empty()) return nullptr;
  vtkSmartPointer<vtkImageReader2> reader;
  reader.TakeReference(vtkImageReader2Factory::CreateImageReader2(picture.c_str()));
  if (!reader) {
    m_Problems.push_back(
        {picture, "the texture picture cannot be read; the model is shown without"});
    return nullptr;
  }
  reader->SetFileName(picture.c_str());
  reader->Update();
  auto texture = vtkSmartPointer<vtkTexture>::New();
  texture->SetInputConnection(reader->GetOutputPort());
  texture->InterpolateOn();
  return texture;
}

// VTK draws scene coordinates, absolute minus the window centre: the streams' centre when
// there are streams, otherwise the middle of the VTP models, which the camera then frames.
void CDisplayCloudLinkDlg::PlaceVtpModels() {
  if (m_VtpModels.empty()) return;
  ::RenderWindow* record = m_View->GetRenderWindowRecord();
  const double none[3] = {0, 0, 0};
  Bounds all;
  for (CNimbex* cloud : record->m_Clouds) {
    double bounds[6], offset[3];
    cloud->GetBounds(bounds);
    cloud->GetOffset(offset);
    all.Add(bounds, offset);
  }
  for (const VtpModel& model : m_VtpModels) all.Add(model.actor->GetMapper()->GetBounds(), none);
  if (record->m_Clouds.empty()) {
    for (int axis = 0; axis < 3; ++axis)
      record->m_Center[axis] = (all.b[2 * axis] + all.b[2 * axis + 1]) / 2.0;
    // The grey gradient the library paints behind streams.
    record->m_Renderer->SetBackground(0x2D / 255.0, 0x2D / 255.0, 0x2D / 255.0);
    record->m_Renderer->SetBackground2(0x50 / 255.0, 0x50 / 255.0, 0x50 / 255.0);
    record->m_Renderer->GradientBackgroundOn();
  }
  for (const VtpModel& model : m_VtpModels)
    model.actor->SetPosition(-record->m_Center[0], -record->m_Center[1], -record->m_Center[2]);
  double relative[6];
  for (int i = 0; i < 6; ++i) relative[i] = all.b[i] - record->m_Center[i / 2];
  record->m_Renderer->ResetCamera(relative);
}

void CDisplayCloudLinkDlg::FillRepresentationBox(bool hasSurfaces) {
  const bool hasTexture = std::any_of(m_VtpModels.begin(), m_VtpModels.end(),
                                      [](const VtpModel& model) { return model.texture; });
  QSignalBlocker blocker(m_Representation);
  m_Representation->clear();
  m_Representation->addItem(kPoints);
  m_Representation->addItem(kSurface);
  if (hasTexture) m_Representation->addItem(kTexture);
  const char* first = hasTexture ? kTexture : hasSurfaces ? kSurface : kPoints;
  m_Representation->setCurrentText(first);
  SetRepresentation(first);
}

void CDisplayCloudLinkDlg::SetRepresentation(const QString& name) {
  const bool points = name == kPoints;
  const bool textured = name == kTexture;
  if (m_Representation->currentText() != name) {
    QSignalBlocker blocker(m_Representation);
    m_Representation->setCurrentText(name);
  }
  for (CNimbex* cloud : m_View->GetRenderWindowRecord()->m_Clouds)
    cloud->SetRepresentation(points ? VTK_POINTS : VTK_SURFACE);
  for (const VtpModel& model : m_VtpModels) {
    model.actor->GetProperty()->SetRepresentation(points ? VTK_POINTS : VTK_SURFACE);
    model.actor->SetTexture(textured ? model.texture.Get() : nullptr);
    // A texture shows the picture's own colours, not the model's scalars.
    model.actor->GetMapper()->SetScalarVisibility(!(textured && model.texture));
  }
  m_View->Redraw();
}
