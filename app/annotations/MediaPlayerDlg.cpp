#include "app/annotations/MediaPlayerDlg.h"

#include <QAudioDeviceInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace {

QString DescribeError(QMediaPlayer::Error error, const QString& detail) {
  switch (error) {
    case QMediaPlayer::ServiceMissingError:
      return "no media service is installed (on Debian: the packages libqt5multimedia5-plugins "
             "and gstreamer1.0-plugins-good)";
    case QMediaPlayer::FormatError:
      return "its format is not supported" + (detail.isEmpty() ? "" : " (" + detail + ")");
    case QMediaPlayer::AccessDeniedError:
      return "it cannot be read";
    default:
      return detail.isEmpty() ? "the player stopped with an error" : detail;
  }
}

}  // namespace

QString FormatPlayTime(qint64 milliseconds) {
  const qint64 seconds = std::max<qint64>(milliseconds, 0) / 1000;
  const qint64 hours = seconds / 3600, minutes = seconds / 60 % 60;
  const QString rest = QString("%1").arg(seconds % 60, 2, 10, QChar('0'));
  if (hours > 0) return QString("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QChar('0')).arg(rest);
  return QString("%1:%2").arg(minutes).arg(rest);
}

CMediaPlayerDlg::CMediaPlayerDlg(QWidget* parent, const QString& label) : QDialog(parent) {
  setWindowTitle(label);
  m_Player = new QMediaPlayer(this);
  m_Video = new QVideoWidget(this);
  m_Video->setMinimumSize(320, 240);
  m_Video->hide();
  m_Player->setVideoOutput(m_Video);
  m_PlayButton = new QPushButton(this);
  m_PlayButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  m_PlayButton->setToolTip("Play or pause");
  m_Position = new QSlider(Qt::Horizontal, this);
  m_Position->setRange(0, 0);
  m_Time = new QLabel(FormatPlayTime(0) + " / " + FormatPlayTime(0), this);
  m_Note = new QLabel("No sound device was found: the sound cannot be heard.", this);
  m_Note->setVisible(QAudioDeviceInfo::defaultOutputDevice().isNull());

  connect(m_PlayButton, &QPushButton::clicked, this, &CMediaPlayerDlg::TogglePlay);
  connect(m_Position, &QSlider::sliderMoved, m_Player, &QMediaPlayer::setPosition);
  connect(m_Player, &QMediaPlayer::stateChanged, this, &CMediaPlayerDlg::ShowState);
  connect(m_Player, &QMediaPlayer::durationChanged, this, &CMediaPlayerDlg::ShowDuration);
  connect(m_Player, &QMediaPlayer::positionChanged, this, &CMediaPlayerDlg::ShowPosition);
  connect(m_Player, &QMediaPlayer::videoAvailableChanged, m_Video, &QWidget::setVisible);
  connect(
      m_Player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error), this,
      [this](QMediaPlayer::Error error) { Fail(DescribeError(error, m_Player->errorString())); });
  connect(m_Player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
    if (s == QMediaPlayer::InvalidMedia)
      Fail(DescribeError(QMediaPlayer::FormatError, m_Player->errorString()));
  });

  auto* controls = new QHBoxLayout;
  controls->addWidget(m_PlayButton);
  controls->addWidget(m_Position, 1);
  controls->addWidget(m_Time);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Video, 1);
  layout->addLayout(controls);
  layout->addWidget(m_Note);
  resize(480, 80);
}

void CMediaPlayerDlg::Play(const QString& path) {
  m_Path = path;
  m_Player->setMedia(QUrl::fromLocalFile(path));
  // A missing media service reports itself only through availability.
  if (!m_Player->isAvailable()) return Fail(DescribeError(QMediaPlayer::ServiceMissingError, {}));
  m_Player->play();
}

void CMediaPlayerDlg::TogglePlay() {
  if (m_Player->state() == QMediaPlayer::PlayingState)
    m_Player->pause();
  else
    m_Player->play();
}

void CMediaPlayerDlg::ShowState(QMediaPlayer::State state) {
  m_PlayButton->setIcon(style()->standardIcon(
      state == QMediaPlayer::PlayingState ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void CMediaPlayerDlg::ShowDuration(qint64 duration) {
  m_Position->setRange(0, static_cast<int>(std::min<qint64>(duration, INT_MAX)));
  ShowPosition(m_Player->position());
}

void CMediaPlayerDlg::ShowPosition(qint64 position) {
  if (!m_Position->isSliderDown()) m_Position->setValue(static_cast<int>(position));
  m_Time->setText(FormatPlayTime(position) + " / " + FormatPlayTime(m_Player->duration()));
}

void CMediaPlayerDlg::Fail(const QString& problem) {
  if (!m_Problem.isEmpty()) return;
  m_Problem = problem;
  m_Player->stop();
  emit failed(problem);
  QMessageBox::warning(parentWidget(), "Orvalis",
                       QString("Unable to play %1:\n%2").arg(m_Path, problem));
  reject();
}
