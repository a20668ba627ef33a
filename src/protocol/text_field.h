#pragma once

#include <string>

// Conversions between UTF-8 text and the fixed UTF-16 fields of the records, bounded by both
// sides' sizes.

// Converts a field (up to its first zero or fieldChars characters) to UTF-8 in out,
// zero-terminated. Returns the byte count without the terminator, or -1 when it does not fit
// outSize.
int FieldToUtf8(const char16_t* field, int fieldChars, char* out, int outSize);
std::string FieldToUtf8(const char16_t* field, int fieldChars);

// Stores UTF-8 text into a field of fieldChars characters, always zero-terminated inside it. A
// text that does not fit is cut at a character boundary (never between two surrogate halves);
// malformed UTF-8 sequences become U+FFFD.
void Utf8ToField(const char* text, char16_t* field, int fieldChars);

template <size_t N>
void Utf8ToField(const char* text, char16_t (&field)[N]) {
  Utf8ToField(text, field, static_cast<int>(N));
}
template <size_t N>
std::string FieldToUtf8(const char16_t (&field)[N]) {
  return FieldToUtf8(field, static_cast<int>(N));
}
