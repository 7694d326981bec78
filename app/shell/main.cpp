// Orvalis: browsing and annotating survey sites. `orvalis [STREAM...]` opens each stream at
// start (one that cannot be opened is reported and the program stays open);
// `orvalis --screenshot FILE.png STREAM` opens it, waits for the first full paint, saves the
// main window's picture and quits; `--drawing PLAN.dxf` also opens a CAD drawing in the
// drawing pane of the last stream opened; `orvalis --import-images PROJECT.strm IMAGE...` imports
// photographs into a project without a window; `orvalis --import-orientations MODEL_FOLDER
// IMAGE_FOLDER` writes the photographs' orientation files from a structure-from-motion model,
// also without a window.
#include <QVTKOpenGLNativeWidget.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QSurfaceFormat>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/drawings/CadForm.h"
#include "app/images/OrientationImport.h"
#include "app/projects/ImportImagesCommand.h"
#include "app/shell/MainFrame.h"
#include "app/shell/OrvalisApp.h"
#include "app/shell/OrvalisFrame.h"
#include "app/shell/OrvalisView.h"

namespace {

constexpr int kScreenshotTimeoutMs = 120000;

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

void SaveScreenshot(CMainFrame* frame, const QString& path) {
  const bool saved = frame->grab().save(path);
  if (saved)
    std::printf("%s\n", path.toLocal8Bit().constData());
  else
    std::fprintf(stderr, "orvalis: cannot write the picture %s\n", path.toLocal8Bit().constData());
  const int status = saved ? 0 : 1;
  // A project seen for the first time gets its overview picture shortly after its first
  // paint; the program waits for it, so that the project browser shows it next time.
  COrvalisFrame* project = frame->GetActiveProject();
  if (project && project->GetView()->IsOverviewPending()) {
    QObject::connect(project->GetView(), &COrvalisView::overviewSaved, frame,
                     [status] { QCoreApplication::exit(status); });
    return;
  }
  QCoreApplication::exit(status);
}

// Saves the main window once its project has painted with fresh detail, then quits.
void ArrangeScreenshot(CMainFrame* frame, const QString& path) {
  COrvalisFrame* project = frame->GetActiveProject();
  if (project && project->GetView()->GetRegenerationCount() > 0) {
    QTimer::singleShot(0, frame, [frame, path] { SaveScreenshot(frame, path); });
    return;
  }
  QObject::connect(frame, &CMainFrame::projectRegenerated, frame, [frame, path] {
    QTimer::singleShot(0, frame, [frame, path] { SaveScreenshot(frame, path); });
  });
  QTimer::singleShot(kScreenshotTimeoutMs, frame, [] {
    std::fprintf(stderr, "orvalis: the view did not paint within two minutes\n");
    QCoreApplication::exit(1);
  });
}

// Opens the drawing in the drawing pane of the project the streams opened; false, with the
// reason on standard error, when it cannot.
bool OpenDrawing(CMainFrame* frame, const QString& path) {
  COrvalisFrame* project = frame->GetActiveProject();
  // The reason a stream did not open is already on standard error.
  if (!project) return false;
  if (project->LoadDrawing(path.toStdString())) return true;
  std::fprintf(stderr, "orvalis: the drawing %s was not opened: %s\n",
               path.toLocal8Bit().constData(), project->GetDrawingPanel()->GetLastError().c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--import-images") {
    if (argc < 4) {
      std::fprintf(stderr, "usage: orvalis --import-images PROJECT.strm IMAGE...\n");
      return 1;
    }
    return RunImportImages(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  if (argc >= 2 && std::string(argv[1]) == "--import-orientations")
    return RunOrientationImport(std::vector<std::string>(argv + 2, argv + argc));
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "orvalis: the program needs a display; without one, run it under xvfb-run, "
                 "for example: xvfb-run -a orvalis --screenshot view.png site.strm\n");
    return 1;
  }
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  QApplication application(argc, argv);
  QApplication::setOrganizationName("Orvalis");
  QApplication::setApplicationName("Orvalis");
  QApplication::setApplicationVersion(ORVALIS_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription("Orvalis: browse and annotate survey sites");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption screenshot("screenshot", "Open STREAM, save the window as FILE and quit.",
                                "FILE");
  parser.addOption(screenshot);
  QCommandLineOption drawing(
      "drawing", "Open the CAD drawing FILE (DXF or DWG) in the drawing pane of the last STREAM.",
      "FILE");
  parser.addOption(drawing);
  // Handled before the application starts, as they need no display; listed for --help.
  QCommandLineOption importImages(
      "import-images",
      "Import IMAGE... into the project PROJECT.strm without a window, print the problems met "
      "and exit (status 1 when a photograph was not imported).",
      "PROJECT.strm IMAGE...");
  parser.addOption(importImages);
  QCommandLineOption importOrientations(
      "import-orientations",
      "Write IMG.int and IMG.est beside the photographs of IMAGE_FOLDER from the "
      "structure-from-motion text model in MODEL_FOLDER without a window, print the files "
      "written and the problems met and exit (status 1 when a photograph was not oriented).",
      "MODEL_FOLDER IMAGE_FOLDER");
  parser.addOption(importOrientations);
  parser.addPositionalArgument("STREAM...", "streams (.strm) to open");
  parser.process(application);
  const QStringList streams = parser.positionalArguments();
  if (parser.isSet(screenshot) && streams.isEmpty()) {
    std::fprintf(stderr, "orvalis: --screenshot needs a stream to open\n");
    return 1;
  }

  if (parser.isSet(drawing) && streams.isEmpty()) {
    std::fprintf(stderr, "orvalis: --drawing needs a stream to open\n");
    return 1;
  }

  COrvalisApp app({}, !parser.isSet(screenshot));
  if (!app.InitInstance(streams)) return 1;
  // A drawing that cannot be opened is reported; a screenshot of the project without it
  // would pass for one with it.
  if (parser.isSet(drawing) && !OpenDrawing(app.GetMainFrame(), parser.value(drawing)) &&
      parser.isSet(screenshot))
    return 1;
  if (parser.isSet(screenshot)) {
    // The reason a stream did not open is already on standard error.
    if (app.GetMainFrame()->GetProjects().isEmpty()) return 1;
    ArrangeScreenshot(app.GetMainFrame(), parser.value(screenshot));
  }
  return application.exec();
}
