#include "core/control/site_look.h"

#include <algorithm>

#include "core/control/control.h"

SITE_LOOK_SOURCES_T SITE_LOOK_SOURCES_T::Of(CControl* control, std::vector<IPV4_SUBNET_T> subnets) {
  SITE_LOOK_SOURCES_T sources;
  sources.table = [control](uint64_t* version) { return control->GetDeviceList(version); };
  sources.tableVersion = [control] { return control->DeviceTableVersion(); };
  sources.status = [control] { return control->DeviceStatus().Snapshot(); };
  sources.statusChanged = [control](const STATUS_STAMP_T& since, std::chrono::milliseconds* now) {
    return control->DeviceStatus().ChangedSince(since, now);
  };
  sources.subnets = [subnets = std::move(subnets)] { return subnets; };
  return sources;
}

namespace {

bool SameSubnets(const std::vector<IPV4_SUBNET_T>& a, const std::vector<IPV4_SUBNET_T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.address == y.address && x.mask == y.mask;
  });
}

bool SameProblems(const std::vector<SITE_PROBLEM_T>& a, const std::vector<SITE_PROBLEM_T>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.code == y.code && x.value == y.value && x.others == y.others &&
           x.otherCount == y.otherCount;
  });
}

}  // namespace

CSiteLook::CSiteLook(SITE_LOOK_SOURCES_T sources, SiteProblemHook problemHook)
    : m_sources(std::move(sources)), m_problemHook(std::move(problemHook)) {
  m_now.table = &m_table;
  m_now.status = &m_status;
  m_now.problems = &m_problems;
  m_now.subnets = &m_subnets;
}

const SITE_NOW_T& CSiteLook::Look(bool freshStatus) {
  m_now.changed.clear();
  m_now.gone.clear();
  m_now.events.clear();
  std::vector<IPV4_SUBNET_T> subnets;
  if (m_sources.subnets) subnets = m_sources.subnets();
  const bool subnetsMoved = !m_subnetsRead || !SameSubnets(subnets, m_subnets);
  const bool tableMoved = m_sources.tableVersion() != m_tableVersion;
  std::chrono::milliseconds now{0};
  const bool statusMoved = m_sources.statusChanged(m_statusStamp, &now) || freshStatus;
  m_now.tableChanged = tableMoved || subnetsMoved;
  m_now.statusChanged = m_now.tableChanged || statusMoved;
  if (m_now.Kept()) {
    // Only the clock moved (times shown as "last seen" are worked out from it).
    m_status.now = now;
    m_statusStamp.now = now;
    m_now.now = now;
    return m_now;
  }

  if (tableMoved) {
    m_table = m_sources.table(&m_tableVersion);
    m_index.clear();
    m_index.reserve(m_table.size());
    for (size_t i = 0; i < m_table.size(); ++i) m_index[m_table[i].mac] = i;
  }
  if (subnetsMoved) {
    m_subnets = std::move(subnets);
    m_subnetsRead = true;
  }
  m_status = m_sources.status();
  m_statusStamp = m_status.Stamp();
  m_now.now = m_status.now;
  if (m_now.tableChanged) {
    m_problems = CSiteProblems::Compute(m_table, m_subnets);
    if (m_problemHook) m_problemHook(m_table, m_problems);
  }
  NoteChanges();
  if (m_watching) m_now.events = m_watch.Update(m_table, m_status, m_problems);
  return m_now;
}

const DEVICE_ENTRY_T* CSiteLook::Find(const std::string& mac) const {
  const auto it = m_index.find(mac);
  return it == m_index.end() ? nullptr : &m_table[it->second];
}

void CSiteLook::NoteChanges() {
  static const std::vector<SITE_PROBLEM_T> kNone;
  std::unordered_map<std::string, SHOWN_T> shown;
  shown.reserve(m_table.size());
  int online = 0;
  for (size_t i = 0; i < m_table.size(); ++i) {
    const DEVICE_ENTRY_T& entry = m_table[i];
    const DEVICE_LIVE_T live = m_status.LiveOf(entry.mac);
    if (live.status != EDeviceStatus::kMissing) ++online;
    const auto problems = m_problems.find(entry.mac);
    const std::vector<SITE_PROBLEM_T>& now =
        problems == m_problems.end() ? kNone : problems->second;
    auto before = m_shown.find(entry.mac);
    if (before != m_shown.end()) {
      SHOWN_T& was = before->second;
      if (!(was.entry == entry) || was.status != live.status || was.known != live.known ||
          was.isNew != live.isNew || !SameProblems(was.problems, now)) {
        m_now.changed.push_back(i);
        was = SHOWN_T{entry, live.status, live.known, live.isNew, now};
      }
      shown.emplace(entry.mac, std::move(was));
      m_shown.erase(before);
    } else {
      m_now.changed.push_back(i);
      shown.emplace(entry.mac, SHOWN_T{entry, live.status, live.known, live.isNew, now});
    }
  }
  for (auto& [mac, was] : m_shown) m_now.gone.push_back(mac);
  std::sort(m_now.gone.begin(), m_now.gone.end());
  m_shown.swap(shown);
  m_now.onlineCount = online;
}
