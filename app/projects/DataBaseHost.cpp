#include "DataBaseHost.h"

#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <system_error>

std::string OrvalisDataFolder() {
  const char* home = std::getenv("ORVALIS_HOME");
  if (home && *home) return home;
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
}

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : executable.parent_path().string();
}

namespace {

bool HasWidgets() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

void ShowDataBaseMessage(const std::string& text, DBMessageKind kind, QWidget* parent) {
  if (!HasWidgets()) {
    ReportOnStandardError(text, kind);
    return;
  }
  const QString title = QStringLiteral("Orvalis");
  const QString message = QString::fromStdString(text);
  switch (kind) {
    case DBMessageKind::Information:
      QMessageBox::information(parent, title, message);
      break;
    case DBMessageKind::Warning:
      QMessageBox::warning(parent, title, message);
      break;
    case DBMessageKind::Error:
      QMessageBox::critical(parent, title, message);
      break;
  }
}

bool AskDataBaseQuestion(const std::string& question, QWidget* parent) {
  if (!HasWidgets()) return false;
  return QMessageBox::question(parent, QStringLiteral("Orvalis"), QString::fromStdString(question),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}
