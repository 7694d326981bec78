#include "nimbex/demo/DemoTexturedModel.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkXMLPolyDataWriter.h>

#include "nimbex/platform/Orientation.h"
#include "nimbex/platform/Profile.h"

namespace fs = std::filesystem;

bool WriteTexturedGround(const fs::path& photo, const COrientation& orientation, double ground,
                         std::string& error) {
  const double width = orientation.GetRasterWidth() * orientation.GetScale();
  const double height = orientation.GetRasterHeight() * orientation.GetScale();
  // Image corners clockwise from the top left, with their texture coordinates (the texture's
  // origin is the image's bottom-left corner).
  const double corners[4][2] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  vtkNew<vtkFloatArray> texture;
  texture->SetName("Texture");
  texture->SetNumberOfComponents(2);
  const COrientation::Point3& centre = orientation.GetN();
  for (const auto& corner : corners) {
    COrientation::Vector3 ray;
    if (!orientation.PixToRay({corner[0], corner[1]}, ray) || !(ray.Z() < 0)) {
      error = "the corner rays of " + photo.string() + " do not all reach the ground";
      return false;
    }
    const double t = (ground - centre.Z()) / ray.Z();
    points->InsertNextPoint(centre.X() + t * ray.X(), centre.Y() + t * ray.Y(), ground);
    const float coordinates[2] = {float(corner[0] / width), float(1 - corner[1] / height)};
    texture->InsertNextTypedTuple(coordinates);
  }
  vtkNew<vtkCellArray> triangles;
  const vtkIdType first[3] = {0, 3, 2}, second[3] = {0, 2, 1};
  triangles->InsertNextCell(3, first);
  triangles->InsertNextCell(3, second);
  vtkNew<vtkPolyData> model;
  model->SetPoints(points);
  model->SetPolys(triangles);
  model->GetPointData()->AddArray(texture);
  model->GetPointData()->SetTCoords(texture);

  const fs::path vtp = fs::path(photo).replace_extension(".vtp");
  const fs::path tex = fs::path(photo).replace_extension(".tex");
  vtkNew<vtkXMLPolyDataWriter> writer;
  writer->SetFileName(vtp.c_str());
  writer->SetInputData(model);
  writer->SetDataModeToBinary();
  if (!writer->Write()) {
    error = "cannot write " + vtp.string() + ": check the free space and the permissions";
    return false;
  }
  if (!WritePrivateProfileString("Texture", "File", photo.filename().c_str(), tex.c_str())) {
    error = "cannot write " + tex.string() + ": check the free space and the permissions";
    return false;
  }
  return true;
}
