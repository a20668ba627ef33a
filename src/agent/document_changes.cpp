#include "agent/document_changes.h"

CDocumentChanges::CDocumentChanges(std::vector<std::string> volatileFields)
    : m_volatile(std::move(volatileFields)) {}

std::string CDocumentChanges::Comparable(const nlohmann::json& document) const {
  nlohmann::json copy = document;
  if (copy.is_object()) {
    for (const std::string& field : m_volatile) copy.erase(field);
  }
  return copy.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool CDocumentChanges::Differs(const std::string& key, const nlohmann::json& document) const {
  const auto it = m_published.find(key);
  return it == m_published.end() || it->second != Comparable(document);
}

void CDocumentChanges::MarkPublished(const std::string& key, const nlohmann::json& document) {
  m_published[key] = Comparable(document);
}
