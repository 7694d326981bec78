// What the shell tests share: clicking a command and answering modal windows as a user does,
// photographs with orientations, and the folder the screenshots go to.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <filesystem>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "app/shell/MainFrame.h"
#include "nimbex/platform/Orientation.h"
#include "tests/app/ProgramTestSupport.h"

// A photograph with, when `oriented`, the orientation of a camera above the site.
inline void WritePhoto(const std::filesystem::path& path, int width, int height, bool oriented) {
  std::filesystem::create_directories(path.parent_path());
  cv::imwrite(path.string(), cv::Mat(height, width, CV_8UC3, cv::Scalar(30, 140, 220)));
  if (!oriented) return;
  COrientation orientation;
  orientation.SetInterior(35, {0, 0}, 0.01, width, height);
  orientation.SetExterior({1000, 2000, 320}, 0, 0, 0);
  orientation.WriteINT(std::filesystem::path(path).replace_extension(".int"));
  orientation.WriteEST(std::filesystem::path(path).replace_extension(".est"));
}

// Where a test's screenshots go.
inline QString Output(const std::string& name) {
  return QString(SHELL_TEST_OUTPUT_DIR) + "/" + QString::fromStdString(name);
}

// Clicks the command of a tool button in the tab of the command tabs, as a user does.
inline void ClickCommand(CMainFrame& frame, const QString& tab, const QString& command) {
  QTabWidget* tabs = frame.GetCommandTabs();
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == tab)
      QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(i).center());
  for (QToolButton* button : tabs->currentWidget()->findChildren<QToolButton*>())
    if (button->defaultAction() && button->defaultAction()->text() == command)
      return QTest::mouseClick(button, Qt::LeftButton);
  ADD_FAILURE() << "no command " << command.toStdString() << " in " << tab.toStdString();
}

// Plays the user's part in the modal windows a command opens: each step waits for the next
// modal window of the kind it expects and acts on it. The action runs from the event loop
// rather than the watching timer, so that a modal window it opens in turn is seen as well. A
// window that comes once every step was played, or one still open when the time is up, is
// closed, so that no test hangs on it, except the kinds the script lets pass (the progress
// dialog a running command keeps modal). One script at a time: each watches every modal window.
class ModalScript {
 public:
  explicit ModalScript(int timeoutMs = 30000) {
    QObject::connect(&m_Timer, &QTimer::timeout, [this] { Watch(); });
    m_Timer.start(30);
    m_Deadline.start();
    m_TimeoutMs = timeoutMs;
  }
  ~ModalScript() {
    EXPECT_TRUE(m_Steps.empty()) << m_Steps.size() << " modal window(s) never came";
  }

  template <class Window>
  ModalScript& Then(std::function<void(Window*)> act) {
    m_Steps.push_back({[](QWidget* modal) { return qobject_cast<Window*>(modal) != nullptr; },
                       [act](QWidget* modal) { act(qobject_cast<Window*>(modal)); }});
    return *this;
  }
  // Windows of this kind are neither played nor closed.
  template <class Window>
  ModalScript& LetPass() {
    m_Passing.push_back([](QWidget* modal) { return qobject_cast<Window*>(modal) != nullptr; });
    return *this;
  }
  bool Done() const { return m_Steps.empty() && !m_Pending; }
  // Runs the event loop until every step has been played and no modal window is left.
  void Finish() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return Done() && !QApplication::activeModalWidget(); },
                                m_TimeoutMs))
        << "the modal windows did not come and go as the steps expect";
  }

 private:
  void Watch() {
    QWidget* modal = QApplication::activeModalWidget();
    if (m_Deadline.elapsed() > m_TimeoutMs) {
      if (modal) {
        ADD_FAILURE() << "modal window " << modal->metaObject()->className() << " left open";
        modal->close();
      }
      return;
    }
    if (m_Pending || !modal || !modal->isVisible()) return;
    for (const auto& passes : m_Passing)
      if (passes(modal)) return;
    // A window a step acted on may stay active a moment after the last step, until the
    // command that opened it goes on; one still open at the deadline fails above.
    if (m_Steps.empty() && m_ActedOn.contains(modal)) return;
    if (m_Steps.empty()) {
      ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
      modal->close();
      return;
    }
    // The window the last step acted on stays the active one until the window it opens
    // shows: wait for the kind the next step expects.
    if (!m_Steps.front().matches(modal)) return;
    std::function<void(QWidget*)> act = m_Steps.front().act;
    m_Steps.pop_front();
    m_Pending = true;
    m_ActedOn.insert(modal);
    QPointer<QWidget> window(modal);
    QTimer::singleShot(0, &m_Timer, [this, act, window] {
      m_Pending = false;
      if (window) act(window);
    });
  }

  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };

  std::deque<Step> m_Steps;
  std::vector<std::function<bool(QWidget*)>> m_Passing;
  QSet<QWidget*> m_ActedOn;
  bool m_Pending = false;
  QTimer m_Timer;
  QElapsedTimer m_Deadline;
  int m_TimeoutMs;
};
