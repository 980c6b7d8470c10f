// UTF-8 <-> UTF-32 conversion for text controls.
#pragma once

#include <string>

namespace utf8 {
// Decodes UTF-8; every malformed byte becomes U+FFFD, so any input gives a character string.
std::u32string Decode(const std::string& s);
// Encodes characters as UTF-8 (surrogates and values past U+10FFFF become U+FFFD).
std::string Encode(const std::u32string& s);
// Encodes one character.
std::string Encode(char32_t c);
}  // namespace utf8
