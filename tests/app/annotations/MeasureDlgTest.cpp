// The measure page on a stream's render window: points added by SHIFT+click with their
// captions, removal, and the export and import with the questions they ask, answered as a
// user answers them.
#include <gtest/gtest.h>
#include <vtkActor2DCollection.h>
#include <vtkProperty2D.h>
#include <vtkRenderer.h>
#include <vtkTextProperty.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "MeasureDlg.h"
#include "nimbex/window/RenderWindow.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

using Point3 = Wml::Point3<double>;

// The lattice stream's box in absolute coordinates: 992-1008, 1992-2008, 292-308.
const Point3 kInside[] = {{1000.1234, 2000.5, 300.25}, {1003, 2004, 300.25}, {1003, 2000, 296}};

QStringList RowTexts(QTreeWidget* rows, int row) {
  QStringList texts;
  for (int column = 0; column < 4; ++column) texts << rows->topLevelItem(row)->text(column);
  return texts;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Answer(QMessageBox* box, QMessageBox::StandardButton button) {
  QTest::mouseClick(box->button(button), Qt::LeftButton);
}

void ChooseFile(QFileDialog* dialog, const fs::path& file) {
  auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(edit, nullptr);
  edit->setText(QString::fromStdString(file.string()));
  QTest::keyClick(edit, Qt::Key_Return);
}

class MeasureDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    const fs::path stream = m_Folder / "lattice.strm";
    WriteTestStream(stream, MakeLatticeStream(0, 4, 0));
    ASSERT_NE(AddSpCloud(stream.c_str(), &m_WindowId, 1), nullptr);
    m_Window = GetRenderWindow(&m_WindowId);
    m_Page.SetView(&m_WindowId, [this](WinPoint pixel, double point[3]) {
      if (pixel.x < 0) return 0;
      for (int axis = 0; axis < 3; ++axis) point[axis] = m_Picked[axis];
      return 1;
    });
    // As wide as the page is in the image column, less its scroll bar.
    m_Page.resize(205, 520);
    m_Page.show();
  }
  void TearDown() override { DestroyRenderWindow(&m_WindowId); }

  void ShiftClick(const Point3& at) {
    m_Picked = at;
    EXPECT_EQ(m_Page.OnViewClick({10, 10}, true, false), 1);
  }
  void Click(const char* button) {
    QTest::mouseClick(m_Page.findChild<QPushButton*>(button), Qt::LeftButton);
  }
  void SelectOnly(int row) {
    QTreeWidget* rows = m_Page.GetRows();
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                      rows->visualItemRect(rows->topLevelItem(row)).center());
  }
  QString Field(const char* name) { return m_Page.findChild<QLineEdit*>(name)->text(); }
  bool InRenderer(vtkCaptionActor2D* caption) {
    return m_Window->m_Renderer->GetActors2D()->IsItemPresent(caption) != 0;
  }
  // Imports `file`, playing the user's part in the questions with `answers`; the texts of
  // the message boxes shown are collected.
  QStringList Import(const fs::path& file, std::vector<QMessageBox::StandardButton> answers) {
    QStringList texts;
    ModalScript script;
    script.Then<QFileDialog>([&](QFileDialog* dialog) { ChooseFile(dialog, file); });
    for (QMessageBox::StandardButton answer : answers)
      script.Then<QMessageBox>([&texts, answer](QMessageBox* box) {
        texts << box->text();
        Answer(box, answer);
      });
    Click("importPoints");
    script.Finish();
    return texts;
  }

  ScratchFolder m_Folder;
  const int m_WindowId = 0;
  RenderWindow* m_Window = nullptr;
  Point3 m_Picked;
  CMeasureDlg m_Page;
};

}  // namespace

