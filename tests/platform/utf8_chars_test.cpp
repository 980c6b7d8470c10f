// Typed text reaches the game one character at a time, whatever the driver: Cyrillic and
// four-byte characters whole, broken sequences dropped without taking their neighbours along.
#include "platform/utf8_chars.h"

#include <gtest/gtest.h>

#include <vector>

using platform::AppendUtf8Chars;

TEST(Utf8Chars, WholeCharactersOfEveryLength) {
  std::vector<char32_t> out{U'x'};
  AppendUtf8Chars("aЖ€😀", out);
  EXPECT_EQ(out, (std::vector<char32_t>{U'x', U'a', U'Ж', U'€', U'😀'}));
}

TEST(Utf8Chars, BrokenSequencesAreSkippedAndTheRestKept) {
  std::vector<char32_t> out;
  // A stray continuation byte, a lead byte cut short by an ASCII letter, an invalid lead byte,
  // and a sequence cut by the end of the string.
  AppendUtf8Chars("\x80" "a" "\xD0" "b" "\xFF" "Я" "\xE2\x82", out);
  EXPECT_EQ(out, (std::vector<char32_t>{U'a', U'b', U'Я'}));
}
