#include "app/shell/Settings.h"

#include <filesystem>

#include "app/projects/DataBaseHost.h"
#include "app/projects/ProjectBuild.h"
#include "app/projects/ProjectFiles.h"
#include "nimbex/format/PointClasses.h"
#include "nimbex/platform/Profile.h"

namespace {

const char* const kFoldersSection = "Folders";
const char* const kLastBrowsedKey = "LastBrowsed";
const char* const kCurrentFolderKey = "CurrentFolder";
const char* const kBuildFromTxtSection = "BuildFromTXT";
const char* const kParseStringKey = "ParseString";

QString SettingsKey(const char* section, const char* key) {
  return QString("%1/%2").arg(section, key);
}

unsigned long ReadSettingsFile(const char* section, const char* key, const char* def, char* out,
                               unsigned long size) {
  static const std::string path = GetSettingsFilePath();
  return GetPrivateProfileString(section, key, def, out, size, path.c_str());
}

}  // namespace

std::string GetSettingsFilePath() {
  return (std::filesystem::path(OrvalisDataFolder()) / "orvalis.ini").string();
}

void InitStrmDllFromSettings() {
  InitStrmDll(ReadSettingsFile);
  InitPulses(ReadSettingsFile);
}

std::string GetLastBrowsedFolder() {
  char folder[4096] = {};
  GetPrivateProfileString(kFoldersSection, kLastBrowsedKey, "", folder, sizeof folder,
                          GetSettingsFilePath().c_str());
  return folder;
}

void SetLastBrowsedFolder(const std::string& streamPath) {
  const std::string folder = std::filesystem::path(AbsolutePath(streamPath)).parent_path().string();
  std::filesystem::create_directories(std::filesystem::path(GetSettingsFilePath()).parent_path());
  WritePrivateProfileString(kFoldersSection, kLastBrowsedKey, folder.c_str(),
                            GetSettingsFilePath().c_str());
}

std::unique_ptr<QSettings> OpenUserSettings() {
  const char* home = std::getenv("ORVALIS_HOME");
  if (home && *home)
    return std::make_unique<QSettings>(QString::fromUtf8(home) + "/user-settings.ini",
                                       QSettings::IniFormat);
  return std::make_unique<QSettings>("Orvalis", "Orvalis");
}

std::string GetBuildFolder(const char* section) {
  const QVariant folder = OpenUserSettings()->value(SettingsKey(section, kCurrentFolderKey));
  if (!folder.isValid()) return std::filesystem::current_path().string();
  std::error_code error;
  const std::string path = folder.toString().toStdString();
  return std::filesystem::is_directory(path, error) ? path : std::string();
}

void SetBuildFolder(const char* section, const std::string& folder) {
  OpenUserSettings()->setValue(SettingsKey(section, kCurrentFolderKey),
                               QString::fromStdString(AbsolutePath(folder)));
}

std::string GetBuildParseString() {
  return OpenUserSettings()
      ->value(SettingsKey(kBuildFromTxtSection, kParseStringKey), kDefaultParseString)
      .toString()
      .toStdString();
}

void SetBuildParseString(const std::string& parseString) {
  OpenUserSettings()->setValue(SettingsKey(kBuildFromTxtSection, kParseStringKey),
                               QString::fromStdString(parseString));
}
