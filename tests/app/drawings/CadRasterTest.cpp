// Orthophotos and elevation models read through GDAL: world files, placement, overviews beside
// the image, the tiled pictures, and the elevation model's range and picture.
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "app/drawings/CadDemData.h"
#include "app/drawings/CadOrthoData.h"
#include "nimbex/platform/Sinks.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

// Sample rasters are copied before they are opened: opening may write overviews beside them.
fs::path CopySample(const ScratchFolder& folder, const std::string& name) {
  const fs::path raster = SampleData("raster");
  if (raster.empty()) return {};
  for (const fs::path& companion : {fs::path(name), fs::path(name).replace_extension(".tfw"),
                                    fs::path(name).replace_extension(".wld")})
    if (fs::exists(raster / companion))
      fs::copy_file(raster / companion, folder / companion.string());
  return folder / name;
}

// The colour of pixel (x, y) of the synthetic orthophoto.
QRgb PatternColour(int x, int y) {
  return qRgb(x & 255, y & 255, ((x >> 8) * 40 + (y >> 8) * 20) & 255);
}

// A north-up RGB GeoTIFF of the pattern, 0.5 units per pixel from (1000, 2000).
void WritePatternTiff(const fs::path& path, int width, int height) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  GdalDatasetPtr dataset(driver->Create(path.c_str(), width, height, 3, GDT_Byte, nullptr));
  double transform[6] = {1000, 0.5, 0, 2000, 0, -0.5};
  dataset->SetGeoTransform(transform);
  std::vector<uint8_t> row(width);
  for (int band = 1; band <= 3; ++band)
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const QRgb colour = PatternColour(x, y);
        row[x] = band == 1 ? qRed(colour) : band == 2 ? qGreen(colour) : qBlue(colour);
      }
      ASSERT_EQ(dataset->GetRasterBand(band)->RasterIO(GF_Write, 0, y, width, 1, row.data(), width,
                                                       1, GDT_Byte, 0, 0),
                CE_None);
    }
}

// A Float32 elevation model, one unit per cell, no-data -9999.
void WriteDem(const fs::path& path, int width, int height,
              const std::function<float(int, int)>& elevation) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  GdalDatasetPtr dataset(driver->Create(path.c_str(), width, height, 1, GDT_Float32, nullptr));
  double transform[6] = {500, 1, 0, 800, 0, -1};
  dataset->SetGeoTransform(transform);
  dataset->GetRasterBand(1)->SetNoDataValue(-9999);
  std::vector<float> values(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) values[static_cast<size_t>(y) * width + x] = elevation(x, y);
  ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, values.data(), width,
                                                height, GDT_Float32, 0, 0),
            CE_None);
}

int Brightness(QRgb colour) {
  return qRed(colour) + qGreen(colour) + qBlue(colour);
}

}  // namespace

TEST(CadRasterTest, WorldFilesAreReadWithTheirCommasAndGiveTheCornerOfThePixel) {
  EXPECT_EQ(WorldFileName("/a/site.jpg"), fs::path("/a/site.jgw"));
  EXPECT_EQ(WorldFileName("/a/site.JPEG"), fs::path("/a/site.JGW"));
  EXPECT_EQ(WorldFileName("/a/site.tif"), fs::path("/a/site.tfw"));
  EXPECT_EQ(WorldFileName("/a/site.png"), fs::path("/a/site.tfw"));

  const fs::path raster = SampleData("raster");
  if (raster.empty()) GTEST_SKIP() << "no sample data";
  std::string error;
  // "1," "0," "0," "-1," "100," "200": the values of the upper-left pixel's centre.
  CadRasterPlacement placement;
  ASSERT_TRUE(ReadWorldFile(raster / "gdal_byte_nogeoref.tfw", placement, error)) << error;
  EXPECT_EQ(placement.a, 1);
  EXPECT_EQ(placement.e, -1);
  EXPECT_DOUBLE_EQ(placement.c, 99.5);
  EXPECT_DOUBLE_EQ(placement.f, 200.5);
  EXPECT_FALSE(placement.IsRotated());

  // Comma decimals and rotation terms; GDAL reads the same file as (700000.305, 0.38, 0.01,
  // 4287500.695, -0.01, -0.38).
  ASSERT_TRUE(ReadWorldFile(raster / "gdal_test.wld", placement, error)) << error;
  EXPECT_DOUBLE_EQ(placement.a, 0.38);
  EXPECT_DOUBLE_EQ(placement.d, -0.01);
  EXPECT_DOUBLE_EQ(placement.b, 0.01);
  EXPECT_DOUBLE_EQ(placement.e, -0.38);
  EXPECT_NEAR(placement.c, 700000.305, 1e-9);
  EXPECT_NEAR(placement.f, 4287500.695, 1e-9);
  EXPECT_TRUE(placement.IsRotated());

  ScratchFolder folder;
  std::ofstream(folder / "short.tfw") << "1\n0\n0\n-1\n100\n";
  std::ofstream(folder / "words.tfw") << "1\n0\n0\n-1\nleft\n200\n";
  std::ofstream(folder / "flat.tfw") << "0\n0\n0\n-1\n100\n200\n";
  for (const char* name : {"short.tfw", "words.tfw", "flat.tfw", "missing.tfw"}) {
    error.clear();
    EXPECT_FALSE(ReadWorldFile(folder / name, placement, error)) << name;
    EXPECT_NE(error.find(name), std::string::npos) << error;
  }
}

