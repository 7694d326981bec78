// Measuring in the program as a surveyor does: the M key shows the measure page, SHIFT+clicks
// on the demo site's model add points with their captions, and the corners of a roof give
// its area.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

#include "MeasureDlg.h"
#include "app/images/ImageForm.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"
#include "nimbex/demo/DemoScene.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPaintTimeoutMs = 60000;
// How far inside a roof's edges its corners are measured.
constexpr double kInset = 1.0;

// The demo site, its stream and the buildings found in its points, made once.
class DemoSite {
 public:
  static const DemoSite& Get() {
    static DemoSite site;
    return site;
  }
  const fs::path& Las() const { return m_Las; }
  const fs::path& Stream() const { return m_Stream; }
  const CDemoScene& Scene() const { return m_Scene; }

 private:
  DemoSite() : m_Las(m_Folder / "site.las"), m_Stream(m_Folder / "site.strm") {
    RunNimbex("demo-site " + Quoted(m_Las) + " --points 200000 --seed 3");
    RunNimbex("build " + Quoted(m_Las) + " -o " + Quoted(m_Stream));
    std::string error;
    EXPECT_TRUE(m_Scene.Load(m_Las.string(), nullptr, nullptr, error)) << error;
  }
  ScratchFolder m_Folder;
  fs::path m_Las, m_Stream;
  CDemoScene m_Scene;
};

// Pixels of the selected captions' green near a point of the picture.
int GreenPixelsAround(const QImage& picture, const QPoint& at, int reach) {
  int count = 0;
  for (int y = std::max(0, at.y() - reach); y < std::min(picture.height(), at.y() + reach); ++y)
    for (int x = std::max(0, at.x() - reach); x < std::min(picture.width(), at.x() + reach); ++x) {
      const QColor c = picture.pixelColor(x, y);
      count += c.green() > 200 && c.red() < 80 && c.blue() < 80;
    }
  return count;
}

class MeasureProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
    for (const auto& entry : fs::directory_iterator(DemoSite::Get().Stream().parent_path()))
      if (entry.is_regular_file() && entry.path().stem() == "site")
        fs::copy_file(entry.path(), m_Folder / entry.path().filename());
    m_Project = OpenAndPaint(*m_Frame, (m_Folder / "site.strm").string(), kPaintTimeoutMs);
    ASSERT_NE(m_Project, nullptr);
    m_View = m_Project->GetView();
    m_Window = m_View->GetRenderWindowRecord();
  }

  void WaitForRegeneration() {
    const int before = m_View->GetRegenerationCount();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return m_View->GetRegenerationCount() != before; }, kPaintTimeoutMs));
    QTest::qWait(100);
  }

  // The widget position where an absolute point is drawn.
  QPoint PositionOf(const Wml::Point3<double>& absolute) {
    RefreshViewMatrices(m_Window);
    const double scene[3] = {absolute.X() - m_Window->m_Center[0],
                             absolute.Y() - m_Window->m_Center[1],
                             absolute.Z() - m_Window->m_Center[2]};
    WinPoint pixel{-1, -1};
    EXPECT_EQ(CoordModelToWin(m_Window, scene, &pixel), 1);
    const double ratio = m_View->devicePixelRatioF();
    return QPoint(int(pixel.x / ratio), int(pixel.y / ratio));
  }

  void ShiftClick(const QPoint& at) {
    QTest::mouseClick(m_View, Qt::LeftButton, Qt::ShiftModifier, at);
    QTest::qWait(50);
  }

  // The largest building whose roof the view shows whole.
  const DemoBuilding* LargestBuildingInView() {
    const CDemoScene& scene = DemoSite::Get().Scene();
    const DemoBuilding* largest = nullptr;
    const QRect shown = m_View->rect().adjusted(20, 20, -20, -20);
    for (const DemoBuilding& b : scene.GetBuildings()) {
      const auto& o = scene.GetOrigin();
      if (!shown.contains(PositionOf({o.X() + b.x0, o.Y() + b.y0, o.Z() + b.top})) ||
          !shown.contains(PositionOf({o.X() + b.x1, o.Y() + b.y1, o.Z() + b.top})))
        continue;
      if (!largest ||
          (b.x1 - b.x0) * (b.y1 - b.y0) > (largest->x1 - largest->x0) * (largest->y1 - largest->y0))
        largest = &b;
    }
    return largest;
  }

  QString Field(CMeasureDlg* page, const char* name) {
    return page->findChild<QLineEdit*>(name)->text();
  }

  ScratchFolder m_Folder;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
  COrvalisFrame* m_Project = nullptr;
  COrvalisView* m_View = nullptr;
  RenderWindow* m_Window = nullptr;
};

}  // namespace

