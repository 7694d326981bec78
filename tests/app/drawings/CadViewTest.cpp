#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>

#include "app/drawings/CadFile.h"
#include "app/drawings/CadForm.h"
#include "app/drawings/CadView.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

QString Output(const std::string& name) {
  return QString(DRAWINGS_TEST_OUTPUT_DIR) + "/" + QString::fromStdString(name);
}

CadEntity Line(double x1, double y1, double x2, double y2, int color = kCadColorByLayer) {
  CadEntity line;
  line.type = CAD_LINE;
  line.color = color;
  line.vertices = {{x1, y1, 0}, {x2, y2, 0}};
  return line;
}

CadEntity Square(double x, double y, double side) {
  CadEntity square;
  square.type = CAD_POLYLINE;
  square.closed = true;
  square.vertices = {{x, y, 0}, {x + side, y, 0}, {x + side, y + side, 0}, {x, y + side, 0}};
  return square;
}

// A shown view of 400 x 300 pixels on a drawing.
struct ShownView {
  explicit ShownView(CCadDrawing& drawing) {
    view.resize(400, 300);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.SetDrawing(&drawing);
  }
  QPoint At(double x, double y) const { return view.ToScreen(x, y).toPoint(); }
  void Click(const QPoint& pixel) {
    QTest::mouseMove(&view, pixel);
    QTest::mouseClick(&view, Qt::LeftButton, {}, pixel);
  }
  void Wheel(const QPoint& pixel, int delta) {
    QWheelEvent event(pixel, view.mapToGlobal(pixel), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
  }
  CCadView view;
};

QAction* MenuAction(CCadView& view, const QString& label) {
  for (QAction* action : view.GetContextMenu()->actions())
    if (action->text() == label) return action;
  return nullptr;
}

// A command of another module: counts what the view hands it.
class CCountingCommand : public CCadCommand {
 public:
  int GetId() const override { return CAD_CMD_FILL_STONE; }
  QString GetName() const override { return "FILL STONE"; }
  bool OnClick(CCadView&, const CadPoint& point, Qt::KeyboardModifiers) override {
    ++clicks;
    last = point;
    return true;
  }
  bool OnWheel(CCadView&, int delta, Qt::KeyboardModifiers) override {
    wheel += delta;
    return true;
  }
  void OnCancel(CCadView&) override { ++cancels; }
  int clicks = 0, wheel = 0, cancels = 0;
  CadPoint last;
};

// A huge picture that counts what it is asked for.
class CCountingPicture : public CCadImageSource {
 public:
  int Width() const override { return 20000; }
  int Height() const override { return 20000; }
  QImage Region(const QRect& region, double scale) override {
    regions.push_back(region);
    scales.push_back(scale);
    QImage image(std::max(1, int(region.width() * scale)),
                 std::max(1, int(region.height() * scale)), QImage::Format_RGB32);
    image.fill(QColor(0, 128, 0));
    return image;
  }
  std::vector<QRect> regions;
  std::vector<double> scales;
};

}  // namespace

TEST(CadView, ZoomsToExtentsWindowAndBackAboutTheCursor) {
  CCadDrawing drawing;
  drawing.AddEntity(Line(-500, 20, 1500, 40));
  drawing.AddEntity(Square(300, -800, 100));
  CadEntity circle;
  circle.type = CAD_CIRCLE;
  circle.vertices = {{0, 900, 0}};
  circle.radius = 50;
  drawing.AddEntity(circle);
  ShownView shown(drawing);
  const QRectF window(0, 0, 400, 300);
  for (const QPointF& corner : {shown.view.ToScreen(-500, 20), shown.view.ToScreen(1500, 40),
                                shown.view.ToScreen(300, -800), shown.view.ToScreen(0, 950)})
    EXPECT_TRUE(window.contains(corner)) << corner.x() << " " << corner.y();
  // Y grows upwards.
  EXPECT_LT(shown.view.ToScreen(0, 950).y(), shown.view.ToScreen(300, -800).y());

  const double extents = shown.view.GetScale();
  CadExtent small;
  small.Add(300, -800);
  small.Add(400, -700);
  shown.view.ZoomWindow(small);
  EXPECT_NEAR(shown.view.GetScale(), 3, 1e-9);  // 300 pixels for 100 units
  shown.view.ExecuteCommand(CAD_CMD_ZOOM_PREVIOUS);
  EXPECT_DOUBLE_EQ(shown.view.GetScale(), extents);

  // The wheel zooms about the cursor: the point under it stays.
  const QPoint cursor(100, 80);
  const CadPoint under = shown.view.ToDrawing(cursor);
  shown.Wheel(cursor, 240);
  EXPECT_GT(shown.view.GetScale(), extents * 1.5);
  const QPointF after = shown.view.ToScreen(under);
  EXPECT_NEAR(after.x(), 100, 1e-6);
  EXPECT_NEAR(after.y(), 80, 1e-6);
  // The middle button pans with the cursor.
  QTest::mousePress(&shown.view, Qt::MiddleButton, {}, QPoint(200, 150));
  QMouseEvent move(QEvent::MouseMove, QPointF(230, 110), Qt::NoButton, Qt::MiddleButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&shown.view, &move);
  QTest::mouseRelease(&shown.view, Qt::MiddleButton, {}, QPoint(230, 110));
  EXPECT_NEAR(shown.view.ToScreen(under).x(), 130, 1e-6);
  EXPECT_NEAR(shown.view.ToScreen(under).y(), 40, 1e-6);
}