TEST(CadRasterTest, OverviewsHalveTheLargerSideDownTo512PixelsLessOneLevel) {
  EXPECT_EQ(OverviewFactors(4096, 4096), (std::vector<int>{2, 4}));
  EXPECT_EQ(OverviewFactors(100, 4096), (std::vector<int>{2, 4}));
  EXPECT_EQ(OverviewFactors(2048, 1500), (std::vector<int>{2}));
  EXPECT_TRUE(OverviewFactors(1000, 1000).empty());
  EXPECT_TRUE(OverviewFactors(512, 512).empty());
  EXPECT_EQ(OverviewFactors(20000, 15000), (std::vector<int>{2, 4, 8, 16, 32}));
}

TEST(CadRasterTest, OrthophotosArePlacedByWorldFileGeotransformOrOneUnitPerPixel) {
  ScratchFolder folder;
  const fs::path tfw = CopySample(folder, "gdal_byte_nogeoref.tif");
  if (tfw.empty()) GTEST_SKIP() << "no sample data";
  CCadDrawing drawing;
  std::string error;

  CadOrthoData byWorldFile;
  ASSERT_TRUE(byWorldFile.Open(tfw, error)) << error;
  const CadEntity* image = drawing.GetEntityByID(byWorldFile.Place(drawing));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->type, CAD_IMAGE);
  EXPECT_EQ(image->userData, kOrthophotoUserData);
  EXPECT_DOUBLE_EQ(image->vertices[0].x, 99.5);
  EXPECT_DOUBLE_EQ(image->vertices[0].y, 180.5);
  EXPECT_EQ(image->unitsPerPixelX, 1);
  EXPECT_EQ(image->unitsPerPixelY, 1);
  const CadLayer* layer = drawing.GetLayerByID(image->layerId);
  EXPECT_EQ(layer->name, "gdal_byte_nogeoref.tif");
  EXPECT_EQ(layer->color, 6);
  EXPECT_TRUE(layer->locked);
  EXPECT_EQ(drawing.GetCurLayer(), 0);

  CadOrthoData byGeotransform;
  ASSERT_TRUE(byGeotransform.Open(CopySample(folder, "worldwind_sba_rgb_wgs84_512x512.tif"), error))
      << error;
  EXPECT_EQ(byGeotransform.GetPlacement().source, CadRasterPlacement::kDataset);
  image = drawing.GetEntityByID(byGeotransform.Place(drawing));
  EXPECT_NEAR(image->vertices[0].x, -119.8337, 1e-4);
  EXPECT_NEAR(image->vertices[0].y, 34.4448 - 512 * image->unitsPerPixelY, 1e-4);
  EXPECT_NEAR(image->unitsPerPixelX, 3.0273e-5, 1e-8);
  EXPECT_TRUE(byGeotransform.GetNote().empty()) << byGeotransform.GetNote();

  // A rotated world file is placed without its rotation, and the user is told.
  CadOrthoData rotated;
  ASSERT_TRUE(rotated.Open(CopySample(folder, "gdal_test.png"), error)) << error;
  EXPECT_NE(rotated.GetNote().find("rotation"), std::string::npos);

  cv::imwrite((folder / "plain.png").string(), cv::Mat(30, 40, CV_8UC3, cv::Scalar(1, 2, 3)));
  CadOrthoData plain;
  ASSERT_TRUE(plain.Open(folder / "plain.png", error)) << error;
  image = drawing.GetEntityByID(plain.Place(drawing));
  EXPECT_EQ(image->vertices[0].x, 0);
  EXPECT_EQ(image->vertices[0].y, 0);
  EXPECT_EQ(image->unitsPerPixelX, 1);
  EXPECT_EQ(image->image->Region(QRect(0, 0, 40, 30), 1).pixel(5, 5), qRgb(3, 2, 1));

  // A JPEG's world file is its ".jgw".
  cv::imwrite((folder / "photo.jpg").string(), cv::Mat(30, 40, CV_8UC3, cv::Scalar(9, 9, 9)));
  std::ofstream(folder / "photo.jgw") << "0.5\n0\n0\n-0.5\n10.25\n20.75\n";
  CadOrthoData jpeg;
  ASSERT_TRUE(jpeg.Open(folder / "photo.jpg", error)) << error;
  image = drawing.GetEntityByID(jpeg.Place(drawing));
  EXPECT_DOUBLE_EQ(image->vertices[0].x, 10);
  EXPECT_DOUBLE_EQ(image->vertices[0].y, 21 - 30 * 0.5);

  std::ofstream(folder / "text.tif") << "not an image";
  CadOrthoData text;
  error.clear();
  EXPECT_FALSE(text.Open(folder / "text.tif", error));
  EXPECT_NE(error.find("text.tif"), std::string::npos) << error;
}

