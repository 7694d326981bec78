#include <vtkActor.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <cmath>

#include "nimbex/access/Nimbex.h"
#include "tests/window/HostWindow.h"

namespace {

// Counts the events of one kind that reach the interactor's observers.
class EventCounter {
 public:
  EventCounter(vtkObject* subject, unsigned long event) : m_Subject(subject) {
    m_Command->SetClientData(&m_Count);
    m_Command->SetCallback(
        [](vtkObject*, unsigned long, void* count, void*) { ++*static_cast<int*>(count); });
    m_Tag = subject->AddObserver(event, m_Command, 1.0f);
  }
  ~EventCounter() { m_Subject->RemoveObserver(m_Tag); }
  int Count() const { return m_Count; }

 private:
  vtkObject* m_Subject;
  int m_Count = 0;
  unsigned long m_Tag = 0;
  vtkNew<vtkCallbackCommand> m_Command;
};

// One point at (1002, 2003, 300) seen from the top; the window centre is (1000, 2000, 300).
class DrawnPoint : public HostWindow {
 protected:
  void SetUp() override {
    HostWindow::SetUp();
    m_Cloud = AddSpCloud(WriteStream("point.strm", {{2, 3, 0}}).c_str(), Id(), 0);
    ASSERT_NE(m_Cloud, nullptr);
    m_Interactor->Enable();
    DrawSpClouds(Id(), nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(CoordModelToWin(m_Record, kScene, &m_Pixel), 1);
  }

  void ExpectAbsolute(const double* p) const {
    for (int axis = 0; axis < 3; ++axis)
      EXPECT_NEAR(p[axis], kScene[axis] + m_Record->m_Center[axis], m_Record->m_PixelSize);
  }

  const double kScene[3] = {2, 3, 0};
  CNimbex* m_Cloud = nullptr;
  WinPoint m_Pixel;
};

TEST_F(DrawnPoint, IsDrawnWhereTheConversionsSay) {
  const int width = 200, height = 160;
  ASSERT_EQ(m_Record->m_ZBufferSize, width * height);
  int drawn = 0;
  for (int r = 0; r < height; ++r)
    for (int x = 0; x < width; ++x) {
      const bool axesCorner = x < width / 5 && r < height / 5;
      if (axesCorner || m_Record->m_ZBuffer[r * width + x] == 1.0f) continue;
      ++drawn;
      EXPECT_EQ(x, m_Pixel.x);
      EXPECT_EQ(height - 1 - r, m_Pixel.y);
    }
  EXPECT_EQ(drawn, 1);

  const double scale = m_Record->m_Renderer->GetActiveCamera()->GetParallelScale();
  EXPECT_NEAR(m_Record->m_PixelSize, std::sqrt(2.0) * 2 * scale / height, 1e-9);
  double scene[3], absolute[3];
  ASSERT_EQ(CoordWinToModel(m_Record, m_Pixel, scene), 1);
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(scene[axis], kScene[axis], m_Record->m_PixelSize);
  ASSERT_EQ(SnapToPoint(Id(), m_Pixel, absolute), 1);
  ExpectAbsolute(absolute);
}

// The host's own props (camera markers above the ground) stay inside the clipping range that
// the drawing pass fits to the streams.
TEST_F(DrawnPoint, DrawsTheHostsPropsAboveTheStreams) {
  vtkNew<vtkSphereSource> marker;
  const double above[3] = {-4, -3, 30};
  marker->SetCenter(above[0], above[1], above[2]);
  marker->SetRadius(0.5);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(marker->GetOutputPort());
  vtkNew<vtkActor> actor;
  actor->SetMapper(mapper);
  m_Record->m_Renderer->AddActor(actor);
  DrawSpClouds(Id(), nullptr, nullptr, nullptr, nullptr);
  WinPoint pixel;
  ASSERT_EQ(CoordModelToWin(m_Record, above, &pixel), 1);
  const int row = 160 - 1 - pixel.y;
  ASSERT_TRUE(pixel.x >= 0 && pixel.x < 200 && row >= 0 && row < 160);
  EXPECT_LT(m_Record->m_ZBuffer[row * 200 + pixel.x], 1.0f);
  double scene[3];
  ASSERT_EQ(CoordWinToModel(m_Record, pixel, scene), 1);
  EXPECT_NEAR(scene[2], above[2] + 0.5, 0.1);
}

TEST_F(DrawnPoint, SnapsToGeometryWithinSixPixels) {
  double absolute[3];
  ASSERT_EQ(SnapToPoint(Id(), WinPoint{m_Pixel.x - 4, m_Pixel.y}, absolute), 1);
  ExpectAbsolute(absolute);
  EXPECT_EQ(SnapToPoint(Id(), WinPoint{m_Pixel.x + 6, m_Pixel.y - 6}, absolute), 1);
  EXPECT_EQ(SnapToPoint(Id(), WinPoint{m_Pixel.x + 7, m_Pixel.y}, absolute), 0);
  EXPECT_EQ(SnapToPoint(Id(), WinPoint{m_Pixel.x, m_Pixel.y + 7}, absolute), 0);

  // Outside the window the depth buffer is not even read.
  m_Record->m_ZBuffer.assign(1, 0.5f);
  EXPECT_EQ(SnapToPoint(Id(), WinPoint{200, 10}, absolute), 0);
  EXPECT_EQ(SnapToPoint(Id(), WinPoint{10, -1}, absolute), 0);
  EXPECT_EQ(m_Record->m_ZBuffer.size(), 1u);
}

TEST_F(DrawnPoint, ShiftClicksPickPointsAndControlTurnsAroundThem) {
  EventCounter presses(m_Interactor, vtkCommand::LeftButtonPressEvent);
  EXPECT_EQ(RW_OnLButtonDown(Id(), MK_SHIFT, m_Pixel, nullptr), 0);
  Wml::Point3<double> picked;
  EXPECT_EQ(RW_OnLButtonDown(Id(), MK_SHIFT, WinPoint{m_Pixel.x + 20, m_Pixel.y}, &picked), 0);
  EXPECT_EQ(presses.Count(), 0);

  ASSERT_EQ(RW_OnLButtonDown(Id(), MK_SHIFT, m_Pixel, &picked), 1);
  ExpectAbsolute(picked.Data());
  RW_OnLButtonUp(Id(), 0, m_Pixel);

  vtkCamera* camera = m_Record->m_Renderer->GetActiveCamera();
  const double height = camera->GetDistance();
  ASSERT_EQ(RW_OnLButtonDown(Id(), MK_SHIFT | MK_CONTROL, m_Pixel, nullptr), 1);
  EXPECT_NEAR(camera->GetFocalPoint()[0], kScene[0], m_Record->m_PixelSize);
  EXPECT_NEAR(camera->GetFocalPoint()[1], kScene[1], m_Record->m_PixelSize);
  EXPECT_NEAR(camera->GetDistance(), height, 1e-9);
  EXPECT_EQ(presses.Count(), 2);
}

TEST_F(DrawnPoint, ButtonsSwapTheMaskAndTheDetail) {
  vtkPolyDataMapper* mapper = m_Cloud->GetMapper();
  ASSERT_NE(m_Cloud->GetMaskPolyData(), nullptr);
  ASSERT_EQ(RW_OnRButtonDown(Id(), MK_RBUTTON, m_Pixel), 1);
  EXPECT_EQ(mapper->GetInput(), m_Cloud->GetMaskPolyData());
  EXPECT_EQ(m_Invalidated, 0);
  ASSERT_EQ(RW_OnRButtonUp(Id(), 0, m_Pixel), 1);
  EXPECT_EQ(mapper->GetInput(), m_Cloud->GetRenderPolyData());
  EXPECT_EQ(m_Invalidated, 1);
}

using Keys = HostWindow;

TEST_F(Keys, ReachTheInteractorExceptTheHostsOwn) {
  EventCounter chars(m_Interactor, vtkCommand::CharEvent);
  m_Interactor->Disable();
  EXPECT_EQ(RW_OnChar(Id(), 'r', 1, 0), 0);
  m_Interactor->Enable();
  EXPECT_EQ(RW_OnChar(Id(), 'w', 1, 0), 0);
  EXPECT_EQ(RW_OnChar(Id(), '3', 1, 0), 0);
  EXPECT_EQ(chars.Count(), 0);
  EXPECT_EQ(RW_OnChar(Id(), 'r', 2, 0), 1);
  EXPECT_EQ(m_Interactor->GetRepeatCount(), 2);
  // A wide character whose low byte is 'q' must not reach the interactor as 'q'.
  EXPECT_EQ(RW_OnChar(Id(), 0x171, 1, 0), 1);
  EXPECT_EQ(m_Interactor->GetKeyCode(), 0);
  EXPECT_EQ(chars.Count(), 2);

  vtkCamera* camera = m_Record->m_Renderer->GetActiveCamera();
  const double scale = camera->GetParallelScale();
  EXPECT_EQ(RW_OnMouseWheel(Id(), 0, WinPoint{100, 80}, 2), 1);
  EXPECT_LT(camera->GetParallelScale(), scale);
  EXPECT_EQ(m_Invalidated, 1);
  EXPECT_EQ(RW_OnTimer(Id(), 1000), 1);
}

}  // namespace
