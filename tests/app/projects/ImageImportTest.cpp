#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>

#include "ImageImport.h"
#include "ImportImagesCommand.h"
#include "PhotoTestSupport.h"
#include "ProjectFiles.h"
#include "ProjectsTestSupport.h"
#include "nimbex/platform/Sinks.h"

namespace fs = std::filesystem;

namespace {

class RecordedProgress : public CProgressSink, public CTextSink {
 public:
  void SetRange(int lower, int upper) override { range = {lower, upper}; }
  void SetPos(int pos) override { positions.push_back(pos); }
  void SetText(const std::string& text) override { texts.push_back(text); }
  std::pair<int, int> range;
  std::vector<int> positions;
  std::vector<std::string> texts;
};

class ImageImportTest : public testing::Test {
 protected:
  void SetUp() override {
    m_Project = (m_Folder / "survey" / "Castle.strm").string();
    fs::create_directories(m_Folder / "survey");
    WriteText(m_Project, "stream");
    m_Data = m_Folder / "survey" / "Castle_data";
  }

  // A source photograph with the companions named by `companions` (".int", ".est", ...).
  // With `content`, the source holds that text instead of a picture.
  std::string Source(const std::string& name,
                     std::vector<std::string> companions = {".int", ".est"},
                     const std::string& content = {}) {
    const fs::path photo = m_Folder / "camera" / name;
    if (content.empty())
      WritePhoto(photo, 64, 48);
    else
      WriteText(photo, content);
    for (const std::string& extension : companions)
      WriteText(fs::path(photo).replace_extension(extension), name + extension);
    return photo.string();
  }

  int Import(const std::vector<std::string>& sources, const int* stop = nullptr) {
    return ImportImages(sources, &m_Progress, &m_Progress, m_Problems, stop, m_Project);
  }

  std::vector<std::string> DataFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_Data))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder m_Folder;
  std::string m_Project;
  fs::path m_Data;
  RecordedProgress m_Progress;
  ProblemList m_Problems;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(ImageImportTest, TheSameImageTwiceGetsANumberedNameWithItsOwnCompanions) {
  const std::string source = Source("IMG.jpg", {".int", ".est", ".vtp", ".tex"});
  ASSERT_EQ(Import({source}), 1);
  ASSERT_EQ(Import({source}), 1);
  EXPECT_TRUE(m_Problems.empty());
  EXPECT_EQ(DataFiles(), (Names{"IMG.est", "IMG.int", "IMG.jpg", "IMG.tex", "IMG.vtp", "IMG_01.est",
                                "IMG_01.int", "IMG_01.jpg", "IMG_01.tex", "IMG_01.vtp",
                                "thumb_IMG.jpg", "thumb_IMG_01.jpg"}));
  EXPECT_EQ(ReadText(m_Data / "IMG_01.jpg"), ReadText(source));
  EXPECT_EQ(ReadText(m_Data / "IMG_01.est"), "IMG.jpg.est");
  EXPECT_EQ(ReadText(m_Data / "IMG_01.tex"), "IMG.jpg.tex");
  const cv::Mat thumbnail = cv::imread((m_Data / "thumb_IMG_01.jpg").string());
  EXPECT_EQ(thumbnail.size(), cv::Size(133, 133));

  EXPECT_EQ(m_Progress.range, std::make_pair(0, 1));
  EXPECT_EQ(m_Progress.texts, (Names{"Import images into database...", "100%",
                                     "Import images into database...", "100%"}));
  EXPECT_EQ(m_Progress.positions.back(), 0);
}

TEST_F(ImageImportTest, AnUnorientedSourceIsImportedAndReported) {
  const std::string withoutEst = Source("NoEst.jpg", {".int"});
  const std::string withoutAny = Source("Bare.png", {});
  ASSERT_EQ(Import({withoutEst, withoutAny}), 1);
  EXPECT_EQ(m_Problems,
            (ProblemList{{withoutEst, "Image not oriented"}, {withoutAny, "Image not oriented"}}));
  EXPECT_EQ(DataFiles(),
            (Names{"Bare.jpg", "NoEst.int", "NoEst.jpg", "thumb_Bare.jpg", "thumb_NoEst.jpg"}));
  EXPECT_EQ(cv::imread((m_Data / "Bare.jpg").string()).size(), cv::Size(64, 48));
  EXPECT_FALSE(std::any_of(m_Problems.begin(), m_Problems.end(), IsImportFailure));

  const std::string withoutInt = Source("NoInt.jpg", {".est"});
  const std::string xml = Source("Photo.xml", {}, "<photo/>");
  const std::vector<MissingOrientation> missing =
      FindUnorientedSources({withoutEst, Source("Both.jpg"), withoutInt, xml, withoutAny});
  ASSERT_EQ(missing.size(), 3u);
  EXPECT_EQ(missing[0].source, withoutEst);
  EXPECT_FALSE(missing[0].interiorMissing);
  EXPECT_TRUE(missing[0].exteriorMissing);
  EXPECT_TRUE(missing[1].interiorMissing);
  EXPECT_FALSE(missing[1].exteriorMissing);
  EXPECT_TRUE(missing[2].interiorMissing && missing[2].exteriorMissing);
}

