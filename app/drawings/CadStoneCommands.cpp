#include "CadStoneCommands.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <cmath>
#include <memory>

#include "CadStoneTool.h"
#include "CadView.h"

namespace {

class CCadFillStoneCommand : public CCadCommand {
 public:
  explicit CCadFillStoneCommand(std::shared_ptr<CCadStoneTool> tool) : m_Tool(std::move(tool)) {}

  int GetId() const override { return CAD_CMD_FILL_STONE; }
  QString GetName() const override { return "FILL STONE"; }

  void Start(CCadView& view) override {
    view.SetStatus(
        "FILL STONE: click inside a stone of the orthophoto (Shift drops the previous outline); "
        "the wheel widens or narrows the tolerance");
  }

  bool OnClick(CCadView& view, const CadPoint& point, Qt::KeyboardModifiers modifiers) override {
    m_Tool->SetDrawing(view.GetDrawing());
    if (!m_Tool->Seed(point.x, point.y, modifiers & Qt::ShiftModifier)) {
      QApplication::beep();
      return true;
    }
    view.SetStatus(QString::fromStdString(m_Tool->GetStatus()));
    return true;
  }

  bool OnWheel(CCadView& view, int delta, Qt::KeyboardModifiers) override {
    m_Tool->SetDrawing(view.GetDrawing());
    if (m_Tool->Wheel(delta)) view.SetStatus(QString::fromStdString(m_Tool->GetStatus()));
    // At the tolerance's limits the wheel does nothing rather than zoom.
    return true;
  }

 private:
  std::shared_ptr<CCadStoneTool> m_Tool;
};

class CCadStoneSizeCommand : public CCadCommand {
 public:
  explicit CCadStoneSizeCommand(std::shared_ptr<CCadStoneTool> tool) : m_Tool(std::move(tool)) {}

  int GetId() const override { return CAD_CMD_STONE_SIZE; }
  QString GetName() const override { return "STONE SIZE"; }

  void Start(CCadView& view) override {
    m_HasCentre = false;
    view.SetStatus("STONE SIZE: click the centre of a stone");
  }

  bool OnClick(CCadView& view, const CadPoint& point, Qt::KeyboardModifiers) override {
    if (!m_HasCentre) {
      m_Centre = m_Edge = point;
      m_HasCentre = true;
      view.SetStatus("STONE SIZE: click the edge of the stone");
      return true;
    }
    m_Tool->SetReferenceRadius(std::hypot(point.x - m_Centre.x, point.y - m_Centre.y));
    view.SetStatus(QString::fromStdString(m_Tool->GetStatus()));
    m_HasCentre = false;
    return false;
  }

  void OnMove(CCadView&, const CadPoint& point) override { m_Edge = point; }

  void Paint(const CCadView& view, QPainter& painter) const override {
    if (!m_HasCentre) return;
    const QPointF centre = view.ToScreen(m_Centre);
    const QPointF edge = view.ToScreen(m_Edge);
    const double radius = std::hypot(edge.x() - centre.x(), edge.y() - centre.y());
    painter.setPen(QPen(Qt::cyan, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    painter.drawLine(centre, edge);
  }

 private:
  std::shared_ptr<CCadStoneTool> m_Tool;
  bool m_HasCentre = false;
  CadPoint m_Centre, m_Edge;
};

}  // namespace

void RegisterStoneCommands(CCadView& view) {
  auto tool = std::make_shared<CCadStoneTool>();
  view.RegisterCommand(std::make_shared<CCadFillStoneCommand>(tool), Qt::Key_F);
  view.RegisterCommand(std::make_shared<CCadStoneSizeCommand>(tool));
  QMenu* menu = view.GetContextMenu();
  menu->addSeparator();
  menu->addAction("Fill Stone (F)", &view, [&view] { view.ExecuteCommand(CAD_CMD_FILL_STONE); });
  menu->addAction("Stone Size", &view, [&view] { view.ExecuteCommand(CAD_CMD_STONE_SIZE); });
}
