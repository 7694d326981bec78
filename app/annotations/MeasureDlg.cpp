#include "MeasureDlg.h"

#include <vtkCamera.h>
#include <vtkProperty2D.h>
#include <vtkRenderer.h>
#include <vtkTextProperty.h>

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/widgets/MakerInfo.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

const QStringList kFileFilters = {"XYZ (*.xyz)", "TXT (*.txt)", "ASC (*.asc)", "CSV (*.csv)"};
// The share of the viewport a caption takes.
constexpr double kCaptionSize = 0.04;
constexpr double kSelectedColour[3] = {0, 1, 0};
constexpr double kUnselectedColour[3] = {1, 0.5, 1};

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QLineEdit* MakeResultField(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setReadOnly(true);
  field->setMinimumWidth(60);
  return field;
}

void ColourCaption(vtkCaptionActor2D* caption, const double* colour) {
  caption->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
  caption->GetCaptionTextProperty()->SetColor(colour[0], colour[1], colour[2]);
}

// The point lies in the absolute box of one of the window's streams (faces included).
bool InsideModel(const RenderWindow& window, const Wml::Point3<double>& point) {
  for (CNimbex* cloud : window.m_Clouds) {
    double bounds[6], offset[3];
    cloud->GetBounds(bounds);
    cloud->GetCloudOffset(offset);
    bool inside = true;
    for (int axis = 0; axis < 3; ++axis)
      inside = inside && point[axis] >= bounds[2 * axis] + offset[axis] &&
               point[axis] <= bounds[2 * axis + 1] + offset[axis];
    if (inside) return true;
  }
  return false;
}

}  // namespace

CMeasureDlg::CMeasureDlg(QWidget* parent) : QWidget(parent) {
  setWindowTitle(
      QString("Measure - Shift + Click to add a measure point - %1").arg(kMakerWebAddress));
  m_Rows = new QTreeWidget(this);
  m_Rows->setObjectName("measureRows");
  m_Rows->setColumnCount(4);
  m_Rows->setHeaderLabels({"id", "X", "Y", "Z"});
  m_Rows->setRootIsDecorated(false);
  m_Rows->setUniformRowHeights(true);
  m_Rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_Rows->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_Rows->setMinimumHeight(140);
  connect(m_Rows, &QTreeWidget::itemSelectionChanged, this, &CMeasureDlg::UpdateSelection);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* hint = new QLabel("Shift + Click on the model adds a point", this);
  hint->setWordWrap(true);
  layout->addWidget(hint);
  layout->addWidget(m_Rows, 1);
  layout->addWidget(MakeResultsGroup());
  layout->addWidget(MakeButtons());
  ShowResults();
}

QWidget* CMeasureDlg::MakeResultsGroup() {
  auto* group = new QGroupBox("Selected points", this);
  auto* grid = new QGridLayout(group);
  m_Horizontal = new QRadioButton("2D (x, y)", group);
  m_Horizontal->setObjectName("horizontalMode");
  m_ThreeD = new QRadioButton("3D", group);
  m_ThreeD->setObjectName("threeDMode");
  m_ThreeD->setChecked(true);
  auto* modes = new QHBoxLayout;
  modes->addWidget(m_Horizontal);
  modes->addWidget(m_ThreeD);
  grid->addLayout(modes, 0, 0, 1, 2);
  m_Length = MakeResultField("length", group);
  m_ClosedLength = MakeResultField("closedLength", group);
  m_PlaneArea = MakeResultField("planeArea", group);
  m_ViewArea = MakeResultField("viewArea", group);
  m_HorizontalArea = MakeResultField("horizontalArea", group);
  const std::pair<const char*, QLineEdit*> rows[] = {{"Length", m_Length},
                                                     {"Closed length", m_ClosedLength},
                                                     {"Plane area", m_PlaneArea},
                                                     {"View area", m_ViewArea},
                                                     {"Horizontal area", m_HorizontalArea}};
  int row = 1;
  for (const auto& [label, field] : rows) {
    grid->addWidget(new QLabel(label, group), row, 0);
    grid->addWidget(field, row++, 1);
  }
  connect(m_Horizontal, &QRadioButton::toggled, this, [this](bool horizontal) {
    m_DistanceMode = horizontal ? MEASURE_HORIZONTAL : MEASURE_3D;
    ShowResults();
  });
  return group;
}

