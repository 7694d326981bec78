// The filter page as a user works it: clicks and keys on the real controls, with a recording
// image panel that filters four cameras with the page's settings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "FakeImagePanel.h"
#include "FiltersDlg.h"

namespace fs = std::filesystem;

namespace {

QString Output(const std::string& name) {
  return QString(IMAGES_TEST_OUTPUT_DIR) + "/" + QString::fromStdString(name);
}

SPovImage Camera(const std::string& path, double x, int date = 20240601) {
  SPovImage image;
  image.path = path;
  image.hasPov = image.oriented = true;
  image.centre[0] = x;
  for (int i = 0; i < 3; ++i) image.rotation[i][i] = 1;
  image.date = date;
  return image;
}

// Answers the message boxes the page opens and keeps their texts.
class ModalBoxAnswerer {
 public:
  explicit ModalBoxAnswerer(QMessageBox::StandardButton answer) {
    QObject::connect(&m_Timer, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      texts << box->text();
      QAbstractButton* button = box->button(answer);
      button ? button->click() : box->reject();
    });
    m_Timer.start(20);
  }
  QStringList texts;

 private:
  QTimer m_Timer;
};

class FiltersPage : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "filters page-XXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    m_Panel.images = {Camera("ref.jpg", 0, 20240310), Camera("near.jpg", 1.9, 20240315),
                      Camera("mid.jpg", 2.5, 20240320), Camera("far.jpg", 20, 20240321)};
    m_Panel.current = "ref.jpg";
    m_Page = std::make_unique<CFiltersDlg>(m_Panel);
    m_Panel.filters = m_Page.get();
    m_Page->SetFilterFile((m_Folder / "site_filter.ini").string());
    m_Page->resize(340, 760);
    m_Page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_Page.get()));
  }
  void TearDown() override {
    m_Page.reset();
    fs::remove_all(m_Folder);
  }

  template <class T>
  T* Named(const char* name) const {
    T* widget = m_Page->findChild<T*>(name);
    EXPECT_TRUE(widget) << name;
    return widget;
  }
  QCheckBox* Box(const QString& text) const {
    for (QCheckBox* box : m_Page->findChildren<QCheckBox*>())
      if (box->text() == text) return box;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
  }
  QPushButton* Button(const QString& text) const {
    for (QPushButton* button : m_Page->findChildren<QPushButton*>())
      if (button->text() == text) return button;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
  }
  // On a check box the click must meet its indicator or its text, at its left end.
  void Click(QAbstractButton* button) {
    const bool checkBox = qobject_cast<QCheckBox*>(button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier,
                      checkBox ? QPoint(8, button->height() / 2) : QPoint());
  }
  void TypeRadius(const QString& text) {
    QLineEdit* box = Named<QLineEdit>("radiusBox");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
  }
  std::vector<std::string> Available() const { return m_Panel.result.available; }
  QString Status() const { return Named<QLabel>("status")->text(); }

  fs::path m_Folder;
  CFakeImagePanel m_Panel;
  std::unique_ptr<CFiltersDlg> m_Page;
};

using Paths = std::vector<std::string>;

