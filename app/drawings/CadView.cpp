#include "CadView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kSnapAperture = 10;  // pixels
constexpr double kZoomPerNotch = 1.25;
constexpr double kExtentsMargin = 0.05;
const QColor kBackground(0, 0, 0);
const QColor kCursorColor(255, 255, 255);
const QColor kRubberBandColor(255, 255, 0);

QColor ColorOf(unsigned color) {
  return QColor(color & 0xff, (color >> 8) & 0xff, (color >> 16) & 0xff);
}

bool Intersects(const CadExtent& a, const CadExtent& b) {
  return a.left <= b.right && b.left <= a.right && a.bottom <= b.top && b.bottom <= a.top;
}

CadExtent Grown(CadExtent extent, double margin) {
  extent.left -= margin, extent.bottom -= margin;
  extent.right += margin, extent.top += margin;
  return extent;
}

// The segments of an entity's outline, as pairs of vertices.
std::vector<std::pair<CadPoint, CadPoint>> Segments(const CadEntity& entity) {
  std::vector<std::pair<CadPoint, CadPoint>> segments;
  std::vector<CadPoint> vertices = entity.vertices;
  bool closed = entity.closed;
  if (entity.type == CAD_RECT) {
    const CadPoint& c = entity.centre;
    const double w = entity.width / 2, h = entity.height / 2;
    vertices = {{c.x - w, c.y - h, c.z},
                {c.x + w, c.y - h, c.z},
                {c.x + w, c.y + h, c.z},
                {c.x - w, c.y + h, c.z}};
    closed = true;
  } else if (entity.type != CAD_LINE && entity.type != CAD_POLYLINE) {
    return segments;
  }
  for (size_t i = 1; i < vertices.size(); ++i) segments.push_back({vertices[i - 1], vertices[i]});
  if (closed && vertices.size() > 2) segments.push_back({vertices.back(), vertices.front()});
  return segments;
}

CadPoint Midpoint(const CadPoint& a, const CadPoint& b) {
  return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
}

CadPoint NearestOnSegment(const CadPoint& a, const CadPoint& b, const CadPoint& p) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
  const double t =
      length > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length, 0.0, 1.0) : 0;
  return {a.x + t * dx, a.y + t * dy, a.z + t * (b.z - a.z)};
}

QString Number(double value) {
  return QString::number(value, 'f', 3);
}

