// The pages of the image panel and the panel itself need an application, made as the program
// makes it (the panel's tests drive the real windows and their 3D view); the rest of the
// module's tests run in it as well.
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
