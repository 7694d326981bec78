#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <set>

#include "nimbex/creation/LasReader.h"
#include "nimbex/demo/DemoPhotos.h"
#include "nimbex/demo/DemoSite.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;
using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;

namespace {

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsRoofRed(const cv::Vec3b& bgr) {
  return bgr[2] > 1.3 * bgr[1] && bgr[2] > 1.3 * bgr[0];
}

// The corners of the red roofs of a site, read from its points: red building points grouped
// by touching cells of a metre, each group's extreme points along the two diagonals, moved
// inwards by `inset` along each axis. They come in the order of the diagonals below.
std::vector<Point3> RedRoofCorners(const fs::path& las, double inset) {
  std::string error;
  auto reader = CLasReader::Open(las.string(), error);
  EXPECT_TRUE(reader) << error;
  std::vector<Point3> red;
  SPoint point;
  while (reader && reader->Read(point) == SP_VALID)
    if (point.classification == 6 && point.rgb[0] > 2 * point.rgb[1] &&
        point.rgb[0] > 2 * point.rgb[2])
      red.emplace_back(point.x, point.y, point.z);
  std::map<std::pair<long, long>, std::vector<size_t>> cells;
  for (size_t i = 0; i < red.size(); ++i)
    cells[{long(std::floor(red[i].X())), long(std::floor(red[i].Y()))}].push_back(i);
  std::vector<Point3> corners;
  std::set<std::pair<long, long>> seen;
  for (const auto& [start, unused] : cells) {
    if (!seen.insert(start).second) continue;
    std::vector<std::pair<long, long>> stack{start};
    std::vector<size_t> group;
    while (!stack.empty()) {
      const auto cell = stack.back();
      stack.pop_back();
      const auto& members = cells.at(cell);
      group.insert(group.end(), members.begin(), members.end());
      for (long dx = -1; dx <= 1; ++dx)
        for (long dy = -1; dy <= 1; ++dy) {
          const std::pair<long, long> next{cell.first + dx, cell.second + dy};
          if (cells.count(next) && seen.insert(next).second) stack.push_back(next);
        }
    }
    for (const auto& [sx, sy] : {std::pair<int, int>{1, 1}, {1, -1}, {-1, 1}, {-1, -1}}) {
      auto along = [&](size_t i) { return sx * red[i].X() + sy * red[i].Y(); };
      const size_t corner = *std::max_element(
          group.begin(), group.end(), [&](size_t a, size_t b) { return along(a) < along(b); });
      corners.push_back(red[corner] - Point3(sx * inset, sy * inset, 0));
    }
  }
  return corners;
}

// Photographs of a small seeded site at a quarter of their size, made once for the tests.
class DemoPhotosTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_Folder = new ScratchFolder;
    DemoSiteSettings site;
    site.points = 200000;
    site.seed = 2;
    site.creationDate = LasDate{100, 2025};
    std::string error;
    ASSERT_TRUE(WriteDemoSite(*s_Folder / "site.las", site, nullptr, error)) << error;
    s_Shots = new std::vector<DemoShot>;
    ASSERT_TRUE(WriteDemoPhotos(*s_Folder / "site.las", *s_Folder / "photos", Settings(), nullptr,
                                nullptr, *s_Shots, error))
        << error;
  }
  static void TearDownTestSuite() {
    delete s_Shots;
    delete s_Folder;
  }

  static DemoPhotoSettings Settings() {
    DemoPhotoSettings settings;
    settings.count = 8;
    settings.seed = 3;
    settings.sizeFactor = 0.25;
    return settings;
  }
  static fs::path Photos() { return *s_Folder / "photos"; }

  static ScratchFolder* s_Folder;
  static std::vector<DemoShot>* s_Shots;
};

ScratchFolder* DemoPhotosTest::s_Folder = nullptr;
std::vector<DemoShot>* DemoPhotosTest::s_Shots = nullptr;

}  // namespace