TEST(CadView, TheMenuHoldsTheZoomAndMeasureCommandsInOrder) {
  CCadView view;
  QStringList labels;
  for (QAction* action : view.GetContextMenu()->actions())
    labels << (action->isSeparator() ? "-" : action->text());
  EXPECT_EQ(labels, QStringList({"Zoom Extents", "Zoom Window", "Zoom Previous", "-", "Distance",
                                 "Area", "-", "Object Snaps"}));
}

TEST(CadView, DistanceAndAreaOnSnappedPointsGoToTheQuote) {
  CCadDrawing drawing;
  drawing.AddEntity(Line(0, 0, 30, 40));
  drawing.AddEntity(Square(100, 0, 10));
  ShownView shown(drawing);
  QString quote;
  QObject::connect(&shown.view, &CCadView::quoteChanged,
                   [&quote](const QString& text) { quote = text; });
  MenuAction(shown.view, "Object Snaps")->trigger();
  EXPECT_TRUE(shown.view.GetObjectSnaps());
  MenuAction(shown.view, "Distance")->trigger();
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_DISTANCE);
  // Clicks a few pixels beside the line's ends take the ends.
  shown.Click(shown.At(0, 0) + QPoint(4, -3));
  shown.Click(shown.At(30, 40) + QPoint(-3, 4));
  EXPECT_TRUE(quote.startsWith("Distance: 50.000  dX: 30.000  dY: 40.000")) << quote.toStdString();
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_NONE);

  // Without snaps, the same clicks measure where they are.
  shown.view.ExecuteCommand(CAD_CMD_OBJECT_SNAPS);
  shown.view.ExecuteCommand(CAD_CMD_DISTANCE);
  shown.Click(shown.At(0, 0) + QPoint(4, -3));
  shown.Click(shown.At(30, 40) + QPoint(-3, 4));
  EXPECT_FALSE(quote.startsWith("Distance: 50.000")) << quote.toStdString();

  shown.view.ExecuteCommand(CAD_CMD_OBJECT_SNAPS);
  shown.view.ExecuteCommand(CAD_CMD_AREA);
  for (const auto& corner : {std::pair{100, 0}, {110, 0}, {110, 10}, {100, 10}})
    shown.Click(shown.At(corner.first, corner.second) + QPoint(2, 2));
  QTest::keyClick(&shown.view, Qt::Key_Return);
  EXPECT_EQ(quote, "Area: 100.000  Perimeter: 40.000");
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_NONE);
}

TEST(CadView, ACommandOfAnotherModuleTakesItsKeyClicksAndWheel) {
  CCadDrawing drawing;
  drawing.AddEntity(Square(0, 0, 100));
  ShownView shown(drawing);
  auto command = std::make_shared<CCountingCommand>();
  shown.view.RegisterCommand(command, Qt::Key_F);
  QTest::keyClick(&shown.view, Qt::Key_F);
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_FILL_STONE);
  const double scale = shown.view.GetScale();
  shown.Wheel(QPoint(200, 150), 120);
  EXPECT_EQ(command->wheel, 120);
  EXPECT_DOUBLE_EQ(shown.view.GetScale(), scale);
  shown.Click(shown.At(25, 75));
  EXPECT_EQ(command->clicks, 1);
  EXPECT_NEAR(command->last.x, 25, 1 / scale);
  EXPECT_NEAR(command->last.y, 75, 1 / scale);
  QTest::keyClick(&shown.view, Qt::Key_Escape);
  EXPECT_EQ(command->cancels, 1);
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_NONE);
  // Without a command the wheel zooms; the space bar repeats the last command.
  shown.Wheel(QPoint(200, 150), 120);
  EXPECT_GT(shown.view.GetScale(), scale);
  QTest::keyClick(&shown.view, Qt::Key_Space);
  EXPECT_EQ(shown.view.GetCurrentCommand(), CAD_CMD_FILL_STONE);
}

