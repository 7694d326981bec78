// Building new projects in the program as a user does: the File menu's two build commands,
// their dialogs filled in with keys and clicks, the file dialogs answered by typing, and the
// new project opened at the end.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/projects/OrvalisDoc.h"
#include "app/projects/ProjectBuild.h"
#include "app/projects/SelectBuildDataDlg.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/ProgressDlg.h"
#include "app/shell/ProjectCommands.h"
#include "app/shell/Settings.h"
#include "app/widgets/ProgressTimeToCompleteCtrl.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

// What a user types into a line edit: everything selected first, then the keys.
void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

// The file dialog answered by pasting the files' paths, quoted, and Enter. Typed a key at a
// time, every partial path would select its folder in the dialog's list as it loads.
void ChooseFiles(QFileDialog* dialog, const std::vector<fs::path>& files) {
  QString names;
  for (const fs::path& file : files) names += "\"" + QString::fromStdString(file.string()) + "\" ";
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  QApplication::clipboard()->setText(names.trimmed());
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  // The completion list the dialog may have opened meanwhile would take the Return.
  if (QCompleter* completer = edit->completer()) completer->popup()->hide();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_FALSE(dialog->isVisible()) << "the file dialog refused " << names.toStdString();
}

class BuildCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_HOME", (m_Folder / "home").c_str(), 1);
    m_App = StartShownProgram();
    m_Frame = m_App->GetMainFrame();
  }

  QAction* FileAction(const QString& label) {
    for (QAction* menu : m_Frame->menuBar()->actions())
      if (menu->text() == "&File")
        for (QAction* action : menu->menu()->actions())
          if (action->text() == label) return action;
    return nullptr;
  }

  // Runs a build command while `script` answers its dialogs; the messages it showed.
  QStringList Run(const QString& command, ModalScript& script) {
    QSignalSpy shown(m_Frame->GetProjectCommands(), &CProjectCommands::messageShown);
    QAction* action = FileAction(command);
    EXPECT_NE(action, nullptr) << command.toStdString();
    script.LetPass<CProgressDlg>();
    if (action) action->trigger();
    script.Finish();
    QStringList texts;
    for (const QList<QVariant>& message : shown) texts << message.at(0).toString();
    return texts;
  }

  // The step that fills in the output group of a build dialog.
  static void NameProject(CSelectBuildDialogBase* dialog, const fs::path& folder,
                          const QString& name) {
    Type(dialog->GetOutputGroup()->GetFolderEdit(), QString::fromStdString(folder.string()));
    Type(dialog->GetOutputGroup()->GetNameEdit(), name);
  }

  ScratchFolder m_Folder;
  std::unique_ptr<COrvalisApp> m_App;
  CMainFrame* m_Frame = nullptr;
};

}  // namespace

TEST_F(BuildCommandsTest, TwoLasTilesAndTwoPhotographsBecomeAnOpenProject) {
  const fs::path las = SampleData("las");
  if (las.empty()) GTEST_SKIP() << "no sample data";
  const fs::path camera = m_Folder / "camera";
  WritePhoto(camera / "north.jpg", 120, 80, true);
  WritePhoto(camera / "south.jpg", 120, 80, true);
  const fs::path projects = m_Folder / "projects";
  fs::create_directories(projects);

  ModalScript script;
  script
      .Then<CSelectBuildDataDlg>([&](CSelectBuildDataDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select new project folder and name");
        EXPECT_FALSE(dialog->GetOkButton()->isEnabled());
        NameProject(dialog, projects, "Autzen tiles");
        Click(dialog->GetModelsGroup()->GetAddButton());
      })
      .Then<QFileDialog>([&](QFileDialog* files) {
        ChooseFiles(files, {las / "laspy_simple.las", las / "laspy_simple1_1.las"});
      })
      .Then<CSelectBuildDataDlg>(
          [&](CSelectBuildDataDlg* dialog) { Click(dialog->GetImagesGroup()->GetAddButton()); })
      .Then<QFileDialog>([&](QFileDialog* files) {
        ChooseFiles(files, {camera / "north.jpg", camera / "south.jpg"});
      })
      .Then<CSelectBuildDataDlg>([&](CSelectBuildDataDlg* dialog) {
        EXPECT_EQ(dialog->GetModels().size(), 2u);
        EXPECT_EQ(dialog->GetImages().size(), 2u);
        EXPECT_EQ(dialog->GetOutputGroup()->GetOutputPathEdit()->text().toStdString(),
                  (projects / "Autzen tiles" / "Autzen tiles.strm").string());
        dialog->grab().save(Output("build-from-models-dialog.png"));
        Click(dialog->GetOkButton());
      });
  QSignalSpy painted(m_Frame, &CMainFrame::projectRegenerated);
  const QStringList messages = Run("Build Stream from &VTP", script);
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  if (painted.isEmpty()) painted.wait(30000);
  m_Frame->grab().save(Output("build-from-models-project.png"));

  const fs::path stream = projects / "Autzen tiles" / "Autzen tiles.strm";
  COrvalisFrame* project = m_Frame->GetActiveProject();
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->GetDocument()->GetPathName(), stream.string());
  EXPECT_FALSE(fs::exists(projects / "Autzen tiles" / "Autzen tiles.list"));
  const CommandResult info = RunNimbex("info " + Quoted(stream));
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("Points            2130"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("rgb yes, intensity yes, classes yes, pulses yes"), std::string::npos)
      << info.out;
  const fs::path data = projects / "Autzen tiles" / "Autzen tiles_data";
  for (const char* name : {"north", "south"})
    for (const std::string& file :
         {std::string(name) + ".jpg", std::string(name) + ".int", std::string(name) + ".est",
          "thumb_" + std::string(name) + ".jpg"})
      EXPECT_TRUE(fs::exists(data / file)) << file;
  EXPECT_EQ(project->GetDocument()->GetImages().GetImages().size(), 2u);
  EXPECT_EQ(project->GetDocument()->GetImages().GetOrientations().size(), 2u);
  EXPECT_EQ(GetBuildFolder("BuildFromVTP"), projects.string());
  EXPECT_EQ(GetLastBrowsedFolder(), (projects / "Autzen tiles").string());
  EXPECT_FALSE(m_Frame->GetProgressDlg()->isVisible());
}

