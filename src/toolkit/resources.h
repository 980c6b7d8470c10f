// Resources carried inside the program: the pictures, sounds, JPEG pictures and data blocks that
// the windows' resource data holds. The asset generator writes their bytes into the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace res {

struct Blob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  explicit operator bool() const { return data != nullptr; }
};

// The carried resource named `name` (for example "Menulist.m1"); an empty Blob when absent.
// Names are exact (case-sensitive).
Blob Find(std::string_view name);

// Names of every carried resource, in the generator's order.
std::vector<std::string_view> Names();

}  // namespace res
