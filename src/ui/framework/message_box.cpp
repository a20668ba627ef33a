#include "ui/framework/message_box.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "ui/framework/translate_manager.h"

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

MessageBoxDlg::MessageBoxDlg(QWidget* parent, const QString& title, const QString& text,
                             int buttons)
    : CBaseDlg(QString(), parent, true), m_buttons(buttons), m_title(title), m_text(text) {}

IPS_BEGIN_MESSAGE_MAP(MessageBoxDlg, CBaseDlg)
IPS_ON_MSGTYPE("click", OnButtonClicked)
IPS_END_MESSAGE_MAP()

void MessageBoxDlg::InitWindow() {
  if (auto* title = FindControl<QLabel>(QStringLiteral("label_title"))) title->setText(m_title);
  setWindowTitle(m_title);
  if (auto* msg = FindControl<QLabel>(QStringLiteral("label_msg"))) {
    // Measured in the font the label draws with (the skin may give it its own size).
    msg->ensurePolished();
    if (QFontMetrics(msg->font()).horizontalAdvance(m_text) >= kLeftAlignWidth) {
      msg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    msg->setTextFormat(Qt::PlainText);  // messages may name device texts
    msg->setText(m_text);
  }
  QWidget* ok = FindControl(QStringLiteral("layout_ok"));
  QWidget* okCancel = FindControl(QStringLiteral("layout_ok_cancel"));
  QWidget* yesNo = FindControl(QStringLiteral("layout_yes_no"));
  auto showOnly = [&](QWidget* shown) {
    for (QWidget* w : {ok, okCancel, yesNo}) {
      if (w) w->setVisible(w == shown);
    }
  };
  switch (m_buttons) {
    case MB_OK:
      showOnly(ok);
      break;
    case MB_OKCANCEL:
      showOnly(okCancel);
      break;
    case MB_YESNO:
      showOnly(yesNo);
      break;
    default:
      break;  // whatever the layout shows
  }
  // Keyboard focus on the main answer, so no secondary button looks highlighted.
  for (QPushButton* button : GetRoot()->findChildren<QPushButton*>()) {
    if (button->property("primary").toBool() && !button->isHidden() &&
        !button->parentWidget()->isHidden()) {
      button->setFocus();
      break;
    }
  }
}

void MessageBoxDlg::OnButtonClicked(TNotifyMsg& msg) {
  const QString name = msg.SenderName();
  if (name == QLatin1String("btn_ok"))
    Close(IDOK);
  else if (name == QLatin1String("btn_cancel"))
    Close(IDCANCEL);
  else if (name == QLatin1String("btn_yes"))
    Close(IDYES);
  else if (name == QLatin1String("btn_no"))
    Close(IDNO);
  else if (name == QLatin1String("closebtn"))
    Close(IDCANCEL);
}

int ShowMessageBox(QWidget* parent, const QString& title, const QString& text, int buttons) {
  if (Hook()) return Hook()(parent, title, text, buttons);
  MessageBoxDlg box(parent, TrText(title), TrText(text), buttons);
  return box.DoModal();
}
