#pragma once

// Helpers to drive windows in UI tests (QT_QPA_PLATFORM=offscreen). Every ui_<area> binary
// links this folder; each area provides its own main() with a QApplication.
//
//   MessageBoxAnswers boxes;                     // ShowMessageBox answers from the queue
//   boxes.Queue(IDYES, "reboot");                // expected text fragment (optional)
//   WhenModalShown([](QWidget* dlg) { ClickControl(dlg, "btn_ok"); });
//   EXPECT_EQ(dlg.DoModal(), IDOK);
//   // ~MessageBoxAnswers: a box nobody queued for, or an answer left over, fails the test.

#include <QPoint>
#include <QString>
#include <functional>
#include <vector>

#include "ui/support/widget_actions.h"

class QWidget;

namespace uitest {

// Processes events until `condition` holds or `timeoutMs` passes; returns the condition.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Once the next modal window (other than `notThis`) is visible, runs `action` on it from the
// event loop. A window that does not come within `timeoutMs` fails the test.
void WhenModalShown(std::function<void(QWidget* modal)> action, int timeoutMs = 5000,
                    QWidget* notThis = nullptr);

// Clicks the control `name`: a button is clicked, other controls get a mouse press and release
// at their centre. false when there is no such control or it is hidden or disabled.
bool ClickControl(QWidget* window, const QString& name);

// With IPS_SHOTS_DIR set (a run under Xvfb), saves `window` as <dir>/<name>.png for a person
// to look at; does nothing otherwise.
void SaveShot(QWidget* window, const QString& name);

// Text of the label (or button, line edit) `name`; "<missing>" when there is none.
QString ReadLabel(QWidget* window, const QString& name);

struct ShownBox {
  QString title;
  QString text;
  int buttons;
};

// Installs the message box test hook for its lifetime.
class MessageBoxAnswers {
public:
  MessageBoxAnswers();
  ~MessageBoxAnswers();
  MessageBoxAnswers(const MessageBoxAnswers&) = delete;
  MessageBoxAnswers& operator=(const MessageBoxAnswers&) = delete;

  // The next box gets `answer`; when `expectText` is given, the box's text must contain it.
  void Queue(int answer, const QString& expectText = QString());
  const std::vector<ShownBox>& Shown() const { return m_shown; }

private:
  struct Answer {
    int code;
    QString expectText;
  };
  std::vector<Answer> m_answers;
  std::vector<ShownBox> m_shown;
};

}  // namespace uitest
