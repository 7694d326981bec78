// Commands of the drawing pane that take the user's input. While one is active, the pane hands
// it the left clicks (at the drawing point under the cursor, snapped when object snaps are
// on), the mouse wheel and the keys Enter and Escape, instead of opening its menu or zooming.
#pragma once

#include <QString>
#include <Qt>

#include "CadDrawing.h"

class CCadView;
class QPainter;

// Command ids of the pane.
enum CadCommandId {
  CAD_CMD_ZOOM_EXTENTS = 102,
  CAD_CMD_ZOOM_PREVIOUS = 105,
  CAD_CMD_ZOOM_WINDOW = 106,
  CAD_CMD_OBJECT_SNAPS = 411,
  CAD_CMD_REPEAT = 911,
  CAD_CMD_DISTANCE = 952,
  CAD_CMD_AREA = 953,
  CAD_CMD_NONE = 11000,
  CAD_CMD_FILL_STONE = 11001,
  CAD_CMD_STONE_SIZE = 11002,
};

class CCadCommand {
 public:
  virtual ~CCadCommand() = default;

  virtual int GetId() const = 0;
  // The name the status line shows while the command runs ("FILL STONE").
  virtual QString GetName() const = 0;

  // The command starts; it may prompt with view.SetStatus.
  virtual void Start(CCadView& view) { (void)view; }
  // A left click. Returns false when the command is done with it (the pane then ends it).
  virtual bool OnClick(CCadView& view, const CadPoint& point, Qt::KeyboardModifiers modifiers) = 0;
  // The cursor moved to a drawing point (snapped as clicks are).
  virtual void OnMove(CCadView& view, const CadPoint& point) { (void)view, (void)point; }
  // A wheel turn, `delta` in eighths of a degree (120 a notch); true when the command used
  // it, false to let the pane zoom.
  virtual bool OnWheel(CCadView& view, int delta, Qt::KeyboardModifiers modifiers) {
    (void)view, (void)delta, (void)modifiers;
    return false;
  }
  // Enter or a right click: the user is done; the pane ends the command after this.
  virtual void OnFinish(CCadView& view) { (void)view; }
  // Escape, or another command started: the pane ends the command after this.
  virtual void OnCancel(CCadView& view) { (void)view; }
  // Draws what the command shows while it runs (a rubber band), over the drawing, in window
  // pixels (view.ToScreen converts drawing points).
  virtual void Paint(const CCadView& view, QPainter& painter) const { (void)view, (void)painter; }
};
