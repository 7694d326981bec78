#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/processing/StreamFilter.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

// `count` points spread evenly over a sphere.
std::vector<Point3f> Sphere(int count, const Point3f& centre, float radius) {
  std::vector<Point3f> points;
  const double golden = M_PI * (3.0 - std::sqrt(5.0));
  for (int i = 0; i < count; ++i) {
    const double z = 1.0 - 2.0 * (i + 0.5) / count, ring = std::sqrt(1.0 - z * z);
    points.push_back({centre[0] + radius * static_cast<float>(ring * std::cos(golden * i)),
                      centre[1] + radius * static_cast<float>(ring * std::sin(golden * i)),
                      centre[2] + radius * static_cast<float>(z)});
  }
  return points;
}

vtkNew<vtkPolyData> Cloud(const std::vector<Point3f>& points) {
  vtkNew<vtkPoints> vertices;
  for (const Point3f& p : points) vertices->InsertNextPoint(p[0], p[1], p[2]);
  vtkNew<vtkPolyData> cloud;
  cloud->SetPoints(vertices);
  return cloud;
}

// The triangles of a mesh, each turned to start at its smallest corner, in increasing order.
std::vector<std::vector<vtkIdType>> Triangles(vtkPolyData* mesh) {
  std::vector<std::vector<vtkIdType>> triangles;
  vtkIdType count = 0;
  const vtkIdType* ids = nullptr;
  for (mesh->GetPolys()->InitTraversal(); mesh->GetPolys()->GetNextCell(count, ids);) {
    std::vector<vtkIdType> corners(ids, ids + count);
    std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
    triangles.push_back(corners);
  }
  std::sort(triangles.begin(), triangles.end());
  return triangles;
}

TEST(MeshFilterTest, ThirtyTwoPointsMakeTheSameMeshWhateverTheRadius) {
  CMeshFilter filter;
  filter.Execute(Cloud(Sphere(31, {0, 0, 0}, 1)), 1.0);
  EXPECT_EQ(filter.GetOutput(), nullptr);

  filter.Execute(Cloud(Sphere(32, {0, 0, 0}, 1)), 0.01);
  ASSERT_NE(filter.GetOutput(), nullptr);
  const auto small = Triangles(filter.GetOutput());
  EXPECT_GE(small.size(), 32u) << "a closed surface over 32 points";
  for (const auto& triangle : small)
    for (vtkIdType corner : triangle) EXPECT_LT(corner, 32);
  filter.Execute(Cloud(Sphere(32, {0, 0, 0}, 1)), 100.0);
  EXPECT_EQ(Triangles(filter.GetOutput()), small);
}

class MeshStreamTest : public testing::Test {
 protected:
  // An octree of depth 1 (cells of 8): a sphere of 200 points in cell 0, 31 points in cell
  // 1 and 32 in cell 7.
  void SetUp() override {
    TestStream stream;
    stream.depth = 1;
    stream.items = {MakeItem(0, Sphere(200, {-4, -4, -4}, 3)),
                    MakeItem(1, Sphere(31, {4, -4, -4}, 3)), MakeItem(7, Sphere(32, {4, 4, 4}, 3))};
    WriteTestStream(m_Source, stream);
    ASSERT_EQ(m_Cloud.OpenStrmCloud(), 1) << m_Cloud.GetLastError();
  }
  static TestItem MakeItem(int id, std::vector<Point3f> points) {
    TestItem item;
    item.id = id;
    item.depth = 1;
    item.points = std::move(points);
    return item;
  }
  const char* Mesh(double radius, const char* name) {
    std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / name).c_str());
    EXPECT_EQ(m_Cloud.MeshFilter(radius, m_Output), 1) << m_Cloud.GetLastError();
    return m_Output;
  }

  ScratchFolder m_Folder;
  fs::path m_Source = m_Folder / "site.strm";
  CNimbex m_Cloud{m_Source.c_str()};
  char m_Output[PATH_MAX] = {};
};

