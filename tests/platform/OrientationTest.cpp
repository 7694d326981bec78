#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "nimbex/format/Unset.h"
#include "nimbex/platform/Orientation.h"

namespace fs = std::filesystem;
using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;
using Vector3 = COrientation::Vector3;
using Matrix3 = COrientation::Matrix3;

namespace {

class OrientationFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = fs::temp_directory_path() /
               ("orvalis orientation " + std::to_string(::getpid()) + " " +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_Folder);
    fs::create_directories(m_Folder);
  }
  void TearDown() override { fs::remove_all(m_Folder); }

  fs::path Write(const std::string& name, const std::string& text) const {
    const fs::path path = m_Folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  static std::string ReadText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }

  fs::path m_Folder;
};

// A camera of 3000 x 2000 pixels with a strong barrel lens, tangential terms and a shifted
// principal point, looking obliquely down at a site with large absolute coordinates.
COrientation MakeDistortedCamera() {
  COrientation orientation(1);
  EXPECT_EQ(orientation.SetInterior(24.5, Point2(0.12, -0.08), 0.0078, 3000, 2000), 1);
  EXPECT_EQ(orientation.SetDistortion(-0.12, 0.05, -0.01, 0.0008, -0.0005), 1);
  EXPECT_EQ(orientation.SetExterior(Point3(512300.25, 4471200.5, 320.75), 35, -12, 120), 1);
  return orientation;
}

void ExpectSameOrientation(const COrientation& a, const COrientation& b) {
  EXPECT_EQ(a.GetFocalLength(), b.GetFocalLength());
  EXPECT_EQ(a.GetPrincipalPoint(), b.GetPrincipalPoint());
  EXPECT_EQ(a.GetPixelSize(), b.GetPixelSize());
  EXPECT_EQ(a.GetRasterWidth(), b.GetRasterWidth());
  EXPECT_EQ(a.GetRasterHeight(), b.GetRasterHeight());
  EXPECT_TRUE(a.GetPixToFidMat() == b.GetPixToFidMat());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a.GetRadialDistortion()[i], b.GetRadialDistortion()[i]);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(a.GetTangentialDistortion()[i], b.GetTangentialDistortion()[i]);
  EXPECT_EQ(a.GetN(), b.GetN());
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a.GetRotMat()(r, c), b.GetRotMat()(r, c), 1e-15);
  EXPECT_EQ(a.GetMountingAngle(), b.GetMountingAngle());
  EXPECT_EQ(a.GetMeanGSD(), b.GetMeanGSD());
}

const char kValidInt[] =
    "# camera of the test\n"
    "orvalis-int 1\n"
    "principal_distance 100\n"
    "principal_point 0 0\n"
    "pixel_size 1\n"
    "raster_size 200 100\n"
    "radial 0.1 0 0\n"
    "end\n";

const char kValidEst[] =
    "orvalis-est 1\n"
    "projection_centre 10 20 30\n"
    "omega_phi_kappa 0 0 0\n"
    "mean_gsd 0.5\n"
    "end\n";

}  // namespace

// The documented equations, worked by hand: a camera at (10, 20, 30) looking straight down
// with c = 100 on a 200 x 100 raster of unit pixels.
TEST_F(OrientationFiles, ProjectsAsTheFormatDescribes) {
  COrientation orientation(1);
  ASSERT_EQ(orientation.Load(Write("a.int", kValidInt), Write("a.est", kValidEst)), 1);
  EXPECT_EQ(orientation.GetFocalLength(), 100);
  EXPECT_EQ(orientation.GetN(), Point3(10, 20, 30));
  EXPECT_TRUE(orientation.GetRotMat() == Matrix3::Identity());

  // x = 5/50 = 0.1, y = 10/50 = 0.2, r^2 = 0.05, L = 1.005: fiducial (10.05, 20.1).
  double column = 0, row = 0;
  ASSERT_EQ(orientation.Pt3dToPix(15, 30, -20, column, row), 1);
  EXPECT_NEAR(column, 100 + 10.05, 1e-12);
  EXPECT_NEAR(row, 50 - 20.1, 1e-12);

  // Pixel (0, 0) is the raster's top-left corner; the principal point its centre.
  EXPECT_EQ(orientation.PixToFid(Point2(0, 0)), Point2(-100, 50));
  EXPECT_EQ(orientation.FidToPix(Point2(0, 0)), Point2(100, 50));

  // Kappa 90 turns the camera's x axis onto model +y; phi 90 its viewing axis onto -x.
  ASSERT_EQ(orientation.SetExterior(Point3(0, 0, 0), 0, 0, 90), 1);
  ASSERT_EQ(orientation.Pt3dToPix(0, 10, -100, column, row), 1);
  EXPECT_NEAR(column, 100 + 10.01, 1e-9);
  EXPECT_NEAR(row, 50, 1e-9);
  ASSERT_EQ(orientation.SetExterior(Point3(0, 0, 0), 0, 90, 0), 1);
  ASSERT_EQ(orientation.Pt3dToPix(-100, 0, 0, column, row), 1);
  EXPECT_NEAR(column, 100, 1e-9);
  EXPECT_NEAR(row, 50, 1e-9);

  // Half-size working pictures halve every pixel coordinate.
  orientation.SetScale(0.5);
  ASSERT_EQ(orientation.Pt3dToPix(-100, 0, 0, column, row), 1);
  EXPECT_NEAR(column, 50, 1e-9);
  EXPECT_EQ(orientation.PixToFid(Point2(50, 25)), Point2(0, 0));
}

