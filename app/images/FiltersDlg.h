// The filter page of the image panel: the time, distance and direction filters of the
// photographs against the current Point of View, the camera markers of the 3D view, and the
// project's filter settings file.
#pragma once

#include <QWidget>
#include <string>

#include "PovFilter.h"

class CImagePanelOps;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

class CFiltersDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CFiltersDlg(CImagePanelOps& panel, QWidget* parent = nullptr);

  // The filters as the controls set them.
  SPovFilterSettings Settings() const;
  void SetStatusText(const QString& text);
  // The earliest and latest days of the project's photographs (yyyymmdd); also what "Reset
  // Filter" returns the date pickers to until a filter is loaded.
  void SetDateRange(int from, int to);
  // The project's filter settings file, read by "Load Filter" and written by "Save Filter".
  void SetFilterFile(const std::string& path);

  bool CameraPositionsShown() const;
  bool CurrentViewShown() const;
  bool SphereShown() const;
  // The radius box as typed and applied (the sphere's radius; the filter uses its integer part).
  double SphereRadius() const;
  int MarkerScalePosition() const;

  // The page keeps nothing beyond its controls: its settings are saved on request only.
  int SaveData();

  // The buttons' actions, also run by the buttons themselves.
  int LoadFilter();
  int SaveFilter();
  void ResetFilter();

 private:
  QWidget* MakeDisplayGroup();
  QWidget* MakeTimeGroup();
  QWidget* MakeSpaceGroup();
  QWidget* MakeAnglesGroup();
  QWidget* MakeFileButtons();

  void OnRadiusSliderMoved(int position);
  void ApplyRadius();
  void OnShowSphere(bool show);
  void OnSpaceFilter(bool on);
  void OnFromChanged();
  void OnToChanged();
  void OnAngleActive(int angle, bool active);
  void EnableAngleWindow(int angle, bool enable);
  void RefreshAngleTexts();
  void ShowFile(const SPovFilterFile& file);
  SPovFilterFile FileOfControls() const;

  CImagePanelOps& m_Panel;
  std::string m_FilterFile;
  QCheckBox* m_ShowCameras;
  QCheckBox* m_ShowCurrentView;
  QCheckBox* m_TimeFilter;
  QDateEdit* m_From;
  QDateEdit* m_To;
  QCheckBox* m_SpaceFilter;
  QSlider* m_RadiusSlider;
  QLineEdit* m_RadiusBox;
  QCheckBox* m_ShowSphere;
  QCheckBox* m_HighlightCurrent;
  QCheckBox* m_AngleActive[3];
  QSpinBox* m_AngleLow[3];
  QSpinBox* m_AngleUp[3];
  QLabel* m_AngleText[3];
  QSlider* m_MarkerScale;
  QLabel* m_Status;
  double m_SphereRadius = 1.0;
  // What "Reset Filter" returns to: the last filter loaded, or the page's first state.
  SPovFilterFile m_Loaded;
};
