// The window of one opened project: a splitter of three columns, the image panel, the 3D
// view and the drawing panel, arranged by the layout code.
#pragma once

#include <QWidget>
#include <memory>

class QSplitter;
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
  // The image panel and, later, the drawing panel save what they hold ("&Save", closing).
  int Save();
  int GetLayout() const { return m_Layout; }
  void SetLayout(int layout);
  // Column widths of the splitter: images, 3D view, drawing.
  QList<int> GetColumnWidths() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ApplyLayout();
  void AddMeasurePage();

  std::unique_ptr<COrvalisDoc> m_Document;
  QSplitter* m_Splitter = nullptr;
  CImageForm* m_ImagePanel = nullptr;
  COrvalisView* m_View = nullptr;
  CLinkDlg* m_LinkPage = nullptr;
  QWidget* m_DrawingPanel = nullptr;
  int m_Layout = 1;
};
