// The Point-of-View filters against hand-placed cameras, and the filter settings file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PovFilter.h"
#include "nimbex/platform/Geometry.h"

namespace fs = std::filesystem;

namespace {

constexpr double kDegree = M_PI / 180;

SPovImage Camera(const std::string& path, double x, double y, double z, double omegaDegrees = 0,
                 double phiDegrees = 0, double kappaDegrees = 0, int date = 20240601) {
  SPovImage image;
  image.path = path;
  image.hasPov = image.oriented = true;
  image.centre[0] = x;
  image.centre[1] = y;
  image.centre[2] = z;
  Wml::Matrix3<double> rotation;
  rotation.FromEulerAnglesXYZ(omegaDegrees * kDegree, phiDegrees * kDegree, kappaDegrees * kDegree);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) image.rotation[i][j] = rotation(i, j);
  image.date = date;
  return image;
}

SPovImage WithoutPov(const std::string& path) {
  SPovImage image;
  image.path = path;
  return image;
}

SPovFilterResult Filter(const std::vector<SPovImage>& images, const SPovFilterSettings& settings,
                        const std::string& current = "ref.jpg") {
  SPovFilterResult result;
  EXPECT_EQ(ApplyPovFilters(images, current, settings, result), 1);
  return result;
}

SPovFilterSettings SpaceFilter(double radiusBox) {
  SPovFilterSettings settings;
  settings.space = true;
  settings.radiusBox = radiusBox;
  return settings;
}

using Paths = std::vector<std::string>;

TEST(PovFilter, WithoutActiveFiltersEveryPhotographWithAPointOfViewIsOffered) {
  std::vector<SPovImage> images = {WithoutPov("a.jpg"), Camera("ref.jpg", 0, 0, 0),
                                   Camera("far.jpg", 1000, 0, 0, 90, 40, -120, 19990101)};
  images.push_back(WithoutPov("unoriented.jpg"));
  images.back().hasPov = true;
  SPovFilterResult result = Filter(images, SPovFilterSettings());
  EXPECT_EQ(result.available, (Paths{"ref.jpg", "far.jpg", "unoriented.jpg"}));
  EXPECT_EQ(result.state, (std::vector<int>{-1, 0, 0, 0}));
  EXPECT_FALSE(result.filtersActive);
  EXPECT_FALSE(result.referenceNotOriented);
  EXPECT_EQ(result.status, "No filters active");

  // Nothing to filter against: no images, no current photograph, or one without a Point of View.
  SPovFilterResult untouched;
  untouched.status = "kept";
  EXPECT_EQ(ApplyPovFilters({}, "ref.jpg", SPovFilterSettings(), untouched), 0);
  EXPECT_EQ(ApplyPovFilters(images, "", SPovFilterSettings(), untouched), 0);
  EXPECT_EQ(ApplyPovFilters(images, "a.jpg", SPovFilterSettings(), untouched), 0);
  EXPECT_EQ(ApplyPovFilters(images, "elsewhere.jpg", SPovFilterSettings(), untouched), 0);
  EXPECT_TRUE(untouched.available.empty());
}

TEST(PovFilter, TheDistanceFilterUsesTheWholeRadiusAndKeepsTheReference) {
  std::vector<SPovImage> images = {Camera("ref.jpg", 10, 20, 30), Camera("near.jpg", 10, 21.9, 30),
                                   Camera("edge.jpg", 12, 20, 30),
                                   Camera("beyond.jpg", 10, 20, 32.5)};
  SPovFilterResult result = Filter(images, SpaceFilter(2.7));
  EXPECT_EQ(result.available, (Paths{"ref.jpg", "near.jpg", "edge.jpg"}));
  EXPECT_EQ(result.state, (std::vector<int>{0, 0, 0, 1}));
  EXPECT_EQ(result.status, "Total images: 4 - Currently available: 3");

  // An unoriented reference still filters, and the panel is told to warn.
  images[0].oriented = false;
  result = Filter(images, SpaceFilter(0.5));
  EXPECT_EQ(result.available, (Paths{"ref.jpg"}));
  EXPECT_TRUE(result.referenceNotOriented);
}

