#include "app/main_window_entry.h"

#include <QMessageBox>

#include "shell/global_utils.h"
#include "ui/framework/product_name.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/main_window_placement.h"
#include "ui/main/main_wnd.h"

int RunMainWindow() {
  CMainWnd wnd;
  const int code = wnd.DoModal();
  if (code >= 0) {
    RememberMainWindow(&wnd);  // the size it had, for the next start
    return code;
  }
  // The window's layout could not be built: a plain box that needs no skin file names the file,
  // instead of ending silently as if the user had closed the window.
  const QString path = QString::fromStdString(CGlobalUtils::MakeModulePath("skin/MainWnd.xml"));
  QMessageBox::critical(
      nullptr, QString::fromLatin1(kProductName),
      TrText(QStringLiteral("The main window cannot be shown: its layout file %1 is "
                            "missing or cannot be read."))
          .arg(path));
  return -1;
}
