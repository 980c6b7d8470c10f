#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
std::unique_ptr<Platform>& Slot() {
  static std::unique_ptr<Platform> installed;
  return installed;
}
}  // namespace

Platform& Get() {
  if (!Slot()) {
    std::fprintf(stderr, "kobaltix: no platform installed\n");
    std::abort();
  }
  return *Slot();
}

Platform& Install(std::unique_ptr<Platform> p) {
  Slot().reset();  // the old driver goes first: SDL back-ends cannot be open twice
  Slot() = std::move(p);
  return *Slot();
}

void Uninstall() { Slot().reset(); }

bool Installed() { return static_cast<bool>(Slot()); }

}  // namespace platform
