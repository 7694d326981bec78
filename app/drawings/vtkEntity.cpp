#include "vtkEntity.h"

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkProperty.h>

vtkEntity::vtkEntity(const CCadDrawing& drawing, const CadEntity& entity)
    : m_EntityId(entity.id),
      m_Drawing(&drawing),
      m_PolyData(vtkSmartPointer<vtkPolyData>::New()),
      m_Mapper(vtkSmartPointer<vtkPolyDataMapper>::New()),
      m_Actor(vtkSmartPointer<vtkActor>::New()) {
  m_Mapper->SetInputData(m_PolyData);
  m_Actor->SetMapper(m_Mapper);
  // A colour value holds red in its low byte, then green, then blue.
  const unsigned color = CadGetColor(drawing.GetEntityColorIndex(entity));
  vtkProperty* property = m_Actor->GetProperty();
  property->SetColor((color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                     ((color >> 16) & 0xFF) / 255.0);
  // Lit lines would darken with the angle to the light: a drawing's colours are flat.
  property->LightingOff();
  property->SetLineWidth(kLineWidth);
  property->SetPointSize(kVertexSize);
}

void vtkEntity::SetGeometry(const std::vector<CadPoint>& points, const double offset[3], bool line,
                            bool closed) {
  vtkNew<vtkPoints> scenePoints;
  scenePoints->SetDataTypeToDouble();
  vtkNew<vtkCellArray> vertices;
  for (const CadPoint& point : points) {
    vertices->InsertNextCell(1);
    vertices->InsertCellPoint(scenePoints->InsertNextPoint(point.x - offset[0], point.y - offset[1],
                                                           point.z - offset[2]));
  }
  m_PolyData->SetVerts(vertices);
  if (line) {
    if (closed) scenePoints->InsertNextPoint(scenePoints->GetPoint(0));
    vtkNew<vtkCellArray> lines;
    lines->InsertNextCell(scenePoints->GetNumberOfPoints());
    for (vtkIdType id = 0; id < scenePoints->GetNumberOfPoints(); ++id) lines->InsertCellPoint(id);
    m_PolyData->SetLines(lines);
  }
  m_PolyData->SetPoints(scenePoints);
}

vtkEntPoint::vtkEntPoint(const CCadDrawing& drawing, const CadEntity& entity,
                         const double offset[3])
    : vtkEntity(drawing, entity) {
  SetGeometry({entity.vertices.front()}, offset, false, false);
}

vtkEntPolyline::vtkEntPolyline(const CCadDrawing& drawing, const CadEntity& entity,
                               const double offset[3])
    : vtkEntity(drawing, entity) {
  const bool closed = entity.type == CAD_POLYLINE && entity.closed && entity.vertices.size() > 2;
  SetGeometry(entity.vertices, offset, true, closed);
}

vtkEntRect::vtkEntRect(const CCadDrawing& drawing, const CadEntity& entity, const double offset[3])
    : vtkEntity(drawing, entity) {
  const CadPoint& c = entity.centre;
  const double w = entity.width / 2, h = entity.height / 2;
  SetGeometry({{c.x - w, c.y - h, c.z},
               {c.x + w, c.y - h, c.z},
               {c.x + w, c.y + h, c.z},
               {c.x - w, c.y + h, c.z}},
              offset, true, true);
}

std::unique_ptr<vtkEntity> CreateVtkEntity(const CCadDrawing& drawing, const CadEntity& entity,
                                           const double offset[3]) {
  switch (entity.type) {
    case CAD_POINT:
      if (entity.vertices.empty()) return nullptr;
      return std::make_unique<vtkEntPoint>(drawing, entity, offset);
    case CAD_LINE:
    case CAD_POLYLINE:
      if (entity.vertices.size() < 2) return nullptr;
      return std::make_unique<vtkEntPolyline>(drawing, entity, offset);
    case CAD_RECT:
      return std::make_unique<vtkEntRect>(drawing, entity, offset);
    default:
      return nullptr;
  }
}
