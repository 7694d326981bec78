// The textured model of a nadir photograph: a quad on the ground whose corners the photograph
// sees at its own corners, textured by the photograph named in the ".tex".
#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkXMLPolyDataReader.h>

#include "nimbex/demo/DemoTexturedModel.h"
#include "nimbex/platform/Orientation.h"
#include "nimbex/platform/Profile.h"
#include "tests/support/StreamWriter.h"

TEST(DemoTexturedModelTest, TheQuadLiesOnTheGroundWhereThePhotographsCornersSeeIt) {
  ScratchFolder folder;
  COrientation orientation;
  ASSERT_EQ(orientation.SetInterior(800, {0, 0}, 1, 400, 300), 1);
  ASSERT_EQ(orientation.SetDistortion(-0.05, 0, 0, 0, 0), 1);
  ASSERT_EQ(orientation.SetExterior({1000, 2000, 150}, 3, -2, 30), 1);
  const std::filesystem::path photo = folder / "DJI_0001.JPG";
  std::string error;
  ASSERT_TRUE(WriteTexturedGround(photo, orientation, 50, error)) << error;

  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName((folder / "DJI_0001.vtp").c_str());
  reader->Update();
  vtkPolyData* model = reader->GetOutput();
  ASSERT_EQ(model->GetNumberOfPoints(), 4);
  EXPECT_EQ(model->GetNumberOfPolys(), 2);
  vtkDataArray* texture = model->GetPointData()->GetArray("Texture");
  ASSERT_NE(texture, nullptr);
  for (vtkIdType i = 0; i < 4; ++i) {
    double p[3], column, row;
    model->GetPoint(i, p);
    EXPECT_DOUBLE_EQ(p[2], 50);
    ASSERT_EQ(orientation.Pt3dToPix(p[0], p[1], p[2], column, row), 1);
    EXPECT_NEAR(column / 400, texture->GetComponent(i, 0), 1e-6) << i;
    EXPECT_NEAR(1 - row / 300, texture->GetComponent(i, 1), 1e-6) << i;
  }
  char file[256];
  GetPrivateProfileString("Texture", "File", "", file, sizeof file,
                          (folder / "DJI_0001.tex").c_str());
  EXPECT_STREQ(file, "DJI_0001.JPG");

  // Looking at the horizon, the upper corners never reach the ground: nothing is written.
  ASSERT_EQ(orientation.SetExterior({1000, 2000, 150}, 85, 0, 0), 1);
  EXPECT_FALSE(WriteTexturedGround(folder / "IMG_0002.JPG", orientation, 50, error));
  EXPECT_NE(error.find("do not all reach the ground"), std::string::npos) << error;
}
