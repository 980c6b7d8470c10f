// A second, independent reading of the game's 8-bit text files (levels and records), written
// straight from the file rules and as plainly as possible, so the fuzz targets can compare the
// game's reader against it byte for byte.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzzmodel {

// The number text rule: optional sign; decimal digits, or 1..8 hexadecimal digits after "$",
// "x", "X", "0x" or "0X" giving the 32-bit pattern. Returns false for anything else or for a
// decimal value outside int32.
inline bool Number(std::string_view t, int32_t& out) {
  bool negative = false;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (!t.empty() && (t[0] == '$' || t[0] == 'x' || t[0] == 'X')) {
    base = 16;
    t.remove_prefix(1);
  } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  // from_chars would take a second sign; the rule allows only one, in front.
  if (t.empty() || t[0] == '-' || t[0] == '+') return false;
  if (base == 16 && t.size() > 8) return false;
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size()) return false;
  if (base == 16) {
    uint32_t pattern = static_cast<uint32_t>(v);
    if (negative) pattern = ~pattern + 1u;
    out = static_cast<int32_t>(pattern);
    return true;
  }
  if (negative ? v > 2147483648ull : v > 2147483647ull) return false;
  out = static_cast<int32_t>(negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
  return true;
}

// Sequential reader: the file ends at its first Ctrl-Z.
struct Reader {
  explicit Reader(std::string_view bytes) : s(bytes.substr(0, bytes.find('\x1a'))) {}

  // The whole line up to LF; CR characters are never part of a name.
  std::string Line() {
    std::string line;
    while (i < s.size() && s[i] != '\n') {
      if (s[i] != '\r') line += s[i];
      ++i;
    }
    if (i < s.size()) ++i;  // the LF
    return line;
  }

  // Blanks and control codes skipped, at most 32 visible characters taken, the rest of the line
  // dropped; an invalid text is 0.
  int32_t Num() {
    auto visible = [](char c) { return static_cast<unsigned char>(c) > 32; };
    while (i < s.size() && !visible(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && visible(s[i]) && i - start < 32) ++i;
    std::string_view text = s.substr(start, i - start);
    size_t lf = s.find('\n', i);
    i = lf == std::string_view::npos ? s.size() : lf + 1;
    int32_t v = 0;
    return Number(text, v) ? v : 0;
  }

  std::string_view s;
  size_t i = 0;
};

}  // namespace fuzzmodel
