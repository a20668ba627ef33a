#include "app/main_window_entry.h"

#include "ui/main/main_wnd.h"

int RunMainWindow() {
  CMainWnd wnd;
  return wnd.DoModal();
}
