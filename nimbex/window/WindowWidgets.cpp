// The overlays of an on-screen window: balloon tips, a logo, a colour legend (shown on
// demand) and the axes in the lower-left corner.
#include <vtkAxesActor.h>
#include <vtkBalloonRepresentation.h>
#include <vtkBalloonWidget.h>
#include <vtkLogoRepresentation.h>
#include <vtkLogoWidget.h>
#include <vtkLookupTable.h>
#include <vtkOrientationMarkerWidget.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarBarRepresentation.h>
#include <vtkScalarBarWidget.h>

#include "nimbex/window/RenderWindow.h"
#include "nimbex/window/WindowInternal.h"

namespace {

void CreateBalloon(RenderWindow* window) {
  window->m_BalloonRep = vtkBalloonRepresentation::New();
  window->m_BalloonRep->SetBalloonLayoutToImageRight();
  window->m_Balloon = vtkBalloonWidget::New();
  window->m_Balloon->SetInteractor(window->m_Interactor);
  window->m_Balloon->SetDefaultRenderer(window->m_Renderer);
  window->m_Balloon->SetRepresentation(window->m_BalloonRep);
  window->m_Balloon->EnabledOn();
}

// Left disabled until the host gives the representation an image to show: without one,
// VTK draws the logo as a quad of undefined size that can cover the view and its depth.
void CreateLogo(RenderWindow* window) {
  window->m_LogoRep = vtkLogoRepresentation::New();
  window->m_Logo = vtkLogoWidget::New();
  window->m_Logo->SetInteractor(window->m_Interactor);
  window->m_Logo->SetDefaultRenderer(window->m_Renderer);
  window->m_Logo->SetRepresentation(window->m_LogoRep);
}

// Created disabled: the host shows the legend when a colour mode needs it.
void CreateScalarBar(RenderWindow* window) {
  window->m_ScalarBarLut = vtkLookupTable::New();
  window->m_ScalarBarLut->SetHueRange(0.6667, 0.0);
  window->m_ScalarBarLut->SetSaturationRange(1.0, 1.0);
  window->m_ScalarBarLut->SetValueRange(1.0, 1.0);
  window->m_ScalarBarLut->Build();
  window->m_ScalarBar = vtkScalarBarWidget::New();
  window->m_ScalarBar->SetInteractor(window->m_Interactor);
  window->m_ScalarBar->SetDefaultRenderer(window->m_Renderer);
  vtkScalarBarActor* bar = window->m_ScalarBar->GetScalarBarActor();
  bar->SetLookupTable(window->m_ScalarBarLut);
  bar->SetLabelFormat("%.3f");
  // The representation places the bar; its second corner is the bar's size.
  window->m_ScalarBar->GetScalarBarRepresentation()->SetPosition2(0.12, 0.28);
  window->m_ScalarBar->EnabledOff();
}

void CreateAxes(RenderWindow* window) {
  vtkAxesActor* axes = vtkAxesActor::New();
  axes->SetXAxisLabelText("x");
  axes->SetYAxisLabelText("y");
  axes->SetZAxisLabelText("z");
  axes->SetShaftTypeToCylinder();
  axes->SetTotalLength(2.5, 2.5, 2.5);
  axes->SetConeRadius(axes->GetConeRadius() * 1.025);
  axes->SetSphereRadius(axes->GetSphereRadius() * 1.5);
  axes->SetCylinderRadius(axes->GetCylinderRadius() * 0.5);
  axes->SetPosition(0.0, 0.0, 0.0);
  window->m_Axes = axes;

  window->m_AxesWidget = vtkOrientationMarkerWidget::New();
  window->m_AxesWidget->SetOutlineColor(0.93, 0.57, 0.13);
  window->m_AxesWidget->SetOrientationMarker(axes);
  window->m_AxesWidget->SetInteractor(window->m_Interactor);
  window->m_AxesWidget->SetDefaultRenderer(window->m_Renderer);
  window->m_AxesWidget->SetViewport(0.0, 0.0, 0.2, 0.2);
  window->m_AxesWidget->SetEnabled(1);
}

// Disables the widget (taking its observers and overlays off the host's window) and
// releases it.
template <class Widget>
void ReleaseWidget(Widget*& widget) {
  if (!widget) return;
  widget->SetEnabled(0);
  widget->SetInteractor(nullptr);
  widget->Delete();
  widget = nullptr;
}

template <class Object>
void Release(Object*& object) {
  if (object) object->Delete();
  object = nullptr;
}

}  // namespace

void CreateWindowWidgets(RenderWindow* window) {
  CreateBalloon(window);
  CreateLogo(window);
  CreateScalarBar(window);
  CreateAxes(window);
}

void ReleaseWindowWidgets(RenderWindow* window) {
  ReleaseWidget(window->m_Balloon);
  Release(window->m_BalloonRep);
  ReleaseWidget(window->m_Logo);
  Release(window->m_LogoRep);
  ReleaseWidget(window->m_ScalarBar);
  Release(window->m_ScalarBarLut);
  ReleaseWidget(window->m_AxesWidget);
  Release(window->m_Axes);
}
