#include "protocol/text_field.h"

#include <cstring>
#include <string_view>

#include "shell/global_utils.h"

namespace {

// The field's text: up to its first zero or its last character.
std::u16string_view FieldText(const char16_t* field, int fieldChars) {
  if (field == nullptr) return {};
  int length = 0;
  while (length < fieldChars && field[length] != 0) ++length;
  return std::u16string_view(field, static_cast<size_t>(length));
}

}  // namespace

int FieldToUtf8(const char16_t* field, int fieldChars, char* out, int outSize) {
  if (out == nullptr || outSize <= 0) return -1;
  const std::string text = CGlobalUtils::ToUtf8(FieldText(field, fieldChars));
  if (text.size() + 1 > static_cast<size_t>(outSize)) {
    out[0] = 0;
    return -1;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

std::string FieldToUtf8(const char16_t* field, int fieldChars) {
  return CGlobalUtils::ToUtf8(FieldText(field, fieldChars));
}

void Utf8ToField(const char* text, char16_t* field, int fieldChars) {
  if (field == nullptr || fieldChars <= 0) return;
  std::memset(field, 0, sizeof(char16_t) * fieldChars);
  if (text == nullptr) return;
  // Cut at a character boundary, never between two surrogate halves; the terminator fits.
  CGlobalUtils::Utf8ToWide(text, field, fieldChars);
}
