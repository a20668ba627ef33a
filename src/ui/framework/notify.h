#pragma once

// Notifications and message maps.
//
// Controls of a window raise notifications ("click", "itemselect", "selectchanged",
// "textchanged", "timer", "windowinit", or any type a custom control sends). The window's
// CNotifyHub delivers each one to the window and to the views it hosts; each of them looks it up
// in its static message map: a table of (type, control name, handler) chained to its base
// class's table. The first entry of the most derived table whose type matches and whose control
// name is empty or equals the sender's objectName handles it.
//
//   // header
//   class CAboutDlg : public CBaseDlg {
//     ...
//     IPS_DECLARE_MESSAGE_MAP()
//     void OnBtnOkClicked(TNotifyMsg& msg);
//   };
//   // source
//   IPS_BEGIN_MESSAGE_MAP(CAboutDlg, CBaseDlg)
//     IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
//     IPS_ON_MSGTYPE("timer", OnTimer)
//   IPS_END_MESSAGE_MAP()

#include <QPointer>
#include <QString>
#include <QWidget>

// Notification types used by the system.
inline constexpr const char* kNotifyClick = "click";
inline constexpr const char* kNotifyItemClick = "itemclick";
inline constexpr const char* kNotifyItemSelect = "itemselect";
inline constexpr const char* kNotifySelectChanged = "selectchanged";
inline constexpr const char* kNotifyTextChanged = "textchanged";
inline constexpr const char* kNotifyTimer = "timer";
inline constexpr const char* kNotifyWindowInit = "windowinit";

struct TNotifyMsg {
  QString sType;
  QPointer<QWidget> pSender;  // null for a notification without a control
  QString sVirtualWnd;        // names a sub-window the notification is meant for; usually ""
  qint64 wParam = 0;          // "timer": the timer id; "itemselect": the new index
  qint64 lParam = 0;          // "itemselect": the previous index

  QString SenderName() const { return pSender ? pSender->objectName() : QString(); }
};

class CNotifyPump;

template <class T>
struct TNotifyMapEntry {
  const char* type;     // null ends the table
  const char* control;  // "" = any sender
  void (T::*handler)(TNotifyMsg&);
};

// Looks `msg` up in one class's table; true when an entry took it.
template <class T>
bool DispatchNotifyTable(T* self, const TNotifyMapEntry<T>* table, TNotifyMsg& msg) {
  const QString sender = msg.SenderName();
  for (const TNotifyMapEntry<T>* e = table; e->type; ++e) {
    if (msg.sType != QLatin1String(e->type)) continue;
    if (*e->control && sender != QLatin1String(e->control)) continue;
    (self->*(e->handler))(msg);
    return true;
  }
  return false;
}

// Base of everything with a message map (dialogs, views).
class CNotifyPump {
public:
  virtual ~CNotifyPump() = default;
  // Runs the handler of the message map chain; true when one took the notification.
  virtual bool DispatchNotify(TNotifyMsg&) { return false; }
};

#define IPS_DECLARE_MESSAGE_MAP() \
public:                           \
  bool DispatchNotify(TNotifyMsg& msg) override;

#define IPS_BEGIN_MESSAGE_MAP(theClass, baseClass) \
  bool theClass::DispatchNotify(TNotifyMsg& msg) { \
    using ThisClass = theClass;                    \
    using BaseClass = baseClass;                   \
    static const TNotifyMapEntry<ThisClass> kNotifyTable[] = {
#define IPS_ON_NOTIFY(type, control, handler) {type, control, &ThisClass::handler},
#define IPS_ON_CLICK(control, handler) IPS_ON_NOTIFY("click", control, handler)
#define IPS_ON_ITEMSELECT(control, handler) IPS_ON_NOTIFY("itemselect", control, handler)
#define IPS_ON_SELECTCHANGED(control, handler) IPS_ON_NOTIFY("selectchanged", control, handler)
#define IPS_ON_TEXTCHANGED(control, handler) IPS_ON_NOTIFY("textchanged", control, handler)
#define IPS_ON_MSGTYPE(type, handler) IPS_ON_NOTIFY(type, "", handler)

#define IPS_END_MESSAGE_MAP()                                               \
  { nullptr, nullptr, nullptr }                                             \
  }                                                                         \
  ;                                                                         \
  if (DispatchNotifyTable<ThisClass>(this, kNotifyTable, msg)) return true; \
  return BaseClass::DispatchNotify(msg);                                    \
  }
