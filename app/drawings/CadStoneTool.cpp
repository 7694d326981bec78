#include "CadStoneTool.h"

#include <cmath>
#include <cstdio>

#include "CadOrthoData.h"

namespace {

const char* const kTempLayer = "StoneTemp";
const char* const kStonesLayer = "Stones";

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

}  // namespace

void CCadStoneTool::SetDrawing(CCadDrawing* drawing) {
  if (drawing == m_Drawing) return;
  m_Drawing = drawing;
  m_Image = m_Outline = 0;
}

void CCadStoneTool::CreateLayers() {
  m_Drawing->AddLayer(kTempLayer, 4);
  m_Drawing->AddLayer(kStonesLayer, 2);
}

const CadEntity* CCadStoneTool::FindOrthophoto(double x, double y, int& column, int& row) const {
  if (!m_Drawing) return nullptr;
  const std::vector<CadEntity>& entities = m_Drawing->GetEntities();
  // The last one added is drawn on top.
  for (auto entity = entities.rbegin(); entity != entities.rend(); ++entity)
    if (!entity->deleted && entity->visible && entity->userData == kOrthophotoUserData &&
        GetImagePixel(*entity, x, y, column, row))
      return &*entity;
  return nullptr;
}

int CCadStoneTool::Seed(double x, double y, bool dropPrevious) {
  int column = 0, row = 0;
  const CadEntity* image = FindOrthophoto(x, y, column, row);
  if (!image) return 0;
  CreateLayers();
  if (CadEntity* previous = m_Drawing->GetEntityByID(m_Outline)) {
    if (dropPrevious)
      m_Drawing->EraseEntity(m_Outline);
    else
      previous->layerId = m_Drawing->GetLayerByName(kStonesLayer)->id;
    m_Outline = 0;
  }
  m_Image = image->id;
  m_SeedColumn = column;
  m_SeedRow = row;
  Outline();
  return 1;
}

int CCadStoneTool::Wheel(int delta) {
  if (delta == 0) return 0;
  const int steps = (delta > 0 ? 1 : -1) * (std::abs(delta) > 120 ? 2 : 1);
  if (m_Tolerance.loDiff + steps <= 0 || m_Tolerance.upDiff + steps >= 254) return 0;
  m_Tolerance.loDiff += steps;
  m_Tolerance.upDiff += steps;
  if (m_Drawing && m_Drawing->GetEntityByID(m_Image)) Outline();
  return 1;
}

void CCadStoneTool::SetReferenceRadius(double radius) {
  m_ReferenceArea = 2 * radius * radius;
  m_ReferenceLength = 3 * radius;
  m_Status = Format("Stone size: reference area %.4g, smallest area %.4g, reference length %.4g",
                    GetReferenceArea(), GetSmallestArea(), GetReferenceLength());
}

void CCadStoneTool::Outline() {
  if (m_Outline) m_Drawing->EraseEntity(m_Outline);
  m_Outline = 0;
  const CadEntity* image = m_Drawing->GetEntityByID(m_Image);
  std::vector<CadPoint> outline =
      image ? OutlineStone(*image, m_SeedColumn, m_SeedRow, m_Tolerance) : std::vector<CadPoint>();
  m_Status = Format("Stone: tolerance -%.0f/+%.0f", m_Tolerance.loDiff, m_Tolerance.upDiff);
  if (outline.empty()) {
    m_Status += ", no outline: turn the wheel forward to widen the tolerance";
    return;
  }
  const double area = OutlineArea(outline);
  m_Status += Format(", area %.4g", area);
  if (m_ReferenceArea > 0)
    m_Status += Format(" (reference %.4g, smallest %.4g)", m_ReferenceArea, GetSmallestArea());
  CadEntity polyline;
  polyline.type = CAD_POLYLINE;
  polyline.layerId = m_Drawing->GetLayerByName(kTempLayer)->id;
  polyline.vertices = std::move(outline);
  polyline.closed = true;
  m_Outline = m_Drawing->AddEntity(std::move(polyline));
  m_Drawing->PutDirty(true);
}
