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

// The user settings; kept under $ORVALIS_HOME when it is set, so tests never touch the
// user's own.
std::unique_ptr<QSettings> OpenUserSettings();