// Every pixel across the raster, corners included, goes to its ray and comes back to
// itself; every model point in front of the camera lies on the ray of its own pixel; the
// principal point is the image of the viewing axis, as GetN and GetRotMat describe it.
// (Coordinates of millions of units leave about 1e-9 of a unit of double precision.)
TEST(Orientation, ProjectionAndBackProjectionAgree) {
  const COrientation orientation = MakeDistortedCamera();
  const Vector3 axis = -Vector3(orientation.GetRotMat()(0, 2), orientation.GetRotMat()(1, 2),
                                orientation.GetRotMat()(2, 2));
  double worstPixel = 0;
  for (int i = 0; i <= 40; ++i) {
    for (int j = 0; j <= 40; ++j) {
      const Point2 pixel(3000.0 * i / 40, 2000.0 * j / 40);
      Vector3 ray;
      ASSERT_EQ(orientation.PixToRay(pixel, ray), 1) << pixel.X() << " " << pixel.Y();
      EXPECT_NEAR(ray.Length(), 1, 1e-12);
      EXPECT_GT(ray.Dot(axis), 0) << "the ray leaves the front of the camera";
      for (double distance : {5.0, 40.0, 3000.0}) {
        Point2 back;
        ASSERT_EQ(orientation.Pt3dToPix(orientation.GetN() + ray * distance, back), 1);
        worstPixel = std::max(worstPixel, std::hypot(back.X() - pixel.X(), back.Y() - pixel.Y()));
      }
    }
  }
  EXPECT_LT(worstPixel, 1e-6);

  std::mt19937 random(7);
  std::uniform_real_distribution<double> spread(-60, 60);
  int inImage = 0;
  for (int k = 0; k < 500; ++k) {
    const Point3 point =
        orientation.GetN() + axis * 100 + Vector3(spread(random), spread(random), spread(random));
    Point2 pixel;
    ASSERT_EQ(orientation.Pt3dToPix(point, pixel), 1);
    if (!orientation.IsInImage(point)) continue;
    ++inImage;
    Vector3 ray, toPoint = point - orientation.GetN();
    ASSERT_EQ(orientation.PixToRay(pixel, ray), 1);
    toPoint.Normalize();
    EXPECT_LT(ray.Cross(toPoint).Length(), 1e-9);
    EXPECT_GT(ray.Dot(toPoint), 0);
  }
  EXPECT_GT(inImage, 100);

  Point2 centre;
  ASSERT_EQ(orientation.Pt3dToPix(orientation.GetN() + axis * 25, centre), 1);
  const Point2 principal = orientation.FidToPix(orientation.GetPrincipalPoint());
  EXPECT_NEAR(centre.X(), principal.X(), 1e-7);
  EXPECT_NEAR(centre.Y(), principal.Y(), 1e-7);
}

