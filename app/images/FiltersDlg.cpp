#include "FiltersDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "ImagePanelOps.h"

namespace {

const char* const kNoFilters = "No filters active";
const char* const kAngleLabels[3] = {"Omega", "Phi", "Kappa"};

QDate DateOf(int yyyymmdd) {
  return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
}

int NumberOf(const QDate& date) {
  return date.year() * 10000 + date.month() * 100 + date.day();
}

QDateEdit* MakeDatePicker(QWidget* parent) {
  auto* picker = new QDateEdit(parent);
  picker->setCalendarPopup(true);
  picker->setDisplayFormat("yyyy-MM-dd");
  picker->setDateRange(QDate(1000, 1, 1), QDate(9999, 12, 31));
  return picker;
}

QSlider* MakeSlider(int minimum, int maximum, int position, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(minimum, maximum);
  slider->setValue(position);
  return slider;
}

QSpinBox* MakeAngleBox(int value, const QString& tip, QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(0, 359);
  box->setWrapping(true);
  box->setValue(value);
  box->setToolTip(tip);
  box->setEnabled(false);
  return box;
}

}  // namespace

CFiltersDlg::CFiltersDlg(CImagePanelOps& panel, QWidget* parent) : QWidget(parent), m_Panel(panel) {
  m_Loaded.maxRadius = 100;  // the radius slider's first range, 1-100
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeDisplayGroup());
  layout->addWidget(MakeTimeGroup());
  layout->addWidget(MakeSpaceGroup());
  layout->addWidget(MakeAnglesGroup());
  layout->addWidget(MakeFileButtons());
  auto* scaleRow = new QHBoxLayout;
  scaleRow->addWidget(new QLabel("Set Scale Pov:", this));
  m_MarkerScale = MakeSlider(0, 100, 50, this);
  m_MarkerScale->setObjectName("markerScale");
  scaleRow->addWidget(m_MarkerScale);
  layout->addLayout(scaleRow);
  m_Status = new QLabel(kNoFilters, this);
  m_Status->setObjectName("status");
  m_Status->setWordWrap(true);
  layout->addWidget(m_Status);
  layout->addStretch();
  RefreshAngleTexts();

  connect(m_MarkerScale, &QSlider::valueChanged, this,
          [this](int position) { m_Panel.SetMarkerScale(position); });
}

QWidget* CFiltersDlg::MakeDisplayGroup() {
  auto* group = new QWidget(this);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  // The cameras show from the start: a project whose photographs are all hidden in the model
  // gives no hint of where they were taken.
  m_ShowCameras = new QCheckBox("Show camera positions", group);
  m_ShowCameras->setChecked(true);
  m_ShowCurrentView = new QCheckBox("Show current camera view", group);
  m_ShowCurrentView->setChecked(true);
  m_HighlightCurrent = new QCheckBox("Enlight Current View", group);
  layout->addWidget(m_ShowCameras);
  layout->addWidget(m_ShowCurrentView);
  layout->addWidget(m_HighlightCurrent);
  connect(m_ShowCameras, &QCheckBox::toggled, this,
          [this](bool show) { m_Panel.ShowCameraPositions(show); });
  connect(m_ShowCurrentView, &QCheckBox::toggled, this,
          [this](bool show) { m_Panel.ShowCurrentCameraView(show); });
  connect(m_HighlightCurrent, &QCheckBox::toggled, this,
          [this](bool highlight) { m_Panel.HighlightCurrentView(highlight); });
  return group;
}

QWidget* CFiltersDlg::MakeTimeGroup() {
  auto* group = new QGroupBox(this);
  auto* layout = new QGridLayout(group);
  m_TimeFilter = new QCheckBox("Time Filter", group);
  m_From = MakeDatePicker(group);
  m_To = MakeDatePicker(group);
  m_From->setObjectName("from");
  m_To->setObjectName("to");
  m_From->setDate(DateOf(m_Loaded.settings.from));
  m_To->setDate(DateOf(m_Loaded.settings.to));
  layout->addWidget(m_TimeFilter, 0, 0, 1, 2);
  layout->addWidget(new QLabel("From", group), 1, 0);
  layout->addWidget(m_From, 1, 1);
  layout->addWidget(new QLabel("To", group), 2, 0);
  layout->addWidget(m_To, 2, 1);
  connect(m_TimeFilter, &QCheckBox::toggled, this, [this] { m_Panel.ApplyFilters(); });
  connect(m_From, &QDateEdit::dateChanged, this, &CFiltersDlg::OnFromChanged);
  connect(m_To, &QDateEdit::dateChanged, this, &CFiltersDlg::OnToChanged);
  return group;
}

