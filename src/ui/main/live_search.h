#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class QTimer;

// Searches as the installer types: every change of the search box starts a short pause, and the
// search runs once the typing rests for that long, so a fast typist does not refill the list at
// every key. An emptied box (its × button, or the last character deleted) searches at once, so
// the whole list is back without a wait.
class CLiveSearch : public QObject {
  Q_OBJECT
public:
  static constexpr int kPauseMs = 150;

  CLiveSearch(QLineEdit* edit, QObject* parent);

  // Runs a search that is still waiting now (the Search button, Enter).
  void Flush();

signals:
  void SearchRequested(const QString& text);

private:
  void OnTextChanged(const QString& text);

  QLineEdit* m_edit;
  QTimer* m_pause;
};
