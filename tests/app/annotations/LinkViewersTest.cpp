// The viewers of web, file and media links and the programs a link starts, opened as the
// link page opens them: the embedded browser on a real page, a file's text, the player on a
// real sound file, and the messages for what cannot be shown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAudioDeviceInfo>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWebEngineView>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "app/annotations/Link.h"
#include "app/annotations/LinkViewers.h"
#include "app/annotations/MediaPlayerDlg.h"
#include "app/annotations/ShowLinkDlg.h"
#include "app/drawings/CadDrawing.h"
#include "app/drawings/CadView.h"
#include "tests/app/shell/ShellTestSupport.h"
#include "tests/support/SampleData.h"
#include "tests/support/StreamWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLoadTimeoutMs = 60000;

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::function<void(QMessageBox*)> ExpectMessage(const QString& text) {
  return [text](QMessageBox* box) {
    EXPECT_EQ(box->text(), text);
    box->accept();
  };
}

// Pixels of `picture` darker than mid-grey: text drawn on a light page.
int DarkPixels(const QImage& picture) {
  int dark = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) dark += qGray(picture.pixel(x, y)) < 128;
  return dark;
}

}  // namespace

TEST(LinkViewerTest, WebLinkShowsLocalPageInEmbeddedBrowser) {
  const fs::path page = SampleData("misc") / "digicam_mavica_fd100" / "MAVICA.HTM";
  if (!fs::is_regular_file(page)) GTEST_SKIP() << "no sample page";
  CShowLinkDlg viewer(nullptr, LINK_WEB, "Camera's floppy", page.string());
  ASSERT_EQ(viewer.OpenLink(), 1);
  ASSERT_NE(viewer.GetBrowser(), nullptr);
  QSignalSpy loaded(viewer.GetBrowser(), &QWebEngineView::loadFinished);
  viewer.show();
  ASSERT_TRUE(loaded.wait(kLoadTimeoutMs)) << "the page did not load";
  EXPECT_TRUE(loaded.at(0).at(0).toBool());
  EXPECT_EQ(viewer.windowTitle(), "Camera's floppy");
  EXPECT_EQ(viewer.GetBrowser()->title(), "FD Mavica image viewer");
  EXPECT_FALSE(viewer.GetNote()->isVisible());
  // The page's text reaches the screen.
  QImage picture;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        picture = viewer.grab().toImage();
        return DarkPixels(picture.copy(viewer.GetBrowser()->geometry())) > 500;
      },
      10000));
  picture.save(Output("link-browser.png"));
}

TEST(LinkViewerTest, RootWithoutBrowserSandboxSettingGetsMessageNotACrash) {
  if (geteuid() != 0) GTEST_SKIP() << "only the root user needs the setting";
  ScratchFolder folder;
  WriteFile(folder / "page.html", "<html><title>Page</title></html>");
  const QByteArray setting = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
  ModalScript script;
  script.Then<QMessageBox>([](QMessageBox* box) {
    EXPECT_TRUE(box->text().contains("does not run for the root user"))
        << box->text().toStdString();
    box->accept();
  });
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_WEB, "Page", (folder / "page.html").string()), 0);
  script.Finish();
  qputenv("QTWEBENGINE_DISABLE_SANDBOX", setting);
}

TEST(LinkViewerTest, WebAddressesAreLocalPagesOnlyWithoutNetworkScheme) {
  std::string local;
  EXPECT_EQ(WebLinkAddress("http://example.com/site/index.html", &local).toString(),
            "http://example.com/site/index.html");
  EXPECT_EQ(local, "");
  EXPECT_EQ(WebLinkAddress("www.example.com/plan.htm", &local).toString(),
            "http://www.example.com/plan.htm");
  EXPECT_EQ(local, "");
  EXPECT_EQ(WebLinkAddress("example.com", &local).toString(), "http://example.com");
  EXPECT_EQ(local, "");
  EXPECT_EQ(WebLinkAddress("/site docs/report.HTML", &local).toLocalFile(),
            "/site docs/report.HTML");
  EXPECT_EQ(local, "/site docs/report.HTML");
  EXPECT_EQ(WebLinkAddress("file:///site/a.htm", &local).toLocalFile(), "/site/a.htm");
  EXPECT_EQ(local, "/site/a.htm");
}

