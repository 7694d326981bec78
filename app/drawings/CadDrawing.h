// The drawing shown in the drawing pane: layers and entities in drawing units, which are model
// units. Entity ids are given once and stay the entity's for the life of the drawing; colours
// are CAD colour indices (1-255, with 256 meaning "the colour of the entity's layer").
#pragma once

#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Entity type codes. Point, line, polyline and rectangle are the types shown in the 3D view.
enum CadEntityType {
  CAD_POINT = 1,
  CAD_LINE = 2,
  CAD_POLYLINE = 3,
  CAD_CIRCLE = 4,
  CAD_ARC = 5,
  CAD_TEXT = 6,
  CAD_IMAGE = 7,
  CAD_RECT = 18,
};

constexpr int kCadColorByLayer = 256;

struct CadPoint {
  double x = 0, y = 0, z = 0;
};

// Left, bottom, right and top in drawing units (y grows upwards).
struct CadExtent {
  double left = HUGE_VAL, bottom = HUGE_VAL, right = -HUGE_VAL, top = -HUGE_VAL;
  void Add(double x, double y) {
    left = std::min(left, x), right = std::max(right, x);
    bottom = std::min(bottom, y), top = std::max(top, y);
  }
  bool IsValid() const { return left <= right && bottom <= top; }
};

// The pixels of an image entity (a photograph, an orthophoto, the picture of an elevation
// model). A source may hold coarser copies of its picture; the pane asks for the part it
// shows at the detail the zoom needs.
class CCadImageSource {
 public:
  virtual ~CCadImageSource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The pixels of `region` (full-resolution pixels, rows counted from the top), at no more
  // than `scale` picture pixels per full-resolution pixel (scale <= 1). A null image when the
  // pixels cannot be read.
  virtual QImage Region(const QRect& region, double scale) = 0;
};

struct CadLayer {
  int id = 0;
  std::string name;
  int color = 7;
  bool visible = true;
  bool locked = false;
};

struct CadEntity {
  unsigned id = 0;
  int type = CAD_POINT;
  int layerId = 0;
  int color = kCadColorByLayer;
  bool deleted = false;
  bool visible = true;
  int userData = 0;
  // Point: one vertex; line: two; polyline: its vertices (the first is not repeated for a
  // closed one); circle and arc: the centre.
  std::vector<CadPoint> vertices;
  bool closed = false;
  // Circle and arc: radius and, for an arc, the angles in degrees counter-clockwise from +x.
  double radius = 0, startAngle = 0, endAngle = 0;
  // Rectangle: centre, width and height.
  CadPoint centre;
  double width = 0, height = 0;
  // Text: its string, height and angle (degrees counter-clockwise from +x), placed at
  // vertices[0]. A height of 0 is unknown: the pane draws such a text at a fixed size.
  std::string text;
  double textHeight = 0;
  double textAngle = 0;
  // The handle the entity had in the file it was read from (empty for new entities).
  std::string handle;
  // Image: lower-left corner at vertices[0], drawing units per pixel, the file it came from
  // and its pixels.
  double unitsPerPixelX = 1, unitsPerPixelY = 1;
  std::string imageFile;
  std::shared_ptr<CCadImageSource> image;
};

class CCadDrawing {
 public:
  CCadDrawing();

  // Layer "0" exists in every drawing (id 0).
  int AddLayer(const std::string& name, int color);
  CadLayer* GetLayerByName(const std::string& name);
  CadLayer* GetLayerByID(int id);
  const std::vector<CadLayer>& GetLayers() const { return m_Layers; }
  int CountLayers() const { return static_cast<int>(m_Layers.size()); }
  void SetCurLayer(int id) { m_CurLayer = id; }
  int GetCurLayer() const { return m_CurLayer; }

  // Adds an entity (its id is set here) and returns its id.
  unsigned AddEntity(CadEntity entity);
  CadEntity* GetEntityByID(unsigned id);
  const CadEntity* GetEntityByID(unsigned id) const;
  // Entities in the order they were added, erased ones included (marked deleted).
  const std::vector<CadEntity>& GetEntities() const { return m_Entities; }
  void EraseEntity(unsigned id);
  // Entities not erased.
  int CountEntities() const;

  // The colour index an entity is drawn in: its own, or its layer's for 256.
  int GetEntityColorIndex(const CadEntity& entity) const;
  // The extent of an entity in drawing units; false for an entity without geometry.
  static bool GetEntityExtent(const CadEntity& entity, CadExtent& extent);
  // The extent of every visible entity; false for a drawing without any.
  bool GetExtents(CadExtent& extents) const;

  bool IsDirty() const { return m_Dirty; }
  void PutDirty(bool dirty) { m_Dirty = dirty; }
  bool IsReadOnly() const { return m_ReadOnly; }
  void PutReadOnly(bool readOnly) { m_ReadOnly = readOnly; }
  const std::string& GetFileName() const { return m_FileName; }
  void SetFileName(const std::string& fileName) { m_FileName = fileName; }

 private:
  std::vector<CadLayer> m_Layers;
  std::vector<CadEntity> m_Entities;
  std::map<unsigned, size_t> m_EntityIndex;
  unsigned m_NextId = 1;
  int m_CurLayer = 0;
  bool m_Dirty = false;
  bool m_ReadOnly = false;
  std::string m_FileName;
};

// The standard 256-entry CAD colour index table, as a colour value 0x00BBGGRR (red in the low
// byte). Index 7 is white (the pane's background is dark). Index 0 (by block) and 256 (by
// layer) have no colour of their own: they give white.
unsigned CadGetColor(int index);
