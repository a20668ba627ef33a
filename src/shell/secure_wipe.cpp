#include "shell/secure_wipe.h"

void SecureWipe(void* data, size_t size) {
  if (data == nullptr) return;
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}

void SecureWipe(std::string& text) {
  text.resize(text.capacity());
  SecureWipe(text.data(), text.size());
  text.clear();
}
