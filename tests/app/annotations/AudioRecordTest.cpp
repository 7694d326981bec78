// Recording a new audio link: the message on a machine without a record device, where the
// recordings go and how they are numbered, and the WAV header they are saved with.
#include <gtest/gtest.h>

#include <QAudioDeviceInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QtEndian>
#include <filesystem>
#include <fstream>

#include "app/annotations/AudioRecordDlg.h"
#include "app/annotations/LinkViewers.h"
#include "nimbex/platform/Profile.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(AudioRecordTest, NoRecordDeviceGivesMessageAndNoFile) {
  if (!QAudioDeviceInfo::defaultInputDevice().isNull())
    GTEST_SKIP() << "this machine has a record device";
  ScratchFolder project;
  const fs::path settings = project / "site.ini";
  std::ofstream(settings) << "[Links]\nnAudioLinks=4\n";
  ModalScript script;
  script
      .Then<CAudioRecordDlg>([](CAudioRecordDlg* recorder) {
        recorder->grab().save(Output("audio-record.png"));
        QTest::mouseClick(recorder->GetRecordButton(), Qt::LeftButton);
      })
      .Then<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), "No record device found!");
        box->accept();
      });
  EXPECT_EQ(RecordAudioLink(nullptr, project.Path().string(), settings.string()), "");
  script.Finish();
  EXPECT_FALSE(fs::exists(project / "FileLink"));
  EXPECT_EQ(ReadAll(settings), "[Links]\nnAudioLinks=4\n");
}

TEST(AudioRecordTest, RecordingsAreNumberedPastTheCounterAndExistingFiles) {
  ScratchFolder project;
  const fs::path settings = project / "site.ini";
  int number = 0;
  // No settings file and no recording yet: the first.
  EXPECT_EQ(NextAudioRecordPath(project.Path().string(), settings.string(), number),
            (project / "FileLink" / "AudioRec1.wav").string());
  EXPECT_EQ(number, 1);

  std::ofstream(settings) << "; filters\r\n[Filter]\r\nradius=2\r\n[Links]\r\nnAudioLinks=2\r\n";
  fs::create_directories(project / "FileLink");
  std::ofstream(project / "FileLink" / "AudioRec3.wav") << "older";
  std::ofstream(project / "FileLink" / "AudioRec4.wav") << "older";
  EXPECT_EQ(NextAudioRecordPath(project.Path().string(), settings.string(), number),
            (project / "FileLink" / "AudioRec5.wav").string());
  EXPECT_EQ(number, 5);
  ASSERT_EQ(StoreAudioRecordNumber(settings.string(), number), 1);
  EXPECT_EQ(ReadAll(settings), "; filters\r\n[Filter]\r\nradius=2\r\n[Links]\r\nnAudioLinks=5\r\n");
  EXPECT_EQ(ReadAll(project / "FileLink" / "AudioRec3.wav"), "older");

  // A counter that is no number starts again from the files there are.
  std::ofstream(settings) << "[Links]\nnAudioLinks=many\n";
  EXPECT_EQ(NextAudioRecordPath(project.Path().string(), settings.string(), number),
            (project / "FileLink" / "AudioRec1.wav").string());
}

TEST(AudioRecordTest, WavHeaderDescribesPcmMono16Bit) {
  const QByteArray header = WavHeader(AudioLinkFormat(), 88200);
  ASSERT_EQ(header.size(), 44);
  const auto* bytes = reinterpret_cast<const uchar*>(header.constData());
  EXPECT_EQ(header.left(4), "RIFF");
  EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 4), 36u + 88200u);
  EXPECT_EQ(header.mid(8, 8), "WAVEfmt ");
  EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 16), 16u);
  EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 20), 1u);  // PCM
  EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 22), 1u);  // channels
  EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 24), 44100u);
  EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 28), 88200u);  // bytes per second
  EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 32), 2u);      // block size
  EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 34), 16u);
  EXPECT_EQ(header.mid(36, 4), "data");
  EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 40), 88200u);
}
