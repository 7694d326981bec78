#include <vtkActorCollection.h>
#include <vtkRenderer.h>

#include "nimbex/access/Nimbex.h"
#include "tests/window/HostWindow.h"

namespace {

using RenderWindowTest = HostWindow;

TEST_F(RenderWindowTest, KeepsOneStreamPerFileAndForgetsRemovedOnes) {
  const std::string first = WriteStream("first.strm", {{0, 0, 0}});
  const std::string second = WriteStream("second.strm", {{1, 1, 0}});
  const int other = 0;
  EXPECT_EQ(AddSpCloud(first.c_str(), &other, 0), nullptr);  // on screen needs the host's window
  EXPECT_EQ(GetRenderWindow(&other), nullptr);

  CNimbex* cloud = AddSpCloud(first.c_str(), Id(), 0);
  ASSERT_NE(cloud, nullptr);
  EXPECT_EQ(AddSpCloud(first.c_str(), Id(), 0), nullptr);
  EXPECT_EQ(AddSpCloud((m_Folder / "missing.strm").c_str(), Id(), 0), nullptr);
  CNimbex* kept = AddSpCloud(second.c_str(), Id(), 0);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(m_Record->m_Clouds, (std::vector<CNimbex*>{cloud, kept}));

  int index = -1;
  EXPECT_EQ(GetSpCloud(Id(), second.c_str(), &index), kept);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(GetRenderWindow(m_Window.Get()), m_Record);
  RenderWindow** windows = nullptr;
  int count = 0;
  ASSERT_EQ(GetRenderWindows(kept, windows, count), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(windows[0], m_Record);
  delete[] windows;

  // Another object of the same file is not this window's stream.
  CNimbex stranger(second.c_str());
  CNimbex* strangerPointer = &stranger;
  EXPECT_EQ(RemoveSpCloud(strangerPointer, Id()), 0);
  EXPECT_EQ(GetSpCloud(Id(), second.c_str()), kept);

  const int actors = m_Record->m_Renderer->GetActors()->GetNumberOfItems();
  CNimbex* removed = cloud;
  ASSERT_EQ(RemoveSpCloud(removed, Id()), 1);
  EXPECT_EQ(removed, nullptr);
  EXPECT_EQ(m_Record->m_Renderer->GetActors()->GetNumberOfItems(), actors - 1);
  EXPECT_EQ(GetSpCloud(Id(), first.c_str()), nullptr);
  EXPECT_EQ(GetRenderWindows(nullptr, windows, count), 0);
}

TEST_F(RenderWindowTest, CentresTheWindowOnTheUnionOfItsStreams) {
  ASSERT_NE(AddSpCloud(WriteStream("a.strm", {{0, 0, 0}}, 1000, 2000, 300).c_str(), Id(), 0),
            nullptr);
  ASSERT_NE(AddSpCloud(WriteStream("b.strm", {{0, 0, 0}}, 1100, 1900, 340).c_str(), Id(), 0),
            nullptr);
  // Absolute bounds: x 992..1108, y 1892..2008, z 292..348.
  EXPECT_DOUBLE_EQ(m_Record->m_Center[0], 1050);
  EXPECT_DOUBLE_EQ(m_Record->m_Center[1], 1950);
  EXPECT_DOUBLE_EQ(m_Record->m_Center[2], 320);
}

TEST_F(RenderWindowTest, PositionSpansTheVtkWindow) {
  SetWinPosition(Id(), WinRect{10, 20, 649, 499});
  const WinRect rect = GetWinPosition(Id());
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right, 649);
  EXPECT_EQ(rect.bottom, 499);
  EXPECT_EQ(m_Window->GetSize()[0], 640);

  SetWinPosition(Id(), WinRect{10, 20, 5, 499});  // no pixels: refused
  EXPECT_EQ(GetWinPosition(Id()).right, 649);
  const int other = 0;
  EXPECT_EQ(GetWinPosition(&other).right, 0);
}

// The library's own window: the picture lands in the caller's image at the window position,
// black is transparent, and pixels convert to scene points and back.
TEST_F(RenderWindowTest, OffScreenWindowPaintsIntoTheCallersImage) {
  const int id = 0;
  CNimbex* cloud = AddSpCloud(WriteStream("top.strm", {{-4, -4, 0}, {4, 4, 0}}).c_str(), &id, 1);
  ASSERT_NE(cloud, nullptr);
  RenderWindow* window = GetRenderWindow(&id);
  EXPECT_EQ(window->m_OffScreen, 1);
  EXPECT_EQ(window->m_Interactor, nullptr);
  SetWinPosition(window, WinRect{5, 4, 84, 63});
  cloud->SetViewRect(2008, 992, 1992, 1008);
  window->m_Renderer->GradientBackgroundOff();
  window->m_Renderer->SetBackground(0, 0, 0);

  WinImage image;
  image.Resize(100, 80);
  std::fill(image.rgb.begin(), image.rgb.end(), 9);
  const int renders = iRenderProc;
  DrawSpClouds(&id, &image, nullptr, cloud, nullptr);
  EXPECT_EQ(iRenderProc, renders + 1);
  int painted = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const unsigned char* rgb = image.Pixel(x, y);
      if (rgb[0] == 9 && rgb[1] == 9 && rgb[2] == 9) continue;
      ++painted;
      EXPECT_TRUE(x >= 5 && x <= 84 && y >= 4 && y <= 63) << x << "," << y;
    }
  EXPECT_GT(painted, 0);
  EXPECT_LT(painted, 20);

  WinImage empty;
  window->m_Drawing = 1;  // a paint while loading is refused
  DrawSpClouds(&id, &empty, nullptr, cloud, nullptr);
  EXPECT_EQ(empty.width, 0);
  window->m_Drawing = 0;
  DrawSpClouds(&id, &empty, nullptr, cloud, nullptr);
  EXPECT_EQ(empty.width, 85);
  EXPECT_EQ(empty.height, 64);

  WinPoint pixel{40, 30}, back;
  double scene[3];
  ASSERT_EQ(CoordWinToModel(window, pixel, scene), 1);
  // The view rectangle is absolute and taller than wide for this window: 16 / 59 per pixel.
  EXPECT_NEAR(scene[0], 40 * 16.0 / 59 - 8, 1e-9);
  EXPECT_NEAR(scene[1], 8 - 30 * 16.0 / 59, 1e-9);
  ASSERT_EQ(CoordModelToWin(window, scene, &back), 1);
  EXPECT_EQ(back.x, 40);
  EXPECT_EQ(back.y, 30);
  DestroyRenderWindow(&id);
  EXPECT_EQ(GetRenderWindow(&id), nullptr);
}

}  // namespace
