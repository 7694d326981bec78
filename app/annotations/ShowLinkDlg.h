// The link viewer of web, file and image links, titled with the link's label: a web page in
// the embedded browser, the whole text of a file, or a picture in a zoomable drawing view.
#pragma once

#include <QDialog>
#include <QUrl>
#include <memory>
#include <string>

class CCadDrawing;
class CCadView;
class QLabel;
class QPlainTextEdit;
class QWebEngineView;

// Where the browser goes for a web link. A local page (a path, a "file:" address, or an
// address without a network scheme that names an ".htm"/".html" file) must exist: `local`
// then holds its path. Network addresses ("http:", "https:", "ftp:", or starting with "www.")
// and bare host names are taken as typed.
QUrl WebLinkAddress(const std::string& address, std::string* local);

class CShowLinkDlg : public QDialog {
  Q_OBJECT
 public:
  // Text files beyond this show their beginning, with a note saying so.
  static constexpr qint64 kMaxTextBytes = 4 << 20;

  CShowLinkDlg(QWidget* parent, int type, const std::string& label, const std::string& path);
  ~CShowLinkDlg() override;

  // Fills the viewer with what the link points to. 1 when there is something to show; 0
  // after telling the user that the link's file cannot be found or read; -1 for a type the
  // viewer does not show.
  int OpenLink();

  QWebEngineView* GetBrowser() const { return m_Browser; }
  QPlainTextEdit* GetTextView() const { return m_Text; }
  CCadView* GetImageView() const { return m_ImageView; }
  // The line above the content: why a page did not load, or that a text was cut.
  QLabel* GetNote() const { return m_Note; }

 private:
  int OpenWebLink();
  int OpenFileLink();
  int OpenImageLink();
  void ShowNote(const QString& text);
  void ShowMissingFile(const std::string& path);

  int m_Type;
  std::string m_Path;
  QLabel* m_Note;
  QWebEngineView* m_Browser = nullptr;
  QPlainTextEdit* m_Text = nullptr;
  std::unique_ptr<CCadDrawing> m_Drawing;
  CCadView* m_ImageView = nullptr;
};
