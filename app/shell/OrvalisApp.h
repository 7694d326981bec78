// The program object: settings, the library's tables, the splash screen, the main window and
// the project database, made in the start-up order. The database is opened once the main
// window is up, so that what it has to say (a first start, a damaged file) is said in that
// window rather than on an empty screen.
#pragma once

#include <QPointer>
#include <QStringList>
#include <memory>
#include <string>

class QSplashScreen;
class CDataBaseSql;
class CMainFrame;
enum class DBMessageKind;

class COrvalisApp {
 public:
  // The seed database and the pictures installed with the program are looked for in
  // `seedFolder` (the program's own folder by default).
  // A program that is not interactive (saving a screenshot, tests) writes its messages on
  // standard error instead of waiting for a user to close message boxes, and leaves a
  // damaged database as it is.
  explicit COrvalisApp(const std::string& seedFolder = {}, bool interactive = true);
  ~COrvalisApp();

  // Starts the program and opens every stream given. A stream that cannot be opened is
  // reported and the program goes on; false only when the main window could not be shown.
  bool InitInstance(const QStringList& streams);
  CMainFrame* GetMainFrame() const { return m_MainFrame.get(); }
  CDataBaseSql* GetDataBase() const { return m_DataBase.get(); }
  // True when the database lists projects at start-up and no stream given opened, so the
  // project browser is wanted; an interactive program shows it once it waits for the user.
  bool IsProjectBrowserWanted() const { return m_ProjectBrowserWanted; }

 private:
  void ShowSplashScreen();
  void InstallMessageBoxes();
  void OpenDataBase();
  void ReportDataBaseMessage(const std::string& text, DBMessageKind kind);
  int CountProjects();

  std::string m_SeedFolder;
  std::unique_ptr<CDataBaseSql> m_DataBase;
  std::unique_ptr<CMainFrame> m_MainFrame;
  bool m_ProjectBrowserWanted = false;
  bool m_Interactive;
  // Closes itself after a moment; a program that ends sooner deletes it.
  QPointer<QSplashScreen> m_Splash;
};
