#include "ui/main/live_search.h"

#include <QLineEdit>
#include <QTimer>

CLiveSearch::CLiveSearch(QLineEdit* edit, QObject* parent)
    : QObject(parent), m_edit(edit), m_pause(new QTimer(this)) {
  m_pause->setSingleShot(true);
  m_pause->setTimerType(Qt::PreciseTimer);
  m_pause->setInterval(kPauseMs);
  connect(m_pause, &QTimer::timeout, this, [this] { emit SearchRequested(m_edit->text()); });
  connect(edit, &QLineEdit::textChanged, this, &CLiveSearch::OnTextChanged);
}

void CLiveSearch::OnTextChanged(const QString& text) {
  if (text.isEmpty()) {
    m_pause->stop();
    emit SearchRequested(text);
    return;
  }
  m_pause->start();
}

void CLiveSearch::Flush() { m_pause->stop(); }
