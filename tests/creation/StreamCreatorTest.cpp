#include <gtest/gtest.h>
#include <sys/resource.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "nimbex/access/Nimbex.h"
#include "nimbex/creation/GeoTransform.h"
#include "nimbex/creation/LasWriter.h"
#include "nimbex/creation/PointReader.h"
#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/StrmFiles.h"
#include "nimbex/format/StrmHeader.h"
#include "nimbex/format/Unset.h"
#include "nimbex/platform/Hooks.h"
#include "nimbex/platform/Profile.h"
#include "tests/support/StreamWriter.h"

namespace {

namespace fs = std::filesystem;

// Points served from memory, as a point file would.
class CVectorReader : public SPreader {
 public:
  explicit CVectorReader(std::vector<SPoint> points) : m_Points(std::move(points)) {}
  int64_t GetPointCount() const override { return static_cast<int64_t>(m_Points.size()); }
  int Read(SPoint& point) override {
    if (m_Next >= m_Points.size()) return SP_END;
    point = m_Points[m_Next++];
    return SP_VALID;
  }
  bool GetHeaderBounds(double bounds[6]) const override {
    if (!m_DeclaresBounds) return false;
    std::copy(m_Declared, m_Declared + 6, bounds);
    return true;
  }
  bool Scan(double bounds[6], int64_t& count, const std::function<void()>&, const int*) override {
    for (int d = 0; d < 3; ++d) bounds[2 * d] = 1e300, bounds[2 * d + 1] = -1e300;
    for (const SPoint& p : m_Points) {
      const double xyz[3] = {p.x, p.y, p.z};
      for (int d = 0; d < 3; ++d) {
        bounds[2 * d] = std::min(bounds[2 * d], xyz[d]);
        bounds[2 * d + 1] = std::max(bounds[2 * d + 1], xyz[d]);
      }
    }
    count = GetPointCount();
    return Rewind();
  }
  bool Rewind() override {
    m_Next = 0;
    return true;
  }
  const std::string& GetError() const override { return m_Error; }
  int64_t GetSkippedCount() const override { return 0; }

  void Declare(const double bounds[6]) {
    m_DeclaresBounds = true;
    std::copy(bounds, bounds + 6, m_Declared);
  }

