// The two commands that build a new project: "Build Stream from &VTP" (VTP, PTX or LAS models
// with their photographs) and "Build Stream from &TXT" (ASCII point files). Each shows its
// dialog, remembers the dialog's folder (and parse string), builds in the main window's
// progress dialog, tells the user how it went and opens the new project.
#pragma once

#include <QObject>
#include <string>
#include <vector>

class QAction;
class CMainFrame;
class COrvalisFrame;
class CProjectBuilder;
enum class BuildOutcome;

class CBuildCommands : public QObject {
  Q_OBJECT
 public:
  explicit CBuildCommands(CMainFrame* frame);

  // The entries of the File menu, in menu order.
  QList<QAction*> GetActions() const { return m_Actions; }

  // The builds of the dialogs' choices; the new project, or null after a message.
  COrvalisFrame* BuildFromModels(const std::vector<std::string>& models,
                                 const std::vector<std::string>& images,
                                 const std::string& outputPath);
  COrvalisFrame* BuildFromAscii(const std::vector<std::string>& files,
                                const std::string& parseString, const std::string& outputPath);

 private:
  void OnBuildFromVtp();
  void OnBuildFromTxt();
  COrvalisFrame* Finish(const CProjectBuilder& builder, BuildOutcome outcome,
                        const std::string& outputPath);

  CMainFrame* m_Frame;
  QList<QAction*> m_Actions;
};