TEST(LinkViewerTest, MissingFileGivesMessageAndNoViewer) {
  ScratchFolder folder;
  const std::string page = (folder / "gone page.htm").string();
  const std::string text = (folder / "gone.txt").string();
  ModalScript script;
  script
      .Then<QMessageBox>(
          ExpectMessage(QString::fromStdString("Unable to find selected file " + page)))
      .Then<QMessageBox>(
          ExpectMessage(QString::fromStdString("Unable to find selected file " + text)));
  // A viewer shown in between would be an unexpected modal window for the script.
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_WEB, "Page", page), 0);
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_FILE, "Text", text), 0);
  const std::string picture = (folder / "gone.jpg").string();
  script.Then<QMessageBox>(
      ExpectMessage(QString::fromStdString("Unable to find selected file " + picture)));
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_IMAGE, "Picture", picture), 0);
  // Types the viewer does not show close it at once.
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_MODEL, "Model", text), -1);
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_MEDIA, "Media", text), -1);
  script.Finish();
}

TEST(LinkViewerTest, FileLinkShowsTheWholeTextReadOnly) {
  ScratchFolder folder;
  const std::string utf8 = "Façade nord\r\nsecond line\tand a tab\n";
  WriteFile(folder / "notes.txt", utf8);
  CShowLinkDlg viewer(nullptr, LINK_FILE, "Notes", (folder / "notes.txt").string());
  ASSERT_EQ(viewer.OpenLink(), 1);
  viewer.show();
  EXPECT_EQ(viewer.GetTextView()->toPlainText(), "Façade nord\nsecond line\tand a tab\n");
  EXPECT_TRUE(viewer.GetTextView()->isReadOnly());
  EXPECT_FALSE(viewer.GetNote()->isVisible());
  QTest::keyClicks(viewer.GetTextView(), "typed");
  EXPECT_FALSE(viewer.GetTextView()->toPlainText().contains("typed"));
  viewer.grab().save(Output("link-text.png"));

  // Bytes that are not UTF-8 are shown one character per byte, none lost.
  WriteFile(folder / "latin1.txt",
            "caf\xe9 \xb0"
            "C");
  CShowLinkDlg latin(nullptr, LINK_FILE, "Latin", (folder / "latin1.txt").string());
  ASSERT_EQ(latin.OpenLink(), 1);
  EXPECT_EQ(latin.GetTextView()->toPlainText(), QString::fromUtf8("café °C"));
}

