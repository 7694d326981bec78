// The links file: its layout, what survives a save and a reload, and what happens to a file
// that cannot be read.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <string>

#include "LinksFile.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::unique_ptr<CLink> MakeLink(int type, const std::string& label, const std::string& path,
                                double x, double y, double z) {
  auto link = std::make_unique<CLink>();
  link->m_Type = type;
  link->m_Label = label;
  link->m_Path = path;
  link->m_Point = Wml::Point3<double>(x, y, z);
  return link;
}

int Save(const fs::path& file, const LinkList& links) {
  std::string keptAs, error;
  const int saved = SaveLinks(file.string(), links, keptAs, error);
  EXPECT_TRUE(keptAs.empty()) << keptAs;
  EXPECT_EQ(saved, 1) << error;
  return saved;
}

LinkList Load(const fs::path& file) {
  LinkList links;
  std::string error;
  EXPECT_EQ(LoadLinks(file.string(), links, error), 1) << error;
  return links;
}

// Sets a locale whose decimal separator is a comma while it lives, when there is one.
class CommaLocale {
 public:
  CommaLocale() : m_Old(std::setlocale(LC_ALL, nullptr)) {
    m_Set = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~CommaLocale() { std::setlocale(LC_ALL, m_Old.c_str()); }
  bool IsSet() const { return m_Set; }

 private:
  std::string m_Old;
  bool m_Set = false;
};

class LinksFileTest : public testing::Test {
 protected:
  ScratchFolder m_Folder;
  fs::path m_File = m_Folder / "site_links.xml";
};

}  // namespace

TEST_F(LinksFileTest, AProjectWithoutLinksFileHasNoLinksAndTheFirstLinkWritesTheLayout) {
  LinkList links;
  links.push_back(std::make_unique<CLink>());
  std::string error;
  EXPECT_EQ(LoadLinks(m_File.string(), links, error), 1);
  EXPECT_TRUE(links.empty());
  EXPECT_FALSE(fs::exists(m_File));

  const CommaLocale comma;
  links.push_back(MakeLink(LINK_FILE, "Plan", ".\\FileLink\\plan.pdf", 1000.5, -2.25, 3e6));
  links.back()->m_Embedded = 1;
  Save(m_File, links);

  tinyxml2::XMLDocument document;
  ASSERT_EQ(document.LoadFile(m_File.c_str()), tinyxml2::XML_SUCCESS);
  EXPECT_NE(document.FirstChild()->ToDeclaration(), nullptr);
  const tinyxml2::XMLElement* root = document.RootElement();
  ASSERT_STREQ(root->Name(), "Orvalis_Links");
  const tinyxml2::XMLElement* count = root->FirstChildElement();
  ASSERT_STREQ(count->Name(), "ExternalLink");
  EXPECT_STREQ(count->Attribute("type"), "int");
  EXPECT_STREQ(count->Attribute("value"), "1");
  EXPECT_EQ(count->NextSiblingElement(), nullptr);
  const tinyxml2::XMLElement* id = count->FirstChildElement();
  ASSERT_STREQ(id->Name(), "LinkID_0");
  EXPECT_STREQ(id->Attribute("value"), "0");
  const char* expected[][3] = {{"LinkType", "int", "1"},
                               {"LinkLabel", "string", "Plan"},
                               {"LinkPath", "string", ".\\FileLink\\plan.pdf"},
                               {"LinkEmbedded", "int", "1"},
                               {"PointX", "double", "1000.500000"},
                               {"PointY", "double", "-2.250000"},
                               {"PointZ", "double", "3000000.000000"}};
  const tinyxml2::XMLElement* value = id->FirstChildElement();
  for (const auto& [name, type, text] : expected) {
    ASSERT_NE(value, nullptr) << name;
    EXPECT_STREQ(value->Name(), name);
    EXPECT_STREQ(value->Attribute("type"), type) << name;
    EXPECT_STREQ(value->Attribute("value"), text) << name << (comma.IsSet() ? " (de_DE)" : "");
    value = value->NextSiblingElement();
  }
  EXPECT_EQ(value, nullptr);

  links = Load(m_File);
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0]->m_Point, Wml::Point3<double>(1000.5, -2.25, 3e6));
  EXPECT_EQ(links[0]->m_Embedded, 1);
}

TEST_F(LinksFileTest, LabelsAndPathsWithSpecialCharactersAndUnknownTypesComeBackUnchanged) {
  LinkList links;
  links.push_back(MakeLink(LINK_WEB, "<a href=\"x\">&amp; 'quoted' & </a>",
                           "http://example.org/?a=1&b=<2>", 1, 2, 3));
  links.push_back(MakeLink(LINK_MEDIA, "Ülmer Münster – 東京 \t tab",
                           "/home/o'brien/Vidéos/tour \"1\".mp4", 4, 5, 6));
  links.push_back(MakeLink(LINK_NONE, "no type", "", 7, 8, 9));
  links.push_back(MakeLink(12, "a later type", "x.dat", 10, 11, 12));
  Save(m_File, links);
  const std::string first = ReadAll(m_File);

  const LinkList read = Load(m_File);
  ASSERT_EQ(read.size(), links.size());
  for (size_t i = 0; i < links.size(); ++i) {
    EXPECT_EQ(read[i]->m_Type, links[i]->m_Type) << i;
    EXPECT_EQ(read[i]->m_Label, links[i]->m_Label) << i;
    EXPECT_EQ(read[i]->m_Path, links[i]->m_Path) << i;
    EXPECT_EQ(read[i]->m_Point, links[i]->m_Point) << i;
  }
  Save(m_File, read);
  EXPECT_EQ(ReadAll(m_File), first);
}

