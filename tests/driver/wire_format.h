#pragma once

// The driver's wire format, shared by the library and its client. A request is one line: the
// command and its arguments separated by tabs, ended by '\n'; inside an argument a tab, line
// break, carriage return and backslash travel as \t, \n, \r and \\. The reply is everything the
// driver writes before it closes the connection: "ok", "ok <text>" or "error <reason>".

#include <string>
#include <vector>

namespace guidriver {

std::string EncodeRequest(const std::vector<std::string>& words);
// The words of one request line (without its '\n'); an unknown escape keeps its character.
std::vector<std::string> DecodeRequest(const std::string& line);

}  // namespace guidriver
