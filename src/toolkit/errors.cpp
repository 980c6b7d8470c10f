#include "toolkit/errors.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/data_file.h"
#include "toolkit/translate.h"

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

void RaiseOpenError(const std::string& path) { RaiseOpenError(path, errno); }

void RaiseCreateError(const std::string& path) { RaiseCreateError(path, errno); }

void RaiseOpenError(const std::string& path, int error) {
  const std::string reason = platform::DataFileReason(error);
  throw EFOpenError(
      Format(toolkit::Tr("Cannot open file \"%s\". %s"), path.c_str(), reason.c_str()));
}

void RaiseCreateError(const std::string& path, int error) {
  const std::string reason = platform::DataFileReason(error);
  throw EFCreateError(
      Format(toolkit::Tr("Cannot create file \"%s\". %s"), path.c_str(), reason.c_str()));
}