TEST_F(ImageImportTest, SourcesThatCannotBeReadAreReportedAndTheOthersImported) {
  const fs::path camera = m_Folder / "camera";
  const std::string good = Source("Good.jpg");
  const std::string broken = Source("Broken.jpg", {".int", ".est"}, "not a JPEG at all");
  const std::string raw = Source("Raw.cr2", {".int", ".est"}, "II* not a raw file");
  const std::string tiff = Source("Scan.tif", {".int", ".est"}, "II* truncated");
  const std::string text = Source("Notes.txt", {".int", ".est"}, "a text");
  const std::string xml = (camera / "Photo.xml").string();
  WriteText(xml, "<photo/>");
  fs::create_directories(m_Data);
  WriteText(m_Data / "Broken.jpg", "already here");

  ASSERT_EQ(Import({broken, raw, good, tiff, text, xml}), 1);
  EXPECT_EQ(m_Problems, (ProblemList{{broken, "Image not found"},
                                     {raw, "Unable to handle raw image format"},
                                     {tiff, "Image not found"},
                                     {text, "Invalid image format"},
                                     {xml, "Image not found"}}));
  EXPECT_EQ(DataFiles(),
            (Names{"Broken.jpg", "Good.est", "Good.int", "Good.jpg", "thumb_Good.jpg"}));
  EXPECT_EQ(ReadText(m_Data / "Broken.jpg"), "already here");
}

TEST_F(ImageImportTest, ALeftoverCompanionKeepsItsNameFromANewPhotograph) {
  fs::create_directories(m_Data);
  WriteText(m_Data / "IMG.est", "an orientation whose photograph was removed");
  WriteText(m_Data / "IMG_01_note.txt", "a note whose photograph was removed");
  ASSERT_EQ(Import({Source("IMG.jpg", {})}), 1);
  EXPECT_TRUE(fs::exists(m_Data / "IMG_02.jpg"));
  EXPECT_FALSE(fs::exists(m_Data / "IMG.jpg"));
  EXPECT_EQ(ReadText(m_Data / "IMG.est"), "an orientation whose photograph was removed");
}

TEST_F(ImageImportTest, ANameTaken999TimesEndsTheImport) {
  fs::create_directories(m_Data);
  WriteText(m_Data / "IMG.jpg", "0");
  for (int number = 1; number <= 998; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%02d.jpg", number);
    WriteText(m_Data / name, std::to_string(number));
  }
  EXPECT_EQ(FindFreeImageName(m_Data.string(), "IMG"), "");
  EXPECT_EQ(FindFreeImageName(m_Data.string(), "IMG_998"), "IMG_998_01");
  const std::string taken = Source("IMG.jpg");
  const std::string after = Source("After.jpg");
  EXPECT_EQ(Import({taken, after}), 0);
  EXPECT_EQ(m_Problems, (ProblemList{{taken, "Unable to find right file name"}}));
  EXPECT_FALSE(fs::exists(m_Data / "After.jpg"));
  EXPECT_EQ(ReadText(m_Data / "IMG_998.jpg"), "998");
  EXPECT_EQ(ReadText(m_Data / "IMG_07.jpg"), "7");
}

TEST_F(ImageImportTest, TheStopFlagEndsTheImportAfterTheCurrentPhotograph) {
  const int stop = 1;
  EXPECT_EQ(Import({Source("First.jpg"), Source("Second.jpg")}, &stop), 0);
  EXPECT_TRUE(fs::exists(m_Data / "First.jpg"));
  EXPECT_FALSE(fs::exists(m_Data / "Second.jpg"));
  EXPECT_EQ(Import({}), 0);
}

