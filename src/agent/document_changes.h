#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <vector>

// Which device documents must go to the broker again: a document is published when anything in
// it changed except the times: "last_seen" moves on every discovery round, and "first_seen",
// turned from the steady clock into wall-clock time at each look, wobbles by a millisecond. So an
// idle site costs no traffic per device. Memory: one compact text per device.
class CDocumentChanges {
public:
  // Fields left out of the comparison.
  explicit CDocumentChanges(std::vector<std::string> volatileFields = {"last_seen", "first_seen"});

  // True when `document` differs from what was last marked published under `key`.
  bool Differs(const std::string& key, const nlohmann::json& document) const;
  void MarkPublished(const std::string& key, const nlohmann::json& document);
  // After a reconnect every document is due again (the broker may have lost retained ones).
  void ForgetAll() { m_published.clear(); }
  size_t Size() const { return m_published.size(); }

private:
  std::string Comparable(const nlohmann::json& document) const;

  std::vector<std::string> m_volatile;
  std::unordered_map<std::string, std::string> m_published;
};