TEST(PovFilter, AngleWindowsAreStrictAndDoNotWrapRound) {
  SPovFilterSettings settings = SpaceFilter(100);
  for (int a = 0; a < 3; ++a) {
    settings.angleActive[0] = settings.angleActive[1] = settings.angleActive[2] = false;
    settings.angleActive[a] = true;
    auto at = [&](const std::string& name, double degrees) {
      double angles[3] = {0, 0, 0};
      angles[a] = degrees;
      return Camera(name, 1, 1, 1, angles[0], angles[1], angles[2]);
    };
    std::vector<SPovImage> images = {at("ref.jpg", 20), at("in-low.jpg", 5.5),
                                     at("in-high.jpg", 34.5), at("out-low.jpg", 4),
                                     at("out-high.jpg", 36)};
    EXPECT_EQ(Filter(images, settings).available, (Paths{"ref.jpg", "in-low.jpg", "in-high.jpg"}))
        << "angle " << a;
  }

  // Omega near +-180 degrees: -175 is 10 degrees from 175 round the circle, yet outside.
  settings.angleActive[0] = true;
  settings.angleActive[1] = settings.angleActive[2] = false;
  std::vector<SPovImage> images = {Camera("ref.jpg", 0, 0, 0, 175),
                                   Camera("across.jpg", 0, 0, 0, -175),
                                   Camera("beside.jpg", 0, 0, 0, 170)};
  EXPECT_EQ(Filter(images, settings).available, (Paths{"ref.jpg", "beside.jpg"}));

  // A wider window below (low 300: 60 degrees) and a narrow one above (up 2).
  settings.low[0] = 300;
  settings.up[0] = 2;
  images = {Camera("ref.jpg", 0, 0, 0, 0), Camera("below.jpg", 0, 0, 0, -50),
            Camera("above.jpg", 0, 0, 0, 3)};
  EXPECT_EQ(Filter(images, settings).available, (Paths{"ref.jpg", "below.jpg"}));

  // Angles count only with the distance filter on.
  settings.space = false;
  settings.time = true;
  EXPECT_EQ(Filter(images, settings).available.size(), 3u);
}

TEST(PovFilter, TheTimeFilterKeepsBothEndDays) {
  auto dated = [](const std::string& name, int date) {
    return Camera(name, 0, 0, 0, 0, 0, 0, date);
  };
  std::vector<SPovImage> images = {dated("ref.jpg", 20000101),   dated("first.jpg", 20240310),
                                   dated("last.jpg", 20240320),  dated("before.jpg", 20240309),
                                   dated("after.jpg", 20240321), dated("undated.jpg", 0)};
  SPovFilterSettings settings;
  settings.time = true;
  settings.from = 20240310;
  settings.to = 20240320;
  SPovFilterResult result = Filter(images, settings);
  EXPECT_EQ(result.available, (Paths{"ref.jpg", "first.jpg", "last.jpg"}));
  EXPECT_EQ(result.status, "Total images: 6 - Currently available: 3");
}

class FilterFolder : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pov filter-XXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    m_File = (m_Folder / "site_filter.ini").string();
  }
  void TearDown() override { fs::remove_all(m_Folder); }
  void Write(const std::string& text) const { std::ofstream(m_File, std::ios::binary) << text; }
  std::string Read() const {
    std::ostringstream text;
    text << std::ifstream(m_File, std::ios::binary).rdbuf();
    return text.str();
  }

  fs::path m_Folder;
  std::string m_File;
};

void ExpectDefaults(const SPovFilterFile& file) {
  const SPovFilterSettings& s = file.settings;
  EXPECT_FALSE(s.time);
  EXPECT_EQ(s.from, 20091212);
  EXPECT_EQ(s.to, 20291212);
  EXPECT_FALSE(s.space);
  EXPECT_EQ(s.radiusBox, 1.0);
  EXPECT_EQ(file.minRadius, 1);
  EXPECT_EQ(file.maxRadius, 10);
  for (int a = 0; a < 3; ++a) {
    EXPECT_FALSE(s.angleActive[a]);
    EXPECT_EQ(s.low[a], 345);
    EXPECT_EQ(s.up[a], 15);
  }
}