// A point behind the camera projects through the centre onto the middle of the picture
// were it not refused; a point far off to the side with a barrel lens would fold back in.
TEST(Orientation, PointsTheCameraCannotSeeAreNeverInTheImage) {
  const COrientation orientation = MakeDistortedCamera();
  const Matrix3& rotation = orientation.GetRotMat();
  const Vector3 axis = -Vector3(rotation(0, 2), rotation(1, 2), rotation(2, 2));
  const Vector3 right(rotation(0, 0), rotation(1, 0), rotation(2, 0));

  Point2 behind;
  EXPECT_EQ(orientation.Pt3dToPix(orientation.GetN() - axis * 50, behind), 0);
  EXPECT_EQ(behind, Point2(NBX_UNSET, NBX_UNSET));
  EXPECT_FALSE(orientation.IsInImage(orientation.GetN() - axis * 50));
  EXPECT_FALSE(orientation.IsInImage(orientation.GetN() + right * 3));
  EXPECT_FALSE(orientation.IsInImage(orientation.GetN()));

  // r = 20: the polynomial alone would give 20 * (1 - 48 + 8000 - 640000), far back across.
  const Point3 aside = orientation.GetN() + axis + right * 20;
  Point2 pixel;
  ASSERT_EQ(orientation.Pt3dToPix(aside, pixel), 1);
  EXPECT_FALSE(orientation.IsPixelInImage(pixel));
  EXPECT_GT(pixel.X(), 3000);
  EXPECT_FALSE(orientation.IsInImage(aside));
  EXPECT_TRUE(orientation.IsInImage(orientation.GetN() + axis * 10));

  COrientation empty(1);
  double column = 0, row = 0;
  EXPECT_EQ(empty.Pt3dToPix(0, 0, -10, column, row), 0);
  EXPECT_FALSE(empty.IsInImage(Point3(0, 0, -10)));
}

TEST_F(OrientationFiles, WrittenFilesReadBackExactly) {
  COrientation written = MakeDistortedCamera();
  ASSERT_EQ(written.SetPixToFidMat(Matrix3(0.0078, 0.0001, -11.7, 0, -0.0081, 8.1, 0, 0, 1)), 1);
  ASSERT_EQ(written.SetMeanGSD(0.0123), 1);
  ASSERT_EQ(written.SetMountingAngle(90), 1);
  ASSERT_EQ(written.WriteINT(m_Folder / "p.int"), 1);
  ASSERT_EQ(written.WriteEST(m_Folder / "p.est"), 1);

  COrientation read(1);
  std::string why;
  ASSERT_EQ(read.Load(m_Folder / "p.int", m_Folder / "p.est", &why), 1) << why;
  ExpectSameOrientation(read, written);
  EXPECT_EQ(ReadText(m_Folder / "p.int").rfind("orvalis-int 1\n", 0), 0u);

  EXPECT_EQ(COrientation(1).WriteINT(m_Folder / "empty.int"), 0) << "nothing to write";
  EXPECT_FALSE(fs::exists(m_Folder / "empty.int"));
  EXPECT_EQ(written.WriteEST(m_Folder / "no folder" / "p.est"), 0);
}

