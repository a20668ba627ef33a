#pragma once

#include "ui/framework/base_dlg.h"

// Stand-in main window until the device list window arrives: a framed, resizable window with the
// program's caption that marks itself as the desktop's main window when it is up.
class CPlaceholderWnd : public CBaseDlg {
  Q_OBJECT
public:
  CPlaceholderWnd();

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("PlaceholderWnd.xml"); }
  void InitWindow() override;
};