TEST(LinkViewerTest, ImageLinkShowsThePictureInTheDrawingView) {
  ScratchFolder folder;
  // Left half orange, right half blue, with a white band along the bottom rows.
  QImage picture(600, 400, QImage::Format_RGB32);
  picture.fill(QColor(240, 140, 20));
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x) {
      if (x >= 300) picture.setPixelColor(x, y, QColor(20, 60, 230));
      if (y >= 360) picture.setPixelColor(x, y, Qt::white);
    }
  const fs::path path = folder / "north façade.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));

  CShowLinkDlg viewer(nullptr, LINK_IMAGE, "North façade", path.string());
  ASSERT_EQ(viewer.OpenLink(), 1);
  viewer.show();
  CCadView* view = viewer.GetImageView();
  ASSERT_NE(view, nullptr);
  QTest::qWait(200);
  const CCadDrawing* drawing = view->GetDrawing();
  ASSERT_EQ(drawing->CountEntities(), 1);
  const CadEntity& image = drawing->GetEntities().front();
  EXPECT_EQ(image.type, CAD_IMAGE);
  EXPECT_EQ(image.layerId, 0);
  EXPECT_EQ(image.vertices.front().x, 0);
  EXPECT_EQ(image.vertices.front().y, 0);
  EXPECT_TRUE(drawing->IsReadOnly());
  // Zoomed to its extents, y up: the picture's corners are where the drawing says.
  const QImage shown = view->grab().toImage();
  const QPoint orange = view->ToScreen(150, 200).toPoint();
  const QPoint blue = view->ToScreen(450, 200).toPoint();
  const QPoint white = view->ToScreen(300, 20).toPoint();
  EXPECT_EQ(shown.pixelColor(orange), QColor(240, 140, 20));
  EXPECT_EQ(shown.pixelColor(blue), QColor(20, 60, 230));
  EXPECT_EQ(shown.pixelColor(white), QColor(Qt::white));
  EXPECT_GT(view->GetScale() * 600, view->width() * 0.8);
  viewer.grab().save(Output("link-image.png"));

  // The wheel zooms in about the cursor.
  const double scale = view->GetScale();
  QWheelEvent wheel(QPointF(orange), QPointF(view->mapToGlobal(orange)), {}, {0, 120}, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view, &wheel);
  EXPECT_GT(view->GetScale(), scale);

  // A file that is no picture says so and shows nothing.
  WriteFile(folder / "plan.jpg", "not a picture");
  ModalScript script;
  script.Then<QMessageBox>([](QMessageBox* box) {
    EXPECT_TRUE(box->text().startsWith("Unable to read the picture")) << box->text().toStdString();
    box->accept();
  });
  EXPECT_EQ(ShowLinkViewer(nullptr, LINK_IMAGE, "Plan", (folder / "plan.jpg").string()), 0);
  script.Finish();
}

TEST(LinkViewerTest, HugeFileShowsItsBeginningWithNote) {
  ScratchFolder folder;
  const std::string line(79, 'x');
  {
    std::ofstream out(folder / "huge.log", std::ios::binary);
    for (qint64 written = 0; written <= CShowLinkDlg::kMaxTextBytes; written += 80)
      out << line << '\n';
  }
  CShowLinkDlg viewer(nullptr, LINK_FILE, "Log", (folder / "huge.log").string());
  ASSERT_EQ(viewer.OpenLink(), 1);
  viewer.show();
  EXPECT_EQ(viewer.GetTextView()->toPlainText().size(), CShowLinkDlg::kMaxTextBytes);
  EXPECT_TRUE(viewer.GetNote()->isVisible());
  EXPECT_TRUE(viewer.GetNote()->text().contains(
      QString("only its first %1 bytes are shown").arg(CShowLinkDlg::kMaxTextBytes)));
}

TEST(LinkViewerTest, PlayerPlaysSoundAndVideo) {
  const fs::path sound = SampleData("misc") / "digicam_P1010006.WAV";
  if (!fs::is_regular_file(sound)) GTEST_SKIP() << "no sample sound";
  CMediaPlayerDlg player(nullptr, "Door sound");
  player.show();
  player.Play(QString::fromStdString(sound.string()));
  // Without a sound device the sound is played through at once.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return player.GetPlayer()->position() > 300 ||
               player.GetPlayer()->mediaStatus() == QMediaPlayer::EndOfMedia;
      },
      15000));
  EXPECT_EQ(player.GetProblem(), "");
  EXPECT_EQ(player.windowTitle(), "Door sound");
  EXPECT_FALSE(player.GetPlayer()->isVideoAvailable());
  EXPECT_EQ(player.GetNote()->isVisible(), QAudioDeviceInfo::defaultOutputDevice().isNull());
  player.grab().save(Output("media-player-sound.png"));

  // A clip of 3 seconds, a white square moving over blue.
  ScratchFolder folder;
  const fs::path clip = folder / "clip.avi";
  {
    cv::VideoWriter writer(clip.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10,
                           {320, 240});
    ASSERT_TRUE(writer.isOpened());
    for (int frame = 0; frame < 30; ++frame) {
      cv::Mat picture(240, 320, CV_8UC3, cv::Scalar(200, 60, 20));
      cv::rectangle(picture, cv::Rect(frame * 8, 80, 60, 60), cv::Scalar(255, 255, 255), -1);
      writer.write(picture);
    }
  }
  CMediaPlayerDlg video(nullptr, "Camera clip");
  video.show();
  video.Play(QString::fromStdString(clip.string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return video.GetPlayer()->position() > 1000; }, 15000))
      << video.GetProblem().toStdString();
  EXPECT_TRUE(video.GetPlayer()->isVideoAvailable());
  EXPECT_EQ(video.GetPositionSlider()->maximum(), 3000);
  EXPECT_TRUE(video.GetTimeLabel()->text().endsWith(" / 0:03"));
  // Pause holds the position.
  QTest::mouseClick(video.GetPlayButton(), Qt::LeftButton);
  EXPECT_EQ(video.GetPlayer()->state(), QMediaPlayer::PausedState);
  const qint64 paused = video.GetPlayer()->position();
  QTest::qWait(400);
  EXPECT_EQ(video.GetPlayer()->position(), paused);
  const QImage picture = video.grab().toImage();
  picture.save(Output("media-player.png"));
}