QWidget* CFiltersDlg::MakeSpaceGroup() {
  auto* group = new QGroupBox(this);
  auto* layout = new QGridLayout(group);
  m_SpaceFilter = new QCheckBox("Space Filter", group);
  m_RadiusSlider = MakeSlider(1, 100, 50, group);
  m_RadiusBox = new QLineEdit("1.0", group);
  m_RadiusBox->setMaximumWidth(60);
  m_RadiusSlider->setObjectName("radiusSlider");
  m_RadiusBox->setObjectName("radiusBox");
  auto* apply = new QPushButton("Apply", group);
  apply->setObjectName("applyRadius");
  m_ShowSphere = new QCheckBox("Show Sphere", group);
  layout->addWidget(m_SpaceFilter, 0, 0, 1, 4);
  layout->addWidget(m_RadiusSlider, 1, 0, 1, 4);
  layout->addWidget(m_RadiusBox, 2, 0);
  layout->addWidget(new QLabel("u.d.", group), 2, 1);
  layout->addWidget(apply, 2, 3);
  layout->addWidget(new QLabel("Radius around current view", group), 3, 0, 1, 3);
  layout->addWidget(m_ShowSphere, 4, 0, 1, 4);
  connect(m_SpaceFilter, &QCheckBox::toggled, this, &CFiltersDlg::OnSpaceFilter);
  connect(m_RadiusSlider, &QSlider::valueChanged, this, &CFiltersDlg::OnRadiusSliderMoved);
  connect(apply, &QPushButton::clicked, this, &CFiltersDlg::ApplyRadius);
  connect(m_RadiusBox, &QLineEdit::returnPressed, this, &CFiltersDlg::ApplyRadius);
  connect(m_ShowSphere, &QCheckBox::toggled, this, &CFiltersDlg::OnShowSphere);
  return group;
}

QWidget* CFiltersDlg::MakeAnglesGroup() {
  auto* group = new QGroupBox("Direction Angles", this);
  auto* layout = new QGridLayout(group);
  for (int a = 0; a < 3; ++a) {
    m_AngleActive[a] = new QCheckBox(kAngleLabels[a], group);
    m_AngleLow[a] = MakeAngleBox(345, "Low end: the window reaches 360 minus this below", group);
    m_AngleUp[a] = MakeAngleBox(15, "High end: the window reaches this above", group);
    m_AngleLow[a]->setObjectName(QString(kAngleLabels[a]).toLower() + "Low");
    m_AngleUp[a]->setObjectName(QString(kAngleLabels[a]).toLower() + "Up");
    m_AngleText[a] = new QLabel(group);
    m_AngleText[a]->setObjectName(QString(kAngleLabels[a]).toLower() + "Text");
    m_AngleText[a]->setEnabled(false);
    layout->addWidget(m_AngleActive[a], a, 0);
    layout->addWidget(m_AngleLow[a], a, 1);
    layout->addWidget(m_AngleUp[a], a, 2);
    layout->addWidget(m_AngleText[a], a, 3);
    connect(m_AngleActive[a], &QCheckBox::toggled, this,
            [this, a](bool active) { OnAngleActive(a, active); });
    connect(m_AngleLow[a], qOverload<int>(&QSpinBox::valueChanged), this,
            &CFiltersDlg::RefreshAngleTexts);
    connect(m_AngleUp[a], qOverload<int>(&QSpinBox::valueChanged), this,
            &CFiltersDlg::RefreshAngleTexts);
  }
  auto* apply = new QPushButton("Apply", group);
  apply->setObjectName("applyAngles");
  layout->addWidget(apply, 3, 3);
  connect(apply, &QPushButton::clicked, this, [this] { m_Panel.ApplyFilters(); });
  return group;
}

