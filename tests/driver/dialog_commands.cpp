// msgbox, msgbox-answer, file-dialog, file-dialog-cancel, menu, menu-choose: the program's
// message box (the skinned MessageBoxDlg, or a QMessageBox where one is used), Qt's own file
// dialog and an open pop-up menu.

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include "command_registry.h"
#include "ui/support/widget_actions.h"
#include "widget_lookup.h"

namespace guidriver {

namespace {

// Close codes of the message box and the buttons that give them.
struct BoxButton {
  const char* code;
  const char* name;
  QMessageBox::StandardButton standard;
};
constexpr BoxButton kBoxButtons[] = {
    {"1", "btn_ok", QMessageBox::Ok},
    {"2", "btn_cancel", QMessageBox::Cancel},
    {"6", "btn_yes", QMessageBox::Yes},
    {"7", "btn_no", QMessageBox::No},
};

QWidget* OpenMessageBox() {
  for (QWidget* w : VisibleWindows()) {
    if (Inherits(w, "MessageBoxDlg") || qobject_cast<QMessageBox*>(w)) return w;
  }
  return nullptr;
}

Reply ShowBox(const QStringList&) {
  QWidget* box = OpenMessageBox();
  if (!box) return Error(QStringLiteral("none"));
  QString title = box->windowTitle();
  QString text;
  if (auto* qt = qobject_cast<QMessageBox*>(box)) {
    text = qt->text();
  } else {
    if (auto* label =
            qobject_cast<QLabel*>(uitest::FindVisible(box, QStringLiteral("label_title"))))
      title = label->text();
    if (auto* label = qobject_cast<QLabel*>(uitest::FindVisible(box, QStringLiteral("label_msg"))))
      text = label->text();
  }
  return Ok(Escaped(title) + QLatin1Char('\t') + Escaped(text));
}

QAbstractButton* BoxButtonFor(QWidget* box, const QString& answer) {
  const BoxButton* known = nullptr;
  for (const BoxButton& b : kBoxButtons) {
    if (answer == QLatin1String(b.code) || answer == QLatin1String(b.name)) known = &b;
  }
  if (auto* qt = qobject_cast<QMessageBox*>(box)) {
    if (known) return qt->button(known->standard);
    for (QAbstractButton* button : qt->buttons()) {
      if (button->text().remove(QLatin1Char('&')) == answer) return button;
    }
    return nullptr;
  }
  const QString name = known ? QLatin1String(known->name) : answer;
  return qobject_cast<QAbstractButton*>(uitest::FindVisible(box, name));
}

Reply AnswerBox(const QStringList& args) {
  QWidget* box = OpenMessageBox();
  if (!box) return Error(QStringLiteral("none"));
  QAbstractButton* button = BoxButtonFor(box, args[0]);
  if (!button || !button->isVisible() || !button->isEnabled()) {
    return Error(QStringLiteral("the message box shows no button %1").arg(args[0]));
  }
  QPointer<QAbstractButton> target(button);
  return Do([target] {
    if (target) target->click();
  });
}

QFileDialog* OpenFileDialog() {
  for (QWidget* w : VisibleWindows()) {
    if (auto* dialog = qobject_cast<QFileDialog*>(w)) return dialog;
  }
  return nullptr;
}

Reply FillFileDialog(const QStringList& args) {
  QFileDialog* dialog = OpenFileDialog();
  if (!dialog) return Error(QStringLiteral("no file dialog open"));
  QPointer<QFileDialog> target(dialog);
  const QString path = args[0];
  return Do([target, path] {
    if (!target) return;
    // Typed into the file name box, as a user would: selectFile leaves the box alone while it
    // has the focus, which it has from the moment the dialog opens. The dialog's own accept
    // then takes the name from the box.
    if (auto* edit = target->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      edit->setText(path);
    } else {
      target->selectFile(path);
    }
    QMetaObject::invokeMethod(target, "accept");
  });
}

Reply CancelFileDialog(const QStringList&) {
  QFileDialog* dialog = OpenFileDialog();
  if (!dialog) return Error(QStringLiteral("no file dialog open"));
  QPointer<QFileDialog> target(dialog);
  return Do([target] {
    if (target) target->reject();
  });
}

QMenu* OpenMenu() {
  for (QWidget* w : VisibleWindows()) {
    if (auto* menu = qobject_cast<QMenu*>(w)) return menu;
  }
  return nullptr;
}

// One line per action of the open menu: objectName, text, enabled (1/0).
Reply ShowMenu(const QStringList&) {
  QMenu* menu = OpenMenu();
  if (!menu) return Error(QStringLiteral("none"));
  QStringList lines;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    lines << QStringLiteral("%1\t%2\t%3")
                 .arg(action->objectName(), Escaped(action->text()),
                      action->isEnabled() ? QStringLiteral("1") : QStringLiteral("0"));
  }
  return Ok(lines.join(QLatin1Char('\n')));
}

// Chooses the action of that objectName as a user would (highlight, Return): the menu closes
// and its exec() returns the action.
Reply ChooseMenu(const QStringList& args) {
  QMenu* menu = OpenMenu();
  if (!menu) return Error(QStringLiteral("no menu open"));
  QAction* chosen = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->objectName() == args[0]) chosen = action;
  }
  if (!chosen) return Error(QStringLiteral("the menu has no action %1").arg(args[0]));
  if (!chosen->isEnabled()) return Error(QStringLiteral("%1 is disabled").arg(args[0]));
  QPointer<QMenu> target(menu);
  QPointer<QAction> action(chosen);
  return Do([target, action] {
    if (!target || !action) return;
    target->setActiveAction(action);
    uitest::PressKey(target, Qt::Key_Return);
  });
}

}  // namespace

void AddDialogCommands(std::vector<Command>& table) {
  table.push_back({"msgbox", 0, 0, "", ShowBox});
  table.push_back({"msgbox-answer", 1, 1, "BUTTONNAME|CODE", AnswerBox});
  table.push_back({"file-dialog", 1, 1, "PATH", FillFileDialog});
  table.push_back({"file-dialog-cancel", 0, 0, "", CancelFileDialog});
  table.push_back({"menu", 0, 0, "", ShowMenu});
  table.push_back({"menu-choose", 1, 1, "ACTION", ChooseMenu});
}

}  // namespace guidriver
