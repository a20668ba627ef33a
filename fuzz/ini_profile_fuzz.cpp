// The INI reader on arbitrary file contents. Input: 1 byte selector, then the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ini_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 16384) return 0;
  static const std::string path = "/tmp/ini_profile_fuzz." + std::to_string(getpid()) + ".ini";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  static const char* sections[] = {"Setting", "ModelName", "", "a b", "[x]"};
  static const char* keys[] = {"Language", "AdapterName", "", "k", "=v"};
  const char* section = sections[data[0] % 5];
  const char* key = keys[(data[0] / 5) % 5];
  const int maxChars = (data[0] & 0x80) ? 0 : (data[0] & 0x3F) - 2;
  GetPrivateProfileString(section, key, "def", maxChars == 0 ? 260 : maxChars, path);
  GetPrivateProfileSection(section, path, maxChars);
  // A write keeps the rest of the file; a second read must see the value written.
  if (WritePrivateProfileString("Setting", "Language", "English", path)) {
    if (GetPrivateProfileString("Setting", "Language", "", 260, path) != "English")
      __builtin_trap();
  }
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  CutToUtf16Units(text, data[0]);
  Utf16Length(text);
  return 0;
}
