#include <vtkDataArray.h>
#include <vtkPointData.h>

#include <cmath>
#include <string>
#include <vector>

#include "nimbex/creation/AsciiModel.h"
#include "tests/creation/ScanFileTesting.h"

namespace {

namespace fs = std::filesystem;

class AsciiModelTest : public scantesting::ScanFileTest {
 protected:
  // Reads the model, and checks that reading only its box agrees with it: the same points,
  // counts and box, the same files abandoned for the same reason.
  vtkSmartPointer<vtkPolyData> Read(const fs::path& path) {
    auto model = ReadAsciiModel(path.string(), m_Info);
    AsciiModelInfo info;
    double box[6];
    EXPECT_EQ(ReadAsciiModelBox(path.string(), info, box), model != nullptr);
    EXPECT_EQ(info.abandoned, m_Info.abandoned);
    if (info.abandoned) {
      EXPECT_EQ(info.problem, m_Info.problem);
    }
    EXPECT_EQ(info.format, m_Info.format);
    EXPECT_EQ(info.points, m_Info.points);
    EXPECT_EQ(info.skippedPoints, m_Info.skippedPoints);
    EXPECT_EQ(info.coloured, m_Info.coloured);
    if (model && model->GetNumberOfPoints() > 0) {
      double bounds[6];
      model->GetBounds(bounds);
      EXPECT_EQ(std::vector<double>(box, box + 6), std::vector<double>(bounds, bounds + 6));
    }
    return model;
  }
  vtkSmartPointer<vtkPolyData> Model(const std::string& text) {
    return Read(Write("model.pts", text));
  }

  AsciiModelInfo m_Info;
};

TEST_F(AsciiModelTest, PtsSamplesGiveTheirPointsColoursAndIntensities) {
  SAMPLE_OR_SKIP(autzen, "pts/pdal_autzen.pts");
  SAMPLE_OR_SKIP(site, "pts/pdal_site_56_8.pts");
  SAMPLE_OR_SKIP(test, "pts/pdal_test.pts");
  SAMPLE_OR_SKIP(bunny, "pts/pdal_bunny_8.pts");
  auto model = Read(autzen);
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.format, AsciiModelFormat::PtsBlocks);
  EXPECT_EQ(model->GetNumberOfPoints(), 10);
  EXPECT_EQ(model->GetNumberOfVerts(), 10);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "RGB");
  EXPECT_EQ(model->GetPointData()->GetArray("RGB")->GetComponent(0, 1), 70);
  EXPECT_EQ(model->GetPointData()->GetArray("Intensity")->GetComponent(2, 0), 602);
  EXPECT_DOUBLE_EQ(model->GetPoint(0)[0], 636110.300003);

  model = Read(site);  // four values: intensity is the scalars
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_FALSE(m_Info.coloured);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "Intensity");
  EXPECT_EQ(model->GetPointData()->GetArray("RGB"), nullptr);
  EXPECT_EQ(model->GetPointData()->GetScalars()->GetComponent(7, 0), -1207);
  EXPECT_EQ(model->GetNumberOfPoints(), 8);

  model = Read(test);
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.points, 19);

  // Coordinates only: every point line is read, whatever the count line says.
  model = Read(bunny);
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(model->GetNumberOfPoints(), 9);
  EXPECT_EQ(model->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_DOUBLE_EQ(model->GetPoint(8)[2], 0.036676);
}