QWidget* CFiltersDlg::MakeFileButtons() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* load = new QPushButton("Load Filter", row);
  auto* save = new QPushButton("Save Filter", row);
  auto* reset = new QPushButton("Reset Filter", row);
  layout->addWidget(load);
  layout->addWidget(save);
  layout->addWidget(reset);
  connect(load, &QPushButton::clicked, this, &CFiltersDlg::LoadFilter);
  connect(save, &QPushButton::clicked, this, &CFiltersDlg::SaveFilter);
  connect(reset, &QPushButton::clicked, this, &CFiltersDlg::ResetFilter);
  return row;
}

SPovFilterSettings CFiltersDlg::Settings() const {
  SPovFilterSettings settings;
  settings.time = m_TimeFilter->isChecked();
  settings.from = NumberOf(m_From->date());
  settings.to = NumberOf(m_To->date());
  settings.space = m_SpaceFilter->isChecked();
  // As a C conversion reads it: text that is not a number is 0.
  settings.radiusBox = m_RadiusBox->text().trimmed().toDouble();
  for (int a = 0; a < 3; ++a) {
    settings.angleActive[a] = m_AngleActive[a]->isChecked();
    settings.low[a] = m_AngleLow[a]->value();
    settings.up[a] = m_AngleUp[a]->value();
  }
  return settings;
}

void CFiltersDlg::SetStatusText(const QString& text) {
  m_Status->setText(text);
}

void CFiltersDlg::SetDateRange(int from, int to) {
  if (!IsValidDate(from) || !IsValidDate(to)) return;
  m_Loaded.settings.from = from;
  m_Loaded.settings.to = to;
  const QSignalBlocker fromBlocker(m_From), toBlocker(m_To);
  m_From->setDate(DateOf(from));
  m_To->setDate(DateOf(to));
}

void CFiltersDlg::SetFilterFile(const std::string& path) {
  m_FilterFile = path;
}

bool CFiltersDlg::CameraPositionsShown() const {
  return m_ShowCameras->isChecked();
}

bool CFiltersDlg::CurrentViewShown() const {
  return m_ShowCurrentView->isChecked();
}

bool CFiltersDlg::SphereShown() const {
  return m_ShowSphere->isChecked();
}

double CFiltersDlg::SphereRadius() const {
  return m_SphereRadius;
}

int CFiltersDlg::MarkerScalePosition() const {
  return m_MarkerScale->value();
}

int CFiltersDlg::SaveData() {
  return 1;
}

void CFiltersDlg::OnRadiusSliderMoved(int position) {
  m_RadiusBox->setText(QString::number(position));
  m_SphereRadius = position;
  m_Panel.SetSphereRadius(m_SphereRadius);
  m_Panel.ApplyFilters();
}

void CFiltersDlg::ApplyRadius() {
  const double typed = m_RadiusBox->text().trimmed().toDouble();
  const double radius = std::clamp(typed, 0.1, static_cast<double>(m_RadiusSlider->maximum()));
  {
    const QSignalBlocker blocker(m_RadiusSlider);
    m_RadiusSlider->setValue(static_cast<int>(radius));
  }
  m_RadiusBox->setText(QString::number(radius, 'f', 1));
  m_SphereRadius = radius;
  m_Panel.SetSphereRadius(radius);
  m_Panel.ApplyFilters();
}

void CFiltersDlg::OnShowSphere(bool show) {
  ApplyRadius();
  m_Panel.ShowSphere(show);
}

void CFiltersDlg::OnSpaceFilter(bool on) {
  m_Panel.ShowSphere(on && m_ShowSphere->isChecked());
  m_Panel.ApplyFilters();
}

void CFiltersDlg::OnFromChanged() {
  if (m_From->date() > m_To->date()) {
    const QSignalBlocker blocker(m_To);
    m_To->setDate(m_From->date());
  }
  m_Panel.ApplyFilters();
}

