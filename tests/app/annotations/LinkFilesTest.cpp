// What a link does with files: the checks of a new link, the copies into the project's
// FileLink folder, and the deletion of those copies, which never reaches outside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "LinkFiles.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& path, const std::string& text = "data") {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::unique_ptr<CLink> EmbeddedLink(int type, const std::string& path) {
  auto link = std::make_unique<CLink>();
  link->m_Type = type;
  link->m_Path = path;
  link->m_Embedded = 1;
  return link;
}

class LinkFilesTest : public testing::Test {
 protected:
  ScratchFolder m_Folder;
  fs::path m_Project = m_Folder / "project";
  fs::path m_Sources = m_Folder / "sources";
  fs::path m_FileLink = m_Project / "FileLink";
};

}  // namespace

TEST_F(LinkFilesTest, ANewLinkIsRefusedWithTheMessageOfWhatIsWrong) {
  const fs::path strm = m_Sources / "site.strm", vtp = m_Sources / "door.vtp";
  Touch(strm);
  Touch(vtp);
  const std::string mixed = strm.string() + ";" + vtp.string();
  EXPECT_EQ(CheckLinkEntry(LINK_MODEL, mixed),
            "Cannot mix different model formats inside the same link!");
  EXPECT_EQ(CheckLinkEntry(LINK_MODEL, strm.string() + ";" + (m_Sources / "gone.STRM").string()),
            "One or more 3D model file not found");
  EXPECT_EQ(CheckLinkEntry(LINK_MODEL, strm.string()), "");
  EXPECT_EQ(CheckLinkEntry(LINK_MODEL, (m_Sources / "gone.strm").string()),
            "Unable to find selected file");
  EXPECT_EQ(CheckLinkEntry(LINK_WEB, ""), "Insert the path of link!");
  EXPECT_EQ(CheckLinkEntry(LINK_WEB, "localhost"), "Invalid web address!");
  EXPECT_EQ(CheckLinkEntry(LINK_WEB, "www.example.org"), "");
  EXPECT_EQ(CheckLinkEntry(LINK_AUDIO, ""), "");
  EXPECT_EQ(CheckLinkEntry(LINK_DEM, m_Sources.string()), "Unable to find selected file");
  EXPECT_EQ(CheckLinkEntry(LINK_FILE, vtp.string()), "");
}

TEST_F(LinkFilesTest, EmbeddingCopiesTheFilesWithTheirCompanionsAndStoresTheirRelativePaths) {
  fs::create_directories(m_Project);
  for (const char* name : {"site.strm", "site.ovw", "site.pci", "site.rif", "site.rifovw",
                           "site.vtw", "site.txt", "ortho.jpg", "ortho.jgw", "ortho.jpg.ovr",
                           "ortho.tfw", "cave.vtl", "cave.vtl.idx", "cave.tex", "caveman.vtl"})
    Touch(m_Sources / name, name);
  std::string error;
  EXPECT_EQ(
      EmbedLinkFiles(LINK_MODEL, (m_Sources / "site.strm").string(), m_Project.string(), error),
      ".\\FileLink\\site.strm")
      << error;
  EXPECT_EQ(EmbedLinkFiles(LINK_ORTHOPHOTO, (m_Sources / "ortho.jpg").string(), m_Project.string(),
                           error),
            ".\\FileLink\\ortho.jpg")
      << error;
  EXPECT_EQ(
      EmbedLinkFiles(LINK_VANTEL, (m_Sources / "cave.vtl").string(), m_Project.string(), error),
      ".\\FileLink\\cave.vtl")
      << error;
  std::set<std::string> copied;
  for (const auto& entry : fs::directory_iterator(m_FileLink))
    copied.insert(entry.path().filename().string());
  EXPECT_EQ(copied,
            (std::set<std::string>{"site.strm", "site.ovw", "site.pci", "site.rif", "site.rifovw",
                                   "site.vtw", "ortho.jpg", "ortho.jgw", "ortho.jpg.ovr",
                                   "cave.vtl", "cave.vtl.idx", "cave.tex"}));
  EXPECT_EQ(ResolveLinkPath(".\\FileLink\\site.strm", m_Project.string()),
            (m_FileLink / "site.strm").string());

  // Several models give several paths; a file already in the folder stays as it is.
  Touch(m_Sources / "door.strm");
  EXPECT_EQ(
      EmbedLinkFiles(LINK_MODEL,
                     (m_Sources / "door.strm").string() + ";" + (m_FileLink / "site.strm").string(),
                     m_Project.string(), error),
      ".\\FileLink\\door.strm;.\\FileLink\\site.strm")
      << error;
  std::ifstream kept(m_FileLink / "site.strm");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "site.strm");
}

