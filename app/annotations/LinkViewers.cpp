#include "app/annotations/LinkViewers.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <filesystem>

#include "app/annotations/AudioRecordDlg.h"
#include "app/annotations/DisplayCloudLinkDlg.h"
#include "app/annotations/MediaPlayerDlg.h"
#include "app/annotations/ShowLinkDlg.h"
#include "app/widgets/ReportDlg.h"

namespace fs = std::filesystem;

namespace {

const QString kTitle = "Orvalis";

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

void ShowModelProblems(QWidget* parent, const std::string& label,
                       const std::vector<std::pair<std::string, std::string>>& problems) {
  CReportDlg report(ToQt(label) + ": models that cannot be shown", {"Model", "Problem"}, parent);
  for (const auto& problem : problems) report.AddRow({ToQt(problem.first), ToQt(problem.second)});
  report.exec();
}

}  // namespace

int ShowLinkViewer(QWidget* parent, int type, const std::string& label, const std::string& path) {
  CShowLinkDlg viewer(parent, type, label, path);
  const int opened = viewer.OpenLink();
  if (opened != 1) return opened;
  return viewer.exec();
}

int OpenDocument(const std::string& path) {
  QWidget* parent = QApplication::activeWindow();
  if (!fs::is_regular_file(path)) {
    QMessageBox::information(parent, kTitle, "Unable to find selected file " + ToQt(path));
    return 0;
  }
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(ToQt(path)))) return 1;
  QMessageBox::information(parent, kTitle,
                           "No program of the desktop could open " + ToQt(path) +
                               ": install a viewer for such files, or open it from its folder.");
  return 0;
}

int PlayMedia(QWidget* parent, const std::string& label, const std::string& path) {
  if (!fs::is_regular_file(path)) {
    QMessageBox::information(parent, kTitle, "Unable to find selected file " + ToQt(path));
    return 0;
  }
  CMediaPlayerDlg player(parent, ToQt(label));
  player.Play(ToQt(path));
  if (!player.GetProblem().isEmpty()) return 0;
  player.exec();
  return player.GetProblem().isEmpty() ? 1 : 0;
}

int ShowModels(QWidget* parent, const std::string& label, const std::string& paths) {
  const std::vector<std::string> models = SplitModelPaths(paths);
  if (models.size() > CDisplayCloudLinkDlg::kMaxModels) {
    QMessageBox::warning(parent, kTitle, "Too much models to display!");
    return 0;
  }
  CDisplayCloudLinkDlg viewer(parent);
  const int loaded = viewer.LoadModels(models);
  if (!viewer.GetProblems().empty()) ShowModelProblems(parent, label, viewer.GetProblems());
  if (loaded == 0) {
    QMessageBox::information(parent, kTitle, "No valid model to display!");
    return 0;
  }
  viewer.exec();
  return 1;
}

std::string RecordAudioLink(QWidget* parent, const std::string& projectFolder,
                            const std::string& projectSettingsFile) {
  CAudioRecordDlg recorder(parent, projectFolder, projectSettingsFile);
  recorder.exec();
  return recorder.GetRecordedPath();
}

int StartVantel(QWidget* parent, const std::string& modelPath) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("Vantel");
  if (!QFileInfo(program).isExecutable()) {
    QMessageBox::warning(
        parent, kTitle,
        QString("Unable to find '%1'\nPlease contact Talvern Software").arg(program));
    return 0;
  }
  const QString model = ToQt(modelPath);
  return QProcess::startDetached(program, {model}, QFileInfo(model).absolutePath()) ? 1 : 0;
}
