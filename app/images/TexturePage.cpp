#include "TexturePage.h"

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkDataArray.h>
#include <vtkFeatureEdges.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkXMLPolyDataReader.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/projects/ProjectFiles.h"
#include "nimbex/platform/Profile.h"
#include "nimbex/window/RenderWindow.h"

namespace fs = std::filesystem;

namespace {

const char* const kSection = "Texture";
constexpr int kDefaultImageOpacity = 100;
constexpr int kDefaultPolysOpacity = 50;
constexpr int kDefaultMaxCount = 5;
constexpr int kMaxCountLimit = 99;
// Pictures are reduced to this many pixels on their longer side: the 3D view shows them small.
constexpr int kMaxTextureSide = 1024;
constexpr double kOutlineColour[3] = {0.4, 1.0, 0.1};

std::string ReadProfile(const std::string& file, const char* key, const std::string& fallback) {
  char value[4096];
  GetPrivateProfileString(kSection, key, fallback.c_str(), value, sizeof value, file.c_str());
  return value;
}

int ReadProfileInt(const std::string& file, const char* key, int fallback, int low, int high) {
  const std::string text = ReadProfile(file, key, std::to_string(fallback));
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str() && value >= low && value <= high ? int(value) : fallback;
}

// The picture as VTK takes it: red, green, blue, bottom row first.
vtkSmartPointer<vtkImageData> ToVtkImage(const cv::Mat& bgr) {
  cv::Mat picture = bgr;
  const int longer = std::max(bgr.cols, bgr.rows);
  if (longer > kMaxTextureSide)
    cv::resize(bgr, picture, cv::Size(), double(kMaxTextureSide) / longer,
               double(kMaxTextureSide) / longer, cv::INTER_AREA);
  cv::Mat rgb;
  cv::cvtColor(picture, rgb, cv::COLOR_BGR2RGB);
  cv::flip(rgb, rgb, 0);
  auto image = vtkSmartPointer<vtkImageData>::New();
  image->SetDimensions(rgb.cols, rgb.rows, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  auto* target = static_cast<unsigned char*>(image->GetScalarPointer());
  for (int row = 0; row < rgb.rows; ++row)
    std::memcpy(target + size_t(row) * rgb.cols * 3, rgb.ptr(row), size_t(rgb.cols) * 3);
  return image;
}

vtkSmartPointer<vtkActor> MakeActor(vtkPolyData* data) {
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(data);
  mapper->ScalarVisibilityOff();
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  return actor;
}

QSlider* MakeOpacitySlider(QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(0, 100);
  return slider;
}

}  // namespace

bool ReadTexturedModel(const std::string& dataFolder, const std::string& name,
                       const std::string& photograph, const double windowCentre[3],
                       STexturedModel& model, std::string& why) {
  const fs::path vtp = fs::path(dataFolder) / (name + ".vtp");
  vtkNew<vtkXMLPolyDataReader> reader;
  if (!reader->CanReadFile(vtp.c_str())) return why = vtp.string() + " is not a VTP model", false;
  reader->SetFileName(vtp.c_str());
  reader->Update();
  auto data = vtkSmartPointer<vtkPolyData>::New();
  data->DeepCopy(reader->GetOutput());
  vtkDataArray* coordinates = data->GetPointData()->GetArray("Texture");
  if (data->GetNumberOfPolys() == 0 || !coordinates || coordinates->GetNumberOfComponents() != 2)
    return why = vtp.string() + " has no polygons with a \"Texture\" array", false;
  data->GetPointData()->SetTCoords(coordinates);

  // The model's own picture; a name that leads elsewhere is taken as a name in the data folder.
  const fs::path tex = fs::path(dataFolder) / (name + ".tex");
  char file[4096];
  GetPrivateProfileString(kSection, "File", "", file, sizeof file, tex.c_str());
  const std::string named = fs::path(file).filename().string();
  std::string picturePath = photograph;
  if (!named.empty() && fs::is_regular_file(fs::path(dataFolder) / named))
    picturePath = (fs::path(dataFolder) / named).string();
  const cv::Mat picture = cv::imread(picturePath, cv::IMREAD_COLOR);
  if (picture.empty()) return why = "the picture " + picturePath + " cannot be read", false;

  vtkPoints* points = data->GetPoints();
  auto scene = vtkSmartPointer<vtkPoints>::New();
  scene->SetNumberOfPoints(points->GetNumberOfPoints());
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    double p[3];
    points->GetPoint(i, p);
    scene->SetPoint(i, p[0] - windowCentre[0], p[1] - windowCentre[1], p[2] - windowCentre[2]);
  }
  data->SetPoints(scene);
  double bounds[6];
  data->GetBounds(bounds);
  for (int axis = 0; axis < 3; ++axis)
    model.centre[axis] = (bounds[2 * axis] + bounds[2 * axis + 1]) / 2;

