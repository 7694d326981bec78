#include <gtest/gtest.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <random>
#include <set>

#include "nimbex/access/Nimbex.h"
#include "nimbex/format/StrmFiles.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// The points of one item at the grid depth, with their colours when asked.
vtkIdType LoadItem(CNimbex& cloud, int id, vtkPoints* points, vtkUnsignedCharArray* colors) {
  if (colors) colors->SetNumberOfComponents(3);
  cloud.LoadItemIO(cloud.GetDepth(), id, points, nullptr, nullptr, colors, nullptr, nullptr,
                   nullptr, 1);
  return points->GetNumberOfPoints();
}

// One octree cell of side 16 holding `points`, coloured by index.
TestStream OneItemStream(const std::vector<Point3f>& points) {
  TestStream stream;
  stream.rgb = true;
  TestItem item;
  item.points = points;
  for (size_t i = 0; i < points.size(); ++i) item.colors.push_back({uint8_t(i), 100, 200});
  stream.items.push_back(item);
  return stream;
}

class CleanFilterTest : public testing::Test {
 protected:
  CNimbex& Open(const TestStream& stream) {
    m_Cloud.reset();
    WriteTestStream(m_Source, stream);
    m_Cloud = std::make_unique<CNimbex>(m_Source.c_str());
    EXPECT_EQ(m_Cloud->OpenStrmCloud(), 1) << m_Cloud->GetLastError();
    return *m_Cloud;
  }
  // Cleans into `name` and opens the result.
  CNimbex& Clean(double radius, const char* name = "clean.strm") {
    std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / name).c_str());
    EXPECT_EQ(m_Cloud->CleanFilter(radius, m_Output), 1) << m_Cloud->GetLastError();
    m_Results.push_back(std::make_unique<CNimbex>(m_Output));
    EXPECT_EQ(m_Results.back()->OpenStrmCloud(), 1) << m_Results.back()->GetLastError();
    return *m_Results.back();
  }

  ScratchFolder m_Folder;
  fs::path m_Source = m_Folder / "site.strm";
  char m_Output[PATH_MAX] = {};
  std::unique_ptr<CNimbex> m_Cloud;
  std::vector<std::unique_ptr<CNimbex>> m_Results;
};

TEST_F(CleanFilterTest, RefusalsTouchNothing) {
  CNimbex& cloud = Open(MakeLatticeStream(1, 3, 0));
  std::ofstream(m_Folder / "taken.strm") << "mine";
  std::ofstream(m_Folder / "other.pci") << "theirs";
  const std::set<std::string> before = FilesIn(m_Folder.Path());
  struct Case {
    double radius;
    const char* output;
    const char* reason;
  };
  for (const Case& refused :
       {Case{-0.5, "new.strm", "radius"}, Case{0.1, "taken.strm", "exists already"},
        Case{0.1, "./site.strm", "exists already"}, Case{0.1, "site.xyz", "must be a .strm"},
        Case{0.1, "other.strm", "other.pci"}}) {
    std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / refused.output).c_str());
    EXPECT_EQ(cloud.CleanFilter(refused.radius, m_Output), 0) << refused.output;
    EXPECT_NE(cloud.GetLastError().find(refused.reason), std::string::npos) << cloud.GetLastError();
  }
  EXPECT_EQ(cloud.CleanFilter(0.1, nullptr), 0);
  EXPECT_EQ(FilesIn(m_Folder.Path()), before);
  std::string kept;
  std::ifstream(m_Folder / "taken.strm") >> kept;
  EXPECT_EQ(kept, "mine");
}

TEST_F(CleanFilterTest, FailedOrCancelledRunsLeaveNoPartialStream) {
  CNimbex& cloud = Open(MakeLatticeStream(1, 3, 0));
  const std::set<std::string> before = FilesIn(m_Folder.Path());
  int cancel = 1;
  std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / "sub" / "clean.strm").c_str());
  EXPECT_EQ(cloud.CleanFilter(0.1, m_Output, &cancel), 0);
  EXPECT_EQ(FilesIn(m_Folder.Path()), before);  // the folder it made is gone too

  // Items that hold points but cannot be read would be lost: the run fails instead.
  fs::remove(GetStrmCompanionName(m_Source, RGB_FILE));
  std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / "clean.strm").c_str());
  EXPECT_EQ(cloud.CleanFilter(0.1, m_Output), 0);
  EXPECT_NE(cloud.GetLastError().find("cannot read the points of item"), std::string::npos);
  EXPECT_EQ(FilesIn(m_Folder.Path()).size(), before.size() - 1);
}

