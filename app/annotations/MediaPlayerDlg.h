// The program's own media player for media and audio links: the picture of a video (nothing
// for sound alone), play and pause, a slider to move in the file and the time played.
#pragma once

#include <QDialog>
#include <QMediaPlayer>

class QLabel;
class QPushButton;
class QSlider;
class QVideoWidget;

class CMediaPlayerDlg : public QDialog {
  Q_OBJECT
 public:
  // Titled with `label`.
  CMediaPlayerDlg(QWidget* parent, const QString& label);

  // Opens the file and starts playing it; a file that cannot be played closes the player
  // with a message that says why (see failed()).
  void Play(const QString& path);
  QMediaPlayer* GetPlayer() const { return m_Player; }
  QPushButton* GetPlayButton() const { return m_PlayButton; }
  QSlider* GetPositionSlider() const { return m_Position; }
  QLabel* GetTimeLabel() const { return m_Time; }
  // Says that the sound cannot be heard when the machine has no sound device.
  QLabel* GetNote() const { return m_Note; }
  // Why the file could not be played; empty while it plays.
  QString GetProblem() const { return m_Problem; }

 signals:
  // The file cannot be played; the message for the user was given.
  void failed(const QString& problem);

 private:
  void TogglePlay();
  void ShowState(QMediaPlayer::State state);
  void ShowDuration(qint64 duration);
  void ShowPosition(qint64 position);
  void Fail(const QString& problem);

  QMediaPlayer* m_Player;
  QVideoWidget* m_Video;
  QPushButton* m_PlayButton;
  QSlider* m_Position;
  QLabel* m_Time;
  QLabel* m_Note;
  QString m_Path;
  QString m_Problem;
};

// "m:ss" (or "h:mm:ss" from an hour on) of a time in milliseconds.
QString FormatPlayTime(qint64 milliseconds);