// A roof corner seen from the drone straight above lands on a pixel of its roof's colour, and
// the ground a few metres beyond the corner on one that is not: the orientation written is
// the one the picture was taken with, the right way round. The corner is taken two pixels
// inside the roof's edge (18 cm each at this size), which the blur of a photograph softens.
TEST_F(DemoPhotosTest, ABuildingCornerProjectsOntoItsRoofColour) {
  const std::vector<Point3> corners = RedRoofCorners(*s_Folder / "site.las", 0.3);
  ASSERT_GE(corners.size(), 4u) << "the site has no red roof";
  int seen = 0;
  for (const DemoShot& shot : *s_Shots) {
    if (shot.kind != DemoShotKind::Nadir) continue;
    const cv::Mat picture = cv::imread((Photos() / shot.name).string());
    ASSERT_FALSE(picture.empty()) << shot.name;
    for (size_t i = 0; i < corners.size(); ++i) {
      if (!shot.orientation.IsInImage(corners[i])) continue;
      // Outwards from the building, down on the ground.
      const Point3 beyond = corners[i] + Point3((i % 4) < 2 ? 3 : -3, (i % 2) == 0 ? 3 : -3, -4);
      Point2 corner, ground;
      ASSERT_EQ(shot.orientation.Pt3dToPix(corners[i], corner), 1);
      ASSERT_EQ(shot.orientation.Pt3dToPix(beyond, ground), 1);
      if (!shot.orientation.IsPixelInImage(ground)) continue;
      EXPECT_TRUE(IsRoofRed(picture.at<cv::Vec3b>(int(corner.Y()), int(corner.X()))))
          << shot.name << " corner " << i << " at " << corner.X() << ", " << corner.Y();
      EXPECT_FALSE(IsRoofRed(picture.at<cv::Vec3b>(int(ground.Y()), int(ground.X()))))
          << shot.name << " beyond corner " << i;
      ++seen;
    }
  }
  EXPECT_GT(seen, 0) << "no nadir photograph sees a red roof's corner";
}

