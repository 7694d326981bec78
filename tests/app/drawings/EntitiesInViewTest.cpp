// The demo site's plan, read from its DXF, seen in the program's 3D view over the demo site's
// stream: its lines fall where the model is, in their layers' colours.
#include <gtest/gtest.h>

#include <QImage>

#include "app/drawings/CadFile.h"
#include "app/drawings/ProjectedEntities.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/demo/DemoPlan.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

constexpr int kPaintTimeoutMs = 30000;

bool IsYellow(const QColor& colour) {
  return colour.red() > 230 && colour.green() > 230 && colour.blue() < 40;
}

TEST(EntitiesInViewTest, DemoPlanLinesShowOverTheDemoStreamInTheirLayersColours) {
  ScratchFolder folder;
  setenv("ORVALIS_HOME", (folder / "home").c_str(), 1);
  const std::string las = (folder / "site.las").string(), stream = (folder / "site.strm").string();
  const std::string plan = (folder / "site.dxf").string();
  ASSERT_EQ(
      RunNimbex("demo-site " + Quoted(las) + " --points 600000 --seed 1 --plan " + Quoted(plan))
          .status,
      0);
  ASSERT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream)).status, 0);
  auto app = StartShownProgram();
  COrvalisFrame* project = OpenAndPaint(*app->GetMainFrame(), stream, kPaintTimeoutMs);
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  RenderWindow* window = view->GetRenderWindowRecord();
  QSignalSpy painted(view, &COrvalisView::regenerated);
  view->ApplyPresetView(VIEW_TOP);
  ASSERT_TRUE(painted.wait(kPaintTimeoutMs));

  CCadDrawing drawing;
  std::string error;
  ASSERT_EQ(CadFileOpen(drawing, plan, error), 1) << error;
  ASSERT_NE(drawing.GetLayerByName(kDemoBuildingLayer), nullptr);
  EXPECT_EQ(drawing.GetLayerByName(kDemoBuildingLayer)->color, kDemoBuildingLayerColor);
  CProjectedEntities projected;
  projected.ProjectEntities(drawing, window, nullptr, project);
  ASSERT_EQ(projected.GetEntities().size(), size_t(drawing.CountEntities()));
  QTest::qWait(200);
  const QImage picture = view->grabFramebuffer();
  picture.save(Output("demo-plan-in-3d.png"));

  // The middle of the first side of each building drawn in its layer's colour (yellow), on
  // the screen, is yellow.
  RefreshViewMatrices(window);
  const int buildings = drawing.GetLayerByName(kDemoBuildingLayer)->id;
  int checked = 0;
  for (const CadEntity& entity : drawing.GetEntities()) {
    if (entity.layerId != buildings || entity.color != kCadColorByLayer) continue;
    const CadPoint& a = entity.vertices[0];
    const CadPoint& b = entity.vertices[1];
    const double middle[3] = {(a.x + b.x) / 2 - window->m_Center[0],
                              (a.y + b.y) / 2 - window->m_Center[1],
                              (a.z + b.z) / 2 - window->m_Center[2]};
    WinPoint pixel{-1, -1};
    ASSERT_EQ(CoordModelToWin(window, middle, &pixel), 1);
    bool yellow = false;
    for (int dy = -2; dy <= 2; ++dy) yellow |= IsYellow(picture.pixelColor(pixel.x, pixel.y + dy));
    EXPECT_TRUE(yellow) << "building side at " << pixel.x << ", " << pixel.y;
    ++checked;
  }
  EXPECT_GT(checked, 0);

  // Pressed again, the toggle takes the lines away.
  projected.ProjectEntities(drawing, window, nullptr, project);
  QTest::qWait(200);
  const QImage without = view->grabFramebuffer();
  int yellowLeft = 0;
  for (int y = 0; y < without.height(); ++y)
    for (int x = 0; x < without.width(); ++x) yellowLeft += IsYellow(without.pixelColor(x, y));
  EXPECT_EQ(yellowLeft, 0);
}

}  // namespace
