// The program's side of the project database: where its folders are and how its messages
// reach the user.
#pragma once

#include <string>

#include "DataBaseSql.h"

class QWidget;

// The application data folder: $ORVALIS_HOME when set, else Qt's application data location.
std::string OrvalisDataFolder();

// The folder of the running executable, where the seed database is installed.
std::string ExecutableFolder();

// Shows the message in a message box titled "Orvalis" (information, warning or critical
// icon by kind) over `parent`; on standard error while no QApplication exists.
void ShowDataBaseMessage(const std::string& text, DBMessageKind kind, QWidget* parent = nullptr);

// Asks the question in a message box with Yes and No over `parent`; no while no QApplication
// exists.
bool AskDataBaseQuestion(const std::string& question, QWidget* parent);
