#pragma once

#include <string>

// The program's version as "major.minor.build.revision", compiled in from the build's version.
std::string GetCompiledVersionText();
