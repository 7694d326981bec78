#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "app/widgets/ProgressTimeToCompleteCtrl.h"

namespace {

// The test palette: bar in highlight blue, text black on white and yellow over the bar.
const QColor kBar = Qt::blue;
const QColor kText = Qt::black;
const QColor kTextOverBar = Qt::yellow;

// A control whose clock stands where the test puts it; the timer starts at 0.
class ClockedCtrl : public TProgressTimeToCompleteCtrl {
 public:
  explicit ClockedCtrl(int width, int height, Qt::Orientation orientation = Qt::Horizontal) {
    setOrientation(orientation);
    resize(width, height);
    m_StartTicks = 0;
  }
  std::int64_t m_Now = 0;

  QImage Picture() { return grab().toImage(); }

 protected:
  std::int64_t NowMs() const override { return m_Now; }
};

bool Is(const QImage& image, int x, int y, const QColor& color) {
  return image.pixelColor(x, y).rgb() == color.rgb();
}

// Runs of pixels of one colour along a row (left to right) or a column (bottom up).
std::vector<std::pair<int, int>> Runs(const QImage& image, const QColor& color, bool alongColumn,
                                      int line) {
  std::vector<std::pair<int, int>> runs;
  const int length = alongColumn ? image.height() : image.width();
  for (int i = 0; i < length; ++i) {
    const bool hit =
        alongColumn ? Is(image, line, image.height() - 1 - i, color) : Is(image, i, line, color);
    if (!hit) continue;
    if (!runs.empty() && runs.back().first + runs.back().second == i)
      ++runs.back().second;
    else
      runs.push_back({i, 1});
  }
  return runs;
}

QRect BoundsOf(const QImage& image, const QColor& color) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (Is(image, x, y, color)) bounds |= QRect(x, y, 1, 1);
  return bounds;
}

// The horizontal extent of the painted text, in either colour.
QRect TextBounds(const QImage& image) {
  return BoundsOf(image, kText) | BoundsOf(image, kTextOverBar);
}

TEST(ProgressTimeToCompleteCtrl, PaintsChunksOrOneSmoothBarInTheHighlightColour) {
  ClockedCtrl bar(200, 20);
  bar.SetRange(0, 100);
  const auto chunks = [&bar](int pos) {
    bar.SetPos(pos);
    return Runs(bar.Picture(), kBar, false, 10).size();
  };
  EXPECT_EQ(chunks(0), 0u);
  EXPECT_EQ(chunks(1), 1u);
  EXPECT_EQ(chunks(50), 9u);
  EXPECT_EQ(chunks(100), 18u);

  bar.SetSmooth(true);
  bar.SetPos(30);
  const auto runs = Runs(bar.Picture(), kBar, false, 10);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0], std::make_pair(0, 60));

  bar.SetBarColor(Qt::red);
  EXPECT_EQ(Runs(bar.Picture(), Qt::red, false, 10).size(), 1u);
}

TEST(ProgressTimeToCompleteCtrl, VerticalBarsFillFromTheBottom) {
  ClockedCtrl bar(20, 200, Qt::Vertical);
  bar.SetRange(0, 100);
  bar.SetPos(50);
  const auto chunks = Runs(bar.Picture(), kBar, true, 10);
  ASSERT_EQ(chunks.size(), 9u);
  EXPECT_EQ(chunks.front(), std::make_pair(9, 8));

  bar.SetSmooth(true);
  bar.SetPos(25);
  const QImage picture = bar.Picture();
  EXPECT_EQ(Runs(picture, kBar, true, 10), (std::vector<std::pair<int, int>>{{0, 50}}));
  EXPECT_TRUE(Is(picture, 10, 0, Qt::white));
}

TEST(ProgressTimeToCompleteCtrl, ShowsTheTextUpToTwoPercentThenTheCentredEstimate) {
  ClockedCtrl bar(300, 24);
  bar.SetText("Opening");
  bar.SetPrefix("Reading:");
  bar.SetRange(0, 100);
  bar.m_Now = 3000;
  bar.SetPos(2);
  QImage picture = bar.Picture();
  EXPECT_EQ(bar.text(), "Opening");
  const QFontMetrics metrics(bar.font());
  EXPECT_NEAR(TextBounds(picture).width(), metrics.horizontalAdvance("Opening"), 3);

  // 3 % took 3 s, so 97 s remain.
  bar.SetPos(3);
  picture = bar.Picture();
  const QString estimate = "Reading: 1 minute, 37 seconds remaining";
  EXPECT_EQ(bar.text(), estimate);
  const QRect text = TextBounds(picture);
  EXPECT_NEAR(text.width(), metrics.horizontalAdvance(estimate), 3);
  EXPECT_NEAR(text.center().x(), 150, 3);
  EXPECT_NEAR(text.center().y(), 12, 3);
}