TEST(CadView, AHugePictureIsReadOnlyWhereAndAsFineAsItIsShown) {
  CCadDrawing drawing;
  auto picture = std::make_shared<CCountingPicture>();
  CadEntity image;
  image.type = CAD_IMAGE;
  image.vertices = {{0, 0, 0}};
  image.image = picture;
  drawing.AddEntity(image);
  ShownView shown(drawing);
  shown.view.repaint();
  ASSERT_FALSE(picture->regions.empty());
  // At the extents, 20000 pixels show in about 300: a coarse picture of the whole.
  EXPECT_LE(picture->scales.back(), 1.0 / 32);
  EXPECT_GE(picture->scales.back(), 300.0 / 20000);

  CadExtent corner;
  corner.Add(1000, 1000);
  corner.Add(1400, 1300);
  shown.view.ZoomWindow(corner);
  shown.view.repaint();
  const QRect region = picture->regions.back();
  EXPECT_DOUBLE_EQ(picture->scales.back(), 1.0);
  EXPECT_LE(region.width(), 2 * 400 + 2);
  EXPECT_LE(region.height(), 2 * 300 + 2);
  EXPECT_TRUE(region.contains(QPoint(1200, 20000 - 1150)));
  const QImage shot = shown.view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(200, 150), QColor(0, 128, 0));
  // A small pan is drawn from the picture already read.
  const size_t reads = picture->regions.size();
  QTest::mousePress(&shown.view, Qt::MiddleButton, {}, QPoint(200, 150));
  QMouseEvent move(QEvent::MouseMove, QPointF(260, 150), Qt::NoButton, Qt::MiddleButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&shown.view, &move);
  QTest::mouseRelease(&shown.view, Qt::MiddleButton, {}, QPoint(260, 150));
  shown.view.repaint();
  EXPECT_EQ(picture->regions.size(), reads);
}

TEST(CadForm, ShowsARealDrawingInItsColours) {
  const fs::path folder = SampleData("cad");
  if (folder.empty()) GTEST_SKIP() << "no sample CAD folder";
  CCadForm form(nullptr);
  form.resize(700, 560);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_EQ(form.LoadDrawing((folder / "ezdxf_AC1003_LINE_Example.dxf").string()), 1)
      << form.GetLastError();
  EXPECT_EQ(form.GetStatus(), "Drawing: ezdxf_AC1003_LINE_Example.dxf - 22 entities");
  CCadDrawing* drawing = form.GetDrawing();
  EXPECT_EQ(drawing->GetLayerByName("StoneTemp")->color, 4);
  EXPECT_EQ(drawing->GetLayerByName("Stones")->color, 2);
  EXPECT_EQ(drawing->GetCurLayer(), drawing->GetLayerByName("0")->id);
  EXPECT_EQ(form.GetView()->geometry().topLeft(), QPoint(10, 10));
  EXPECT_EQ(form.GetView()->width(), form.width() - 20);

  const QImage shot = form.grab().toImage();
  shot.save(Output("drawing_pane.png"));
  const QImage view = form.GetView()->grab().toImage();
  std::map<QRgb, int> colours;
  for (int y = 0; y < view.height(); ++y)
    for (int x = 0; x < view.width(); ++x) ++colours[view.pixel(x, y)];
  // The lines of colours 5 (blue), 3 (green) and 130 are drawn on the black ground.
  EXPECT_GT(colours[qRgb(0, 0, 255)], 200);
  EXPECT_GT(colours[qRgb(0, 255, 0)], 100);
  EXPECT_GT(colours[qRgb(0, 0, 0)], view.width() * view.height() / 2);

  // A drawing that cannot be read leaves the pane as it was.
  EXPECT_EQ(form.LoadDrawing((folder / "gdal_AC1018_signature.dwg").string()), 0);
  EXPECT_NE(form.GetLastError().find("R2004"), std::string::npos);
  EXPECT_EQ(form.GetDrawing(), drawing);
  EXPECT_EQ(form.GetContent(), CAD_PANE_DRAWING);
}

TEST(CadForm, SavesOnlyAChangedDrawingAndNeverOverADwg) {
  ScratchFolder folder;
  CCadForm form(nullptr);
  auto drawing = std::make_unique<CCadDrawing>();
  drawing->AddEntity(Line(0, 0, 10, 10, 1));
  const fs::path dwg = folder / "plan.dwg";
  std::ofstream(dwg) << "AC1015 stands for the user's DWG";
  drawing->SetFileName(dwg.string());
  form.SetDrawing(std::move(drawing), CAD_PANE_DRAWING);
  EXPECT_EQ(form.SaveDrawing(), 1);
  EXPECT_FALSE(fs::exists(folder / "plan.dxf"));  // nothing changed, nothing written

  form.GetDrawing()->PutDirty(true);
  ASSERT_EQ(form.SaveDrawing(), 1) << form.GetLastError();
  EXPECT_EQ(fs::file_size(dwg), 32u);
  CCadDrawing saved;
  std::string error;
  ASSERT_EQ(CadFileOpen(saved, (folder / "plan.dxf").string(), error), 1) << error;
  EXPECT_EQ(saved.CountEntities(), 1);
  EXPECT_NE(saved.GetLayerByName("Stones"), nullptr);
  EXPECT_FALSE(form.GetDrawing()->IsDirty());
  EXPECT_EQ(form.GetDrawing()->GetFileName(), (folder / "plan.dxf").string());
}
