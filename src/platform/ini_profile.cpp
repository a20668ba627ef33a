#include "platform/ini_profile.h"

// Narrow texts only: no wide-character converter is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

constexpr size_t kMaxFileBytes = 16u << 20;

// Bytes of the UTF-8 sequence starting with lead (1 for a stray or invalid byte).
size_t SequenceBytes(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  return 1;
}

// Reads the whole file. Absent counts as empty; any other failure is reported, so that a file
// that cannot be read is never replaced by a write.
bool ReadAll(const std::string& path, std::string& content) {
  content.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
    if (content.size() > kMaxFileBytes) {  // not a settings file (or an endless device)
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Loads an INI file the way every reader here needs it: byte texts, repeated keys kept (the
// first one is the one that counts), double quotes around a value removed. False when the file
// is absent, empty or unreadable.
// CSimpleIniA compares section and key names ignoring ASCII case (CSimpleIniCaseA would not).
bool LoadIni(CSimpleIniA& ini, const std::string& path) {
  ini.SetUnicode(false);
  ini.SetMultiKey(true);
  ini.SetMultiLine(false);
  ini.SetQuotes(true);
  std::string content;
  if (!ReadAll(path, content) || content.empty()) return false;
  // The parser stops at a NUL byte; a damaged file still shows the lines after one.
  std::replace(content.begin(), content.end(), '\0', '\n');
  // A line starting with '[' but without ']' is junk to the writer. The parser would instead
  // file the following keys under a section named from that line onwards ("[S\nK=1" puts K in
  // "S\nK"), or, after a lone '[', take the next line for the name ("[\n[Setting]" reads as
  // "[Setting"). Blanking such a line makes it junk here too. A UTF-8 byte-order mark in front
  // of the first line is skipped, as the parser does.
  for (size_t pos = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; pos < content.size();) {
    size_t end = content.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = content.size();
    const size_t first = content.find_first_not_of(" \t", pos);
    if (first < end && content[first] == '[') {
      const size_t close = content.find(']', first + 1);
      if (close == std::string::npos || close > end)
        std::fill(content.begin() + static_cast<std::ptrdiff_t>(first),
                  content.begin() + static_cast<std::ptrdiff_t>(end), ' ');
    }
    pos = end + 1;
  }
  return ini.LoadData(content.data(), content.size()) == SI_OK;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The reader takes a NUL byte for a line break (see LoadIni); so does the writer.
bool IsLineBreak(char c) { return c == '\n' || c == '\r' || c == '\0'; }

bool EndsWithLineBreak(const std::string& line) {
  return !line.empty() && IsLineBreak(line.back());
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One line of the file as the writer sees it, classified with the same rules as SimpleIni's
// parser so that reader and writer agree on which line holds which key.
struct IniLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string name;       // section or key name, trimmed
  size_t valueStart = 0;  // kKey: offset of the value (after '=' and the blanks following it)
  size_t bodyEnd = 0;     // offset of the line ending ("\r\n" or "\n"), or the line's size
};

IniLine Classify(const std::string& line) {
  IniLine result;
  result.bodyEnd = line.size();
  if (result.bodyEnd > 0 && (line[result.bodyEnd - 1] == '\n' || line[result.bodyEnd - 1] == '\0'))
    --result.bodyEnd;
  if (result.bodyEnd > 0 && line[result.bodyEnd - 1] == '\r') --result.bodyEnd;
  const std::string body = line.substr(0, result.bodyEnd);
  size_t pos = 0;
  while (pos < body.size() && IsBlank(body[pos])) ++pos;
  if (pos == body.size() || body[pos] == ';' || body[pos] == '#') return result;
  if (body[pos] == '[') {
    const size_t close = body.find(']', pos + 1);
    if (close == std::string::npos) return result;
    result.kind = IniLine::kSection;
    result.name = Trim(body.substr(pos + 1, close - pos - 1));
    return result;
  }
  const size_t equals = body.find('=', pos);
  if (equals == std::string::npos || equals == pos) return result;
  result.kind = IniLine::kKey;
  result.name = Trim(body.substr(pos, equals - pos));
  size_t value = equals + 1;
  while (value < body.size() && (body[value] == ' ' || body[value] == '\t')) ++value;
  result.valueStart = value;
  return result;
}

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  // Line endings as the parser knows them: "\r\n", "\n" or a lone "\r" (a NUL byte reads as "\n").
  while (start < content.size()) {
    size_t end = content.find_first_of(std::string("\r\n\0", 3), start);
    if (end == std::string::npos)
      end = content.size();
    else if (content[end] == '\r' && end + 1 < content.size() &&
             (content[end + 1] == '\n' || content[end + 1] == '\0'))
      end += 2;
    else
      end += 1;
    lines.push_back(content.substr(start, end - start));
    start = end;
  }
  return lines;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool ValidNames(const std::string& section, const std::string& key, const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  const std::string trimmedSection = Trim(section);
  const std::string trimmedKey = Trim(key);
  if (trimmedSection.empty() || trimmedKey.empty()) return false;
  if (trimmedSection.find(']') != std::string::npos) return false;
  if (trimmedKey.find('=') != std::string::npos) return false;
  const char first = trimmedKey[0];
  return first != '[' && first != ';' && first != '#';
}

bool WriteAllAtomically(const std::string& path, const std::string& content) {
  std::error_code ec;
  const std::filesystem::path target(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);

  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < content.size()) {
    const ssize_t put = ::write(fd, content.data() + done, content.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0)
      ok = false;
    else
      done += static_cast<size_t>(put);
  }
  if (ok && ::fchmod(fd, mode) != 0) ok = false;
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// The file a write must replace: the target of a symbolic link, not the link itself.
std::string ResolveForWrite(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
      ::realpath(path.c_str(), resolved) != nullptr) {
    return resolved;
  }
  return path;
}

std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

int Utf16Length(const std::string& utf8) {
  int units = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t bytes = SequenceBytes(static_cast<unsigned char>(utf8[pos]));
    units += (bytes == 4) ? 2 : 1;
    pos += bytes;
  }
  return units;
}

std::string CutToUtf16Units(const std::string& utf8, int maxUnits) {
  if (maxUnits <= 0) return std::string();
  int units = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t bytes = SequenceBytes(static_cast<unsigned char>(utf8[pos]));
    const int need = (bytes == 4) ? 2 : 1;
    if (units + need > maxUnits) break;
    units += need;
    pos = std::min(pos + bytes, utf8.size());
  }
  return utf8.substr(0, pos);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, int maxChars,
                                    const std::string& path) {
  if (maxChars <= 0) return std::string();
  CSimpleIniA ini;
  std::string result = defaultValue;
  CSimpleIniA::TNamesDepend values;
  if (LoadIni(ini, path) && ini.GetAllValues(section.c_str(), key.c_str(), values) &&
      !values.empty()) {
    const auto first =
        std::min_element(values.begin(), values.end(),
                         [](const auto& a, const auto& b) { return a.nOrder < b.nOrder; });
    result = first->pItem ? first->pItem : "";
  }
  return CutToUtf16Units(result, maxChars - 1);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
  if (!ValidNames(section, key, value)) return false;
  const std::string sectionName = Trim(section);
  const std::string keyName = Trim(key);

  std::lock_guard<std::mutex> lock(WriteMutex());
  const std::string target = ResolveForWrite(path);
  std::string content;
  if (!ReadAll(target, content)) return false;
  // The reader skips a UTF-8 byte-order mark in front of the first line; so must the writer,
  // or it would not see the first section and add a second one that the reader never reads.
  static const std::string kUtf8Bom = "\xEF\xBB\xBF";
  std::string bom;
  if (content.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) {
    bom = kUtf8Bom;
    content.erase(0, kUtf8Bom.size());
  }
  const std::string eol = (content.find("\r\n") != std::string::npos) ? "\r\n" : "\n";
  std::vector<std::string> lines = SplitLines(content);

  size_t sectionLine = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    const IniLine info = Classify(lines[i]);
    if (info.kind == IniLine::kSection && EqualsNoCase(info.name, sectionName)) {
      sectionLine = i;
      break;
    }
  }

  if (sectionLine == lines.size()) {
    if (!lines.empty() && !EndsWithLineBreak(lines.back())) lines.back() += eol;
    lines.push_back("[" + sectionName + "]" + eol);
    lines.push_back(keyName + "=" + value + eol);
  } else {
    size_t insertAfter = sectionLine;
    bool replaced = false;
    for (size_t i = sectionLine + 1; i < lines.size(); ++i) {
      const IniLine info = Classify(lines[i]);
      if (info.kind == IniLine::kSection) break;
      if (info.kind != IniLine::kKey) continue;
      if (EqualsNoCase(info.name, keyName)) {
        lines[i] = lines[i].substr(0, info.valueStart) + value + lines[i].substr(info.bodyEnd);
        replaced = true;
        break;
      }
      insertAfter = i;
    }
    if (!replaced) {
      std::string& previous = lines[insertAfter];
      if (!EndsWithLineBreak(previous)) previous += eol;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                   keyName + "=" + value + eol);
    }
  }

  std::string updated = bom;
  updated.reserve(content.size() + keyName.size() + value.size() + sectionName.size() + 11);
  for (const std::string& line : lines) updated += line;
  return WriteAllAtomically(target, updated);
}

std::vector<std::pair<std::string, std::string>> GetPrivateProfileSection(
    const std::string& section, const std::string& path, int maxChars) {
  std::vector<std::pair<std::string, std::string>> result;
  CSimpleIniA ini;
  if (!LoadIni(ini, path)) return result;
  const CSimpleIniA::TKeyVal* keys = ini.GetSection(section.c_str());
  if (keys == nullptr) return result;

  struct Row {
    int order;
    const char* key;
    const char* value;
  };
  std::vector<Row> rows;
  rows.reserve(keys->size());
  for (const auto& entry : *keys)
    rows.push_back({entry.first.nOrder, entry.first.pItem, entry.second});
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.order < b.order; });

  // The Windows call fills "key=value\0" per line and one more '\0' at the end.
  long used = 1;
  for (const Row& row : rows) {
    std::string key = row.key ? row.key : "";
    std::string value = row.value ? row.value : "";
    if (maxChars > 0) {
      used += Utf16Length(key) + 1 + Utf16Length(value) + 1;
      if (used > maxChars) break;
    }
    result.emplace_back(std::move(key), std::move(value));
  }
  return result;
}
