#include "ui/framework/notify_hub.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include "ui/framework/base_view.h"
#include "ui/framework/ui_wait_clock.h"

namespace {
constexpr const char* kWiredProperty = "ips_wired";
constexpr const char* kLastIndexProperty = "ips_last_index";
}  // namespace

CNotifyHub::CNotifyHub(QWidget* window, CNotifyPump* windowPump)
    : QObject(window), m_window(window), m_windowPump(windowPump) {
  setObjectName(QStringLiteral("ips_notify_hub"));
}

CNotifyHub* CNotifyHub::Of(const QWidget* control) {
  if (!control) return nullptr;
  const QWidget* window = control->window();
  return window->findChild<CNotifyHub*>(QString(), Qt::FindDirectChildrenOnly);
}

void CNotifyHub::Attach(QWidget* subtree) {
  if (!subtree) return;
  QList<QWidget*> controls = subtree->findChildren<QWidget*>();
  controls.prepend(subtree);
  QList<CBaseView*> newViews;
  for (QWidget* control : controls) {
    Wire(control);
    if (auto* view = qobject_cast<CBaseView*>(control)) {
      bool known = false;
      for (const auto& v : m_views) known = known || v == view;
      if (!known) {
        AddNotifier(view);
        newViews.append(view);
      }
    }
  }
  for (CBaseView* view : newViews) view->DoInit();
}

void CNotifyHub::Wire(QWidget* control) {
  if (control->property(kWiredProperty).toBool()) return;
  control->setProperty(kWiredProperty, true);

  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    connect(button, &QAbstractButton::clicked, this,
            [this, button] { SendNotify(button, kNotifyClick); });
    connect(button, &QAbstractButton::toggled, this,
            [this, button](bool on) { SendNotify(button, kNotifySelectChanged, on ? 1 : 0); });
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->setProperty(kLastIndexProperty, combo->currentIndex());
    connect(combo, &QComboBox::currentIndexChanged, this, [this, combo](int index) {
      qint64 previous = combo->property(kLastIndexProperty).toInt();
      combo->setProperty(kLastIndexProperty, index);
      SendNotify(combo, kNotifyItemSelect, index, previous);
    });
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    connect(edit, &QLineEdit::textChanged, this,
            [this, edit] { SendNotify(edit, kNotifyTextChanged); });
  } else if (auto* text = qobject_cast<QTextEdit*>(control)) {
    connect(text, &QTextEdit::textChanged, this,
            [this, text] { SendNotify(text, kNotifyTextChanged); });
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    connect(plain, &QPlainTextEdit::textChanged, this,
            [this, plain] { SendNotify(plain, kNotifyTextChanged); });
  } else if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
    connect(tabs, &QTabWidget::currentChanged, this,
            [this, tabs](int index) { SendNotify(tabs, kNotifySelectChanged, index); });
  } else if (auto* view = qobject_cast<QAbstractItemView*>(control)) {
    connect(view, &QAbstractItemView::clicked, this, [this, view](const QModelIndex& index) {
      SendNotify(view, kNotifyItemClick, index.row());
    });
    if (auto* list = qobject_cast<QListWidget*>(view)) {
      list->setProperty(kLastIndexProperty, list->currentRow());
      connect(list, &QListWidget::currentRowChanged, this, [this, list](int row) {
        qint64 previous = list->property(kLastIndexProperty).toInt();
        list->setProperty(kLastIndexProperty, row);
        SendNotify(list, kNotifyItemSelect, row, previous);
      });
    } else if (auto* table = qobject_cast<QTableWidget*>(view)) {
      connect(table, &QTableWidget::currentCellChanged, this,
              [this, table](int row, int, int previousRow, int) {
                SendNotify(table, kNotifyItemSelect, row, previousRow);
              });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(view)) {
      connect(tree, &QTreeWidget::currentItemChanged, this,
              [this, tree](QTreeWidgetItem* item, QTreeWidgetItem* prev) {
                SendNotify(tree, kNotifyItemSelect, item ? tree->indexOfTopLevelItem(item) : -1,
                           prev ? tree->indexOfTopLevelItem(prev) : -1);
              });
    }
  }
  connect(control, &QObject::destroyed, this, [this, control] { KillAllTimers(control); });
}

void CNotifyHub::SendNotify(QWidget* sender, const QString& type, qint64 wParam, qint64 lParam) {
  TNotifyMsg msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg);
}

void CNotifyHub::Shutdown() {
  m_windowPump = nullptr;
  m_views.clear();
  for (QTimer* timer : std::as_const(m_timers)) timer->stop();
  qDeleteAll(m_timers);
  m_timers.clear();
  m_shutdown = true;
}

void CNotifyHub::SendNotify(TNotifyMsg& msg) {
  if (m_shutdown) return;
  // A handler may close the window, rebuild rows or open a modal dialog: work on a copy and
  // skip views that went away meanwhile.
  QPointer<CNotifyHub> alive(this);
  const QList<QPointer<CBaseView>> views = m_views;
  for (const QPointer<CBaseView>& view : views) {
    if (!alive) return;
    if (view) view->Notify(msg);
  }
  if (alive && m_windowPump) m_windowPump->DispatchNotify(msg);
}

bool CNotifyHub::SetTimer(QWidget* control, int id, int periodMs) {
  if (m_shutdown || !control || periodMs <= 0) return false;
  const auto key = qMakePair(control, id);
  QTimer* timer = m_timers.value(key);
  if (!timer) {
    timer = new QTimer(this);
    m_timers.insert(key, timer);
    QPointer<QWidget> target(control);
    connect(timer, &QTimer::timeout, this, [this, target, id] {
      // A window waiting for a device runs no handler meanwhile; the next tick comes anyway.
      if (target && !CUiWaitClock::IsWaiting()) SendNotify(target, kNotifyTimer, id);
    });
    Wire(control);  // so that the control's timers end with it
  }
  timer->start(periodMs);
  return true;
}

void CNotifyHub::KillTimer(QWidget* control, int id) {
  if (QTimer* timer = m_timers.take(qMakePair(control, id))) {
    timer->stop();
    timer->deleteLater();
  }
}

void CNotifyHub::KillAllTimers(QWidget* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it.key().first == control) {
      it.value()->stop();
      it.value()->deleteLater();
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

void CNotifyHub::AddNotifier(CBaseView* view) {
  if (!view) return;
  for (const auto& v : m_views) {
    if (v == view) return;
  }
  m_views.append(view);
}

void CNotifyHub::RemoveNotifier(CBaseView* view) {
  m_views.removeIf([view](const QPointer<CBaseView>& v) { return v.isNull() || v == view; });
}
