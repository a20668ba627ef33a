// Process entry of the GUI program: one instance per user, the firmware web server as a child
// tied to our lifetime, the language catalog, the main window, and the clean-up on the way out.

#include <QApplication>
#include <QThread>
#include <cstdio>
#include <cstring>

#include "app/app_signals.h"
#include "app/main_window_entry.h"
#include "platform/file_version.h"
#include "shell/comm_udp.h"
#include "shell/global_utils.h"
#include "shell/single_instance.h"
#include "ui/framework/capture_error_text.h"
#include "ui/framework/file_dialogs.h"
#include "ui/framework/message_box.h"
#include "ui/framework/product_name.h"
#include "ui/framework/skin_style.h"
#include "ui/framework/translate_manager.h"
#include "webserver/nginx_server.h"

namespace {

// A box without a parent from any thread; the caller waits until it is closed.
void ShowBlockingBox(const QString& caption, const QString& text) {
  if (!qApp) return;
  if (QThread::currentThread() == qApp->thread()) {
    ShowMessageBox(nullptr, caption, text, MB_OK);
  } else {
    QMetaObject::invokeMethod(
        qApp, [caption, text] { ShowMessageBox(nullptr, caption, text, MB_OK); },
        Qt::BlockingQueuedConnection);
  }
}

// A fatal error of the log channel: the "ERROR" box, then the caller ends the process.
void ShowFatalError(const char* text, const char* caption) {
  ShowBlockingBox(QString::fromUtf8(caption), QString::fromUtf8(text));
}

// No adapter could be opened: the prompt or what is wrong (in the catalog's language), then the
// transport runs the capture installer when none is there, and ends the process.
void ShowCaptureFailure(const CaptureFailure& failure) {
  ShowBlockingBox(QString::fromLatin1(kProductName), CaptureFailureMessage(failure));
}

void LoadLanguageCatalog() {
  std::string language = CGlobalUtils::ReadLanguageSetting();
  if (language.empty()) language = "English";
  const QString path = QString::fromStdString(CGlobalUtils::LanguageCatalogPath(language));
  const bool loaded = CTranslateManager::GetInstance()->LoadLanguage(path);
  qInfo("ipscanner: language catalog %s%s", qPrintable(path), loaded ? "" : " (not loaded)");
}

bool AsksForVersion(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before anything else: needs no display, no instance lock and no web server.
  if (AsksForVersion(argc, argv)) {
    std::printf("ipscanner %s\n", GetCompiledVersionText().c_str());
    return 0;
  }
  if (!CheckSingleInstance()) return 0;  // another instance owns the desktop

  PreferDesktopFileDialogs();  // before the application object picks its platform theme
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ipscanner"));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window's modal run decides
  ApplySkinStyle();
  CCommUdp::SetFatalErrorHandler(ShowFatalError);
  SetCaptureFailureHook(ShowCaptureFailure);
  CAppSignals signalHandler;

  CNginxServer nginx;
  nginx.StartNginx();  // the program runs on without it if it fails; the log says so

  LoadLanguageCatalog();

  const int closed = RunMainWindow();

  nginx.Stop();
  CGlobalUtils::ClearRomDownloadFolder(CGlobalUtils::RomDownloadPath(""));
  return closed < 0 ? 1 : 0;  // a window that could not be shown is a failure
}