TEST(CadRasterTest, LargeOrthophotoGetsOverviewsBesideItAndIsReadByTiles) {
  ScratchFolder folder;
  const fs::path path = folder / "site.tif";
  WritePatternTiff(path, 3000, 2000);
  const auto written = fs::last_write_time(path);
  struct : CProgressSink {
    void SetRange(int lower, int upper) override { range = {lower, upper}; }
    void SetPos(int pos) override { positions.push_back(pos); }
    std::pair<int, int> range;
    std::vector<int> positions;
  } progress;
  CadOrthoData ortho;
  std::string error;
  ASSERT_TRUE(ortho.Open(path, error, &progress)) << error;
  EXPECT_TRUE(fs::exists(folder / "site.tif.ovr"));
  EXPECT_EQ(fs::last_write_time(path), written) << "the orthophoto itself was rewritten";
  EXPECT_EQ(ortho.GetOverviewCount(), 2);
  EXPECT_EQ(progress.range, std::make_pair(0, 100));
  ASSERT_FALSE(progress.positions.empty());
  EXPECT_EQ(progress.positions.back(), 100);

  CCadOrthoSource& source = *ortho.GetSource();
  EXPECT_EQ(source.Width(), 3000);
  EXPECT_EQ(source.Height(), 2000);
  const QImage full = source.Region(QRect(1000, 700, 600, 300), 1);
  ASSERT_EQ(full.size(), QSize(600, 300));
  for (const QPoint& p : {QPoint(0, 0), QPoint(599, 299), QPoint(300, 123)})
    EXPECT_EQ(full.pixel(p), PatternColour(1000 + p.x(), 700 + p.y())) << p.x() << "," << p.y();

  // A quarter of the detail comes from the overview of factor 4: each of its pixels is one
  // pixel of the image (nearest neighbour), here on the blocks of the blue channel.
  const QImage quarter = source.Region(QRect(0, 0, 3000, 2000), 0.25);
  ASSERT_EQ(quarter.size(), QSize(750, 500));
  for (const QPoint& p : {QPoint(10, 10), QPoint(700, 450), QPoint(300, 260)})
    EXPECT_EQ(qBlue(quarter.pixel(p)), qBlue(PatternColour(p.x() * 4, p.y() * 4)));

  // Panning back over tiles already read reads none again.
  const int tilesRead = source.GetTilesRead();
  source.Region(QRect(1050, 720, 500, 250), 1);
  source.Region(QRect(0, 0, 3000, 2000), 0.25);
  EXPECT_EQ(source.GetTilesRead(), tilesRead);
  EXPECT_TRUE(source.Region(QRect(4000, 0, 10, 10), 1).isNull());
}

TEST(CadRasterTest, OrthophotoWhoseOverviewsCannotBeWrittenIsStillShown) {
  ScratchFolder folder;
  const fs::path path = folder / "site.tif";
  WritePatternTiff(path, 1500, 1200);
  // Something that is not a file already holds the overview file's name.
  fs::create_directory(folder / "site.tif.ovr");
  CadOrthoData ortho;
  std::string error;
  ASSERT_TRUE(ortho.Open(path, error)) << error;
  EXPECT_EQ(ortho.GetOverviewCount(), 0);
  EXPECT_NE(ortho.GetNote().find("no overviews"), std::string::npos) << ortho.GetNote();
  EXPECT_TRUE(fs::is_directory(folder / "site.tif.ovr"));
  const QImage half = ortho.GetSource()->Region(QRect(0, 0, 1500, 1200), 0.5);
  ASSERT_EQ(half.size(), QSize(750, 600));
  EXPECT_EQ(qBlue(half.pixel(600, 500)), qBlue(PatternColour(1200, 1000)));
}

