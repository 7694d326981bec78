// The demo site's plan, opened in the drawing pane, seen in the program's 3D view over the
// demo site's stream through "Drawing Overlap": its lines fall where the model is, in their
// layers' colours, until the command is pressed again or another drawing is opened.
#include <gtest/gtest.h>

#include <QImage>

#include "app/drawings/CadForm.h"
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

int YellowPixels(const QImage& picture) {
  int yellow = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) yellow += IsYellow(picture.pixelColor(x, y));
  return yellow;
}

// The demo project opened in the program, its plan in the drawing pane, the view from the top.
class EntitiesInViewTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    const std::string las = (m_Folder / "site.las").string();
    const std::string stream = (m_Folder / "site.strm").string();
    ASSERT_EQ(
        RunNimbex("demo-site " + Quoted(las) + " --points 600000 --seed 1 --plan " + Quoted(m_Plan))
            .status,
        0);
    ASSERT_EQ(RunNimbex("build " + Quoted(las) + " -o " + Quoted(stream)).status, 0);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
    m_Project = OpenAndPaint(*m_Frame, stream, kPaintTimeoutMs);
    ASSERT_NE(m_Project, nullptr);
    ASSERT_EQ(m_Project->LoadDrawing(m_Plan), 1);
    m_View = m_Project->GetView();
    m_Window = m_View->GetRenderWindowRecord();
    QSignalSpy painted(m_View, &COrvalisView::regenerated);
    m_View->ApplyPresetView(VIEW_TOP);
    ASSERT_TRUE(painted.wait(kPaintTimeoutMs));
  }

  // Clicks "Drawing Overlap"; no question comes for a plan of the model.
  void ClickDrawingOverlap() {
    ModalScript none;
    ClickCommand(*m_Frame, "View", "Drawing Overlap");
    none.Finish();
    QTest::qWait(200);
  }

  ScratchFolder m_Folder;
  const std::string m_Plan = (m_Folder / "site.dxf").string();
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  COrvalisFrame* m_Project = nullptr;
  COrvalisView* m_View = nullptr;
  RenderWindow* m_Window = nullptr;
};

TEST_F(EntitiesInViewTest, DrawingOverlapShowsThePlanOverTheModelUntilPressedAgainOrReplaced) {
  CCadForm* pane = m_Project->GetDrawingPanel();
  const CCadDrawing& drawing = *pane->GetDrawing();
  ClickDrawingOverlap();
  ASSERT_EQ(pane->GetProjectedEntities().GetEntities().size(), size_t(drawing.CountEntities()));
  const QImage picture = m_View->grabFramebuffer();
  m_Frame->grab().save(Output("demo-plan-in-3d.png"));

  // The middle of the first side of each building drawn in its layer's colour (yellow), on
  // the screen, is yellow.
  RefreshViewMatrices(m_Window);
  const int buildings = pane->GetDrawing()->GetLayerByName(kDemoBuildingLayer)->id;
  int checked = 0;
  for (const CadEntity& entity : drawing.GetEntities()) {
    if (entity.layerId != buildings || entity.color != kCadColorByLayer) continue;
    const CadPoint& a = entity.vertices[0];
    const CadPoint& b = entity.vertices[1];
    const double middle[3] = {(a.x + b.x) / 2 - m_Window->m_Center[0],
                              (a.y + b.y) / 2 - m_Window->m_Center[1],
                              (a.z + b.z) / 2 - m_Window->m_Center[2]};
    WinPoint pixel{-1, -1};
    ASSERT_EQ(CoordModelToWin(m_Window, middle, &pixel), 1);
    bool yellow = false;
    for (int dy = -2; dy <= 2; ++dy) yellow |= IsYellow(picture.pixelColor(pixel.x, pixel.y + dy));
    EXPECT_TRUE(yellow) << "building side at " << pixel.x << ", " << pixel.y;
    ++checked;
  }
  EXPECT_GT(checked, 0);

  // Pressed again, the toggle takes the lines away; so does opening another drawing.
  ClickDrawingOverlap();
  EXPECT_FALSE(pane->GetProjectedEntities().IsShown());
  EXPECT_EQ(YellowPixels(m_View->grabFramebuffer()), 0);
  ClickDrawingOverlap();
  EXPECT_GT(YellowPixels(m_View->grabFramebuffer()), 100);
  ASSERT_EQ(m_Project->LoadDrawing(m_Plan), 1);
  QTest::qWait(200);
  EXPECT_FALSE(pane->GetProjectedEntities().IsShown());
  EXPECT_EQ(YellowPixels(m_View->grabFramebuffer()), 0);
}

}  // namespace
