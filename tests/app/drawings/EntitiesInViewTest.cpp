// The demo site's plan seen in the program's 3D view over the demo site's stream: its lines
// fall where the model is, in their layers' colours.
#include <gtest/gtest.h>

#include <QImage>

#include "app/drawings/ProjectedEntities.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/demo/DemoPlan.h"
#include "nimbex/demo/DemoSiteMap.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace {

constexpr int kPaintTimeoutMs = 30000;

DemoSiteSettings DemoSite() {
  DemoSiteSettings settings;
  settings.points = 600000;
  settings.seed = 1;
  return settings;
}

// The plan of the demo site as the drawing pane holds it: the outlines on their layers, grey
// roofs in a colour of their own.
CCadDrawing DemoPlanDrawing() {
  CCadDrawing drawing;
  const int buildings = drawing.AddLayer(kDemoBuildingLayer, kDemoBuildingLayerColor);
  const int roads = drawing.AddLayer(kDemoRoadLayer, kDemoRoadLayerColor);
  for (const DemoOutline& outline : CDemoSiteMap(DemoSite()).GetOutlines()) {
    CadEntity entity;
    entity.type = CAD_POLYLINE;
    entity.closed = true;
    const bool building = outline.kind == kDemoBuildingOutline;
    entity.layerId = building ? buildings : roads;
    if (building && !outline.redRoof) entity.color = kDemoGreyRoofColor;
    for (const DemoMapVertex& v : outline.vertices) entity.vertices.push_back({v.x, v.y, v.z});
    drawing.AddEntity(entity);
  }
  return drawing;
}

bool IsYellow(const QColor& colour) {
  return colour.red() > 230 && colour.green() > 230 && colour.blue() < 40;
}

TEST(EntitiesInViewTest, DemoPlanLinesShowOverTheDemoStreamInTheirLayersColours) {
  ScratchFolder folder;
  setenv("ORVALIS_HOME", (folder / "home").c_str(), 1);
  const std::string las = (folder / "site.las").string(), stream = (folder / "site.strm").string();
  ASSERT_EQ(RunNimbex("demo-site " + Quoted(las) + " --points 600000 --seed 1").status, 0);
  ASSERT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream)).status, 0);
  auto app = StartShownProgram();
  COrvalisFrame* project = OpenAndPaint(*app->GetMainFrame(), stream, kPaintTimeoutMs);
  ASSERT_NE(project, nullptr);
  COrvalisView* view = project->GetView();
  RenderWindow* window = view->GetRenderWindowRecord();
  QSignalSpy painted(view, &COrvalisView::regenerated);
  view->ApplyPresetView(VIEW_TOP);
  ASSERT_TRUE(painted.wait(kPaintTimeoutMs));

  const CCadDrawing drawing = DemoPlanDrawing();
  CProjectedEntities projected;
  projected.ProjectEntities(drawing, window, nullptr, project);
  ASSERT_EQ(projected.GetEntities().size(), size_t(drawing.CountEntities()));
  QTest::qWait(200);
  const QImage picture = view->grabFramebuffer();
  picture.save(Output("demo-plan-in-3d.png"));

  // The middle of each red-roofed building's southern edge, on the screen, is yellow.
  RefreshViewMatrices(window);
  int checked = 0;
  for (const DemoOutline& outline : CDemoSiteMap(DemoSite()).GetOutlines()) {
    if (outline.kind != kDemoBuildingOutline || !outline.redRoof) continue;
    const DemoMapVertex& a = outline.vertices[0];
    const DemoMapVertex& b = outline.vertices[1];
    const double middle[3] = {(a.x + b.x) / 2 - window->m_Center[0],
                              (a.y + b.y) / 2 - window->m_Center[1],
                              (a.z + b.z) / 2 - window->m_Center[2]};
    WinPoint pixel{-1, -1};
    ASSERT_EQ(CoordModelToWin(window, middle, &pixel), 1);
    bool yellow = false;
    for (int dy = -2; dy <= 2; ++dy) yellow |= IsYellow(picture.pixelColor(pixel.x, pixel.y + dy));
    EXPECT_TRUE(yellow) << "building edge at " << pixel.x << ", " << pixel.y;
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
