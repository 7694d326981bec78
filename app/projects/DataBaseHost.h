// The program's side of the project database: where its folders are and how its messages
// reach the user.
#pragma once

#include <string>

#include "DataBaseSql.h"

// The application data folder: $ORVALIS_HOME when set, else Qt's application data location.
std::string OrvalisDataFolder();

// The folder of the running executable, where the seed database is installed.
std::string ExecutableFolder();

// Shows the message in a message box titled "Orvalis" (information, warning or critical
// icon by kind); on standard error while no QApplication exists.
void ShowDataBaseMessage(const std::string& text, DBMessageKind kind);
