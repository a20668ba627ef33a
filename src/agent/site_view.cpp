#include "agent/site_view.h"

#include "agent/agent_topics.h"

namespace {

// The device document's fields a listing uses (docs/mqtt-topics.md), without the problems.
constexpr const char* kDeviceFields[] = {"site",  "ip",         "mac",      "work_mac",
                                         "model", "room",       "firmware", "status",
                                         "new",   "first_seen", "last_seen"};
constexpr const char* kProblemFields[] = {"code", "text", "detail"};

// At most kMaxFieldBytes, not ending inside a UTF-8 sequence.
std::string Cut(const std::string& text) {
  if (text.size() <= CSiteView::kMaxFieldBytes) return text;
  size_t end = CSiteView::kMaxFieldBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// A string (cut), a number, a boolean or null; nothing else is kept.
bool KeepScalar(const nlohmann::json& value, nlohmann::json* kept) {
  if (value.is_string()) {
    *kept = Cut(value.get_ref<const std::string&>());
    return true;
  }
  if (value.is_number() || value.is_boolean() || value.is_null()) {
    *kept = value;
    return true;
  }
  return false;
}

std::string Text(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return "";
  return Cut(it->get_ref<const std::string&>());
}

std::string Compact(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string CSiteView::KeepDeviceFields(const nlohmann::json& document) {
  nlohmann::json kept = nlohmann::json::object();
  for (const char* key : kDeviceFields) {
    const auto it = document.find(key);
    nlohmann::json value;
    if (it != document.end() && KeepScalar(*it, &value)) kept[key] = std::move(value);
  }
  const auto problems = document.find("problems");
  if (problems != document.end() && problems->is_array()) {
    nlohmann::json list = nlohmann::json::array();
    for (const nlohmann::json& problem : *problems) {
      if (list.size() == kMaxProblems) break;
      if (!problem.is_object()) continue;
      nlohmann::json entry = nlohmann::json::object();
      for (const char* key : kProblemFields) {
        const auto field = problem.find(key);
        nlohmann::json value;
        if (field != problem.end() && KeepScalar(*field, &value)) entry[key] = std::move(value);
      }
      list.push_back(std::move(entry));
    }
    kept["problems"] = std::move(list);
  }
  return Compact(kept);
}

nlohmann::json CSiteView::DeviceFields(const std::string& kept) {
  nlohmann::json object = nlohmann::json::parse(kept, nullptr, false);
  return object.is_object() ? object : nlohmann::json::object();
}

bool CSiteView::Fits(size_t bytes) const {
  return m_entries < m_limits.maxEntries && m_bytes + bytes <= m_limits.maxBytes;
}

CSiteView::SITE_T* CSiteView::SiteFor(const std::string& name, size_t extraBytes) {
  const auto it = m_sites.find(name);
  if (it != m_sites.end()) return &it->second;
  const size_t cost = kEntryCost + name.size();
  // Room for the site and what comes with it, so that a new site never takes the last place
  // and then holds nothing.
  if (!Fits(cost + extraBytes) || m_entries + 1 >= m_limits.maxEntries) return nullptr;
  m_bytes += cost;
  ++m_entries;
  return &m_sites[name];
}

void CSiteView::OnMessage(const std::string& topic, const std::string& payload) {
  if (payload.size() > kMaxPayload) return;
  // ipscanner/<site>/status or ipscanner/<site>/devices/<MAC>
  const std::string root = std::string(kTopicRoot) + "/";
  if (topic.rfind(root, 0) != 0) return;
  const std::string rest = topic.substr(root.size());
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return;
  const std::string site = rest.substr(0, slash);
  const std::string kind = rest.substr(slash + 1);
  std::string reason;
  if (!IsValidSiteName(site, &reason)) return;

  if (kind == "status") {
    const nlohmann::json document = nlohmann::json::parse(payload, nullptr, false);
    if (!document.is_object()) return;
    const std::string state = Text(document, "state");
    const std::string time = Text(document, "time");
    SITE_T* entry = SiteFor(site, state.size() + time.size());
    if (entry == nullptr) {
      ++m_leftOut;
      return;
    }
    const size_t before = entry->state.size() + entry->time.size();
    m_bytes -= before;
    entry->state.clear();
    entry->time.clear();
    entry->hasStatus = false;
    // A status that grew past the bound leaves the site without one rather than an old one.
    if (m_bytes + state.size() + time.size() > m_limits.maxBytes &&
        state.size() + time.size() > before) {
      ++m_leftOut;
      return;
    }
    m_bytes += state.size() + time.size();
    entry->hasStatus = true;
    entry->state = state;
    entry->time = time;
    return;
  }
  if (kind.rfind("devices/", 0) != 0) return;
  const std::string mac = kind.substr(8);
  if (mac.empty() || mac.size() > kMaxFieldBytes || mac.find('/') != std::string::npos) return;
  if (payload.empty()) {  // a retained document cleared
    const auto found = m_sites.find(site);
    if (found == m_sites.end()) return;
    const auto device = found->second.devices.find(mac);
    if (device == found->second.devices.end()) return;
    m_bytes -= kEntryCost + mac.size() + device->second.size();
    --m_entries;
    found->second.devices.erase(device);
    return;
  }
  const nlohmann::json document = nlohmann::json::parse(payload, nullptr, false);
  if (!document.is_object()) return;
  std::string kept = KeepDeviceFields(document);
  const size_t cost = kEntryCost + mac.size() + kept.size();
  SITE_T* entry = SiteFor(site, cost);
  if (entry == nullptr) {
    ++m_leftOut;
    return;
  }
  const auto device = entry->devices.find(mac);
  if (device != entry->devices.end()) {  // a newer document of a kept device
    const size_t before = device->second.size();
    if (kept.size() <= before || m_bytes + (kept.size() - before) <= m_limits.maxBytes) {
      m_bytes = m_bytes - before + kept.size();
      device->second = std::move(kept);
      return;
    }
    // It grew past the bound: the device leaves the view rather than showing an old document.
    m_bytes -= kEntryCost + mac.size() + before;
    --m_entries;
    entry->devices.erase(device);
    ++entry->leftOut;
    ++m_leftOut;
    return;
  }
  if (!Fits(cost)) {
    ++entry->leftOut;
    ++m_leftOut;
    return;
  }
  m_bytes += cost;
  ++m_entries;
  entry->devices.emplace(mac, std::move(kept));
}
