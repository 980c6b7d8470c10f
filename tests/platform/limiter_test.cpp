// The limiter after the mix: quiet sound comes out exactly at its loudness (the headroom made
// up), loud sums never reach full scale, both channels are turned down alike, and the gain comes
// back once the loud part is over.
#include "platform/limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using platform::FullScaleSamples;
using platform::kMixHeadroom;
using platform::PeakLimiter;

namespace {
// `frames` stereo frames of a sine of `amplitude` (left) and half of it (right).
std::vector<int16_t> Sine(size_t frames, double amplitude, double hz = 440.0) {
  std::vector<int16_t> s(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / 44100.0);
    s[2 * i] = static_cast<int16_t>(std::lround(v));
    s[2 * i + 1] = static_cast<int16_t>(std::lround(v / 2));
  }
  return s;
}
}  // namespace

TEST(Limiter, QuietMixComesOutAtItsOwnLoudness) {
  PeakLimiter l(2, 44100);
  // A voice mixed at a quarter: 8000 / 4 = 2000 in the mixer.
  std::vector<int16_t> in = Sine(4410, 8000.0 / kMixHeadroom);
  std::vector<int16_t> out = in;
  l.Process(out.data(), out.size() / 2);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], in[i] * kMixHeadroom) << i;
  EXPECT_EQ(l.Gain(), 1.0);
}

TEST(Limiter, LoudSumsStayBelowFullScaleAndRecover) {
  PeakLimiter l(2, 44100, 80.0, 32000);
  // Half a second of a sum that inside the mixer (at a quarter) reaches 20000: raised to its
  // loudness it would be 2.4 times what the output can hold.
  std::vector<int16_t> out = Sine(22050, 20000);
  l.Process(out.data(), out.size() / 2);
  EXPECT_EQ(FullScaleSamples(out.data(), out.size()), 0u);
  int peak = 0;
  for (size_t i = 0; i < out.size(); ++i) peak = std::max(peak, std::abs(int{out[i]}));
  EXPECT_LE(peak, 32000);
  EXPECT_GE(peak, 31000);  // limited, not silenced
  // Both channels share one gain: the right stays half the left.
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    if (std::abs(out[i]) > 4000) {
      ASSERT_NEAR(out[i + 1] * 2.0, out[i], 8.0) << i;
    }
  }
  EXPECT_LT(l.Gain(), 0.5);
  // A second of quiet later the mix passes exactly again.
  std::vector<int16_t> quiet = Sine(44100, 1000);
  std::vector<int16_t> after = quiet;
  l.Process(after.data(), after.size() / 2);
  EXPECT_EQ(l.Gain(), 1.0);
  const size_t tail = after.size() - 4410;
  for (size_t i = tail; i < after.size(); ++i) ASSERT_EQ(after[i], quiet[i] * kMixHeadroom);
}

TEST(Limiter, FullScaleCountsBothEnds) {
  const int16_t s[] = {0, 32767, -32768, -32767, 32766, -32766, 100};
  EXPECT_EQ(FullScaleSamples(s, 7), 3u);
}