QWidget* CMeasureDlg::MakeButtons() {
  auto* group = new QGroupBox("Points", this);
  auto* grid = new QGridLayout(group);
  auto* remove = new QPushButton("Remove", group);
  remove->setObjectName("removePoints");
  m_Export = new QPushButton("Export", group);
  m_Export->setObjectName("exportPoints");
  auto* import = new QPushButton("Import", group);
  import->setObjectName("importPoints");
  // The export writes all points or the selected ones.
  m_ExportAll = new QRadioButton("All", group);
  m_ExportAll->setObjectName("exportAll");
  m_ExportAll->setChecked(true);
  m_ExportSelected = new QRadioButton("Selected", group);
  m_ExportSelected->setObjectName("exportSelected");
  grid->addWidget(remove, 0, 0);
  grid->addWidget(import, 0, 1);
  grid->addWidget(m_Export, 1, 0);
  grid->addWidget(m_ExportAll, 1, 1);
  grid->addWidget(m_ExportSelected, 2, 1);
  connect(remove, &QPushButton::clicked, this, &CMeasureDlg::RemoveSelectedPoints);
  connect(m_Export, &QPushButton::clicked, this, &CMeasureDlg::ExportPoints);
  connect(import, &QPushButton::clicked, this, &CMeasureDlg::ImportPoints);
  // A list exported and then changed can be exported again.
  connect(m_ExportSelected, &QRadioButton::toggled, this, [this] { m_Export->setEnabled(true); });
  return group;
}

void CMeasureDlg::SetView(WindowId view, ModelPicker picker) {
  m_View = view;
  m_Picker = std::move(picker);
}

RenderWindow* CMeasureDlg::Window() const {
  return m_View ? GetRenderWindow(m_View) : nullptr;
}

vtkCaptionActor2D* CMeasureDlg::GetCaption(int row) const {
  return row >= 0 && row < int(m_Captions.size()) ? m_Captions[row].Get() : nullptr;
}

int CMeasureDlg::OnViewClick(WinPoint pixel, bool shift, bool control) {
  if (!shift || control || !m_Picker) return 0;
  double point[3];
  if (!m_Picker(pixel, point)) return 0;
  AddMeasurePoint(Wml::Point3<double>(point));
  return 1;
}

void CMeasureDlg::AddMeasurePoint(const Wml::Point3<double>& point) {
  AddPoint(point, 0);
  SelectRows(m_List.GetCount() - 1, m_List.GetCount() - 1);
  UpdateSelection();
}

// One range for the selection model: rows selected one by one would make the model merge
// thousands of ranges on an import.
void CMeasureDlg::SelectRows(int first, int last) {
  const QSignalBlocker quiet(m_Rows);
  QAbstractItemModel* model = m_Rows->model();
  m_Rows->selectionModel()->select(
      QItemSelection(model->index(first, 0), model->index(last, model->columnCount() - 1)),
      QItemSelectionModel::Select);
}

void CMeasureDlg::AddPoint(const Wml::Point3<double>& point, int id) {
  const int row = m_List.Add(point, id);
  const SMeasurePoint& added = m_List.GetPoints()[row];
  auto* item = new QTreeWidgetItem(QStringList{QString::number(added.id),
                                               Text(FormatMeasureCoordinate(added.point.X())),
                                               Text(FormatMeasureCoordinate(added.point.Y())),
                                               Text(FormatMeasureCoordinate(added.point.Z()))});
  const QSignalBlocker quiet(m_Rows);
  m_Rows->addTopLevelItem(item);
  m_Captions.push_back(MakeCaption(added));
  if (RenderWindow* window = Window(); window && window->m_Renderer)
    window->m_Renderer->AddActor(m_Captions.back());
}

vtkSmartPointer<vtkCaptionActor2D> CMeasureDlg::MakeCaption(const SMeasurePoint& measure) const {
  auto caption = vtkSmartPointer<vtkCaptionActor2D>::New();
  caption->SetCaption(("p_" + std::to_string(measure.id)).c_str());
  double scene[3] = {measure.point.X(), measure.point.Y(), measure.point.Z()};
  if (RenderWindow* window = Window())
    for (int axis = 0; axis < 3; ++axis) scene[axis] -= window->m_Center[axis];
  caption->SetAttachmentPoint(scene);
  caption->SetWidth(kCaptionSize);
  caption->SetHeight(kCaptionSize);
  caption->GetCaptionTextProperty()->SetFontFamilyToArial();
  ColourCaption(caption, kSelectedColour);
  return caption;
}

std::vector<int> CMeasureDlg::SelectedRows() const {
  std::vector<int> rows;
  for (QTreeWidgetItem* item : m_Rows->selectedItems())
    rows.push_back(m_Rows->indexOfTopLevelItem(item));
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CMeasureDlg::UpdateSelection() {
  for (vtkCaptionActor2D* caption : m_Captions) ColourCaption(caption, kUnselectedColour);
  m_SelectedPoints.clear();
  for (int row : SelectedRows()) {
    ColourCaption(m_Captions[row], kSelectedColour);
    m_SelectedPoints.push_back(m_List.GetPoints()[row].point);
  }
  m_Export->setEnabled(true);
  emit viewChanged();
  ShowResults();
}

void CMeasureDlg::ShowResults() {
  Wml::Vector3<double> viewDirection(0, 0, -1);
  if (RenderWindow* window = Window(); window && window->m_Renderer)
    viewDirection =
        Wml::Vector3<double>(window->m_Renderer->GetActiveCamera()->GetDirectionOfProjection());
  m_Results = ComputeMeasures(m_SelectedPoints, m_DistanceMode, viewDirection);
  m_Length->setText(m_Results.hasLengths ? Text(FormatMeasureLength(m_Results.length)) : "");
  m_ClosedLength->setText(m_Results.hasLengths ? Text(FormatMeasureLength(m_Results.closedLength))
                                               : "");
  m_PlaneArea->setText(Text(FormatMeasureArea(m_Results.planeArea)));
  m_ViewArea->setText(Text(FormatMeasureArea(m_Results.viewArea)));
  m_HorizontalArea->setText(Text(FormatMeasureArea(m_Results.horizontalArea)));
}

void CMeasureDlg::RemoveSelectedPoints() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return Warn("Select the points to remove!");
  if (!Ask("Erase selected points?")) return;
  RemoveRows(rows);
  UpdateSelection();
}

