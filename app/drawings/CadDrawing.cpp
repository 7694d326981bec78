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

unsigned Rgb(unsigned r, unsigned g, unsigned b) {
  return r | g << 8 | b << 16;
}

// Indices 10-255 as 0xRRGGBB: 24 hues 15 degrees apart, each in five brightnesses, full and
// half saturated, then six greys.
const unsigned kIndexColors[246] = {
    0xff0000, 0xff7f7f, 0xa50000, 0xa55252, 0x7f0000, 0x7f3f3f, 0x4c0000, 0x4c2626, 0x260000,
    0x261313, 0xff3f00, 0xff9f7f, 0xa52900, 0xa56752, 0x7f1f00, 0x7f4f3f, 0x4c1300, 0x4c2f26,
    0x260900, 0x261713, 0xff7f00, 0xffbf7f, 0xa55200, 0xa57c52, 0x7f3f00, 0x7f5f3f, 0x4c2600,
    0x4c3926, 0x261300, 0x261c13, 0xffbf00, 0xffdf7f, 0xa57c00, 0xa59152, 0x7f5f00, 0x7f6f3f,
    0x4c3900, 0x4c4226, 0x261c00, 0x262113, 0xffff00, 0xffff7f, 0xa5a500, 0xa5a552, 0x7f7f00,
    0x7f7f3f, 0x4c4c00, 0x4c4c26, 0x262600, 0x262613, 0xbfff00, 0xdfff7f, 0x7ca500, 0x91a552,
    0x5f7f00, 0x6f7f3f, 0x394c00, 0x424c26, 0x1c2600, 0x212613, 0x7fff00, 0xbfff7f, 0x52a500,
    0x7ca552, 0x3f7f00, 0x5f7f3f, 0x264c00, 0x394c26, 0x132600, 0x1c2613, 0x3fff00, 0x9fff7f,
    0x29a500, 0x67a552, 0x1f7f00, 0x4f7f3f, 0x134c00, 0x2f4c26, 0x092600, 0x172613, 0x00ff00,
    0x7fff7f, 0x00a500, 0x52a552, 0x007f00, 0x3f7f3f, 0x004c00, 0x264c26, 0x002600, 0x132613,
    0x00ff3f, 0x7fff9f, 0x00a529, 0x52a567, 0x007f1f, 0x3f7f4f, 0x004c13, 0x264c2f, 0x002609,
    0x132617, 0x00ff7f, 0x7fffbf, 0x00a552, 0x52a57c, 0x007f3f, 0x3f7f5f, 0x004c26, 0x264c39,
    0x002613, 0x13261c, 0x00ffbf, 0x7fffdf, 0x00a57c, 0x52a591, 0x007f5f, 0x3f7f6f, 0x004c39,
    0x264c42, 0x00261c, 0x132621, 0x00ffff, 0x7fffff, 0x00a5a5, 0x52a5a5, 0x007f7f, 0x3f7f7f,
    0x004c4c, 0x264c4c, 0x002626, 0x132626, 0x00bfff, 0x7fdfff, 0x007ca5, 0x5291a5, 0x005f7f,
    0x3f6f7f, 0x00394c, 0x26424c, 0x001c26, 0x132126, 0x007fff, 0x7fbfff, 0x0052a5, 0x527ca5,
    0x003f7f, 0x3f5f7f, 0x00264c, 0x26394c, 0x001326, 0x131c26, 0x003fff, 0x7f9fff, 0x0029a5,
    0x5267a5, 0x001f7f, 0x3f4f7f, 0x00134c, 0x262f4c, 0x000926, 0x131726, 0x0000ff, 0x7f7fff,
    0x0000a5, 0x5252a5, 0x00007f, 0x3f3f7f, 0x00004c, 0x26264c, 0x000026, 0x131326, 0x3f00ff,
    0x9f7fff, 0x2900a5, 0x6752a5, 0x1f007f, 0x4f3f7f, 0x13004c, 0x2f264c, 0x090026, 0x171326,
    0x7f00ff, 0xbf7fff, 0x5200a5, 0x7c52a5, 0x3f007f, 0x5f3f7f, 0x26004c, 0x39264c, 0x130026,
    0x1c1326, 0xbf00ff, 0xdf7fff, 0x7c00a5, 0x9152a5, 0x5f007f, 0x6f3f7f, 0x39004c, 0x42264c,
    0x1c0026, 0x211326, 0xff00ff, 0xff7fff, 0xa500a5, 0xa552a5, 0x7f007f, 0x7f3f7f, 0x4c004c,
    0x4c264c, 0x260026, 0x261326, 0xff00bf, 0xff7fdf, 0xa5007c, 0xa55291, 0x7f005f, 0x7f3f6f,
    0x4c0039, 0x4c2642, 0x26001c, 0x261321, 0xff007f, 0xff7fbf, 0xa50052, 0xa5527c, 0x7f003f,
    0x7f3f5f, 0x4c0026, 0x4c2639, 0x260013, 0x26131c, 0xff003f, 0xff7f9f, 0xa50029, 0xa55267,
    0x7f001f, 0x7f3f4f, 0x4c0013, 0x4c262f, 0x260009, 0x261317, 0x545454, 0x767676, 0x989898,
    0xbababa, 0xdcdcdc, 0xffffff,
};

}  // namespace

unsigned CadGetColor(int index) {
  static const unsigned kFirst[10] = {Rgb(255, 255, 255), Rgb(255, 0, 0),     Rgb(255, 255, 0),
                                      Rgb(0, 255, 0),     Rgb(0, 255, 255),   Rgb(0, 0, 255),
                                      Rgb(255, 0, 255),   Rgb(255, 255, 255), Rgb(128, 128, 128),
                                      Rgb(192, 192, 192)};
  if (index >= 0 && index < 10) return kFirst[index];
  if (index >= 10 && index < 256) {
    const unsigned rgb = kIndexColors[index - 10];
    return Rgb(rgb >> 16, (rgb >> 8) & 0xff, rgb & 0xff);
  }
  return Rgb(255, 255, 255);
}
