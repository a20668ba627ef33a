#include "ui/main/window_site_record.h"

#include <QPointer>
#include <QWidget>

#include "core/control.h"
#include "core/device_answer_listeners.h"
#include "site/site_database.h"
#include "site/site_paths.h"
#include "site/site_recorder.h"
#include "ui/framework/message_box.h"
#include "ui/framework/ui_thread.h"

namespace {

void ShowNotice(QWidget* owner, const std::string& notice) {
  QPointer<QWidget> guard(owner);
  const QString text = QString::fromStdString(notice);
  PostToUiThread(owner, [guard, text] {
    if (guard) ShowMessageBox(guard, QStringLiteral("Site record"), text, MB_OK);
  });
}

}  // namespace

CWindowSiteRecord::CWindowSiteRecord(QWidget* owner) {
  std::string notice;
  auto db = CSiteDatabase::OpenForWriting(SiteDatabasePath(ReadSiteSetting()), &notice);
  if (!notice.empty()) ShowNotice(owner, notice);
  m_recorder = std::make_unique<CSiteRecorder>(std::move(db), "window");
  m_recorder->SetNoticeSink([owner](const std::string& text) { ShowNotice(owner, text); });
  m_recorder->Start();
  CControl::GetInstance()->AddNotify(m_recorder.get());
  AddDeviceAnswerListener(m_recorder.get());
}

CWindowSiteRecord::~CWindowSiteRecord() {
  RemoveDeviceAnswerListener(m_recorder.get());
  CControl::GetInstance()->RemoveNotify(m_recorder.get());
  m_recorder->SetNoticeSink({});  // the window is going: nothing to show it in
  m_recorder->Stop();
}

void CWindowSiteRecord::RecordProblems(const std::vector<DEVICE_ENTRY_T>& table,
                                       const SiteProblemMap& problems) {
  m_recorder->RecordProblems(table, problems);
}
