#pragma once

// CBaseView: the base of views embedded in a window (device detail view, settings pages).
// It receives only the notifications of its own descendants, plus "windowinit", through its
// own message map. A layout names the view as a custom widget whose class is registered with
// CDlgBuilderCallback; the view builds its own content from a layout file.
//
//   class CDeviceInfoView : public CBaseView {
//     Q_OBJECT
//   public:
//     explicit CDeviceInfoView(QWidget* parent) : CBaseView(parent) {
//     LoadLayout("DeviceInfoView.xml"); } void DoInit() override { m_pEditIp =
//     FindControl<QLineEdit>("edit_ip"); } IPS_DECLARE_MESSAGE_MAP()
//   private:
//     void OnBtnUpdateClicked(TNotifyMsg&);
//     QLineEdit* m_pEditIp = nullptr;
//   };
//   IPS_BEGIN_MESSAGE_MAP(CDeviceInfoView, CBaseView)
//     IPS_ON_CLICK("btn_update", OnBtnUpdateClicked)
//   IPS_END_MESSAGE_MAP()
//
//   CDlgBuilderCallback::RegisterClass("DeviceInfoView", [](QWidget* p) { return new
//   CDeviceInfoView(p); });

#include <QWidget>

#include "ui/framework/control_util.h"
#include "ui/framework/notify.h"

class CNotifyHub;

class CBaseView : public QWidget, public CNotifyPump {
  Q_OBJECT
public:
  explicit CBaseView(QWidget* parent = nullptr);
  ~CBaseView() override;

  // Called once when the host window has built its layout (before the window's InitWindow).
  virtual void DoInit() {}

  // The language catalog changed: set again every text the code took from the catalog.
  virtual void OnLanguageChanged() {}

  // Filters and dispatches one notification of the host window.
  void Notify(TNotifyMsg& msg);

  // Builds a layout file of the skin folder as this view's content; false when it fails.
  bool LoadLayout(const QString& fileName);

  template <class T = QWidget>
  T* FindControl(const QString& name) const {
    return ::FindControl<T>(this, name);
  }

  // The host window's hub (null until the view is placed in a built window).
  CNotifyHub* GetManager() const;

  bool IsDescendant(const QWidget* control) const;

protected:
  void changeEvent(QEvent* event) override;
};
