#include "ui/main/device_list_feed.h"

#include <pthread.h>

#include <QDateTime>

#include "core/common/mac_text.h"
#include "ui/framework/ui_thread.h"
#include "ui/main/device_list_model.h"

namespace {

SITE_LOOK_SOURCES_T SiteSources(const CDeviceListFeed::SOURCES_T& feed) {
  SITE_LOOK_SOURCES_T sources;
  sources.table = feed.table;
  sources.tableVersion = feed.tableVersion;
  sources.status = feed.status;
  sources.statusChanged = feed.statusChanged;
  sources.subnets = feed.subnets;
  return sources;
}

}  // namespace

CDeviceListFeed::CDeviceListFeed(QObject* owner, SOURCES_T sources, Deliver deliver)
    : m_owner(owner),
      m_sources(std::move(sources)),
      m_deliver(std::move(deliver)),
      m_site(SiteSources(m_sources), m_sources.record) {
  m_thread = std::thread([this] { Run(); });
  pthread_setname_np(m_thread.native_handle(), "list-feed");  // for top and the benchmarks
}

CDeviceListFeed::~CDeviceListFeed() { Stop(); }

void CDeviceListFeed::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void CDeviceListFeed::Ask(DEVICE_LIST_ASK_T ask) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_ask = std::move(ask);
    m_asked = true;
  }
  m_wake.notify_all();
}

void CDeviceListFeed::Discard(std::shared_ptr<DEVICE_LIST_LOOK_T> spent) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_spent.push_back(std::move(spent));
  }
  m_wake.notify_all();
}

void CDeviceListFeed::Run() {
  for (;;) {
    DEVICE_LIST_ASK_T ask;
    std::vector<std::shared_ptr<DEVICE_LIST_LOOK_T>> spent;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_wake.wait(lock, [this] { return m_stop || m_asked || !m_spent.empty(); });
      if (m_stop) return;
      spent.swap(m_spent);
      if (m_asked) {
        ask = std::move(m_ask);
        m_asked = false;
      } else {
        continue;  // only memory to free: `spent` goes here
      }
    }
    spent.clear();
    std::shared_ptr<DEVICE_LIST_LOOK_T> look = Look(ask);
    // A call still queued when the owner goes is dropped, and the look with it. The call hands
    // the look on rather than keeping a share: the share released last frees the look, and
    // that must be the feed's (Discard), not the UI thread's.
    PostToUiThread(m_owner, [deliver = m_deliver, look = std::move(look)]() mutable {
      deliver(std::move(look));
    });
  }
}

std::shared_ptr<DEVICE_LIST_LOOK_T> CDeviceListFeed::Look(const DEVICE_LIST_ASK_T& ask) {
  auto look = std::make_shared<DEVICE_LIST_LOOK_T>();
  look->generation = ask.generation;
  const SITE_NOW_T& now = m_site.Look(ask.freshStatus);
  // Same table, networks, fill and filters as the last look: no row changed.
  const bool tableKept = !now.tableChanged && ask.generation == m_generation &&
                         ask.modelFilter == m_lastAsk.modelFilter &&
                         ask.upperSearch == m_lastAsk.upperSearch &&
                         ask.problemsOnly == m_lastAsk.problemsOnly;
  look->tableCount = static_cast<int>(now.table->size());
  look->onlineCount = now.onlineCount;
  if (tableKept && !now.statusChanged) {
    // The list keeps what it has; only its clock moves (the tooltips' times are worked out
    // from it).
    look->siteKept = true;
    look->site.status.now = now.now;
    look->site.wallMs = QDateTime::currentMSecsSinceEpoch();
    return look;
  }
  look->site.status = *now.status;
  look->site.subnets = *now.subnets;
  look->site.problems = *now.problems;
  look->site.wallMs = QDateTime::currentMSecsSinceEpoch();
  if (tableKept) return look;

  m_lastAsk = ask;
  // A new generation (the list emptied, filtered anew or filled on the UI thread) starts from
  // nothing: every row that passes goes to the list, which keeps those it has unchanged.
  if (ask.generation != m_generation) {
    m_given.clear();
    m_generation = ask.generation;
  }
  std::unordered_map<std::string, size_t> prepared;  // CompactMacText -> position in look->rows
  for (const DEVICE_ENTRY_T& entry : *now.table) {
    if (ask.problemsOnly && look->site.problems.count(entry.mac) == 0) continue;
    if (!CDeviceListModel::Passes(entry, ask.modelFilter, ask.upperSearch)) continue;
    auto given = m_given.find(entry.mac);
    if (given != m_given.end() && given->second == entry) continue;
    if (given == m_given.end()) {
      m_given.emplace(entry.mac, entry);
    } else {
      given->second = entry;
    }
    // One MAC in two spellings is one row: the later entry wins.
    std::string key = CompactMacText(entry.mac);
    if (auto again = prepared.find(key); again != prepared.end()) {
      look->rows[again->second] = std::make_unique<CDeviceListItem>(entry);
      continue;
    }
    prepared.emplace(std::move(key), look->rows.size());
    look->rows.push_back(std::make_unique<CDeviceListItem>(entry));
  }
  return look;
}