TEST_F(AsciiModelTest, PtsBlocksJoinSkipTheOriginAndGreyFromIntensity) {
  auto model = Model(
      "3\n1 2 3 0\n0 0 0 5 1 2 3\n4 5 6 -4095\n\n2\r\n7 8 9 4096 10 20 30\n"
      "1 1 1 99999\n\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.points, 4);
  EXPECT_EQ(m_Info.skippedPoints, 1);
  EXPECT_TRUE(m_Info.coloured);
  vtkDataArray* rgb = model->GetPointData()->GetScalars();
  std::vector<double> red;
  for (vtkIdType i = 0; i < 4; ++i) red.push_back(rgb->GetComponent(i, 0));
  EXPECT_EQ(red, std::vector<double>({127, 0, 10, 255}));
  EXPECT_EQ(model->GetPointData()->GetArray("Intensity")->GetComponent(3, 0), 99999);

  // Lines without an intensity take 0 (grey 127) where other lines have one.
  model = Model("3\n1 2 3\n4 5 6 -4095\n7 8 9 10 20 30 40\n");
  ASSERT_TRUE(model) << m_Info.problem;
  vtkDataArray* intensity = model->GetPointData()->GetArray("Intensity");
  ASSERT_TRUE(intensity);
  EXPECT_EQ(intensity->GetComponent(0, 0), 0);
  EXPECT_EQ(model->GetPointData()->GetScalars()->GetComponent(0, 0), 127);

  EXPECT_FALSE(Model("2\n1 2 3 4\n1 2 3 4 5\n"));
  EXPECT_EQ(m_Info.problem.substr(0, 7), "line 3:");
  EXPECT_TRUE(m_Info.abandoned);
  for (const char* garbage : {"", "x y z\n1 2 3 4\n", "1.5 2 3 4\n",
                              "\x7f"
                              "ELF\x02\x01"})
    EXPECT_FALSE(Model(garbage)) << garbage;
}

TEST_F(AsciiModelTest, Version2ModelsTransformVerticesAndNormals) {
  // A quarter turn about z, x scaled by 2 first, then a move by (10, 20, 30).
  const std::string header =
      "#Version 2.0\nShell Type : mesh\nnumber of vertices : 2\nimage file : a.jpg\n"
      "transform matrix\n0 -1 0 10\n2 0 0 20\n0 0 1 30\n0 0 0 1\n"
      "projection matrix\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\nhas vertex color : 1\n";
  auto model = Model(header + "1 0 0 255 128 0\n0 1 0 1 2 3\n1 1 0\n0 0 5\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(m_Info.format, AsciiModelFormat::Version2);
  EXPECT_EQ(std::string(model->GetPointData()->GetScalars()->GetName()), "RGB");
  double p[3];
  model->GetPoint(0, p);
  EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>({10, 22, 30}));
  model->GetPoint(1, p);
  EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>({9, 20, 30}));
  // The plane x + y = c becomes 2x' - y' = c': its normal turns to (-1, 0.5, 0), not to the
  // (-1, 2, 0) the plain 3x3 would give.
  vtkDataArray* normals = model->GetPointData()->GetArray("Normals");
  ASSERT_TRUE(normals);
  EXPECT_NEAR(normals->GetComponent(0, 0), -1 / std::sqrt(1.25), 1e-6);
  EXPECT_NEAR(normals->GetComponent(0, 1), 0.5 / std::sqrt(1.25), 1e-6);
  EXPECT_NEAR(normals->GetComponent(1, 2), 1, 1e-6);

  model = Model(header + "1 0 0\n0 1 0\n1 1 0\n");  // one normal short: normals dropped
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_FALSE(m_Info.coloured);
  EXPECT_EQ(model->GetPointData()->GetNumberOfArrays(), 0);
  EXPECT_NE(m_Info.problem.find("normals dropped"), std::string::npos);

  model = Model("#version 2.0\nnumber of vertices : 2000000000\n1 2 3\n4 5 6\n");
  ASSERT_TRUE(model) << m_Info.problem;
  EXPECT_EQ(model->GetNumberOfPoints(), 2);
}

TEST_F(AsciiModelTest, Version2RefusesBrokenHeaders) {
  std::string unknown;
  for (int i = 0; i < 9; ++i) unknown += "note " + std::to_string(i) + "\n";
  EXPECT_TRUE(Model("#version 2.0\n" + unknown + "1 2 3\n")) << m_Info.problem;
  EXPECT_FALSE(Model("#version 2.0\n" + unknown + "note 9\n1 2 3\n"));
  EXPECT_NE(m_Info.problem.find("unrecognised header"), std::string::npos);
  EXPECT_FALSE(Model("#version 2.0\ntransform matrix\n1 0 0 0\n0 1 0\n0 0 1 0\n0 0 0 1\n1 2 3\n"));
  EXPECT_FALSE(Model("#version 2.0\nnumber of vertices : -1\n1 2 3\n"));
  EXPECT_FALSE(Model("#version 2.0\n1 2 3 4 5 6\n1 2 3\n"));  // a colour missing
  EXPECT_FALSE(Model("#version 2.0\n"));
}

}  // namespace
