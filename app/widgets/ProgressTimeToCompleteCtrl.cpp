#include "app/widgets/ProgressTimeToCompleteCtrl.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <algorithm>

#include "app/widgets/ProgressBarGeometry.h"

namespace {

QRegion UnionOf(const std::vector<QRect>& rects) {
  QRegion region;
  for (const QRect& rect : rects) region += rect;
  return region;
}

}  // namespace

TProgressTimeToCompleteCtrl::TProgressTimeToCompleteCtrl(QWidget* parent)
    : QProgressBar(parent), m_BarColor(palette().color(QPalette::Highlight)) {
  // Every pixel is painted, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  MirrorIntoProgressBar();
  connect(this, &QProgressBar::valueChanged, this, &TProgressTimeToCompleteCtrl::OnValueChanged);
}

void TProgressTimeToCompleteCtrl::SetSmooth(bool smooth) {
  m_Smooth = smooth;
  update();
}

void TProgressTimeToCompleteCtrl::SetBarColor(const QColor& color) {
  m_BarColor = color;
  update();
}

void TProgressTimeToCompleteCtrl::SetShowTime(int showTime) {
  m_ShowTime = showTime;
  update();
}

void TProgressTimeToCompleteCtrl::SetText(const QString& text) {
  m_Text = text.toStdString();
  update();
}

void TProgressTimeToCompleteCtrl::SetPrefix(const QString& prefix) {
  m_Prefix = prefix.toStdString();
  update();
}

void TProgressTimeToCompleteCtrl::OnChanged() {
  MirrorIntoProgressBar();
  update();
  // Last: the events let through may close the window that owns this control.
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void TProgressTimeToCompleteCtrl::MirrorIntoProgressBar() {
  int lower = 0, upper = 0;
  GetRange(lower, upper);
  // QProgressBar refuses an upper bound below the lower one and positions outside the range.
  upper = std::max(lower, upper);
  m_Mirroring = true;
  setRange(lower, upper);
  setValue(std::clamp(GetPos(), lower, upper));
  m_Mirroring = false;
}

void TProgressTimeToCompleteCtrl::OnValueChanged(int value) {
  if (!m_Mirroring && value != GetPos()) SetPos(value);
}

void TProgressTimeToCompleteCtrl::paintEvent(QPaintEvent* /*event*/) {
  // The text first: it refreshes m_Fraction, which the bar then shows.
  const QString text = QString::fromStdString(CurrentText());
  const bool vertical = orientation() == Qt::Vertical;
  const std::vector<QRect> barRects = BarRects(rect(), m_Fraction, vertical, m_Smooth);

  QPainter painter(this);
  painter.fillRect(rect(), palette().color(backgroundRole()));
  for (const QRect& bar : barRects) painter.fillRect(bar, m_BarColor);
  DrawInvertedText(painter, text, vertical, barRects);
  m_PaintedText = text;
}

void TProgressTimeToCompleteCtrl::DrawInvertedText(QPainter& painter, const QString& text,
                                                   bool vertical,
                                                   const std::vector<QRect>& barRects) const {
  if (text.isEmpty()) return;
  const QRegion overBar = UnionOf(barRects);
  painter.save();
  painter.setClipRegion(overBar);
  painter.setPen(palette().color(QPalette::HighlightedText));
  DrawText(painter, text, vertical);
  painter.restore();

  painter.save();
  painter.setClipRegion(QRegion(rect()) - overBar);
  painter.setPen(palette().color(QPalette::WindowText));
  DrawText(painter, text, vertical);
  painter.restore();
}

void TProgressTimeToCompleteCtrl::DrawText(QPainter& painter, const QString& text,
                                           bool vertical) const {
  painter.setFont(font());
  if (!vertical) {
    // Without Qt::TextShowMnemonic an '&' in the text shows as itself.
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    return;
  }
  const QFontMetrics metrics(font());
  const QSize extent(metrics.horizontalAdvance(text), metrics.height());
  painter.translate(VerticalTextOrigin(rect(), extent));
  painter.rotate(-90.0);
  painter.drawText(QRect(QPoint(0, 0), extent), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   text);
}