TEST_F(CleanFilterTest, RadiusDecidesWhichPointsMerge) {
  // A lattice of spacing 16 / 4 = 4 in one cell, with one point doubled and one a hair away.
  TestStream stream = MakeLatticeStream(0, 4, 0);
  stream.gsd = 4.5;
  stream.rif = stream.cla = stream.pls = stream.norm = false;  // points and colours only
  const Point3f first = stream.items[0].points[0];
  stream.items[0].points.push_back(first);
  stream.items[0].points.push_back({first[0] + 0.001f, first[1], first[2]});
  stream.items[0].colors.resize(stream.items[0].points.size());
  Open(stream);

  EXPECT_EQ(Clean(0.0, "zero.strm").GetPointsCount(), 65) << "only the coincident pair merges";
  EXPECT_EQ(Clean(3.5, "small.strm").GetPointsCount(), 64);
  // Unset: the linear density 4.5 merges lattice neighbours 4 apart.
  const int unset = Clean(NBX_UNSET, "unset.strm").GetPointsCount();
  EXPECT_LT(unset, 64);
  EXPECT_EQ(Clean(4.5, "density.strm").GetPointsCount(), unset);
}

TEST_F(CleanFilterTest, AnItemMergedIntoOnePointKeepsTwelveBytesAndItsColour) {
  Open(OneItemStream({{1, 1, 1}, {1.2f, 1, 1}, {1, 1.3f, 1}}));
  CNimbex& clean = Clean(2.0);
  ASSERT_EQ(clean.GetItems()[0].ptsCount, 1);
  EXPECT_EQ(clean.GetItems()[0].ptsBytes, 12);
  EXPECT_EQ(fs::file_size(GetStrmCompanionName(m_Output, STRM_FILE)), 12u);
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> colors;
  LoadItem(clean, 0, points, colors);
  EXPECT_EQ(colors->GetValue(0), 0);  // the first point's colour
  EXPECT_EQ(colors->GetValue(2), 200);
}

TEST_F(CleanFilterTest, ColoursAreCarriedOnlyWhenTheSourceHasThem) {
  const TestStream coloured = OneItemStream({{1, 1, 1}, {5, 5, 5}, {-5, -5, -5}});
  Open(coloured);
  CNimbex& clean = Clean(0.0);
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> colors;
  ASSERT_EQ(LoadItem(clean, 0, points, colors), 3);
  EXPECT_EQ(colors->GetValue(2), 200);
  EXPECT_EQ(colors->GetValue(5), 200);

  TestStream plain = coloured;
  plain.rgb = false;
  fs::remove(GetStrmCompanionName(m_Source, RGB_FILE));
  Open(plain);
  // A stream that declares colours it does not hold would show black points.
  EXPECT_FALSE(Clean(0.0, "plain.strm").HasColors());
  EXPECT_FALSE(fs::exists(GetStrmCompanionName(m_Output, RGB_FILE)));
}

