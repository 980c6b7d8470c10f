// Feeds arbitrary bytes to the RIFF WAVE reader: it must either accept them or raise its own
// error, never read outside the block, and a wave it accepted must survive a save and reload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sound/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TWave wave;
  try {
    wave.LoadFromMemory(data, size);
  } catch (const EWaveError&) {
    return 0;
  }
  // Whatever was accepted lies inside the block.
  if (wave.Size() > size || wave.FormatRecord().size() > size) std::abort();
  platform::PcmFormat format;
  if (wave.ToPcmFormat(format) && wave.PlayableSize() > wave.Size()) std::abort();
  if (wave.FormatRecord().size() >= 16) {
    const std::vector<uint8_t> saved = wave.SaveToMemory();
    TWave back;
    back.LoadFromMemory(saved.data(), saved.size());
    if (back.Data() != wave.Data() || back.FormatRecord() != wave.FormatRecord()) std::abort();
  }
  return 0;
}
