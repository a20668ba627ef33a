#pragma once

#include <string>
#include <utility>
#include <vector>

// INI files with Windows profile semantics, on top of SimpleIni:
// - section and key names compare case-insensitively (ASCII);
// - an absent file, section or key reads as the default;
// - the first occurrence of a key wins when a file holds it twice;
// - a value enclosed in double quotes reads without them;
// - a write creates the folder, file, section and key as needed and keeps every other byte of
//   the file as it was (comments, blank lines, order, spacing, line endings);
// - writes go to a temporary file that then replaces the original, so a crash never leaves a
//   half-written settings file.
// Texts are UTF-8. "Characters" are counted as UTF-16 units, like the Windows calls count them,
// and a text is never cut inside a character.

// The value of key in section, or defaultValue when absent, cut to maxChars - 1 characters the
// way the Windows call fills a buffer of maxChars. maxChars <= 0 gives an empty text.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, int maxChars,
                                    const std::string& path);

// Sets key in section to value. False when the file cannot be written, or when a name or the
// value would break the file's line structure (a line break in any of them, an empty key or
// section name, '=' in a key, ']' in a section name, a key starting with '[', ';' or '#').
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

// Every key=value line of the section in file order (duplicates included; names and values
// trimmed of white space). With maxChars > 0 only the lines that fit whole into a buffer of that
// many characters holding "key=value\0" per line plus a final '\0' are returned.
std::vector<std::pair<std::string, std::string>> GetPrivateProfileSection(
    const std::string& section, const std::string& path, int maxChars = 0);

// Text helpers shared with the callers that keep their own limits.
int Utf16Length(const std::string& utf8);
std::string CutToUtf16Units(const std::string& utf8, int maxUnits);
