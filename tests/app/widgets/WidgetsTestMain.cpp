// The widget tests share one application with fixed colours and an unsmoothed font, so that
// painted pixels are either exactly a palette colour or not part of the text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QPalette>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The build lists the tests without a display; listing needs no application.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  QApplication application(argc, argv);
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Highlight, Qt::blue);
  palette.setColor(QPalette::HighlightedText, Qt::yellow);
  QApplication::setPalette(palette);
  QFont font("DejaVu Sans", 9);
  font.setStyleStrategy(QFont::NoAntialias);
  QApplication::setFont(font);
  return RUN_ALL_TESTS();
}
