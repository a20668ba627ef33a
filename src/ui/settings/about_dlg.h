#pragma once

#include <QUrl>
#include <functional>

#include "ui/framework/base_dlg.h"

class QAbstractButton;
class QLabel;

// The about box ("AboutDlg.xml"): the program's version and a button that opens the product's
// web site in the browser. Runs over a dimming mask on its parent.
class CAboutDlg : public CBaseDlg {
  Q_OBJECT
public:
  static constexpr const char* kWebSite = "https://www.example.com/ipscanner";

  explicit CAboutDlg(QWidget* parent);

  // Test seam: receives the address instead of the browser. Empty restores the browser.
  using OpenUrlHook = std::function<void(const QUrl&)>;
  static void SetOpenUrlHook(OpenUrlHook hook);

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("AboutDlg.xml"); }
  void InitWindow() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnClickAny(TNotifyMsg& msg);

  QLabel* m_pLabelVersion = nullptr;
  QAbstractButton* m_pBtnWeb = nullptr;
};
