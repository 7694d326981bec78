// Where the program keeps its settings: the settings file "orvalis.ini" in the application
// data folder (the last browsed folder, and the class and pulse colours the library loads
// through it) and the user settings (application look, recent projects).
#pragma once

#include <QSettings>
#include <memory>
#include <string>

// "<application data folder>/orvalis.ini".
std::string GetSettingsFilePath();
// Hands the library a reader of the settings file for its class and pulse tables.
void InitStrmDllFromSettings();

// The folder of the last stream chosen in an open dialog; empty before the first.
std::string GetLastBrowsedFolder();
void SetLastBrowsedFolder(const std::string& streamPath);

// The build dialogs' remembered choices in the user settings: the folder each dialog starts
// in (section "BuildFromVTP" or "BuildFromTXT", key "CurrentFolder"; the current directory
// before the first build, nothing when the remembered folder is gone) and the ASCII
// dialog's parse string ("BuildFromTXT", "ParseString"; "xyzr-g-b" before the first).
std::string GetBuildFolder(const char* section);
void SetBuildFolder(const char* section, const std::string& folder);
std::string GetBuildParseString();
void SetBuildParseString(const std::string& parseString);

// The user settings; kept under $ORVALIS_HOME when it is set, so tests never touch the
// user's own.
std::unique_ptr<QSettings> OpenUserSettings();