  model.name = name;
  vtkNew<vtkTexture> texture;
  texture->SetInputData(ToVtkImage(picture));
  texture->InterpolateOn();
  model.picture = MakeActor(data);
  model.picture->SetTexture(texture);
  vtkNew<vtkFeatureEdges> boundary;
  boundary->SetInputData(data);
  boundary->BoundaryEdgesOn();
  boundary->FeatureEdgesOff();
  boundary->NonManifoldEdgesOff();
  boundary->ManifoldEdgesOff();
  boundary->ColoringOff();
  boundary->Update();
  model.outline = MakeActor(boundary->GetOutput());
  model.outline->GetProperty()->SetColor(kOutlineColour[0], kOutlineColour[1], kOutlineColour[2]);
  model.outline->GetProperty()->SetLineWidth(2);
  model.outline->GetProperty()->LightingOff();
  return true;
}

CTexturePage::CTexturePage(QWidget* parent) : QWidget(parent) {
  m_Enable = new QCheckBox("Enable Textures", this);
  m_ImageOpacity = MakeOpacitySlider(this);
  m_ImageOpacity->setValue(kDefaultImageOpacity);
  m_MaxCount = new QSpinBox(this);
  m_MaxCount->setRange(1, kMaxCountLimit);
  m_MaxCount->setValue(kDefaultMaxCount);
  m_PolysOpacity = MakeOpacitySlider(this);
  m_PolysOpacity->setValue(kDefaultPolysOpacity);
  m_Status = new QLabel(this);
  m_Status->setWordWrap(true);
  auto* layout = new QFormLayout(this);
  layout->addRow(m_Enable);
  layout->addRow("Image Opacity:", m_ImageOpacity);
  layout->addRow("Max Texture Count:", m_MaxCount);
  layout->addRow("Polys Opacity:", m_PolysOpacity);
  layout->addRow(m_Status);
  connect(m_Enable, &QCheckBox::toggled, this, &CTexturePage::ShowModels);
  connect(m_ImageOpacity, &QSlider::valueChanged, this, &CTexturePage::ShowModels);
  connect(m_PolysOpacity, &QSlider::valueChanged, this, &CTexturePage::ShowModels);
  connect(m_MaxCount, qOverload<int>(&QSpinBox::valueChanged), this, &CTexturePage::ShowModels);
}

CTexturePage::~CTexturePage() {
  ReleaseModels();
}

void CTexturePage::SetProject(const std::string& projectPath,
                              const std::vector<std::string>& images,
                              const std::set<std::string>& texturedModels, RenderWindow* window) {
  const bool again = projectPath == m_ProjectPath && window == m_Window;
  if (!again) ReleaseModels();
  m_ProjectPath = projectPath;
  m_Images = images;
  // Models added since are read when next shown.
  if (texturedModels != m_Names) m_Loaded = false;
  m_Names = texturedModels;
  m_Window = window;
  if (!again) ReadSettings();
  ShowModels();
}

void CTexturePage::ReadSettings() {
  const std::string file = MakeFileName(PFK_SETTINGS, m_ProjectPath);
  const QSignalBlocker enable(m_Enable), image(m_ImageOpacity), count(m_MaxCount),
      polys(m_PolysOpacity);
  m_Enable->setChecked(ReadProfile(file, "Enabled", "false") == "true");
  m_ImageOpacity->setValue(ReadProfileInt(file, "ImageOpacity", kDefaultImageOpacity, 0, 100));
  m_MaxCount->setValue(ReadProfileInt(file, "MaxCount", kDefaultMaxCount, 1, kMaxCountLimit));
  m_PolysOpacity->setValue(ReadProfileInt(file, "PolysOpacity", kDefaultPolysOpacity, 0, 100));
}

