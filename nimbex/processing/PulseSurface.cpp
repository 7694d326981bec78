// Surface models made from the returns of chosen pulse kinds, and the extent of an item in a
// user coordinate system.
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/UCS.h"
#include "nimbex/processing/StreamFilter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPointsPerPump = 10000;

// 0: single returns; 1: single and first; 3: single and last (no first nor intermediary);
// any other selection keeps every return.
bool KeepsPulse(int selection, int kind) {
  switch (selection) {
    case 0:
      return kind == SINGLE_PULSE;
    case 1:
      return kind == SINGLE_PULSE || kind == FIRST_PULSE;
    case 3:
      return kind != FIRST_PULSE && kind != INTERMEDIARY_PULSE;
    default:
      return true;
  }
}

// Two names give the same stream when they share folder and stem: the creator replaces
// the extension of its output for every file of the set.
bool SameStream(const fs::path& a, const fs::path& b) {
  std::error_code ignored;
  const auto key = [&ignored](const fs::path& path) {
    return fs::weakly_canonical(fs::absolute(path, ignored).replace_extension(), ignored);
  };
  return key(a) == key(b);
}

// Removes the intermediate point file however the run ends.
class CRemovedOnExit {
 public:
  explicit CRemovedOnExit(fs::path path) : m_Path(std::move(path)) {}
  ~CRemovedOnExit() {
    std::error_code ignored;
    fs::remove(m_Path, ignored);
  }
  CRemovedOnExit(const CRemovedOnExit&) = delete;
  CRemovedOnExit& operator=(const CRemovedOnExit&) = delete;

 private:
  fs::path m_Path;
};

// The intermediate text file: "x;y;z;class;" then "r;g;b;" and "i;" when the stream has
// them. The box and count are those of the coordinates as written, so that the grid the
// creator sets up from them holds every point it reads back.
class CPointTextFile {
 public:
  explicit CPointTextFile(std::FILE* file) : m_File(file) {}

  bool Write(const double xyz[3], int pointClass, const unsigned char* rgb,
             const float* intensity) {
    for (int axis = 0; axis < 3; ++axis) WriteCoordinate(axis, xyz[axis]);
    std::fprintf(m_File, "%d;", pointClass);
    if (rgb) std::fprintf(m_File, "%d;%d;%d;", rgb[0], rgb[1], rgb[2]);
    if (intensity) std::fprintf(m_File, "%.3lf;", *intensity);
    std::fputc('\n', m_File);
    if (++m_Count % kPointsPerPump == 0) PumpMsgs();
    return !std::ferror(m_File);
  }

  int GetCount() const { return m_Count; }
  double* GetBounds() { return m_Bounds; }

 private:
  void WriteCoordinate(int axis, double value) {
    char text[400];  // "%.6lf" of the largest finite double takes 317 characters
    std::snprintf(text, sizeof text, "%.6lf;", value);
    std::fputs(text, m_File);
    const double written = std::strtod(text, nullptr);
    m_Bounds[2 * axis] = std::min(m_Bounds[2 * axis], written);
    m_Bounds[2 * axis + 1] = std::max(m_Bounds[2 * axis + 1], written);
  }

  std::FILE* m_File;
  int m_Count = 0;
  double m_Bounds[6] = {1e10, -1e10, 1e10, -1e10, 1e10, -1e10};
};

// One item's arrays at the grid depth: colours and intensities only when the stream has
// them, and classes 0 when it has none.
struct ItemArrays {
  explicit ItemArrays(const CNimbex& cloud)
      : hasClasses(cloud.HasClasses()),
        hasColors(cloud.HasColors()),
        hasIntensities(cloud.HasIntensity()) {
    colors->SetNumberOfComponents(3);
  }

  int Load(CNimbex& cloud, int id) {
    points->Reset();
    classes->Reset();
    colors->Reset();
    intensities->Reset();
    pulses->Reset();
    return cloud.LoadItemIO(cloud.GetDepth(), id, points, nullptr,
                            hasClasses ? classes.Get() : nullptr,
                            hasColors ? colors.Get() : nullptr,
                            hasIntensities ? intensities.Get() : nullptr, pulses, nullptr, 1);
  }

  const bool hasClasses, hasColors, hasIntensities;
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> classes;
  vtkNew<vtkUnsignedCharArray> colors;
  vtkNew<vtkFloatArray> intensities;
  vtkNew<vtkUnsignedCharArray> pulses;
};

