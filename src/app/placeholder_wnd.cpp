#include "app/placeholder_wnd.h"

#include "ui/framework/instance_beacon.h"

CPlaceholderWnd::CPlaceholderWnd()
    : CBaseDlg(QStringLiteral("VIRN Scanner-Ipscanner"), nullptr, false) {}

void CPlaceholderWnd::InitWindow() {
  // Last step: from now on a second start finds this window.
  SetMainWindowProperty(this);
}
