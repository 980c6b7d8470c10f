// Error classes of the runtime and the component layers. Every error the game can raise derives
// from `Exception`, whose message is the text the default error report shows.
#pragma once

#include <stdexcept>
#include <string>

// printf-style formatting into a std::string ("Image '%s' not found").
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  // The message as shown to the player (UTF-8).
  std::string Message() const { return what(); }
};

#define KX_DECLARE_ERROR(Name, Base) \
  class Name : public Base {         \
   public:                           \
    using Base::Base;                \
  }

KX_DECLARE_ERROR(EInvalidOperation, Exception);
KX_DECLARE_ERROR(EListError, Exception);  // "Index of the list exceeds the range. (%d)"
KX_DECLARE_ERROR(EStreamError, Exception);
KX_DECLARE_ERROR(EFOpenError, EStreamError);    // "Cannot open file "%s". %s"
KX_DECLARE_ERROR(EFCreateError, EStreamError);  // "Cannot create file "%s". %s"
KX_DECLARE_ERROR(EReadError, EStreamError);
KX_DECLARE_ERROR(EConvertError, Exception);

// Raises EFOpenError for `path` with the system's reason for the last failure (errno).
[[noreturn]] void RaiseOpenError(const std::string& path);
// Raises EFCreateError for `path` with the system's reason for the last failure (errno).
[[noreturn]] void RaiseCreateError(const std::string& path);
// The same with the reason of a data file's failure code (platform/data_file.h: an errno value
// or kNotRegularFile).
[[noreturn]] void RaiseOpenError(const std::string& path, int error);
[[noreturn]] void RaiseCreateError(const std::string& path, int error);