// Writes the kept points of every item; false naming the problem when an item cannot be
// read or the text file cannot be written.
bool WriteKeptPoints(CNimbex& cloud, int selection, CPointTextFile& text, std::string& problem) {
  double offset[3];
  cloud.GetOffset(offset);
  ItemArrays arrays(cloud);
  for (const Item& item : cloud.GetLevelItems(-1)) {
    if (item.ptsCount <= 0) continue;
    if (!arrays.Load(cloud, item.id)) {
      problem = CFilteredStream::UnreadableItem(cloud, item.id);
      return false;
    }
    for (vtkIdType i = 0; i < arrays.points->GetNumberOfPoints(); ++i) {
      if (!KeepsPulse(selection, arrays.pulses->GetValue(i))) continue;
      const double* local = arrays.points->GetPoint(i);
      const double world[3] = {local[0] + offset[0], local[1] + offset[1], local[2] + offset[2]};
      // A damaged points file may hold values that no text line can carry back.
      if (!std::isfinite(world[0]) || !std::isfinite(world[1]) || !std::isfinite(world[2]))
        continue;
      const float intensity = arrays.hasIntensities ? arrays.intensities->GetValue(i) : 0.0f;
      if (!text.Write(world, arrays.hasClasses ? arrays.classes->GetValue(i) : 0,
                      arrays.hasColors ? arrays.colors->GetPointer(3 * i) : nullptr,
                      arrays.hasIntensities ? &intensity : nullptr)) {
        problem = std::string("cannot write the intermediate point file: ") + std::strerror(errno);
        return false;
      }
    }
  }
  return true;
}

std::string ColumnsOf(const CNimbex& cloud) {
  return std::string("xyzc") + (cloud.HasColors() ? "rgb" : "") + (cloud.HasIntensity() ? "i" : "");
}

}  // namespace

int CNimbex::MakeDSMFromPulse(int pulseSelection, const std::string& outputPath) {
  m_LastError.clear();
  if (outputPath.empty()) return Fail("no file name was given for the surface model");
  if (m_Version < 0) return Fail("the stream " + m_FileName + " is not open");
  if (SameStream(outputPath, m_FileName))
    return Fail("the surface model " + outputPath +
                " would replace the stream it is made from; give another name");
  if (!HasPulses())
    return Fail(m_FileName +
                " has no pulse kinds (they come from the returns of LAS input): a surface model "
                "cannot be made from it");

  const fs::path output(outputPath);
  const fs::path textPath = output.parent_path() / (output.stem().string() + ".xyz");
  // Created exclusively: a file of the user's with that name is neither replaced nor deleted.
  std::FILE* file = std::fopen(textPath.c_str(), "wx");
  if (!file)
    return Fail("cannot create the intermediate point file " + textPath.string() + ": " +
                std::strerror(errno) + (errno == EEXIST ? " (move it away first)" : ""));
  CRemovedOnExit removeText(textPath);

  CPointTextFile text(file);
  std::string problem;
  const bool written = WriteKeptPoints(*this, pulseSelection, text, problem);
  if (std::fclose(file) != 0 && written)
    problem =
        "cannot write the intermediate point file " + textPath.string() + " (is the disk full?)";
  if (!problem.empty()) return Fail(problem);
  if (text.GetCount() == 0)
    return Fail("no point of " + m_FileName +
                " has the selected pulse kinds: there is no surface model to make");

  int count = text.GetCount();
  CStreamCreator creator;
  const int created = creator.CreateStream(
      textPath.string(), "text", ColumnsOf(*this), IsTerrain(), 0, -1, false, outputPath, nullptr,
      SCF_POINT_FILE, text.GetBounds(), &count, nullptr, nullptr, nullptr, nullptr);
  if (!created)
    return Fail("cannot make the surface model " + outputPath + ": " + creator.GetLastError());
  return created;
}

CPgon* CNimbex::GetItemUcsExtent(CUCS* ucs, int itemId, int depth) {
  double bounds[6];
  if (!ucs || !ucs->IsValid() || !GetItemBounds(itemId, depth, bounds)) return nullptr;
  // The system is placed in the world frame: the cell's corners are made absolute first.
  // Under a rotation any of the eight corners may be an extreme, so all are transformed.
  double low[2] = {std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::infinity()};
  double high[2] = {-low[0], -low[1]};
  for (int corner = 0; corner < 8; ++corner) {
    const double world[3] = {bounds[corner & 1] + m_Offset[0],
                             bounds[2 + ((corner >> 1) & 1)] + m_Offset[1],
                             bounds[4 + ((corner >> 2) & 1)] + m_Offset[2]};
    double user[3];
    ucs->WorldToUser(world, user);
    for (int axis = 0; axis < 2; ++axis) {
      low[axis] = std::min(low[axis], user[axis]);
      high[axis] = std::max(high[axis], user[axis]);
    }
  }
  return new CPgon(CPgon::Rectangle(low[0], high[0], low[1], high[1]));
}
