#pragma once

#include <cstdint>
#include <string>

// Reads a MAC address given on a command line: 12 hexadecimal digits, optionally separated by
// ':' or '-'. False (mac untouched) for anything else.
bool ParseMacText(const std::string& text, uint8_t* mac);