TEST_F(MeasureDlgTest, ShiftClickAddsALabelledRowAndTheSelectionMeasures) {
  EXPECT_EQ(m_Page.windowTitle(),
            "Measure - Shift + Click to add a measure point - www.talvern.com");
  m_Picked = kInside[0];
  EXPECT_EQ(m_Page.OnViewClick({10, 10}, true, true), 0);    // SHIFT+CTRL moves the camera
  EXPECT_EQ(m_Page.OnViewClick({10, 10}, false, false), 0);  // a plain click rotates
  EXPECT_EQ(m_Page.OnViewClick({-1, 10}, true, false), 0);   // nothing of the model there
  EXPECT_EQ(m_Page.GetRows()->topLevelItemCount(), 0);

  ShiftClick(kInside[0]);
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 1);
  EXPECT_EQ(RowTexts(m_Page.GetRows(), 0), (QStringList{"1", "1000.123", "2000.500", "300.250"}));
  vtkCaptionActor2D* first = m_Page.GetCaption(0);
  EXPECT_STREQ(first->GetCaption(), "p_1");
  EXPECT_TRUE(InRenderer(first));
  const double* attached = first->GetAttachmentPointCoordinate()->GetValue();
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(attached[axis] + m_Window->m_Center[axis], Point3(1000.123, 2000.5, 300.25)[axis],
                1e-9);
  EXPECT_EQ(Field("length"), "");

  // New points join the selection: the path through them is measured as they come.
  ShiftClick(kInside[1]);
  ShiftClick(kInside[2]);
  EXPECT_EQ(m_Page.GetRows()->selectedItems().size(), 3);
  EXPECT_EQ(Field("length"), "10.3670");
  EXPECT_EQ(Field("horizontalArea"), "5.754");
  QTest::mouseClick(m_Page.findChild<QRadioButton*>("horizontalMode"), Qt::LeftButton);
  EXPECT_EQ(m_Page.GetDistanceMode(), MEASURE_HORIZONTAL);
  EXPECT_EQ(Field("length"), "8.5307");
  EXPECT_EQ(Field("closedLength"), "11.4508");

  SelectOnly(1);
  double colour[3];
  m_Page.GetCaption(1)->GetCaptionTextProperty()->GetColor(colour);
  EXPECT_EQ(Point3(colour), Point3(0, 1, 0));
  m_Page.GetCaption(0)->GetProperty()->GetColor(colour);
  EXPECT_EQ(Point3(colour), Point3(1, 0.5, 1));
  EXPECT_EQ(Field("length"), "");
  EXPECT_EQ(Field("planeArea"), "0.000");
  m_Page.grab().save(Output("measure-page-points.png"));
}

TEST_F(MeasureDlgTest, RemovingAsksFirstAndTakesTheCaptionsAlong) {
  {
    ModalScript script;
    script.Then<QMessageBox>([](QMessageBox* box) {
      EXPECT_EQ(box->text(), "Select the points to remove!");
      Answer(box, QMessageBox::Ok);
    });
    Click("removePoints");
    script.Finish();
  }
  for (int i = 0; i < 5; ++i) ShiftClick(kInside[i % 3]);
  m_Page.GetRows()->clearSelection();
  for (int row : {2, 3}) m_Page.GetRows()->topLevelItem(row)->setSelected(true);
  vtkCaptionActor2D* removed = m_Page.GetCaption(2);
  for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
    ModalScript script;
    script.Then<QMessageBox>([answer](QMessageBox* box) {
      EXPECT_EQ(box->text(), "Erase selected points?");
      Answer(box, answer);
    });
    Click("removePoints");
    script.Finish();
    EXPECT_EQ(m_Page.GetRows()->topLevelItemCount(), answer == QMessageBox::No ? 5 : 3);
  }
  EXPECT_FALSE(InRenderer(removed));
  EXPECT_EQ(m_Page.GetRows()->topLevelItem(2)->text(0), "5");
  ShiftClick(kInside[0]);
  EXPECT_EQ(m_Page.GetRows()->topLevelItem(3)->text(0), "6");
  EXPECT_STREQ(m_Page.GetCaption(3)->GetCaption(), "p_6");
}