TEST_F(FiltersPage, StartsWithNoFilterAndFiltersByTheWholeRadius) {
  EXPECT_TRUE(Box("Show camera positions")->isChecked());
  EXPECT_TRUE(Box("Show current camera view")->isChecked());
  for (const char* off : {"Time Filter", "Space Filter", "Show Sphere", "Enlight Current View",
                          "Omega", "Phi", "Kappa"})
    EXPECT_FALSE(Box(off)->isChecked()) << off;
  EXPECT_EQ(Named<QSlider>("radiusSlider")->minimum(), 1);
  EXPECT_EQ(Named<QSlider>("radiusSlider")->maximum(), 100);
  EXPECT_EQ(Named<QSlider>("radiusSlider")->value(), 50);
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "1.0");
  EXPECT_EQ(Named<QSlider>("markerScale")->value(), 50);
  EXPECT_FALSE(Named<QSpinBox>("omegaLow")->isEnabled());
  EXPECT_EQ(Named<QLabel>("kappaText")->text(), QString::fromUtf8("-15\u00b0 +15\u00b0"));
  EXPECT_EQ(Status(), "No filters active");
  m_Page->grab().save(Output("filters-page.png"));

  Click(Button("Load Filter"));  // no file yet: the defaults, and every camera is offered
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg", "mid.jpg", "far.jpg"}));
  EXPECT_EQ(Named<QSlider>("radiusSlider")->maximum(), 10);
  EXPECT_EQ(Status(), "No filters active");

  Click(Box("Space Filter"));
  TypeRadius("2.7");
  Click(Named<QPushButton>("applyRadius"));
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg"}));
  EXPECT_EQ(Status(), "Total images: 4 - Currently available: 2");
  EXPECT_DOUBLE_EQ(m_Page->SphereRadius(), 2.7);
  EXPECT_DOUBLE_EQ(m_Panel.sphereRadius, 2.7);
  EXPECT_EQ(Named<QSlider>("radiusSlider")->value(), 2);
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "2.7");

  // The sphere shows with both boxes ticked; the slider writes whole numbers into the box.
  Click(Box("Show Sphere"));
  EXPECT_TRUE(m_Panel.sphereShown);
  Click(Box("Space Filter"));
  EXPECT_FALSE(m_Panel.sphereShown);
  EXPECT_EQ(Status(), "No filters active");
  Click(Box("Space Filter"));
  EXPECT_TRUE(m_Panel.sphereShown);
  Named<QSlider>("radiusSlider")->setFocus();
  QTest::keyClick(Named<QSlider>("radiusSlider"), Qt::Key_Right);
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "3");
  EXPECT_EQ(m_Panel.sphereRadius, 3);
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg", "mid.jpg"}));

  // Out of range radii are brought back: at least 0.1, at most the slider's maximum (10 as
  // loaded).
  TypeRadius("abc");
  Click(Named<QPushButton>("applyRadius"));
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "0.1");
  TypeRadius("250");
  Click(Named<QPushButton>("applyRadius"));
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "10.0");

  Click(Box("Show camera positions"));
  EXPECT_FALSE(m_Page->CameraPositionsShown());
  Click(Box("Show camera positions"));
  Click(Box("Enlight Current View"));
  Click(Box("Show current camera view"));
  EXPECT_TRUE(m_Panel.camerasShown && m_Panel.highlighted && !m_Panel.currentViewShown);
  EXPECT_TRUE(m_Page->CameraPositionsShown() && !m_Page->CurrentViewShown());
  Named<QSlider>("markerScale")->setFocus();
  QTest::keyClick(Named<QSlider>("markerScale"), Qt::Key_Left);
  EXPECT_EQ(m_Panel.markerScale, 49);
  EXPECT_EQ(m_Page->MarkerScalePosition(), 49);
}

TEST_F(FiltersPage, TheDatePickersStayInOrderAndBothDaysPass) {
  m_Page->SetDateRange(20240310, 20240320);
  Click(Box("Time Filter"));
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg", "mid.jpg"}));

  QDateEdit* from = Named<QDateEdit>("from");
  QDateEdit* to = Named<QDateEdit>("to");
  from->setDate(QDate(2024, 3, 21));
  EXPECT_EQ(to->date(), QDate(2024, 3, 21));
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "far.jpg"}));
  to->setDate(QDate(2024, 3, 15));
  EXPECT_EQ(from->date(), QDate(2024, 3, 15));
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg"}));
}

TEST_F(FiltersPage, AngleBoxesEnableTheirWindows) {
  QCheckBox* phi = Box("Phi");
  QSpinBox* low = Named<QSpinBox>("phiLow");
  Click(phi);
  EXPECT_TRUE(low->isEnabled() && Named<QSpinBox>("phiUp")->isEnabled());
  EXPECT_TRUE(Named<QLabel>("phiText")->isEnabled());
  EXPECT_FALSE(Named<QSpinBox>("omegaLow")->isEnabled());
  low->setFocus();
  QTest::keyClick(low, Qt::Key_Down);
  EXPECT_EQ(Named<QLabel>("phiText")->text(), QString::fromUtf8("-16\u00b0 +15\u00b0"));
  const int applied = m_Panel.applied;
  Click(Named<QPushButton>("applyAngles"));
  EXPECT_EQ(m_Panel.applied, applied + 1);
  EXPECT_EQ(m_Page->Settings().low[1], 344);
  EXPECT_TRUE(m_Page->Settings().angleActive[1]);
  Click(phi);
  EXPECT_FALSE(low->isEnabled());
}

