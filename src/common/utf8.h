#pragma once
// UTF-8 as the program meets it: texts that are mostly UTF-8 but may hold
// stray bytes of an older 8-bit encoding (a Latin-1 path, a settings file
// from an older program).

#include <cstddef>
#include <string_view>

namespace quarbe {

// The length of the well-formed UTF-8 character starting at text[i] (1 to
// 4 bytes), or 0 when the bytes there are not one: a stray continuation
// byte, a truncated or overlong sequence, a surrogate, a byte that never
// starts a character.
inline std::size_t Utf8CharacterLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the byte after the lead
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace quarbe
