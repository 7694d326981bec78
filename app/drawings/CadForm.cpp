#include "CadForm.h"

#include <vtkRenderWindow.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "CadFile.h"
#include "CadStoneCommands.h"
#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/window/RenderWindow.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPaneMargin = 10;

// The progress control shows the loading steps, and is left empty again.
class CProgressScope {
 public:
  CProgressScope(TProgressTimeToComplete* progress, const char* text) : m_Progress(progress) {
    if (!m_Progress) return;
    m_Progress->m_Text = text;
    m_Progress->RestartTimer();
    m_Progress->SetRange(0, kCadOpenSteps);
    m_Progress->SetPos(0);
  }
  ~CProgressScope() {
    if (!m_Progress) return;
    m_Progress->m_Text.clear();
    m_Progress->SetPos(0);
  }

 private:
  TProgressTimeToComplete* m_Progress;
};

}  // namespace

CCadForm::CCadForm(TProgressTimeToComplete* progress, QWidget* parent)
    : QWidget(parent), m_Progress(progress) {
  setObjectName("drawingPanel");
  m_View = new CCadView(this);
  m_Status = new QLabel(this);
  m_Status->setObjectName("drawingStatus");
  m_Quote = new QLineEdit(this);
  m_Quote->setObjectName("quote");
  m_Quote->setReadOnly(true);
  auto* saveAs = new QToolButton(this);
  saveAs->setText("Save As DXF...");
  saveAs->setToolTip("Save the drawing as a DXF file (DWG files can be read, not written)");
  connect(saveAs, &QToolButton::clicked, this, [this] { SaveDrawingAs(); });

  auto* quoteRow = new QHBoxLayout;
  quoteRow->addWidget(new QLabel("Quote", this));
  quoteRow->addWidget(m_Quote, 1);
  quoteRow->addWidget(saveAs);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPaneMargin, kPaneMargin, kPaneMargin, kPaneMargin);
  layout->addWidget(m_View, 1);
  layout->addWidget(m_Status);
  layout->addLayout(quoteRow);
  connect(m_View, &CCadView::quoteChanged, m_Quote, &QLineEdit::setText);
  connect(m_View, &CCadView::statusChanged, this, &CCadForm::SetStatus);
  RegisterStoneCommands(*m_View);
}

CCadForm::~CCadForm() {
  // The view draws the drawing until it goes.
  m_View->SetDrawing(nullptr);
}

void CCadForm::CreateLayers(CCadDrawing& drawing) {
  if (!drawing.GetLayerByName("StoneTemp")) drawing.AddLayer("StoneTemp", 4);
  if (!drawing.GetLayerByName("Stones")) drawing.AddLayer("Stones", 2);
  drawing.SetCurLayer(drawing.GetLayerByName("0")->id);
}

int CCadForm::LoadDrawing(const std::string& path) {
  auto drawing = std::make_unique<CCadDrawing>();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int loaded = 0;
  {
    CProgressScope scope(m_Progress, "Loading Drawing");
    loaded = CadFileOpen(*drawing, path, m_LastError, m_Progress);
  }
  QApplication::restoreOverrideCursor();
  if (!loaded) return 0;
  m_LastError.clear();
  const int entities = drawing->CountEntities();
  SetDrawing(std::move(drawing), CAD_PANE_DRAWING);
  SetStatus(QString("Drawing: %1 - %2 entities")
                .arg(QFileInfo(QString::fromStdString(path)).fileName())
                .arg(entities));
  return 1;
}

void CCadForm::SetDrawing(std::unique_ptr<CCadDrawing> drawing, CadPaneContent content) {
  RemoveProjectedEntities();
  m_View->SetDrawing(nullptr);
  m_Drawing = std::move(drawing);
  m_Content = m_Drawing ? content : CAD_PANE_EMPTY;
  if (m_Drawing) CreateLayers(*m_Drawing);
  m_Quote->clear();
  m_View->SetDrawing(m_Drawing.get());
}

int CCadForm::SaveDrawing() {
  if (!m_Drawing || !m_Drawing->IsDirty() || m_Drawing->GetFileName().empty()) return 1;
  return WriteDrawing(CadSavePath(m_Drawing->GetFileName()));
}

// Written through OGR, a drawing keeps its geometry but not its blocks, dimensions, hatches
// or styles: before a file is first written over, it is kept as "name.bak", as CAD programs
// do (an existing backup is left alone, so that it stays the user's own file).
int CCadForm::WriteDrawing(const std::string& path) {
  const fs::path backup = fs::path(path).replace_extension(".bak");
  std::error_code failed;
  if (fs::exists(path) && !fs::exists(backup)) fs::copy_file(path, backup, failed);
  if (failed) {
    m_LastError = path + " was not written over: its backup " + backup.string() +
                  " could not be made (" + failed.message() + ").";
    emit problem(QString::fromStdString("The drawing was not saved: " + m_LastError));
    return 0;
  }
  if (!CadFileSaveAs(*m_Drawing, path, m_LastError)) {
    emit problem(QString::fromStdString("The drawing was not saved: " + m_LastError));
    return 0;
  }
  m_Drawing->SetFileName(path);
  m_Drawing->PutDirty(false);
  return 1;
}

int CCadForm::SaveDrawingAs() {
  if (!m_Drawing) return 0;
  QFileDialog dialog(this, "Save Drawing as DXF (DWG files can be read but not written)");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter("Dxf file (*.dxf)");
  dialog.setDefaultSuffix("dxf");
  dialog.setLabelText(QFileDialog::FileType, "Saved as (DWG cannot be written):");
  if (!m_Drawing->GetFileName().empty())
    dialog.selectFile(QString::fromStdString(CadSavePath(m_Drawing->GetFileName())));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
  return WriteDrawing(dialog.selectedFiles().front().toStdString());
}

bool CCadForm::HasUnsavedWork() const {
  if (!m_Drawing || !m_Drawing->IsDirty() || !m_Drawing->GetFileName().empty()) return false;
  for (const CadEntity& entity : m_Drawing->GetEntities())
    if (!entity.deleted && entity.type != CAD_IMAGE) return true;
  return false;
}

int CCadForm::ConfirmDrawingClose() {
  if (!HasUnsavedWork()) return 1;
  const auto answer = QMessageBox::question(
      this, "Orvalis",
      "The drawing pane holds outlines that were never saved (for example the stones outlined "
      "on the orthophoto).\nDo you want to save them as a DXF drawing before it is closed?",
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (answer == QMessageBox::No) return 1;
  return answer == QMessageBox::Yes && SaveDrawingAs();
}

RenderWindow* CCadForm::GetModelWindow() const {
  return m_ModelWindow ? m_ModelWindow() : nullptr;
}

void CCadForm::ProjectEntities() {
  if (!m_Drawing && !m_Projected.IsShown()) {
    QMessageBox::information(this, "Orvalis", "There is no drawing to show on the model.");
    return;
  }
  m_Projected.ProjectEntities(*m_Drawing, GetModelWindow(), m_Progress, this);
}

void CCadForm::RemoveProjectedEntities() {
  if (!m_Projected.IsShown()) return;
  m_Projected.RemoveProjectedEntities();
  RenderWindow* window = GetModelWindow();
  if (window && window->m_RenderWindow) window->m_RenderWindow->Render();
}

void CCadForm::SetStatus(const QString& text) {
  m_Status->setText(text);
}

QString CCadForm::GetStatus() const {
  return m_Status->text();
}

QString CCadForm::GetQuote() const {
  return m_Quote->text();
}
