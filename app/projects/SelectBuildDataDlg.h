// The two dialogs in which the user chooses what a new project is built from: 3D models (VTP,
// PTX or LAS) with their oriented photographs, or ASCII point files with the parse string
// that reads their columns; both take the folder and the name of the new project. They only
// collect and check the choices: the build command runs the build.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <string>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// A list of files with its "Add" and "Reset" buttons.
class CFileListGroup : public QGroupBox {
  Q_OBJECT
 public:
  CFileListGroup(const QString& title, QWidget* parent);

  std::vector<std::string> GetFiles() const;
  void AddFiles(const std::vector<std::string>& files);
  QListWidget* GetList() const { return m_List; }
  QPushButton* GetAddButton() const { return m_Add; }
  QPushButton* GetResetButton() const { return m_Reset; }

 signals:
  void addClicked();
  void changed();

 private:
  QListWidget* m_List;
  QPushButton* m_Add;
  QPushButton* m_Reset;
};

// The "Output" group: the folder (typed or browsed), the project name and the stream path
// that results.
class CBuildOutputGroup : public QGroupBox {
  Q_OBJECT
 public:
  CBuildOutputGroup(const std::string& folder, QWidget* parent);

  // The folder made absolute; empty while none is given.
  std::string GetFolder() const;
  std::string GetName() const;
  std::string GetOutputPath() const;
  // A folder and a name a project can take.
  bool IsComplete() const;
  QLineEdit* GetFolderEdit() const { return m_Folder; }
  QLineEdit* GetNameEdit() const { return m_Name; }
  QLineEdit* GetOutputPathEdit() const { return m_OutputPath; }

 signals:
  void changed();

 private:
  void Browse();
  void ShowOutputPath();

  QLineEdit* m_Folder;
  QLineEdit* m_Name;
  QLineEdit* m_OutputPath;
};

// What both dialogs share: the output group, the OK and Cancel buttons, and the check that
// no project is already present at the output path.
class CSelectBuildDialogBase : public QDialog {
  Q_OBJECT
 public:
  std::string GetFolder() const { return m_Output->GetFolder(); }
  std::string GetOutputPath() const { return m_Output->GetOutputPath(); }
  CBuildOutputGroup* GetOutputGroup() const { return m_Output; }
  QPushButton* GetOkButton() const;

  void accept() override;

 protected:
  CSelectBuildDialogBase(const std::string& folder, QWidget* parent);
  // Places the output group and the buttons under the dialog's own groups.
  void FinishLayout(const QList<QWidget*>& groups);
  void UpdateOkButton();
  // The user chooses files to add, starting in the last folder chosen from.
  QStringList AskFiles(const QString& title, const QStringList& filters);
  void Warn(const QString& text);
  virtual bool HasInputs() const = 0;
  // The dialog's own refusal before it closes; true to close.
  virtual bool CheckChoices() { return true; }

  CBuildOutputGroup* m_Output;
  QDialogButtonBox* m_Buttons = nullptr;
  QString m_BrowseFolder;
};

// "Select new project folder and name" for VTP, PTX and LAS models and their photographs.
class CSelectBuildDataDlg : public CSelectBuildDialogBase {
  Q_OBJECT
 public:
  explicit CSelectBuildDataDlg(const std::string& folder, QWidget* parent = nullptr);

  std::vector<std::string> GetModels() const { return m_Models->GetFiles(); }
  std::vector<std::string> GetImages() const { return m_Images->GetFiles(); }
  CFileListGroup* GetModelsGroup() const { return m_Models; }
  CFileListGroup* GetImagesGroup() const { return m_Images; }

  // Adds models as the "Add" button does after its file dialog; false when refused (the
  // user is told why).
  bool AddModels(const std::vector<std::string>& models);
  // Adds the photographs the import reads; tells which lack an orientation or were left out.
  void AddImages(const std::vector<std::string>& images);

 protected:
  bool HasInputs() const override { return !m_Models->GetFiles().empty(); }

 private:
  CFileListGroup* m_Models;
  CFileListGroup* m_Images;
};

// "Select new project folder and name" for ASCII point files.
class CSelectBuildDataDlgTxt : public CSelectBuildDialogBase {
  Q_OBJECT
 public:
  CSelectBuildDataDlgTxt(const std::string& folder, const std::string& parseString,
                         QWidget* parent = nullptr);

  std::vector<std::string> GetFiles() const { return m_Files->GetFiles(); }
  std::string GetParseString() const;
  CFileListGroup* GetFilesGroup() const { return m_Files; }
  QLineEdit* GetParseEdit() const { return m_Parse; }
  QComboBox* GetPreviewCount() const { return m_PreviewCount; }
  QPushButton* GetPreviewButton() const { return m_Preview; }

 protected:
  bool HasInputs() const override { return !m_Files->GetFiles().empty(); }
  bool CheckChoices() override;

 private:
  void PreviewFile();

  CFileListGroup* m_Files;
  QLineEdit* m_Parse;
  QComboBox* m_PreviewCount;
  QPushButton* m_Preview;
};