 private:
  std::vector<SPoint> m_Points;
  size_t m_Next = 0;
  bool m_DeclaresBounds = false;
  double m_Declared[6] = {};
  std::string m_Error;
};

class TestCreator : public CStreamCreator {
 public:
  using CStreamCreator::CreateFromReader;
  int Build(SPreader& reader, const fs::path& output, bool las, const std::string& parse,
            int terrain, int* cancel = nullptr) {
    PutTerrain(terrain);
    return CreateFromReader(&reader, las, parse, -1, output.string(), cancel, nullptr, nullptr);
  }
  // Longitude/latitude points converted to a northern UTM zone.
  int BuildGeographic(SPreader& reader, const fs::path& output, bool las, int utmZone) {
    PutTerrain(1);
    m_UseGeoTransform = 1;
    return CreateFromReader(&reader, las, "xyz", utmZone, output.string(), nullptr, nullptr,
                            nullptr);
  }
  void UseGrid(const double bounds[6], int depth, int terrain, const fs::path& output) {
    PutTerrain(terrain);
    SetGridDepth(depth);
    m_Container = new CContainer(bounds, depth, terrain, m_Offset);
    m_Owned.reset(m_Container);
    SetOutputFileName(output.c_str());
  }
  void SetFlags(int rgb, int rif) {
    PutRgb(rgb);
    PutRif(rif);
  }
  // Cells spill their records to disk every 128 points.
  void SpillEarly() { m_CellMemoryBudget = 0; }
  std::unique_ptr<CContainer> m_Owned;
};

// A lattice of n x n x levels points with colours, intensities, classes and returns.
std::vector<SPoint> Lattice(int n, int levels, double spacing) {
  std::vector<SPoint> points;
  for (int k = 0; k < levels; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        SPoint p;
        p.x = 500000 + i * spacing;
        p.y = 4000000 + j * spacing;
        p.z = 100 + k * spacing;
        p.rgb[0] = static_cast<uint16_t>(i % 256);
        p.rgb[1] = 300;  // only the low byte, 44, is kept
        p.lasIntensity = static_cast<uint16_t>(i + j);
        p.classification = static_cast<uint8_t>((i + j) % 3);
        p.numberOfReturns = 3;
        p.returnNumber = static_cast<uint8_t>(1 + (i % 3));
        points.push_back(p);
      }
  return points;
}

std::vector<char> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

TEST(StreamCreatorTest, GridDepthFollowsThePointCount) {
  EXPECT_EQ(ComputeGridDepth(499999, 0), 0);
  EXPECT_EQ(ComputeGridDepth(499999, 1), 0);
  EXPECT_EQ(ComputeGridDepth(500000, 0), 1);
  EXPECT_EQ(ComputeGridDepth(500000, 1), 2);
  EXPECT_EQ(ComputeGridDepth(1048575, 0), 2);
  EXPECT_EQ(ComputeGridDepth(1048576, 0), 2);
  EXPECT_EQ(ComputeGridDepth(1048576, 1), 3);
  EXPECT_EQ(ComputeGridDepth(8388608, 0), 3);
  EXPECT_EQ(ComputeGridDepth(10000000, 1), 4);
  EXPECT_EQ(ComputeGridDepth(100000000, 0), 4);
  EXPECT_EQ(ComputeGridDepth(100000000, 1), 6);
  EXPECT_EQ(ComputeGridDepth(600000000, 0), 5);
  EXPECT_EQ(ComputeGridDepth(600000000, 1), 7);
}

TEST(StreamCreatorTest, PulseKindsFollowReturnNumbers) {
  EXPECT_EQ(GetPulseKind(1, 3), FIRST_PULSE);
  EXPECT_EQ(GetPulseKind(2, 3), INTERMEDIARY_PULSE);
  EXPECT_EQ(GetPulseKind(3, 3), LAST_PULSE);
  EXPECT_EQ(GetPulseKind(1, 1), SINGLE_PULSE);
  EXPECT_EQ(GetPulseKind(0, 0), SINGLE_PULSE);
  EXPECT_EQ(GetPulseKind(9, 9), LAST_PULSE);  // the 4-bit fields of newer point formats
}

TEST(StreamCreatorTest, EveryPointComesBackInTheCellOfItsItem) {
  ScratchFolder folder;
  const fs::path output = folder / "lattice.strm";
  CVectorReader reader(Lattice(30, 4, 0.25));
  TestCreator creator;
  ASSERT_EQ(creator.Build(reader, output, true, "xyzirgbc", 0), 1) << creator.GetLastError();

  CNimbex cloud(output.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  EXPECT_EQ(cloud.GetPointsCount(), 3600);
  const int all[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(cloud.GetNumberOfClassesPoints(all, 10), 3600);
  EXPECT_TRUE(cloud.HasColors() && cloud.HasIntensity() && cloud.HasPulses() && cloud.HasClasses());
  EXPECT_EQ(cloud.GetIntensityRange()[0], 0);
  EXPECT_EQ(cloud.GetIntensityRange()[1], 58);

  long long total = 0;
  for (const Item& item : cloud.GetLevelItems(-1)) {
    const int id = item.id;
    vtkNew<vtkPoints> points;
    vtkNew<vtkUnsignedCharArray> colors, pulses;
    colors->SetNumberOfComponents(3);
    ASSERT_EQ(
        cloud.LoadItemIO(-1, id, points, nullptr, nullptr, colors, nullptr, pulses, nullptr, 1), 1);
    double cell[6];
    cloud.GetItemBounds(id, -1, cell);
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
      const double* p = points->GetPoint(i);
      for (int d = 0; d < 3; ++d) {
        EXPECT_GE(p[d], cell[2 * d]);
        EXPECT_LE(p[d], cell[2 * d + 1]);
      }
      EXPECT_EQ(colors->GetTypedComponent(i, 1), 44);
      EXPECT_GE(pulses->GetValue(i), FIRST_PULSE);
      EXPECT_LE(pulses->GetValue(i), LAST_PULSE);
    }
    total += points->GetNumberOfPoints();
  }
  EXPECT_EQ(total, 3600);
  EXPECT_TRUE(fs::exists(folder / "Bounds.txt"));
}

TEST(StreamCreatorTest, TheLogEndsWithTheCompletionLineAndAnUnusedIntensityRangeIsZeroToOne) {
  ScratchFolder folder;
  const fs::path output = folder / "plain.strm";
  CVectorReader reader(Lattice(5, 1, 1.0));
  TestCreator creator;
  ASSERT_EQ(creator.Build(reader, output, false, "xyz", 1), 1) << creator.GetLastError();
  std::ifstream log(folder / "plain.log");
  std::string line, last;
  while (std::getline(log, line)) last = line;
  EXPECT_EQ(last.rfind("Process completed in ", 0), 0u) << last;
  EXPECT_EQ(last.back(), '.');

  CNimbex cloud(output.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_EQ(cloud.GetIntensityRange()[0], 0.0);
  EXPECT_EQ(cloud.GetIntensityRange()[1], 1.0);
  EXPECT_FALSE(cloud.HasColors());
  EXPECT_EQ(cloud.GetDepth(), 0);
  EXPECT_FALSE(fs::exists(folder / "plain.cla"));  // no overview points to classify
}

TEST(StreamCreatorTest, ADeclaredBoxHoldingAlmostNoPointIsReplacedByTheTrueOne) {
  ScratchFolder folder;
  CVectorReader reader(Lattice(10, 2, 1.0));
  // A quadtree cell ignores z: the box holds the two points above (500000, 4000000).
  const double holdsTwo[6] = {500000, 500000.5, 4000000, 4000000.5, 100, 100.5};
  reader.Declare(holdsTwo);
  TestCreator creator;
  double bounds[6];
  ASSERT_EQ(creator.CreateFromReader(&reader, true, "xyzic", -1, (folder / "s.strm").string(),
                                     nullptr, bounds, nullptr),
            1)
      << creator.GetLastError();
  EXPECT_EQ(creator.GetDroppedPointsCount(), 0);
  CNimbex cloud((folder / "s.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_EQ(cloud.GetPointsCount(), 200);

  // The box used is the one returned and written beside the stream.
  const double used[6] = {500000, 500009, 4000000, 4000009, 100, 101};
  CProfile written;
  ASSERT_TRUE(written.Load(folder / "Bounds.txt"));
  const char* keys[6] = {"MinX", "MaxX", "MinY", "MaxY", "MinZ", "MaxZ"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(bounds[i], used[i]) << keys[i];
    EXPECT_NEAR(written.GetDouble("Bounds", keys[i], 0), used[i], 1e-6) << keys[i];
  }
}

TEST(StreamCreatorTest, StreamsOfOneOrTwoPointsOpenWithTheSpacingTheyHave) {
  ScratchFolder folder;
  std::vector<SPoint> points = Lattice(2, 1, 3.0);
  points.resize(2);
  for (size_t count : {1, 2}) {
    CVectorReader reader(std::vector<SPoint>(points.begin(), points.begin() + count));
    const fs::path output = folder / ("few" + std::to_string(count) + ".strm");
    TestCreator creator;
    ASSERT_EQ(creator.Build(reader, output, true, "xyzirgbc", 1), 1) << creator.GetLastError();
    CNimbex cloud(output.c_str());
    ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
    EXPECT_EQ(cloud.GetPointsCount(), static_cast<int>(count));
    if (count == 2)
      EXPECT_DOUBLE_EQ(cloud.GetLinearDensity(), 3.0);
    else
      EXPECT_TRUE(IsUnset(cloud.GetLinearDensity()));
    vtkNew<vtkPoints> loaded;
    ASSERT_EQ(
        cloud.LoadItemIO(0, 0, loaded, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 1);
    EXPECT_EQ(loaded->GetNumberOfPoints(), static_cast<vtkIdType>(count));
  }
}

TEST(StreamCreatorTest, CancellingLeavesNoStreamAndTouchesNothingElse) {
  ScratchFolder folder;
  std::ofstream(folder / "notes.txt") << "keep me";
  std::ofstream(folder / "other_3.buf") << "another stream's buffer";
  const fs::path output = folder / "big.strm";
  CVectorReader reader(Lattice(120, 40, 0.1));  // 576,000 points: depth 1 with overviews
  int cancel = 0;
  int pumps = 0;
  bool spilled = false;
  SetMessagePump([&] {
    if (++pumps != 20) return;
    spilled = fs::exists(folder / "big_cells.buf");
    cancel = 1;
  });
  TestCreator creator;
  creator.SpillEarly();  // the cells' spill files are there when the run is cancelled
  EXPECT_EQ(creator.Build(reader, output, true, "xyzirgbc", 0, &cancel), 0);
  SetMessagePump(nullptr);
  EXPECT_TRUE(spilled);

  CNimbex cloud(output.c_str());
  EXPECT_EQ(cloud.OpenStrmCloud(), 0);
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "notes.txt" || name == "other_3.buf" || name == "big.log" ||
                name == "Bounds.txt")
        << name;
  }
}

// Lowers this process's limit of open files for a scope; the files already open stay open.
class COpenFilesLimit {
 public:
  explicit COpenFilesLimit(rlim_t files) {
    getrlimit(RLIMIT_NOFILE, &m_Saved);
    rlimit lowered = m_Saved;
    lowered.rlim_cur = files;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~COpenFilesLimit() { setrlimit(RLIMIT_NOFILE, &m_Saved); }

 private:
  rlimit m_Saved;
};

// A limit that leaves room for two more open files, maybe three (the listing's own).
rlim_t RoomForTwoMoreFiles() {
  std::set<int> open;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
    open.insert(std::stoi(entry.path().filename().string()));
  int free = 0;
  for (int descriptor = 0;; ++descriptor)
    if (!open.count(descriptor) && ++free == 2) return descriptor + 1;
}

TEST(StreamCreatorTest, ABufferThatCannotBeCreatedEndsTheRunNamingWhy) {
  ScratchFolder folder;
  {
    // The log and a spill file or two open; the other kinds of records find no descriptor.
    CVectorReader reader(Lattice(20, 2, 1.0));
    TestCreator creator;
    creator.SpillEarly();
    int built;
    {
      COpenFilesLimit limit(RoomForTwoMoreFiles());
      built = creator.Build(reader, folder / "crowded.strm", true, "xyzirgbc", 1);
    }
    EXPECT_EQ(built, 0);
    EXPECT_NE(creator.GetLastError().find("Too many open files"), std::string::npos)
        << creator.GetLastError();
    EXPECT_NE(creator.GetLastError().find("crowded_cells."), std::string::npos);
  }
  // A file of a buffer's name that the run did not write is neither replaced nor removed.
  std::ofstream(folder / "taken_cells.buf") << "not the build's";
  CVectorReader reader(Lattice(20, 2, 1.0));
  TestCreator creator;
  creator.SpillEarly();
  EXPECT_EQ(creator.Build(reader, folder / "taken.strm", true, "xyzic", 1), 0);
  EXPECT_NE(creator.GetLastError().find("taken_cells.buf: a file of that name exists already"),
            std::string::npos)
      << creator.GetLastError();
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.Path()))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"crowded.log", "taken.log", "taken_cells.buf"}));
  std::string kept;
  std::getline(std::ifstream(folder / "taken_cells.buf"), kept);
  EXPECT_EQ(kept, "not the build's");
}

