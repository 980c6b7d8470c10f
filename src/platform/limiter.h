// Gain staging of the sound output. Every voice (each sound effect and the music) is mixed at a
// quarter of its loudness, so the sum of many voices rarely reaches full scale inside the mixer;
// the limiter then brings the sum back to its loudness and holds the peaks below full scale,
// lowering the gain at once where a frame would pass it and restoring it smoothly. Below the
// ceiling the output is the mix as it would sound at full loudness; it never clips.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The mixer's headroom: voices are mixed at 1 / kMixHeadroom of their volume.
constexpr int kMixHeadroom = 4;

class PeakLimiter {
 public:
  // `channels` interleaved channels at `sampleRate` frames a second; the gain recovers with a
  // time constant of `releaseMs`. `ceiling` is the largest magnitude written (of 32767).
  PeakLimiter(int channels, int sampleRate, double releaseMs = 80.0, int ceiling = 32000);
  // Multiplies `frames` frames of 16-bit samples in place by kMixHeadroom and limits them: no
  // output sample's magnitude exceeds the ceiling, and a frame whose raised peak is within it
  // keeps that value exactly once the gain has recovered.
  void Process(int16_t* samples, size_t frames);
  // The gain now applied on top of the make-up (1 = none).
  double Gain() const { return gain_; }

 private:
  int channels_;
  double release_;  // share of the distance to 1 the gain recovers per frame
  double ceiling_;
  double gain_ = 1.0;
};

// Number of samples of `count` 16-bit samples whose magnitude is at full scale (32767, or
// -32768 / -32767).
size_t FullScaleSamples(const int16_t* samples, size_t count);

}  // namespace platform
