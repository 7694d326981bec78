// The desktop program's progress bar: a QProgressBar that paints itself from the progress
// model, so the library's long operations drive it through TProgressTimeToComplete. It shows
// a bar (smooth or in chunks, horizontal or filling from the bottom up when the orientation
// is vertical) and a centred text: m_Text until more than 2 % is done, then m_Prefix and the
// time still needed. The part of the text over the bar is drawn in the highlighted-text
// colour, the rest in the window-text colour, so the text stays readable as the bar passes.
//
// Range and position are set with SetRange and SetPos; each change repaints the control and
// lets pending events through, so windows stay responsive while the work runs on the
// interface thread. QProgressBar's value and range mirror them, and setValue from Qt code
// moves the bar as well. The text uses the widget's font, turned a quarter for vertical bars.
// Qt widgets paint into a back buffer, so the control never flickers.
#pragma once

#include <QColor>
#include <QProgressBar>
#include <QString>
#include <vector>

#include "common/progress/ProgressTimeToComplete.h"

class QPainter;

class TProgressTimeToCompleteCtrl : public QProgressBar, public TProgressTimeToComplete {
  Q_OBJECT
  Q_PROPERTY(bool smooth READ IsSmooth WRITE SetSmooth)
  Q_PROPERTY(QColor barColor READ BarColor WRITE SetBarColor)

 public:
  explicit TProgressTimeToCompleteCtrl(QWidget* parent = nullptr);

  // One continuous bar instead of chunks.
  bool IsSmooth() const { return m_Smooth; }
  void SetSmooth(bool smooth);

  // The palette's highlight colour until set.
  QColor BarColor() const { return m_BarColor; }
  void SetBarColor(const QColor& color);

  // Setters of the model's text fields that also repaint.
  void SetShowTime(int showTime);
  void SetText(const QString& text);
  void SetPrefix(const QString& prefix);

  // The text of the last paint.
  QString text() const override { return m_PaintedText; }

 protected:
  void OnChanged() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void MirrorIntoProgressBar();
  void OnValueChanged(int value);
  void DrawText(QPainter& painter, const QString& text, bool vertical) const;
  void DrawInvertedText(QPainter& painter, const QString& text, bool vertical,
                        const std::vector<QRect>& barRects) const;

  bool m_Smooth = false;
  QColor m_BarColor;
  QString m_PaintedText;
  // Set while the model's range and position are copied into QProgressBar, so that its
  // valueChanged does not come back as a new position.
  bool m_Mirroring = false;
};