TEST_F(FiltersPage, SaveThenLoadRestoresEveryControl) {
  m_Page->SetDateRange(20240301, 20240330);
  Click(Box("Time Filter"));
  Named<QDateEdit>("from")->setDate(QDate(2024, 3, 12));
  Named<QDateEdit>("to")->setDate(QDate(2024, 3, 18));
  Click(Box("Space Filter"));
  TypeRadius("7.6");
  Click(Named<QPushButton>("applyRadius"));
  Click(Box("Omega"));
  Click(Box("Kappa"));
  Named<QSpinBox>("omegaLow")->setValue(300);
  Named<QSpinBox>("kappaUp")->setValue(40);
  Named<QSpinBox>("phiUp")->setValue(5);  // kept although the box is off

  {
    ModalBoxAnswerer no(QMessageBox::No);
    Click(Button("Save Filter"));
    ASSERT_EQ(no.texts.size(), 1);
    EXPECT_EQ(no.texts[0],
              "Previous filter settings will be overwritten. Do you want to continue?");
  }
  EXPECT_FALSE(fs::exists(m_Folder / "site_filter.ini"));
  {
    ModalBoxAnswerer yes(QMessageBox::Yes);
    Click(Button("Save Filter"));
    EXPECT_EQ(yes.texts.size(), 1);
  }
  ASSERT_TRUE(fs::exists(m_Folder / "site_filter.ini"));

  Click(Button("Reset Filter"));
  for (const char* off : {"Time Filter", "Space Filter", "Omega", "Phi", "Kappa"})
    EXPECT_FALSE(Box(off)->isChecked()) << off;
  EXPECT_EQ(Named<QDateEdit>("from")->date(), QDate(2024, 3, 1));
  EXPECT_EQ(Named<QDateEdit>("to")->date(), QDate(2024, 3, 30));
  EXPECT_EQ(Named<QSpinBox>("omegaLow")->value(), 345);
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "1");
  EXPECT_EQ(Status(), "No filters active");

  Click(Button("Load Filter"));
  EXPECT_TRUE(Box("Time Filter")->isChecked());
  EXPECT_TRUE(Box("Space Filter")->isChecked());
  EXPECT_TRUE(Box("Omega")->isChecked());
  EXPECT_FALSE(Box("Phi")->isChecked());
  EXPECT_TRUE(Box("Kappa")->isChecked());
  EXPECT_TRUE(Named<QSpinBox>("omegaLow")->isEnabled());
  EXPECT_FALSE(Named<QSpinBox>("phiLow")->isEnabled());
  EXPECT_EQ(Named<QDateEdit>("from")->date(), QDate(2024, 3, 12));
  EXPECT_EQ(Named<QDateEdit>("to")->date(), QDate(2024, 3, 18));
  EXPECT_EQ(Named<QLineEdit>("radiusBox")->text(), "7");
  EXPECT_EQ(Named<QSlider>("radiusSlider")->value(), 7);
  EXPECT_EQ(Named<QSlider>("radiusSlider")->maximum(), 100);
  EXPECT_EQ(Named<QSpinBox>("omegaLow")->value(), 300);
  EXPECT_EQ(Named<QSpinBox>("kappaUp")->value(), 40);
  EXPECT_EQ(Named<QSpinBox>("phiUp")->value(), 5);
  EXPECT_EQ(Named<QLabel>("omegaText")->text(), QString::fromUtf8("-60\u00b0 +15\u00b0"));
  // The loaded filters are in force at once.
  EXPECT_EQ(Available(), (Paths{"ref.jpg", "near.jpg"}));
  EXPECT_EQ(Status(), "Total images: 4 - Currently available: 2");
  m_Page->grab().save(Output("filters-page-loaded.png"));
}

TEST_F(FiltersPage, AFailedSaveSaysSo) {
  m_Page->SetFilterFile((m_Folder / "gone" / "site_filter.ini").string());
  ModalBoxAnswerer yes(QMessageBox::Yes);
  Click(Button("Save Filter"));
  ASSERT_EQ(yes.texts.size(), 2);
  EXPECT_TRUE(yes.texts[1].startsWith("Unable to save the filter settings to "));
}

}  // namespace
