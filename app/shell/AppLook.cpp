#include "app/shell/AppLook.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include "app/shell/Settings.h"

namespace {

const char* const kLookKey = "ApplicationLook";

// A palette from a window colour, a base (editing) colour, a text colour and the highlight.
QPalette MakePalette(QColor window, QColor base, QColor text, QColor highlight) {
  QPalette palette;
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Highlight, highlight);
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::Text, text.darker(160));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, text.darker(160));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, text.darker(160));
  return palette;
}

QPalette PaletteOfLook(int id) {
  switch (id) {
    case 211:  // Office XP
      return MakePalette(QColor(246, 244, 240), Qt::white, Qt::black, QColor(49, 106, 197));
    case 213:  // Office 2003
      return MakePalette(QColor(215, 228, 248), Qt::white, Qt::black, QColor(255, 190, 110));
    case 214:  // Visual Studio 2005
      return MakePalette(QColor(238, 237, 229), Qt::white, Qt::black, QColor(49, 106, 197));
    case 215:  // Office 2007 blue
      return MakePalette(QColor(191, 219, 255), Qt::white, QColor(21, 66, 139),
                         QColor(255, 200, 80));
    case 216:  // Office 2007 black
      return MakePalette(QColor(53, 53, 53), QColor(35, 35, 35), QColor(230, 230, 230),
                         QColor(88, 177, 0));
    case 217:  // Office 2007 silver
      return MakePalette(QColor(208, 212, 221), Qt::white, Qt::black, QColor(120, 140, 170));
    case 218:  // Office 2007 aqua
      return MakePalette(QColor(196, 212, 223), Qt::white, Qt::black, QColor(82, 140, 180));
    default:
      return QApplication::style()->standardPalette();
  }
}

}  // namespace

const std::vector<AppLook>& GetAppLooks() {
  static const std::vector<AppLook> looks = {{210, "Windows &2000"},
                                             {211, "Office &XP"},
                                             {212, "&Windows XP"},
                                             {213, "Office 200&3"},
                                             {214, "Visual Studio.NET 200&5"},
                                             {215, "&Blue Style"},
                                             {216, "B&lack Style"},
                                             {217, "&Silver Style"},
                                             {218, "&Aqua Style"}};
  return looks;
}

int ApplyAppLook(QApplication& application, int id) {
  bool known = false;
  for (const AppLook& look : GetAppLooks()) known = known || look.id == id;
  if (!known) id = kDefaultAppLook;
  // The oldest look keeps the classic flat style; every other one the modern style.
  application.setStyle(QStyleFactory::create(id == kFirstAppLook ? "Windows" : "Fusion"));
  application.setPalette(PaletteOfLook(id));
  return id;
}

int LoadStoredAppLook() {
  return OpenUserSettings()->value(kLookKey, kDefaultAppLook).toInt();
}

void StoreAppLook(int id) {
  OpenUserSettings()->setValue(kLookKey, id);
}
