// A host-style window (its own VTK window rendered off screen without multisampling, and an
// interactor) showing small streams of known points from the top, with the colour tables at
// their defaults, and the colours of the pixels it renders.
#pragma once

#include <gtest/gtest.h>
#include <vtkLogoWidget.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkUnsignedCharArray.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/support/StreamWriter.h"

struct TestPoint {
  Point3f position;
  uint8_t pointClass = 0;
  Rgb color = {0, 0, 0};
  uint8_t pulse = 0;
  float intensity = 0;
  Point3f normal = {0, 0, 1};
};

// One item holding the points, with every attribute file; offset (1000, 2000, 300), bounds
// +- 8 around it, intensity range 0-255 and elevation range the z bounds.
inline TestStream PointStream(const std::vector<TestPoint>& points) {
  TestStream stream;
  stream.rgb = stream.rif = stream.cla = stream.pls = stream.norm = true;
  TestItem item;
  for (const TestPoint& p : points) {
    item.points.push_back(p.position);
    item.classes.push_back(p.pointClass);
    item.colors.push_back(p.color);
    item.pulses.push_back(p.pulse);
    item.intensities.push_back(p.intensity);
    item.normals.push_back(p.normal);
  }
  stream.items = {item};
  return stream;
}

class DrawnStream : public testing::Test {
 protected:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 160;

  void SetUp() override {
    InitStrmDll(BuiltInProfileReader);
    InitPulses(BuiltInProfileReader);
    m_Window->SetOffScreenRendering(1);
    m_Window->SetMultiSamples(0);
    m_Window->SetSize(kWidth, kHeight);
    m_Interactor->SetRenderWindow(m_Window);
    m_Record = CreateRenderWindow(Id(), m_Window, m_Interactor, {});
    ASSERT_NE(m_Record, nullptr);
    // Two defects of the window module seen under repeated windows in one process: a new
    // renderer can keep a 1:1 aspect (VTK's ComputeAspect cache is not reliably initialised),
    // which shifts CoordModelToWin, and the logo without an image now and then darkens the
    // whole frame. Neither concerns what the drawing pass reads or colours.
    m_Record->m_Renderer->SetAspect(double(kWidth) / kHeight, 1.0);
    m_Record->m_Logo->EnabledOff();
  }
  void TearDown() override {
    DestroyRenderWindow(Id());
    InitStrmDll(nullptr);
  }

  WindowId Id() const { return this; }

  std::string Write(const TestStream& stream, const std::string& name = "points.strm") {
    const std::string path = (m_Folder / name).string();
    WriteTestStream(path, stream);
    return path;
  }

  // Opens the stream in the window with points 5 pixels wide.
  CNimbex* Show(const TestStream& stream, const std::string& name = "points.strm") {
    CNimbex* cloud = AddSpCloud(Write(stream, name).c_str(), Id(), 0);
    if (cloud) cloud->SetPointSize(5);
    return cloud;
  }

  void Draw() { DrawSpClouds(Id(), nullptr, nullptr, nullptr, nullptr); }

  // The colour (0x00BBGGRR) of a window pixel, y downwards.
  unsigned int PixelAt(WinPoint pixel) {
    vtkNew<vtkUnsignedCharArray> rgb;
    const int row = kHeight - 1 - pixel.y;
    m_Window->GetPixelData(pixel.x, row, pixel.x, row, 0, rgb);
    return rgb->GetValue(0) | rgb->GetValue(1) << 8 | rgb->GetValue(2) << 16;
  }

  // The pixel where a point of the stream (relative coordinates) is drawn.
  WinPoint PixelOf(const CNimbex* cloud, const Point3f& p) {
    double offset[3], scene[3];
    cloud->GetOffset(offset);
    for (int axis = 0; axis < 3; ++axis)
      scene[axis] = p[axis] + offset[axis] - m_Record->m_Center[axis];
    WinPoint pixel;
    EXPECT_EQ(CoordModelToWin(m_Record, scene, &pixel), 1);
    return pixel;
  }
  unsigned int ColorOf(const CNimbex* cloud, const Point3f& p) {
    return PixelAt(PixelOf(cloud, p));
  }
  // The background on the same row, at the right edge where nothing is drawn (the gradient
  // changes from row to row).
  unsigned int BackgroundBeside(const CNimbex* cloud, const Point3f& p) {
    return PixelAt({kWidth - 1, PixelOf(cloud, p).y});
  }

  ScratchFolder m_Folder;
  vtkNew<vtkRenderWindow> m_Window;
  vtkNew<vtkRenderWindowInteractor> m_Interactor;
  RenderWindow* m_Record = nullptr;
};
