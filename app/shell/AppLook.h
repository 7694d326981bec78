// The application looks of the "Visual Styles" menu, mapped onto Qt styles and palettes.
#pragma once

#include <QString>
#include <vector>

class QApplication;

struct AppLook {
  int id;         // the command id, kept in the user settings as "ApplicationLook"
  QString label;  // the menu text
};

constexpr int kFirstAppLook = 210;
constexpr int kDefaultAppLook = 216;

const std::vector<AppLook>& GetAppLooks();
// Applies the look `id` to the whole program; an unknown id applies the default look.
// Returns the id applied.
int ApplyAppLook(QApplication& application, int id);
int LoadStoredAppLook();
void StoreAppLook(int id);
