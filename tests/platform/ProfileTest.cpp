#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>

#include "nimbex/platform/Profile.h"

namespace fs = std::filesystem;

namespace {

// Each test works in its own folder whose name has a space and an apostrophe.
class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = fs::path(::testing::TempDir()) /
               (std::string("orvalis profile's ") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_Folder);
    fs::create_directories(m_Folder);
    m_File = m_Folder / "Orvalis settings.ini";
  }
  void TearDown() override { fs::remove_all(m_Folder); }

  void Write(const std::string& text) { std::ofstream(m_File, std::ios::binary) << text; }
  std::string Read() const {
    std::ostringstream text;
    text << std::ifstream(m_File, std::ios::binary).rdbuf();
    return text.str();
  }
  CProfile Loaded() const {
    CProfile profile;
    EXPECT_EQ(profile.Load(m_File), 1);
    return profile;
  }

  fs::path m_Folder, m_File;
};

}  // namespace

TEST_F(ProfileTest, LookupIgnoresCaseAndTrimsValues) {
  Write("[Display]\nPointSize =  3 \nColour=height\n[Other]\nPointSize=9\n");
  CProfile profile = Loaded();
  EXPECT_EQ(profile.GetString("display", "POINTSIZE", "x"), "3") << "case and blanks ignored";
  EXPECT_EQ(profile.GetInt("DISPLAY", "pointsize", 0), 3);
  EXPECT_EQ(profile.GetString("Display", "Missing", "fallback"), "fallback");
  EXPECT_EQ(profile.GetString("Missing", "Colour", "fallback"), "fallback");

  CProfile absent;
  EXPECT_EQ(absent.Load(m_Folder / "none.ini"), 0);
  EXPECT_EQ(absent.GetInt("Display", "PointSize", 7), 7);
}

TEST_F(ProfileTest, NumbersReadLikeAtoiAndWriteLosslessly) {
  Write("[N]\na=42abc\nb=abc\nd=99999999999\ne=+2.5e3x\n");
  CProfile profile = Loaded();
  EXPECT_EQ(profile.GetInt("N", "a", 0), 42);
  EXPECT_EQ(profile.GetInt("N", "b", -1), -1);
  EXPECT_EQ(profile.GetInt("N", "d", 0), INT_MAX);
  EXPECT_EQ(profile.GetDouble("N", "e", 0), 2500.0);

  ASSERT_EQ(profile.SetDouble("N", "g", 0.25), 1);
  EXPECT_EQ(profile.GetString("N", "g", ""), "0.250000");
  ASSERT_EQ(profile.SetDouble("N", "h", 1e-9), 1);
  EXPECT_EQ(profile.GetDouble("N", "h", 0), 1e-9) << "six decimals would have written 0";
  EXPECT_EQ(profile.SetDouble("N", "i", NAN), 0);
}

TEST_F(ProfileTest, WritingKeepsEverythingElseInOrder) {
  Write("; Orvalis settings\n[View]\nZoom=2\n; eye height\nEye=1.7\n\n[Paths]\nLast=/data\n");
  CProfile profile = Loaded();
  ASSERT_EQ(profile.SetString("VIEW", "zoom", "4"), 1);
  ASSERT_EQ(profile.SetString("view", "Fov", "60"), 1);
  ASSERT_EQ(profile.SetInt("Grid", "Step", 10), 1);
  ASSERT_EQ(profile.Save(m_File), 1);
  EXPECT_EQ(Read(),
            "; Orvalis settings\n[View]\nZoom=4\n; eye height\nEye=1.7\nFov=60\n\n"
            "[Paths]\nLast=/data\n\n[Grid]\nStep=10\n");
  EXPECT_EQ(fs::directory_iterator(m_Folder)->path(), m_File) << "no temporary file left";
  EXPECT_EQ(std::distance(fs::directory_iterator(m_Folder), fs::directory_iterator()), 1);

  ASSERT_EQ(profile.RemoveKey("view", "EYE"), 1);
  EXPECT_EQ(profile.GetString("View", "Eye", "gone"), "gone");
}

TEST_F(ProfileTest, CrlfAndByteOrderMarkAreReadAndKept) {
  Write("\xEF\xBB\xBF[Scan]\r\nName=North wall\r\n");
  CProfile profile = Loaded();
  EXPECT_EQ(profile.GetString("scan", "name", ""), "North wall");
  profile.SetString("Scan", "Points", "12");
  ASSERT_EQ(profile.Save(m_File), 1);
  EXPECT_EQ(Read(), "\xEF\xBB\xBF[Scan]\r\nName=North wall\r\nPoints=12\r\n");
}

TEST_F(ProfileTest, UnsafeNamesAndValuesAreRefused) {
  CProfile profile;
  EXPECT_EQ(profile.SetString("S", "k", "two\nlines"), 0);
  EXPECT_EQ(profile.SetString("S", "a=b", "v"), 0);
  EXPECT_EQ(profile.SetString("S]", "k", "v"), 0);
  EXPECT_EQ(profile.SetString("S", "k", std::string("a\0b", 3)), 0);
  EXPECT_EQ(profile.SetString("S", "k", std::string(CProfile::kMaxValueLength + 1, 'x')), 0);
  EXPECT_EQ(profile.Save(m_Folder / "missing folder" / "a.ini"), 0);
}

TEST_F(ProfileTest, WindowsCalls) {
  const std::string file = m_File.string();
  ASSERT_EQ(WritePrivateProfileString("Cloud", "Path", "/data/Jo's scans/a.las", file.c_str()), 1);
  char buffer[8];
  EXPECT_EQ(GetPrivateProfileString("cloud", "path", "", buffer, sizeof buffer, file.c_str()), 7u);
  EXPECT_STREQ(buffer, "/data/J");
  EXPECT_EQ(GetPrivateProfileString("Cloud", "Nope", "dflt", buffer, sizeof buffer, file.c_str()),
            4u);
  EXPECT_STREQ(buffer, "dflt");
  EXPECT_EQ(GetPrivateProfileString("Cloud", "Path", "", buffer, 0, file.c_str()), 0u);

  ASSERT_EQ(WritePrivateProfileString("Cloud", "Path", nullptr, file.c_str()), 1);
  EXPECT_EQ(GetPrivateProfileString("Cloud", "Path", "-", buffer, sizeof buffer, file.c_str()), 1u);
  ASSERT_EQ(WritePrivateProfileString("Cloud", nullptr, nullptr, file.c_str()), 1);
  EXPECT_EQ(Read(), "");
}

// A file too large to load must not be replaced by a file holding only the new key.
TEST_F(ProfileTest, UnreadableFileIsNotOverwritten) {
  Write("[A]\nk=1\n");
  fs::resize_file(m_File, CProfile::kMaxFileSize + 1);
  EXPECT_EQ(CProfile().Load(m_File), 0);
  EXPECT_EQ(WritePrivateProfileString("A", "k", "2", m_File.c_str()), 0);
  EXPECT_EQ(fs::file_size(m_File), CProfile::kMaxFileSize + 1);
}
