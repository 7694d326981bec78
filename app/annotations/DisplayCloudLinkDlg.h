// The model viewer of model links: the link's streams, drawn through the library in the
// viewer's own render window, or its VTP models as polygonal data, with a box that shows
// them as points, as surfaces or, for a VTP model that comes with its picture, textured.
#pragma once

#include <vtkSmartPointer.h>

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

class CStaticVtk;
class QComboBox;
class TProgressTimeToCompleteCtrl;
class vtkActor;
class vtkTexture;

// The files of a model link's path: split at ";", blanks around each name dropped, empty
// names left out.
std::vector<std::string> SplitModelPaths(const std::string& paths);

// The picture a VTP model is textured with: the INI file beside it with the model's name and
// the extension "tex", section "Texture", key "File"; a relative name is taken in the model's
// folder. Empty when there is no such file or key.
std::string FindModelTexture(const std::string& modelPath);

class CDisplayCloudLinkDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxModels = 299;
  // The names of the representation box.
  static const char* const kPoints;
  static const char* const kSurface;
  static const char* const kTexture;

  explicit CDisplayCloudLinkDlg(QWidget* parent = nullptr);
  ~CDisplayCloudLinkDlg() override;

  // Loads the models (".strm" streams, ".vtp" models), frames them and titles the window with
  // their number of points. Returns how many were loaded; each model that was not, and why,
  // is kept in GetProblems().
  int LoadModels(const std::vector<std::string>& paths);
  const std::vector<std::pair<std::string, std::string>>& GetProblems() const { return m_Problems; }
  long long GetPointCount() const { return m_PointCount; }
  // Shows the models as "3D Points", "Surface" or "Texture" (the box's entries).
  void SetRepresentation(const QString& name);
  QComboBox* GetRepresentationBox() const { return m_Representation; }
  CStaticVtk* GetView() const { return m_View; }

 private:
  struct VtpModel {
    vtkSmartPointer<vtkActor> actor;
    vtkSmartPointer<vtkTexture> texture;
  };

  int LoadStream(const std::string& path);
  int LoadVtp(const std::string& path);
  vtkSmartPointer<vtkTexture> LoadTexture(const std::string& modelPath, bool hasCoordinates);
  void PlaceVtpModels();
  void FillRepresentationBox(bool hasSurfaces);

  TProgressTimeToCompleteCtrl* m_Progress;
  CStaticVtk* m_View;
  QComboBox* m_Representation;
  std::vector<VtpModel> m_VtpModels;
  std::vector<std::pair<std::string, std::string>> m_Problems;
  long long m_PointCount = 0;
};
