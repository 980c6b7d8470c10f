#include "platform/utf8_chars.h"

namespace platform {

void AppendUtf8Chars(const char* s, std::vector<char32_t>& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    const unsigned char b = *p;
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0) {
      ++p;
      continue;
    }
    char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    int k = 1;
    for (; k <= extra; ++k) {
      if ((p[k] & 0xC0) != 0x80) break;
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (k <= extra) {
      ++p;
      continue;
    }
    out.push_back(cp);
    p += extra + 1;
  }
}

}  // namespace platform
