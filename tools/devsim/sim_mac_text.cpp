#include "sim_mac_text.h"

bool ParseMacText(const std::string& text, uint8_t* mac) {
  std::string hex;
  for (char c : text)
    if (c != ':' && c != '-') hex += c;
  if (hex.size() != 12 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  for (int i = 0; i < 6; ++i)
    mac[i] = static_cast<uint8_t>(std::stoul(hex.substr(i * 2, 2), nullptr, 16));
  return true;
}
