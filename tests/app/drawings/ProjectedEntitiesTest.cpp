// The drawing's entities in the 3D view: their geometry and colour as VTK actors, and the
// projection into a window of streams, with its question when the drawing does not seem to
// fall on the model.
#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <QMessageBox>
#include <QWidget>
#include <array>

#include "app/drawings/CadForm.h"
#include "app/drawings/ProjectedEntities.h"
#include "common/progress/ProgressTimeToComplete.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/StreamWriter.h"

namespace {

CadEntity Polyline(int layer, std::vector<CadPoint> vertices, bool closed, int color = 256) {
  CadEntity entity;
  entity.type = CAD_POLYLINE;
  entity.layerId = layer;
  entity.vertices = std::move(vertices);
  entity.closed = closed;
  entity.color = color;
  return entity;
}

CadEntity Rect(int layer, CadPoint centre, double width, double height) {
  CadEntity entity;
  entity.type = CAD_RECT;
  entity.layerId = layer;
  entity.centre = centre;
  entity.width = width;
  entity.height = height;
  return entity;
}

using Points = std::vector<std::array<double, 3>>;

// The points of the entity's line, or of its vertex cells when it has no line.
Points Drawn(const vtkEntity& entity) {
  vtkPolyData* data = entity.GetPolyData();
  vtkCellArray* cells = data->GetLines()->GetNumberOfCells() ? data->GetLines() : data->GetVerts();
  Points points;
  vtkIdType count;
  const vtkIdType* ids;
  for (cells->InitTraversal(); cells->GetNextCell(count, ids);)
    for (vtkIdType i = 0; i < count; ++i) {
      const double* p = data->GetPoint(ids[i]);
      points.push_back({p[0], p[1], p[2]});
    }
  return points;
}

TEST(vtkEntityTest, GeometryIsTheEntitysLessTheWindowCentreWithItsVerticesAsVertexCells) {
  CCadDrawing drawing;
  const double centre[3] = {1000, 2000, 300};
  const unsigned square = drawing.AddEntity(Polyline(
      0, {{1001, 2001, 301}, {1005, 2001, 302}, {1005, 2004, 303}, {1001, 2004, 304}}, true));
  auto polyline = CreateVtkEntity(drawing, *drawing.GetEntityByID(square), centre);
  ASSERT_TRUE(polyline);
  EXPECT_EQ(polyline->GetEntityId(), square);
  EXPECT_EQ(polyline->GetDrawing(), &drawing);
  // A closed polyline of four vertices: five line points, the last the first.
  EXPECT_EQ(Drawn(*polyline), (Points{{1, 1, 1}, {5, 1, 2}, {5, 4, 3}, {1, 4, 4}, {1, 1, 1}}));
  EXPECT_EQ(polyline->GetPolyData()->GetVerts()->GetNumberOfCells(), 4);

  CadEntity line = Polyline(0, {{1000, 2000, 300}, {1010, 2000, 300}, {1010, 2010, 300}}, false);
  EXPECT_EQ(Drawn(*CreateVtkEntity(drawing, line, centre)).size(), 3u);
  line.type = CAD_LINE;
  line.vertices.pop_back();
  EXPECT_EQ(Drawn(*CreateVtkEntity(drawing, line, centre)), (Points{{0, 0, 0}, {10, 0, 0}}));
  const auto rect = CreateVtkEntity(drawing, Rect(0, {1010, 2020, 310}, 4, 2), centre);
  EXPECT_EQ(Drawn(*rect),
            (Points{{8, 19, 10}, {12, 19, 10}, {12, 21, 10}, {8, 21, 10}, {8, 19, 10}}));
  CadEntity point;
  point.vertices = {{1003, 1998, 299}};
  EXPECT_EQ(Drawn(*CreateVtkEntity(drawing, point, centre)), (Points{{3, -2, -1}}));

  CadEntity circle;
  circle.type = CAD_CIRCLE;
  circle.vertices = {{0, 0, 0}};
  EXPECT_FALSE(CreateVtkEntity(drawing, circle, centre));
  EXPECT_FALSE(CreateVtkEntity(drawing, Polyline(0, {{0, 0, 0}}, false), centre));
}

TEST(vtkEntityTest, ColourIsTheEntitysOwnOrItsLayersForColourByLayer) {
  CCadDrawing drawing;
  const int red = drawing.AddLayer("Red", 1);
  const int orange = drawing.AddLayer("Orange", 30);
  const double centre[3] = {0, 0, 0};
  const std::vector<CadPoint> segment = {{0, 0, 0}, {1, 0, 0}};
  auto colour = [&](const CadEntity& entity) {
    const double* rgb =
        CreateVtkEntity(drawing, entity, centre)->GetActor()->GetProperty()->GetColor();
    return std::vector<double>(rgb, rgb + 3);
  };
  EXPECT_EQ(colour(Polyline(red, segment, false)), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(colour(Polyline(orange, segment, false)), (std::vector<double>{1, 127 / 255.0, 0}));
  EXPECT_EQ(colour(Polyline(red, segment, false, 5)), (std::vector<double>{0, 0, 1}));
}

// A progress control that keeps the positions it was set to.
class CRecordingProgress : public TProgressTimeToComplete {
 public:
  void SetPos(int pos) override {
    positions.push_back(pos);
    TProgressTimeToComplete::SetPos(pos);
  }
  std::vector<int> positions;
};

// An off-screen window showing a stream whose model extent is x 992-1008, y 1992-2008.
class ProjectedEntitiesTest : public testing::Test {
 protected:
  void SetUp() override {
    TestStream stream = MakeLatticeStream(1, 4, 1);
    const std::string path = (m_Folder / "model.strm").string();
    WriteTestStream(path, stream);
    ASSERT_NE(AddSpCloud(path.c_str(), &m_Id, 1), nullptr) << GetAddSpCloudError();
    m_Window = GetRenderWindow(&m_Id);
    m_Layer = m_Drawing.AddLayer("Plan", 3);
  }
  void TearDown() override { DestroyRenderWindow(&m_Id); }

  int ActorCount() const { return m_Window->m_Renderer->GetActors()->GetNumberOfItems(); }

  ScratchFolder m_Folder;
  const int m_Id = 0;
  RenderWindow* m_Window = nullptr;
  CCadDrawing m_Drawing;
  int m_Layer = 0;
};

TEST_F(ProjectedEntitiesTest, ShownEntitiesOfVisibleLayersGoIntoTheRendererUnderTheirIds) {
  const int hidden = m_Drawing.AddLayer("Hidden", 4);
  m_Drawing.GetLayerByID(hidden)->visible = false;
  std::vector<unsigned> shown;
  for (int i = 0; i < 23; ++i)
    shown.push_back(m_Drawing.AddEntity(
        Polyline(m_Layer, {{1000.0 + i, 2000, 300}, {1001.0 + i, 2001, 300}}, false)));
  shown.push_back(m_Drawing.AddEntity(Rect(m_Layer, {1000, 2000, 300}, 2, 2)));
  m_Drawing.AddEntity(Polyline(hidden, {{1000, 2000, 300}, {1001, 2001, 300}}, false));
  CadEntity circle;
  circle.type = CAD_CIRCLE;
  circle.vertices = {{1000, 2000, 300}};
  m_Drawing.AddEntity(circle);
  const unsigned erased =
      m_Drawing.AddEntity(Polyline(m_Layer, {{1000, 2000, 300}, {1002, 2000, 300}}, false));
  m_Drawing.EraseEntity(erased);

  const int before = ActorCount();
  CProjectedEntities projected;
  CRecordingProgress progress;
  bool asked = false;
  EXPECT_EQ(projected.Project(m_Drawing, m_Window, &progress, [&] { return asked = true; }),
            CProjectedEntities::kProjected);
  EXPECT_FALSE(asked);
  EXPECT_TRUE(projected.IsShown());
  ASSERT_EQ(projected.GetEntities().size(), shown.size());
  for (unsigned id : shown) EXPECT_EQ(projected.GetEntities().at(id)->GetEntityId(), id);
  EXPECT_EQ(ActorCount(), before + int(shown.size()));
  // 27 entities: the range, then every tenth, then the end.
  int lower, upper;
  progress.GetRange(lower, upper);
  EXPECT_EQ(upper, 27);
  EXPECT_EQ(progress.m_Text, "Loading");
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 10, 20, 27}));

  projected.RemoveProjectedEntities();
  EXPECT_FALSE(projected.IsShown());
  EXPECT_EQ(ActorCount(), before);
}

