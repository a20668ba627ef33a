// The wait dialog counts seconds while the work runs on another thread and goes away when the
// work has ended, also when the work ends before the window is up.

#include "ui/framework/wait_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "ui/support/ui_driver.h"

using namespace uitest;

namespace {

TEST(WaitDlg, CountsSecondsWhileTheWorkRunsAndClosesWhenItEnds) {
  CWaitDlg wait(nullptr);
  wait.SetMessage("Uploading the firmware package. Please wait...");
  QString message;
  QStringList secondsSeen;
  std::atomic<bool> workOnUiThread{true};
  QThread* uiThread = QThread::currentThread();
  WhenModalShown([&](QWidget* dlg) {
    message = ReadLabel(dlg, "label_msg");
    auto* seconds = dlg->findChild<QLabel*>("label_second");
    ASSERT_NE(seconds, nullptr);
    secondsSeen << seconds->text();
    auto* poll = new QTimer(dlg);
    QObject::connect(poll, &QTimer::timeout, [&secondsSeen, seconds] {
      if (secondsSeen.last() != seconds->text()) secondsSeen << seconds->text();
    });
    poll->start(20);
  });
  QElapsedTimer clock;
  clock.start();
  const int code = wait.Run([&] {
    workOnUiThread = QThread::currentThread() == uiThread;
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
  });
  const qint64 took = clock.elapsed();
  EXPECT_EQ(code, IDOK);
  EXPECT_FALSE(workOnUiThread);
  EXPECT_EQ(message, "Uploading the firmware package. Please wait...");
  // One more each second from 1 (a busy machine may delay the last tick past the work's end).
  ASSERT_GE(secondsSeen.size(), 2);
  EXPECT_LE(secondsSeen.size(), 3);
  for (int i = 0; i < secondsSeen.size(); ++i) EXPECT_EQ(secondsSeen[i], QString::number(i + 1));
  EXPECT_LT(took, 2300 + 700);  // closed as the work ended, not at a later tick
}

// Alt+F4 or the title bar's close button reach the dialog as a close request: refused while the
// work runs, so the caller never waits on work with no window up.
TEST(WaitDlg, WindowManagerCannotCloseItWhileTheWorkRuns) {
  CWaitDlg wait(nullptr);
  std::atomic<bool> release{false};
  bool stillUp = false;
  WhenModalShown([&](QWidget* dlg) {
    dlg->close();  // what the window manager's close does
    QApplication::processEvents();
    stillUp = dlg->isVisible();
    release = true;
  });
  const int code = wait.Run([&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  EXPECT_TRUE(stillUp);
  EXPECT_EQ(code, IDOK);  // closed as the work ended
}

// Holds the window back until the work has surely ended.
class CSlowStartWaitDlg : public CWaitDlg {
public:
  CSlowStartWaitDlg() : CWaitDlg(nullptr) {}

protected:
  void InitWindow() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CWaitDlg::InitWindow();
  }
};

TEST(WaitDlg, WorkThatEndsBeforeTheWindowStillShowsAndClosesWithinASecond) {
  CSlowStartWaitDlg wait;
  bool shown = false;
  WhenModalShown([&](QWidget*) { shown = true; });
  QElapsedTimer clock;
  clock.start();
  const int code = wait.Run([] {});
  const qint64 took = clock.elapsed();
  EXPECT_TRUE(shown);
  EXPECT_EQ(code, IDCANCEL);  // ended by its first tick
  EXPECT_GE(took, 900);
  EXPECT_LT(took, 2000);
}

TEST(WaitDlg, ProgressModeShowsPercentAndCounts) {
  CWaitDlg wait(nullptr);
  wait.EnableProgress(true);
  int value = -1;
  QString tip;
  bool rowVisible = false;
  WhenModalShown([&](QWidget* dlg) {
    rowVisible =
        FindVisible(dlg, "layout_progress") && FindVisible(dlg, "layout_progress")->isVisible();
    auto* timer = new QTimer(dlg);
    QObject::connect(timer, &QTimer::timeout, [&, dlg] {
      value = dlg->findChild<QProgressBar*>("progress")->value();
      tip = ReadLabel(dlg, "lab_progress_tip");
    });
    timer->start(20);
  });
  wait.Run([&] {
    wait.SetProgress(1, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
  });
  EXPECT_TRUE(rowVisible);
  EXPECT_EQ(value, 33);
  EXPECT_EQ(tip, "1/3");
}

}  // namespace
