// The project browser: every known project as its overview picture with its name, in one
// row on black. A double click or Enter opens the project under the cursor, the arrow keys
// move along the row; "Info" tells the project's dates and counters, "Open more stream..."
// picks any other stream file and "Close" gives up.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "ProjectBrowser.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

class CProjectBrowserDlg : public QDialog {
  Q_OBJECT
 public:
  // PhotoNotAvailable.bmp, shown for a project without an overview picture, is read from
  // `pictureFolder`.
  explicit CProjectBrowserDlg(std::string pictureFolder, QWidget* parent = nullptr);

  // Shows the projects and waits for the user's choice. The file dialog of "Open more
  // stream..." starts in `browseFolder`.
  BrowserChoice Choose(const std::vector<CBrowserProject>& projects, const QString& browseFolder);

  QListWidget* GetList() const { return m_List; }
  QPushButton* GetInfoButton() const { return m_Info; }
  QPushButton* GetOpenMoreButton() const { return m_OpenMore; }
  QPushButton* GetCloseButton() const { return m_Close; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillList();
  void ChooseProject(QListWidgetItem* item);
  void OnOpenMoreStream();
  void OnInfo();

  std::string m_PictureFolder;
  QString m_BrowseFolder;
  std::vector<CBrowserProject> m_Projects;
  BrowserChoice m_Choice;
  QListWidget* m_List;
  QPushButton* m_Close;
  QPushButton* m_OpenMore;
  QPushButton* m_Info;
};
