// The measure page of the image panel: the numbered list of the points measured on the model,
// each labelled "p_<id>" in the 3D view, with the lengths and areas of the selected points,
// the distance mode, and the export and import of the list. SHIFT+click on the model adds a
// point while the page is shown. The list lives as long as the project window; it is not
// kept with the project (export it to keep it).
#pragma once

#include <vtkCaptionActor2D.h>
#include <vtkSmartPointer.h>

#include <QWidget>
#include <functional>
#include <vector>

#include "Measures.h"
#include "app/images/PanelPage.h"
#include "nimbex/platform/WinTypes.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
struct RenderWindow;

class CMeasureDlg : public QWidget, public CPanelPage {
  Q_OBJECT
 public:
  explicit CMeasureDlg(QWidget* parent = nullptr);

  // The absolute model point under a window pixel of the 3D view; 1 when there is one.
  using ModelPicker = std::function<int(WinPoint pixel, double point[3])>;
  // The 3D view whose render window holds the project's streams and the captions, and how
  // its clicks find the model.
  void SetView(WindowId view, ModelPicker picker);

  // Appends a point (absolute coordinates) with the next id, labels it in the 3D view and
  // adds its row to the selection.
  void AddMeasurePoint(const Wml::Point3<double>& point);
  // The buttons.
  void RemoveSelectedPoints();
  void ExportPoints();
  void ImportPoints();

  // SHIFT+click without CTRL on the model adds a point there.
  int OnViewClick(WinPoint pixel, bool shift, bool control) override;

  const CMeasureList& GetList() const { return m_List; }
  QTreeWidget* GetRows() const { return m_Rows; }
  vtkCaptionActor2D* GetCaption(int row) const;
  int GetDistanceMode() const { return m_DistanceMode; }
  const SMeasureResults& GetResults() const { return m_Results; }

 signals:
  // The captions changed: the 3D view renders again.
  void viewChanged();

 private:
  QWidget* MakeResultsGroup();
  QWidget* MakeButtons();
  // Recolours the captions, takes the selected points and shows what they measure.
  void UpdateSelection();
  void ShowResults();
  void AddPoint(const Wml::Point3<double>& point, int id);
  void SelectRows(int first, int last);
  void RemoveRows(const std::vector<int>& rows);
  std::vector<int> SelectedRows() const;
  RenderWindow* Window() const;
  vtkSmartPointer<vtkCaptionActor2D> MakeCaption(const SMeasurePoint& measure) const;
  // The import: the file's points, the questions it asks, the points added.
  bool AcceptPointsOutsideModel(const std::vector<SMeasurePoint>& points);
  void AddImportedPoints(const std::vector<SMeasurePoint>& points);
  void ReportImport(const QString& path, const SMeasureImport& read, int added);
  bool Ask(const QString& question);
  void Warn(const QString& text);
  void Inform(const QString& text);

  WindowId m_View = nullptr;
  ModelPicker m_Picker;
  CMeasureList m_List;
  // One caption per row of the list, in the same order.
  std::vector<vtkSmartPointer<vtkCaptionActor2D>> m_Captions;
  std::vector<Wml::Point3<double>> m_SelectedPoints;
  int m_DistanceMode = MEASURE_3D;
  SMeasureResults m_Results;

  QTreeWidget* m_Rows;
  QRadioButton* m_Horizontal;
  QRadioButton* m_ThreeD;
  QLineEdit* m_Length;
  QLineEdit* m_ClosedLength;
  QLineEdit* m_PlaneArea;
  QLineEdit* m_ViewArea;
  QLineEdit* m_HorizontalArea;
  QRadioButton* m_ExportAll;
  QRadioButton* m_ExportSelected;
  QPushButton* m_Export;
};
