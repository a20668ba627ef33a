#include "wire_format.h"

namespace guidriver {

std::string EncodeRequest(const std::vector<std::string>& words) {
  std::string line;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i) line += '\t';
    for (char c : words[i]) {
      switch (c) {
        case '\t':
          line += "\\t";
          break;
        case '\n':
          line += "\\n";
          break;
        case '\r':
          line += "\\r";
          break;
        case '\\':
          line += "\\\\";
          break;
        default:
          line += c;
      }
    }
  }
  line += '\n';
  return line;
}

std::vector<std::string> DecodeRequest(const std::string& line) {
  std::vector<std::string> words(1);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      words.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      char next = line[++i];
      words.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      words.back() += c;
    }
  }
  return words;
}

}  // namespace guidriver
