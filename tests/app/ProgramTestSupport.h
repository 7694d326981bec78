// Starting the program and opening a project in it, as the tests of its windows do.
#pragma once

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>
#include <string>

#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"

// Starts the program as the tests do (not interactive, with the seed database of the build),
// its main window shown at 1280 x 900.
inline std::unique_ptr<COrvalisApp> StartShownProgram() {
  auto app = std::make_unique<COrvalisApp>(ORVALIS_SEED_FOLDER, false);
  EXPECT_TRUE(app->InitInstance({}));
  app->GetMainFrame()->resize(1280, 900);
  app->GetMainFrame()->show();
  return app;
}

// Opens the stream as a project and waits until its view has painted with detail.
inline COrvalisFrame* OpenAndPaint(CMainFrame& frame, const std::string& stream, int timeoutMs) {
  QSignalSpy painted(&frame, &CMainFrame::projectRegenerated);
  COrvalisFrame* project = frame.OpenProject(QString::fromStdString(stream));
  if (project && painted.isEmpty()) painted.wait(timeoutMs);
  return project;
}
