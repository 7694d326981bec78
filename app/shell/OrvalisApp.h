// The program object: settings, the project database, the library's tables, the splash
// screen and the main window, made in the start-up order.
#pragma once

#include <QString>
#include <memory>
#include <string>

class CDataBaseSql;
class CMainFrame;

class COrvalisApp {
 public:
  // The seed database is looked for in `seedFolder` (the program's own folder by default).
  // A program that is not interactive (saving a screenshot, tests) writes its messages on
  // standard error instead of waiting for a user to close message boxes.
  explicit COrvalisApp(const std::string& seedFolder = {}, bool interactive = true);
  ~COrvalisApp();

  // Starts the program; opens `stream` when it is not empty. False when the main window
  // cannot be made or the stream given cannot be opened.
  bool InitInstance(const QString& stream);
  CMainFrame* GetMainFrame() const { return m_MainFrame.get(); }
  CDataBaseSql* GetDataBase() const { return m_DataBase.get(); }
  // True when the database lists projects at start-up, so the project browser is wanted.
  bool IsProjectBrowserWanted() const { return m_ProjectBrowserWanted; }

 private:
  void ShowSplashScreen();
  void InstallMessageBoxes();
  int CountProjects();

  std::unique_ptr<CDataBaseSql> m_DataBase;
  std::unique_ptr<CMainFrame> m_MainFrame;
  bool m_ProjectBrowserWanted = false;
  bool m_Interactive;
};