// Every control is saved and loaded by the page's own test; here, what the file holds.
TEST_F(FilterFolder, SavingKeepsTheFilesOtherLinesAndWritesWholeNumbers) {
  SPovFilterFile file;
  file.settings.radiusBox = 7.9;
  file.minRadius = 2;
  file.maxRadius = 80;
  Write("; kept\r\n[Space_Filter]\r\nother=5\r\n");
  ASSERT_EQ(SavePovFilterFile(m_File, file), 1);
  const std::string text = Read();
  for (const char* line : {"; kept\r\n", "other=5\r\n", "radius=7\r\n", "minRadius=2\r\n",
                           "maxRadius=80\r\n", "from=20091212\r\n", "kappaLow=345\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  SPovFilterFile read;
  ASSERT_EQ(LoadPovFilterFile(m_File, read), 1);
  EXPECT_EQ(read.settings.radiusBox, 7.0);
  EXPECT_EQ(read.maxRadius, 80);
}

TEST_F(FilterFolder, MissingOrGarbageValuesReadAsDefaults) {
  SPovFilterFile file;
  file.settings.time = true;
  EXPECT_EQ(LoadPovFilterFile(m_File, file), 0);
  ExpectDefaults(file);

  Write(
      "[Time_Filter]\nactive=yes\nfrom=20230230\nto=garbage\n"
      "[Space_Filter]\nactive=\nradius=-4\nminRadius=50\nmaxRadius=20\n"
      "omegaActive=x\nomegaLow=low\nphiLow=\nkappaLow=abc\nomegaUp=-\nphiUp=.5\nkappaUp=?\n");
  ASSERT_EQ(LoadPovFilterFile(m_File, file), 1);
  ExpectDefaults(file);

  Write(
      "[Space_Filter]\nomegaLow=705\nphiLow=-15\nkappaLow=360\nphiUp=3600000000\nomegaUp="
      "375\nradius=99\n"
      "minRadius=0\nmaxRadius=5\n[Time_Filter]\nfrom=99999999\nto=20240229\n");
  ASSERT_EQ(LoadPovFilterFile(m_File, file), 1);
  EXPECT_EQ(file.settings.low[0], 345);
  EXPECT_EQ(file.settings.low[1], 345);
  EXPECT_EQ(file.settings.low[2], 0);
  EXPECT_EQ(file.settings.up[0], 15);
  EXPECT_EQ(file.settings.up[1], 2147483647 % 360);
  EXPECT_EQ(file.settings.radiusBox, 1.0);
  EXPECT_EQ(file.minRadius, 0);
  EXPECT_EQ(file.maxRadius, 5);
  EXPECT_EQ(file.settings.from, 20091212);
  EXPECT_EQ(file.settings.to, 20240229);
}

TEST_F(FilterFolder, APhotographIsDatedByItsFileInUtc) {
  const std::string photo = (m_Folder / "photo.jpg").string();
  std::ofstream(photo) << "jpeg";
  const time_t now = time(nullptr);
  struct tm day {};
  gmtime_r(&now, &day);
  const int today = (day.tm_year + 1900) * 10000 + (day.tm_mon + 1) * 100 + day.tm_mday;
  // A photograph copied without its dates keeps its birth day where the file system keeps one;
  // elsewhere its modification day stands in.
  const struct timespec modified[2] = {{981158400, 0}, {981158400, 0}};  // 2001-02-03 00:00 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, photo.c_str(), modified, 0), 0);
  struct statx status {};
  ASSERT_EQ(statx(AT_FDCWD, photo.c_str(), 0, STATX_BTIME, &status), 0);
  EXPECT_EQ(ImageFileDate(photo), (status.stx_mask & STATX_BTIME) ? today : 20010203);
  EXPECT_TRUE(IsValidDate(today));
  EXPECT_EQ(ImageFileDate((m_Folder / "missing.jpg").string()), 0);
}

}  // namespace
