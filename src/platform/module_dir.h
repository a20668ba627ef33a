#pragma once

#include <string>

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
// Empty when the executable's path cannot be read or has no '/'.
std::string GetModuleFolder();

// Replaces the module folder for the rest of the process (tests point it at a temporary
// folder); an empty text returns to the executable's folder.
void SetModuleFolderOverride(const std::string& folder);
