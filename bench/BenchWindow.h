// The window the drawing benchmarks draw in: an off-screen VTK window of a given size with
// the library's render window record on it and one stream opened in it.
#pragma once

#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>

#include <cstdio>
#include <filesystem>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

class CBenchWindow {
 public:
  CBenchWindow(const std::filesystem::path& strm, int width, int height) {
    m_VtkWindow->SetOffScreenRendering(1);
    m_VtkWindow->SetMultiSamples(0);
    m_VtkWindow->SetSize(width, height);
    m_Interactor->SetRenderWindow(m_VtkWindow);
    m_Window = CreateRenderWindow(&m_Tag, m_VtkWindow, m_Interactor, {});
    m_Cloud = m_Window ? AddSpCloud(strm.c_str(), &m_Tag, 0) : nullptr;
    if (!m_Cloud) std::fprintf(stderr, "cannot draw %s\n", strm.c_str());
  }
  ~CBenchWindow() { DestroyRenderWindow(&m_Tag); }
  CBenchWindow(const CBenchWindow&) = delete;
  CBenchWindow& operator=(const CBenchWindow&) = delete;

  // The window's id for the library's window functions.
  WindowId Id() const { return &m_Tag; }
  RenderWindow* Get() const { return m_Window; }
  vtkRenderWindow* GetVtkWindow() const { return m_VtkWindow; }
  // The stream, null when it could not be opened.
  CNimbex* Cloud() const { return m_Cloud; }

 private:
  const int m_Tag = 0;
  vtkNew<vtkRenderWindow> m_VtkWindow;
  vtkNew<vtkRenderWindowInteractor> m_Interactor;
  RenderWindow* m_Window = nullptr;
  CNimbex* m_Cloud = nullptr;
};
