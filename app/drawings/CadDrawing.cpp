#include "CadDrawing.h"

#include <algorithm>
#include <cmath>

CCadDrawing::CCadDrawing() {
  m_Layers.push_back({0, "0", 7, true, false});
}

int CCadDrawing::AddLayer(const std::string& name, int color) {
  if (CadLayer* existing = GetLayerByName(name)) return existing->id;
  const int id = m_Layers.back().id + 1;
  m_Layers.push_back({id, name, color, true, false});
  return id;
}

CadLayer* CCadDrawing::GetLayerByName(const std::string& name) {
  for (CadLayer& layer : m_Layers)
    if (layer.name == name) return &layer;
  return nullptr;
}

CadLayer* CCadDrawing::GetLayerByID(int id) {
  for (CadLayer& layer : m_Layers)
    if (layer.id == id) return &layer;
  return nullptr;
}

unsigned CCadDrawing::AddEntity(CadEntity entity) {
  entity.id = m_NextId++;
  m_EntityIndex[entity.id] = m_Entities.size();
  m_Entities.push_back(std::move(entity));
  return m_Entities.back().id;
}

CadEntity* CCadDrawing::GetEntityByID(unsigned id) {
  const auto found = m_EntityIndex.find(id);
  return found == m_EntityIndex.end() ? nullptr : &m_Entities[found->second];
}

const CadEntity* CCadDrawing::GetEntityByID(unsigned id) const {
  const auto found = m_EntityIndex.find(id);
  return found == m_EntityIndex.end() ? nullptr : &m_Entities[found->second];
}

void CCadDrawing::EraseEntity(unsigned id) {
  if (CadEntity* entity = GetEntityByID(id)) entity->deleted = true;
}

int CCadDrawing::CountEntities() const {
  return static_cast<int>(std::count_if(m_Entities.begin(), m_Entities.end(),
                                        [](const CadEntity& entity) { return !entity.deleted; }));
}

int CCadDrawing::GetEntityColorIndex(const CadEntity& entity) const {
  if (entity.color != kCadColorByLayer) return entity.color;
  for (const CadLayer& layer : m_Layers)
    if (layer.id == entity.layerId) return layer.color;
  return 7;
}

bool CCadDrawing::GetEntityExtent(const CadEntity& entity, CadExtent& extent) {
  extent = CadExtent();
  switch (entity.type) {
    case CAD_CIRCLE:
    case CAD_ARC:
      if (!entity.vertices.empty()) {
        const CadPoint& c = entity.vertices[0];
        extent.Add(c.x - entity.radius, c.y - entity.radius);
        extent.Add(c.x + entity.radius, c.y + entity.radius);
      }
      break;
    case CAD_RECT:
      extent.Add(entity.centre.x - entity.width / 2, entity.centre.y - entity.height / 2);
      extent.Add(entity.centre.x + entity.width / 2, entity.centre.y + entity.height / 2);
      break;
    case CAD_IMAGE:
      if (!entity.vertices.empty() && entity.image) {
        const CadPoint& corner = entity.vertices[0];
        extent.Add(corner.x, corner.y);
        extent.Add(corner.x + entity.image->Width() * entity.unitsPerPixelX,
                   corner.y + entity.image->Height() * entity.unitsPerPixelY);
      }
      break;
    default:
      for (const CadPoint& vertex : entity.vertices) extent.Add(vertex.x, vertex.y);
  }
  return extent.IsValid();
}

bool CCadDrawing::GetExtents(CadExtent& extents) const {
  extents = CadExtent();
  for (const CadEntity& entity : m_Entities) {
    CadExtent extent;
    if (entity.deleted || !entity.visible || !GetEntityExtent(entity, extent)) continue;
    extents.Add(extent.left, extent.bottom);
    extents.Add(extent.right, extent.top);
  }
  return extents.IsValid();
}

namespace {

unsigned Rgb(double r, double g, double b) {
  return unsigned(r) | unsigned(g) << 8 | unsigned(b) << 16;
}

// Indices 10-249: 24 hues 15 degrees apart, each in five brightnesses, full and half
// saturated.
unsigned HueColor(int index) {
  static const double kValues[5] = {255, 204, 153, 127, 76};
  const double hue = (index / 10 - 1) * 15.0;
  const double value = kValues[(index % 10) / 2];
  const double low = index % 2 ? value / 2 : 0;
  const double sector = hue / 60.0;
  const int part = static_cast<int>(sector);
  const double rising = low + (value - low) * (sector - part);
  const double falling = value - (value - low) * (sector - part);
  switch (part) {
    case 0:
      return Rgb(value, rising, low);
    case 1:
      return Rgb(falling, value, low);
    case 2:
      return Rgb(low, value, rising);
    case 3:
      return Rgb(low, falling, value);
    case 4:
      return Rgb(rising, low, value);
    default:
      return Rgb(value, low, falling);
  }
}

}  // namespace

unsigned CadGetColor(int index) {
  static const unsigned kFirst[10] = {Rgb(255, 255, 255), Rgb(255, 0, 0),     Rgb(255, 255, 0),
                                      Rgb(0, 255, 0),     Rgb(0, 255, 255),   Rgb(0, 0, 255),
                                      Rgb(255, 0, 255),   Rgb(255, 255, 255), Rgb(128, 128, 128),
                                      Rgb(192, 192, 192)};
  static const double kGreys[6] = {51, 91, 132, 173, 214, 255};
  if (index >= 0 && index < 10) return kFirst[index];
  if (index >= 10 && index < 250) return HueColor(index);
  if (index >= 250 && index < 256)
    return Rgb(kGreys[index - 250], kGreys[index - 250], kGreys[index - 250]);
  return Rgb(255, 255, 255);
}
