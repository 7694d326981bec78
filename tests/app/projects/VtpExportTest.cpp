#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkXMLPolyDataReader.h>

#include "VtpExport.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/platform/Profile.h"
#include "tests/support/StreamWriter.h"

TEST(VtpExport, TheFullResolutionPointsComeBackThroughVtksReaderWithTheirOffset) {
  ScratchFolder folder;
  TestStream stream = MakeLatticeStream(1, 6, 0);
  stream.rgb = true;
  const std::string strm = (folder / "site.strm").string();
  WriteTestStream(strm, stream);
  CNimbex cloud(strm.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();

  const std::string vtp = (folder / "export.vtp").string();
  std::string error;
  ASSERT_EQ(ExportVtp(cloud, vtp, nullptr, nullptr, error), 1) << error;
  vtkNew<vtkXMLPolyDataReader> reader;
  reader->SetFileName(vtp.c_str());
  reader->Update();
  vtkPolyData* model = reader->GetOutput();
  ASSERT_EQ(model->GetNumberOfPoints(), cloud.GetPointsCount());
  EXPECT_EQ(model->GetNumberOfVerts(), cloud.GetPointsCount());
  auto* colours = vtkUnsignedCharArray::SafeDownCast(model->GetPointData()->GetScalars());
  ASSERT_NE(colours, nullptr);
  EXPECT_STREQ(colours->GetName(), "RGB");
  EXPECT_EQ(colours->GetNumberOfComponents(), 3);

  // Model point + offset is the world point: the lattice fills the stream's bounds to within
  // half a spacing (16 / 2 / 6 / 2).
  CProfile offset;
  ASSERT_EQ(offset.Load(folder / "export.vtw"), 1);
  EXPECT_EQ(offset.GetString("PolyData Offset", "X", ""), "1000.0000000000");
  EXPECT_EQ(offset.GetString("PolyData Offset", "Z", ""), "300.0000000000");
  double bounds[6];
  model->GetBounds(bounds);
  EXPECT_NEAR(bounds[0] + 1000, 1000 + stream.bounds[0], 0.7);
  EXPECT_NEAR(bounds[5] + 300, 300 + stream.bounds[5], 0.7);

  EXPECT_EQ(ExportVtp(cloud, (folder / "no/such/folder/x.vtp").string(), nullptr, nullptr, error),
            0);
  EXPECT_FALSE(error.empty());
}