TEST_F(MeshStreamTest, EachItemWithEnoughPointsGetsATriangleMeshInsideItsBox) {
  CNimbex mesh(Mesh(NBX_UNSET, "mesh.strm"));
  ASSERT_EQ(mesh.OpenStrmCloud(), 1) << mesh.GetLastError();
  EXPECT_TRUE(mesh.HasTri());
  EXPECT_FALSE(mesh.HasColors());
  Item* item = nullptr;
  EXPECT_EQ(mesh.GetItem(1, item), 0) << "31 points make no mesh";
  int points = 0;
  for (int id : {0, 7}) {
    ASSERT_EQ(mesh.GetItem(id, item), 1);
    EXPECT_GT(item->triCount, 0);
    points += item->ptsCount;
    vtkNew<vtkPoints> vertices;
    vtkNew<vtkCellArray> triangles;
    mesh.ResetIOPtsLoaded();
    ASSERT_EQ(
        mesh.LoadItemIO(1, id, vertices, triangles, nullptr, nullptr, nullptr, nullptr, nullptr, 1),
        1);
    vtkNew<vtkPolyData> loaded;
    loaded->SetPoints(vertices);
    loaded->SetPolys(triangles);
    for (const auto& triangle : Triangles(loaded))
      for (vtkIdType corner : triangle) ASSERT_LT(corner, item->ptsCount) << "item " << id;
    double box[6];
    mesh.GetItemBounds(id, 1, box);
    for (vtkIdType i = 0; i < vertices->GetNumberOfPoints(); ++i)
      for (int axis = 0; axis < 3; ++axis) {
        EXPECT_GE(vertices->GetPoint(i)[axis], box[2 * axis] - 1e-5);
        EXPECT_LE(vertices->GetPoint(i)[axis], box[2 * axis + 1] + 1e-5);
      }
  }
  EXPECT_EQ(mesh.GetPointsCount(), points);
}

TEST_F(MeshStreamTest, MeshOverviewWritesTheItemRecordsInAscendingIdOrder) {
  const fs::path output = Mesh(1.0, "mesh.strm");
  // Reverse the stored records: the item map then yields 7 before 0.
  const fs::path pci = GetStrmCompanionName(output, PCI_FILE);
  const int64_t first = GetStrmHeaderSize(STRM_VERSION, 10);
  std::fstream file(pci, std::ios::in | std::ios::out | std::ios::binary);
  Item records[2];
  file.seekg(first);
  file.read(reinterpret_cast<char*>(records), sizeof records);
  std::swap(records[0], records[1]);
  file.seekp(first);
  file.write(reinterpret_cast<const char*>(records), sizeof records);
  file.close();

  CNimbex mesh(output.c_str());
  ASSERT_EQ(mesh.OpenStrmCloud(), 1) << mesh.GetLastError();
  ASSERT_EQ(mesh.GetItems()[0].id, 7);
  ASSERT_EQ(mesh.BuildMeshOverview(), 1) << mesh.GetLastError();
  EXPECT_EQ(mesh.GetItems()[0].id, 0);
  EXPECT_EQ(mesh.GetItems()[1].id, 7);
  EXPECT_TRUE(mesh.HasPyramidalLevels());
  Item* root = nullptr;
  ASSERT_EQ(mesh.GetItem(0, root, 0), 1);
  EXPECT_GT(root->triCount, 0);

  // Point streams and streams without levels are refused, untouched.
  EXPECT_EQ(m_Cloud.BuildMeshOverview(), 0);
  EXPECT_NE(m_Cloud.GetLastError().find("no triangles"), std::string::npos);
  WriteTestStream(m_Folder / "flat.strm", MakeLatticeStream(0, 2, 0));
  CNimbex flat((m_Folder / "flat.strm").c_str());
  ASSERT_EQ(flat.OpenStrmCloud(), 1);
  EXPECT_EQ(flat.BuildMeshOverview(), 0);
}

TEST_F(MeshStreamTest, RefusesANegativeRadiusAndAStreamWithoutMeshableItems) {
  std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / "mesh.strm").c_str());
  EXPECT_EQ(m_Cloud.MeshFilter(-1.0, m_Output), 0);
  WriteTestStream(m_Folder / "few.strm", MakeLatticeStream(0, 3, 1));  // 9 points
  CNimbex few((m_Folder / "few.strm").c_str());
  ASSERT_EQ(few.OpenStrmCloud(), 1);
  EXPECT_EQ(few.MeshFilter(1.0, m_Output), 0);
  EXPECT_FALSE(fs::exists(GetStrmCompanionName(m_Output, PCI_FILE)));
}

}  // namespace
