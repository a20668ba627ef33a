#pragma once

#include <string>

// Where the program writes. Run from a module folder it may write to (build/bin), everything
// stays below that folder. Installed, the module folder is read-only: the settings go to the
// user's config folder, the download folder and the web server's logs to the user's cache folder.

// Name of the marker file an installed module folder carries. With it the module folder counts
// as read-only even for root, so nothing the program writes ends up in the packaged tree.
constexpr const char* kReadOnlyModuleMarker = "read-only";

// True when the program must not write below this module folder: the marker is there or the
// folder is not writable for the real user.
bool IsModuleFolderReadOnly(const std::string& moduleFolder);

// $XDG_CONFIG_HOME/ipscanner and $XDG_CACHE_HOME/ipscanner, each falling back to ~/.config and
// ~/.cache when the variable is unset, empty or relative (XDG allows absolute paths only). Home
// is $HOME, else the user's entry in the password database. No trailing '/'; empty when no home
// folder can be found. Nothing is created here.
std::string UserConfigFolder();
std::string UserCacheFolder();
// $XDG_DATA_HOME/ipscanner (default ~/.local/share/ipscanner), by the same rules: the records
// the program keeps for the user (site databases).
std::string UserDataFolder();

// Creates the folder and its missing parents (the new ones private to the user). True when it
// is a folder afterwards.
bool MakeFolders(const std::string& folder);

// Copies `from` to `to` unless `to` already exists; two programs seeding at once never
// overwrite each other's copy. True when `to` exists afterwards.
bool SeedFile(const std::string& from, const std::string& to);
