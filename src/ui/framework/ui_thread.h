#pragma once

// Handing work to the UI thread. IControlNotify callbacks run on the control core's worker
// thread while it holds its notify lock: they must not touch widgets and must not wait for the
// UI thread. They post instead:
//
//   void CDeviceInfoView::OnReportConfig(std::string key, std::string ip, int port,
//                                        const std::vector<std::string>* items) {
//     std::vector<std::string> copy = items ? *items : std::vector<std::string>{};
//     PostToUiThread(this, [this, key, copy] { ShowReport(key, copy); });
//   }
//
// The call runs later on `context`'s thread and is dropped if `context` is destroyed first.

#include <QMetaObject>
#include <QObject>
#include <utility>

template <class F>
void PostToUiThread(QObject* context, F&& fn) {
  QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::QueuedConnection);
}
