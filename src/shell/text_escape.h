#pragma once

#include <string>
#include <string_view>

// A text from a device made safe for a terminal or a one-line log: line breaks become \n and
// \r, other C0 controls, DEL and the C1 controls (U+0080 to U+009F) become \xNN. Tabs and all
// other UTF-8 stay as they are.
std::string EscapeControlChars(std::string_view text);