// Damaged files are refused with the line at fault and leave the orientation as it was.
TEST_F(OrientationFiles, ReadersRefuseDamagedFiles) {
  const COrientation before = MakeDistortedCamera();
  const std::string interior = kValidInt, exterior = kValidEst;
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::pair<std::string, std::string> damagedInteriors[] = {
      {replaced(interior, "principal_distance 100", "principal_distance 0"), "line 3"},
      {replaced(interior, "principal_distance 100", "principal_distance -100"), "positive"},
      {replaced(interior, "principal_distance 100", "principal_distance nan"), "finite"},
      {replaced(interior, "pixel_size 1", "pixel_size inf"), "finite"},
      {replaced(interior, "raster_size 200 100", "raster_size 200.5 100"), "raster size"},
      {replaced(interior, "raster_size 200 100", "raster_size 200"), "needs 2 values"},
      {replaced(interior, "radial 0.1 0 0", "radial 0.1 0 0 0"), "needs 3 values"},
      {replaced(interior, "radial 0.1 0 0", "radial -2 0 0"), "folds back"},
      {replaced(interior, "radial 0.1 0 0", "radial 0.1 0 0\npixel_to_fiducial 1 2 0 2 4 0"),
       "inverted"},
      // found by fuzzing: a map that squeezes columns into nothing lost pixels to rounding
      {replaced(interior, "radial 0.1 0 0",
                "radial 0.1 0 0\npixel_to_fiducial 0.0124 88980 -11 0 -0.0124 7"),
       "stretches"},
      {replaced(interior, "radial 0.1 0 0", "radial 0.1 0 0\npixel_to_fiducial 1 0 -61e15 0 -1 0"),
       "89.99 degrees"},
      {replaced(interior, "pixel_size 1", "pixel_size 1\npixel_size 1"), "twice"},
      {replaced(interior, "pixel_size 1", "pixel_sise 1"), "unknown key"},
      {replaced(interior, "pixel_size 1\n", ""), "pixel_size is missing"},
      {replaced(interior, "orvalis-int 1", "orvalis-int 2"), "does not start"},
      {interior.substr(0, interior.size() - 4), "truncated"},
      {interior + "principal_distance 5\n", "after the end"},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "not a text file"},
      {"", "truncated"},
  };
  for (const auto& [text, expected] : damagedInteriors) {
    COrientation orientation = before;
    std::string why;
    EXPECT_EQ(orientation.ReadINT(Write("d.int", text), &why), 0) << text;
    EXPECT_NE(why.find(expected), std::string::npos) << why;
    ExpectSameOrientation(orientation, before);
  }

  const std::string damagedExteriors[] = {
      replaced(exterior, "projection_centre 10 20 30", "projection_centre 10 20 NaN"),
      replaced(exterior, "omega_phi_kappa 0 0 0", "omega_phi_kappa 0 0 1e999"),
      replaced(exterior, "omega_phi_kappa 0 0 0", "omega_phi_kappa 0 0 0x10"),
      replaced(exterior, "mean_gsd 0.5", "mean_gsd -0.5"),
      replaced(exterior, "omega_phi_kappa 0 0 0\n", ""),
      exterior.substr(0, exterior.find("end")),
  };
  for (const std::string& text : damagedExteriors) {
    COrientation orientation = before;
    EXPECT_EQ(orientation.ReadEST(Write("d.est", text)), 0) << text;
    ExpectSameOrientation(orientation, before);
  }

  COrientation orientation = before;
  std::string why;
  EXPECT_EQ(orientation.ReadINT(m_Folder / "missing.int", &why), 0);
  EXPECT_NE(why.find("missing.int"), std::string::npos);
  EXPECT_EQ(orientation.ReadINT(m_Folder), 0) << "a folder is not a file";
  EXPECT_EQ(orientation.Load(Write("good.int", kValidInt), m_Folder / "missing.est"), 0);
  ExpectSameOrientation(orientation, before);

  // Windows line endings, a byte-order mark and defaults for the optional keys are fine.
  std::string crlf = "\xEF\xBB\xBF" + interior;
  for (size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
    crlf.insert(at, "\r");
  ASSERT_EQ(orientation.ReadINT(Write("crlf.int", crlf)), 1);
  EXPECT_EQ(orientation.GetRadialDistortion()[0], 0.1);
  EXPECT_EQ(orientation.GetTangentialDistortion()[1], 0);
}

// What the fuzz target checks, over every truncation and a sweep of single-byte changes of
// valid files: the readers never crash, and what they accept writes and reads back alike.
TEST_F(OrientationFiles, DamagedBytesAreRefusedOrReadConsistently) {
  const COrientation reference = MakeDistortedCamera();
  ASSERT_EQ(reference.WriteINT(m_Folder / "r.int"), 1);
  ASSERT_EQ(reference.WriteEST(m_Folder / "r.est"), 1);
  const std::string originals[] = {ReadText(m_Folder / "r.int"), ReadText(m_Folder / "r.est")};
  const char replacements[] = {'0', '9', '-', '.', 'e', ' ', '\n', '#', 'x', '\0'};
  int accepted = 0, refused = 0;
  for (int which = 0; which < 2; ++which) {
    const std::string& original = originals[which];
    std::vector<std::string> variants;
    for (size_t length = 0; length < original.size(); ++length)
      variants.push_back(original.substr(0, length));
    for (size_t at = 0; at < original.size(); ++at)
      for (char c : replacements) {
        std::string changed = original;
        changed[at] = c;
        if (changed != original) variants.push_back(changed);
      }
    for (const std::string& variant : variants) {
      COrientation orientation = reference;
      const fs::path path = Write(which ? "v.est" : "v.int", variant);
      const int read = which ? orientation.ReadEST(path) : orientation.ReadINT(path);
      if (!read) {
        ++refused;
        ExpectSameOrientation(orientation, reference);
        continue;
      }
      ++accepted;
      COrientation again = reference;
      ASSERT_EQ(which ? orientation.WriteEST(m_Folder / "w.est")
                      : orientation.WriteINT(m_Folder / "w.int"),
                1);
      ASSERT_EQ(which ? again.ReadEST(m_Folder / "w.est") : again.ReadINT(m_Folder / "w.int"), 1);
      ExpectSameOrientation(again, orientation);
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(accepted, 0);
}
