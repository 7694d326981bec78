#include "app/annotations/AudioRecordDlg.h"

#include <QAudioDeviceInfo>
#include <QAudioInput>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtEndian>
#include <filesystem>
#include <limits>

#include "app/annotations/LinkFiles.h"
#include "app/annotations/MediaPlayerDlg.h"
#include "nimbex/platform/Profile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWavHeaderBytes = 44;
// The WAV sizes are 32-bit: a recording stops before its data outgrows them (about 13 hours).
constexpr qint64 kMaxDataBytes = std::numeric_limits<uint32_t>::max() - kWavHeaderBytes;

void PutLE16(QByteArray& bytes, int at, uint16_t value) {
  qToLittleEndian(value, bytes.data() + at);
}
void PutLE32(QByteArray& bytes, int at, uint32_t value) {
  qToLittleEndian(value, bytes.data() + at);
}

std::string AudioRecordPath(const std::string& projectFolder, int number) {
  return (fs::path(projectFolder) / "FileLink" / ("AudioRec" + std::to_string(number) + ".wav"))
      .string();
}

}  // namespace

QAudioFormat AudioLinkFormat() {
  QAudioFormat format;
  format.setSampleRate(44100);
  format.setChannelCount(1);
  format.setSampleSize(16);
  format.setCodec("audio/pcm");
  format.setByteOrder(QAudioFormat::LittleEndian);
  format.setSampleType(QAudioFormat::SignedInt);
  return format;
}

QByteArray WavHeader(const QAudioFormat& format, uint32_t dataBytes) {
  QByteArray header(kWavHeaderBytes, '\0');
  const uint16_t blockAlign =
      static_cast<uint16_t>(format.channelCount() * format.sampleSize() / 8);
  header.replace(0, 4, "RIFF");
  PutLE32(header, 4, 36 + dataBytes);
  header.replace(8, 8, "WAVEfmt ");
  PutLE32(header, 16, 16);
  PutLE16(header, 20, 1);  // PCM
  PutLE16(header, 22, static_cast<uint16_t>(format.channelCount()));
  PutLE32(header, 24, static_cast<uint32_t>(format.sampleRate()));
  PutLE32(header, 28, static_cast<uint32_t>(format.sampleRate()) * blockAlign);
  PutLE16(header, 32, blockAlign);
  PutLE16(header, 34, static_cast<uint16_t>(format.sampleSize()));
  header.replace(36, 4, "data");
  PutLE32(header, 40, dataBytes);
  return header;
}

std::string NextAudioRecordPath(const std::string& projectFolder,
                                const std::string& projectSettingsFile, int& number) {
  CProfile settings;
  settings.Load(projectSettingsFile);
  number = std::max(settings.GetInt("Links", "nAudioLinks", 0), 0) + 1;
  // A name counts as taken by whatever stands there, a symbolic link included.
  while (fs::exists(fs::symlink_status(AudioRecordPath(projectFolder, number)))) ++number;
  return AudioRecordPath(projectFolder, number);
}

int StoreAudioRecordNumber(const std::string& projectSettingsFile, int number) {
  return WritePrivateProfileString("Links", "nAudioLinks", std::to_string(number).c_str(),
                                   projectSettingsFile.c_str());
}

CAudioRecordDlg::CAudioRecordDlg(QWidget* parent, std::string projectFolder,
                                 std::string projectSettingsFile)
    : QDialog(parent),
      m_ProjectFolder(std::move(projectFolder)),
      m_SettingsFile(std::move(projectSettingsFile)) {
  setWindowTitle("New Audio Link");
  m_RecordButton = new QPushButton("Record", this);
  m_StopButton = new QPushButton("Stop", this);
  m_StopButton->setEnabled(false);
  m_Status = new QLabel("Press Record to start recording.", this);
  m_PathField = new QLineEdit(this);
  m_PathField->setReadOnly(true);
  connect(m_RecordButton, &QPushButton::clicked, this, &CAudioRecordDlg::Record);
  connect(m_StopButton, &QPushButton::clicked, this, &CAudioRecordDlg::Stop);
  connect(&m_Clock, &QTimer::timeout, this, &CAudioRecordDlg::ShowElapsed);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_RecordButton);
  buttons->addWidget(m_StopButton);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Status);
  layout->addLayout(buttons);
  layout->addWidget(m_PathField);
}

CAudioRecordDlg::~CAudioRecordDlg() {
  // A recording still running when the dialog goes is not a saved recording.
  if (m_Input) {
    m_Input->stop();
    m_File.remove();
  }
}

void CAudioRecordDlg::Record() {
  const QAudioDeviceInfo device = QAudioDeviceInfo::defaultInputDevice();
  if (device.isNull()) return Refuse("No record device found!");
  const QAudioFormat format = AudioLinkFormat();
  if (!device.isFormatSupported(format))
    return Refuse(QString("The record device %1 cannot record PCM, 1 channel, 44100 samples per "
                          "second, 16 bits.")
                      .arg(device.deviceName()));
  // Recordings go only into a plain FileLink folder of the project, as embedded files do.
  std::string folderError;
  if (FileLinkFolder(m_ProjectFolder, folderError).empty())
    return Refuse("Error! Can't save the file");
  const std::string path = NextAudioRecordPath(m_ProjectFolder, m_SettingsFile, m_Number);
  m_File.setFileName(QString::fromStdString(path));
  if (!m_File.open(QIODevice::WriteOnly) || m_File.write(WavHeader(format, 0)) != kWavHeaderBytes)
    return Refuse("Error! Can't save the file");
  m_Input = std::make_unique<QAudioInput>(device, format);
  m_Input->start(&m_File);
  if (m_Input->error() != QAudio::NoError) {
    m_Input.reset();
    m_File.remove();
    return Refuse("No record device found!");
  }
  m_Elapsed.start();
  m_Clock.start(250);
  m_RecordButton->setEnabled(false);
  m_StopButton->setEnabled(true);
  ShowElapsed();
}

void CAudioRecordDlg::ShowElapsed() {
  m_Status->setText("Recording " + FormatPlayTime(m_Elapsed.elapsed()));
  if (m_File.size() - kWavHeaderBytes >= kMaxDataBytes) Stop();
}

void CAudioRecordDlg::Stop() {
  if (!m_Input) return;
  m_Clock.stop();
  m_Input->stop();
  const bool recorded = m_Input->error() == QAudio::NoError;
  m_Input.reset();
  const qint64 dataBytes = std::min(m_File.size() - kWavHeaderBytes, kMaxDataBytes);
  const QByteArray header = WavHeader(AudioLinkFormat(), static_cast<uint32_t>(dataBytes));
  const bool saved = recorded && m_File.seek(0) && m_File.write(header) == kWavHeaderBytes &&
                     m_File.flush() && m_File.error() == QFileDevice::NoError;
  m_File.close();
  if (!saved) {
    m_File.remove();
    return Refuse("Error! Can't save the file");
  }
  StoreAudioRecordNumber(m_SettingsFile, m_Number);
  m_RecordedPath = m_File.fileName().toStdString();
  m_PathField->setText(m_File.fileName());
  accept();
}

void CAudioRecordDlg::Refuse(const QString& message) {
  QMessageBox::warning(this, "Orvalis", message);
  reject();
}
