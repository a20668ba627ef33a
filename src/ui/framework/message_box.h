#pragma once

// The system's one message box, built from skin/MessageBox.xml.
//
//   if (ShowMessageBox(this, kProductName, "Do you want to reboot the device?", MB_YESNO) != IDYES)
//     return;
//
// Title and text go through the language catalog. Button sets: MB_OK (IDOK), MB_OKCANCEL
// (IDOK / IDCANCEL), MB_YESNO (IDYES / IDNO); the close button gives IDCANCEL.

#include <functional>

#include "ui/framework/base_dlg.h"

class QLabel;

class MessageBoxDlg : public CBaseDlg {
  Q_OBJECT
public:
  MessageBoxDlg(QWidget* parent, const QString& title, const QString& text, int buttons);

  // A text this wide (in pixels, in the message label's font) or wider is left-aligned.
  static constexpr int kLeftAlignWidth = 450;

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("MessageBox.xml"); }
  void InitWindow() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnButtonClicked(TNotifyMsg& msg);

  int m_buttons;
  QString m_title;
  QString m_text;
};

int ShowMessageBox(QWidget* parent, const QString& title, const QString& text, int buttons);

// Test seam: while a hook is installed, ShowMessageBox asks it instead of showing a window
// and returns its answer (title and text as the caller gave them, before translation).
// An empty function restores the real box.
using MessageBoxHook =
    std::function<int(QWidget* parent, const QString& title, const QString& text, int buttons)>;
void SetMessageBoxHook(MessageBoxHook hook);
