// click, check, set-text, text, enabled, visible, checked, prop, key, combo, combo-select: one
// control by its objectName.

#include <QAbstractButton>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QWidget>

#include "command_registry.h"
#include "ui/support/widget_actions.h"
#include "widget_lookup.h"

namespace guidriver {

namespace {

QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

// The named control as T; null with the reason in *reply when there is none or it is no T.
template <class T>
T* Control(const QString& name, Reply* reply, const char* what) {
  QString error;
  QWidget* w = FindNamed(name, &error);
  if (!w) {
    *reply = Error(error);
    return nullptr;
  }
  T* typed = qobject_cast<T*>(w);
  if (!typed) *reply = Error(QStringLiteral("%1 is no %2").arg(name, QLatin1String(what)));
  return typed;
}

// A control a user could operate: shown and enabled.
bool Operable(QWidget* w, const QString& name, Reply* reply) {
  if (!w->isVisible()) {
    *reply = Error(QStringLiteral("hidden %1").arg(name));
    return false;
  }
  if (!w->isEnabled()) {
    *reply = Error(QStringLiteral("disabled %1").arg(name));
    return false;
  }
  return true;
}

Reply Click(const QStringList& args) {
  Reply reply;
  QAbstractButton* button = Control<QAbstractButton>(args[0], &reply, "button");
  if (!button || !Operable(button, args[0], &reply)) return reply;
  QPointer<QAbstractButton> target(button);
  return Do([target] {
    if (target) target->click();
  });
}

Reply Check(const QStringList& args) {
  Reply reply;
  QAbstractButton* button = Control<QAbstractButton>(args[0], &reply, "button");
  if (!button || !Operable(button, args[0], &reply)) return reply;
  if (!button->isCheckable()) return Error(QStringLiteral("%1 is not checkable").arg(args[0]));
  if (args[1] != QLatin1String("0") && args[1] != QLatin1String("1")) {
    return Error(QStringLiteral("check state must be 0 or 1"));
  }
  const bool want = args[1] == QLatin1String("1");
  QPointer<QAbstractButton> target(button);
  return Do([target, want] {
    if (target && target->isChecked() != want) target->click();
  });
}

Reply SetText(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  Reply reply;
  if (!Operable(w, args[0], &reply)) return reply;
  const QString text = args[1];
  QPointer<QWidget> target(w);
  if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
    return Do([target, text] {
      auto* combo = qobject_cast<QComboBox*>(target.data());
      QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(target.data());
      if (!edit) return;
      edit->setText(text);
      emit edit->textEdited(text);  // as typed by a user
    });
  }
  if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w)) {
    return Do([target, text] {
      if (auto* plain = qobject_cast<QPlainTextEdit*>(target.data())) plain->setPlainText(text);
      if (auto* rich = qobject_cast<QTextEdit*>(target.data())) rich->setPlainText(text);
    });
  }
  return Error(QStringLiteral("%1 takes no text").arg(args[0]));
}

Reply Text(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  QString text = uitest::DisplayedText(w);
  if (text.isNull()) {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
      text = plain->toPlainText();
    else if (auto* rich = qobject_cast<QTextEdit*>(w))
      text = rich->toPlainText();
    else if (auto* combo = qobject_cast<QComboBox*>(w))
      text = combo->currentText();
    else if (w->isWindow())
      text = w->windowTitle();
    else
      return Error(QStringLiteral("%1 shows no text").arg(args[0]));
  }
  return Ok(Escaped(text));
}

Reply Enabled(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  return w ? Ok(Flag(w->isEnabled())) : Error(error);
}

Reply Visible(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  return w ? Ok(Flag(w->isVisible())) : Error(error);
}

Reply Checked(const QStringList& args) {
  Reply reply;
  QAbstractButton* button = Control<QAbstractButton>(args[0], &reply, "button");
  if (!button) return reply;
  if (!button->isCheckable()) return Error(QStringLiteral("%1 is not checkable").arg(args[0]));
  return Ok(Flag(button->isChecked()));
}

Reply Property(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  // The framework keeps a control's tag and user data in these dynamic properties.
  QString name = args[1];
  if (name == QLatin1String("tag")) name = QStringLiteral("ips_tag");
  if (name == QLatin1String("userData")) name = QStringLiteral("ips_userdata");
  const QVariant value = w->property(name.toUtf8().constData());
  if (!value.isValid()) {
    // A tag or user data never set reads as 0 or "", as the framework's getters give.
    if (name == QLatin1String("ips_tag")) return Ok(QStringLiteral("0"));
    if (name == QLatin1String("ips_userdata")) return Ok();
    return Error(QStringLiteral("%1 has no property %2").arg(args[0], args[1]));
  }
  if (value.typeId() == QMetaType::Bool) return Ok(Flag(value.toBool()));
  return Ok(Escaped(value.toString()));
}

Reply Key(const QStringList& args) {
  QString error;
  QWidget* w = FindNamed(args[0], &error);
  if (!w) return Error(error);
  Reply reply;
  if (!Operable(w, args[0], &reply)) return reply;
  const QKeySequence sequence = QKeySequence::fromString(args[1], QKeySequence::PortableText);
  if (sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown) {
    return Error(QStringLiteral("unknown key %1").arg(args[1]));
  }
  const QKeyCombination key = sequence[0];
  QPointer<QWidget> target(w);
  return Do([target, key] {
    if (target) uitest::PressKey(target, key.key(), key.keyboardModifiers());
  });
}

Reply Combo(const QStringList& args) {
  Reply reply;
  QComboBox* combo = Control<QComboBox>(args[0], &reply, "combo box");
  if (!combo) return reply;
  const QString how = args.value(1, QStringLiteral("open"));
  if (how != QLatin1String("open") && how != QLatin1String("close")) {
    return Error(QStringLiteral("combo takes open or close"));
  }
  const bool open = how == QLatin1String("open");
  if (open && !Operable(combo, args[0], &reply)) return reply;
  QPointer<QComboBox> target(combo);
  return Do([target, open] {
    if (!target) return;
    if (open)
      target->showPopup();
    else
      target->hidePopup();
  });
}

Reply ComboSelect(const QStringList& args) {
  Reply reply;
  QComboBox* combo = Control<QComboBox>(args[0], &reply, "combo box");
  if (!combo || !Operable(combo, args[0], &reply)) return reply;
  int index = combo->findData(args[1]);
  if (index < 0) index = combo->findText(args[1], Qt::MatchExactly);
  if (index < 0) return Error(QStringLiteral("%1 has no entry %2").arg(args[0], args[1]));
  QPointer<QComboBox> target(combo);
  return Do([target, index] {
    if (!target) return;
    target->setCurrentIndex(index);
    emit target->activated(index);  // as chosen by a user
  });
}

}  // namespace

void AddWidgetCommands(std::vector<Command>& table) {
  table.push_back({"click", 1, 1, "NAME", Click});
  table.push_back({"check", 2, 2, "NAME 0|1", Check});
  table.push_back({"set-text", 2, 2, "NAME TEXT", SetText});
  table.push_back({"text", 1, 1, "NAME", Text});
  table.push_back({"enabled", 1, 1, "NAME", Enabled});
  table.push_back({"visible", 1, 1, "NAME", Visible});
  table.push_back({"checked", 1, 1, "NAME", Checked});
  table.push_back({"prop", 2, 2, "NAME PROPERTY", Property});
  table.push_back({"key", 2, 2, "NAME KEY", Key});
  table.push_back({"combo", 1, 2, "NAME [open|close]", Combo});
  table.push_back({"combo-select", 2, 2, "NAME VALUE", ComboSelect});
}

}  // namespace guidriver