void CFiltersDlg::OnToChanged() {
  if (m_To->date() < m_From->date()) {
    const QSignalBlocker blocker(m_From);
    m_From->setDate(m_To->date());
  }
  m_Panel.ApplyFilters();
}

void CFiltersDlg::OnAngleActive(int angle, bool active) {
  EnableAngleWindow(angle, active);
  m_Panel.ApplyFilters();
}

void CFiltersDlg::EnableAngleWindow(int angle, bool enable) {
  m_AngleLow[angle]->setEnabled(enable);
  m_AngleUp[angle]->setEnabled(enable);
  m_AngleText[angle]->setEnabled(enable);
}

void CFiltersDlg::RefreshAngleTexts() {
  for (int a = 0; a < 3; ++a)
    m_AngleText[a]->setText(
        QString::fromStdString(AngleWindowText(m_AngleLow[a]->value(), m_AngleUp[a]->value())));
}

int CFiltersDlg::LoadFilter() {
  if (m_FilterFile.empty()) return 0;
  SPovFilterFile file;
  LoadPovFilterFile(m_FilterFile, file);
  m_Loaded = file;
  ShowFile(file);
  return 1;
}

int CFiltersDlg::SaveFilter() {
  if (m_FilterFile.empty()) return 0;
  if (QMessageBox::question(this, "Orvalis",
                            "Previous filter settings will be overwritten. Do you want to "
                            "continue?",
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::No)
    return 0;
  if (SavePovFilterFile(m_FilterFile, FileOfControls())) return 1;
  QMessageBox::warning(this, "Orvalis",
                       QString("Unable to save the filter settings to %1. Check that the "
                               "project folder can be written, then save again.")
                           .arg(QString::fromStdString(m_FilterFile)));
  return 0;
}

void CFiltersDlg::ResetFilter() {
  SPovFilterFile file;
  file.minRadius = m_Loaded.minRadius;
  file.maxRadius = m_Loaded.maxRadius;
  file.settings.radiusBox = static_cast<int>(m_Loaded.settings.radiusBox);
  file.settings.from = m_Loaded.settings.from;
  file.settings.to = m_Loaded.settings.to;
  ShowFile(file);
}

// Puts the file's values into the controls without each control's own reaction, then
// brings the sphere and the filtering in line with them once.
void CFiltersDlg::ShowFile(const SPovFilterFile& file) {
  const SPovFilterSettings& settings = file.settings;
  const int radius = static_cast<int>(settings.radiusBox);
  {
    const QSignalBlocker blockers[] = {QSignalBlocker(m_TimeFilter), QSignalBlocker(m_From),
                                       QSignalBlocker(m_To), QSignalBlocker(m_SpaceFilter),
                                       QSignalBlocker(m_RadiusSlider)};
    m_TimeFilter->setChecked(settings.time);
    m_From->setDate(DateOf(settings.from));
    m_To->setDate(DateOf(settings.to));
    m_SpaceFilter->setChecked(settings.space);
    m_RadiusSlider->setRange(file.minRadius, file.maxRadius);
    m_RadiusSlider->setValue(radius);
    m_RadiusBox->setText(QString::number(radius));
    for (int a = 0; a < 3; ++a) {
      const QSignalBlocker active(m_AngleActive[a]);
      m_AngleActive[a]->setChecked(settings.angleActive[a]);
      m_AngleLow[a]->setValue(settings.low[a]);
      m_AngleUp[a]->setValue(settings.up[a]);
      EnableAngleWindow(a, settings.angleActive[a]);
    }
  }
  RefreshAngleTexts();
  m_Status->setText(kNoFilters);
  m_SphereRadius = radius;
  m_Panel.SetSphereRadius(m_SphereRadius);
  m_Panel.ShowSphere(settings.space && m_ShowSphere->isChecked());
  m_Panel.ApplyFilters();
}

SPovFilterFile CFiltersDlg::FileOfControls() const {
  SPovFilterFile file;
  file.settings = Settings();
  file.minRadius = m_RadiusSlider->minimum();
  file.maxRadius = m_RadiusSlider->maximum();
  return file;
}