void CMeasureDlg::RemoveRows(const std::vector<int>& rows) {
  RenderWindow* window = Window();
  const QSignalBlocker quiet(m_Rows);
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    if (window && window->m_Renderer) window->m_Renderer->RemoveActor(m_Captions[*row]);
    m_Captions.erase(m_Captions.begin() + *row);
    delete m_Rows->takeTopLevelItem(*row);
  }
  m_List.RemoveRows(rows);
}

void CMeasureDlg::ExportPoints() {
  if (m_List.GetCount() == 0) return Warn("The list doesn't contain any point!");
  std::vector<SMeasurePoint> points = m_List.GetPoints();
  if (m_ExportSelected->isChecked()) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return Warn("No point selected!");
    points.clear();
    for (int row : rows) points.push_back(m_List.GetPoints()[row]);
  }
  QFileDialog dialog(this, "Export measure points");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(kFileFilters);
  dialog.selectNameFilter(kFileFilters[1]);
  dialog.setDefaultSuffix("txt");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  if (!ExportMeasures(path.toStdString(), points)) return Warn("Unable to save file!");
  Inform("Process completed");
  m_Export->setEnabled(false);
}

void CMeasureDlg::ImportPoints() {
  RenderWindow* window = Window();
  if (!window || window->m_Clouds.empty()) return Warn("There isn't any open document!");
  QFileDialog dialog(this, "Import measure points");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(kFileFilters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  SMeasureImport read;
  if (!ImportMeasureFile(path.toStdString(), read))
    return Warn(QString("Unable to read %1: %2. Choose a text file of \"id;x;y;z\" lines.")
                    .arg(path, Text(read.error)));
  if (read.points.empty()) return ReportImport(path, read, 0);
  if (!AcceptPointsOutsideModel(read.points)) return;
  AddImportedPoints(read.points);
  ReportImport(path, read, int(read.points.size()));
}

// One question for the whole file: a file in another coordinate system would otherwise ask
// once for each of its points.
bool CMeasureDlg::AcceptPointsOutsideModel(const std::vector<SMeasurePoint>& points) {
  RenderWindow* window = Window();
  for (const SMeasurePoint& p : points)
    if (!InsideModel(*window, p.point)) return Ask("Point is out model, do you want continue?");
  return true;
}

void CMeasureDlg::AddImportedPoints(const std::vector<SMeasurePoint>& points) {
  const std::vector<int> clashing = m_List.RowsWithIds(points);
  bool keepIds = true;
  if (!clashing.empty()) {
    keepIds = Ask("Id Points are already present on the list, do you want replace them?");
    if (keepIds) RemoveRows(clashing);
  }
  {
    const QSignalBlocker quiet(m_Rows);
    m_Rows->clearSelection();
  }
  const int first = m_List.GetCount();
  for (const SMeasurePoint& p : points) AddPoint(p.point, keepIds ? p.id : 0);
  SelectRows(first, m_List.GetCount() - 1);
  UpdateSelection();
}

void CMeasureDlg::ReportImport(const QString& path, const SMeasureImport& read, int added) {
  QStringList notes;
  if (added == 0) notes << QString("No point was found in %1.").arg(path);
  if (read.skippedLines > 0)
    notes << QString("%1 line(s) of %2 hold no point (\"id;x;y;z\") and were skipped.")
                 .arg(read.skippedLines)
                 .arg(path);
  if (read.truncated)
    notes << QString("%1 holds more than %2 points: only the first %2 were imported.")
                 .arg(path)
                 .arg(kMaxImportedMeasures);
  if (!notes.isEmpty()) (added == 0 ? Warn(notes.join("\n")) : Inform(notes.join("\n")));
}

bool CMeasureDlg::Ask(const QString& question) {
  return QMessageBox::question(this, "Orvalis", question, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void CMeasureDlg::Warn(const QString& text) {
  QMessageBox::warning(this, "Orvalis", text);
}

void CMeasureDlg::Inform(const QString& text) {
  QMessageBox::information(this, "Orvalis", text);
}