TEST_F(ImageImportTest, ADataFolderThatCannotBeMadeIsReportedOnce) {
  WriteText(m_Data, "a file where the data folder should be");
  EXPECT_EQ(Import({Source("IMG.jpg"), Source("Other.jpg")}), 0);
  ASSERT_EQ(m_Problems.size(), 1u);
  EXPECT_EQ(m_Problems[0].first, m_Data.string());
  EXPECT_NE(m_Problems[0].second.find("Unable to create the data folder"), std::string::npos);
  EXPECT_EQ(ReadText(m_Data), "a file where the data folder should be");
}

TEST_F(ImageImportTest, TheCommandLinePrintsTheProblemsAndFailsOnlyForAFailedPhotograph) {
  const std::string unoriented = Source("Unoriented.jpg", {});
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunImportImages(m_Project, {unoriented}, out, err), 0);
  const std::string broken = Source("Broken.bmp", {".int", ".est"}, "BM broken");
  EXPECT_EQ(RunImportImages(m_Project, {broken}, out, err), 1);
  EXPECT_EQ(RunImportImages((m_Folder / "missing.strm").string(), {broken}, out, err), 1);
  std::rewind(out);
  char text[4096] = {};
  std::fread(text, 1, sizeof text - 1, out);
  EXPECT_EQ(std::string(text),
            unoriented + ": Image not oriented\n" + broken + ": Image not found\n");
  std::fclose(out);
  std::fclose(err);
  EXPECT_TRUE(fs::exists(m_Data / "Unoriented.jpg"));
}

// The photographs a surveyor brings: JPEGs with EXIF orientation and GPS, TIFFs of 8-bit
// colour and 16-bit grey, PNG, BMP and camera raws (one under a Canon raw name).
TEST_F(ImageImportTest, RealPhotographsOfEveryKindAreImported) {
  const fs::path photos = SamplePhotos();
  if (photos.empty()) GTEST_SKIP() << "the sample photographs are not present";
  std::vector<std::string> sources;
  for (const auto& entry : fs::directory_iterator(photos)) sources.push_back(entry.path().string());
  std::sort(sources.begin(), sources.end());
  const fs::path canon = m_Folder / "camera" / "Kodak as Canon.cr2";
  fs::create_directories(canon.parent_path());
  fs::copy_file(photos / "digicam_DC0008L.KDC", canon);
  sources.push_back(canon.string());

  ASSERT_EQ(Import(sources), 1);
  for (const auto& [source, problem] : m_Problems)
    EXPECT_EQ(problem, "Image not oriented") << source;
  const auto size = [this](const std::string& name) {
    return cv::imread((m_Data / name).string(), cv::IMREAD_UNCHANGED).size();
  };
  EXPECT_EQ(size("libtiff_pc260001.jpg"), cv::Size(640, 480));
  EXPECT_EQ(size("pillow_hopper.jpg"), cv::Size(128, 128));
  EXPECT_EQ(size("pillow_hopper_01.jpg"), cv::Size(128, 128));
  EXPECT_EQ(size("digicam_DC0008L.jpg"), cv::Size(768, 512));
  EXPECT_EQ(size("Kodak as Canon.jpg"), cv::Size(768, 512));
  EXPECT_GT(size("digicam_P003913.jpg").width, 1000);
  EXPECT_EQ(ReadText(m_Data / "digicam__K6A7946.jpg"), ReadText(photos / "digicam__K6A7946.JPG"));

  // The 16-bit grey picture spans the whole 8-bit range after its stretch.
  cv::Mat ladoga = cv::imread((m_Data / "libtiff_ladoga.jpg").string(), cv::IMREAD_GRAYSCALE);
  ASSERT_EQ(ladoga.size(), cv::Size(158, 118));
  double low = 0, high = 0;
  cv::minMaxLoc(ladoga, &low, &high);
  EXPECT_LT(low, 10);
  EXPECT_GT(high, 245);

  // Every thumbnail side by side, for a look by eye.
  std::vector<cv::Mat> thumbnails;
  for (const auto& entry : fs::directory_iterator(m_Data))
    if (entry.path().filename().string().rfind("thumb_", 0) == 0)
      thumbnails.push_back(cv::imread(entry.path().string()));
  cv::Mat sheet;
  cv::hconcat(thumbnails, sheet);
  cv::imwrite(std::string(PROJECTS_TEST_OUTPUT_DIR) + "/imported-thumbnails.png", sheet);

  // A camera that stood upright: the thumbnail shows the picture upright, 480 × 720.
  const cv::Mat upright = cv::imread((m_Data / "thumb_digicam__K6A7946.jpg").string());
  EXPECT_LT(cv::norm(upright.at<cv::Vec3b>(66, 20)), 20);
  EXPECT_GT(cv::norm(upright.at<cv::Vec3b>(66, 66)), 20);
}
