#include "LinkDlg.h"

#include <vtkActor.h>
#include <vtkBalloonWidget.h>
#include <vtkCellPicker.h>
#include <vtkNew.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "LinkFiles.h"
#include "LinkViewers.h"
#include "app/projects/ProjectFiles.h"
#include "nimbex/window/RenderWindow.h"

namespace fs = std::filesystem;

namespace {

const char* const kTitle = "Link Management - Talvern Software";
const char* const kLinkSizeKey = "LinkSize/pos";
constexpr int kDefaultLinkSize = 50;
// The type buttons' colours, as Windows colour values (0x00BBGGRR).
constexpr unsigned kTypeButtonColours[kLinkTypeCount] = {0x0000FF, 0xCD5A6A, 0xFF0000, 0xAA9060,
                                                         0xFF7FFF, 0x4C5900, 0x7FFF00, 0x00A5FF,
                                                         0x9314FF, 0x0F0F72};
constexpr double kMarkerOpacity = 0.8;
constexpr int kMarkerResolution = 16;
// How near a marker a click must fall, as a share of the window's diagonal.
constexpr double kPickTolerance = 0.005;

QColor FromColourValue(unsigned value) {
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QString TypeButtonStyle(const QColor& colour) {
  const QColor text = colour.lightness() > 140 ? Qt::black : Qt::white;
  return QString(
             "QRadioButton { background: %1; color: %2; padding: 1px 4px; border: 2px solid %1; }"
             "QRadioButton:checked { border: 2px solid palette(highlight); font-weight: bold; }")
      .arg(colour.name(), text.name());
}

bool IsPdf(const std::string& path) {
  return QString::fromStdString(fs::path(path).extension().string())
             .compare(".pdf", Qt::CaseInsensitive) == 0;
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

CLinkDlg::CLinkDlg(SettingsOpener openSettings, QWidget* parent)
    : QWidget(parent), m_OpenSettings(std::move(openSettings)) {
  setWindowTitle(kTitle);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* title = new QLabel(kTitle, this);
  title->setStyleSheet("font-weight: bold;");
  title->setWordWrap(true);
  layout->addWidget(title);

  auto* types = new QVBoxLayout;
  types->setSpacing(2);
  m_Types = new QButtonGroup(this);
  BuildTypeButtons(types);
  layout->addLayout(types);

  auto* pathRow = new QHBoxLayout;
  m_Path = new QLineEdit(this);
  m_Path->setObjectName("linkPath");
  m_Path->setPlaceholderText("Path of the link");
  // The panel is narrow: the fields take the width there is.
  m_Path->setMinimumWidth(40);
  m_Browse = new QToolButton(this);
  m_Browse->setText("...");
  m_Browse->setToolTip("Choose the linked file");
  pathRow->addWidget(m_Path);
  pathRow->addWidget(m_Browse);
  layout->addWidget(new QLabel("Path:", this));
  layout->addLayout(pathRow);
  layout->addWidget(new QLabel("Label:", this));
  m_Label = new QLineEdit(this);
  m_Label->setObjectName("linkLabel");
  m_Label->setMinimumWidth(40);
  layout->addWidget(m_Label);
  m_Embed = new QCheckBox("Embed in the project", this);
  layout->addWidget(m_Embed);
  m_Add = new QPushButton("Add link", this);
  m_Add->setCheckable(true);
  layout->addWidget(m_Add);
  m_Delete = new QCheckBox("Delete links", this);
  layout->addWidget(m_Delete);
  m_Show = new QCheckBox("Show links", this);
  m_Show->setChecked(true);
  layout->addWidget(m_Show);
  layout->addWidget(new QLabel("Link size:", this));
  m_Size = new QSlider(Qt::Horizontal, this);
  m_Size->setRange(0, 100);
  m_Size->setValue(ReadLinkSize());
  layout->addWidget(m_Size);
  m_Status = new QLabel(this);
  m_Status->setObjectName("linkStatus");
  m_Status->setWordWrap(true);
  // Room for two lines: in the narrow panel the longer lines wrap.
  m_Status->setMinimumHeight(2 * m_Status->fontMetrics().lineSpacing() + 4);
  m_Status->setAutoFillBackground(true);
  layout->addWidget(m_Status);
  layout->addStretch();

  connect(m_Types, &QButtonGroup::idClicked, this, &CLinkDlg::OnTypeChosen);
  connect(m_Browse, &QToolButton::clicked, this, &CLinkDlg::OnBrowse);
  connect(m_Add, &QPushButton::toggled, this, &CLinkDlg::OnAddToggled);
  connect(m_Delete, &QCheckBox::toggled, this, &CLinkDlg::OnDeleteToggled);
  connect(m_Show, &QCheckBox::toggled, this, &CLinkDlg::OnShowToggled);
  connect(m_Size, &QSlider::valueChanged, this, &CLinkDlg::RebuildMarkers);
  SetType(LINK_WEB);
  UpdateStatusLine();
}

CLinkDlg::~CLinkDlg() {
  ReleaseMarkers();
}

// One column: the panel is narrow, and the longest name would not fit in half of it.
void CLinkDlg::BuildTypeButtons(QVBoxLayout* column) {
  for (int type = 0; type < kLinkTypeCount; ++type) {
    auto* button = new QRadioButton(LinkTypeName(type), this);
    button->setObjectName(QString("linkType%1").arg(type));
    button->setStyleSheet(TypeButtonStyle(FromColourValue(kTypeButtonColours[type])));
    m_Types->addButton(button, type);
    column->addWidget(button);
  }
}

QRadioButton* CLinkDlg::GetTypeButton(int type) const {
  return qobject_cast<QRadioButton*>(m_Types->button(type));
}

int CLinkDlg::GetType() const {
  return m_Types->checkedId();
}

void CLinkDlg::SetType(int type) {
  if (QRadioButton* button = GetTypeButton(type)) button->setChecked(true);
  OnTypeChosen(type);
}

void CLinkDlg::OnTypeChosen(int type) {
  m_Label->setText(LinkTypeName(type));
  // A new audio link is recorded at once, into the project's FileLink folder.
  if (type == LINK_AUDIO && !m_StreamPath.empty())
    m_Path->setText(
        Text(RecordAudioLink(this, ProjectFolder(), MakeFileName(PFK_SETTINGS, m_StreamPath))));
  m_Path->setReadOnly(type == LINK_AUDIO);
  m_Browse->setEnabled(type != LINK_AUDIO && !IsAddMode() && !IsDeleteMode());
}

void CLinkDlg::OnBrowse() {
  const QString folder =
      Text(fs::path(m_Path->text().split(';').first().toStdString()).parent_path().string());
  if (GetType() == LINK_MODEL) {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, "3D models of the link", folder, "3D models (*.strm *.vtp);;All files (*)");
    if (!files.isEmpty()) m_Path->setText(files.join(';'));
    return;
  }
  const QString file = QFileDialog::getOpenFileName(this, "File of the link", folder);
  if (!file.isEmpty()) m_Path->setText(file);
}

bool CLinkDlg::IsAddMode() const {
  return m_Add->isChecked();
}

bool CLinkDlg::IsDeleteMode() const {
  return m_Delete->isChecked();
}

void CLinkDlg::OnAddToggled(bool) {
  UpdateEntryControls();
  UpdateStatusLine();
}

void CLinkDlg::OnDeleteToggled(bool on) {
  if (on && m_Links.empty()) {
    ShowMessage("Model has no link to delete!");
    const QSignalBlocker block(m_Delete);
    m_Delete->setChecked(false);
  }
  UpdateEntryControls();
  UpdateStatusLine();
}

// Add and delete mode keep the entry as it is while they last.
void CLinkDlg::UpdateEntryControls() {
  const bool adding = IsAddMode(), deleting = IsDeleteMode();
  for (QAbstractButton* button : m_Types->buttons()) button->setEnabled(!adding && !deleting);
  m_Path->setEnabled(!adding && !deleting);
  m_Browse->setEnabled(!adding && !deleting && GetType() != LINK_AUDIO);
  m_Label->setEnabled(!adding && !deleting);
  m_Embed->setEnabled(!adding && !deleting);
  m_Add->setEnabled(!deleting);
  m_Delete->setEnabled(!adding);
}

void CLinkDlg::OnShowToggled(bool on) {
  for (const auto& link : m_Links)
    if (link->m_Actor) link->m_Actor->SetVisibility(on);
  UpdateStatusLine();
  emit viewChanged();
}

void CLinkDlg::UpdateStatusLine() {
  QString text;
  QString look = "background: #fff8c0; color: #00306e;";
  if (!m_Show->isChecked()) {
    text = QString("    %1 Links are currently hidden").arg(m_Links.size());
    look = "background: black; color: white;";
  } else if (IsDeleteMode()) {
    text = "    Ctrl+Click on the link to delete it";
  } else if (IsAddMode()) {
    text = "    Ctrl+Click on the model to add the link";
  } else if (!m_Links.empty()) {
    text = "    Double Click on the link to open it";
  } else {
    text = "    No link available";
  }
  m_Status->setText(text);
  m_Status->setStyleSheet(look);
}

int CLinkDlg::ReadLinkSize() const {
  if (!m_OpenSettings) return kDefaultLinkSize;
  const int position = m_OpenSettings()->value(kLinkSizeKey, kDefaultLinkSize).toInt();
  return std::clamp(position, 0, 100);
}

void CLinkDlg::StoreLinkSize(int position) const {
  if (m_OpenSettings) m_OpenSettings()->setValue(kLinkSizeKey, position);
}

void CLinkDlg::ShowProject(const std::string& streamPath, RenderWindow* window, double modelSize,
                           ModelPicker picker) {
  ReleaseMarkers();
  m_Picker = std::move(picker);
  m_StreamPath = streamPath;
  m_LinksFile = MakeFileName(PFK_LINKS, streamPath);
  m_Window = window;
  m_ModelSize = modelSize;
  LoadLinks(m_LinksFile);
  RebuildMarkers();
}

std::string CLinkDlg::ProjectFolder() const {
  return fs::path(m_StreamPath).parent_path().string();
}

void CLinkDlg::ReleaseMarkers() {
  for (const auto& link : m_Links) RemoveMarker(*link);
  m_Window = nullptr;
}

void CLinkDlg::RemoveMarker(CLink& link) {
  if (!link.m_Actor) return;
  if (m_Window) {
    if (m_Window->m_RenderWindow) link.m_Actor->ReleaseGraphicsResources(m_Window->m_RenderWindow);
    if (m_Window->m_Balloon) m_Window->m_Balloon->RemoveBalloon(link.m_Actor);
    if (m_Window->m_Renderer) m_Window->m_Renderer->RemoveActor(link.m_Actor);
  }
  link.m_Actor = nullptr;
}

int CLinkDlg::LoadLinks(const std::string& path) {
  for (const auto& link : m_Links) RemoveMarker(*link);
  std::string error;
  const int loaded = ::LoadLinks(path, m_Links, error);
  if (!loaded)
    ShowMessage(Text(error + " The project shows no links; the file is kept aside when a link "
                             "is added or deleted."));
  UpdateStatusLine();
  return loaded;
}

int CLinkDlg::SaveLinks(const std::string& path) {
  std::string keptAs, error;
  if (!::SaveLinks(path, m_Links, keptAs, error)) {
    ShowMessage(Text("Error during database writing process!\n" + error));
    return 0;
  }
  if (!keptAs.empty())
    ShowMessage(Text("The links file " + path + " could not be read: it was kept as " + keptAs +
                     " and a new one was written."),
                QMessageBox::Information);
  return 1;
}

double CLinkDlg::MarkerRadius() const {
  return m_ModelSize / 20 / 200 * m_Size->value();
}

vtkSmartPointer<vtkActor> CLinkDlg::MakeMarker(const CLink& link) const {
  vtkNew<vtkSphereSource> sphere;
  sphere->SetCenter(link.m_Point[0] - m_Window->m_Center[0],
                    link.m_Point[1] - m_Window->m_Center[1],
                    link.m_Point[2] - m_Window->m_Center[2]);
  sphere->SetRadius(MarkerRadius());
  sphere->SetThetaResolution(kMarkerResolution);
  sphere->SetPhiResolution(kMarkerResolution);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(sphere->GetOutputPort());
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  double colour[3];
  LinkTypeColor(link.m_Type, colour);
  actor->GetProperty()->SetColor(colour);
  actor->GetProperty()->SetOpacity(kMarkerOpacity);
  actor->SetVisibility(m_Show->isChecked());
  return actor;
}

void CLinkDlg::RebuildMarkers() {
  StoreLinkSize(m_Size->value());
  if (!m_Window || !m_Window->m_Renderer) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  for (const auto& link : m_Links) {
    RemoveMarker(*link);
    if (link->m_Type == LINK_NONE) continue;
    link->m_Actor = MakeMarker(*link);
    if (m_Window->m_Balloon) m_Window->m_Balloon->AddBalloon(link->m_Actor, link->m_Label.c_str());
    m_Window->m_Renderer->AddActor(link->m_Actor);
  }
  QApplication::restoreOverrideCursor();
  UpdateStatusLine();
  emit viewChanged();
}

int CLinkDlg::AddLink(const Wml::Point3<double>& point) {
  const int type = GetType();
  const std::string path = m_Path->text().toStdString();
  const std::string refusal = CheckLinkEntry(type, path);
  if (!refusal.empty()) {
    ShowMessage(Text(refusal));
    return 0;
  }
  auto link = std::make_unique<CLink>();
  link->m_Type = type;
  link->m_Path = path;
  if (m_Embed->isChecked() && LinkRefersToFiles(type)) {
    std::string error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    link->m_Path = EmbedLinkFiles(type, path, ProjectFolder(), error);
    QApplication::restoreOverrideCursor();
    if (link->m_Path.empty()) {
      ShowMessage(Text(error));
      return 0;
    }
    link->m_Embedded = 1;
  }
  link->m_Point = point;
  link->m_Label = m_Label->text().toStdString();
  m_Links.push_back(std::move(link));
  if (!SaveLinks(m_LinksFile)) {
    m_Links.pop_back();
    return 0;
  }
  RebuildMarkers();
  m_Path->clear();
  m_Add->setChecked(false);
  return 1;
}

CLink* CLinkDlg::LinkOf(vtkActor* actor) const {
  if (!actor) return nullptr;
  for (const auto& link : m_Links)
    if (link->m_Actor == actor) return link.get();
  return nullptr;
}

int CLinkDlg::DeleteLink(vtkActor* actor) {
  CLink* link = LinkOf(actor);
  if (!link) return 0;
  QMessageBox question(QMessageBox::Question, "Orvalis",
                       QString("%1 will be removed. Are you sure?").arg(Text(link->m_Label)),
                       QMessageBox::Yes | QMessageBox::No, this);
  // A label is text, whatever markup it holds.
  question.setTextFormat(Qt::PlainText);
  if (question.exec() != QMessageBox::Yes) {
    m_Delete->setChecked(false);
    return 0;
  }
  const auto at = std::find_if(m_Links.begin(), m_Links.end(),
                               [link](const auto& held) { return held.get() == link; });
  const size_t index = static_cast<size_t>(at - m_Links.begin());
  std::unique_ptr<CLink> removed = std::move(*at);
  m_Links.erase(at);
  // The copies go only once the file no longer names them.
  if (!SaveLinks(m_LinksFile)) {
    m_Links.insert(m_Links.begin() + static_cast<std::ptrdiff_t>(index), std::move(removed));
    return 0;
  }
  RemoveMarker(*removed);
  const SLinkFilesRemoval removal = DeleteLinkFiles(*removed, m_Links, ProjectFolder());
  for (const std::string& kept : removal.kept)
    emit statusMessage(Text("The link's file was left in place: " + kept));
  RebuildMarkers();
  m_Delete->setChecked(false);
  return 1;
}

CLink* CLinkDlg::LinkAt(WinPoint pixel) const {
  if (!m_Window || !m_Window->m_Renderer || !m_Window->m_RenderWindow) return nullptr;
  vtkNew<vtkCellPicker> picker;
  picker->SetTolerance(kPickTolerance);
  picker->PickFromListOn();
  bool any = false;
  for (const auto& link : m_Links)
    if (link->m_Actor && link->m_Actor->GetVisibility()) {
      picker->AddPickList(link->m_Actor);
      any = true;
    }
  if (!any) return nullptr;
  const int height = m_Window->m_RenderWindow->GetSize()[1];
  if (!picker->Pick(pixel.x - m_Window->m_Position[0],
                    height - 1 - (pixel.y - m_Window->m_Position[1]), 0, m_Window->m_Renderer))
    return nullptr;
  return LinkOf(picker->GetActor());
}

int CLinkDlg::OnViewClick(WinPoint pixel, bool shift, bool control) {
  if (!control || shift || !m_Window) return 0;
  if (IsDeleteMode()) {
    CLink* link = LinkAt(pixel);
    return link ? (DeleteLink(link->m_Actor), 1) : 0;
  }
  if (!IsAddMode()) return 0;
  double point[3];
  if (!m_Picker || !m_Picker(pixel, point)) return 0;
  AddLink(Wml::Point3<double>(point));
  return 1;
}

// The link opens once the double click has been handled: its viewer may run a loop of its
// own, which the view's mouse handling must not wait in.
int CLinkDlg::OnViewDoubleClick(WinPoint pixel) {
  CLink* link = LinkAt(pixel);
  if (!link) return 0;
  QTimer::singleShot(0, this, [this, actor = link->m_Actor] { OpenLink(actor); });
  return 1;
}

int CLinkDlg::OpenLink(vtkActor* actor) {
  const CLink* link = LinkOf(actor);
  if (!link) return 0;
  OpenResolved(*link);
  return 1;
}

void CLinkDlg::OpenResolved(const CLink& link) {
  std::string resolved;
  for (const std::string& path : LinkPaths(link.m_Type, link.m_Path)) {
    const std::string file = ResolveLinkPath(path, ProjectFolder());
    if (file.empty()) {
      ShowMessage(Text("The link " + link.m_Label + " names " + path +
                       ", which leaves the project folder: it is not opened."));
      return;
    }
    resolved += (resolved.empty() ? "" : ";") + file;
  }
  const std::string& label = link.m_Label;
  switch (link.m_Type) {
    case LINK_WEB:
    case LINK_IMAGE:
      ShowLinkViewer(this, link.m_Type, label, resolved);
      return;
    case LINK_FILE:
      if (IsPdf(resolved))
        OpenDocument(resolved);
      else
        ShowLinkViewer(this, link.m_Type, label, resolved);
      return;
    case LINK_MODEL:
      ShowModels(this, label, resolved);
      return;
    case LINK_MEDIA:
    case LINK_AUDIO:
      PlayMedia(this, label, resolved);
      return;
    case LINK_ORTHOPHOTO:
    case LINK_CAD:
    case LINK_DEM:
      emit drawingLinkOpened(link.m_Type, Text(resolved));
      return;
    case LINK_VANTEL:
      StartVantel(this, resolved);
      return;
    default:
      ShowMessage(Text("The link " + label + " has no type that can be opened."),
                  QMessageBox::Information);
  }
}

void CLinkDlg::ReportDrawingLinkFailure(int type, const std::string& why) {
  const char* failure = type == LINK_ORTHOPHOTO ? "The image does not seem an orthophoto!"
                        : type == LINK_CAD      ? "The image does not seem a valid CAD file!"
                                                : "Error in loading data!";
  ShowMessage(Text(std::string(failure) + "\n" + why), QMessageBox::Information);
}

int CLinkDlg::SavePageData() {
  StoreLinkSize(m_Size->value());
  return 1;
}

void CLinkDlg::ShowMessage(const QString& text, QMessageBox::Icon icon) {
  emit statusMessage(text);
  if (m_Interactive) {
    QMessageBox box(icon, "Orvalis", text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  } else
    std::fprintf(stderr, "orvalis: %s\n", text.toLocal8Bit().constData());
}
