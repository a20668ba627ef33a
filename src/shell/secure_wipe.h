#pragma once

#include <cstddef>
#include <string>

// Overwrites memory that held a password or a plaintext document carrying one, with stores the
// compiler may not drop, so the secret does not linger in freed memory or a core dump.
void SecureWipe(void* data, size_t size);
// Wipes the string's whole buffer (its capacity), then empties it.
void SecureWipe(std::string& text);