int CTexturePage::SavePageData() {
  if (m_ProjectPath.empty()) return 1;
  const std::string file = MakeFileName(PFK_SETTINGS, m_ProjectPath);
  const std::pair<const char*, std::string> values[] = {
      {"Enabled", m_Enable->isChecked() ? "true" : "false"},
      {"ImageOpacity", std::to_string(m_ImageOpacity->value())},
      {"MaxCount", std::to_string(m_MaxCount->value())},
      {"PolysOpacity", std::to_string(m_PolysOpacity->value())}};
  int saved = 1;
  for (const auto& [key, value] : values)
    saved &= WritePrivateProfileString(kSection, key, value.c_str(), file.c_str());
  if (!saved)
    emit statusMessage(QString("The texture settings could not be saved in %1.")
                           .arg(QString::fromStdString(file)));
  return saved;
}

void CTexturePage::SetCurrentCentre(const double centre[3]) {
  std::copy(centre, centre + 3, m_Current);
  m_HasCurrent = true;
  ShowModels();
}

void CTexturePage::ReleaseModels() {
  if (m_Window && m_Window->m_Renderer)
    for (const STexturedModel& model : m_Models) {
      m_Window->m_Renderer->RemoveActor(model.picture);
      m_Window->m_Renderer->RemoveActor(model.outline);
    }
  m_Models.clear();
  m_Shown.clear();
  m_Loaded = false;
}

void CTexturePage::LoadModels() {
  ReleaseModels();
  m_Loaded = true;
  const std::string dataFolder = MakeDataFolderName(m_ProjectPath);
  std::vector<std::string> problems;
  for (const std::string& name : m_Names) {
    std::string photograph;
    for (const std::string& image : m_Images)
      if (BaseName(image) == name) photograph = image;
    STexturedModel model;
    std::string why;
    if (ReadTexturedModel(dataFolder, name, photograph, m_Window->m_Center, model, why))
      m_Models.push_back(std::move(model));
    else
      problems.push_back(why);
  }
  if (!problems.empty())
    emit statusMessage(QString("%1 textured models are left out: %2")
                           .arg(problems.size())
                           .arg(QString::fromStdString(problems.front())));
}

void CTexturePage::ShowModels() {
  if (!m_Window || !m_Window->m_Renderer) return;
  const bool enabled = m_Enable->isChecked();
  if (enabled && !m_Loaded) LoadModels();
  // Nearest to the current Point of View first; without one, to the camera.
  double from[3];
  if (m_HasCurrent)
    std::copy(m_Current, m_Current + 3, from);
  else
    m_Window->m_Renderer->GetActiveCamera()->GetPosition(from);
  std::vector<const STexturedModel*> order;
  for (const STexturedModel& model : m_Models) order.push_back(&model);
  auto distance = [&from](const STexturedModel* model) {
    double sum = 0;
    for (int axis = 0; axis < 3; ++axis)
      sum += (model->centre[axis] - from[axis]) * (model->centre[axis] - from[axis]);
    return sum;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](const auto* a, const auto* b) { return distance(a) < distance(b); });
  if (!enabled) order.clear();
  if (order.size() > size_t(m_MaxCount->value())) order.resize(m_MaxCount->value());

  vtkRenderer* renderer = m_Window->m_Renderer;
  for (const STexturedModel& model : m_Models) {
    const bool shown = std::find(order.begin(), order.end(), &model) != order.end();
    for (vtkActor* actor : {model.picture.Get(), model.outline.Get()}) {
      if (shown && !renderer->HasViewProp(actor)) renderer->AddActor(actor);
      if (!shown && renderer->HasViewProp(actor)) renderer->RemoveActor(actor);
    }
    model.picture->GetProperty()->SetOpacity(m_ImageOpacity->value() / 100.0);
    model.outline->GetProperty()->SetOpacity(m_PolysOpacity->value() / 100.0);
    model.outline->SetVisibility(m_PolysOpacity->value() > 0);
    model.picture->SetVisibility(m_ImageOpacity->value() > 0);
  }
  m_Shown = order;
  m_Status->setText(
      enabled ? QString("%1 of %2 textured models shown").arg(m_Shown.size()).arg(m_Models.size())
              : QString("%1 textured models").arg(m_Names.size()));
  emit viewChanged();
}

std::vector<std::string> CTexturePage::GetShownModels() const {
  std::vector<std::string> names;
  for (const STexturedModel* model : m_Shown) names.push_back(model->name);
  return names;
}
