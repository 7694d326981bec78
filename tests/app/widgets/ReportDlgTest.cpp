#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/widgets/ReportDlg.h"

TEST(ReportDlg, ShowsTheRowsUnderTheTitleAndClosesWithOk) {
  CReportDlg report("Warning: following images have not orientation",
                    {"Image", "int not found", "est not found"});
  report.AddRow({"/survey/camera/IMG_0001.jpg", "X", ""});
  report.AddRow({"/survey/camera/IMG_0002.jpg", "", "X"});
  report.AddRow({"/survey/camera/IMG_0003.jpg", "X", "X", "a cell beyond the columns"});
  EXPECT_EQ(report.windowTitle(), "Warning: following images have not orientation");
  EXPECT_EQ(report.GetColumns(), QStringList({"Image", "int not found", "est not found"}));
  ASSERT_EQ(report.GetRowCount(), 3);
  EXPECT_EQ(report.GetRow(1), QStringList({"/survey/camera/IMG_0002.jpg", "", "X"}));
  EXPECT_EQ(report.GetRow(2), QStringList({"/survey/camera/IMG_0003.jpg", "X", "X"}));
  EXPECT_TRUE(report.GetRow(3).isEmpty());

  report.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&report));
  report.grab().save(QString(WIDGETS_TEST_OUTPUT_DIR) + "/report-three-columns.png");
  // The image column gets the room the check columns leave.
  QTreeWidget* list = report.GetList();
  EXPECT_GT(list->columnWidth(0), list->columnWidth(1) + list->columnWidth(2));
  report.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  EXPECT_EQ(report.result(), QDialog::Accepted);
  EXPECT_FALSE(report.isVisible());
}

TEST(ReportDlg, ATwoColumnReportKeepsTwoColumns) {
  CReportDlg report("Some problems occurred:", {"Image", "Problem"});
  report.AddRow({"/survey/camera/raw.cr2", "Unable to handle raw image format"});
  report.AddRow({"/survey/camera/notes.txt"});
  EXPECT_EQ(report.GetList()->columnCount(), 2);
  EXPECT_EQ(report.GetRow(1), QStringList({"/survey/camera/notes.txt", ""}));
  report.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&report));
  report.grab().save(QString(WIDGETS_TEST_OUTPUT_DIR) + "/report-two-columns.png");
}
