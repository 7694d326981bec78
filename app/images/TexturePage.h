// The texture page of the image panel: the textured models that come with photographs
// ("<image>.vtp" with "<image>.tex" naming its picture, in the data folder) shown in the 3D
// view while "Enable Textures" is ticked. At most "Max Texture Count" of them are shown, the
// nearest to the current Point of View first; each is drawn with its picture at the image
// opacity and the outline of its polygons (their boundary edges) at the polygon opacity. The
// settings are kept in the project's settings file, section "Texture".
#pragma once

#include <vtkSmartPointer.h>

#include <QWidget>
#include <set>
#include <string>
#include <vector>

#include "PanelPage.h"

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class vtkActor;
struct RenderWindow;

struct STexturedModel {
  std::string name;  // the photograph's base name
  vtkSmartPointer<vtkActor> picture;
  vtkSmartPointer<vtkActor> outline;
  double centre[3];  // of its bounds, window coordinates
};

// Reads the textured model `name` of the data folder `dataFolder` in the coordinates of a
// window centred on `windowCentre`. Its picture is the file the ".tex" names (only a file name:
// a path that leads out of the data folder is not followed), else the photograph `photograph`.
// False, with the reason, when the model or its picture cannot be read.
bool ReadTexturedModel(const std::string& dataFolder, const std::string& name,
                       const std::string& photograph, const double windowCentre[3],
                       STexturedModel& model, std::string& why);

class CTexturePage : public QWidget, public CPanelPage {
  Q_OBJECT
 public:
  explicit CTexturePage(QWidget* parent = nullptr);
  ~CTexturePage() override;

  // The project's photographs and their textured models (base names), and the window to show
  // them in; the page's settings are read from the project's settings file.
  void SetProject(const std::string& projectPath, const std::vector<std::string>& images,
                  const std::set<std::string>& texturedModels, RenderWindow* window);
  // The camera centre of the current Point of View, window coordinates.
  void SetCurrentCentre(const double centre[3]);
  // Takes the models out of the window (before it goes away).
  void ReleaseModels();
  int SavePageData() override;

  // The models shown, nearest first.
  std::vector<std::string> GetShownModels() const;
  QCheckBox* GetEnableBox() const { return m_Enable; }
  QSlider* GetImageOpacitySlider() const { return m_ImageOpacity; }
  QSpinBox* GetMaxCountBox() const { return m_MaxCount; }
  QSlider* GetPolysOpacitySlider() const { return m_PolysOpacity; }

 signals:
  void viewChanged();
  void statusMessage(const QString& text);

 private:
  void LoadModels();
  void ShowModels();
  void ReadSettings();

  QCheckBox* m_Enable;
  QSlider* m_ImageOpacity;
  QSpinBox* m_MaxCount;
  QSlider* m_PolysOpacity;
  QLabel* m_Status;

  std::string m_ProjectPath;
  std::vector<std::string> m_Images;
  std::set<std::string> m_Names;
  RenderWindow* m_Window = nullptr;
  bool m_Loaded = false;
  std::vector<STexturedModel> m_Models;
  std::vector<const STexturedModel*> m_Shown;
  double m_Current[3] = {0, 0, 0};
  bool m_HasCurrent = false;
};
