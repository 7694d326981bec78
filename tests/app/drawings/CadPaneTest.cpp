// The drawing panel in the program's project window: the layout follows what it holds, the
// Layout and Drawing 3d Views commands act on it, and Save and closing write a changed drawing.
#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QPointer>
#include <QTableWidget>

#include "app/drawings/CadFile.h"
#include "app/drawings/CadForm.h"
#include "app/drawings/CadLayerDlg.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/ViewCommands.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 30000;

class CadPaneTest : public testing::Test {
 protected:
  void SetUp() override {
    if (SampleData("cad").empty()) GTEST_SKIP() << "no sample CAD folder";
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_Stream = (m_Folder / "site.strm").string();
    WriteTestStream(m_Stream, MakeLatticeStream(1, 8, 0));
    fs::copy_file(SampleData("cad") / "gdal_byblock-bylayer.dxf", m_Folder / "plan.dxf");
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
    m_Project = OpenAndPaint(*m_Frame, m_Stream, kPaintTimeoutMs);
    ASSERT_NE(m_Project, nullptr);
  }

  void ExpectLayout(int layout) {
    EXPECT_EQ(m_Project->GetLayout(), layout);
    const LayoutWidths expected = GetLayoutWidths(layout, m_Project->width());
    const QList<int> widths = m_Project->GetColumnWidths();
    EXPECT_EQ(widths[0], expected.images);
    EXPECT_EQ(widths[2], expected.drawing);
  }

  ScratchFolder m_Folder;
  std::string m_Stream;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  COrvalisFrame* m_Project = nullptr;
};

}  // namespace

TEST_F(CadPaneTest, TheLayoutFollowsWhatThePanelHolds) {
  ExpectLayout(LAYOUT_STREAMING);  // a project without photographs
  // A command whose kind the panel does not hold changes nothing.
  ClickCommand(*m_Frame, "View", "Drawing");
  ExpectLayout(LAYOUT_STREAMING);
  EXPECT_TRUE(m_Frame->GetHelpText().contains("no CAD drawing"));

  ASSERT_EQ(m_Project->LoadDrawing((m_Folder / "plan.dxf").string()), 1);
  QTest::qWait(50);
  ExpectLayout(LAYOUT_DRAWING);
  m_Frame->grab().save(Output("drawing_layout.png"));
  ClickCommand(*m_Frame, "View", "Standard");
  ExpectLayout(LAYOUT_STANDARD);
  ClickCommand(*m_Frame, "View", "Orthophoto");
  ExpectLayout(LAYOUT_STANDARD);
  ClickCommand(*m_Frame, "View", "Drawing");
  ExpectLayout(LAYOUT_DRAWING);

  // Top shows the drawing's extents again; a side view leaves the panel as it is.
  CCadView* view = m_Project->GetDrawingPanel()->GetView();
  const double extents = view->GetScale();
  view->ZoomAt(QPointF(100, 100), 4);
  ClickCommand(*m_Frame, "View", "Front");
  EXPECT_DOUBLE_EQ(view->GetScale(), 4 * extents);
  ClickCommand(*m_Frame, "View", "Top");
  EXPECT_DOUBLE_EQ(view->GetScale(), extents);

  // A drawing that cannot be read falls back to the layout without images.
  const fs::path broken = SampleData("cad") / "gdal_AC1018_signature.dwg";
  EXPECT_EQ(m_Project->LoadDrawing(broken.string()), 0);
  ExpectLayout(LAYOUT_STREAMING);
}

TEST_F(CadPaneTest, LayerPropertiesShowAndHideLayersInThePanel) {
  ASSERT_EQ(m_Project->LoadDrawing((m_Folder / "plan.dxf").string()), 1);
  CCadForm* panel = m_Project->GetDrawingPanel();
  QTest::qWait(50);
  auto colouredPixels = [panel] {
    const QImage shot = panel->GetView()->grab().toImage();
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) count += shot.pixel(x, y) == qRgb(255, 0, 0);
    return count;
  };
  const int red = colouredPixels();
  ASSERT_GT(red, 0);  // the layer _K_POINTS has colour 1
  ModalScript script;
  script.Then<CCadLayerDlg>([&](CCadLayerDlg* dialog) {
    QTableWidget* table = dialog->GetTable();
    EXPECT_EQ(table->rowCount(), panel->GetDrawing()->CountLayers());
    for (int row = 0; row < table->rowCount(); ++row)
      if (table->item(row, 1)->text() == "_K_POINTS")
        table->item(row, 2)->setCheckState(Qt::Unchecked);
    dialog->grab().save(Output("layer_properties.png"));
    dialog->reject();
  });
  ClickCommand(*m_Frame, "View", "Layer Properties");
  script.Finish();
  EXPECT_FALSE(panel->GetDrawing()->GetLayerByName("_K_POINTS")->visible);
  EXPECT_LT(colouredPixels(), red);
  EXPECT_FALSE(panel->GetDrawing()->IsDirty());
}

TEST_F(CadPaneTest, SaveAndClosingWriteOnlyAChangedDrawingKeepingTheOriginal) {
  const fs::path plan = m_Folder / "plan.dxf", backup = m_Folder / "plan.bak";
  const auto written = fs::last_write_time(plan);
  ASSERT_EQ(m_Project->LoadDrawing(plan.string()), 1);
  ClickCommand(*m_Frame, "View", "Top");
  m_Project->Save();
  EXPECT_EQ(fs::last_write_time(plan), written);  // nothing changed, nothing written
  EXPECT_FALSE(fs::exists(backup));

  CCadDrawing* drawing = m_Project->GetDrawingPanel()->GetDrawing();
  CadEntity stone;
  stone.type = CAD_POLYLINE;
  stone.closed = true;
  stone.layerId = drawing->GetLayerByName("Stones")->id;
  stone.vertices = {{316830, 5814530, 0}, {316831, 5814530, 0}, {316831, 5814531, 0}};
  drawing->AddEntity(stone);
  drawing->PutDirty(true);
  const int entities = drawing->CountEntities();
  const uintmax_t original = fs::file_size(plan);
  QPointer<COrvalisFrame> closing(m_Project);
  qobject_cast<QMdiSubWindow*>(m_Project->parentWidget())->close();
  ASSERT_TRUE(QTest::qWaitFor([&closing] { return closing.isNull(); }, 10000));
  ASSERT_TRUE(fs::exists(backup));
  EXPECT_EQ(fs::file_size(backup), original);
  CCadDrawing saved;
  std::string error;
  ASSERT_EQ(CadFileOpen(saved, plan.string(), error), 1) << error;
  EXPECT_EQ(saved.CountEntities(), entities);
  EXPECT_EQ(saved.GetLayerByName("Stones")->color, 2);
}
