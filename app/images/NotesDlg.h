// The notes page of the image panel: the free text note of the current photograph, kept in
// "<photograph>_note.txt" beside it. The note shown is saved before the page moves to another
// photograph and when the project closes; a note emptied by the user loses its file.
#pragma once

#include <QWidget>
#include <string>

class CImagePanelOps;
class QPlainTextEdit;

class CNotesDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CNotesDlg(CImagePanelOps& panel, QWidget* parent = nullptr);

  // Saves the note shown, then shows the note of `imagePath`. 1 when a note file was read;
  // 0 otherwise, and also when the note shown could not be saved: the page then keeps it (and
  // its title) so that nothing typed is lost, and says so through statusMessage.
  int ShowNote(const std::string& imagePath);
  // Writes the note shown to its file, or deletes the file when the note was emptied. 1 when
  // done (or nothing had changed); 0 when no note is shown or the file cannot be written.
  int SaveNote();
  // The project closes: the last note is saved.
  int SaveData();

  // The file of the note shown; empty while none is shown.
  const std::string& NotePath() const { return m_NotePath; }
  QPlainTextEdit* GetEdit() const { return m_Edit; }

 signals:
  void statusMessage(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Cancel();
  void ShowTitle(const std::string& imagePath);
  bool LoadNoteFile();

  CImagePanelOps& m_Panel;
  QPlainTextEdit* m_Edit;
  std::string m_NotePath;
  // The file's line ends were CRLF: written back the same way.
  bool m_CrlfLineEnds = false;
};
