#include "ui/framework/base_view.h"

#include <QEvent>
#include <QVBoxLayout>

#include "ui/framework/dlg_builder_callback.h"
#include "ui/framework/notify_hub.h"

CBaseView::CBaseView(QWidget* parent) : QWidget(parent) {}

CBaseView::~CBaseView() {
  if (CNotifyHub* hub = GetManager()) hub->RemoveNotifier(this);
}

CNotifyHub* CBaseView::GetManager() const { return CNotifyHub::Of(this); }

bool CBaseView::LoadLayout(const QString& fileName) {
  QString error;
  QWidget* content = CDlgBuilderCallback::BuildLayout(fileName, this, {}, &error);
  if (!content) {
    qWarning("%s: %s", metaObject()->className(), qPrintable(error));
    return false;
  }
  auto* box = qobject_cast<QVBoxLayout*>(layout());
  if (!box) {
    delete layout();
    box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
  }
  box->addWidget(content);
  if (CNotifyHub* hub = GetManager())
    hub->Attach(content);  // content added after the window was built
  return true;
}

bool CBaseView::IsDescendant(const QWidget* control) const {
  for (const QWidget* w = control; w; w = w->parentWidget()) {
    if (w == this) return true;
  }
  return false;
}

void CBaseView::Notify(TNotifyMsg& msg) {
  if (msg.sType == QLatin1String(kNotifyWindowInit) || msg.pSender == this) {
    DispatchNotify(msg);
    return;
  }
  if (!msg.sVirtualWnd.isEmpty() && !findChild<QWidget*>(msg.sVirtualWnd)) return;
  if (!msg.pSender || !IsDescendant(msg.pSender)) return;
  DispatchNotify(msg);
}

void CBaseView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::LanguageChange) OnLanguageChanged();
}
