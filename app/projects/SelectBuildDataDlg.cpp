#include "SelectBuildDataDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "ImageSources.h"
#include "ImportReports.h"
#include "ProjectBuild.h"
#include "app/widgets/ReportDlg.h"

namespace {

const char* const kCaption = "Select new project folder and name";
const char* const kBrowseTitle = "Select project name and folder";

std::vector<std::string> ToPaths(const QStringList& files) {
  std::vector<std::string> paths;
  for (const QString& file : files)
    paths.push_back(QFileInfo(file).absoluteFilePath().toStdString());
  return paths;
}

QString JoinNames(const std::vector<std::string>& paths) {
  QStringList names;
  for (const std::string& path : paths) names << QString::fromStdString(path);
  return names.join("\n");
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The file list

CFileListGroup::CFileListGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent),
      m_List(new QListWidget(this)),
      m_Add(new QPushButton("Add", this)),
      m_Reset(new QPushButton("Reset", this)) {
  m_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_List->setTextElideMode(Qt::ElideMiddle);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(m_Add);
  buttons->addWidget(m_Reset);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_List, 1);
  layout->addLayout(buttons);
  connect(m_Add, &QPushButton::clicked, this, &CFileListGroup::addClicked);
  connect(m_Reset, &QPushButton::clicked, this, [this] {
    m_List->clear();
    emit changed();
  });
}

std::vector<std::string> CFileListGroup::GetFiles() const {
  std::vector<std::string> files;
  for (int row = 0; row < m_List->count(); ++row)
    files.push_back(m_List->item(row)->text().toStdString());
  return files;
}

void CFileListGroup::AddFiles(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    auto* item = new QListWidgetItem(QString::fromStdString(file), m_List);
    item->setToolTip(item->text());
  }
  if (!files.empty()) emit changed();
}

// ---------------------------------------------------------------------------------------
// The output group

CBuildOutputGroup::CBuildOutputGroup(const std::string& folder, QWidget* parent)
    : QGroupBox("Output", parent),
      m_Folder(new QLineEdit(QString::fromStdString(folder), this)),
      m_Name(new QLineEdit(this)),
      m_OutputPath(new QLineEdit(this)) {
  m_Folder->setObjectName("folderEdit");
  m_Name->setObjectName("nameEdit");
  m_OutputPath->setObjectName("outputPathEdit");
  m_OutputPath->setReadOnly(true);
  auto* browse = new QToolButton(this);
  browse->setText("...");
  browse->setToolTip(kBrowseTitle);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(m_Folder, 1);
  folderRow->addWidget(browse);
  auto* layout = new QFormLayout(this);
  layout->addRow("Folder:", folderRow);
  layout->addRow("Name:", m_Name);
  layout->addRow(m_OutputPath);
  connect(browse, &QToolButton::clicked, this, &CBuildOutputGroup::Browse);
  connect(m_Folder, &QLineEdit::textChanged, this, &CBuildOutputGroup::ShowOutputPath);
  connect(m_Name, &QLineEdit::textChanged, this, &CBuildOutputGroup::ShowOutputPath);
  ShowOutputPath();
}

std::string CBuildOutputGroup::GetFolder() const {
  const QString folder = m_Folder->text().trimmed();
  return folder.isEmpty() ? std::string() : QFileInfo(folder).absoluteFilePath().toStdString();
}

std::string CBuildOutputGroup::GetName() const {
  return m_Name->text().toStdString();
}

std::string CBuildOutputGroup::GetOutputPath() const {
  return MakeBuildOutputPath(GetFolder(), GetName());
}

bool CBuildOutputGroup::IsComplete() const {
  return !GetFolder().empty() && IsValidProjectName(GetName());
}

void CBuildOutputGroup::Browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, kBrowseTitle, m_Folder->text());
  if (!folder.isEmpty()) m_Folder->setText(folder);
}

void CBuildOutputGroup::ShowOutputPath() {
  m_OutputPath->setText(QString::fromStdString(GetOutputPath()));
  emit changed();
}