TEST(CadRasterTest, SixteenBitSampleGetsItsOverviewsAndAStretchedPicture) {
  ScratchFolder folder;
  const fs::path path = CopySample(folder, "riotiler_nocog.tif");
  if (path.empty()) GTEST_SKIP() << "no sample data";
  CadOrthoData ortho;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ortho.Open(path, error)) << error;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "overviews of the 2658 x 2667 sample built in " << seconds << " s" << std::endl;
  EXPECT_EQ(ortho.GetOverviewCount(), 2);  // 2658 -> 1329 -> 665 -> 333: factors 2 and 4

  // Values 1-7872 spread over the grey range: the picture is neither black nor flat.
  const QImage picture = ortho.GetSource()->Region(QRect(0, 0, 2658, 2667), 0.125);
  int darkest = 255 * 3, brightest = 0;
  for (int y = 0; y < picture.height(); y += 7)
    for (int x = 0; x < picture.width(); x += 7) {
      darkest = std::min(darkest, Brightness(picture.pixel(x, y)));
      brightest = std::max(brightest, Brightness(picture.pixel(x, y)));
    }
  EXPECT_GT(brightest - darkest, 300);
}

TEST(CadRasterTest, ElevationModelsGiveTheirRangeAndAShadedPicture) {
  ScratchFolder folder;
  const fs::path tif = CopySample(folder, "gdal_n43.tif");
  if (tif.empty()) GTEST_SKIP() << "no sample data";
  const fs::path dted = CopySample(folder, "gdal_n43.dt0");
  const fs::path float32 = CopySample(folder, "worldwind_sba_elev32_wgs84_512x512.tif");
  std::string error;
  CadDemData fromTif, fromDted, fromFloat;
  ASSERT_TRUE(fromTif.Open(tif, error)) << error;
  ASSERT_TRUE(fromDted.Open(dted, error)) << error;
  ASSERT_TRUE(fromFloat.Open(float32, error)) << error;
  EXPECT_EQ(fromTif.GetMinimum(), 75);
  EXPECT_EQ(fromTif.GetMaximum(), 460);
  EXPECT_EQ(fromDted.GetMinimum(), 75);
  EXPECT_EQ(fromDted.GetMaximum(), 460);
  EXPECT_NEAR(fromFloat.GetMinimum(), 2.530, 1e-3);
  EXPECT_NEAR(fromFloat.GetMaximum(), 20.731, 1e-3);

  // The same model in two formats gives the same picture, fully opaque.
  const QImage a = fromTif.GetSource()->Region(QRect(0, 0, 121, 121), 1);
  const QImage b = fromDted.GetSource()->Region(QRect(0, 0, 121, 121), 1);
  ASSERT_EQ(a.size(), QSize(121, 121));
  EXPECT_EQ(a, b);
  EXPECT_EQ(qAlpha(a.pixel(60, 60)), 255);
  a.scaled(363, 363).save(QString(DRAWINGS_TEST_OUTPUT_DIR) + "/dem_n43.png");
  fromFloat.GetSource()
      ->Region(QRect(0, 0, 512, 512), 1)
      .save(QString(DRAWINGS_TEST_OUTPUT_DIR) + "/dem_sba.png");

  CCadDrawing drawing;
  const CadEntity* image = drawing.GetEntityByID(fromFloat.Place(drawing));
  EXPECT_EQ(image->userData, kDemUserData);
  EXPECT_EQ(drawing.GetLayerByID(image->layerId)->name, float32.filename().string());
  EXPECT_TRUE(drawing.GetLayerByID(image->layerId)->locked);
}

TEST(CadRasterTest, ElevationModelCellsWithoutDataAreTransparentAndSlopesFacingTheLightAreBright) {
  ScratchFolder folder;
  // A hill in the middle of a square whose left quarter holds no data.
  WriteDem(folder / "hill.tif", 64, 64, [](int x, int y) {
    return x < 16 ? -9999.0f : 100.0f - 0.05f * ((x - 40) * (x - 40) + (y - 32) * (y - 32));
  });
  CadDemData hill;
  std::string error;
  ASSERT_TRUE(hill.Open(folder / "hill.tif", error)) << error;
  EXPECT_GT(hill.GetMinimum(), 0);
  const QImage picture = hill.GetSource()->Region(QRect(0, 0, 64, 64), 1);
  EXPECT_EQ(qAlpha(picture.pixel(5, 30)), 0);
  EXPECT_EQ(qAlpha(picture.pixel(40, 32)), 255);
  // Lit from the north-west: the hill's north-west flank is brighter than its south-east one
  // at the same elevation.
  EXPECT_GT(Brightness(picture.pixel(30, 22)), Brightness(picture.pixel(50, 42)) + 60);

  WriteDem(folder / "empty.tif", 20, 20, [](int, int) { return -9999.0f; });
  CadDemData empty;
  error.clear();
  EXPECT_FALSE(empty.Open(folder / "empty.tif", error));
  EXPECT_NE(error.find("empty.tif"), std::string::npos) << error;
}
