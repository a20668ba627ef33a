#pragma once

// CBaseDlg: the base of every window. It builds the window from its layout file in the skin
// folder, wires the controls to the message map, runs the window modally (over a dimming mask
// laid on the parent when asked), ends it with a close code. In a dialog, Enter clicks the focused
// button or the primary one and Escape the dialog's own Cancel or close button (dialog_keys.h),
// through the window's handlers; Pause does nothing. Tab goes in reading order with the primary
// button last before Cancel (tab_order.h).
//
// Declaring a window:
//
//   class CAboutDlg : public CBaseDlg {
//     Q_OBJECT
//   public:
//     explicit CAboutDlg(QWidget* parent) : CBaseDlg(QString(), parent, true) {}
//   protected:
//     QString GetLayoutFileName() const override { return QStringLiteral("AboutDlg.xml"); }
//     void InitWindow() override {
//       m_pLabelVersion = FindControl<QLabel>("label_version");   // null when the skin lacks it
//       if (m_pLabelVersion) m_pLabelVersion->setText(version);
//     }
//     IPS_DECLARE_MESSAGE_MAP()
//   private:
//     void OnBtnOkClicked(TNotifyMsg&) { Close(IDOK); }
//     QLabel* m_pLabelVersion = nullptr;
//   };
//
//   IPS_BEGIN_MESSAGE_MAP(CAboutDlg, CBaseDlg)
//     IPS_ON_CLICK("btn_ok", OnBtnOkClicked)
//   IPS_END_MESSAGE_MAP()
//
//   CAboutDlg dlg(this);              // caller's stack
//   int code = dlg.DoModal();         // 1, 2, 6, 7 or the dialog's own code
//
// A control named "closebtn" ends the window with IDCANCEL unless the window's own map takes
// that click; the window manager's close button clicks the dialog's close or Cancel button.
// Handlers may also bind Qt signals of their controls directly with connect() to member-function
// pointers.
//
// Layout root properties (set on the top widget of the .ui file):
//   nativeFrame (bool)    : use the window manager's frame (main window); default is frameless
//   captionHeight (int)   : height of the drag area at the top of a frameless window (40)
//   resizable (bool)      : false leaves the maximise button off a native-frame window
//
// IPS_DECLARE_MESSAGE_MAP() leaves the access at public; custom control classes named by a
// layout are registered with CDlgBuilderCallback::RegisterClass before the window is built.

#include <QDialog>
#include <QPointer>
#include <atomic>

#include "ui/framework/control_util.h"
#include "ui/framework/dialog_codes.h"
#include "ui/framework/notify.h"

class CNotifyHub;
class QAbstractButton;

class CBaseDlg : public QDialog, public CNotifyPump {
  Q_OBJECT
public:
  CBaseDlg(const QString& caption = QString(), QWidget* parent = nullptr, bool useMask = true);
  ~CBaseDlg() override;

  // Builds the window, runs it modally and returns its close code; -1 when the layout could not
  // be built.
  virtual int DoModal();

  // Ends the modal run with `code`. Safe from any thread (handed to the UI thread); does nothing
  // while the window is not shown.
  void Close(int code);

  // Builds the layout, calls InitWindow. DoModal does it; call it directly to show the window
  // modelessly. false when the layout could not be built (the reason is on stderr).
  bool Create();
  bool IsCreated() const { return m_root != nullptr; }

  CNotifyHub* GetManager() const { return m_hub; }
  QWidget* GetRoot() const { return m_root; }
  QWidget* GetParentWindow() const { return m_parentWindow; }
  QString GetCaption() const { return m_caption; }

  template <class T = QWidget>
  T* FindControl(const QString& name) const {
    return ::FindControl<T>(m_root, name);
  }

  // Per-control timers: "timer" notifications with wParam = id.
  bool SetTimer(QWidget* control, int id, int periodMs);
  void KillTimer(QWidget* control, int id);

  static QString GetSkinDirectory();

protected:
  virtual QString GetLayoutFileName() const = 0;
  // Called once the layout is built and its texts translated; look controls up here.
  virtual void InitWindow() {}
  // The language catalog changed (CTranslateManager::LoadLanguage): layout texts are already
  // translated; set again every text the code took from the catalog (TrText).
  virtual void OnLanguageChanged() {}
  // Clicks no entry of the derived maps took: "closebtn" closes with IDCANCEL.
  virtual void OnClick(TNotifyMsg& msg);
  // Custom control classes of this window, asked before the shared registry; null = not ours.
  virtual QWidget* CreateControl(const QString& className, QWidget* parent);

  IPS_DECLARE_MESSAGE_MAP()

  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void reject() override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void CloseNow(int code);
  QAbstractButton* EnterButton() const;
  void CenterWindow();

  QString m_caption;
  QPointer<QWidget> m_parentWindow;
  bool m_useMask;
  QWidget* m_root = nullptr;
  CNotifyHub* m_hub = nullptr;
  bool m_windowInitSent = false;
  std::atomic<bool> m_created{false};
  int m_pendingClose = 0;
  int m_captionHeight = 40;
  bool m_nativeFrame = false;
};
