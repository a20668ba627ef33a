#include "app/main_window_entry.h"

#include "app/placeholder_wnd.h"

int RunMainWindow() {
  CPlaceholderWnd wnd;
  return wnd.DoModal();
}