// A command of two points, with a rubber band from the first to the cursor.
class CTwoPointCommand : public CCadCommand {
 public:
  CTwoPointCommand(int id, const QString& name, const QString& first, const QString& second)
      : m_Id(id), m_Name(name), m_FirstPrompt(first), m_SecondPrompt(second) {}
  int GetId() const override { return m_Id; }
  QString GetName() const override { return m_Name; }
  void Start(CCadView& view) override {
    m_First.reset();
    view.SetStatus(m_FirstPrompt);
  }
  bool OnClick(CCadView& view, const CadPoint& point, Qt::KeyboardModifiers) override {
    if (!m_First) {
      m_First = std::make_unique<CadPoint>(point);
      view.SetStatus(m_SecondPrompt);
      return true;
    }
    Done(view, *m_First, point);
    return false;
  }
  void OnMove(CCadView& view, const CadPoint& point) override {
    m_Moving = point;
    if (m_First) view.update();
  }
  void Paint(const CCadView& view, QPainter& painter) const override {
    if (!m_First) return;
    painter.setPen(QPen(kRubberBandColor, 0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    PaintBand(painter, view.ToScreen(*m_First), view.ToScreen(m_Moving));
  }

 protected:
  virtual void Done(CCadView& view, const CadPoint& first, const CadPoint& second) = 0;
  virtual void PaintBand(QPainter& painter, const QPointF& first, const QPointF& cursor) const {
    painter.drawLine(first, cursor);
  }

 private:
  int m_Id;
  QString m_Name, m_FirstPrompt, m_SecondPrompt;
  std::unique_ptr<CadPoint> m_First;
  CadPoint m_Moving;
};

// Distance (952): two points; the distance, its components and its angle go to the quote.
class CDistanceCommand : public CTwoPointCommand {
 public:
  CDistanceCommand()
      : CTwoPointCommand(CAD_CMD_DISTANCE, "DISTANCE", "Distance: pick the first point",
                         "Distance: pick the second point") {}

 protected:
  void Done(CCadView& view, const CadPoint& first, const CadPoint& second) override {
    const double dx = second.x - first.x, dy = second.y - first.y;
    const double angle = std::atan2(dy, dx) * 180 / M_PI;
    view.SetQuote(QString("Distance: %1  dX: %2  dY: %3  Angle: %4")
                      .arg(Number(std::hypot(dx, dy)), Number(dx), Number(dy),
                           QString::number(angle < 0 ? angle + 360 : angle, 'f', 2)));
  }
};

// Area (953): the corners of a polygon, closed by Enter or a right click.
class CAreaCommand : public CCadCommand {
 public:
  int GetId() const override { return CAD_CMD_AREA; }
  QString GetName() const override { return "AREA"; }
  void Start(CCadView& view) override {
    m_Corners.clear();
    view.SetStatus("Area: pick the first corner");
  }
  bool OnClick(CCadView& view, const CadPoint& point, Qt::KeyboardModifiers) override {
    m_Corners.push_back(point);
    view.SetStatus(QString("Area: corner %1 picked; pick the next one, Enter or a right click "
                           "closes the outline")
                       .arg(m_Corners.size()));
    return true;
  }
  void OnMove(CCadView& view, const CadPoint& point) override {
    m_Moving = point;
    if (!m_Corners.empty()) view.update();
  }
  void OnFinish(CCadView& view) override {
    if (m_Corners.size() < 3) {
      view.SetStatus("Area: an outline needs three corners at least");
      return;
    }
    double twiceArea = 0, perimeter = 0;
    for (size_t i = 0; i < m_Corners.size(); ++i) {
      const CadPoint& a = m_Corners[i];
      const CadPoint& b = m_Corners[(i + 1) % m_Corners.size()];
      twiceArea += a.x * b.y - b.x * a.y;
      perimeter += std::hypot(b.x - a.x, b.y - a.y);
    }
    view.SetQuote(QString("Area: %1  Perimeter: %2")
                      .arg(Number(std::fabs(twiceArea) / 2), Number(perimeter)));
  }
  void Paint(const CCadView& view, QPainter& painter) const override {
    if (m_Corners.empty()) return;
    QPolygonF outline;
    for (const CadPoint& corner : m_Corners) outline << view.ToScreen(corner);
    outline << view.ToScreen(m_Moving);
    painter.setPen(QPen(kRubberBandColor, 0, Qt::DashLine));
    painter.drawPolygon(outline);
  }

 private:
  std::vector<CadPoint> m_Corners;
  CadPoint m_Moving;
};

// Zoom window (106): two opposite corners of what to show.
class CZoomWindowCommand : public CTwoPointCommand {
 public:
  CZoomWindowCommand()
      : CTwoPointCommand(CAD_CMD_ZOOM_WINDOW, "ZOOM WINDOW", "Zoom window: pick the first corner",
                         "Zoom window: pick the opposite corner") {}

 protected:
  void Done(CCadView& view, const CadPoint& first, const CadPoint& second) override {
    CadExtent extent;
    extent.Add(first.x, first.y);
    extent.Add(second.x, second.y);
    view.ZoomWindow(extent);
    view.SetStatus("");
  }
  void PaintBand(QPainter& painter, const QPointF& first, const QPointF& cursor) const override {
    painter.drawRect(QRectF(first, cursor).normalized());
  }
};

}  // namespace

CCadView::CCadView(QWidget* parent) : QWidget(parent) {
  setObjectName("cadView");
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::BlankCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(50, 50);
  RegisterCommand(std::make_shared<CDistanceCommand>());
  RegisterCommand(std::make_shared<CAreaCommand>());
  RegisterCommand(std::make_shared<CZoomWindowCommand>());
  BuildContextMenu();
}

CCadView::~CCadView() = default;

void CCadView::BuildContextMenu() {
  m_Menu = new QMenu(this);
  auto add = [this](const QString& label, int id) {
    QAction* action = m_Menu->addAction(label);
    connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    return action;
  };
  add("Zoom Extents", CAD_CMD_ZOOM_EXTENTS);
  add("Zoom Window", CAD_CMD_ZOOM_WINDOW);
  add("Zoom Previous", CAD_CMD_ZOOM_PREVIOUS);
  m_Menu->addSeparator();
  add("Distance", CAD_CMD_DISTANCE);
  add("Area", CAD_CMD_AREA);
  m_Menu->addSeparator();
  m_SnapAction = add("Object Snaps", CAD_CMD_OBJECT_SNAPS);
  m_SnapAction->setCheckable(true);
}

void CCadView::SetDrawing(CCadDrawing* drawing) {
  CancelCommand();
  m_Drawing = drawing;
  m_Previous.clear();
  m_Pictures.clear();
  m_ImageReads = 0;
  ZoomExtents();
  m_Previous.clear();
}

void CCadView::Regen() {
  m_Pictures.clear();
  update();
}

void CCadView::PushView() {
  m_Previous.push_back(m_View);
  if (m_Previous.size() > 50) m_Previous.erase(m_Previous.begin());
}

void CCadView::ZoomExtents() {
  CadExtent extents;
  if (m_Drawing && m_Drawing->GetExtents(extents)) {
    ZoomWindow(Grown(extents, kExtentsMargin * std::max(extents.right - extents.left,
                                                        extents.top - extents.bottom)));
    return;
  }
  PushView();
  m_View = ViewState();
  update();
}

void CCadView::ZoomWindow(const CadExtent& extent) {
  if (!extent.IsValid()) return;
  PushView();
  const double width = std::max(extent.right - extent.left, 1e-9);
  const double height = std::max(extent.top - extent.bottom, 1e-9);
  m_View.x = (extent.left + extent.right) / 2;
  m_View.y = (extent.bottom + extent.top) / 2;
  m_View.scale = std::min(std::max(1, this->width()) / width, std::max(1, this->height()) / height);
  update();
}

void CCadView::ZoomPrevious() {
  if (m_Previous.empty()) return;
  m_View = m_Previous.back();
  m_Previous.pop_back();
  update();
}

void CCadView::ZoomAt(const QPointF& pixel, double factor) {
  const CadPoint fixed = ToDrawing(pixel);
  m_View.scale *= factor;
  m_View.x = fixed.x - (pixel.x() - width() / 2.0) / m_View.scale;
  m_View.y = fixed.y + (pixel.y() - height() / 2.0) / m_View.scale;
  update();
}

QPointF CCadView::ToScreen(double x, double y) const {
  return {width() / 2.0 + (x - m_View.x) * m_View.scale,
          height() / 2.0 - (y - m_View.y) * m_View.scale};
}

QPointF CCadView::ToScreen(const CadPoint& point) const {
  return ToScreen(point.x, point.y);
}

CadPoint CCadView::ToDrawing(const QPointF& pixel) const {
  return {m_View.x + (pixel.x() - width() / 2.0) / m_View.scale,
          m_View.y - (pixel.y() - height() / 2.0) / m_View.scale, 0};
}

CadExtent CCadView::GetVisibleExtent() const {
  CadExtent extent;
  const CadPoint a = ToDrawing(QPointF(0, 0)), b = ToDrawing(QPointF(width(), height()));
  extent.Add(a.x, a.y);
  extent.Add(b.x, b.y);
  return extent;
}

void CCadView::SetStatus(const QString& text) {
  emit statusChanged(text);
}

void CCadView::SetQuote(const QString& text) {
  emit quoteChanged(text);
}

// ---------------------------------------------------------------------------------------
// Commands

void CCadView::RegisterCommand(std::shared_ptr<CCadCommand> command, int key) {
  if (!command) return;
  const int id = command->GetId();
  m_Commands[id] = std::move(command);
  if (key) m_Keys[key] = id;
}

int CCadView::GetCurrentCommand() const {
  return m_Current ? m_Current->GetId() : CAD_CMD_NONE;
}

int CCadView::ExecuteCommand(int id) {
  switch (id) {
    case CAD_CMD_ZOOM_EXTENTS:
      ZoomExtents();
      return 1;
    case CAD_CMD_ZOOM_PREVIOUS:
      ZoomPrevious();
      return 1;
    case CAD_CMD_OBJECT_SNAPS:
      SetObjectSnaps(!m_Snaps);
      return 1;
    case CAD_CMD_REPEAT:
      return m_LastCommand != CAD_CMD_NONE ? ExecuteCommand(m_LastCommand) : 0;
    default:
      break;
  }
  const auto found = m_Commands.find(id);
  if (found == m_Commands.end()) return 0;
  StartCommand(found->second);
  return 1;
}

void CCadView::StartCommand(const std::shared_ptr<CCadCommand>& command) {
  CancelCommand();
  m_Current = command;
  m_LastCommand = command->GetId();
  command->Start(*this);
  setFocus();
  update();
}

void CCadView::EndCommand() {
  m_Current.reset();
  update();
}

void CCadView::CancelCommand() {
  if (!m_Current) return;
  std::shared_ptr<CCadCommand> command = m_Current;
  command->OnCancel(*this);
  EndCommand();
}

void CCadView::SetObjectSnaps(bool snaps) {
  m_Snaps = snaps;
  m_SnapAction->setChecked(snaps);
  m_Snap = Snap();
  update();
}

// ---------------------------------------------------------------------------------------
// Object snaps

CadPoint CCadView::PointAt(const QPointF& pixel) const {
  if (m_Snaps) {
    const Snap snap = FindSnap(pixel);
    if (snap.kind) return snap.point;
  }
  return ToDrawing(pixel);
}

CCadView::Snap CCadView::FindSnap(const QPointF& pixel) const {
  Snap best[4];
  double bestDistance[4] = {0, kSnapAperture, kSnapAperture, kSnapAperture};
  if (!m_Drawing) return Snap();
  const CadPoint cursor = ToDrawing(pixel);
  CadExtent box;
  box.Add(cursor.x, cursor.y);
  box = Grown(box, kSnapAperture / m_View.scale);
  auto offer = [&](const CadPoint& point, int kind) {
    const QPointF at = ToScreen(point);
    const double distance = std::hypot(at.x() - pixel.x(), at.y() - pixel.y());
    if (distance <= bestDistance[kind]) bestDistance[kind] = distance, best[kind] = {point, kind};
  };
  for (const CadEntity& entity : m_Drawing->GetEntities()) {
    CadExtent extent;
    if (entity.deleted || !entity.visible || !IsLayerShown(entity.layerId) ||
        entity.type == CAD_IMAGE || !CCadDrawing::GetEntityExtent(entity, extent) ||
        !Intersects(extent, box))
      continue;
    if (entity.type == CAD_POINT || entity.type == CAD_TEXT) offer(entity.vertices[0], 1);
    if (entity.type == CAD_CIRCLE || entity.type == CAD_ARC) {
      const CadPoint& c = entity.vertices[0];
      const double angle = std::atan2(cursor.y - c.y, cursor.x - c.x);
      offer({c.x + entity.radius * std::cos(angle), c.y + entity.radius * std::sin(angle), c.z}, 3);
    }
    for (const auto& [a, b] : Segments(entity)) {
      offer(a, 1);
      offer(b, 1);
      offer(Midpoint(a, b), 2);
      offer(NearestOnSegment(a, b, cursor), 3);
    }
  }
  for (int kind = 1; kind <= 3; ++kind)
    if (best[kind].kind) return best[kind];
  return Snap();
}

// ---------------------------------------------------------------------------------------
// Painting

bool CCadView::IsLayerShown(int layerId) const {
  const CadLayer* layer = m_Drawing->GetLayerByID(layerId);
  return !layer || layer->visible;
}

QColor CCadView::EntityColor(const CadEntity& entity) const {
  return ColorOf(CadGetColor(m_Drawing->GetEntityColorIndex(entity)));
}

void CCadView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  if (m_Drawing) {
    const CadExtent visible = GetVisibleExtent();
    for (const CadEntity& entity : m_Drawing->GetEntities())
      if (entity.type == CAD_IMAGE && !entity.deleted && entity.visible &&
          IsLayerShown(entity.layerId))
        PaintImage(painter, entity, visible);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const CadEntity& entity : m_Drawing->GetEntities())
      if (entity.type != CAD_IMAGE && !entity.deleted && entity.visible &&
          IsLayerShown(entity.layerId))
        PaintEntity(painter, entity, visible);
  }
  if (m_Current) m_Current->Paint(*this, painter);
  PaintCursor(painter);
}

