// The recording dialog of a new audio link: Record starts recording the default input device
// as PCM, 1 channel, 44 100 samples per second, 16 bits; Stop saves the recording as
// "AudioRec<n>.wav" in the project's "FileLink" folder.
#pragma once

#include <QAudioFormat>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

class QAudioInput;
class QLabel;
class QLineEdit;
class QPushButton;

// The format of audio links.
QAudioFormat AudioLinkFormat();

// The 44-byte header of a PCM WAV file holding `dataBytes` bytes of samples of `format`.
QByteArray WavHeader(const QAudioFormat& format, uint32_t dataBytes);

// The file the next recording of the project goes to: "AudioRec<n>.wav" in its "FileLink"
// folder, n one more than the counter "nAudioLinks" of section "Links" in the project's
// settings file, increased further while such a file exists. `number` receives n, which
// StoreAudioRecordNumber writes back once the recording is saved.
std::string NextAudioRecordPath(const std::string& projectFolder,
                                const std::string& projectSettingsFile, int& number);
int StoreAudioRecordNumber(const std::string& projectSettingsFile, int number);

class CAudioRecordDlg : public QDialog {
  Q_OBJECT
 public:
  CAudioRecordDlg(QWidget* parent, std::string projectFolder, std::string projectSettingsFile);
  ~CAudioRecordDlg() override;

  // The saved recording; empty until Stop saved one.
  const std::string& GetRecordedPath() const { return m_RecordedPath; }
  QPushButton* GetRecordButton() const { return m_RecordButton; }
  QPushButton* GetStopButton() const { return m_StopButton; }

 private:
  void Record();
  void Stop();
  void ShowElapsed();
  void Refuse(const QString& message);

  std::string m_ProjectFolder;
  std::string m_SettingsFile;
  std::string m_RecordedPath;
  int m_Number = 0;
  QFile m_File;
  std::unique_ptr<QAudioInput> m_Input;
  QElapsedTimer m_Elapsed;
  QTimer m_Clock;
  QPushButton* m_RecordButton;
  QPushButton* m_StopButton;
  QLabel* m_Status;
  QLineEdit* m_PathField;
};
