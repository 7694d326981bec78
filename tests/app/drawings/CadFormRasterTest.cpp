// Orthophotos and elevation models in the drawing pane, used as a user does: stones outlined
// with clicks, the wheel and keys; the project window's layout follows what the pane holds.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "app/drawings/CadFile.h"
#include "app/drawings/CadForm.h"
#include "app/drawings/CadOrthoData.h"
#include "app/drawings/CadStoneFill.h"
#include "app/images/ImageForm.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/ViewCommands.h"
#include "tests/app/drawings/StoneTestSupport.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPixel = 0.05;  // drawing units per pixel of the test orthophoto
constexpr double kPi = 3.14159265358979323846;
const std::vector<cv::Vec3i> kStones = {{200, 300, 45}, {450, 250, 60}, {700, 380, 40}};

// A 900 x 600 orthophoto of three stones, its upper-left corner at (1000, 2000), with a world
// file (which names the centre of the upper-left pixel).
fs::path WriteStonesOrthophoto(const ScratchFolder& folder) {
  const fs::path path = folder / "stones.tif";
  cv::imwrite(path.string(), GroundWithStones(900, 600, kStones));
  std::ofstream(folder / "stones.tfw") << kPixel << "\n0\n0\n"
                                       << -kPixel << "\n"
                                       << 1000 + kPixel / 2 << "\n"
                                       << 2000 - kPixel / 2 << "\n";
  return path;
}

// The program, its window shown, with the project of a small lattice stream open and painted.
struct SLatticeProject {
  std::unique_ptr<COrvalisApp> app;
  COrvalisFrame* project = nullptr;
};

SLatticeProject OpenLatticeProject(const ScratchFolder& folder) {
  setenv("ORVALIS_HOME", (folder / "home").c_str(), 1);
  const std::string stream = (folder / "site.strm").string();
  WriteTestStream(stream, MakeLatticeStream(1, 8, 0));
  SLatticeProject opened;
  opened.app = StartShownProgram();
  opened.project = OpenAndPaint(*opened.app->GetMainFrame(), stream, 30000);
  return opened;
}

// The window pixel of the middle of stone `i`.
QPoint StoneAt(const CCadView& view, int i) {
  return view.ToScreen(1000 + (kStones[i][0] + 0.5) * kPixel, 2000 - (kStones[i][1] + 0.5) * kPixel)
      .toPoint();
}

void Wheel(CCadView& view, const QPoint& at, int delta) {
  QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view, &event);
}

std::vector<const CadEntity*> OnLayer(const CCadDrawing& drawing, const std::string& layer) {
  std::vector<const CadEntity*> entities;
  const int id = const_cast<CCadDrawing&>(drawing).GetLayerByName(layer)->id;
  for (const CadEntity& entity : drawing.GetEntities())
    if (!entity.deleted && entity.layerId == id) entities.push_back(&entity);
  return entities;
}

}  // namespace