// Points scattered over a box, so that consecutive points land in different cells.
std::vector<SPoint> Scattered(int count) {
  uint32_t state = 12345;
  auto next = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  std::vector<SPoint> points(count);
  for (SPoint& p : points) {
    p.x = 300000 + next(100000) * 0.001;
    p.y = 5000000 + next(100000) * 0.001;
    p.z = 50 + next(20000) * 0.001;
    for (uint16_t& c : p.rgb) c = static_cast<uint16_t>(next(256));
    p.lasIntensity = static_cast<uint16_t>(next(65536));
    p.classification = static_cast<uint8_t>(next(10));
    p.numberOfReturns = static_cast<uint8_t>(1 + next(3));
    p.returnNumber = static_cast<uint8_t>(1 + next(p.numberOfReturns));
  }
  return points;
}

// Every file of a folder but the logs, which hold times, by name.
std::map<std::string, std::vector<char>> FilesOf(const fs::path& folder) {
  std::map<std::string, std::vector<char>> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() != ".log")
      files[entry.path().filename().string()] = ReadBytes(entry.path());
  return files;
}

void ExpectSameFiles(const std::map<std::string, std::vector<char>>& files,
                     const std::map<std::string, std::vector<char>>& reference,
                     const std::string& mode) {
  ASSERT_EQ(files.size(), reference.size()) << mode;
  for (const auto& [name, bytes] : reference) {
    ASSERT_TRUE(files.count(name)) << mode << ": no " << name;
    EXPECT_TRUE(files.at(name) == bytes) << mode << ": " << name << " differs";
  }
}

