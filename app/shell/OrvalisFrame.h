// The window of one opened project: a splitter of three columns, the image panel, the 3D
// view and the drawing panel, arranged by the layout code.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

class QSplitter;
class CCadForm;
class CImageForm;
class CLinkDlg;
class COrvalisDoc;
class COrvalisView;
class TProgressTimeToComplete;

class COrvalisFrame : public QWidget {
  Q_OBJECT
 public:
  // Takes the document; the view draws its streams.
  COrvalisFrame(std::unique_ptr<COrvalisDoc> document, TProgressTimeToComplete* progress,
                QWidget* parent = nullptr);
  ~COrvalisFrame() override;

  COrvalisDoc* GetDocument() const { return m_Document.get(); }
  COrvalisView* GetView() const { return m_View; }
  CImageForm* GetImagePanel() const { return m_ImagePanel; }
  CLinkDlg* GetLinkPage() const { return m_LinkPage; }
  // Shows the project's links in the 3D view, once its streams and photographs are there.
  void ShowLinks(bool interactive);
  // An orthophoto, CAD or DEM link opened: its file goes to the drawing panel.
  void OpenDrawingLink(int type, const QString& path);
  CCadForm* GetDrawingPanel() const { return m_DrawingPanel; }
  // The image panel and the drawing panel save what they hold ("&Save", closing).
  int Save();
  // Opens a CAD drawing in the drawing panel and shows it (layout 2). 1 on success; on
  // failure the layout falls back (ApplyPanelLayout) and the panel's GetLastError() says why.
  int LoadDrawing(const std::string& path);
  // Opens an orthophoto (layout 4) or an elevation model (layout 5) in the drawing panel, as
  // LoadDrawing does.
  int LoadOrthophoto(const std::string& path);
  int LoadDem(const std::string& path);
  // After a load into the drawing panel: the layout of what it holds (2 drawing, 4
  // orthophoto, 5 elevation model); after a failed one, 3 without images, else 1.
  void ApplyPanelLayout(bool loaded);
  // The layout commands Drawing, Orthophoto and Dem: the layout of that kind when the panel
  // holds it (CadPaneContent); 0 and nothing changes otherwise.
  int ShowPanelLayout(int content);
  int GetLayout() const { return m_Layout; }
  void SetLayout(int layout);
  // Column widths of the splitter: images, 3D view, drawing.
  QList<int> GetColumnWidths() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Closing the project window: work in the drawing pane that has no file is offered for
  // saving first, and the user may cancel the close.
  void closeEvent(QCloseEvent* event) override;

 private:
  int LoadIntoPanel(int (CCadForm::*load)(const std::string&), const std::string& path);
  void ApplyLayout();
  void AddMeasurePage();

  std::unique_ptr<COrvalisDoc> m_Document;
  QSplitter* m_Splitter = nullptr;
  CImageForm* m_ImagePanel = nullptr;
  COrvalisView* m_View = nullptr;
  CLinkDlg* m_LinkPage = nullptr;
  CCadForm* m_DrawingPanel = nullptr;
  int m_Layout = 1;
};