void CCadView::PaintEntity(QPainter& painter, const CadEntity& entity, const CadExtent& visible) {
  if (entity.type == CAD_TEXT) return PaintText(painter, entity);
  CadExtent extent;
  if (!CCadDrawing::GetEntityExtent(entity, extent) ||
      !Intersects(Grown(extent, 2 / m_View.scale), visible))
    return;
  painter.setPen(QPen(EntityColor(entity), 0));
  painter.setBrush(Qt::NoBrush);
  switch (entity.type) {
    case CAD_POINT: {
      const QPointF at = ToScreen(entity.vertices[0]);
      painter.drawLine(at - QPointF(2, 0), at + QPointF(2, 0));
      painter.drawLine(at - QPointF(0, 2), at + QPointF(0, 2));
      break;
    }
    case CAD_CIRCLE:
    case CAD_ARC: {
      const QPointF centre = ToScreen(entity.vertices[0]);
      const double r = entity.radius * m_View.scale;
      const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
      if (entity.type == CAD_CIRCLE) {
        painter.drawEllipse(box);
      } else {
        const double span = std::fmod(entity.endAngle - entity.startAngle + 720, 360);
        painter.drawArc(box, qRound(entity.startAngle * 16), qRound((span ? span : 360) * 16));
      }
      break;
    }
    default: {
      QPolygonF line;
      const std::vector<std::pair<CadPoint, CadPoint>> segments = Segments(entity);
      if (segments.empty()) break;
      line << ToScreen(segments.front().first);
      for (const auto& segment : segments) line << ToScreen(segment.second);
      painter.drawPolyline(line);
    }
  }
}

