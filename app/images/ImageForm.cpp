#include "ImageForm.h"

#include <vtkCamera.h>
#include <vtkCellPicker.h>
#include <vtkDelaunay2D.h>
#include <vtkImageData.h>
#include <vtkLODActor.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <QApplication>
#include <QEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "FiltersDlg.h"
#include "NotesDlg.h"
#include "PanelPage.h"
#include "PictureDlg.h"
#include "PovFilter.h"
#include "TexturePage.h"
#include "VtkPOV.h"
#include "WarningDlg.h"
#include "app/projects/ImageSources.h"
#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectFiles.h"
#include "app/projects/Thumbnail.h"
#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

const char* const kThumbnailsTip =
    "Click on thumbnails to select current Point of View; double click to view the picture";
const char* const kFiltersTip =
    "Filter the photographs by date, distance and direction; CTRL+click on a camera marker "
    "to make it the current Point of View, double click to view its picture";
const char* const kNotesTip = "Write the note of the current photograph; it is kept beside it";
const char* const kTextureTip =
    "Show the textured models of the photographs nearest the current Point of View";

constexpr double kPyramidColour[3] = {0.0, 0.5, 1.0};
constexpr double kPyramidOpacity = 0.4;
constexpr double kSphereColour[3] = {1.0, 0.5, 0.0};
constexpr double kSphereOpacity = 0.5;
constexpr int kSphereResolution = 36;
constexpr double kHighlightFactor = 2;
// How near a marker a click must fall, as a share of the window's diagonal.
constexpr double kPickTolerance = 0.005;

// The earliest date any image can have is below this one.
constexpr int kNoEarliestDate = 30001212;

const QColor kThumbnailText(250, 250, 250);

vtkSmartPointer<vtkLODActor> MakeActor(vtkAlgorithmOutput* source, const double colour[3],
                                       double opacity) {
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(source);
  auto actor = vtkSmartPointer<vtkLODActor>::New();
  actor->SetMapper(mapper);
  actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
  actor->GetProperty()->SetOpacity(opacity);
  actor->VisibilityOff();
  return actor;
}

void SetUserMatrix(vtkProp3D* actor, const Matrix4& matrix) {
  vtkNew<vtkMatrix4x4> user;
  user->DeepCopy(matrix.data());
  actor->SetUserMatrix(user);
}

// While the camera flies the streams show their light sample, as while a mouse button is
// held; the detail comes back with the next paint.
class CLightSample {
 public:
  explicit CLightSample(RenderWindow* window) : m_Window(window) {
    Show(&CNimbex::GetMaskPolyData);
  }
  ~CLightSample() { Show(&CNimbex::GetRenderPolyData); }

 private:
  void Show(vtkPolyData* (CNimbex::*shown)() const) {
    for (CNimbex* cloud : m_Window->m_Clouds) {
      vtkPolyDataMapper* mapper = cloud->GetMapper();
      vtkPolyData* data = (cloud->*shown)();
      if (!mapper || !data) continue;
      mapper->SetInputData(data);
      mapper->Update();
    }
  }
  RenderWindow* m_Window;
};

}  // namespace