// The photographs, named as the cameras name them, have their orientation files beside them
// except one in eight without ".est"; read back, the files project as the pictures were
// rendered, and the files are dated when the shots were taken, over several days.
TEST_F(DemoPhotosTest, EachPhotographHasTheOrientationItWasRenderedWith) {
  ASSERT_EQ(s_Shots->size(), 8u);
  const std::regex droneName("DJI_[0-9]{4}\\.JPG"), groundName("IMG_[0-9]{4}\\.JPG");
  int kinds[3] = {0, 0, 0}, withoutExterior = 0;
  int64_t first = INT64_MAX, last = INT64_MIN;
  for (const DemoShot& shot : *s_Shots) {
    ++kinds[int(shot.kind)];
    const fs::path photo = Photos() / shot.name;
    EXPECT_TRUE(
        std::regex_match(shot.name, shot.kind == DemoShotKind::Ground ? groundName : droneName))
        << shot.name;
    const cv::Mat picture = cv::imread(photo.string());
    EXPECT_EQ(picture.cols, shot.orientation.GetRasterWidth());
    EXPECT_EQ(picture.rows, shot.orientation.GetRasterHeight());

    const fs::path est = fs::path(photo).replace_extension(".est");
    EXPECT_EQ(fs::exists(est), shot.withExterior) << shot.name;
    withoutExterior += !shot.withExterior;
    COrientation back;
    std::string why;
    ASSERT_EQ(back.ReadINT(fs::path(photo).replace_extension(".int"), &why), 1) << why;
    if (!shot.withExterior) continue;
    ASSERT_EQ(back.ReadEST(est, &why), 1) << why;
    EXPECT_GT(back.GetMeanGSD(), 0);
    // Points ahead of the camera, across the picture.
    for (const auto& [x, y] : {std::pair<double, double>{0, 0}, {-0.4, 0.3}, {0.5, -0.35}}) {
      const Point3 ahead = shot.orientation.GetN() +
                           shot.orientation.GetRotMat() * COrientation::Vector3(x, y, -1) * 30.0;
      Point2 rendered, read;
      ASSERT_EQ(shot.orientation.Pt3dToPix(ahead, rendered), 1);
      ASSERT_EQ(back.Pt3dToPix(ahead, read), 1);
      EXPECT_NEAR(read.X(), rendered.X(), 1e-9);
      EXPECT_NEAR(read.Y(), rendered.Y(), 1e-9);
    }

    struct stat status;
    ASSERT_EQ(stat(photo.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, shot.time);
    first = std::min(first, shot.time);
    last = std::max(last, shot.time);
  }
  EXPECT_EQ(withoutExterior, 1);
  EXPECT_EQ(kinds[int(DemoShotKind::Nadir)], 4);
  EXPECT_EQ(kinds[int(DemoShotKind::Oblique)], 2);
  EXPECT_EQ(kinds[int(DemoShotKind::Ground)], 2);
  EXPECT_GE(last - first, 2 * 86400);
}

TEST_F(DemoPhotosTest, TheSameSeedGivesTheSamePhotographs) {
  std::vector<DemoShot> again, other;
  std::string error;
  ASSERT_TRUE(WriteDemoPhotos(*s_Folder / "site.las", *s_Folder / "again", Settings(), nullptr,
                              nullptr, again, error))
      << error;
  DemoPhotoSettings otherSeed = Settings();
  otherSeed.seed = 4;
  ASSERT_TRUE(WriteDemoPhotos(*s_Folder / "site.las", *s_Folder / "other", otherSeed, nullptr,
                              nullptr, other, error))
      << error;
  ASSERT_EQ(again.size(), s_Shots->size());
  for (size_t i = 0; i < again.size(); ++i) {
    ASSERT_EQ(again[i].name, (*s_Shots)[i].name);
    for (const char* extension : {".JPG", ".int", ".est"}) {
      const fs::path name = fs::path(again[i].name).replace_extension(extension);
      EXPECT_EQ(ReadBytes(*s_Folder / "again" / name), ReadBytes(Photos() / name)) << name;
    }
  }
  EXPECT_NE(ReadBytes(*s_Folder / "other" / other[0].name),
            ReadBytes(Photos() / (*s_Shots)[0].name));
}

TEST_F(DemoPhotosTest, RefusesBadRequestsAndOverwritesNothing) {
  const fs::path site = *s_Folder / "site.las";
  DemoPhotoSettings settings = Settings();
  settings.count = 0;
  EXPECT_NE(DemoPhotosRequestProblem(site, Photos(), settings).find("between 1 and"),
            std::string::npos);
  settings.count = kMaxDemoPhotos + 1;
  EXPECT_NE(DemoPhotosRequestProblem(site, Photos(), settings), "");
  settings = Settings();
  EXPECT_NE(DemoPhotosRequestProblem(*s_Folder / "none.las", Photos(), settings).find("none.las"),
            std::string::npos);
  EXPECT_NE(DemoPhotosRequestProblem(site, site, settings).find("is not a folder"),
            std::string::npos);

  const std::string photo = ReadBytes(Photos() / (*s_Shots)[0].name);
  std::vector<DemoShot> shots;
  std::string error;
  EXPECT_FALSE(WriteDemoPhotos(site, Photos(), settings, nullptr, nullptr, shots, error));
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(Photos() / (*s_Shots)[0].name), photo);

  std::ofstream(*s_Folder / "damaged.las") << "not a LAS file";
  EXPECT_FALSE(WriteDemoPhotos(*s_Folder / "damaged.las", *s_Folder / "from damaged", settings,
                               nullptr, nullptr, shots, error));
  EXPECT_NE(error.find("damaged.las"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(*s_Folder / "from damaged"));
}