void CCadView::PaintText(QPainter& painter, const CadEntity& entity) {
  if (entity.vertices.empty() || entity.text.empty()) return;
  const double pixels = entity.textHeight > 0 ? entity.textHeight * m_View.scale : 12;
  if (pixels < 3) return;
  const QPointF at = ToScreen(entity.vertices[0]);
  const double reach = pixels * (1 + entity.text.size());
  if (!QRectF(-reach, -reach, width() + 2 * reach, height() + 2 * reach).contains(at)) return;
  QFont font = painter.font();
  font.setPixelSize(std::max(1, qRound(std::min(pixels, 2000.0))));
  painter.save();
  painter.setFont(font);
  painter.setPen(EntityColor(entity));
  painter.translate(at);
  painter.rotate(-entity.textAngle);
  painter.drawText(QPointF(0, 0), QString::fromStdString(entity.text));
  painter.restore();
}

void CCadView::PaintImage(QPainter& painter, const CadEntity& entity, const CadExtent& visible) {
  if (!entity.image || entity.vertices.empty() || entity.unitsPerPixelX <= 0 ||
      entity.unitsPerPixelY <= 0)
    return;
  CCadImageSource& source = *entity.image;
  const int width = source.Width(), height = source.Height();
  const double ux = entity.unitsPerPixelX, uy = entity.unitsPerPixelY;
  const CadPoint& corner = entity.vertices[0];
  const double top = corner.y + height * uy;
  const QRect full(0, 0, width, height);
  const QRect needed =
      QRect(QPoint(static_cast<int>(std::floor(std::max(-1.0, (visible.left - corner.x) / ux))),
                   static_cast<int>(std::floor(std::max(-1.0, (top - visible.top) / uy)))),
            QPoint(
                static_cast<int>(std::ceil(std::min(width + 1.0, (visible.right - corner.x) / ux))),
                static_cast<int>(std::ceil(std::min(height + 1.0, (top - visible.bottom) / uy)))))
          .intersected(full);
  if (needed.isEmpty()) return;
  // Pictures come at powers of two of the full detail, so that panning and small zooms reuse
  // the picture read, which reaches half a view beyond each side of the window.
  const double detail = std::min(1.0, std::pow(2.0, std::ceil(std::log2(m_View.scale * ux))));
  ImagePicture& picture = m_Pictures[entity.id];
  if (picture.image.isNull() || picture.scale != detail || !picture.region.contains(needed)) {
    const QRect region = needed
                             .adjusted(-needed.width() / 2, -needed.height() / 2,
                                       needed.width() / 2, needed.height() / 2)
                             .intersected(full);
    picture = {region, detail, source.Region(region, detail)};
    ++m_ImageReads;
  }
  if (picture.image.isNull()) return;
  const QRect& region = picture.region;
  const QPointF topLeft = ToScreen(corner.x + region.left() * ux, top - region.top() * uy);
  const QPointF bottomRight =
      ToScreen(corner.x + (region.right() + 1) * ux, top - (region.bottom() + 1) * uy);
  painter.drawImage(QRectF(topLeft, bottomRight), picture.image);
}

