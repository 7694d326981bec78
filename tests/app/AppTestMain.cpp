// The program's tests share one application, made as the program makes it (the image panel's
// tests drive the real windows and their 3D view).
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The build lists the tests without a display; listing needs no application.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
