// The notes page as a user works it: typing into the real page while the current photograph
// changes, with the note files in a real data folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "FakeImagePanel.h"
#include "NotesDlg.h"

namespace fs = std::filesystem;

namespace {

QString Output(const std::string& name) {
  return QString(IMAGES_TEST_OUTPUT_DIR) + "/" + QString::fromStdString(name);
}

class NotesPage : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "notes page-XXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    m_Data = m_Folder / "site_data";
    fs::create_directories(m_Data);
    m_Page = std::make_unique<CNotesDlg>(m_Panel);
    m_Page->resize(420, 300);
    m_Page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_Page.get()));
  }
  void TearDown() override {
    m_Page.reset();
    fs::remove_all(m_Folder);
  }

  std::string Photo(const std::string& name) const { return (m_Data / (name + ".jpg")).string(); }
  fs::path Note(const std::string& name) const { return m_Data / (name + "_note.txt"); }
  void WriteNote(const std::string& name, const std::string& text) const {
    std::ofstream(Note(name), std::ios::binary) << text;
  }
  std::string ReadNote(const std::string& name) const {
    std::ostringstream text;
    text << std::ifstream(Note(name), std::ios::binary).rdbuf();
    return text.str();
  }
  void Type(const QString& text) {
    m_Page->GetEdit()->setFocus();
    m_Page->GetEdit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_Page->GetEdit(), text);
  }
  void ClearByKeys() {
    m_Page->GetEdit()->setFocus();
    QTest::keyClick(m_Page->GetEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_Page->GetEdit(), Qt::Key_Delete);
  }
  QString Shown() const { return m_Page->GetEdit()->toPlainText(); }

  fs::path m_Folder, m_Data;
  CFakeImagePanel m_Panel;
  std::unique_ptr<CNotesDlg> m_Page;
};

TEST_F(NotesPage, NotesFollowTheCurrentPhotographAndAnEmptiedNoteLosesItsFile) {
  WriteNote("IMG_1", "Crack in the\nnorth wall\n");
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_1")), 1);
  EXPECT_EQ(Shown(), "Crack in the\nnorth wall\n");
  EXPECT_EQ(m_Page->windowTitle(), "Notes - Talvern Software - www.talvern.com - IMG_1");
  m_Page->grab().save(Output("notes-page.png"));

  // A photograph without a note: shown empty, and no file until text is typed.
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_2")), 0);
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_3")), 0);
  EXPECT_FALSE(fs::exists(Note("IMG_2")));
  Type("Door frame");
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_1")), 1);
  EXPECT_EQ(ReadNote("IMG_3"), "Door frame");

  ClearByKeys();
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_3")), 1);
  EXPECT_FALSE(fs::exists(Note("IMG_1")));
  EXPECT_EQ(Shown(), "Door frame");

  // The project closes: the last note is saved.
  Type(" and lintel");
  EXPECT_EQ(m_Page->SaveData(), 1);
  EXPECT_EQ(ReadNote("IMG_3"), "Door frame and lintel");

  QTest::keyClick(m_Page->GetEdit(), Qt::Key_Escape);
  EXPECT_FALSE(m_Page->isVisible());
  EXPECT_EQ(m_Panel.tabsClosed, 1);
}

TEST_F(NotesPage, NotesReadBackUnchanged) {
  const std::string longLine(3000, 'x');
  const std::string stored = "first\r\n" + longLine + "\r\nlast \xe8 line\r\n";  // Windows text
  WriteNote("IMG_1", stored);
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_1")), 1);
  EXPECT_EQ(Shown(), QString::fromStdString("first\n" + longLine + "\n") +
                         QString::fromUtf8("last \u00e8 line\n"));
  // Leaving a note that was not touched leaves its file as it was.
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_2")), 0);
  EXPECT_EQ(ReadNote("IMG_1"), stored);

  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_1")), 1);
  Type("added");
  EXPECT_EQ(m_Page->SaveNote(), 1);
  EXPECT_EQ(ReadNote("IMG_1"), "first\r\n" + longLine + "\r\nlast \xc3\xa8 line\r\nadded");
}

TEST_F(NotesPage, ANoteThatCannotBeWrittenStaysInThePage) {
  QSignalSpy messages(m_Page.get(), &CNotesDlg::statusMessage);
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_1")), 0);
  Type("Plaster sample taken");
  fs::remove_all(m_Data);  // the project's drive went away
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_2")), 0);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0][0].toString().startsWith("Unable to write the note "));
  EXPECT_EQ(Shown(), "Plaster sample taken");
  EXPECT_EQ(m_Page->windowTitle(), "Notes - Talvern Software - www.talvern.com - IMG_1");
  EXPECT_EQ(m_Page->SaveData(), 0);

  fs::create_directories(m_Data);
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_2")), 0);
  EXPECT_EQ(ReadNote("IMG_1"), "Plaster sample taken");
  EXPECT_EQ(Shown(), "");
}

TEST_F(NotesPage, ANoteThatIsNoPlainFileIsLeftAlone) {
  const fs::path outside = m_Folder / "outside.txt";
  std::ofstream(outside) << "not a note";
  fs::create_symlink(outside, Note("IMG_1"));
  fs::create_directory(Note("IMG_2"));
  QSignalSpy messages(m_Page.get(), &CNotesDlg::statusMessage);

  for (const char* name : {"IMG_1", "IMG_2"}) {
    EXPECT_EQ(m_Page->ShowNote(Photo(name)), 0);
    EXPECT_EQ(Shown(), "");
    EXPECT_TRUE(m_Page->GetEdit()->isReadOnly());
    Type("typed");
    ClearByKeys();
  }
  EXPECT_EQ(m_Page->ShowNote(Photo("IMG_3")), 0);
  EXPECT_FALSE(m_Page->GetEdit()->isReadOnly());
  EXPECT_EQ(messages.size(), 2);
  EXPECT_TRUE(fs::is_symlink(Note("IMG_1")));
  EXPECT_TRUE(fs::is_directory(Note("IMG_2")));
  std::ifstream read(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(read), {}), "not a note");
}

}  // namespace
