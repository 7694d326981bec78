// The image panel, column 0 of a project window: the project's photographs as thumbnails, the
// tool pages below them, and in the 3D view the Points of View (a marker per oriented
// photograph) with the current one shown as a pyramid and the sphere of the space filter.
#pragma once

#include <vtkLODActor.h>
#include <vtkSmartPointer.h>

#include <QMessageBox>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ImagePanelOps.h"
#include "nimbex/platform/WinTypes.h"

class QListWidget;
class QListWidgetItem;
class QTabWidget;
class vtkSphereSource;
class COrvalisDoc;
class CFiltersDlg;
class CNotesDlg;
class CTexturePage;
class CVtkPOV;
class TProgressTimeToComplete;
struct RenderWindow;

// The tool pages in their fixed order; the panel shows those that exist.
enum ImagePanelTab {
  TAB_NONE = -1,
  TAB_FILTERS = 0,
  TAB_TEXTURE = 1,
  TAB_NOTES = 2,
  TAB_MEASURE = 3,
  TAB_LINK = 4,
};

class CImageForm : public QWidget, public CImagePanelOps {
  Q_OBJECT
 public:
  explicit CImageForm(QWidget* parent = nullptr);
  ~CImageForm() override;

  // Without `interactive`, messages go to standard error instead of message boxes.
  void SetInteractive(bool interactive) { m_Interactive = interactive; }

  // What the panel shows its initialisation in: a dialog to show and hide, and its bar.
  struct SProgress {
    QWidget* dialog = nullptr;
    TProgressTimeToComplete* bar = nullptr;
  };
  // Takes the document's photographs and the 3D view's render window (whose streams are
  // open), makes the Points of View and their thumbnails, and makes the first photograph
  // that can be the current Point of View current. Called again after photographs were
  // added, it makes the new Points of View and keeps the current one. Returns the number of
  // Points of View.
  int InitialUpdate(COrvalisDoc* document, RenderWindow* window, const SProgress& progress);
  // Drops the markers from the render window (before the window goes away).
  void ReleasePointsOfView();

  // Makes `image` the current Point of View (kept as current even when this fails): places
  // the pyramid and the sphere on its camera and, with `fly`, takes the 3D view's camera
  // there; with `filter`, applies the filters again; with `warn`, a photograph without
  // orientation is reported. 1 on success.
  int SelectCurrent(const std::string& image, bool fly, bool filter, bool warn);
  const std::string& GetCurrentImage() const { return m_Current; }

  // The Point of View whose marker is drawn at the window pixel, or null.
  CVtkPOV* PovAt(WinPoint pixel) const;
  // A CTRL+click in the 3D view: makes the photograph of the marker there current. 1 when
  // there was a marker.
  int SelectMarkerAt(WinPoint pixel);
  // A double click in the 3D view: opens the photograph of the marker there. 1 when there
  // was a marker.
  int OpenPictureAt(WinPoint pixel);
  // Opens the photograph in the picture viewer.
  void OpenPicture(const std::string& image);

  // Adds a tool page under the tab number `tab`; `tip` goes to the help bar when the page is
  // shown. The panel owns the page.
  void AddPage(int tab, QWidget* page, const QString& title, const QString& tip);
  // A click and a double click in the 3D view, offered to the pages (PanelPage.h): the click
  // to the shown page, the double click to every page. 1 when a page used it.
  int PageTakesClick(WinPoint pixel, bool shift, bool control);
  int PageTakesDoubleClick(WinPoint pixel);
  // The page of a tab number, or null.
  QWidget* GetPage(int tab) const;
  // Shows a tool page (its tip goes to the help bar when it was hidden); 0 for a page the
  // panel does not have.
  int ShowTab(int tab);
  // The page shown, or TAB_NONE.
  int GetCurrentTab() const;
  // Every page saves its data; 1 when all did.
  int SaveState();

  const std::vector<std::string>& GetImages() const { return m_Images; }
  const std::vector<std::string>& GetAvailable() const { return m_Available; }
  CVtkPOV* GetPov(const std::string& image) const;
  int GetPovCount() const { return static_cast<int>(m_Povs.size()); }
  double GetModelSize() const { return m_ModelSize; }
  double GetMarkerScale() const { return m_MarkerScale; }
  vtkLODActor* GetPyramidActor() const { return m_Pyramid; }
  vtkLODActor* GetSphereActor() const { return m_Sphere; }
  QListWidget* GetThumbnailList() const { return m_Thumbnails; }
  QTabWidget* GetTabs() const { return m_Tabs; }
  CFiltersDlg* GetFiltersPage() const { return m_Filters; }
  CNotesDlg* GetNotesPage() const { return m_Notes; }
  CTexturePage* GetTexturePage() const { return m_TexturePage; }

  // What the pages ask of the panel.
  void ApplyFilters() override;
  void ShowCameraPositions(bool show) override;
  void ShowCurrentCameraView(bool show) override;
  void ShowSphere(bool show) override;
  void SetSphereRadius(double radius) override;
  void HighlightCurrentView(bool highlight) override;
  void SetMarkerScale(int position) override;
  void TabClosed() override;

 signals:
  void helpTip(const QString& text);
  // The markers changed: the 3D view paints again.
  void viewChanged();
  // The camera moved: the 3D view loads the detail of the new view.
  void viewMoved();
  void statusMessage(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int CreateCurrentViewMarker();
  void CreatePointsOfView();
  std::unique_ptr<CVtkPOV> MakePointOfView(const std::string& image);
  void FillThumbnails();
  void SelectThumbnail(const std::string& image);
  void PlaceCurrentViewMarker(const CVtkPOV& pov);
  void PlacePyramid(const CVtkPOV& pov);
  void FlyTo(const CVtkPOV& pov);
  void RenderFrame();
  void ApplyMarkerScales();
  void UpdateCurrentViewVisibility();
  void WarnOrientationMissing(const std::string& image);
  void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);
  int TabIndexOf(QWidget* page) const;
  void OnThumbnailClicked(QListWidgetItem* item);
  void OnThumbnailDoubleClicked(QListWidgetItem* item);

  bool m_Interactive = true;
  COrvalisDoc* m_Document = nullptr;
  RenderWindow* m_Window = nullptr;
  std::vector<std::string> m_Images;
  std::vector<std::string> m_Available;
  std::map<std::string, int> m_Dates;
  std::string m_Current;
  std::map<std::string, std::unique_ptr<CVtkPOV>> m_Povs;
  double m_CentreBox[6];
  double m_ModelSize = 1;
  double m_MarkerScale = 1;
  bool m_Highlight = false;
  bool m_HasCurrentView = false;
  bool m_Flying = false;
  vtkSmartPointer<vtkLODActor> m_Pyramid;
  vtkSmartPointer<vtkLODActor> m_Sphere;
  vtkSmartPointer<vtkSphereSource> m_SphereSource;

  QListWidget* m_Thumbnails;
  QTabWidget* m_Tabs;
  struct SPage {
    QWidget* page;
    QString tip;
  };
  std::map<int, SPage> m_Pages;
  CFiltersDlg* m_Filters;
  CNotesDlg* m_Notes;
  CTexturePage* m_TexturePage;
};
