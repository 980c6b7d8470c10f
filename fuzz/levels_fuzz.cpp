// Feeds arbitrary bytes to the level reader and compares every brick with an independent reading
// of the same bytes: count cut to the level limit, missing numbers 0, types outside 1..9 plain.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/levels.h"
#include "text_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<game::LevelBrick> bricks = game::ParseLevel(bytes);

  fuzzmodel::Reader model(bytes);
  int32_t count = model.Num();
  if (count < 0) count = 0;
  if (count > game::kMaxLevelBricks) count = game::kMaxLevelBricks;
  if (bricks.size() != static_cast<size_t>(count)) std::abort();
  for (const game::LevelBrick& b : bricks) {
    int32_t column = model.Num();
    int32_t row = model.Num();
    int32_t type = model.Num();
    if (type < 1 || type > 9) type = 1;
    if (b.column != column || b.row != row || b.type != type) std::abort();
  }
  return 0;
}
