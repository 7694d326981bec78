// A stand-in for the image panel under its pages: it records what the pages ask of it and,
// when it is given the filter page, filters its photographs with the page's settings the way
// the panel does.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "FiltersDlg.h"
#include "ImagePanelOps.h"
#include "PovFilter.h"

class CFakeImagePanel : public CImagePanelOps {
 public:
  void ApplyFilters() override {
    ++applied;
    if (!filters) return;
    ApplyPovFilters(images, current, filters->Settings(), result);
    filters->SetStatusText(QString::fromStdString(result.status));
  }
  void ShowCameraPositions(bool show) override { camerasShown = show; }
  void ShowCurrentCameraView(bool show) override { currentViewShown = show; }
  void ShowSphere(bool show) override { sphereShown = show; }
  void SetSphereRadius(double radius) override { sphereRadius = radius; }
  void HighlightCurrentView(bool highlight) override { highlighted = highlight; }
  void SetMarkerScale(int position) override { markerScale = position; }
  void TabClosed() override { ++tabsClosed; }

  CFiltersDlg* filters = nullptr;
  std::vector<SPovImage> images;
  std::string current;
  SPovFilterResult result;

  int applied = 0;
  bool camerasShown = false, currentViewShown = true, sphereShown = false, highlighted = false;
  double sphereRadius = 0;
  int markerScale = -1;
  int tabsClosed = 0;
};