TEST_F(CleanFilterTest, CleanedStreamHoldsSpacedSourcePointsAndNoOtherAttribute) {
  TestStream stream = MakeLatticeStream(1, 2, 0);
  std::mt19937 random(5);
  for (TestItem& item : stream.items) {
    if (item.depth != 1) continue;
    const Point3f corner = item.points[0];
    std::uniform_real_distribution<float> offset(0.0f, 3.0f);
    for (int i = 0; i < 400; ++i) {
      item.points.push_back(
          {corner[0] + offset(random), corner[1] + offset(random), corner[2] + offset(random)});
      item.colors.push_back({1, 2, 3});
      item.intensities.push_back(1.0f), item.classes.push_back(7), item.pulses.push_back(1);
      item.normals.push_back({0, 0, 1});
    }
  }
  CNimbex& cloud = Open(stream);
  const double radius = 0.5;
  CNimbex& clean = Clean(radius);
  EXPECT_EQ(clean.GetDepth(), cloud.GetDepth());
  EXPECT_EQ(clean.GetItemCount(-1), cloud.GetItemCount(-1));
  EXPECT_FALSE(clean.HasIntensity() || clean.HasPulses() || clean.HasNormals() || clean.HasTri());
  EXPECT_TRUE(clean.HasColors() && clean.HasPyramidalLevels());
  EXPECT_EQ(clean.GetClassesPoints()[0], clean.GetPointsCount());

  int stored = 0;
  for (int id = 0; id < 8; ++id) {
    vtkNew<vtkPoints> source, kept;
    LoadItem(cloud, id, source, nullptr);
    stored += static_cast<int>(LoadItem(clean, id, kept, nullptr));
    EXPECT_LT(kept->GetNumberOfPoints(), source->GetNumberOfPoints());
    std::set<std::array<double, 3>> positions;
    for (vtkIdType i = 0; i < source->GetNumberOfPoints(); ++i) {
      const double* p = source->GetPoint(i);
      positions.insert({p[0], p[1], p[2]});
    }
    for (vtkIdType i = 0; i < kept->GetNumberOfPoints(); ++i) {
      double p[3], q[3];
      kept->GetPoint(i, p);
      EXPECT_TRUE(positions.count({p[0], p[1], p[2]})) << "item " << id;
      for (vtkIdType j = 0; j < i; ++j) {
        kept->GetPoint(j, q);
        EXPECT_GT(vtkMath::Distance2BetweenPoints(p, q), radius * radius);
      }
    }
  }
  EXPECT_EQ(stored, clean.GetPointsCount()) << "the header counts the new stream's points";
}

// The rule itself, tried against every kept point: in the cloud's order, a point is kept
// unless it lies within the radius of a point kept before it.
std::vector<size_t> KeptByRule(vtkPoints* points, double radius) {
  std::vector<size_t> kept;
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    double p[3], q[3];
    points->GetPoint(i, p);
    const bool reached = std::any_of(kept.begin(), kept.end(), [&](size_t k) {
      points->GetPoint(static_cast<vtkIdType>(k), q);
      return vtkMath::Distance2BetweenPoints(p, q) <= radius * radius;
    });
    if (!reached) kept.push_back(static_cast<size_t>(i));
  }
  return kept;
}

TEST_F(CleanFilterTest, KeepsExactlyThePointsTheRuleKeepsInTheirOrder) {
  // Eight cells of seeded clouds with repeated points and rows of points exactly 0.5 apart.
  TestStream stream = MakeLatticeStream(1, 2, 0);
  stream.rif = stream.cla = stream.pls = stream.norm = false;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> offset(0.0f, 3.5f);
  std::uniform_int_distribution<int> byte(0, 255);
  for (TestItem& item : stream.items) {
    if (item.depth != 1) continue;
    const Point3f corner = item.points[0];
    item.points.clear();
    for (int i = 0; i < 600; ++i) {
      if (i % 15 == 7) {
        item.points.push_back(item.points[random() % item.points.size()]);
      } else if (i % 40 == 0) {
        for (int k = 0; k < 6; ++k)
          item.points.push_back({corner[0] + 0.5f * k, corner[1], corner[2]});
      } else {
        item.points.push_back(
            {corner[0] + offset(random), corner[1] + offset(random), corner[2] + offset(random)});
      }
    }
    item.colors.clear();
    for (size_t i = 0; i < item.points.size(); ++i)
      item.colors.push_back({uint8_t(byte(random)), uint8_t(byte(random)), uint8_t(byte(random))});
  }
  CNimbex& cloud = Open(stream);

  for (const double radius : {0.5, 0.0, 0.21, 100.0}) {
    CNimbex& clean = Clean(radius, ("clean-" + std::to_string(radius) + ".strm").c_str());
    long long sourcePoints = 0;
    for (int id = 0; id < 8; ++id) {
      vtkNew<vtkPoints> source, kept;
      vtkNew<vtkUnsignedCharArray> sourceColors, keptColors;
      sourcePoints += LoadItem(cloud, id, source, sourceColors);
      LoadItem(clean, id, kept, keptColors);
      const std::vector<size_t> expected = KeptByRule(source, radius);
      ASSERT_EQ(kept->GetNumberOfPoints(), static_cast<vtkIdType>(expected.size()))
          << "radius " << radius << ", item " << id;
      for (size_t k = 0; k < expected.size(); ++k) {
        double p[3], q[3];
        kept->GetPoint(static_cast<vtkIdType>(k), p);
        source->GetPoint(static_cast<vtkIdType>(expected[k]), q);
        ASSERT_TRUE(p[0] == q[0] && p[1] == q[1] && p[2] == q[2])
            << "radius " << radius << ", item " << id << ", kept point " << k;
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(keptColors->GetValue(3 * k + c), sourceColors->GetValue(3 * expected[k] + c));
      }
    }
    if (radius == 0.5) {
      EXPECT_LT(clean.GetPointsCount(), sourcePoints * 6 / 10) << "it thins";
    }
    if (radius == 100.0) {
      EXPECT_EQ(clean.GetPointsCount(), 8) << "one point per item";
    }
  }
}

