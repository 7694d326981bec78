// The drawing pane, column 2 of a project window: the drawing view filling the pane less a
// 10-pixel margin, a status line and a "Quote" field under it. It holds at most one drawing:
// loading another replaces it. The commands of other modules (stones on orthophotos) join
// the view's through GetView()->RegisterCommand.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "CadDrawing.h"
#include "CadView.h"
#include "ProjectedEntities.h"

class QLabel;
class QLineEdit;
class TProgressTimeToComplete;
struct RenderWindow;

// What the pane holds; the project window's layout follows it.
enum CadPaneContent { CAD_PANE_EMPTY = 0, CAD_PANE_DRAWING, CAD_PANE_ORTHOPHOTO, CAD_PANE_DEM };

class CCadForm : public QWidget {
  Q_OBJECT
 public:
  // `progress` is the status bar's progress control (may be null).
  explicit CCadForm(TProgressTimeToComplete* progress, QWidget* parent = nullptr);
  ~CCadForm() override;

  // Opens a DXF or DWG file in place of what the pane held, under a wait cursor with the
  // progress control titled "Loading Drawing"; then the status line reads "Drawing: %s - %d
  // entities", the view shows the extents and layer "0" is current. 1 on success; 0 leaves
  // the pane as it was, and GetLastError() tells why.
  int LoadDrawing(const std::string& path);
  // Opens an orthophoto (CadOrthoData: read-only, overviews built beside it with the progress
  // control titled "Building Overviews") in place of what the pane held, under a wait cursor;
  // the status line gives its file, size and anything the user should know. 1 on success; 0
  // leaves the pane as it was, and GetLastError() tells why.
  int LoadOrthophoto(const std::string& path);
  // Opens an elevation model (CadDemData) the same way; its drawing is marked changed.
  int LoadDem(const std::string& path);
  const std::string& GetLastError() const { return m_LastError; }

  // Puts a new drawing in place of the pane's (for orthophotos and elevation models): it
  // gets the layers "StoneTemp" and "Stones", layer "0" is current, the view shows it.
  void SetDrawing(std::unique_ptr<CCadDrawing> drawing, CadPaneContent content);
  CCadDrawing* GetDrawing() const { return m_Drawing.get(); }
  CadPaneContent GetContent() const { return m_Content; }
  CCadView* GetView() const { return m_View; }

  // "&Save" and closing the project: a drawing that changed and has a file name is written
  // as DXF to its file (beside it, with the extension .dxf, for a DWG); a file written over
  // is first kept as "name.bak" unless one exists. 1 when there was nothing to write or it
  // was written; 0 with GetLastError() when writing failed.
  int SaveDrawing();
  // Asks where to save the drawing as DXF (DWG cannot be written) and writes it there.
  int SaveDrawingAs();
  // Entities drawn on a drawing that has no file (the stones outlined on an orthophoto):
  // closing or replacing the drawing would lose them.
  bool HasUnsavedWork() const;
  // Before the drawing is closed or replaced: unsaved work is offered for saving as DXF.
  // 1 when the drawing may go (nothing to keep, saved, or let go), 0 when the user cancelled.
  int ConfirmDrawingClose();

  // How the pane reaches the 3D view's render window, where its entities are shown.
  void SetModelWindow(std::function<RenderWindow*()> window) { m_ModelWindow = std::move(window); }
  // The command "Drawing Overlap", a toggle: shows the drawing's points, lines, polylines and
  // rectangles in the 3D view, or takes them away when they are shown.
  void ProjectEntities();
  // Takes the entities out of the 3D view (another drawing is opened, the pane closes).
  void RemoveProjectedEntities();
  const CProjectedEntities& GetProjectedEntities() const { return m_Projected; }

  void SetStatus(const QString& text);
  QString GetStatus() const;
  QString GetQuote() const;

 signals:
  // A problem for the user (a save that failed).
  void problem(const QString& text);

 private:
  void CreateLayers(CCadDrawing& drawing);
  RenderWindow* GetModelWindow() const;
  int WriteDrawing(const std::string& path);

  TProgressTimeToComplete* m_Progress;
  std::unique_ptr<CCadDrawing> m_Drawing;
  CadPaneContent m_Content = CAD_PANE_EMPTY;
  CCadView* m_View = nullptr;
  QLabel* m_Status = nullptr;
  QLineEdit* m_Quote = nullptr;
  std::string m_LastError;
  std::function<RenderWindow*()> m_ModelWindow;
  CProjectedEntities m_Projected;
};
