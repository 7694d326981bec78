// The 3D counterparts of the drawing's entities: one VTK actor per entity, drawn in the 3D
// view's scene coordinates (model coordinates less the window's centre) in the entity's colour.
// Points are drawn as vertices; lines, polylines and rectangles as a line through their
// vertices, which are drawn as vertices too.
#pragma once

#include <vtkActor.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkSmartPointer.h>

#include <memory>
#include <vector>

#include "CadDrawing.h"

class vtkEntity {
 public:
  virtual ~vtkEntity() = default;
  vtkEntity(const vtkEntity&) = delete;
  vtkEntity& operator=(const vtkEntity&) = delete;

  unsigned GetEntityId() const { return m_EntityId; }
  const CCadDrawing* GetDrawing() const { return m_Drawing; }
  vtkPolyData* GetPolyData() const { return m_PolyData; }
  vtkPolyDataMapper* GetMapper() const { return m_Mapper; }
  vtkActor* GetActor() const { return m_Actor; }

  static constexpr double kLineWidth = 2;
  static constexpr double kVertexSize = 5;

 protected:
  // The entity's colour index (its layer's for "by layer") as the actor's colour.
  vtkEntity(const CCadDrawing& drawing, const CadEntity& entity);
  // The geometry: `points` in model coordinates less `offset`; a line through them (back to
  // the first when `closed`) unless `line` is false; every point also a vertex.
  void SetGeometry(const std::vector<CadPoint>& points, const double offset[3], bool line,
                   bool closed);

 private:
  unsigned m_EntityId;
  const CCadDrawing* m_Drawing;
  vtkSmartPointer<vtkPolyData> m_PolyData;
  vtkSmartPointer<vtkPolyDataMapper> m_Mapper;
  vtkSmartPointer<vtkActor> m_Actor;
};

class vtkEntPoint : public vtkEntity {
 public:
  vtkEntPoint(const CCadDrawing& drawing, const CadEntity& entity, const double offset[3]);
};

// Lines (two vertices) and polylines; a closed polyline's line returns to its first vertex.
class vtkEntPolyline : public vtkEntity {
 public:
  vtkEntPolyline(const CCadDrawing& drawing, const CadEntity& entity, const double offset[3]);
};

// The four corners from the centre, width and height, at the centre's height, closed.
class vtkEntRect : public vtkEntity {
 public:
  vtkEntRect(const CCadDrawing& drawing, const CadEntity& entity, const double offset[3]);
};

// The counterpart of a point, line, polyline or rectangle with geometry; null for any other
// entity (circles, arcs, texts and images are not shown in 3D).
std::unique_ptr<vtkEntity> CreateVtkEntity(const CCadDrawing& drawing, const CadEntity& entity,
                                           const double offset[3]);