TEST_F(ProjectedEntitiesTest, DrawingAroundTheModelAsksOnceAndNoAddsNothing) {
  // Two entities strictly around the model, one touching its edge, one inside.
  m_Drawing.AddEntity(Rect(m_Layer, {1000, 2000, 300}, 40, 40));
  m_Drawing.AddEntity(Polyline(
      m_Layer, {{980, 1980, 300}, {1020, 1980, 300}, {1020, 2020, 300}, {980, 2020, 300}}, true));
  m_Drawing.AddEntity(Rect(m_Layer, {1000, 2000, 300}, 16, 30));
  m_Drawing.AddEntity(Rect(m_Layer, {1000, 2000, 300}, 2, 2));
  CadExtent model;
  ASSERT_TRUE(GetModelExtent(*m_Window, model));
  EXPECT_DOUBLE_EQ(model.left, 992);
  EXPECT_DOUBLE_EQ(model.top, 2008);

  const int before = ActorCount();
  CProjectedEntities projected;
  int asked = 0;
  EXPECT_EQ(projected.Project(m_Drawing, m_Window, nullptr, [&] { return ++asked, false; }),
            CProjectedEntities::kCancelled);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(projected.IsShown());
  EXPECT_EQ(ActorCount(), before);

  // The pane's toggle asks the user in a message box; No leaves the view as it was.
  QWidget pane;
  QString question;
  ModalScript script;
  script.Then<QMessageBox>([&](QMessageBox* box) {
    question = box->text();
    box->grab().save(Output("entities-off-model-question.png"));
    box->button(QMessageBox::No)->click();
  });
  projected.ProjectEntities(m_Drawing, m_Window, nullptr, &pane);
  script.Finish();
  EXPECT_EQ(question, "Entities CAD don't seem to fall on the model. \nDo you want continue?");
  EXPECT_FALSE(projected.IsShown());
  EXPECT_EQ(ActorCount(), before);

  // Without the entities around the model nothing is asked.
  m_Drawing.EraseEntity(1);
  m_Drawing.EraseEntity(2);
  EXPECT_EQ(projected.Project(m_Drawing, m_Window, nullptr, [&] { return ++asked, false; }),
            CProjectedEntities::kProjected);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ActorCount(), before + 2);
}