void CCadView::PaintCursor(QPainter& painter) const {
  if (!m_CursorInside) return;
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(kCursorColor, 0));
  painter.setBrush(Qt::NoBrush);
  const QPointF& at = m_Cursor;
  const double arm = std::max(10.0, 0.05 * std::max(width(), height()));
  painter.drawLine(QPointF(at.x() - arm, at.y()), QPointF(at.x() + arm, at.y()));
  painter.drawLine(QPointF(at.x(), at.y() - arm), QPointF(at.x(), at.y() + arm));
  painter.drawRect(QRectF(at.x() - 3, at.y() - 3, 6, 6));
  if (!m_Snap.kind) return;
  // End points as squares, middle points as triangles, nearest points as hourglasses.
  painter.setPen(QPen(QColor(255, 255, 0), 0));
  const QPointF s = ToScreen(m_Snap.point);
  const double r = 6;
  if (m_Snap.kind == 1) {
    painter.drawRect(QRectF(s.x() - r, s.y() - r, 2 * r, 2 * r));
  } else if (m_Snap.kind == 2) {
    painter.drawPolygon(QPolygonF(
        {QPointF(s.x(), s.y() - r), QPointF(s.x() + r, s.y() + r), QPointF(s.x() - r, s.y() + r)}));
  } else {
    painter.drawPolygon(QPolygonF({QPointF(s.x() - r, s.y() - r), QPointF(s.x() + r, s.y() - r),
                                   QPointF(s.x() - r, s.y() + r), QPointF(s.x() + r, s.y() + r)}));
  }
}

