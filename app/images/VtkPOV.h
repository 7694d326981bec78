// One Point of View: a photograph whose camera is marked in the 3D view by a small cube with
// its viewing axis, placed and turned as the camera was, and whose thumbnail shows in a
// balloon while the mouse rests on the marker.
#pragma once

#include <vtkImageData.h>
#include <vtkLODActor.h>
#include <vtkSmartPointer.h>

#include <string>

#include "PovGeometry.h"
#include "nimbex/platform/Orientation.h"

class vtkPolyDataMapper;
class vtkRenderer;
struct RenderWindow;

// Marker colours: a photograph that passes the filters, one filtered out.
constexpr double kPassingMarkerColour[3] = {0.4, 1.0, 0.1};
constexpr double kFilteredMarkerColour[3] = {1.0, 1.0, 0.1};

class CVtkPOV {
 public:
  // The photograph `imagePath` seen in the window `window` (its renderer draws the marker).
  CVtkPOV(RenderWindow* window, std::string imagePath, const COrientation& orientation);
  ~CVtkPOV();
  CVtkPOV(const CVtkPOV&) = delete;
  CVtkPOV& operator=(const CVtkPOV&) = delete;

  // Builds the marker and, for an oriented photograph, shows it in the window. 0 without a
  // window or renderer.
  int BuildMarker();
  // The thumbnail shown in the marker's balloon with `text`; the marker must be built.
  void SetPicture(vtkImageData* picture, const std::string& text);
  vtkImageData* GetPicture() const { return m_Picture; }

  // Shown in the model: its marker, window and picture exist and both halves of its
  // orientation were read.
  bool IsOriented() const;
  // 1 filtered out, 0 passing; changes the colour of an oriented marker only.
  void SetFiltered(int filtered);
  int GetFiltered() const { return m_Filtered; }
  // The size of the marker (1 draws the cube with an edge of 0.05).
  void SetMarkerScale(double scale);
  void SetVisible(bool visible);
  bool IsVisible() const;

  vtkLODActor* GetActor() const { return m_Actor; }
  const std::string& GetImagePath() const { return m_ImagePath; }
  const COrientation& GetOrientation() const { return m_Orientation; }
  // The camera centre in the window's coordinates.
  const double* GetCameraCentre() const { return m_CameraCentre; }

 private:
  void ApplyColour();
  void ApplyTransform();

  RenderWindow* m_Window;
  std::string m_ImagePath;
  COrientation m_Orientation;
  double m_CameraCentre[3] = {0, 0, 0};
  double m_Scale = 1;
  int m_Filtered = 0;
  vtkSmartPointer<vtkLODActor> m_Actor;
  vtkSmartPointer<vtkPolyDataMapper> m_Mapper;
  vtkSmartPointer<vtkImageData> m_Picture;
  bool m_InRenderer = false;
};

// A picture read with the VTK reader that its lower-cased extension names (".jpg", ".tif",
// ".png", ".bmp", ".pnm"); null for another extension or a file that cannot be read.
vtkSmartPointer<vtkImageData> ReadBalloonPicture(const std::string& path);
