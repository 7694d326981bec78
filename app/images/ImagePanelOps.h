// What the pages of the image panel ask of the panel: the filter page drives the filtering and
// the camera markers, the notes page reports that it was closed.
#pragma once

class CImagePanelOps {
 public:
  virtual ~CImagePanelOps() = default;

  // Filters the photographs against the current Point of View with the filter page's settings
  // and refreshes the thumbnails, the marker colours and the page's status text.
  virtual void ApplyFilters() = 0;
  virtual void ShowCameraPositions(bool show) = 0;
  virtual void ShowCurrentCameraView(bool show) = 0;
  virtual void ShowSphere(bool show) = 0;
  virtual void SetSphereRadius(double radius) = 0;
  virtual void HighlightCurrentView(bool highlight) = 0;
  // Slider position 0-100; each marker is scaled by position * (model size / 20).
  virtual void SetMarkerScale(int position) = 0;
  // A page hid itself (close or Escape): no tab is current any more.
  virtual void TabClosed() = 0;
};