TEST(CadFormRaster, StonesAreOutlinedWithClicksWheelAndKeysOnAnOrthophoto) {
  ScratchFolder folder;
  CCadForm form(nullptr);
  form.resize(900, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_EQ(form.LoadOrthophoto(WriteStonesOrthophoto(folder).string()), 1) << form.GetLastError();
  EXPECT_EQ(form.GetContent(), CAD_PANE_ORTHOPHOTO);
  EXPECT_EQ(form.GetStatus(), "Orthophoto: stones.tif - 900 x 600 pixels");
  CCadDrawing& drawing = *form.GetDrawing();
  CCadView& view = *form.GetView();
  const size_t entities = drawing.GetEntities().size();

  QTest::keyClick(&view, Qt::Key_F);
  ASSERT_EQ(view.GetCurrentCommand(), CAD_CMD_FILL_STONE);
  // The margin around the orthophoto: a click there beeps and changes nothing.
  const QPoint outside(3, 3);
  int column, row;
  ASSERT_FALSE(GetImagePixel(drawing.GetEntities()[0], view.ToDrawing(outside).x,
                             view.ToDrawing(outside).y, column, row));
  QTest::mouseClick(&view, Qt::LeftButton, {}, outside);
  EXPECT_EQ(drawing.GetEntities().size(), entities);
  EXPECT_FALSE(drawing.IsDirty());
  EXPECT_EQ(view.GetCurrentCommand(), CAD_CMD_FILL_STONE);

  QTest::mouseClick(&view, Qt::LeftButton, {}, StoneAt(view, 0));
  ASSERT_EQ(OnLayer(drawing, "StoneTemp").size(), 1u);
  const CadEntity* first = OnLayer(drawing, "StoneTemp")[0];
  EXPECT_TRUE(first->closed);
  const double area = kPi * std::pow(45 * kPixel, 2);
  EXPECT_NEAR(OutlineArea(first->vertices), area, 0.05 * area);

  // A notch of the wheel widens the tolerance and outlines the stone again, in place.
  const double scale = view.GetScale();
  Wheel(view, StoneAt(view, 0), 120);
  EXPECT_DOUBLE_EQ(view.GetScale(), scale);
  EXPECT_TRUE(form.GetStatus().contains("tolerance -21/+21")) << form.GetStatus().toStdString();
  ASSERT_EQ(OnLayer(drawing, "StoneTemp").size(), 1u);
  const unsigned widened = OnLayer(drawing, "StoneTemp")[0]->id;

  // The next stone keeps the first on "Stones"; with Shift, the one after drops it.
  QTest::mouseClick(&view, Qt::LeftButton, {}, StoneAt(view, 1));
  EXPECT_EQ(OnLayer(drawing, "Stones").size(), 1u);
  EXPECT_EQ(OnLayer(drawing, "Stones")[0]->id, widened);
  const unsigned second = OnLayer(drawing, "StoneTemp")[0]->id;
  QTest::mouseClick(&view, Qt::LeftButton, Qt::ShiftModifier, StoneAt(view, 2));
  EXPECT_TRUE(drawing.GetEntityByID(second)->deleted);
  EXPECT_EQ(OnLayer(drawing, "Stones").size(), 1u);
  ASSERT_EQ(OnLayer(drawing, "StoneTemp").size(), 1u);
  QTest::mouseClick(&view, Qt::LeftButton, {}, StoneAt(view, 1));
  EXPECT_EQ(OnLayer(drawing, "Stones").size(), 2u);
  view.repaint();
  const QImage shot = form.grab().toImage();
  shot.save(Output("orthophoto_stones.png"));
  // The outline of the current stone is drawn in its layer's colour (4, cyan) on the picture.
  const QPoint edge =
      view.ToScreen(1000 + (450 + 0.5) * kPixel, 2000 - (250 - 59.5) * kPixel).toPoint() +
      view.pos();
  bool cyan = false;
  for (int dy = -3; dy <= 3; ++dy) cyan |= shot.pixel(edge + QPoint(0, dy)) == qRgb(0, 255, 255);
  EXPECT_TRUE(cyan);

  // Escape ends the command; the space bar starts it again.
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_EQ(view.GetCurrentCommand(), CAD_CMD_NONE);
  QTest::keyClick(&view, Qt::Key_Space);
  EXPECT_EQ(view.GetCurrentCommand(), CAD_CMD_FILL_STONE);

  // Stone size: the centre, then a point 1.5 units away.
  ASSERT_EQ(view.ExecuteCommand(CAD_CMD_STONE_SIZE), 1);
  const QPoint centre = StoneAt(view, 0);
  QTest::mouseClick(&view, Qt::LeftButton, {}, centre);
  QTest::mouseClick(
      &view, Qt::LeftButton, {},
      view.ToScreen(view.ToDrawing(centre).x + 1.5, view.ToDrawing(centre).y).toPoint());
  EXPECT_EQ(view.GetCurrentCommand(), CAD_CMD_NONE);
  const QString status = form.GetStatus();
  ASSERT_TRUE(status.contains("reference area ")) << status.toStdString();
  EXPECT_NEAR(status.section("reference area ", 1).section(',', 0, 0).toDouble(), 4.5, 0.2);
  EXPECT_EQ(OnLayer(drawing, "Stones").size(), 2u);
}

TEST(CadFormRaster, ProjectWindowShowsOrthophotoAndDemInTheirLayouts) {
  ScratchFolder folder;
  const SLatticeProject opened = OpenLatticeProject(folder);
  COrvalisFrame* project = opened.project;
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(project->GetLayout(), LAYOUT_STREAMING);
  CCadForm* pane = project->GetDrawingPanel();

  ASSERT_EQ(project->LoadOrthophoto(WriteStonesOrthophoto(folder).string()), 1)
      << pane->GetLastError();
  EXPECT_EQ(project->GetLayout(), LAYOUT_ORTHOPHOTO);
  QTest::qWait(100);
  // Shown in the pane's new size: the orthophoto fills the view's width or its height, as its
  // shape allows, less the view's margin.
  CCadView* view = pane->GetView();
  const CadPoint topLeft = view->ToDrawing(QPointF(0, 0));
  const CadPoint bottomRight = view->ToDrawing(QPointF(view->width(), view->height()));
  EXPECT_GT(std::max(900 * kPixel / (bottomRight.x - topLeft.x),
                     600 * kPixel / (topLeft.y - bottomRight.y)),
            0.8);
  project->grab().save(Output("orthophoto_layout.png"));

  // A file that is no image leaves the pane as it was and falls back to layout 3.
  std::ofstream(folder / "notes.tif") << "not an image";
  EXPECT_EQ(project->LoadOrthophoto((folder / "notes.tif").string()), 0);
  EXPECT_NE(pane->GetLastError().find("notes.tif"), std::string::npos);
  EXPECT_EQ(pane->GetContent(), CAD_PANE_ORTHOPHOTO);
  EXPECT_EQ(project->GetLayout(), LAYOUT_STREAMING);

  const fs::path raster = SampleData("raster");
  if (raster.empty()) GTEST_SKIP() << "no sample data";
  fs::copy_file(raster / "gdal_n43.tif", folder / "n43.tif");
  ASSERT_EQ(project->LoadDem((folder / "n43.tif").string()), 1) << pane->GetLastError();
  EXPECT_EQ(project->GetLayout(), LAYOUT_DEM);
  EXPECT_EQ(pane->GetContent(), CAD_PANE_DEM);
  EXPECT_TRUE(pane->GetDrawing()->IsDirty());
  EXPECT_EQ(pane->GetStatus(), "Dem: n43.tif - elevations 75.00 to 460.00");
  QTest::qWait(100);
  project->grab().save(Output("dem_layout.png"));
}

TEST(CadFormRaster, ClosingTheProjectOffersStonesOutlinedOnAnOrthophotoForSaving) {
  ScratchFolder folder;
  const SLatticeProject opened = OpenLatticeProject(folder);
  COrvalisFrame* project = opened.project;
  ASSERT_NE(project, nullptr);
  CCadForm* pane = project->GetDrawingPanel();
  ASSERT_EQ(project->LoadOrthophoto(WriteStonesOrthophoto(folder).string()), 1);
  EXPECT_FALSE(pane->HasUnsavedWork());  // the orthophoto alone is nothing to lose
  CCadDrawing* drawing = pane->GetDrawing();
  CadEntity stone;
  stone.type = CAD_POLYLINE;
  stone.closed = true;
  stone.layerId = drawing->GetLayerByName("Stones")->id;
  stone.vertices = {{1010, 1985, 0}, {1012, 1985, 0}, {1012, 1987, 0}};
  drawing->AddEntity(stone);
  drawing->PutDirty(true);

  // Cancel keeps the project open with its stone; saving writes the stones to the file named.
  auto* window = qobject_cast<QMdiSubWindow*>(project->parentWidget());
  const fs::path saved = folder / "stones.dxf";
  ModalScript script;
  script.Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); })
      .Then<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); })
      .Then<QFileDialog>([&saved](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(saved.string()));
        if (QCompleter* completer = name->completer()) completer->popup()->hide();
        QTest::keyClick(name, Qt::Key_Return);
      });
  window->close();
  EXPECT_FALSE(window->isHidden());
  EXPECT_EQ(opened.app->GetMainFrame()->GetProjects().size(), 1);
  QPointer<COrvalisFrame> closing(project);
  window->close();
  script.Finish();
  ASSERT_TRUE(QTest::qWaitFor([&closing] { return closing.isNull(); }, 10000));
  CCadDrawing read;
  std::string error;
  ASSERT_EQ(CadFileOpen(read, saved.string(), error), 1) << error;
  ASSERT_NE(read.GetLayerByName("Stones"), nullptr);
  EXPECT_EQ(std::count_if(read.GetEntities().begin(), read.GetEntities().end(),
                          [&read](const CadEntity& entity) {
                            return entity.layerId == read.GetLayerByName("Stones")->id;
                          }),
            1);
}
