#include "game/textfile.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "platform/data_file.h"
#include "toolkit/utf8.h"

namespace game {

namespace {
constexpr char kCtrlZ = 26;
}  // namespace

std::string NativePath(const std::string& storedPath) {
  // Only the game's own stored name (the part after the last '/') uses the backslash: a folder
  // in front of it came from the system (HOME, a level set's path) and may hold one in a name.
  std::string p = storedPath;
  const size_t slash = p.find_last_of('/');
  for (size_t i = slash == std::string::npos ? 0 : slash + 1; i < p.size(); ++i)
    if (p[i] == '\\') p[i] = '/';
  return p;
}

TextFileReader TextFileReader::Open(const std::string& path) {
  // A file that cannot be opened, or is not a regular file (a pipe, a device, a folder), reads as
  // empty; so does one that fails while it is read.
  std::vector<uint8_t> bytes;
  int error = 0;
  if (!platform::ReadDataFile(NativePath(path), kMaxTextFileBytes, bytes, error)) bytes.clear();
  return TextFileReader(std::string(bytes.begin(), bytes.end()));
}

TextFileReader::TextFileReader(std::string bytes) : bytes_(std::move(bytes)) {
  size_t z = bytes_.find(kCtrlZ);
  end_ = z == std::string::npos ? bytes_.size() : z;
}

std::string TextFileReader::ReadLine() {
  std::string line;
  while (pos_ < end_) {
    char c = bytes_[pos_++];
    if (c == '\n') break;
    if (c == '\r') continue;  // a lone CR does not end the line and is not part of a name
    line.push_back(c);
  }
  return line;
}

int32_t TextFileReader::ReadNumber() {
  while (pos_ < end_ && static_cast<unsigned char>(bytes_[pos_]) <= 32) ++pos_;
  std::string text;
  while (pos_<end_&& static_cast<unsigned char>(bytes_[pos_])> 32 && text.size() < 32)
    text.push_back(bytes_[pos_++]);
  // The rest of the line, up to and including the next LF, is not part of the number.
  while (pos_ < end_) {
    if (bytes_[pos_++] == '\n') break;
  }
  int32_t value = 0;
  if (!ParseNumber(text, value)) value = 0;
  return value;
}

bool ParseNumber(const std::string& text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size()) return false;
  bool hex = false;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    hex = true;
    ++i;
  } else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  if (hex) {
    if (text.size() - i > 8) return false;
    uint32_t v = 0;
    for (; i < text.size(); ++i) {
      char c = text[i];
      uint32_t d;
      if (c >= '0' && c <= '9')
        d = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        d = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        d = static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
      v = (v << 4) | d;
    }
    // The digits give the 32-bit pattern; the sign then negates it in 32-bit arithmetic.
    uint32_t r = negative ? 0u - v : v;
    value = static_cast<int32_t>(r);
    return true;
  }
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return false;
  value = static_cast<int32_t>(v);
  return true;
}

namespace {
// Windows-1251 code points for bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F).
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t Cp1251ToCodePoint(unsigned char b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x0410 + (b - 0xC0);
  return kCp1251High[b - 0x80];
}

}  // namespace

std::string Cp1251ToUtf8(const std::string& bytes) {
  std::u32string chars;
  chars.reserve(bytes.size());
  for (char c : bytes) chars.push_back(Cp1251ToCodePoint(static_cast<unsigned char>(c)));
  return utf8::Encode(chars);
}

std::string Utf8ToCp1251(const std::string& text) {
  std::string out;
  for (char32_t cp : utf8::Decode(text)) {  // malformed bytes arrive as U+FFFD, written '?'
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp >= 0x0410 && cp <= 0x044F) {
      out.push_back(static_cast<char>(0xC0 + (cp - 0x0410)));
    } else {
      char found = '?';
      for (int k = 0; k < 64; ++k)
        if (kCp1251High[k] == cp && cp != 0xFFFD) found = static_cast<char>(0x80 + k);
      out.push_back(found);
    }
  }
  return out;
}

}  // namespace game
