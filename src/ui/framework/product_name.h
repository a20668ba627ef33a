#pragma once

// The name the program shows to people: window and message-box titles, the restart question,
// the About box. Identifiers nobody reads (the instance name, window properties, the log's
// module tag) keep their own spelling.
inline constexpr const char* kProductName = "IP Scanner";
