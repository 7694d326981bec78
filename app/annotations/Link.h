// A link: an outside resource (a web address, a document, an image, 3D models, a media file,
// a recorded audio note, an orthophoto, a CAD drawing, an elevation model or a Vantel model)
// pinned to a point of the project's model, and the table of the link types.
#pragma once

#include <vtkActor.h>
#include <vtkSmartPointer.h>

#include <string>

#include "nimbex/platform/Geometry.h"

enum LinkType {
  LINK_NONE = -1,
  LINK_WEB = 0,
  LINK_FILE = 1,
  LINK_IMAGE = 2,
  LINK_MODEL = 3,
  LINK_MEDIA = 4,
  LINK_AUDIO = 5,
  LINK_ORTHOPHOTO = 6,
  LINK_CAD = 7,
  LINK_DEM = 8,
  LINK_VANTEL = 9,
};
constexpr int kLinkTypeCount = 10;

class CLink {
 public:
  virtual ~CLink() = default;

  // URL or file path; several model files are joined with ";". An embedded file's path is
  // relative to the project folder: ".\" then the path inside it (".\FileLink\plan.pdf").
  std::string m_Path;
  std::string m_Label;
  int m_Type = LINK_NONE;
  int m_Embedded = 0;
  // The anchor, in absolute model coordinates.
  Wml::Point3<double> m_Point;
  // The sphere marker in the 3D view.
  vtkSmartPointer<vtkActor> m_Actor;
};

// The name shown for a type ("Web Link" ... "Vantel Link"); empty outside 0-9.
const char* LinkTypeName(int type);
// The marker colour of a type, r, g, b in 0-1; white outside 0-9.
void LinkTypeColor(int type, double rgb[3]);
