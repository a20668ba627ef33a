#pragma once

#include <string>

// The topics a site agent publishes (docs/mqtt-topics.md describes them for consumers):
//   ipscanner/<site>/status             retained: online summary, heartbeat; "offline" as will
//   ipscanner/<site>/devices/<MAC>      retained: one document per device (MAC as 12 hex digits)
//   ipscanner/<site>/events             QoS 1: new, missing, back, changed, problem, problem_gone
constexpr const char* kTopicRoot = "ipscanner";

// A site name that is one topic level: 1 to 64 characters of letters, digits, '-', '_' and '.',
// not starting with '.'. False with the reason otherwise.
bool IsValidSiteName(const std::string& site, std::string* reason);

std::string SiteStatusTopic(const std::string& site);
std::string SiteEventsTopic(const std::string& site);
// compactMac: twelve upper-case hex digits (CompactMacText of the device's MAC).
std::string SiteDeviceTopic(const std::string& site, const std::string& compactMac);
