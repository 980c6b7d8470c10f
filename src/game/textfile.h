// The game's two data files (levels and records) are 8-bit text read by one line rule and one
// number rule. Both readers are lenient: a missing file reads as zeros and empty lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace game {

// Files the game reads as text are small; anything beyond this is not a level or record file and is
// not read whole (a hostile data directory must not exhaust memory).
constexpr size_t kMaxTextFileBytes = 16 * 1024 * 1024;

// Sequential reader over the bytes of a text file.
//  - A line ends at LF (a preceding CR is dropped); a CR not followed by LF stays inside the
//    line for numbers but is left out of names.
//  - A byte 26 (Ctrl-Z) ends the file.
//  - Reading past the end gives "" and 0.
class TextFileReader {
 public:
  // Reads at most 16 MiB of `path` (backslashes mapped to '/'); a file that cannot be opened or
  // read, or is not a regular file, reads as empty.
  static TextFileReader Open(const std::string& path);
  // Reads from bytes in memory (as if they were a whole file).
  explicit TextFileReader(std::string bytes);

  // The next line, without its line end and without any CR characters.
  std::string ReadLine();
  // The next number by the number rule: skips codes <= 32, takes at most 32 characters above 32,
  // converts them (see ParseNumber; an invalid text reads as 0), then skips the rest of the line.
  int32_t ReadNumber();
  // True once every byte up to the end (or Ctrl-Z) has been consumed.
  bool AtEnd() const { return pos_ >= end_; }

 private:
  std::string bytes_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// Converts a number's text: optional '+'/'-', then decimal digits, or hexadecimal digits (at most
// eight, giving the 32-bit pattern) introduced by "$", "x", "X", "0x" or "0X". Returns false for
// any other text or a decimal value outside the int32 range.
bool ParseNumber(const std::string& text, int32_t& value);

// Maps the stored backslash separator of data paths to the platform's separator: only in the part
// after the last '/' (a stored name such as "levels\lev1.lev", maybe behind a folder); the folder
// in front of it is the system's own and is kept as it is.
std::string NativePath(const std::string& storedPath);

// Windows-1251 <-> UTF-8. Characters that 1251 lacks become '?'.
std::string Cp1251ToUtf8(const std::string& bytes);
std::string Utf8ToCp1251(const std::string& utf8);

}  // namespace game