// ---------------------------------------------------------------------------------------
// Input

void CCadView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Until the user moves the view, the drawing stays fitted: a drawing set while its column
  // was hidden is shown whole once the column opens.
  if (m_Previous.empty()) {
    ZoomExtents();
    m_Previous.clear();
  }
  update();
}

void CCadView::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  if (m_Current) {
    std::shared_ptr<CCadCommand> command = m_Current;
    if (command->OnWheel(*this, delta, event->modifiers())) {
      update();
      return;
    }
  }
  if (m_Previous.empty()) PushView();
  ZoomAt(event->position(), std::pow(kZoomPerNotch, delta / 120.0));
}

void CCadView::mousePressEvent(QMouseEvent* event) {
  setFocus();
  if (event->button() == Qt::MiddleButton) {
    PushView();
    m_Panning = true;
    m_PanFrom = event->localPos();
    return;
  }
  if (event->button() != Qt::LeftButton || !m_Current) return;
  std::shared_ptr<CCadCommand> command = m_Current;
  if (!command->OnClick(*this, PointAt(event->localPos()), event->modifiers()) &&
      m_Current == command)
    EndCommand();
  update();
}

void CCadView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->localPos();
  if (m_Panning) {
    m_View.x -= (at.x() - m_PanFrom.x()) / m_View.scale;
    m_View.y += (at.y() - m_PanFrom.y()) / m_View.scale;
    m_PanFrom = at;
  }
  m_Cursor = at;
  m_CursorInside = true;
  m_Snap = m_Snaps ? FindSnap(at) : Snap();
  const CadPoint point = m_Snap.kind ? m_Snap.point : ToDrawing(at);
  if (m_Current) m_Current->OnMove(*this, point);
  emit cursorMoved(point.x, point.y);
  update();
}

void CCadView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) m_Panning = false;
}

void CCadView::leaveEvent(QEvent*) {
  m_CursorInside = false;
  update();
}

void CCadView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Escape && m_Current) {
    CancelCommand();
  } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_Current) {
    std::shared_ptr<CCadCommand> command = m_Current;
    command->OnFinish(*this);
    if (m_Current == command) EndCommand();
  } else if (key == Qt::Key_Space) {
    ExecuteCommand(CAD_CMD_REPEAT);
  } else if (m_Keys.count(key) && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    ExecuteCommand(m_Keys[key]);
  } else {
    QWidget::keyPressEvent(event);
  }
}

void CCadView::contextMenuEvent(QContextMenuEvent* event) {
  if (m_Current) {
    std::shared_ptr<CCadCommand> command = m_Current;
    command->OnFinish(*this);
    if (m_Current == command) EndCommand();
    return;
  }
  m_Menu->exec(event->globalPos());
}