TEST_F(LinksFileTest, DeletingTheOnlyLinkLeavesACountOfZeroAndNoLinkElement) {
  LinkList links;
  links.push_back(MakeLink(LINK_WEB, "Web Link", "www.example.org", 1, 2, 3));
  Save(m_File, links);
  links.clear();
  Save(m_File, links);
  const std::string text = ReadAll(m_File);
  EXPECT_NE(text.find("<ExternalLink type=\"int\" value=\"0\"/>"), std::string::npos) << text;
  EXPECT_EQ(text.find("LinkID_"), std::string::npos) << text;
  EXPECT_TRUE(Load(m_File).empty());
}

TEST_F(LinksFileTest, ValuesAreReadWhateverTheirTypeAndACountIsHeldToTheLinksThere) {
  WriteAll(m_File,
           "<?xml version=\"1.0\"?>\n<Orvalis_Links>\n"
           " <ExternalLink type=\"int\" value=\"2000000000\">\n"
           "  <LinkID_0 type=\"int\" value=\"0\">\n"
           "   <LinkType type=\"string\" value=\" 7abc\"/>\n"
           "   <LinkLabel type=\"double\" value=\"3.14159\"/>\n"
           "   <LinkPath type=\"int\" value=\"42\"/>\n"
           "   <PointX type=\"string\" value=\"1.5e3\"/>\n"
           "   <PointY type=\"double\" value=\"nan\"/>\n"
           "  </LinkID_0>\n"
           "  <LinkID_2 type=\"int\" value=\"2\">\n"
           "   <LinkType type=\"int\" value=\"99999999999\"/>\n"
           "  </LinkID_2>\n"
           " </ExternalLink>\n</Orvalis_Links>\n");
  const LinkList links = Load(m_File);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0]->m_Type, LINK_CAD);
  EXPECT_EQ(links[0]->m_Label, "3.142");
  EXPECT_EQ(links[0]->m_Path, "42");
  EXPECT_EQ(links[0]->m_Embedded, 0);
  // A value that is no finite number leaves the field as a new link has it.
  EXPECT_EQ(links[0]->m_Point, Wml::Point3<double>(1500, 0, 0));
  EXPECT_EQ(links[1]->m_Type, INT_MAX);
  EXPECT_EQ(links[1]->m_Label, "");
}

TEST_F(LinksFileTest, AFileThatCannotBeReadIsReportedAndKeptAsideBeforeANewOneIsWritten) {
  const std::string broken = "<Orvalis_Links><ExternalLink type=\"int\" value=\"1\">";
  WriteAll(m_File, broken);
  LinkList links;
  std::string error;
  EXPECT_EQ(LoadLinks(m_File.string(), links, error), 0);
  EXPECT_TRUE(links.empty());
  EXPECT_NE(error.find(m_File.string()), std::string::npos) << error;
  EXPECT_NE(error.find("not well-formed XML"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(m_File), broken);

  links.push_back(MakeLink(LINK_WEB, "Web Link", "www.example.org", 1, 2, 3));
  std::string keptAs;
  ASSERT_EQ(SaveLinks(m_File.string(), links, keptAs, error), 1) << error;
  EXPECT_EQ(keptAs, (m_Folder / "site_links.unreadable-1.xml").string());
  EXPECT_EQ(ReadAll(keptAs), broken);
  EXPECT_EQ(Load(m_File).size(), 1u);

  // Another document than a links file is no links file either; the name taken is skipped.
  WriteAll(m_File, "<?xml version=\"1.0\"?><Measures/>");
  EXPECT_EQ(LoadLinks(m_File.string(), links, error), 0);
  EXPECT_NE(error.find("root element"), std::string::npos) << error;
  ASSERT_EQ(SaveLinks(m_File.string(), links, keptAs, error), 1) << error;
  EXPECT_EQ(keptAs, (m_Folder / "site_links.unreadable-2.xml").string());
  EXPECT_EQ(ReadAll(keptAs), "<?xml version=\"1.0\"?><Measures/>");
  EXPECT_EQ(ReadAll(m_Folder / "site_links.unreadable-1.xml"), broken);

  // A links file that reads is simply replaced.
  ASSERT_EQ(SaveLinks(m_File.string(), links, keptAs, error), 1) << error;
  EXPECT_TRUE(keptAs.empty());
  EXPECT_FALSE(fs::exists(m_Folder / "site_links.unreadable-3.xml"));
}