TEST_F(BuildCommandsTest, MixedModelsAndAnExistingProjectNameAreRefused) {
  const fs::path las = SampleData("las"), vtp = SampleData("vtp");
  if (las.empty() || vtp.empty()) GTEST_SKIP() << "no sample data";
  const fs::path existing = m_Folder / "site" / "site.strm";
  fs::create_directories(existing.parent_path());
  std::ofstream(existing) << "a project";
  QStringList refusals;
  const std::function<void(QMessageBox*)> answer = [&refusals](QMessageBox* box) {
    refusals << box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    Click(box->button(QMessageBox::Ok));
  };

  ModalScript script;
  script
      .Then<CSelectBuildDataDlg>(
          [&](CSelectBuildDataDlg* dialog) { Click(dialog->GetModelsGroup()->GetAddButton()); })
      .Then<QFileDialog>(
          [&](QFileDialog* files) { ChooseFiles(files, {vtp / "vtkdata_Bunny.vtp"}); })
      .Then<CSelectBuildDataDlg>(
          [&](CSelectBuildDataDlg* dialog) { Click(dialog->GetModelsGroup()->GetAddButton()); })
      .Then<QFileDialog>(
          [&](QFileDialog* files) { ChooseFiles(files, {las / "laspy_simple.las"}); })
      .Then<QMessageBox>(answer)
      .Then<CSelectBuildDataDlg>([&](CSelectBuildDataDlg* dialog) {
        EXPECT_EQ(dialog->GetModels().size(), 1u);
        NameProject(dialog, m_Folder.Path(), "site");
        Click(dialog->GetOkButton());
      })
      .Then<QMessageBox>(answer)
      .Then<CSelectBuildDataDlg>([&](CSelectBuildDataDlg* dialog) {
        EXPECT_TRUE(dialog->isVisible());
        Click(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
      });
  EXPECT_TRUE(Run("Build Stream from &VTP", script).isEmpty());
  EXPECT_EQ(refusals, QStringList({kModelsOfOneType, kProjectAlreadyPresent}));
  EXPECT_EQ(std::distance(fs::directory_iterator(existing.parent_path()), {}), 1);
  EXPECT_EQ(m_Frame->GetActiveProject(), nullptr);
}

TEST_F(BuildCommandsTest, AbortDuringTheBoundsPassOfAVtpBuildMakesNoFolder) {
  const fs::path vtp = SampleData("vtp");
  if (vtp.empty()) GTEST_SKIP() << "no sample data";
  ModalScript script;
  script
      .Then<CSelectBuildDataDlg>([&](CSelectBuildDataDlg* dialog) {
        NameProject(dialog, m_Folder.Path(), "animals");
        Click(dialog->GetModelsGroup()->GetAddButton());
      })
      .Then<QFileDialog>([&](QFileDialog* files) {
        ChooseFiles(files, {vtp / "vtkdata_Bunny.vtp", vtp / "vtkdata_horse.vtp",
                            vtp / "vtkdata_Ring.vtp", vtp / "vtkdata_SemiDisk-0.vtp"});
      })
      .Then<CSelectBuildDataDlg>(
          [&](CSelectBuildDataDlg* dialog) { Click(dialog->GetOkButton()); });
  // The user clicks "Abort" as soon as the bar moves past the first model of the pass.
  CProgressDlg* progress = m_Frame->GetProgressDlg();
  bool clicked = false;
  QObject::connect(progress->GetProgressCtrl(), &QProgressBar::valueChanged, [&] {
    if (clicked || progress->GetProgressCtrl()->m_Text != "Finding global bounds...") return;
    clicked = true;
    progress->grab().save(Output("build-progress-dialog.png"));
    Click(progress->GetAbortButton());
  });
  EXPECT_EQ(Run("Build Stream from &VTP", script), QStringList({"Process stopped by user!"}));
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(fs::exists(m_Folder / "animals"));
  EXPECT_EQ(m_Frame->GetActiveProject(), nullptr);
  EXPECT_FALSE(m_Frame->GetProgressDlg()->isVisible());
}

TEST_F(BuildCommandsTest, AnAsciiFileIsPreviewedAndBuiltWithTheParseStringTyped) {
  const fs::path xyz = SampleData("xyz");
  if (xyz.empty()) GTEST_SKIP() << "no sample data";
  const fs::path vanishing = m_Folder / "vanishing.txt";
  std::ofstream(vanishing) << "1 2 3\n";
  QStringList messages;
  QString preview;

  ModalScript script;
  script
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        EXPECT_EQ(dialog->GetParseEdit()->text(), kDefaultParseString);
        Click(dialog->GetFilesGroup()->GetAddButton());
      })
      .Then<QFileDialog>([&](QFileDialog* files) { ChooseFiles(files, {vanishing}); })
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        fs::remove(vanishing);
        Click(dialog->GetPreviewButton());
      })
      .Then<QMessageBox>([&](QMessageBox* box) {
        messages << box->text();
        Click(box->button(QMessageBox::Ok));
      })
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        Click(dialog->GetFilesGroup()->GetResetButton());
        Click(dialog->GetFilesGroup()->GetAddButton());
      })
      .Then<QFileDialog>(
          [&](QFileDialog* files) { ChooseFiles(files, {xyz / "pdal_missingheader.txt"}); })
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        QTest::keyClick(dialog->GetPreviewCount(), Qt::Key_Down);
        EXPECT_EQ(dialog->GetPreviewCount()->currentText(), "10");
        Click(dialog->GetPreviewButton());
      })
      .Then<QMessageBox>([&](QMessageBox* box) {
        preview = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        box->grab().save(Output("build-from-txt-preview.png"));
        Click(box->button(QMessageBox::Ok));
      })
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        NameProject(dialog, m_Folder.Path(), "terrain");
        Type(dialog->GetParseEdit(), "");
        Click(dialog->GetOkButton());
      })
      .Then<QMessageBox>([&](QMessageBox* box) {
        messages << box->text();
        Click(box->button(QMessageBox::Ok));
      })
      .Then<CSelectBuildDataDlgTxt>([&](CSelectBuildDataDlgTxt* dialog) {
        Type(dialog->GetParseEdit(), "xyzi");
        dialog->grab().save(Output("build-from-txt-dialog.png"));
        Click(dialog->GetOkButton());
      });
  EXPECT_TRUE(Run("Build Stream from &TXT", script).isEmpty());
  EXPECT_EQ(messages, QStringList({kFirstFileNotFound, kSelectFieldOfInterest}));
  EXPECT_TRUE(preview.contains("<pre")) << preview.toStdString();
  EXPECT_TRUE(preview.contains("1 1 1 25") && preview.contains("5 5 5 45"))
      << preview.toStdString();

  const fs::path stream = m_Folder / "terrain" / "terrain.strm";
  ASSERT_NE(m_Frame->GetActiveProject(), nullptr);
  EXPECT_EQ(m_Frame->GetActiveProject()->GetDocument()->GetPathName(), stream.string());
  const CommandResult info = RunNimbex("info " + Quoted(stream));
  EXPECT_NE(info.out.find("Points            5"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("intensity yes"), std::string::npos) << info.out;
  EXPECT_EQ(GetBuildParseString(), "xyzi");
  EXPECT_EQ(GetBuildFolder("BuildFromTXT"), m_Folder.Path().string());
}

TEST_F(BuildCommandsTest, TheDialogsStartInTheRememberedFolderWhileItExists) {
  EXPECT_EQ(GetBuildFolder("BuildFromVTP"), fs::current_path().string());
  EXPECT_EQ(GetBuildParseString(), kDefaultParseString);
  const fs::path surveys = m_Folder / "surveys";
  fs::create_directories(surveys);
  SetBuildFolder("BuildFromTXT", surveys.string());
  EXPECT_EQ(GetBuildFolder("BuildFromTXT"), surveys.string());
  EXPECT_EQ(GetBuildFolder("BuildFromVTP"), fs::current_path().string());
  fs::remove(surveys);
  ModalScript script;
  script.Then<CSelectBuildDataDlgTxt>([](CSelectBuildDataDlgTxt* dialog) {
    EXPECT_EQ(dialog->GetOutputGroup()->GetFolderEdit()->text(), "");
    EXPECT_FALSE(dialog->GetOkButton()->isEnabled());
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_TRUE(Run("Build Stream from &TXT", script).isEmpty());
}