TEST_F(ProjectedEntitiesTest, ToggleRemovesWhatItShowedAndReportsAWindowItCannotReach) {
  m_Drawing.AddEntity(Rect(m_Layer, {1000, 2000, 300}, 2, 2));
  const int before = ActorCount();
  CProjectedEntities projected;
  QWidget pane;
  projected.ProjectEntities(m_Drawing, m_Window, nullptr, &pane);
  EXPECT_EQ(ActorCount(), before + 1);
  projected.ProjectEntities(m_Drawing, m_Window, nullptr, &pane);
  EXPECT_EQ(ActorCount(), before);

  QString message;
  ModalScript script;
  script.Then<QMessageBox>([&](QMessageBox* box) {
    message = box->text();
    box->accept();
  });
  projected.ProjectEntities(m_Drawing, nullptr, nullptr, &pane);
  script.Finish();
  EXPECT_EQ(message, "Unable to project entities to 3D Model window!");
  EXPECT_FALSE(projected.IsShown());
}

TEST_F(ProjectedEntitiesTest, PaneWithoutDrawingSaysSoAndShowsNothing) {
  CCadForm pane(nullptr);
  pane.SetModelWindow([this] { return m_Window; });
  const int before = ActorCount();
  QString message;
  ModalScript script;
  script.Then<QMessageBox>([&](QMessageBox* box) {
    message = box->text();
    box->accept();
  });
  pane.ProjectEntities();
  script.Finish();
  EXPECT_EQ(message, "There is no drawing to show on the model.");
  EXPECT_EQ(ActorCount(), before);
}

}  // namespace
