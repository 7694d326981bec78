// The stone commands of the drawing pane, on its drawing and without widgets: the pane turns
// clicks, wheel notches and keys into these calls and shows GetStatus() in its status line.
//
// Fill stone: a click inside an orthophoto outlines the stone under it as a closed polyline on
// layer "StoneTemp" (colour index 4). The next click starts a new stone: the previous outline
// is kept on layer "Stones" (colour index 2), or dropped when Shift is held. The wheel widens
// (forward) or narrows (backward) both tolerances of the current stone and outlines it again.
//
// Stone size: a circle drawn by the user (centre, then a point on it) gives the reference sizes
// of the stones from its radius r: the reference area 2r², the smallest area, a tenth of that,
// and the reference length 3r. Each new outline's area is reported against them.
#pragma once

#include <string>

#include "CadDrawing.h"
#include "CadStoneFill.h"

class CCadStoneTool {
 public:
  explicit CCadStoneTool(CCadDrawing* drawing = nullptr) : m_Drawing(drawing) {}

  // Works on another drawing from now on: the current stone is the old drawing's; the
  // tolerances and reference sizes are kept.
  void SetDrawing(CCadDrawing* drawing);

  // Creates the layers "StoneTemp" and "Stones" if the drawing lacks them.
  void CreateLayers();

  // A click of the fill-stone command at a drawing point. 0 when the point lies outside every
  // orthophoto (or there is no drawing): nothing changes.
  int Seed(double x, double y, bool dropPrevious);
  // A wheel turn (Qt's angle delta: 120 per notch). 0 when the tolerances would leave their
  // limits (the lower one above 0, the upper one below 254) and are kept.
  int Wheel(int delta);

  // The stone-size circle.
  void SetReferenceRadius(double radius);
  double GetReferenceArea() const { return m_ReferenceArea; }
  double GetSmallestArea() const { return m_ReferenceArea / 10; }
  double GetReferenceLength() const { return m_ReferenceLength; }

  CadStoneTolerance& GetTolerance() { return m_Tolerance; }
  // The outline on "StoneTemp" (0 when none).
  unsigned GetCurrentOutline() const { return m_Outline; }
  const std::string& GetStatus() const { return m_Status; }

 private:
  const CadEntity* FindOrthophoto(double x, double y, int& column, int& row) const;
  void Outline();

  CCadDrawing* m_Drawing;
  CadStoneTolerance m_Tolerance;
  unsigned m_Image = 0;
  int m_SeedColumn = 0, m_SeedRow = 0;
  unsigned m_Outline = 0;
  double m_ReferenceArea = 0, m_ReferenceLength = 0;
  std::string m_Status;
};