// Sets an environment variable for a scope.
class CEnvironmentVariable {
 public:
  CEnvironmentVariable(const char* name, const char* value) : m_Name(name) {
    setenv(name, value, 1);
  }
  ~CEnvironmentVariable() { unsetenv(m_Name); }

 private:
  const char* m_Name;
};

TEST(CreationThreadsTest, OneAndTwoThreadsWriteTheSameFilesWhetherCellsSpillOrNot) {
  // 1.1 million points, every kind of record, in an octree of depth 2: 64 cells.
  const std::vector<SPoint> points = Scattered(1100000);
  ScratchFolder folder;
  struct Mode {
    const char* name;
    int threads;
    bool spill;
  };
  const Mode modes[] = {
      {"one", 1, false}, {"two", 2, false}, {"one-spilled", 1, true}, {"two-spilled", 2, true}};
  std::map<std::string, std::vector<char>> reference;
  for (const Mode& mode : modes) {
    const fs::path output = folder / mode.name / "s.strm";
    CEnvironmentVariable threads("NIMBEX_CREATION_THREADS", mode.threads == 1 ? "1" : "2");
    TestCreator creator;
    if (mode.spill) creator.SpillEarly();
    // Spill files exist from a cell's first spill until merging is done.
    bool spilled = false;
    SetMessagePump([&] { spilled = spilled || fs::exists(folder / mode.name / "s_cells.buf"); });
    CVectorReader reader(points);
    const int built = creator.Build(reader, output, true, "xyzirgbc", 0);
    SetMessagePump(nullptr);
    ASSERT_EQ(built, 1) << mode.name << ": " << creator.GetLastError();
    EXPECT_EQ(spilled, mode.spill) << mode.name;

    const auto files = FilesOf(output.parent_path());
    if (reference.empty()) {
      CNimbex cloud(output.c_str());
      ASSERT_EQ(cloud.OpenStrmCloud(), 1);
      EXPECT_EQ(cloud.GetDepth(), 2);
      EXPECT_EQ(cloud.GetLevelItems(-1).size(), 64u);
      EXPECT_EQ(files.size(), 12u);  // Bounds.txt, pci, and 5 data files with their overviews
      reference = files;
    } else {
      ExpectSameFiles(files, reference, mode.name);
    }
  }
}

