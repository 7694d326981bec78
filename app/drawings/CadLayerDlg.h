// The layers of the pane's drawing: each with its colour and a check box that shows or hides
// it; the pane redraws at each change. Showing or hiding a layer is a matter of viewing: it
// does not count as a change of the drawing, so no file is written for it.
#pragma once

#include <QDialog>

class QTableWidget;
class CCadDrawing;
class CCadView;

class CCadLayerDlg : public QDialog {
  Q_OBJECT
 public:
  CCadLayerDlg(CCadDrawing& drawing, CCadView& view, QWidget* parent = nullptr);

  QTableWidget* GetTable() const { return m_Table; }

 private:
  void Fill();
  void OnChanged(int row, int column);

  CCadDrawing& m_Drawing;
  CCadView& m_View;
  QTableWidget* m_Table = nullptr;
};
