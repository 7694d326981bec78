// `nimbex classify`: sets the class of the points inside a box, then brings the overview
// classes and the header's points per class up to date.
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cstdio>

#include "cli/Commands.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"

namespace {

int Refuse(const std::string& message) {
  std::fprintf(stderr, "nimbex classify: %s\n", message.c_str());
  return 1;
}

// The box, absolute: xmin xmax ymin ymax zmin zmax. Empty holds every point.
bool Inside(const std::vector<double>& box, const double* point) {
  for (int axis = 0; axis < 3 && !box.empty(); ++axis)
    if (point[axis] < box[2 * axis] || point[axis] > box[2 * axis + 1]) return false;
  return true;
}

bool IsValidBox(const std::vector<double>& box) {
  return box.empty() ||
         (box.size() == 6 && box[0] <= box[1] && box[2] <= box[3] && box[4] <= box[5]);
}

// Sets the class of one item's points inside the box and writes the item's classes back
// when any changed. -1 when the item cannot be read or written, else the points changed.
long long ClassifyItem(CNimbex& cloud, int id, const std::vector<double>& box, int pointClass) {
  vtkNew<vtkPoints> points;
  points->SetDataTypeToDouble();
  vtkNew<vtkUnsignedCharArray> classes;
  if (!cloud.LoadItemIO(-1, id, points, nullptr, classes, nullptr, nullptr, nullptr, nullptr, 1))
    return -1;
  double offset[3];
  cloud.GetOffset(offset);
  long long changed = 0;
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    const double* local = points->GetPoint(i);
    const double world[3] = {local[0] + offset[0], local[1] + offset[1], local[2] + offset[2]};
    if (!Inside(box, world) || classes->GetValue(i) == pointClass) continue;
    classes->SetValue(i, static_cast<unsigned char>(pointClass));
    ++changed;
  }
  if (changed > 0 && !cloud.WriteItemIO(-1, id, classes, nullptr, nullptr, nullptr, nullptr))
    return -1;
  return changed;
}

}  // namespace

int RunClassify(const ClassifyOptions& options) {
  if (options.pointClass < 0 || options.pointClass > 255)
    return Refuse("the class must be a whole number from 0 to 255, not " +
                  std::to_string(options.pointClass));
  if (!IsValidBox(options.box))
    return Refuse("the box is XMIN XMAX YMIN YMAX ZMIN ZMAX, each minimum at most its maximum");

  CNimbex cloud(options.stream.c_str());
  if (!cloud.OpenStrmCloud()) return Refuse(cloud.GetLastError());
  if (!cloud.HasClasses())
    return Refuse(options.stream + " has no classes (" + cloud.GetFileName(CLA_FILE) +
                  (cloud.GetDepth() > 0 ? " and " + cloud.GetFileName(CLAOVW_FILE) : "") +
                  " are needed): it cannot be classified");

  long long changed = 0;
  for (const Item& item : cloud.GetLevelItems(-1)) {
    if (item.ptsCount <= 0) continue;
    const long long itemChanged = ClassifyItem(cloud, item.id, options.box, options.pointClass);
    if (itemChanged < 0)
      return Refuse("cannot rewrite the classes of item " + std::to_string(item.id) + " in " +
                    cloud.GetFileName(CLA_FILE) + " (" + std::to_string(changed) +
                    " points were changed before it)");
    changed += itemChanged;
  }
  if (cloud.GetDepth() > 0 && !cloud.RebuildClassesOvw())
    return Refuse("the classes were changed but the overview classes " +
                  cloud.GetFileName(CLAOVW_FILE) +
                  " could not be rebuilt: their records disagree with the stream's index or "
                  "the folder is not writable");
  if (!cloud.AdjustHeaderClassPtsCount())
    return Refuse("the classes were changed but the points per class in " +
                  cloud.GetFileName(PCI_FILE) + " could not be rewritten");
  std::printf("%lld points changed to class %d\n", changed, options.pointClass);
  return 0;
}
