// The link page of the image panel ("Link Management"): the links of the open project, shown
// in the 3D view as spheres in their type's colour with their label as a balloon tip. CTRL+
// click on the model adds a link in add mode, CTRL+click on a sphere deletes it in delete
// mode, a double click on a sphere opens it. The links file is rewritten after every
// addition and deletion.
#pragma once

#include <vtkSmartPointer.h>

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "LinksFile.h"
#include "app/images/PanelPage.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;
class QSlider;
class QToolButton;
class QVBoxLayout;
class vtkActor;
struct RenderWindow;

class CLinkDlg : public QWidget, public CPanelPage {
  Q_OBJECT
 public:
  using SettingsOpener = std::function<std::unique_ptr<QSettings>()>;
  // `openSettings` opens the user settings that keep the link size.
  explicit CLinkDlg(SettingsOpener openSettings, QWidget* parent = nullptr);
  ~CLinkDlg() override;

  // Without `interactive`, messages go to standard error instead of message boxes (the
  // question before a deletion is always asked).
  void SetInteractive(bool interactive) { m_Interactive = interactive; }

  // The absolute model point drawn at a window pixel; 0 when there is none.
  using ModelPicker = std::function<int(WinPoint pixel, double point[3])>;
  // Shows the links of the project of `streamPath` in the render window: reads its links
  // file and makes the markers, sized after `modelSize` (the image panel's model size). New
  // links are placed where `picker` finds the model.
  void ShowProject(const std::string& streamPath, RenderWindow* window, double modelSize,
                   ModelPicker picker);
  // Drops the markers from the render window (before the window goes away).
  void ReleaseMarkers();

  // Reads the links file (the links held are released first); 0 when it cannot be read,
  // which the user is told.
  int LoadLinks(const std::string& path);
  // Writes every link to the file; 0 when it cannot be written. An unreadable file there is
  // kept aside first, and the user is told its new name.
  int SaveLinks(const std::string& path);
  // Makes every marker again at the size of the slider, and keeps that size.
  void RebuildMarkers();
  // Adds a link at an absolute model point from the page's entry; 1 when added.
  int AddLink(const Wml::Point3<double>& point);
  // Asks, then deletes the link of the marker; 1 when deleted.
  int DeleteLink(vtkActor* actor);
  // Opens what the link of the marker points to; 1 when it was handed to its viewer.
  int OpenLink(vtkActor* actor);
  // The drawing pane could not show the file of an orthophoto, CAD or DEM link: tells the
  // user, with the reason.
  void ReportDrawingLinkFailure(int type, const std::string& why);
  // The link whose marker is drawn at the window pixel, or null.
  CLink* LinkAt(WinPoint pixel) const;

  int OnViewClick(WinPoint pixel, bool shift, bool control) override;
  int OnViewDoubleClick(WinPoint pixel) override;
  int SavePageData() override;

  const LinkList& GetLinks() const { return m_Links; }
  const std::string& GetLinksFile() const { return m_LinksFile; }
  // The radius the slider gives the markers.
  double MarkerRadius() const;
  int GetType() const;
  void SetType(int type);
  bool IsAddMode() const;
  bool IsDeleteMode() const;
  QLineEdit* GetPathEdit() const { return m_Path; }
  QLineEdit* GetLabelEdit() const { return m_Label; }
  QRadioButton* GetTypeButton(int type) const;
  QPushButton* GetAddButton() const { return m_Add; }
  QCheckBox* GetEmbedBox() const { return m_Embed; }
  QCheckBox* GetDeleteBox() const { return m_Delete; }
  QCheckBox* GetShowBox() const { return m_Show; }
  QSlider* GetSizeSlider() const { return m_Size; }
  QLabel* GetStatusLine() const { return m_Status; }

 signals:
  // The markers changed: the 3D view renders again.
  void viewChanged();
  // An orthophoto, CAD or DEM link asks to be shown in the drawing pane.
  void drawingLinkOpened(int type, const QString& path);
  void statusMessage(const QString& text);

 private:
  void BuildTypeButtons(QVBoxLayout* column);
  void OnTypeChosen(int type);
  void OnBrowse();
  void OnAddToggled(bool on);
  void OnDeleteToggled(bool on);
  void OnShowToggled(bool on);
  void UpdateStatusLine();
  void UpdateEntryControls();
  void RemoveMarker(CLink& link);
  vtkSmartPointer<vtkActor> MakeMarker(const CLink& link) const;
  CLink* LinkOf(vtkActor* actor) const;
  std::string ProjectFolder() const;
  void OpenResolved(const CLink& link);
  int ReadLinkSize() const;
  void StoreLinkSize(int position) const;
  void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

  SettingsOpener m_OpenSettings;
  bool m_Interactive = true;
  std::string m_StreamPath;
  std::string m_LinksFile;
  RenderWindow* m_Window = nullptr;
  ModelPicker m_Picker;
  double m_ModelSize = 1;
  LinkList m_Links;

  QButtonGroup* m_Types;
  QLineEdit* m_Path;
  QToolButton* m_Browse;
  QLineEdit* m_Label;
  QCheckBox* m_Embed;
  QPushButton* m_Add;
  QCheckBox* m_Delete;
  QCheckBox* m_Show;
  QSlider* m_Size;
  QLabel* m_Status;
};
