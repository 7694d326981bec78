// The 2D view of a drawing: its entities in their colours on a dark ground, y up, only the
// layers that are shown; images drawn from the part of their picture in view, at the detail the
// zoom needs. The wheel zooms about the cursor, the middle button pans, a cross-hair follows the
// cursor, and the right button opens the menu of zoom and measure commands.
//
// Commands: zoom extents (102), zoom previous (105), zoom window (106: two corners), object
// snaps (411: toggles snapping to end points, middle points and the nearest point of entities),
// repeat (911: the last command again, also the space bar), distance (952: two points) and
// area (953: the corners, then Enter or a right click). Measures go to quoteChanged. Commands
// of other modules are added with RegisterCommand (CadCommand.h).
#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "CadCommand.h"
#include "CadDrawing.h"

class QMenu;
class QAction;

class CCadView : public QWidget {
  Q_OBJECT
 public:
  explicit CCadView(QWidget* parent = nullptr);
  ~CCadView() override;

  // The drawing shown (not owned; null shows nothing). The view zooms to its extents.
  void SetDrawing(CCadDrawing* drawing);
  CCadDrawing* GetDrawing() const { return m_Drawing; }
  // The drawing changed: pictures are read again and the view repaints.
  void Regen();

  void ZoomExtents();
  void ZoomPrevious();
  // Shows the extent (drawing units) as large as the window allows.
  void ZoomWindow(const CadExtent& extent);
  // Zooms by `factor` (> 1 closer) keeping the drawing point under the window pixel `pixel`.
  void ZoomAt(const QPointF& pixel, double factor);

  // Runs a command by id: the pane's own or a registered one. 0 for an unknown id.
  int ExecuteCommand(int id);
  // Adds a command; `key` (a Qt::Key, 0 for none) starts it when pressed in the view. The
  // view keeps the command.
  void RegisterCommand(std::shared_ptr<CCadCommand> command, int key = 0);
  // The running command's id, or CAD_CMD_NONE; the last one started (for repeat).
  int GetCurrentCommand() const;
  int GetLastCommand() const { return m_LastCommand; }
  // Ends the running command as Escape does.
  void CancelCommand();

  bool GetObjectSnaps() const { return m_Snaps; }
  void SetObjectSnaps(bool snaps);
  // The point a click at the window pixel gives: snapped when object snaps are on.
  CadPoint PointAt(const QPointF& pixel) const;

  // Conversions between drawing units and window pixels.
  QPointF ToScreen(const CadPoint& point) const;
  QPointF ToScreen(double x, double y) const;
  CadPoint ToDrawing(const QPointF& pixel) const;
  double GetScale() const { return m_View.scale; }  // pixels per drawing unit
  CadExtent GetVisibleExtent() const;

  // Text for the status line while a command asks for input.
  void SetStatus(const QString& text);
  // A measure for the "Quote" field.
  void SetQuote(const QString& text);

  QMenu* GetContextMenu() const { return m_Menu; }
  // What the pictures of images cost: how many regions were read since the drawing was set.
  int GetImageReads() const { return m_ImageReads; }

 signals:
  void quoteChanged(const QString& text);
  void statusChanged(const QString& text);
  // The drawing point under the cursor.
  void cursorMoved(double x, double y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct ViewState {
    double x = 0, y = 0, scale = 1;
  };
  struct Snap {
    CadPoint point;
    int kind = 0;  // 0 none, 1 end, 2 middle, 3 nearest
  };
  struct ImagePicture {
    QRect region;
    double scale = 0;
    QImage image;
  };

  void BuildContextMenu();
  void PushView();
  void StartCommand(const std::shared_ptr<CCadCommand>& command);
  void EndCommand();
  bool IsLayerShown(int layerId) const;
  QColor EntityColor(const CadEntity& entity) const;
  void PaintEntity(QPainter& painter, const CadEntity& entity, const CadExtent& visible);
  void PaintImage(QPainter& painter, const CadEntity& entity, const CadExtent& visible);
  void PaintText(QPainter& painter, const CadEntity& entity);
  void PaintCursor(QPainter& painter) const;
  Snap FindSnap(const QPointF& pixel) const;

  CCadDrawing* m_Drawing = nullptr;
  ViewState m_View;
  std::vector<ViewState> m_Previous;
  std::map<int, std::shared_ptr<CCadCommand>> m_Commands;
  std::map<int, int> m_Keys;  // key -> command id
  std::shared_ptr<CCadCommand> m_Current;
  int m_LastCommand = CAD_CMD_NONE;
  bool m_Snaps = false;
  QAction* m_SnapAction = nullptr;
  QMenu* m_Menu = nullptr;
  bool m_Panning = false;
  QPointF m_PanFrom;
  QPointF m_Cursor{-1, -1};
  bool m_CursorInside = false;
  Snap m_Snap;
  std::map<unsigned, ImagePicture> m_Pictures;
  int m_ImageReads = 0;
};
