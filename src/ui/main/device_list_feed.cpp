#include "ui/main/device_list_feed.h"

#include <QDateTime>
#include <pthread.h>
#include <algorithm>

#include "core/common/mac_text.h"
#include "ui/framework/ui_thread.h"
#include "ui/main/device_list_model.h"

CDeviceListFeed::CDeviceListFeed(QObject* owner, SOURCES_T sources, Deliver deliver)
    : m_owner(owner), m_sources(std::move(sources)), m_deliver(std::move(deliver)) {
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

namespace {

bool SameSubnets(const std::vector<IPV4_SUBNET_T>& a, const std::vector<IPV4_SUBNET_T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.address == y.address && x.mask == y.mask;
  });
}

}  // namespace

std::shared_ptr<DEVICE_LIST_LOOK_T> CDeviceListFeed::Look(const DEVICE_LIST_ASK_T& ask) {
  auto look = std::make_shared<DEVICE_LIST_LOOK_T>();
  look->generation = ask.generation;
  std::vector<IPV4_SUBNET_T> subnets = m_sources.subnets();
  // Same table, networks, fill and filters as the last look: the same problems, nothing new to
  // record, and no row changed.
  const bool sameTable = m_sources.tableVersion() == m_tableVersion;
  const bool tableKept = sameTable && ask.generation == m_generation &&
                         ask.modelFilter == m_lastAsk.modelFilter &&
                         ask.upperSearch == m_lastAsk.upperSearch &&
                         ask.problemsOnly == m_lastAsk.problemsOnly &&
                         SameSubnets(subnets, m_lastSubnets);
  std::chrono::milliseconds statusNow{0};
  const bool statusKept = !m_sources.statusChanged(m_statusStamp, &statusNow) && !ask.freshStatus;
  if (tableKept && statusKept) {
    // The list keeps what it has; only its clock moves (the tooltips' times are worked out
    // from it).
    look->siteKept = true;
    look->site.status.now = statusNow;
    look->site.wallMs = QDateTime::currentMSecsSinceEpoch();
    look->tableCount = static_cast<int>(m_table.size());
    look->onlineCount = m_onlineCount;
    m_statusStamp.now = statusNow;
    return look;
  }

  STATUS_SNAPSHOT_T status = m_sources.status();
  m_statusStamp = status.Stamp();
  if (tableKept) {
    look->site.status = std::move(status);
    look->site.subnets = std::move(subnets);
    look->site.problems = m_lastProblems;
    look->site.wallMs = QDateTime::currentMSecsSinceEpoch();
  } else {
    if (!sameTable) m_table = m_sources.table(&m_tableVersion);
    look->site = CDeviceSiteMarks::Compute(m_table, std::move(status), std::move(subnets));
  }
  look->tableCount = static_cast<int>(m_table.size());
  m_onlineCount = static_cast<int>(std::count_if(m_table.begin(), m_table.end(), [&](const auto& d) {
    return look->site.status.LiveOf(d.mac).status != EDeviceStatus::kMissing;
  }));
  look->onlineCount = m_onlineCount;
  if (tableKept) return look;

  m_lastSubnets = look->site.subnets;
  m_lastProblems = look->site.problems;
  m_lastAsk = ask;
  const std::vector<DEVICE_ENTRY_T>& table = m_table;
  if (m_sources.record) m_sources.record(table, look->site.problems);

  // A new generation (the list emptied, filtered anew or filled on the UI thread) starts from
  // nothing: every row that passes goes to the list, which keeps those it has unchanged.
  if (ask.generation != m_generation) {
    m_given.clear();
    m_generation = ask.generation;
  }
  std::unordered_map<std::string, size_t> prepared;  // CompactMacText -> position in look->rows
  for (const DEVICE_ENTRY_T& entry : table) {
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
