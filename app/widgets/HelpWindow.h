// The program's own window for its help pages, for a desktop that has no browser to open
// them: the HTML page is shown in a text browser, the pages it links to as well, and links
// to other sites go to the desktop.
#pragma once

#include <QDialog>

class QTextBrowser;

class CHelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit CHelpWindow(QWidget* parent = nullptr);

  // Shows the page (a path to an HTML file) and brings the window forward.
  void ShowPage(const QString& path);
  QTextBrowser* GetBrowser() const { return m_Browser; }

 private:
  QTextBrowser* m_Browser;
};
