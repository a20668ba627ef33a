#include "ui/main/window_site_record.h"

#include <QPointer>
#include <QWidget>

#include "core/control/control.h"
#include "core/control/device_answer_listeners.h"
#include "record/site_database.h"
#include "record/site_operation_log.h"
#include "record/site_paths.h"
#include "record/site_recorder.h"
#include "shell/log.h"
#include "ui/framework/message_box.h"
#include "ui/framework/ui_thread.h"

namespace {

CWindowSiteRecord* g_current = nullptr;

void ShowNotice(QWidget* owner, const std::string& notice) {
  QPointer<QWidget> guard(owner);
  const QString text = QString::fromStdString(notice);
  PostToUiThread(owner, [guard, text] {
    if (guard) ShowMessageBox(guard, QStringLiteral("Site record"), text, MB_OK);
  });
}

}  // namespace

CWindowSiteRecord::CWindowSiteRecord(QWidget* owner) : m_owner(owner) {
  Open(ReadSiteSetting());
  g_current = this;
}

CWindowSiteRecord::~CWindowSiteRecord() {
  if (g_current == this) g_current = nullptr;
  Close();
}

CWindowSiteRecord* CWindowSiteRecord::Current() { return g_current; }

void CWindowSiteRecord::Open(const std::string& name) {
  m_siteName = name;
  std::string notice;
  auto db = CSiteDatabase::OpenForWriting(SiteDatabasePath(name), &notice);
  if (!notice.empty()) ShowNotice(m_owner, notice);
  m_recorder = std::make_unique<CSiteRecorder>(std::move(db), "window");
  QWidget* owner = m_owner;
  m_recorder->SetNoticeSink([owner](const std::string& text) { ShowNotice(owner, text); });
  m_recorder->Start();
  CControl::GetInstance()->AddNotify(m_recorder.get());
  AddDeviceAnswerListener(m_recorder.get());
  SetOperationRecorder(m_recorder.get());
}

void CWindowSiteRecord::Close() {
  if (!m_recorder) return;
  SetOperationRecorder(nullptr);
  RemoveDeviceAnswerListener(m_recorder.get());
  CControl::GetInstance()->RemoveNotify(m_recorder.get());
  m_recorder->SetNoticeSink({});  // the window may be going: nothing to show it in
  m_recorder->Stop();
  m_recorder.reset();
}

void CWindowSiteRecord::SwitchTo(const std::string& name) {
  if (name == m_siteName && m_recorder) return;
  LogInfo("CWindowSiteRecord: switching the site record from \"%s\" to \"%s\"", m_siteName.c_str(),
          name.c_str());
  Close();
  Open(name);
}

void CWindowSiteRecord::RecordProblems(const std::vector<DEVICE_ENTRY_T>& table,
                                       const SiteProblemMap& problems) {
  if (m_recorder) m_recorder->RecordProblems(table, problems);
}

void CWindowSiteRecord::Flush() {
  if (m_recorder) m_recorder->Flush();
}

bool CWindowSiteRecord::Recording() const { return m_recorder && m_recorder->Recording(); }
