#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

// What the central view (`ipscanner-cli sites --mqtt`) keeps of the retained documents that site
// agents publish: for each site the state and time of its status, for each device the fields of
// the device document the listing shows (texts cut to kMaxFieldBytes, at most kMaxProblems
// problems), as one compact text. Whole documents are never kept.
//
// Everything on the broker is untrusted, and a broker may hold far more than any listing needs:
// the view keeps at most maxEntries sites and devices together and maxBytes of kept text (each
// entry counted with a fixed cost for its bookkeeping). Documents beyond either bound are left
// out and counted, and the listing says so.
struct SITE_VIEW_LIMITS_T {
  size_t maxBytes = 16u << 20;
  size_t maxEntries = 131072;  // as many devices as the program's own device table holds
};

class CSiteView {
public:
  static constexpr size_t kMaxPayload = 64 * 1024;  // larger documents are no agent's
  static constexpr size_t kMaxFieldBytes = 128;
  static constexpr size_t kMaxProblems = 8;
  static constexpr size_t kEntryCost = 128;  // map node, string headers

  struct SITE_T {
    bool hasStatus = false;
    std::string state, time;                     // of the status document
    std::map<std::string, std::string> devices;  // by the topic's MAC level: the kept fields
    uint64_t leftOut = 0;                        // device documents the bounds left out
  };

  explicit CSiteView(SITE_VIEW_LIMITS_T limits = {}) : m_limits(limits) {}

  // One message of ipscanner/+/status or ipscanner/+/devices/+. Anything else, a payload that
  // is no JSON object or too large, an invalid site name: ignored. An empty payload on a
  // device topic (a cleared retained document) removes the device.
  void OnMessage(const std::string& topic, const std::string& payload);

  const std::map<std::string, SITE_T>& Sites() const { return m_sites; }
  // Documents left out because a bound was reached (0: the view is whole).
  uint64_t LeftOut() const { return m_leftOut; }
  size_t KeptBytes() const { return m_bytes; }
  size_t Entries() const { return m_entries; }

  // A kept device as a JSON object (its fields as the agent sent them, within the cuts).
  static nlohmann::json DeviceFields(const std::string& kept);
  // The kept text of a device document: the listed fields only.
  static std::string KeepDeviceFields(const nlohmann::json& document);

private:
  // The site's entry, created when the bounds allow; null when they do not.
  SITE_T* SiteFor(const std::string& name, size_t extraBytes);
  bool Fits(size_t bytes) const;

  SITE_VIEW_LIMITS_T m_limits;
  std::map<std::string, SITE_T> m_sites;
  size_t m_bytes = 0;
  size_t m_entries = 0;
  uint64_t m_leftOut = 0;
};
