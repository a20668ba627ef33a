#include "ui/main/device_list_feed.h"

#include <algorithm>

#include "ui/framework/ui_thread.h"
#include "ui/main/device_list_model.h"

CDeviceListFeed::CDeviceListFeed(QObject* owner, SOURCES_T sources, Deliver deliver)
    : m_owner(owner), m_sources(std::move(sources)), m_deliver(std::move(deliver)) {
  m_thread = std::thread([this] { Run(); });
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
    // A call still queued when the owner goes is dropped, and the look with it.
    PostToUiThread(m_owner, [deliver = m_deliver, look] { deliver(look); });
  }
}

std::shared_ptr<DEVICE_LIST_LOOK_T> CDeviceListFeed::Look(const DEVICE_LIST_ASK_T& ask) {
  auto look = std::make_shared<DEVICE_LIST_LOOK_T>();
  look->generation = ask.generation;
  const std::vector<DEVICE_ENTRY_T> table = m_sources.table();
  look->site = CDeviceSiteMarks::Compute(table, m_sources.status(), m_sources.subnets());
  look->tableCount = static_cast<int>(table.size());
  look->onlineCount = static_cast<int>(std::count_if(table.begin(), table.end(), [&](const auto& d) {
    return look->site.status.LiveOf(d.mac).status != EDeviceStatus::kMissing;
  }));
  if (m_sources.record) m_sources.record(table, look->site.problems);

  // A new generation (the list emptied, filtered anew or filled on the UI thread) starts from
  // nothing: every row that passes goes to the list, which keeps those it has unchanged.
  if (ask.generation != m_generation) {
    m_given.clear();
    m_generation = ask.generation;
  }
  std::unordered_map<std::string, size_t> prepared;  // key -> position in look->rows
  for (const DEVICE_ENTRY_T& entry : table) {
    if (ask.problemsOnly && look->site.problems.count(entry.mac) == 0) continue;
    if (!CDeviceListModel::Passes(entry, ask.modelFilter, ask.upperSearch)) continue;
    std::string key = CDeviceListItem::UpperKey(entry.mac);
    if (auto again = prepared.find(key); again != prepared.end()) {  // one MAC in two spellings
      look->rows[again->second] = std::make_unique<CDeviceListItem>(entry);
      m_given[key] = entry;
      continue;
    }
    auto given = m_given.find(key);
    if (given != m_given.end() && given->second == entry) continue;
    if (given == m_given.end()) {
      m_given.emplace(key, entry);
    } else {
      given->second = entry;
    }
    prepared.emplace(std::move(key), look->rows.size());
    look->rows.push_back(std::make_unique<CDeviceListItem>(entry));
  }
  return look;
}