// A data file cut short after the stream was opened loses points: every filter fails,
// naming the file, and leaves nothing of its new stream.
TEST_F(CleanFilterTest, FiltersFailOnAShortReadNamingTheFile) {
  for (StrmFileKind kind : {STRM_FILE, RGB_FILE, PLS_FILE}) {
    CNimbex& cloud = Open(MakeLatticeStream(1, 4, 0));
    const fs::path damaged = GetStrmCompanionName(m_Source, kind);
    fs::resize_file(damaged, fs::file_size(damaged) / 2);
    const std::set<std::string> before = FilesIn(m_Folder.Path());
    std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / "clean.strm").c_str());
    if (kind != PLS_FILE) {
      EXPECT_EQ(cloud.CleanFilter(0.1, m_Output), 0);
      EXPECT_NE(cloud.GetLastError().find(damaged.string()), std::string::npos)
          << cloud.GetLastError();
    }
    if (kind == STRM_FILE) {
      std::snprintf(m_Output, sizeof m_Output, "%s", (m_Folder / "mesh.strm").c_str());
      EXPECT_EQ(cloud.MeshFilter(0.1, m_Output), 0);
      EXPECT_NE(cloud.GetLastError().find(damaged.string()), std::string::npos)
          << cloud.GetLastError();
    }
    if (kind != RGB_FILE) {
      EXPECT_EQ(cloud.MakeDSMFromPulse(2, (m_Folder / "dsm.strm").string()), 0);
      EXPECT_NE(cloud.GetLastError().find(damaged.string()), std::string::npos)
          << cloud.GetLastError();
    }
    EXPECT_EQ(FilesIn(m_Folder.Path()), before) << damaged;
  }
}

// The stored spacing is the unit by which views choose a level: thinning beyond the source's
// spacing must store one the kept points really have, or every view reads too coarse a level.
TEST_F(CleanFilterTest, TheCleanedStreamStoresTheSpacingOfItsPoints) {
  TestStream stream = MakeLatticeStream(0, 8, 0);  // one cell, a lattice 2 apart
  stream.gsd = 2.0;
  Open(stream);
  EXPECT_EQ(Clean(1.0, "fine.strm").GetLinearDensity(), 2.0) << "nothing merged: the source's";

  CNimbex& coarse = Clean(3.0, "coarse.strm");
  vtkNew<vtkPoints> kept;
  ASSERT_GT(LoadItem(coarse, 0, kept, nullptr), 1);
  double closest = 1e300;
  double p[3], q[3];
  for (vtkIdType i = 0; i < kept->GetNumberOfPoints(); ++i)
    for (vtkIdType j = 0; j < i; ++j) {
      kept->GetPoint(i, p);
      kept->GetPoint(j, q);
      closest = std::min(closest, std::sqrt(vtkMath::Distance2BetweenPoints(p, q)));
    }
  EXPECT_GE(coarse.GetLinearDensity(), 3.0);
  EXPECT_LE(coarse.GetLinearDensity(), closest);
}

}  // namespace
