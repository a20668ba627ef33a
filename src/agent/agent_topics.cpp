#include "agent/agent_topics.h"

#include <cctype>

bool IsValidSiteName(const std::string& site, std::string* reason) {
  if (site.empty() || site.size() > 64) {
    *reason = "a site name has 1 to 64 characters";
    return false;
  }
  if (site.front() == '.') {
    *reason = "a site name does not start with '.'";
    return false;
  }
  for (char c : site) {
    const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    if (!ok) {
      // '/', '+' and '#' would change the topic's shape; anything else keeps names portable.
      *reason = "a site name has only letters, digits, '-', '_' and '.'";
      return false;
    }
  }
  return true;
}

std::string SiteStatusTopic(const std::string& site) {
  return std::string(kTopicRoot) + "/" + site + "/status";
}

std::string SiteEventsTopic(const std::string& site) {
  return std::string(kTopicRoot) + "/" + site + "/events";
}

std::string SiteDeviceTopic(const std::string& site, const std::string& compactMac) {
  return std::string(kTopicRoot) + "/" + site + "/devices/" + compactMac;
}