TEST(LinkViewerTest, UnplayableOrMissingMediaGivesMessage) {
  ScratchFolder folder;
  const std::string noise = (folder / "noise.wav").string();
  WriteFile(noise, std::string(4096, '\x5a'));
  const std::string missing = (folder / "missing.mp3").string();
  ModalScript script;
  QString played;
  script.Then<QMessageBox>([&](QMessageBox* box) {
    played = box->text();
    box->accept();
  });
  script.Then<QMessageBox>(
      ExpectMessage(QString::fromStdString("Unable to find selected file " + missing)));
  EXPECT_EQ(PlayMedia(nullptr, "Noise", noise), 0);
  EXPECT_EQ(PlayMedia(nullptr, "Missing", missing), 0);
  script.Finish();
  EXPECT_TRUE(played.startsWith(QString::fromStdString("Unable to play " + noise + ":\n")))
      << played.toStdString();
}

TEST(LinkViewerTest, VantelStartsBesideTheProgramInTheModelFolder) {
  const fs::path program =
      fs::path(QCoreApplication::applicationDirPath().toStdString()) / "Vantel";
  ASSERT_FALSE(fs::exists(program));
  ScratchFolder folder;
  const fs::path model = folder / "survey's model; $(touch x).vnt";
  WriteFile(model, "model");
  {
    ModalScript script;
    script.Then<QMessageBox>(ExpectMessage(QString::fromStdString(
        "Unable to find '" + program.string() + "'\nPlease contact Talvern Software")));
    EXPECT_EQ(StartVantel(nullptr, model.string()), 0);
    script.Finish();
  }
  // A stand-in program writes where it ran and the argument it got.
  WriteFile(program, "#!/bin/sh\npwd > \"$1.ran\"\nprintf '%s' \"$1\" >> \"$1.ran\"\n");
  fs::permissions(program, fs::perms::owner_all);
  const int started = StartVantel(nullptr, model.string());
  const fs::path ran = model.string() + ".ran";
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, 10000));
  fs::remove(program);
  ASSERT_EQ(started, 1);
  std::ifstream in(ran);
  std::string folderLine, argument;
  std::getline(in, folderLine);
  std::getline(in, argument);
  EXPECT_EQ(folderLine, folder.Path().string());
  EXPECT_EQ(argument, model.string());
  EXPECT_FALSE(fs::exists(folder / "x"));
}

TEST(LinkViewerTest, MissingDocumentGivesMessage) {
  ModalScript script;
  script.Then<QMessageBox>(ExpectMessage("Unable to find selected file /no such folder/plan.pdf"));
  EXPECT_EQ(OpenDocument("/no such folder/plan.pdf"), 0);
  script.Finish();
}