TEST(ProgressTimeToCompleteCtrl, TextReadsInvertedOverTheBar) {
  ClockedCtrl bar(300, 24);
  bar.SetSmooth(true);
  bar.SetRange(0, 100);
  bar.SetPos(50);
  bar.m_Now = 200'000;
  const QImage picture = bar.Picture();
  ASSERT_EQ(bar.text(), "3 minutes, 20 seconds remaining");
  const QRect overBar = BoundsOf(picture, kTextOverBar);
  const QRect overBackground = BoundsOf(picture, kText);
  ASSERT_FALSE(overBar.isEmpty());
  ASSERT_FALSE(overBackground.isEmpty());
  EXPECT_LT(overBar.right(), 150);
  EXPECT_GE(overBackground.left(), 150);

  // The gaps between chunks belong to the background, so the text there reads normally.
  bar.SetSmooth(false);
  const QImage chunked = bar.Picture();
  for (const auto& [start, length] : Runs(chunked, kTextOverBar, false, 12))
    for (int x = start; x < start + length; ++x) EXPECT_TRUE(Is(chunked, x, 2, kBar)) << x;
}

TEST(ProgressTimeToCompleteCtrl, ShowTimeOffLeavesNoEstimate) {
  ClockedCtrl bar(300, 24);
  bar.SetShowTime(0);
  bar.SetRange(0, 100);
  bar.SetPos(50);
  bar.m_Now = 10'000;
  EXPECT_TRUE(TextBounds(bar.Picture()).isEmpty());
  EXPECT_EQ(bar.text(), "");

  // Under one second left there is nothing to say either.
  bar.SetShowTime(1);
  bar.m_Now = 500;
  EXPECT_TRUE(TextBounds(bar.Picture()).isEmpty());
}

TEST(ProgressTimeToCompleteCtrl, VerticalTextIsTurnedAndCentred) {
  ClockedCtrl bar(30, 300, Qt::Vertical);
  bar.SetText("Opening the stream");
  const QRect text = TextBounds(bar.Picture());
  ASSERT_FALSE(text.isEmpty());
  EXPECT_GT(text.height(), 3 * text.width());
  EXPECT_NEAR(text.center().x(), 15, 3);
  EXPECT_NEAR(text.center().y(), 150, 3);
}

TEST(ProgressTimeToCompleteCtrl, RepaintsAndLetsEventsThroughWhenTheLibraryMovesIt) {
  ClockedCtrl bar(300, 24);
  bar.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
  TProgressTimeToComplete* progress = &bar;
  bool eventDelivered = false;
  QTimer::singleShot(0, &bar, [&eventDelivered] { eventDelivered = true; });
  bar.m_Now = 5000;
  progress->SetRange(0, 10);
  progress->SetPos(5);
  EXPECT_TRUE(eventDelivered);
  EXPECT_EQ(bar.text(), "5 seconds remaining");
  EXPECT_EQ(bar.value(), 5);
  EXPECT_EQ(bar.maximum(), 10);

  // Qt code moving the bar moves the model as well.
  bar.setValue(8);
  EXPECT_EQ(progress->GetPos(), 8);
}

TEST(ProgressTimeToCompleteCtrl, SavesAPictureToLookAt) {
  ClockedCtrl across(300, 24);
  across.SetRange(0, 100);
  across.SetPos(61);
  across.m_Now = 61'000;
  ClockedCtrl upwards(24, 200, Qt::Vertical);
  upwards.SetSmooth(true);
  upwards.SetRange(0, 100);
  upwards.SetPos(40);
  upwards.m_Now = 40'000;

  QImage sheet(320, 254, QImage::Format_RGB32);
  sheet.fill(Qt::lightGray);
  QPainter painter(&sheet);
  painter.drawImage(10, 10, across.Picture());
  painter.drawImage(10, 44, upwards.Picture());
  painter.end();
  const QString path = QString(WIDGETS_TEST_OUTPUT_DIR) + "/progress_bars.png";
  EXPECT_TRUE(sheet.save(path));
}

}  // namespace
