#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Configuration-item arrays (module.szItem of REPORT_CONFIG_T): 32 texts of 96 UTF-16 characters,
// used entries first; the first empty text ends the list.
constexpr int kConfigItemCount = 32;
constexpr int kConfigItemChars = 96;

// One network adapter with its IPv4 addresses ("0.0.0.0" when it has none).
struct AdapterEntry {
  std::vector<std::string> ipAddresses;
  std::string szDescription;  // at most 63 characters
  std::string szAdapterName;  // at most 259 characters (the interface name on Linux)
  uint8_t mac[6] = {};
};

// Small stateless helpers shared by every layer. Texts are UTF-8 std::string unless a fixed
// UTF-16 array (char16_t) of a record is named. Nothing throws; failures are -1, false or empty.
class CGlobalUtils {
public:
  // SystemSetting.ini sections and keys.
  static constexpr const char* kLanguageSection = "LANGUAGE_SETTING";
  static constexpr const char* kLanguageKey = "Language";
  static constexpr const char* kNetConnSection = "NET_CONN_SETTING";
  static constexpr const char* kInterfaceKey = "Interface";
  static constexpr const char* kAdapterNameKey = "AdapterName";
  static constexpr const char* kIpKey = "IP";
  static constexpr const char* kIpSeparator = "\xE3\x80\x81";  // U+3001 in UTF-8

  // Paths below the module folder (the folder of the running executable): what the program
  // only reads (skin, catalogs, tools).
  static std::string GetModuleDir();
  static std::string MakeModulePath(const std::string& relative);
  static std::string LanguagePath(const std::string& languageFile);
  // The catalog files (names ending in ".txt") of the Language folder, sorted by name.
  static std::vector<std::string> ListLanguageFiles();
  // A language's name: its catalog's file name up to the first '.' ("Chinese.Simplified.txt"
  // is "Chinese").
  static std::string LanguageNameOf(const std::string& catalogFile);
  // The catalog of a language: Language/<language>.txt when it exists, else the first catalog
  // whose language name is `language`, else Language/<language>.txt all the same.
  static std::string LanguageCatalogPath(const std::string& language);
  // What the program writes lies below the module folder when the program may write there
  // (run from build/bin). An installed, read-only module folder hands it to the user's folders
  // (platform/user_folders.h), created and seeded with the shipped config files on first use.
  // ConfigDir() (<module>/config, or ~/.config/ipscanner) holds SystemSetting.ini and
  // ModelName.ini; DataDir() (<module>, or ~/.cache/ipscanner) holds Download/Rom/.
  static std::string ConfigDir();
  static std::string DataDir();
  static bool UsesUserFolders();
  // A file in the download folder the web server serves: below DataDir(), or under root below
  // the server's private run-time folder while it exists (shell/web_server_root.h).
  static std::string RomDownloadPath(const std::string& fileName);
  static std::string SystemSettingPath();
  static std::string ModelNamePath();
  static bool FileExists(const std::string& path);
  static void ClearRomDownloadFolder(const std::string& folder);
  // Tests point every path above at a temporary folder; an empty text restores the real one.
  static void SetModuleDirForTesting(const std::string& folder);

  // Settings and catalog.
  static std::string ReadLanguageSetting();
  static bool WriteLanguageSetting(const std::string& language);
  // The catalog's name for the firmware's prefix (the text before its first dot), from the
  // file as it is now.
  static std::string LookupModelName(const std::string& firmware);
  // The model a discovery answer names, else the catalog's name for its firmware, from the file
  // as it was at most a millisecond ago.
  static std::string DeviceModelName(const std::string& model, const std::string& firmware);
  static std::map<std::string, std::string> ReadModelNameMap();
  // Whether config/ModelName.ini can serve as the model catalog. False, with the reason in
  // *problem ("is missing", "cannot be read", "holds no [ModelName] entry") and one log line,
  // when not: devices that report no model then have none. Called once at start.
  static bool CheckModelCatalog(std::string* problem);  // model name -> prefix
  static std::string GetFileVersionText();

  // [NET_CONN_SETTING] of SystemSetting.ini. maxChars is the reader's buffer in characters
  // (the value is cut to maxChars - 1): Interface 128, AdapterName 520, IP 1024 (main window)
  // or 260 (upgrade window).
  static std::string ReadNetConnSetting(const std::string& key, int maxChars);
  static bool WriteNetConnSetting(const std::string& key, const std::string& value);
  static std::string ReadInterfaceSetting();              // "Interface", at most 127 characters
  static std::string ReadAdapterNameSetting();            // "AdapterName", at most 519 characters
  static std::string ReadIpSetting(int maxChars = 1024);  // "IP"
  // The IP value holds several addresses joined with the ideographic comma U+3001.
  static std::vector<std::string> SplitIpSetting(const std::string& joined);
  static std::string JoinIpSetting(const std::vector<std::string>& addresses);

  // Texts and addresses.
  // Buffer conversions always terminate the text and never write past size units: a text that
  // does not fit is cut before the first character that does not fit whole. Malformed input
  // becomes U+FFFD. WideToUtf8 returns the bytes written including the terminator, Utf8ToWide 0;
  // both -1 for a null argument or a size of 0 or less.
  static int WideToUtf8(const char16_t* wide, char* buffer, int size);
  static int Utf8ToWide(const char* utf8, char16_t* buffer, int size);
  static std::string ToUtf8(std::u16string_view wide);
  static std::u16string ToWide(std::string_view utf8);
  // Decimal integer: optional leading white space and sign, then digits up to the first other
  // character; no digits (or null) gives 0, values beyond int are clamped.
  static int TextToInt(const char* text);
  static int TextToIntW(const char16_t* text);
  static std::string IpToText(uint32_t hostOrderAddress);
  static bool IsValidIPv4(const std::string& text);
  // 12 hexadecimal digits; pairs missing from a shorter text give 0 (nothing past the
  // terminator is read).
  static int MacTextToBytes(const char* macText, uint8_t* out6);
  // The six bytes as 12 upper-case hexadecimal digits without separators; empty for null.
  static std::string MacBytesToText(const uint8_t* mac6);
  // First IPv4 address of the host name; empty when the name does not resolve.
  static std::string GetLocalIP();
  // Seeded with the current second (same second, same text) on a private generator state.
  static std::string RandomText(int length);
  static std::string FirmwareUrl(const std::string& host, const std::string& fileName);

  // Configuration items (UTF-8 key and value, written as UTF-16 into the first empty entry; a text
  // over 95 characters is cut to fit its entry).
  static int AddConfigItem(char16_t (*items)[kConfigItemChars], const char* key, const char* value);
  static int AddConfigItemValue(char16_t (*items)[kConfigItemChars], const char* key,
                                const char* value);

  // System.
  // Every interface but loopback, in the system's order; the description is the name with the
  // kind of link and driver (DescribeInterface, platform/adapter_description.h).
  static std::vector<AdapterEntry> GetAdapters();
  // Runs "/bin/sh -c command" and judges its first block of output (stdout and stderr): -1 when
  // it mentions "ERROR", "error" or "Error" or the command cannot start, else 0. A command over
  // 1023 characters is refused (-1, error log) rather than cut into a different command.
  static int CmdOperate(const std::string& command);
};
