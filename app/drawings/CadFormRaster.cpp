// The drawing pane's loaders of orthophotos and elevation models: each one becomes the single
// image entity of a new drawing in the pane.
#include <QApplication>
#include <QFileInfo>

#include "CadDemData.h"
#include "CadForm.h"
#include "CadOrthoData.h"
#include "common/progress/ProgressTimeToComplete.h"

namespace {

QString FileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName();
}

}  // namespace

int CCadForm::LoadOrthophoto(const std::string& path) {
  CadOrthoData ortho;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (m_Progress) {
    m_Progress->m_Text = "Building Overviews";
    m_Progress->RestartTimer();
  }
  const int opened = ortho.Open(path, m_LastError, m_Progress);
  if (m_Progress) {
    m_Progress->m_Text.clear();
    m_Progress->SetPos(0);
  }
  QApplication::restoreOverrideCursor();
  if (!opened) return 0;
  m_LastError.clear();
  auto drawing = std::make_unique<CCadDrawing>();
  ortho.Place(*drawing);
  SetDrawing(std::move(drawing), CAD_PANE_ORTHOPHOTO);
  const CCadOrthoSource& source = *ortho.GetSource();
  QString status = QString("Orthophoto: %1 - %2 x %3 pixels")
                       .arg(FileName(path))
                       .arg(source.Width())
                       .arg(source.Height());
  if (!ortho.GetNote().empty()) status += " (" + QString::fromStdString(ortho.GetNote()) + ")";
  SetStatus(status);
  return 1;
}

int CCadForm::LoadDem(const std::string& path) {
  CadDemData dem;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int opened = dem.Open(path, m_LastError);
  QApplication::restoreOverrideCursor();
  if (!opened) return 0;
  m_LastError.clear();
  auto drawing = std::make_unique<CCadDrawing>();
  dem.Place(*drawing);
  drawing->PutDirty(true);
  SetDrawing(std::move(drawing), CAD_PANE_DEM);
  SetStatus(QString("Dem: %1 - elevations %2 to %3")
                .arg(FileName(path))
                .arg(dem.GetMinimum(), 0, 'f', 2)
                .arg(dem.GetMaximum(), 0, 'f', 2));
  return 1;
}