TEST_F(MeasureDlgTest, ExportedPointsImportIntoAnEmptyListAndReplaceInTheSameList) {
  for (const Point3& p : kInside) ShiftClick(p);
  const fs::path file = m_Folder / "points";
  {
    ModalScript script;
    script.Then<QFileDialog>([&](QFileDialog* dialog) { ChooseFile(dialog, file); })
        .Then<QMessageBox>([](QMessageBox* box) {
          EXPECT_EQ(box->text(), "Process completed");
          EXPECT_EQ(box->icon(), QMessageBox::Information);
          Answer(box, QMessageBox::Ok);
        });
    Click("exportPoints");
    script.Finish();
  }
  EXPECT_EQ(ReadAll(m_Folder / "points.txt"),
            "1;1000.123;2000.500;300.250\n2;1003.000;2004.000;300.250\n"
            "3;1003.000;2000.000;296.000\n");
  EXPECT_FALSE(m_Page.findChild<QPushButton*>("exportPoints")->isEnabled());
  std::vector<QStringList> exported;
  for (int row = 0; row < 3; ++row) exported.push_back(RowTexts(m_Page.GetRows(), row));

  m_Page.GetRows()->selectAll();
  {
    ModalScript script;
    script.Then<QMessageBox>([](QMessageBox* box) { Answer(box, QMessageBox::Yes); });
    Click("removePoints");
    script.Finish();
  }
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 0);
  EXPECT_TRUE(Import(m_Folder / "points.txt", {}).isEmpty());
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 3);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(RowTexts(m_Page.GetRows(), row), exported[row]);

  // Into the same list: replacing keeps one row per id, the file's rows last.
  const QStringList replaced = Import(m_Folder / "points.txt", {QMessageBox::Yes});
  EXPECT_EQ(replaced,
            QStringList{"Id Points are already present on the list, do you want replace them?"});
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 3);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(RowTexts(m_Page.GetRows(), row), exported[row]);
  EXPECT_EQ(m_Window->m_Renderer->GetActors2D()->GetNumberOfItems(), 3);

  // Not replacing adds the file's points with new ids.
  Import(m_Folder / "points.txt", {QMessageBox::No});
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 6);
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(m_Page.GetRows()->topLevelItem(row)->text(0), QString::number(row + 1));
    EXPECT_EQ(RowTexts(m_Page.GetRows(), row).mid(1), exported[row % 3].mid(1));
  }
}

TEST_F(MeasureDlgTest, ImportReportsSkippedLinesAndAsksForPointsOutsideTheModel) {
  const fs::path file = m_Folder / "survey.csv";
  std::ofstream(file) << "4;1000;2000;300\nid;x;y;z\n5;1000;2000;900";
  EXPECT_EQ(Import(file, {QMessageBox::No}),
            QStringList{"Point is out model, do you want continue?"});
  EXPECT_EQ(m_Page.GetRows()->topLevelItemCount(), 0);

  const QStringList texts = Import(file, {QMessageBox::Yes, QMessageBox::Ok});
  ASSERT_EQ(texts.size(), 2);
  EXPECT_EQ(texts[1], QString("1 line(s) of %1 hold no point (\"id;x;y;z\") and were skipped.")
                          .arg(QString::fromStdString(file.string())));
  ASSERT_EQ(m_Page.GetRows()->topLevelItemCount(), 2);
  EXPECT_EQ(RowTexts(m_Page.GetRows(), 1), (QStringList{"5", "1000.000", "2000.000", "900.000"}));

  // A file beyond what an import keeps gives its first points and says so.
  const fs::path many = m_Folder / "many.txt";
  {
    std::ofstream out(many);
    for (int i = 1; i <= kMaxImportedMeasures + 1; ++i) out << i + 10 << ";1000;2000;300\n";
  }
  EXPECT_EQ(Import(many, {QMessageBox::Ok}),
            QStringList{QString("%1 holds more than %2 points: only the first %2 were imported.")
                            .arg(QString::fromStdString(many.string()))
                            .arg(kMaxImportedMeasures)});
  EXPECT_EQ(m_Page.GetRows()->topLevelItemCount(), 2 + kMaxImportedMeasures);

  CMeasureDlg withoutProject;
  ModalScript script;
  script.Then<QMessageBox>([](QMessageBox* box) {
    EXPECT_EQ(box->text(), "There isn't any open document!");
    Answer(box, QMessageBox::Ok);
  });
  withoutProject.ImportPoints();
  script.Finish();
}
