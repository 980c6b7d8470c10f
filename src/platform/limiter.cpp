#include "platform/limiter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace platform {

PeakLimiter::PeakLimiter(int channels, int sampleRate, double releaseMs, int ceiling)
    : channels_(std::max(channels, 1)),
      release_(1.0 - std::exp(-1000.0 / (std::max(releaseMs, 1.0) * std::max(sampleRate, 1)))),
      ceiling_(std::clamp(ceiling, 1, 32767)) {}

void PeakLimiter::Process(int16_t* samples, size_t frames) {
  for (size_t f = 0; f < frames; ++f) {
    int16_t* frame = samples + f * static_cast<size_t>(channels_);
    int peak = 0;
    for (int c = 0; c < channels_; ++c) peak = std::max(peak, std::abs(int{frame[c]}));
    const double raised = static_cast<double>(peak) * kMixHeadroom;
    // Recover towards no reduction, but never let this frame pass the ceiling: without
    // looking ahead, the gain drops at once to what the frame needs.
    gain_ += (1.0 - gain_) * release_;
    if (gain_ > 1.0 - 1e-5) gain_ = 1.0;  // recovered: the mix passes unchanged again
    if (raised * gain_ > ceiling_) gain_ = ceiling_ / raised;
    const double g = kMixHeadroom * gain_;
    for (int c = 0; c < channels_; ++c) {
      const double v = std::trunc(frame[c] * g);  // towards zero: never past the ceiling
      frame[c] = static_cast<int16_t>(std::clamp(v, -ceiling_, ceiling_));
    }
  }
}

size_t FullScaleSamples(const int16_t* samples, size_t count) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) n += samples[i] >= 32767 || samples[i] <= -32767;
  return n;
}

}  // namespace platform