CImageForm::CImageForm(QWidget* parent) : QWidget(parent) {
  m_Thumbnails = new QListWidget(this);
  m_Thumbnails->setObjectName("thumbnails");
  m_Thumbnails->setViewMode(QListView::IconMode);
  m_Thumbnails->setMovement(QListView::Static);
  m_Thumbnails->setResizeMode(QListView::Adjust);
  m_Thumbnails->setWordWrap(true);
  m_Thumbnails->setSelectionMode(QAbstractItemView::SingleSelection);
  QPalette black = m_Thumbnails->palette();
  black.setColor(QPalette::Base, Qt::black);
  black.setColor(QPalette::Text, kThumbnailText);
  m_Thumbnails->setPalette(black);
  m_Thumbnails->installEventFilter(this);
  m_Thumbnails->viewport()->installEventFilter(this);
  connect(m_Thumbnails, &QListWidget::itemClicked, this, &CImageForm::OnThumbnailClicked);
  connect(m_Thumbnails, &QListWidget::itemDoubleClicked, this,
          &CImageForm::OnThumbnailDoubleClicked);

  m_Tabs = new QTabWidget(this);
  m_Tabs->setObjectName("imagePanelTabs");
  m_Filters = new CFiltersDlg(*this, m_Tabs);
  m_Notes = new CNotesDlg(*this, m_Tabs);
  AddPage(TAB_FILTERS, m_Filters, "Filters", kFiltersTip);
  AddPage(TAB_NOTES, m_Notes, "Notes", kNotesTip);
  m_TexturePage = new CTexturePage(m_Tabs);
  AddPage(TAB_TEXTURE, m_TexturePage, "Texture", kTextureTip);
  connect(m_TexturePage, &CTexturePage::viewChanged, this, &CImageForm::viewChanged);
  connect(m_TexturePage, &CTexturePage::statusMessage, this, &CImageForm::statusMessage);
  connect(m_Notes, &CNotesDlg::statusMessage, this, &CImageForm::statusMessage);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(m_Thumbnails);
  split->addWidget(m_Tabs);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  split->setChildrenCollapsible(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(split);
  std::fill(std::begin(m_CentreBox), std::end(m_CentreBox), 0.0);
}

CImageForm::~CImageForm() {
  ReleasePointsOfView();
}

void CImageForm::ReleasePointsOfView() {
  m_Povs.clear();
  m_TexturePage->ReleaseModels();
  if (m_Window && m_Window->m_Renderer) {
    if (m_Pyramid) m_Window->m_Renderer->RemoveActor(m_Pyramid);
    if (m_Sphere) m_Window->m_Renderer->RemoveActor(m_Sphere);
  }
  m_Pyramid = nullptr;
  m_Sphere = nullptr;
  m_SphereSource = nullptr;
  m_Window = nullptr;
}

int CImageForm::InitialUpdate(COrvalisDoc* document, RenderWindow* window,
                              const SProgress& progress) {
  if (!document) return 0;
  m_Document = document;
  m_Window = window;
  m_Images = document->GetImages().GetImages();
  m_Filters->SetFilterFile(MakeFileName(PFK_FILTER, document->GetPathName()));
  m_TexturePage->SetProject(document->GetPathName(), m_Images,
                            document->GetImages().GetTexturedModels(), window);

  int earliest = kNoEarliestDate, latest = 0;
  for (const std::string& image : m_Images) {
    const int date =
        m_Dates.count(image) ? m_Dates[image] : (m_Dates[image] = ImageFileDate(image));
    earliest = std::min(earliest, date);
    latest = std::max(latest, date);
  }
  if (!m_Images.empty()) m_Filters->SetDateRange(earliest, latest);

  double bounds[6] = {0, 0, 0, 0, 0, 0};
  bool first = true;
  if (m_Window)
    for (CNimbex* cloud : m_Window->m_Clouds) {
      double own[6];
      cloud->GetBounds(own);
      for (int axis = 0; axis < 3; ++axis) {
        bounds[2 * axis] = first ? own[2 * axis] : std::min(bounds[2 * axis], own[2 * axis]);
        bounds[2 * axis + 1] =
            first ? own[2 * axis + 1] : std::max(bounds[2 * axis + 1], own[2 * axis + 1]);
      }
      first = false;
    }
  m_ModelSize = ModelSizeOfBounds(bounds);
  m_MarkerScale = MarkerScale(m_Filters->MarkerScalePosition(), m_ModelSize);

  if (m_Images.empty() || !m_Window || !m_Window->m_Renderer) {
    m_Available.clear();
    FillThumbnails();
    return 0;
  }
  if (!m_Pyramid && !CreateCurrentViewMarker()) {
    ShowMessage("Unable to create camera model correctly!", QMessageBox::Critical);
    return 0;
  }
  auto step = [&progress](int percent, const char* text) {
    if (!progress.bar) return;
    progress.bar->m_Text = text;
    progress.bar->SetPos(percent);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  if (progress.bar) {
    progress.bar->RestartTimer();
    progress.bar->SetRange(0, 100);
  }
  if (progress.dialog) progress.dialog->show();
  step(20, "Initialize Points of View");
  CreatePointsOfView();
  step(40, "Check for thumbnails");
  m_Available.clear();
  for (const std::string& image : m_Images)
    if (GetPov(image)) m_Available.push_back(image);
  FillThumbnails();
  step(60, "Setup current Point of View");
  if (!GetPov(m_Current) || !GetPov(m_Current)->IsOriented())
    for (const std::string& image : m_Images)
      if (SelectCurrent(image, false, false, false)) break;
  step(80, "Select thumbs");
  SelectThumbnail(m_Current);
  step(100, "Evaluate filters params");
  ApplyMarkerScales();
  ShowCameraPositions(m_Filters->CameraPositionsShown());
  ApplyFilters();
  if (progress.bar) {
    progress.bar->m_Text.clear();
    progress.bar->SetPos(0);
  }
  if (progress.dialog) progress.dialog->hide();
  emit viewChanged();
  return GetPovCount();
}

int CImageForm::CreateCurrentViewMarker() {
  vtkNew<vtkPoints> corners;
  corners->InsertNextPoint(-0.2, -0.2, 0);
  corners->InsertNextPoint(-0.2, 0.2, 0);
  corners->InsertNextPoint(0.2, 0.2, 0);
  corners->InsertNextPoint(0.2, -0.2, 0);
  corners->InsertNextPoint(0, 0, 0.4);
  vtkNew<vtkPolyData> points;
  points->SetPoints(corners);
  vtkNew<vtkDelaunay2D> pyramid;
  pyramid->SetInputData(points);
  pyramid->Update();
  if (pyramid->GetOutput()->GetNumberOfCells() == 0) return 0;
  m_Pyramid = MakeActor(pyramid->GetOutputPort(), kPyramidColour, kPyramidOpacity);

  m_SphereSource = vtkSmartPointer<vtkSphereSource>::New();
  m_SphereSource->SetThetaResolution(kSphereResolution);
  m_SphereSource->SetPhiResolution(kSphereResolution);
  m_SphereSource->SetRadius(1);
  m_SphereSource->SetCenter(0, 0, 0);
  m_Sphere = MakeActor(m_SphereSource->GetOutputPort(), kSphereColour, kSphereOpacity);
  m_Window->m_Renderer->AddActor(m_Pyramid);
  m_Window->m_Renderer->AddActor(m_Sphere);
  return 1;
}

void CImageForm::CreatePointsOfView() {
  for (const std::string& image : m_Images) {
    if (m_Povs.count(image) || MakeFileName(PFK_THUMBNAIL, image).empty()) continue;
    std::unique_ptr<CVtkPOV> pov = MakePointOfView(image);
    if (!pov) continue;
    if (pov->IsOriented()) {
      const double* centre = pov->GetCameraCentre();
      const bool firstCentre = std::none_of(m_Povs.begin(), m_Povs.end(), [](const auto& entry) {
        return entry.second->IsOriented();
      });
      for (int axis = 0; axis < 3; ++axis) {
        m_CentreBox[2 * axis] =
            firstCentre ? centre[axis] : std::min(m_CentreBox[2 * axis], centre[axis]);
        m_CentreBox[2 * axis + 1] =
            firstCentre ? centre[axis] : std::max(m_CentreBox[2 * axis + 1], centre[axis]);
      }
    }
    m_Povs[image] = std::move(pov);
  }
}

// A thumbnail that is missing or cannot be read is made again from the photograph; a
// photograph that gives none has no Point of View.
std::unique_ptr<CVtkPOV> CImageForm::MakePointOfView(const std::string& image) {
  const std::string thumbnail = MakeFileName(PFK_THUMBNAIL, image);
  vtkSmartPointer<vtkImageData> picture = ReadBalloonPicture(thumbnail);
  if (!picture) {
    std::string error;
    const cv::Mat photograph = ReadPicture(image, error);
    if (!photograph.empty()) WriteThumbnail(photograph, BADGE_NONE, std::string(), thumbnail);
    picture = ReadBalloonPicture(thumbnail);
  }
  if (!picture) {
    emit statusMessage(QString("The photograph %1 is left out of the Points of View: it cannot be "
                               "read, nor its thumbnail %2.")
                           .arg(QString::fromStdString(image), QString::fromStdString(thumbnail)));
    return nullptr;
  }
  const COrientation* read = m_Document->GetImages().GetOrientation(image);
  auto pov = std::make_unique<CVtkPOV>(m_Window, image, read ? *read : COrientation(1));
  if (!pov->BuildMarker()) return nullptr;
  pov->SetPicture(picture, BaseName(image));
  return pov;
}

CVtkPOV* CImageForm::GetPov(const std::string& image) const {
  const auto found = m_Povs.find(image);
  return found == m_Povs.end() ? nullptr : found->second.get();
}

void CImageForm::FillThumbnails() {
  m_Thumbnails->setUpdatesEnabled(false);
  m_Thumbnails->clear();
  for (const std::string& image : m_Available) {
    const QPixmap picture(QString::fromStdString(MakeFileName(PFK_THUMBNAIL, image)));
    if (m_Thumbnails->count() == 0 && !picture.isNull()) m_Thumbnails->setIconSize(picture.size());
    auto* item = new QListWidgetItem(
        QIcon(picture), QString::fromStdString(std::filesystem::path(image).filename().string()));
    item->setData(Qt::UserRole, QString::fromStdString(image));
    item->setToolTip(QString::fromStdString(image));
    m_Thumbnails->addItem(item);
  }
  m_Thumbnails->setUpdatesEnabled(true);
}

void CImageForm::SelectThumbnail(const std::string& image) {
  const QSignalBlocker block(m_Thumbnails);
  for (int row = 0; row < m_Thumbnails->count(); ++row) {
    QListWidgetItem* item = m_Thumbnails->item(row);
    if (item->data(Qt::UserRole).toString().toStdString() != image) continue;
    m_Thumbnails->setCurrentItem(item);
    m_Thumbnails->scrollToItem(item);
    return;
  }
  if (m_Thumbnails->count() > 0) m_Thumbnails->setCurrentRow(0);
}

int CImageForm::SelectCurrent(const std::string& image, bool fly, bool filter, bool warn) {
  // The flight lets events through between its frames: a choice made meanwhile waits for it.
  if (m_Flying) return 0;
  m_Current = image;
  m_Notes->ShowNote(image);
  CVtkPOV* pov = GetPov(image);
  if (!pov) return 0;
  if (!pov->IsOriented()) {
    if (warn) WarnOrientationMissing(image);
    return 0;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_HasCurrentView = true;
  PlaceCurrentViewMarker(*pov);
  m_TexturePage->SetCurrentCentre(pov->GetCameraCentre());
  ApplyMarkerScales();
  if (fly) FlyTo(*pov);
  if (filter) ApplyFilters();
  SelectThumbnail(image);
  QApplication::restoreOverrideCursor();
  emit viewChanged();
  return 1;
}

void CImageForm::PlaceCurrentViewMarker(const CVtkPOV& pov) {
  PlacePyramid(pov);
  const double* centre = pov.GetCameraCentre();
  m_SphereSource->SetCenter(centre[0], centre[1], centre[2]);
  m_SphereSource->SetRadius(m_Filters->SphereRadius());
  UpdateCurrentViewVisibility();
  m_Window->m_Renderer->ResetCameraClippingRange();
}

// The pyramid has the photograph's proportions and is drawn as large as the markers, so that
// it shows at the model's scale.
void CImageForm::PlacePyramid(const CVtkPOV& pov) {
  const COrientation& orientation = pov.GetOrientation();
  double scale[3] = {1, 1, 1};
  PyramidScale(orientation, scale);
  for (double& axis : scale) axis *= m_MarkerScale;
  SetUserMatrix(m_Pyramid,
                ScaledPose(MakePoseMatrix(orientation.GetRotMat(), pov.GetCameraCentre()), scale));
}

void CImageForm::UpdateCurrentViewVisibility() {
  if (!m_Pyramid) return;
  m_Pyramid->SetVisibility(m_HasCurrentView && m_Filters->CurrentViewShown());
  m_Sphere->SetVisibility(m_HasCurrentView && m_Filters->SphereShown());
}

void CImageForm::FlyTo(const CVtkPOV& pov) {
  vtkCamera* camera = m_Window->m_Renderer->GetActiveCamera();
  double position[3], focalPoint[3], viewUp[3];
  camera->GetPosition(position);
  camera->GetFocalPoint(focalPoint);
  camera->GetViewUp(viewUp);
  const std::vector<SCameraFrame> frames = FlightFrames(position, focalPoint, pov.GetCameraCentre(),
                                                        pov.GetOrientation().GetRotMat(), viewUp);
  m_Flying = true;
  {
    CLightSample light(m_Window);
    for (const SCameraFrame& frame : frames) {
      camera->SetPosition(frame.position);
      camera->SetFocalPoint(frame.focalPoint);
      camera->SetViewUp(frame.viewUp);
      RenderFrame();
    }
  }
  m_Flying = false;
  m_Window->m_Renderer->ResetCameraClippingRange();
  RefreshViewMatrices(m_Window);
  emit viewMoved();
}

void CImageForm::RenderFrame() {
  m_Window->m_Renderer->ResetCameraClippingRange();
  if (m_Window->m_RenderWindow) m_Window->m_RenderWindow->Render();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CImageForm::WarnOrientationMissing(const std::string& image) {
  if (!IsOrientationWarningWanted(image)) return;
  CWarningDlg warning(OrientationWarningText(image), this);
  warning.exec();
  if (!StoreOrientationWarningWanted(image, !warning.IsDontShowAgainChecked()))
    emit statusMessage(QString("The choice about the warning could not be stored in %1.")
                           .arg(QString::fromStdString(MakeFileName(PFK_SETTINGS, image))));
}

CVtkPOV* CImageForm::PovAt(WinPoint pixel) const {
  if (!m_Window || !m_Window->m_Renderer || !m_Window->m_RenderWindow) return nullptr;
  vtkNew<vtkCellPicker> picker;
  picker->SetTolerance(kPickTolerance);
  picker->PickFromListOn();
  for (const auto& entry : m_Povs)
    if (entry.second->IsVisible()) picker->AddPickList(entry.second->GetActor());
  const int height = m_Window->m_RenderWindow->GetSize()[1];
  if (!picker->Pick(pixel.x - m_Window->m_Position[0],
                    height - 1 - (pixel.y - m_Window->m_Position[1]), 0, m_Window->m_Renderer))
    return nullptr;
  for (const auto& entry : m_Povs)
    if (picker->GetActor() == static_cast<vtkActor*>(entry.second->GetActor()))
      return entry.second.get();
  return nullptr;
}

int CImageForm::SelectMarkerAt(WinPoint pixel) {
  CVtkPOV* pov = PovAt(pixel);
  if (!pov) return 0;
  SelectCurrent(pov->GetImagePath(), true, true, true);
  return 1;
}

int CImageForm::OpenPictureAt(WinPoint pixel) {
  CVtkPOV* pov = PovAt(pixel);
  if (!pov) return 0;
  OpenPicture(pov->GetImagePath());
  return 1;
}

void CImageForm::OpenPicture(const std::string& image) {
  auto* viewer =
      new CPictureDlg(QString::fromStdString(image), QString::fromStdString(BaseName(image)), this);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->show();
}

void CImageForm::OnThumbnailClicked(QListWidgetItem* item) {
  SelectCurrent(item->data(Qt::UserRole).toString().toStdString(), true, true, true);
}

void CImageForm::OnThumbnailDoubleClicked(QListWidgetItem* item) {
  OpenPicture(item->data(Qt::UserRole).toString().toStdString());
}

bool CImageForm::eventFilter(QObject* watched, QEvent* event) {
  // The tip stands while the list has the focus: given to it, or clicked while it has it.
  if ((watched == m_Thumbnails && event->type() == QEvent::FocusIn) ||
      (watched == m_Thumbnails->viewport() && event->type() == QEvent::MouseButtonPress))
    emit helpTip(kThumbnailsTip);
  return QWidget::eventFilter(watched, event);
}

void CImageForm::ApplyFilters() {
  if (m_Images.empty() || m_Current.empty() || !GetPov(m_Current)) return;
  std::vector<SPovImage> images(m_Images.size());
  for (size_t i = 0; i < m_Images.size(); ++i) {
    SPovImage& entry = images[i];
    entry.path = m_Images[i];
    entry.date = m_Dates[m_Images[i]];
    const CVtkPOV* pov = GetPov(m_Images[i]);
    if (!pov) continue;
    entry.hasPov = true;
    entry.oriented = pov->IsOriented();
    std::copy(pov->GetCameraCentre(), pov->GetCameraCentre() + 3, entry.centre);
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col)
        entry.rotation[row][col] = pov->GetOrientation().GetRotMat()(row, col);
  }
  const SPovFilterSettings settings = m_Filters->Settings();
  SPovFilterResult result;
  if (!ApplyPovFilters(images, m_Current, settings, result)) return;
  if (result.referenceNotOriented && (settings.time || settings.space))
    ShowMessage(
        "Warning: current image has not an orientation. No filter can be applied if this "
        "image is the reference one");
  for (size_t i = 0; i < m_Images.size() && i < result.state.size(); ++i)
    if (CVtkPOV* pov = GetPov(m_Images[i]); pov && result.state[i] >= 0)
      pov->SetFiltered(result.state[i]);
  if (result.available != m_Available) {
    m_Available = result.available;
    FillThumbnails();
  }
  SelectThumbnail(m_Current);
  m_Filters->SetStatusText(QString::fromStdString(result.status));
  emit viewChanged();
}

void CImageForm::ApplyMarkerScales() {
  for (const auto& [image, pov] : m_Povs)
    pov->SetMarkerScale(m_MarkerScale * (m_Highlight && image == m_Current ? kHighlightFactor : 1));
  if (CVtkPOV* current = GetPov(m_Current); current && current->IsOriented() && m_Pyramid)
    PlacePyramid(*current);
}

void CImageForm::ShowCameraPositions(bool show) {
  for (const auto& entry : m_Povs) entry.second->SetVisible(show);
  emit viewChanged();
}

void CImageForm::ShowCurrentCameraView(bool) {
  UpdateCurrentViewVisibility();
  emit viewChanged();
}

void CImageForm::ShowSphere(bool) {
  UpdateCurrentViewVisibility();
  emit viewChanged();
}

void CImageForm::SetSphereRadius(double radius) {
  if (!m_SphereSource || !(radius > 0)) return;
  m_SphereSource->SetThetaResolution(kSphereResolution);
  m_SphereSource->SetPhiResolution(kSphereResolution);
  m_SphereSource->SetRadius(radius);
  emit viewChanged();
}

void CImageForm::HighlightCurrentView(bool highlight) {
  m_Highlight = highlight;
  ApplyMarkerScales();
  emit viewChanged();
}

void CImageForm::SetMarkerScale(int position) {
  m_MarkerScale = MarkerScale(position, m_ModelSize);
  ApplyMarkerScales();
  emit viewChanged();
}

void CImageForm::TabClosed() {
  m_Tabs->hide();
}

void CImageForm::AddPage(int tab, QWidget* page, const QString& title, const QString& tip) {
  // The pages scroll, so that the thumbnails keep their room in a narrow or low panel.
  auto* scroll = new QScrollArea(m_Tabs);
  scroll->setWidget(page);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  // Tabs stand in the order of their numbers, whatever the order they were added in.
  int index = 0;
  for (const auto& [other, otherPage] : m_Pages)
    if (other < tab) ++index;
  m_Tabs->insertTab(index, scroll, title);
  m_Pages[tab] = {page, tip};
}

QWidget* CImageForm::GetPage(int tab) const {
  const auto found = m_Pages.find(tab);
  return found == m_Pages.end() ? nullptr : found->second.page;
}

int CImageForm::PageTakesClick(WinPoint pixel, bool shift, bool control) {
  auto* page = dynamic_cast<CPanelPage*>(GetPage(GetCurrentTab()));
  return page ? page->OnViewClick(pixel, shift, control) : 0;
}

int CImageForm::PageTakesDoubleClick(WinPoint pixel) {
  for (const auto& [tab, page] : m_Pages)
    if (auto* clickable = dynamic_cast<CPanelPage*>(page.page))
      if (clickable->OnViewDoubleClick(pixel)) return 1;
  return 0;
}

int CImageForm::ShowTab(int tab) {
  QWidget* page = GetPage(tab);
  if (!page) return 0;
  const bool wasShown = GetCurrentTab() == tab;
  // A page that closed itself hid itself as well.
  page->show();
  m_Tabs->show();
  m_Tabs->setCurrentIndex(TabIndexOf(page));
  if (!wasShown) emit helpTip(m_Pages.at(tab).tip);
  return 1;
}

int CImageForm::TabIndexOf(QWidget* page) const {
  for (int index = 0; index < m_Tabs->count(); ++index)
    if (static_cast<QScrollArea*>(m_Tabs->widget(index))->widget() == page) return index;
  return -1;
}

int CImageForm::GetCurrentTab() const {
  if (m_Tabs->isHidden()) return TAB_NONE;
  for (const auto& [tab, page] : m_Pages)
    if (m_Tabs->currentIndex() == TabIndexOf(page.page)) return tab;
  return TAB_NONE;
}

int CImageForm::SaveState() {
  int saved = m_Filters->SaveData() & m_Notes->SaveData();
  for (const auto& [tab, page] : m_Pages)
    if (auto* other = dynamic_cast<CPanelPage*>(page.page)) saved &= other->SavePageData();
  return saved;
}

void CImageForm::ShowMessage(const QString& text, QMessageBox::Icon icon) {
  emit statusMessage(text);
  if (m_Interactive)
    QMessageBox(icon, "Orvalis", text, QMessageBox::Ok, this).exec();
  else
    std::fprintf(stderr, "orvalis: %s\n", text.toLocal8Bit().constData());
}
