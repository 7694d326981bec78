#include "PictureDlg.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 0.02;
constexpr double kMaxZoom = 16;

}  // namespace

CPictureDlg::CPictureDlg(const QString& path, const QString& label, QWidget* parent)
    : QDialog(parent), m_Scroll(new QScrollArea(this)), m_View(new QLabel) {
  setWindowTitle(label);
  QImageReader reader(path);
  reader.setAutoTransform(true);
  m_Picture = QPixmap::fromImage(reader.read());
  m_View->setAlignment(Qt::AlignCenter);
  if (m_Picture.isNull())
    m_View->setText(QString("The picture %1 cannot be read: %2.").arg(path, reader.errorString()));
  m_Scroll->setWidget(m_View);
  m_Scroll->setAlignment(Qt::AlignCenter);
  m_Scroll->setBackgroundRole(QPalette::Dark);
  // The wheel zooms instead of scrolling.
  m_Scroll->viewport()->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_Scroll);
  const QSize available = QGuiApplication::primaryScreen()->availableSize() * 0.8;
  resize(m_Picture.isNull() ? QSize(480, 120) : m_Picture.size().boundedTo(available));
  setSizeGripEnabled(true);
}

void CPictureDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_Fitted) return;
  m_Fitted = true;
  FitToWindow();
}

void CPictureDlg::FitToWindow() {
  if (m_Picture.isNull()) {
    m_View->adjustSize();
    return;
  }
  const QSize area = m_Scroll->viewport()->size();
  SetZoom(std::min(1.0, std::min(double(area.width()) / m_Picture.width(),
                                 double(area.height()) / m_Picture.height())));
}

void CPictureDlg::SetZoom(double zoom) {
  if (m_Picture.isNull()) return;
  m_Zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  m_View->setPixmap(
      m_Picture.scaled(m_Picture.size() * m_Zoom, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  m_View->resize(m_View->pixmap(Qt::ReturnByValue).size());
}

bool CPictureDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_Scroll->viewport() || event->type() != QEvent::Wheel)
    return QDialog::eventFilter(watched, event);
  const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
  if (steps != 0) SetZoom(m_Zoom * std::pow(kZoomStep, steps));
  return true;
}

void CPictureDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal)
    SetZoom(m_Zoom * kZoomStep);
  else if (event->key() == Qt::Key_Minus)
    SetZoom(m_Zoom / kZoomStep);
  else
    QDialog::keyPressEvent(event);
}
