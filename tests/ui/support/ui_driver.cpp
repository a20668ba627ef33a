#include "ui/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "ui/framework/dialog_codes.h"
#include "ui/framework/message_box.h"

namespace uitest {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return condition();
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

void WhenModalShown(std::function<void(QWidget* modal)> action, int timeoutMs, QWidget* notThis) {
  auto* poll = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QPointer<QWidget> skip(notThis);
  QObject::connect(poll, &QTimer::timeout, poll,
                   [poll, clock, skip, timeoutMs, action = std::move(action)] {
                     QWidget* modal = QApplication::activeModalWidget();
                     if (modal && modal != skip && modal->isVisible()) {
                       poll->stop();
                       poll->deleteLater();
                       action(modal);
                       return;
                     }
                     if (clock->elapsed() > timeoutMs) {
                       poll->stop();
                       poll->deleteLater();
                       ADD_FAILURE() << "no modal window came up within " << timeoutMs << " ms";
                     }
                   });
  poll->start(5);
}

bool ClickControl(QWidget* window, const QString& name) {
  QWidget* w = FindVisible(window, name);
  if (!w || !w->isVisible() || !w->isEnabled()) return false;
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->click();
    return true;
  }
  ClickAt(w, w->rect().center());
  return true;
}

QString ReadLabel(QWidget* window, const QString& name) {
  QWidget* w = FindVisible(window, name);
  const QString text = w ? DisplayedText(w) : QString();
  return text.isNull() ? QStringLiteral("<missing>") : text;
}

MessageBoxAnswers::MessageBoxAnswers() {
  SetMessageBoxHook([this](QWidget*, const QString& title, const QString& text, int buttons) {
    m_shown.push_back({title, text, buttons});
    if (m_answers.empty()) {
      ADD_FAILURE() << "unexpected message box: \"" << title.toStdString() << "\" / \""
                    << text.toStdString() << "\"";
      return IDCANCEL;
    }
    Answer answer = m_answers.front();
    m_answers.erase(m_answers.begin());
    if (!answer.expectText.isEmpty()) {
      EXPECT_TRUE(text.contains(answer.expectText))
          << "message box text \"" << text.toStdString() << "\" lacks \""
          << answer.expectText.toStdString() << "\"";
    }
    return answer.code;
  });
}

MessageBoxAnswers::~MessageBoxAnswers() {
  SetMessageBoxHook({});
  EXPECT_TRUE(m_answers.empty()) << m_answers.size() << " queued message box answer(s) not used";
}

void MessageBoxAnswers::Queue(int answer, const QString& expectText) {
  m_answers.push_back({answer, expectText});
}

void SaveShot(QWidget* window, const QString& name) {
  const QString dir = qEnvironmentVariable("IPS_SHOTS_DIR");
  if (dir.isEmpty() || !window) return;
  window->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace uitest