TEST_F(MeasureProgramTest, ShiftClicksOnTheModelMeasureARoof) {
  CImageForm* panel = m_Project->GetImagePanel();
  auto* page = dynamic_cast<CMeasureDlg*>(panel->GetPage(TAB_MEASURE));
  ASSERT_NE(page, nullptr);
  m_View->setFocus();
  QTest::keyClick(m_View, Qt::Key_M);
  EXPECT_EQ(panel->GetCurrentTab(), TAB_MEASURE);
  // A project without photographs shows the 3D view alone: the command brings the panel.
  ClickCommand(*m_Frame, "View", "Measure");
  EXPECT_GT(m_Project->GetColumnWidths()[0], 0);
  m_View->Redraw();
  WaitForRegeneration();

  // A click in the middle of the site: the row holds the point under the cursor.
  const QPoint middle = m_View->rect().center();
  const QImage before = m_View->grabFramebuffer();
  double expected[3];
  ASSERT_EQ(m_View->PickModelPoint({middle.x(), middle.y()}, expected), 1);
  ShiftClick(middle);
  QTreeWidget* rows = page->GetRows();
  ASSERT_EQ(rows->topLevelItemCount(), 1);
  EXPECT_EQ(rows->topLevelItem(0)->text(0), "1");
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_EQ(rows->topLevelItem(0)->text(axis + 1).toStdString(),
              FormatMeasureCoordinate(expected[axis]));
  const QImage after = m_View->grabFramebuffer();
  EXPECT_LT(GreenPixelsAround(before, middle, 80), 5);
  EXPECT_GT(GreenPixelsAround(after, middle, 80), 20) << "no caption drawn near the point";

  // The four corners of a roof, a metre inside its edges.
  const DemoBuilding* roof = LargestBuildingInView();
  ASSERT_NE(roof, nullptr);
  const auto& o = DemoSite::Get().Scene().GetOrigin();
  const double x0 = o.X() + roof->x0 + kInset, x1 = o.X() + roof->x1 - kInset;
  const double y0 = o.Y() + roof->y0 + kInset, y1 = o.Y() + roof->y1 - kInset;
  for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
    ShiftClick(PositionOf({x, y, o.Z() + roof->top}));
  ASSERT_EQ(rows->topLevelItemCount(), 5);
  for (int row = 1; row < 5; ++row) {
    const double z = rows->topLevelItem(row)->text(3).toDouble();
    EXPECT_GT(z, o.Z() + roof->base + 2) << "row " << row << " is not on the roof";
  }
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                    rows->visualItemRect(rows->topLevelItem(1)).center());
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    rows->visualItemRect(rows->topLevelItem(4)).center());
  EXPECT_EQ(rows->selectedItems().size(), 4);
  const double area = (x1 - x0) * (y1 - y0);
  EXPECT_NEAR(Field(page, "horizontalArea").toDouble(), area, 0.1 * area);
  // The corners lie at the height of the eaves: the roof's plane is level.
  EXPECT_NEAR(Field(page, "planeArea").toDouble(), area, 0.1 * area);
  EXPECT_NEAR(Field(page, "closedLength").toDouble(), 2 * (x1 - x0 + y1 - y0),
              0.05 * 2 * (x1 - x0 + y1 - y0));

  QTest::qWait(200);
  m_View->grabFramebuffer().save(Output("measure-view-captions.png"));
  panel->grab().save(Output("measure-page-roof.png"));
  m_Frame->grab().save(Output("measure-program.png"));
}
