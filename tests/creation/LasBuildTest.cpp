#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/StreamCreator.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

fs::path LasFolder() {
  const char* data = std::getenv("ORVALIS_SAMPLE_DATA");
  return data ? fs::path(data) / "las" : fs::path();
}

// Files whose header or point block is damaged, or that hold no point.
const std::map<std::string, std::string> kRefused = {
    {"laspy_simple.laz", "LAZ"},
    {"pdal_garbage_nVariableLength.las", "variable-length records"},
    {"pdal_1.2-no-points.las", "truncated"},
    {"pdal_no-points.las", "no point"},
};

int Build(const fs::path& input, const fs::path& output, CStreamCreator& creator,
          const std::string& parse = "xyzirgbc") {
  return creator.CreateStream(input.string(), "las", parse, 1, 0, -1, false, output.string(),
                              nullptr, SCF_POINT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr);
}

// Reads every item back and checks that its points lie in its cell; returns the points read.
long long CheckEveryPointInItsCell(CNimbex& cloud, std::map<int, long long>* pulses = nullptr) {
  long long total = 0;
  for (const Item& item : cloud.GetLevelItems(-1)) {
    const int id = item.id;
    vtkNew<vtkPoints> points;
    vtkNew<vtkUnsignedCharArray> kinds;
    EXPECT_EQ(cloud.LoadItemIO(-1, id, points, nullptr, nullptr, nullptr, nullptr,
                               cloud.HasPulses() ? kinds.Get() : nullptr, nullptr, 1),
              1);
    double cell[6];
    cloud.GetItemBounds(id, -1, cell);
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
      const double* p = points->GetPoint(i);
      for (int d = 0; d < 3 - cloud.IsTerrain(); ++d) {
        EXPECT_GE(p[d], cell[2 * d]) << "item " << id;
        EXPECT_LE(p[d], cell[2 * d + 1]) << "item " << id;
      }
      if (pulses && cloud.HasPulses()) ++(*pulses)[kinds->GetValue(i)];
    }
    total += points->GetNumberOfPoints();
  }
  return total;
}

TEST(LasBuildTest, EverySampleFileRoundTripsOrIsRefusedCleanly) {
  const fs::path folder = LasFolder();
  if (folder.empty() || !fs::is_directory(folder)) GTEST_SKIP() << "no sample data";
  ScratchFolder scratch;
  int built = 0, files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++files;
    const std::string name = entry.path().filename().string();
    const fs::path output = scratch / (entry.path().stem().string() + ".strm");
    CStreamCreator creator;
    const int result = Build(entry.path(), output, creator);
    auto refused = kRefused.find(name);
    if (refused != kRefused.end()) {
      EXPECT_EQ(result, 0) << name;
      EXPECT_NE(creator.GetLastError().find(refused->second), std::string::npos)
          << name << ": " << creator.GetLastError();
      EXPECT_FALSE(fs::exists(fs::path(output).replace_extension("pci"))) << name;
      continue;
    }
    ASSERT_EQ(result, 1) << name << ": " << creator.GetLastError();
    EXPECT_EQ(creator.GetDroppedPointsCount(), 0) << name;
    CNimbex cloud(output.c_str());
    ASSERT_EQ(cloud.OpenStrmCloud(), 1) << name << ": " << cloud.GetLastError();
    const int all[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(cloud.GetNumberOfClassesPoints(all, 10), cloud.GetPointsCount()) << name;
    EXPECT_EQ(CheckEveryPointInItsCell(cloud), cloud.GetPointsCount()) << name;
    ++built;
  }
  // Single-point files too: a stream of 1 or 2 points opens.
  EXPECT_EQ(built, files - static_cast<int>(kRefused.size()));
}

TEST(LasBuildTest, SpecialFilesKeepEveryPointAndTheirReturns) {
  const fs::path folder = LasFolder();
  if (folder.empty() || !fs::is_directory(folder)) GTEST_SKIP() << "no sample data";
  ScratchFolder scratch;
  struct Expected {
    const char* name;
    int points;
  };
  // One point lies outside the header's box; the clipped file lacks its last record.
  for (Expected expected :
       {Expected{"pdal_spurious.las", 1065}, Expected{"pdal_1.2-with-color-clipped.las", 1064},
        Expected{"pdal_autzen_trim.las", 110000}, Expected{"pdal_autzen_trim_7.las", 110000}}) {
    CStreamCreator creator;
    const fs::path output = scratch / (std::string(expected.name) + ".strm");
    ASSERT_EQ(Build(folder / expected.name, output, creator), 1) << creator.GetLastError();
    CNimbex cloud(output.c_str());
    ASSERT_EQ(cloud.OpenStrmCloud(), 1);
    EXPECT_EQ(cloud.GetPointsCount(), expected.points) << expected.name;
  }

  // Many multiple returns: every pulse kind occurs.
  CStreamCreator creator;
  ASSERT_EQ(Build(folder / "pdal_4_6_crop.las", scratch / "crop.strm", creator), 1);
  CNimbex crop((scratch / "crop.strm").c_str());
  ASSERT_EQ(crop.OpenStrmCloud(), 1);
  std::map<int, long long> pulses;
  EXPECT_EQ(CheckEveryPointInItsCell(crop, &pulses), 23875);
  for (int kind = 0; kind < 4; ++kind) EXPECT_GT(pulses[kind], 0) << "pulse kind " << kind;

  // Return 9 of 9 needs the 4-bit fields of the newer point formats.
  CStreamCreator extended;
  ASSERT_EQ(Build(folder / "laszip_5points_14.las", scratch / "five.strm", extended), 1);
  CNimbex five((scratch / "five.strm").c_str());
  ASSERT_EQ(five.OpenStrmCloud(), 1);
  std::map<int, long long> fivePulses;
  CheckEveryPointInItsCell(five, &fivePulses);
  EXPECT_GT(fivePulses[3], 0);
}

}  // namespace