TEST(CreationThreadsTest, ALasFileBuildsTheSameOnOneThreadAsOnTwo) {
  ScratchFolder folder;
  const fs::path las = folder / "scattered.las";
  CLasWriter writer;
  const double scale[3] = {0.001, 0.001, 0.001}, offset[3] = {300000, 5000000, 0};
  ASSERT_TRUE(writer.Open(las.string(), 7, scale, offset)) << writer.GetError();
  for (const SPoint& p : Scattered(600000)) {
    LasPoint point;
    point.x = p.x, point.y = p.y, point.z = p.z;
    point.intensity = p.lasIntensity;
    point.classification = p.classification;
    point.returnNumber = p.returnNumber;
    point.numberOfReturns = p.numberOfReturns;
    for (int c = 0; c < 3; ++c) point.rgb[c] = static_cast<uint16_t>(p.rgb[c] * 257);
    ASSERT_TRUE(writer.Write(point));
  }
  ASSERT_TRUE(writer.Close()) << writer.GetError();

  std::map<std::string, std::vector<char>> built[2];
  for (int threads = 1; threads <= 2; ++threads) {
    const fs::path output = folder / std::to_string(threads) / "s.strm";
    CEnvironmentVariable variable("NIMBEX_CREATION_THREADS", threads == 1 ? "1" : "2");
    CStreamCreator creator;
    ASSERT_EQ(creator.CreateStream(las.string(), "las", "xyzirgbc", 1, 0, -1, false,
                                   output.string(), nullptr, SCF_POINT_FILE, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
              1)
        << creator.GetLastError();
    built[threads - 1] = FilesOf(output.parent_path());
  }
  EXPECT_GT(built[0].at("s.ovw").size(), 0u);
  ExpectSameFiles(built[1], built[0], "two threads");
}

TEST(StreamCreatorTest, ZoneMinusOneKeepsCoordinatesAndClasslessInputGetsZeroClassFiles) {
  ScratchFolder folder;
  // 600,000 points without classes: depth 1, overview points, all-zero class files.
  const fs::path listed = folder / "points.txt";
  {
    std::ofstream text(listed);
    for (int i = 0; i < 600000; ++i)
      text << 10 + (i % 1000) * 0.01 << " " << 20 + (i / 1000) * 0.01 << " 5\n";
  }
  CStreamCreator creator;
  ASSERT_EQ(creator.CreateStream(listed.string(), "text", "xyz", 0, 1, -1, false,
                                 (folder / "t.strm").string(), nullptr, SCF_POINT_FILE, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr),
            1)
      << creator.GetLastError();
  CNimbex cloud((folder / "t.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  double offset[3];
  cloud.GetOffset(offset);
  EXPECT_NEAR(offset[0], 14.995, 1e-9);  // longitude-like values left as they are
  EXPECT_EQ(cloud.GetDepth(), 1);
  EXPECT_TRUE(cloud.HasClasses());
  const std::vector<char> classes = ReadBytes(folder / "t.cla");
  EXPECT_EQ(classes.size(), 600000u);
  EXPECT_TRUE(std::all_of(classes.begin(), classes.end(), [](char c) { return c == 0; }));
  EXPECT_EQ(fs::file_size(folder / "t.claovw"), fs::file_size(folder / "t.ovw") / 12);
}

TEST(StreamCreatorTest, OverviewItemsCarryTheAttributesOfTheirSampledPoints) {
  ScratchFolder folder;
  const fs::path output = folder / "ovw.strm";
  CVectorReader reader(Lattice(120, 40, 0.1));  // 576,000 points: depth 1
  TestCreator creator;
  ASSERT_EQ(creator.Build(reader, output, true, "xyzirgbc", 0), 1) << creator.GetLastError();
  CNimbex cloud(output.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  ASSERT_EQ(cloud.GetDepth(), 1);
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedCharArray> classes, colors, pulses;
  vtkNew<vtkFloatArray> intensities;
  colors->SetNumberOfComponents(3);
  ASSERT_EQ(
      cloud.LoadItemIO(0, 0, points, nullptr, classes, colors, intensities, pulses, nullptr, 1), 1);
  ASSERT_EQ(points->GetNumberOfPoints(), 576000 / 8);
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    // Every attribute of a sampled point keeps the relation the input gave it.
    const double* p = points->GetPoint(i);
    const int column = static_cast<int>(std::lround((p[0] + 5.95) / 0.1));
    EXPECT_EQ(colors->GetTypedComponent(i, 0), column % 256) << i;
    EXPECT_EQ(colors->GetTypedComponent(i, 1), 44) << i;
    EXPECT_GE(pulses->GetValue(i), FIRST_PULSE);
    EXPECT_LE(pulses->GetValue(i), LAST_PULSE);
    EXPECT_LT(classes->GetValue(i), 3);
    EXPECT_GE(intensities->GetValue(i), column);
  }
}

TEST(StreamCreatorTest, GeographicTextIsGriddedInItsUtmZone) {
  ScratchFolder folder;
  const fs::path text = folder / "lonlat.txt";
  {
    std::ofstream out(text);
    for (int i = 0; i < 100; ++i)
      out << 9.1 + i * 0.0001 << " " << 45.4 + (i % 10) * 0.0001 << " " << i << "\n";
  }
  CStreamCreator creator;
  ASSERT_EQ(creator.CreateStream(text.string(), "text", "xyz", 0, 1, 32, false,
                                 (folder / "utm.strm").string(), nullptr, SCF_POINT_FILE, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr),
            1)
      << creator.GetLastError();
  EXPECT_EQ(creator.GetDroppedPointsCount(), 0);
  CNimbex cloud((folder / "utm.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  double offset[3], bounds[6];
  cloud.GetOffset(offset);
  cloud.GetBounds(bounds);
  EXPECT_NEAR(offset[0], 508200, 300);          // easting of 9.1 degrees east in zone 32
  EXPECT_NEAR(offset[1], 5027400, 300);         // northing of 45.4 degrees north
  EXPECT_NEAR(bounds[3] - bounds[2], 100, 10);  // 0.0009 degrees of latitude
}

// 100 x 100 points over 0.2 degrees of longitude and of latitude.
std::vector<SPoint> LongitudeLatitudeSquare() {
  std::vector<SPoint> points;
  for (int j = 0; j < 100; ++j)
    for (int i = 0; i < 100; ++i) {
      SPoint p;
      p.x = 9.0 + i * 0.2 / 99;
      p.y = 45.0 + j * 0.2 / 99;
      p.z = j % 5;
      points.push_back(p);
    }
  return points;
}

TEST(StreamCreatorTest, GeographicInputOverAWideExtentKeepsEveryPoint) {
  ScratchFolder folder;
  const std::vector<SPoint> square = LongitudeLatitudeSquare();
  const fs::path text = folder / "square.txt";
  {
    std::ofstream out(text);
    out.precision(12);
    for (const SPoint& p : square) out << p.x << " " << p.y << " " << p.z << "\n";
  }
  double bounds[6];
  CStreamCreator fromText;
  ASSERT_EQ(fromText.CreateStream(text.string(), "text", "xyz", 1, 1, 32, false,
                                  (folder / "text.strm").string(), nullptr, SCF_POINT_FILE, bounds,
                                  nullptr, nullptr, nullptr, nullptr, nullptr),
            1)
      << fromText.GetLastError();
  EXPECT_EQ(fromText.GetDroppedPointsCount(), 0);
  EXPECT_EQ(fromText.GetPointsCount(), 10000);
  // East of the zone's central meridian the square widens southwards: its easternmost point
  // is the south-eastern corner, which the box's two corners (south-west, north-east) miss.
  double east = 9.2, south = 45.0, z = 0;
  std::string error;
  CGeoTransform::Create(32, error)->Transform(east, south, z);
  EXPECT_GE(bounds[1], east);

  // A LAS header declares the longitude/latitude box.
  CVectorReader las(square);
  const double declared[6] = {9.0, 9.2, 45.0, 45.2, 0, 4};
  las.Declare(declared);
  TestCreator fromLas;
  ASSERT_EQ(fromLas.BuildGeographic(las, folder / "las.strm", true, 32), 1)
      << fromLas.GetLastError();
  EXPECT_EQ(fromLas.GetDroppedPointsCount(), 0);
  CNimbex cloud((folder / "las.strm").c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1);
  EXPECT_EQ(cloud.GetPointsCount(), 10000);
}

TEST(StreamCreatorMergingTest, BuffersAreMergedInIdOrderAndRemoved) {
  ScratchFolder folder;
  const fs::path output = folder / "m.strm";
  const double bounds[6] = {-8, 8, -8, 8, -8, 8};
  TestCreator creator;
  creator.UseGrid(bounds, 2, 0, output);
  creator.SetFlags(1, 0);
  const std::vector<float> hundredPoints(300, 0.5f);
  const std::vector<char> colours(300, 7);
  for (int id : {9, 2, 5}) {
    std::ofstream(folder / ("m_" + std::to_string(id) + ".buf"), std::ios::binary)
        .write(reinterpret_cast<const char*>(hundredPoints.data()), 1200);
    std::ofstream(folder / ("m_" + std::to_string(id) + ".rgbbuf"), std::ios::binary)
        .write(colours.data(), 300);
    creator.GetItemsIds()->push_back(id);
  }
  std::ofstream(folder / "other_2.buf") << "not ours";

  std::FILE* header = std::fopen((folder / "m.pci").c_str(), "w+b");
  std::FILE* files[7] = {};
  std::vector<Item*> items;
  ASSERT_EQ(
      creator.ThirdStep_Merging(&items, header, files[0], files[1], files[2], files[3], files[4],
                                files[5], files[6], nullptr, nullptr, nullptr, nullptr, nullptr),
      1);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]->id, 2);
  EXPECT_EQ(items[1]->id, 5);
  EXPECT_EQ(items[2]->id, 9);
  EXPECT_EQ(items[0]->ptsCount, 100);
  EXPECT_EQ(items[0]->ptsBytes, 1200);
  EXPECT_EQ(items[1]->ptsPos, 1200);
  EXPECT_EQ(items[2]->ptsPos, 2400);
  EXPECT_EQ(items[2]->triPos, 0);
  EXPECT_EQ(items[2]->triCount, 0);
  for (std::FILE* file : files)
    if (file) std::fclose(file);
  std::fclose(header);
  CStreamCreator::FreeItemArrayItems(items);
  EXPECT_EQ(fs::file_size(folder / "m.rgb"), 900u);
  EXPECT_EQ(fs::file_size(folder / "m.pci"), 240u);
  EXPECT_FALSE(fs::exists(folder / "m_2.buf"));
  EXPECT_FALSE(fs::exists(folder / "m_9.rgbbuf"));
  EXPECT_TRUE(fs::exists(folder / "other_2.buf"));
}

// Builds overviews over hand-made full-resolution items of one octree or quadtree parent.
std::vector<int32_t> OverviewOf(const std::vector<int>& childPoints, int terrain, int& parents) {
  ScratchFolder folder;
  const fs::path output = folder / "o.strm";
  const double bounds[6] = {-8, 8, -8, 8, -8, 8};
  TestCreator creator;
  creator.UseGrid(bounds, 1, terrain, output);
  std::vector<float> xyz;
  std::FILE* points = std::fopen((folder / "o.strm").c_str(), "w+b");
  std::vector<Item*> items;
  for (size_t child = 0; child < childPoints.size(); ++child) {
    Item* item = new Item{};
    item->id = static_cast<int>(child);
    item->isLeaf = 1;
    double* center = creator.m_Owned->GetItemCenter(item->id, 0, 1);
    std::copy(center, center + 3, item->center);
    delete[] center;
    item->ptsPos = ftello(points);
    item->ptsCount = childPoints[child];
    item->ptsBytes = item->ptsCount * 12;
    for (int i = 0; i < childPoints[child]; ++i) {
      const float p[3] = {static_cast<float>(xyz.size() / 3), 0, 0};
      xyz.insert(xyz.end(), p, p + 3);
      std::fwrite(p, sizeof p, 1, points);
    }
    items.push_back(item);
  }
  std::fflush(points);
  std::FILE* header = std::fopen((folder / "o.pci").c_str(), "w+b");
  std::FILE* none = nullptr;
  creator.FourthStep_Overviewing(&items, header, points, none, none, none, none, none, none,
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
  std::fclose(points);
  std::fclose(header);
  CStreamCreator::FreeItemArrayItems(items);
  const std::vector<char> pci = ReadBytes(folder / "o.pci");
  parents = pci.size() >= 4 ? *reinterpret_cast<const int32_t*>(pci.data()) : -1;
  const std::vector<char> ovw = ReadBytes(folder / "o.ovw");
  std::vector<int32_t> kept;
  for (size_t i = 0; i + 12 <= ovw.size(); i += 12)
    kept.push_back(static_cast<int32_t>(*reinterpret_cast<const float*>(ovw.data() + i)));
  return kept;
}

TEST(StreamCreatorMergingTest, ACellOfMorePointsThanAnItemCanCountIsRefused) {
  int32_t bytes = 0;
  EXPECT_TRUE(GetItemPointsBytes(178956970, bytes));
  EXPECT_EQ(bytes, 2147483640);
  EXPECT_FALSE(GetItemPointsBytes(178956971, bytes));
  EXPECT_EQ(bytes, 2147483640);

  // A buffer one point over (a sparse file: it takes no room on the disk) is refused before a
  // byte of it is read.
  ScratchFolder folder;
  const double bounds[6] = {-8, 8, -8, 8, -8, 8};
  TestCreator creator;
  creator.UseGrid(bounds, 1, 0, folder / "crowded.strm");
  std::ofstream(folder / "crowded_3.buf").close();
  fs::resize_file(folder / "crowded_3.buf", (ITEM_MAX_POINTS + 1) * STRM_POINT_BYTES);
  creator.GetItemsIds()->push_back(3);
  std::FILE* header = std::fopen((folder / "crowded.pci").c_str(), "w+b");
  std::FILE* files[7] = {};
  std::vector<Item*> items;
  EXPECT_EQ(
      creator.ThirdStep_Merging(&items, header, files[0], files[1], files[2], files[3], files[4],
                                files[5], files[6], nullptr, nullptr, nullptr, nullptr, nullptr),
      0);
  std::fclose(header);
  EXPECT_NE(creator.GetLastError().find("cell 3 holds 178956971 points"), std::string::npos)
      << creator.GetLastError();
  EXPECT_TRUE(items.empty());
  EXPECT_FALSE(fs::exists(folder / "crowded.strm"));
}

TEST(StreamCreatorOverviewTest, ParentsKeepEveryEighthPointOfTheirChildren) {
  int parents = 0;
  EXPECT_EQ(OverviewOf({5, 0, 7, 0, 0, 8, 0, 0}, 0, parents), (std::vector<int32_t>{0, 8}));
  EXPECT_EQ(parents, 1);
  EXPECT_TRUE(OverviewOf({1, 2, 0, 0}, 1, parents).empty());  // 3 / 4 = 0: no parent
  EXPECT_EQ(parents, 0);
}

TEST(StreamCreatorOverviewTest, LevelBlocksRunFromTheFinestToTheCoarsest) {
  ScratchFolder folder;
  const fs::path output = folder / "deep.strm";
  const double bounds[6] = {-8, 8, -8, 8, -8, 8};
  TestCreator creator;
  creator.UseGrid(bounds, 3, 0, output);
  creator.SetFlags(0, 0);
  const std::vector<float> eightPoints(24, 1.0f);
  for (int id = 0; id < 512; ++id) {
    std::ofstream(folder / ("deep_" + std::to_string(id) + ".buf"), std::ios::binary)
        .write(reinterpret_cast<const char*>(eightPoints.data()), 96);
    creator.GetItemsIds()->push_back(id);
  }
  const double offset[3] = {0, 0, 0}, range[2] = {0, 1}, elevation[2] = {-8, 8};
  const std::vector<int> classes(10, 0);
  const std::string pci = (folder / "deep.pci").string();
  WriteStrmHeaderFile(pci.c_str(), 103, 0, 4096, bounds, offset, 3, 10, classes.data(), 1.0, 512, 0,
                      range, 0, elevation, 0);
  std::FILE* header = std::fopen(pci.c_str(), "rb+");
  std::fseek(header, 0, SEEK_END);
  std::FILE* files[7] = {};
  std::vector<Item*> items;
  ASSERT_EQ(
      creator.ThirdStep_Merging(&items, header, files[0], files[1], files[2], files[3], files[4],
                                files[5], files[6], nullptr, nullptr, nullptr, nullptr, nullptr),
      1);
  creator.FourthStep_Overviewing(&items, header, files[0], files[1], files[2], files[3], files[4],
                                 files[5], files[6], nullptr, nullptr, nullptr, nullptr, nullptr);
  for (std::FILE* file : files)
    if (file) std::fclose(file);
  std::fclose(header);
  CStreamCreator::FreeItemArrayItems(items);

  CNimbex cloud(output.c_str());
  ASSERT_EQ(cloud.OpenStrmCloud(), 1) << cloud.GetLastError();
  EXPECT_EQ(cloud.GetItemCount(2), 64);
  EXPECT_EQ(cloud.GetItemCount(1), 8);
  EXPECT_EQ(cloud.GetItemCount(0), 1);
  Item *finest = nullptr, *middle = nullptr, *root = nullptr;
  ASSERT_TRUE(cloud.GetItem(0, finest, 2) && cloud.GetItem(0, middle, 1) &&
              cloud.GetItem(0, root, 0));
  EXPECT_EQ(finest->ptsPos, 0);  // "ovw" holds depth 2, then 1, then 0
  EXPECT_EQ(middle->ptsPos, 64 * 8 * 12);
  EXPECT_EQ(root->ptsPos, (64 + 8) * 8 * 12);
  EXPECT_EQ(root->ptsCount, 8);
}

}  // namespace