// ---------------------------------------------------------------------------------------
// What both dialogs share

CSelectBuildDialogBase::CSelectBuildDialogBase(const std::string& folder, QWidget* parent)
    : QDialog(parent), m_Output(new CBuildOutputGroup(folder, this)) {
  setWindowTitle(kCaption);
  setSizeGripEnabled(true);
  m_BrowseFolder = QString::fromStdString(folder);
  connect(m_Output, &CBuildOutputGroup::changed, this, &CSelectBuildDialogBase::UpdateOkButton);
}

void CSelectBuildDialogBase::FinishLayout(const QList<QWidget*>& groups) {
  m_Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(m_Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  for (QWidget* group : groups) layout->addWidget(group, 1);
  layout->addWidget(m_Output);
  layout->addWidget(m_Buttons);
  UpdateOkButton();
}

QPushButton* CSelectBuildDialogBase::GetOkButton() const {
  return m_Buttons ? m_Buttons->button(QDialogButtonBox::Ok) : nullptr;
}

void CSelectBuildDialogBase::UpdateOkButton() {
  if (QPushButton* ok = GetOkButton()) ok->setEnabled(HasInputs() && m_Output->IsComplete());
}

void CSelectBuildDialogBase::accept() {
  if (!HasInputs() || !m_Output->IsComplete()) return;
  std::error_code error;
  if (std::filesystem::exists(GetOutputPath(), error)) {
    Warn(kProjectAlreadyPresent);
    return;
  }
  if (CheckChoices()) QDialog::accept();
}

QStringList CSelectBuildDialogBase::AskFiles(const QString& title, const QStringList& filters) {
  QFileDialog dialog(this, title, m_BrowseFolder);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (!files.isEmpty()) m_BrowseFolder = QFileInfo(files.front()).absolutePath();
  return files;
}

void CSelectBuildDialogBase::Warn(const QString& text) {
  QMessageBox::warning(this, "Orvalis", text);
}

// ---------------------------------------------------------------------------------------
// Models and photographs

CSelectBuildDataDlg::CSelectBuildDataDlg(const std::string& folder, QWidget* parent)
    : CSelectBuildDialogBase(folder, parent),
      m_Models(new CFileListGroup("3D Models File", this)),
      m_Images(new CFileListGroup("Oriented Images File", this)) {
  m_Models->setObjectName("modelsGroup");
  m_Images->setObjectName("imagesGroup");
  connect(m_Models, &CFileListGroup::changed, this, &CSelectBuildDataDlg::UpdateOkButton);
  connect(m_Models, &CFileListGroup::addClicked, this, [this] {
    // LAS and PTX files are not VTP models: each kind has a filter of its own, in both cases.
    AddModels(ToPaths(AskFiles("Add 3D Models",
                               {"VTP 3D Model Files (*.vtp *.VTP)", "PTX Scan Files (*.ptx *.PTX)",
                                "LAS Files (*.las *.LAS)", "All Files (*)"})));
  });
  connect(m_Images, &CFileListGroup::addClicked, this, [this] {
    AddImages(ToPaths(AskFiles("Add Oriented Images", QString(kImageFileFilter).split(";;"))));
  });
  FinishLayout({m_Models, m_Images});
  resize(620, 560);
}

bool CSelectBuildDataDlg::AddModels(const std::vector<std::string>& models) {
  const std::string refusal = CheckModelsToAdd(GetModels(), models);
  if (!refusal.empty()) {
    Warn(QString::fromStdString(refusal));
    return false;
  }
  m_Models->AddFiles(models);
  return true;
}

void CSelectBuildDataDlg::AddImages(const std::vector<std::string>& images) {
  std::vector<std::string> ignored;
  const std::vector<std::string> accepted = SelectImageFiles(images, ignored);
  if (!ignored.empty())
    Warn("These files are not photographs Orvalis can import and were not added:\n" +
         JoinNames(ignored));
  if (CReportDlg* report = MakeUnorientedImagesReport(accepted, this)) {
    report->exec();
    delete report;
  }
  m_Images->AddFiles(accepted);
}

// ---------------------------------------------------------------------------------------
// ASCII point files

CSelectBuildDataDlgTxt::CSelectBuildDataDlgTxt(const std::string& folder,
                                               const std::string& parseString, QWidget* parent)
    : CSelectBuildDialogBase(folder, parent),
      m_Files(new CFileListGroup("3D Models Field", this)),
      m_Parse(new QLineEdit(QString::fromStdString(parseString), this)),
      m_PreviewCount(new QComboBox(this)),
      m_Preview(new QPushButton("Preview File", this)) {
  m_Files->setObjectName("filesGroup");
  m_Parse->setObjectName("parseEdit");
  m_PreviewCount->setObjectName("previewCount");
  m_PreviewCount->addItems({"5", "10", "20", "50"});
  connect(m_Files, &CFileListGroup::changed, this, &CSelectBuildDataDlgTxt::UpdateOkButton);
  connect(m_Files, &CFileListGroup::addClicked, this, [this] {
    m_Files->AddFiles(
        ToPaths(AskFiles("Add Ascii 3D Models",
                         {"Ascii 3D Model Files (*.txt *.TXT)",
                          "Point Lists (*.xyz *.csv *.asc *.XYZ *.CSV *.ASC)", "All Files (*)"})));
  });
  connect(m_Preview, &QPushButton::clicked, this, &CSelectBuildDataDlgTxt::PreviewFile);

  auto* parsing = new QGroupBox("Field parsing", this);
  auto* parseRow = new QHBoxLayout;
  parseRow->addWidget(new QLabel("Select Parser String", parsing));
  parseRow->addWidget(m_Parse, 1);
  auto* previewRow = new QHBoxLayout;
  previewRow->addWidget(m_PreviewCount);
  previewRow->addWidget(m_Preview);
  previewRow->addStretch(1);
  auto* legend = new QVBoxLayout;
  legend->addWidget(
      new QLabel("x=xcord    y=ycord        z=zcord       i=intensity       s=skip", parsing));
  legend->addWidget(new QLabel("r-g-b=color    (Sample1:xyz     Sample2: xyzsssi)", parsing));
  auto* layout = new QVBoxLayout(parsing);
  layout->addLayout(parseRow);
  layout->addLayout(legend);
  layout->addLayout(previewRow);
  FinishLayout({m_Files, parsing});
  resize(620, 520);
}

std::string CSelectBuildDataDlgTxt::GetParseString() const {
  return m_Parse->text().trimmed().toStdString();
}

bool CSelectBuildDataDlgTxt::CheckChoices() {
  if (!GetParseString().empty()) return true;
  Warn(kSelectFieldOfInterest);
  return false;
}

void CSelectBuildDataDlgTxt::PreviewFile() {
  QListWidget* list = m_Files->GetList();
  const QModelIndex top = list->indexAt(QPoint(1, 1));
  const std::string path = top.isValid() ? top.data().toString().toStdString() : std::string();
  std::vector<std::string> lines;
  const PreviewStatus status =
      path.empty() ? PreviewStatus::NotFound
                   : ReadPreviewLines(path, m_PreviewCount->currentText().toInt(), lines);
  if (status != PreviewStatus::Ok) {
    Warn(status == PreviewStatus::NotFound ? kFirstFileNotFound : kFirstFileNotOpened);
    return;
  }
  // The columns line up in a fixed-width font.
  QStringList escaped;
  for (const std::string& line : lines) escaped << QString::fromStdString(line).toHtmlEscaped();
  const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
  QMessageBox box(QMessageBox::Information, QFileInfo(QString::fromStdString(path)).fileName(),
                  QString("<pre style=\"font-family: '%1'\">%2</pre>")
                      .arg(family.toHtmlEscaped(), escaped.join("\n")),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::RichText);
  box.exec();
}
