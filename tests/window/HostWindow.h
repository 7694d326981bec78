// A window the way the desktop program hands it over: its own VTK window (rendered off screen
// here, without multisampling so that colour and depth agree) and interactor, plus small
// streams of known points.
#pragma once

#include <gtest/gtest.h>
#include <vtkGenericRenderWindowInteractor.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>

#include <string>
#include <vector>

#include "nimbex/format/PointClasses.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/support/StreamWriter.h"

class HostWindow : public testing::Test {
 protected:
  void SetUp() override {
    InitStrmDll(nullptr);  // every class visible, as the host starts
    m_Window->SetOffScreenRendering(1);
    m_Window->SetMultiSamples(0);
    m_Window->SetSize(200, 160);
    m_Interactor->SetRenderWindow(m_Window);
    m_Record = CreateRenderWindow(Id(), m_Window, m_Interactor, [this] { ++m_Invalidated; });
    ASSERT_NE(m_Record, nullptr);
  }
  void TearDown() override { DestroyRenderWindow(Id()); }

  WindowId Id() const { return this; }

  // One item of points (relative to the offset) whose bounds are offset +- 8.
  std::string WriteStream(const std::string& name, const std::vector<Point3f>& points,
                          double x = 1000, double y = 2000, double z = 300) {
    TestStream stream;
    stream.offset[0] = x;
    stream.offset[1] = y;
    stream.offset[2] = z;
    stream.elevationRange[0] = z - 8;
    stream.elevationRange[1] = z + 8;
    TestItem item;
    item.points = points;
    stream.items = {item};
    const std::string path = (m_Folder / name).string();
    WriteTestStream(path, stream);
    return path;
  }

  ScratchFolder m_Folder;
  vtkNew<vtkRenderWindow> m_Window;
  vtkNew<vtkGenericRenderWindowInteractor> m_Interactor;
  RenderWindow* m_Record = nullptr;
  int m_Invalidated = 0;
};
