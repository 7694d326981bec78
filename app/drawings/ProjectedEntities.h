// The drawing's entities shown in the 3D view: each point, line, polyline and rectangle on a
// visible layer becomes a vtkEntity whose actor is added to the view's renderer, kept under
// the entity's id until they are removed (the toggle pressed again, another drawing opened,
// the drawing pane closed).
#pragma once

#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include <functional>
#include <map>
#include <memory>

#include "CadDrawing.h"
#include "vtkEntity.h"

class QWidget;
class TProgressTimeToComplete;
struct RenderWindow;

class CProjectedEntities {
 public:
  enum Result { kProjected, kCancelled, kNoWindow };

  CProjectedEntities() = default;
  ~CProjectedEntities() { RemoveProjectedEntities(); }
  CProjectedEntities(const CProjectedEntities&) = delete;
  CProjectedEntities& operator=(const CProjectedEntities&) = delete;

  // The toggle of the drawing pane: removes the entities when they are shown, else projects
  // them, asking `parent`'s user before projecting a drawing that does not seem to fall on
  // the model, with a wait cursor and the progress control (may be null) titled "Loading".
  // A window that cannot be reached is reported. The window is rendered again at the end.
  void ProjectEntities(const CCadDrawing& drawing, RenderWindow* window,
                       TProgressTimeToComplete* progress, QWidget* parent);

  // Shows the entities in `window`. When some entity on a visible layer encloses the model's
  // x/y extent, `confirmOffModel` is asked once and false cancels. Does not render.
  Result Project(const CCadDrawing& drawing, RenderWindow* window,
                 TProgressTimeToComplete* progress, const std::function<bool()>& confirmOffModel);
  // Takes every projected entity out of the renderer and releases it. Does not render.
  void RemoveProjectedEntities();

  bool IsShown() const { return m_Renderer != nullptr; }
  const std::map<unsigned, std::unique_ptr<vtkEntity>>& GetEntities() const { return m_Entities; }

  static constexpr int kProgressStep = 10;

 private:
  vtkSmartPointer<vtkRenderer> m_Renderer;
  std::map<unsigned, std::unique_ptr<vtkEntity>> m_Entities;
};

// The x/y extent of the window's streams in absolute coordinates (their bounds plus their
// offsets); false for a window without streams.
bool GetModelExtent(const RenderWindow& window, CadExtent& extent);
// True when some entity on a visible layer strictly encloses `model` in x and y.
bool DrawingEnclosesModel(const CCadDrawing& drawing, const CadExtent& model);
