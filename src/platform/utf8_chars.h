// The characters of a text-input event: the real and the browser drivers both get typed text as
// UTF-8 and hand it to the game one code point at a time.
#pragma once

#include <vector>

namespace platform {

// Appends the code points of the NUL-terminated UTF-8 string `s` to `out`; a malformed or cut
// sequence is skipped one byte at a time (typed text never shows a replacement mark).
void AppendUtf8Chars(const char* s, std::vector<char32_t>& out);

}  // namespace platform
