// A photograph in a window of its own: shown whole at first, zoomed with the mouse wheel or
// the + and - keys, scrolled when larger than the window.
#pragma once

#include <QDialog>

class QLabel;
class QScrollArea;

class CPictureDlg : public QDialog {
  Q_OBJECT
 public:
  // Titled with `label`; a picture that cannot be read says so in the window.
  CPictureDlg(const QString& path, const QString& label, QWidget* parent = nullptr);

  bool HasPicture() const { return !m_Picture.isNull(); }
  double GetZoom() const { return m_Zoom; }
  void SetZoom(double zoom);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FitToWindow();

  QPixmap m_Picture;
  QScrollArea* m_Scroll;
  QLabel* m_View;
  double m_Zoom = 1;
  bool m_Fitted = false;
};
