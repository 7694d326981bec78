#include "ProjectedEntities.h"

#include <vtkRenderWindow.h>

#include <QApplication>
#include <QMessageBox>

#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

bool IsOnVisibleLayer(const CCadDrawing& drawing, const CadEntity& entity) {
  for (const CadLayer& layer : drawing.GetLayers())
    if (layer.id == entity.layerId) return layer.visible;
  return true;
}

bool IsShownEntity(const CCadDrawing& drawing, const CadEntity& entity) {
  return !entity.deleted && entity.visible && IsOnVisibleLayer(drawing, entity);
}

void StartProgress(TProgressTimeToComplete* progress, int count) {
  if (!progress) return;
  progress->m_Text = "Loading";
  progress->RestartTimer();
  progress->SetRange(0, count);
}

// Restores the arrow when it goes, whichever way the projection ends.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

bool GetModelExtent(const RenderWindow& window, CadExtent& extent) {
  extent = CadExtent();
  for (const CNimbex* cloud : window.m_Clouds) {
    double bounds[6], offset[3];
    cloud->GetBounds(bounds);
    cloud->GetOffset(offset);
    extent.Add(bounds[0] + offset[0], bounds[2] + offset[1]);
    extent.Add(bounds[1] + offset[0], bounds[3] + offset[1]);
  }
  return extent.IsValid();
}

bool DrawingEnclosesModel(const CCadDrawing& drawing, const CadExtent& model) {
  for (const CadEntity& entity : drawing.GetEntities()) {
    CadExtent extent;
    if (!IsShownEntity(drawing, entity) || !CCadDrawing::GetEntityExtent(entity, extent)) continue;
    if (extent.left < model.left && extent.right > model.right && extent.bottom < model.bottom &&
        extent.top > model.top)
      return true;
  }
  return false;
}

CProjectedEntities::Result CProjectedEntities::Project(
    const CCadDrawing& drawing, RenderWindow* window, TProgressTimeToComplete* progress,
    const std::function<bool()>& confirmOffModel) {
  if (!window || !window->m_Renderer) return kNoWindow;
  CadExtent model;
  if (GetModelExtent(*window, model) && DrawingEnclosesModel(drawing, model) && !confirmOffModel())
    return kCancelled;
  RemoveProjectedEntities();
  m_Renderer = window->m_Renderer;
  const std::vector<CadEntity>& entities = drawing.GetEntities();
  const int count = static_cast<int>(entities.size());
  StartProgress(progress, count);
  for (int i = 0; i < count; ++i) {
    if (progress && i % kProgressStep == 0) progress->SetPos(i);
    const CadEntity& entity = entities[size_t(i)];
    if (!IsShownEntity(drawing, entity)) continue;
    std::unique_ptr<vtkEntity> shown = CreateVtkEntity(drawing, entity, window->m_Center);
    if (!shown) continue;
    m_Renderer->AddActor(shown->GetActor());
    m_Entities[entity.id] = std::move(shown);
  }
  if (progress) progress->SetPos(count);
  return kProjected;
}

void CProjectedEntities::RemoveProjectedEntities() {
  if (m_Renderer)
    for (const auto& [id, entity] : m_Entities) m_Renderer->RemoveActor(entity->GetActor());
  m_Entities.clear();
  m_Renderer = nullptr;
}

void CProjectedEntities::ProjectEntities(const CCadDrawing& drawing, RenderWindow* window,
                                         TProgressTimeToComplete* progress, QWidget* parent) {
  if (IsShown()) {
    RemoveProjectedEntities();
  } else {
    if (!window || !window->m_Renderer) {
      QMessageBox::warning(parent, "Orvalis", "Unable to project entities to 3D Model window!");
      return;
    }
    // The question comes before the wait cursor; the projection then needs no second answer.
    CadExtent model;
    if (GetModelExtent(*window, model) && DrawingEnclosesModel(drawing, model) &&
        QMessageBox::question(
            parent, "Orvalis",
            "Entities CAD don't seem to fall on the model. \nDo you want continue?",
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
    CWaitCursor wait;
    Project(drawing, window, progress, [] { return true; });
  }
  if (window && window->m_RenderWindow) window->m_RenderWindow->Render();
}
