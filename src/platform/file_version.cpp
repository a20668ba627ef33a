#include "platform/file_version.h"

#include <cstdio>

#include "version.h"

std::string GetCompiledVersionText() {
  // "+ 0" keeps a version without one of its parts (an empty macro) meaning 0.
  char text[64];
  std::snprintf(text, sizeof(text), "%d.%d.%d.%d", IPS_VERSION_MAJOR + 0, IPS_VERSION_MINOR + 0,
                IPS_VERSION_PATCH + 0, IPS_VERSION_TWEAK + 0);
  return text;
}