TEST_F(LinkFilesTest, EmbeddingNeverWritesOutsideTheFileLinkFolder) {
  const fs::path outside = m_Folder / "outside";
  Touch(outside / "victim.pdf", "precious");
  Touch(m_Sources / "victim.pdf", "copy");
  Touch(m_Sources / "back\\slash.pdf");
  fs::create_directories(m_FileLink);
  fs::create_symlink(outside / "victim.pdf", m_FileLink / "victim.pdf");
  std::string error;
  // A symbolic link of the copy's name is replaced, not written through.
  EXPECT_EQ(
      EmbedLinkFiles(LINK_FILE, (m_Sources / "victim.pdf").string(), m_Project.string(), error),
      ".\\FileLink\\victim.pdf")
      << error;
  EXPECT_FALSE(fs::is_symlink(m_FileLink / "victim.pdf"));
  std::ifstream victim(outside / "victim.pdf");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "precious");
  // A backslash in a name would read as a folder when the path is resolved.
  EXPECT_EQ(EmbedLinkFiles(LINK_FILE, (m_Sources / "back\\slash.pdf").string(), m_Project.string(),
                           error),
            "");
  EXPECT_NE(error.find("backslash"), std::string::npos) << error;
  // A FileLink folder that is a symbolic link leads elsewhere.
  fs::remove_all(m_FileLink);
  fs::create_directory_symlink(outside, m_FileLink);
  EXPECT_EQ(
      EmbedLinkFiles(LINK_FILE, (m_Sources / "victim.pdf").string(), m_Project.string(), error),
      "");
  EXPECT_NE(error.find("not a plain folder"), std::string::npos) << error;
  std::ifstream still(outside / "victim.pdf");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(still), {}), "precious");
  EXPECT_EQ(ResolveLinkPath(".\\..\\victim.txt", m_Project.string()), "");
  EXPECT_EQ(ResolveLinkPath(".\\/etc/passwd", m_Project.string()), "");
  EXPECT_EQ(ResolveLinkPath("/etc/passwd", m_Project.string()), "/etc/passwd");
}

TEST_F(LinkFilesTest, DeletingALinkDeletesItsCopiesButNothingOutsideTheFileLinkFolder) {
  const fs::path outside = m_Folder / "outside";
  Touch(m_Folder / "victim.txt");
  Touch(outside / "secret.txt");
  Touch(outside / "ortho.jpg");
  Touch(m_Project / "victim.txt");
  for (const char* name : {"ortho.jpg", "ortho.jgw", "ortho.jpg.ovr", "plan.pdf"})
    Touch(m_FileLink / name);
  fs::create_directory_symlink(outside, m_FileLink / "sub");
  fs::create_symlink(outside / "secret.txt", m_FileLink / "secret.txt");

  LinkList links;
  for (const std::string& path : std::vector<std::string>{
           ".\\..\\victim.txt", ".\\victim.txt", (m_Folder / "victim.txt").string(),
           ".\\FileLink\\sub\\ortho.jpg", ".\\FileLink\\secret.txt", ".\\FileLink\\..\\victim.txt"})
    links.push_back(EmbeddedLink(LINK_ORTHOPHOTO, path));
  for (const auto& link : links) {
    const SLinkFilesRemoval removal = DeleteLinkFiles(*link, links, m_Project.string());
    EXPECT_TRUE(removal.deleted.empty()) << link->m_Path << ": " << removal.deleted.front();
    EXPECT_EQ(removal.kept.size(), 1u) << link->m_Path;
  }
  // A model link's paths are checked one by one: a piece that is not project-relative is
  // not a file of the FileLink folder.
  const SLinkFilesRemoval pieces =
      DeleteLinkFiles(*EmbeddedLink(LINK_MODEL, ".\\..\\victim.tx;t;"), links, m_Project.string());
  EXPECT_TRUE(pieces.deleted.empty());
  EXPECT_EQ(pieces.kept.size(), 3u);
  for (const fs::path& file : {m_Folder / "victim.txt", m_Project / "victim.txt",
                               outside / "secret.txt", outside / "ortho.jpg"})
    EXPECT_TRUE(fs::exists(file)) << file;

  // The link's own copies go, with their companions; a copy another link names stays.
  links.push_back(EmbeddedLink(LINK_ORTHOPHOTO, ".\\FileLink\\ortho.jpg"));
  links.push_back(EmbeddedLink(LINK_FILE, ".\\FileLink\\plan.pdf"));
  links.push_back(EmbeddedLink(LINK_FILE, ".\\FileLink\\plan.pdf"));
  SLinkFilesRemoval removal = DeleteLinkFiles(*links[links.size() - 3], links, m_Project.string());
  EXPECT_EQ(removal.deleted.size(), 3u);
  EXPECT_FALSE(fs::exists(m_FileLink / "ortho.jpg"));
  EXPECT_FALSE(fs::exists(m_FileLink / "ortho.jgw"));
  EXPECT_FALSE(fs::exists(m_FileLink / "ortho.jpg.ovr"));
  removal = DeleteLinkFiles(*links.back(), links, m_Project.string());
  EXPECT_TRUE(removal.deleted.empty());
  EXPECT_TRUE(fs::exists(m_FileLink / "plan.pdf"));
  links.pop_back();
  removal = DeleteLinkFiles(*links.back(), links, m_Project.string());
  EXPECT_EQ(removal.deleted, std::vector<std::string>{(m_FileLink / "plan.pdf").string()});

  // Through a FileLink folder that is itself a symbolic link nothing is deleted.
  fs::remove(m_FileLink / "sub");
  fs::remove(m_FileLink / "secret.txt");
  fs::remove(m_FileLink);
  fs::create_directory_symlink(outside, m_FileLink);
  removal =
      DeleteLinkFiles(*EmbeddedLink(LINK_FILE, ".\\FileLink\\secret.txt"), {}, m_Project.string());
  EXPECT_TRUE(removal.deleted.empty());
  EXPECT_TRUE(fs::exists(outside / "secret.txt"));
}
