#include "audio.h"

#include <cmath>
#include <vector>

namespace gen {

namespace {

constexpr float kPi = 3.14159265358979f;

// Scales a signal so its loudest sample reaches `peak`, and fades the last few milliseconds so
// an effect never ends on a click.
void Normalise(std::vector<float>& s, float peak, int fadeSamples) {
  float m = 1e-9f;
  for (float v : s) m = std::max(m, std::fabs(v));
  for (float& v : s) v *= peak / m;
  int n = int(s.size());
  for (int i = 0; i < fadeSamples && i < n; ++i) s[n - 1 - i] *= float(i) / fadeSamples;
}

Bytes To8Bit(const std::vector<float>& s) {
  Bytes b;
  for (float v : s) b.push_back(uint8_t(std::lround(128.f + std::clamp(v, -1.f, 1.f) * 127.f)));
  return b;
}

Bytes To16Bit(const std::vector<float>& s) {
  Bytes b;
  for (float v : s) {
    int x = int(std::lround(std::clamp(v, -1.f, 1.f) * 32767.f));
    Put16(b, uint32_t(uint16_t(int16_t(x))));
  }
  return b;
}

// A two-pole resonant band-pass filter (state-variable form).
struct Svf {
  float low = 0, band = 0;
  float Step(float in, float cutoff, float rate, float q) {
    float f = 2.f * std::sin(kPi * std::min(cutoff, rate * 0.24f) / rate);
    low += f * band;
    float high = in - low - q * band;
    band += f * high;
    return band;
  }
};

float PolyBlep(float t, float dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.f;
  }
  if (t > 1.f - dt) {
    t = (t - 1.f) / dt;
    return t * t + t + t + 1.f;
  }
  return 0.f;
}

// Band-limited pulse wave at phase 0..1 with duty cycle `duty`.
float Pulse(float phase, float duty, float dt) {
  float v = phase < duty ? 1.f : -1.f;
  v += PolyBlep(phase, dt);
  float p2 = phase + 1.f - duty;
  p2 -= std::floor(p2);
  v -= PolyBlep(p2, dt);
  // A narrow pulse is mostly low; removing its mean keeps the mix centred on zero, so notes
  // starting and stopping do not thump.
  return v - (2.f * duty - 1.f);
}

float Triangle(float phase) { return 4.f * std::fabs(phase - 0.5f) - 1.f; }

float MidiHz(float note) { return 440.f * std::pow(2.f, (note - 69.f) / 12.f); }

}  // namespace

Bytes SoundBrickBreak() {
  // A crunch: a dull thump under noise bursts whose filter closes as the pieces settle.
  const int rate = 11025, n = 6018;
  std::vector<float> s(n, 0.f);
  Rng rng(7);
  Svf f1, f2;
  // Crumbs: short bursts that re-trigger the noise at irregular, thinning intervals.
  std::vector<float> bursts = {0.f, 0.018f, 0.041f, 0.07f, 0.11f, 0.16f, 0.23f, 0.31f};
  for (int i = 0; i < n; ++i) {
    float t = float(i) / rate;
    float env = 0.f;
    for (size_t k = 0; k < bursts.size(); ++k) {
      float dt = t - bursts[k];
      if (dt >= 0) env += std::exp(-dt * 55.f) * (k == 0 ? 1.f : 0.65f / (1.f + 0.35f * k));
    }
    env += 0.25f * std::exp(-t * 7.f);
    float noise = rng.Range(-1.f, 1.f);
    float cutoff = 600.f + 2600.f * std::exp(-t * 9.f);
    float crunch =
        f1.Step(noise, cutoff, rate, 0.55f) * 1.6f + f2.Step(noise, cutoff * 0.45f, rate, 0.8f);
    float thumpF = 55.f + 95.f * std::exp(-t * 30.f);
    float thump = std::sin(2 * kPi * thumpF * t) * std::exp(-t * 22.f);
    float click = i < 40 ? rng.Range(-1.f, 1.f) * (1.f - i / 40.f) : 0.f;
    s[i] = crunch * env + thump * 0.9f + click * 0.5f;
  }
  Normalise(s, 0.85f, 200);
  return WaveFile(rate, 16, 1, To16Bit(s), Bytes{0x18, 0x00, 0x00, 0x00});
}

Bytes SoundArmourClank() {
  // A struck steel plate: inharmonic partials that die away quickly, over a short strike noise.
  const int rate = 11025, n = 1086;
  std::vector<float> s(n, 0.f);
  Rng rng(11);
  const float freqs[] = {587.f, 1243.f, 1871.f, 2659.f, 3420.f};
  const float amps[] = {1.f, 0.8f, 0.6f, 0.45f, 0.3f};
  const float decay[] = {28.f, 36.f, 48.f, 60.f, 80.f};
  for (int i = 0; i < n; ++i) {
    float t = float(i) / rate, v = 0;
    for (int k = 0; k < 5; ++k)
      v += amps[k] * std::sin(2 * kPi * freqs[k] * t + k) * std::exp(-t * decay[k]);
    v *= std::min(1.f, t * 4000.f);
    v += rng.Range(-1.f, 1.f) * std::exp(-t * 400.f) * 0.7f;
    s[i] = v;
  }
  Normalise(s, 0.9f, 60);
  return WaveFile(rate, 8, 1, To8Bit(s));
}

Bytes SoundWallPop() {
  // A short round pop: a sine whose pitch drops fast, with a touch of second harmonic.
  const int rate = 11025, n = 640;
  std::vector<float> s(n, 0.f);
  float phase = 0;
  for (int i = 0; i < n; ++i) {
    float t = float(i) / rate;
    float f = 330.f + 850.f * std::exp(-t * 70.f);
    phase += f / rate;
    float env = std::min(1.f, t * 2500.f) * std::exp(-t * 60.f);
    s[i] = (std::sin(2 * kPi * phase) + 0.25f * std::sin(4 * kPi * phase)) * env;
  }
  Normalise(s, 0.85f, 40);
  return WaveFile(rate, 8, 1, To8Bit(s));
}

Bytes SoundLaser() {
  // A falling zap: a buzzy pulse sweeping down with a fast wobble and a short echo.
  const int rate = 22050, n = 16542;
  std::vector<float> s(n, 0.f);
  float phase = 0;
  for (int i = 0; i < n; ++i) {
    float t = float(i) / rate;
    float f = 110.f + 2300.f * std::exp(-t * 5.5f);
    f *= 1.f + 0.06f * std::sin(2 * kPi * 28.f * t);
    phase += f / rate;
    phase -= std::floor(phase);
    float dt = f / rate;
    float v = 0.6f * Pulse(phase, 0.3f, dt) + 0.4f * (2.f * phase - 1.f - PolyBlep(phase, dt));
    float env = std::min(1.f, t * 300.f) * std::exp(-t * 4.2f);
    s[i] = v * env;
  }
  // Echo: a quieter copy 90 ms later gives the shot some space.
  int d = int(0.09f * rate);
  for (int i = n - 1; i >= d; --i) s[i] += 0.35f * s[i - d];
  Normalise(s, 0.6f, 300);
  return WaveFile(rate, 8, 1, To8Bit(s));
}

namespace {

// One note of the tune: start and length in sixteenths of a bar-based grid, pitch in MIDI.
struct Note {
  int start, len, pitch;
};

constexpr double kBeat = kMusicRate * 60.0 / 128.0;  // samples per beat
constexpr double kSixteenth = kBeat / 4.0;

// Adds `voice(t, tNote, hz)` into `bus` for a note, wrapping past the loop end to the start so
// the loop has no seam. `release` seconds of tail are rendered after the note's length.
template <class Voice>
void Render(std::vector<float>& bus, const Note& n, float release, Voice voice) {
  const int total = int(bus.size());
  int start = int(std::lround(n.start * kSixteenth));
  float len = float(n.len * kSixteenth / kMusicRate);
  int count = int((len + release) * kMusicRate);
  float hz = MidiHz(float(n.pitch));
  for (int i = 0; i < count; ++i) {
    float t = float(i) / kMusicRate;
    bus[(start + i) % total] += voice(t, len, hz);
  }
}

// Attack-decay-sustain-release envelope for a note held `len` seconds.
float Adsr(float t, float len, float a, float d, float s, float r) {
  float v;
  if (t < a)
    v = t / a;
  else if (t < a + d)
    v = 1.f - (1.f - s) * (t - a) / d;
  else
    v = s;
  if (t > len) v *= std::max(0.f, 1.f - (t - len) / r);
  return v;
}

struct Chord {
  int root;      // bass root (MIDI)
  int tones[3];  // chord tones for the arpeggio (MIDI)
};

std::vector<Note> Melody() {
  // The lead line, bar by bar, as (pitch, length in eighths); 0 is a rest.
  const std::vector<std::vector<std::pair<int, int>>> bars = {
      {{76, 2}, {69, 1}, {72, 1}, {76, 1}, {74, 1}, {72, 2}},
      {{72, 1}, {69, 1}, {65, 2}, {69, 1}, {72, 1}, {74, 2}},
      {{76, 2}, {79, 1}, {76, 1}, {72, 2}, {76, 1}, {79, 1}},
      {{74, 3}, {71, 1}, {67, 2}, {0, 2}},
      {{76, 2}, {69, 1}, {72, 1}, {76, 1}, {74, 1}, {72, 2}},
      {{72, 1}, {69, 1}, {65, 2}, {69, 1}, {72, 1}, {74, 2}},
      {{76, 2}, {79, 1}, {76, 1}, {72, 2}, {76, 1}, {79, 1}},
      {{74, 1}, {76, 1}, {74, 1}, {71, 1}, {74, 4}},
      {{81, 2}, {79, 1}, {76, 1}, {81, 2}, {79, 1}, {76, 1}},
      {{77, 2}, {76, 1}, {72, 1}, {77, 2}, {81, 2}},
      {{79, 3}, {76, 1}, {72, 2}, {76, 1}, {79, 1}},
      {{79, 1}, {81, 1}, {83, 2}, {74, 2}, {79, 2}},
      {{81, 2}, {79, 1}, {77, 1}, {76, 2}, {72, 2}},
      {{74, 2}, {76, 1}, {77, 1}, {79, 2}, {71, 2}},
      {{72, 1}, {71, 1}, {69, 2}, {76, 2}, {81, 2}},
      {{80, 3}, {76, 1}, {71, 2}, {68, 2}},
  };
  std::vector<Note> out;
  for (size_t b = 0; b < bars.size(); ++b) {
    int pos = int(b) * 16;
    for (auto [pitch, eighths] : bars[b]) {
      if (pitch) out.push_back({pos, eighths * 2, pitch});
      pos += eighths * 2;
    }
  }
  return out;
}

std::vector<Chord> Progression() {
  const Chord am{45, {57, 60, 64}}, f{41, {57, 60, 65}}, c{48, {55, 60, 64}}, g{43, {55, 59, 62}},
      e{40, {56, 59, 64}};
  return {am, f, c, g, am, f, c, g, am, f, c, g, f, g, am, e};
}

}  // namespace

std::vector<int16_t> MusicSamples() {
  const int N = kMusicSamples;
  std::vector<float> lead(N, 0.f), bass(N, 0.f), arp(N, 0.f), drums(N, 0.f), hats(N, 0.f);
  std::vector<Chord> prog = Progression();

  // Lead: a square wave with a gentle vibrato that sets in once the note has sounded a while.
  for (const Note& n : Melody())
    Render(lead, n, 0.08f, [](float t, float len, float hz) {
      float vib = 1.f + 0.004f * Smooth(0.12f, 0.3f, t) * std::sin(2 * kPi * 5.5f * t);
      float ph = hz * vib * t;
      ph -= std::floor(ph);
      float v = 0.7f * Pulse(ph, 0.5f, hz / kMusicRate) + 0.3f * Pulse(ph, 0.25f, hz / kMusicRate);
      return v * Adsr(t, len, 0.006f, 0.12f, 0.65f, 0.08f);
    });

  for (int bar = 0; bar < 16; ++bar) {
    const Chord& ch = prog[size_t(bar)];
    // Bass: driving eighths, root and octave, with a passing fifth at the end of the bar.
    for (int e = 0; e < 8; ++e) {
      int pitch = ch.root + ((e % 2) ? 12 : 0);
      if (e == 7) pitch = ch.root + 7;
      Render(bass, {bar * 16 + e * 2, 2, pitch}, 0.03f, [](float t, float len, float hz) {
        float ph = hz * t;
        ph -= std::floor(ph);
        float v = 0.75f * Triangle(ph) + 0.25f * Pulse(ph, 0.5f, hz / kMusicRate);
        return v * Adsr(t, len * 0.85f, 0.004f, 0.05f, 0.7f, 0.03f);
      });
    }
    // Arpeggio: sixteenths up and down through the chord, soft and short.
    const int order[8] = {0, 1, 2, 1, 0, 1, 2, 1};
    for (int s = 0; s < 16; ++s) {
      int pitch = ch.tones[order[s % 8]] + (s >= 8 ? 12 : 0);
      Render(arp, {bar * 16 + s, 1, pitch}, 0.04f, [](float t, float len, float hz) {
        float ph = hz * t;
        ph -= std::floor(ph);
        return Pulse(ph, 0.125f, hz / kMusicRate) * Adsr(t, len * 0.6f, 0.002f, 0.04f, 0.4f, 0.04f);
      });
    }
    // Drums: kick on 1 and 3 (and a pickup on the last eighth of every other bar), snare on 2
    // and 4, closed hi-hats on every eighth; the last bar ends with a snare roll.
    Rng rng(uint32_t(100 + bar));
    auto hit = [&](int sixteenth, int kind, float vol) {
      Render(kind == 2 ? hats : drums, {bar * 16 + sixteenth, 1, 60}, 0.25f,
             [&rng, kind, vol](float t, float, float) {
               if (kind == 0) {  // kick
                 float f = 45.f + 110.f * std::exp(-t * 35.f);
                 return vol * std::sin(2 * kPi * f * t) * std::exp(-t * 14.f);
               }
               float noise = rng.Range(-1.f, 1.f);
               if (kind == 1)  // snare
                 return vol * (0.75f * noise * std::exp(-t * 22.f) +
                               0.5f * std::sin(2 * kPi * 185.f * t) * std::exp(-t * 30.f));
               return vol * 0.35f * noise * std::exp(-t * 90.f);  // hat
             });
    };
    hit(0, 0, 1.f);
    hit(8, 0, 1.f);
    if (bar % 2 == 1) hit(14, 0, 0.7f);
    hit(4, 1, 0.8f);
    if (bar == 15) {
      for (int s = 12; s < 16; ++s) hit(s, 1, 0.45f + 0.12f * (s - 12));
    } else {
      hit(12, 1, 0.8f);
    }
    for (int e = 0; e < 8; ++e) hit(e * 2, 2, e % 2 ? 0.6f : 1.f);
  }

  // Hi-hat noise sounds harsh unfiltered: a one-pole high-pass keeps only its sizzle, and a
  // low-pass rounds the arpeggio. Both run twice round the loop so their state wraps too.
  auto onePole = [&](std::vector<float>& v, float k, bool high) {
    std::vector<float> out(N);
    float lp = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (int i = 0; i < N; ++i) {
        lp += k * (v[i] - lp);
        out[i] = high ? v[i] - lp : lp;
      }
    v = out;
  };
  onePole(arp, 0.35f, false);
  onePole(hats, 0.3f, true);

  // A dotted-eighth echo on the lead, computed round the loop several times so its tail wraps as
  // well.
  std::vector<float> echo(N, 0.f);
  int d = int(std::lround(kSixteenth * 3));
  for (int pass = 0; pass < 3; ++pass)
    for (int i = 0; i < N; ++i) {
      int j = (i - d + N) % N;
      echo[i] = 0.3f * (lead[j] + echo[j]);
    }

  std::vector<int16_t> out(N);
  std::vector<float> mix(N);
  float peak = 1e-6f;
  for (int i = 0; i < N; ++i) {
    mix[i] = 0.26f * lead[i] + 0.2f * echo[i] + 0.3f * bass[i] + 0.12f * arp[i] + 0.38f * drums[i] +
             0.3f * hats[i];
    mix[i] = std::tanh(mix[i] * 1.1f);  // soft limiter: drums and bass peaks stay round
    peak = std::max(peak, std::fabs(mix[i]));
  }
  for (int i = 0; i < N; ++i) out[i] = int16_t(std::lround(mix[i] / peak * 0.85f * 32767.f));
  return out;
}

Bytes MusicLoop() {
  std::vector<int16_t> s = MusicSamples();
  Bytes data;
  data.reserve(s.size() * 2);
  for (int16_t v : s) Put16(data, uint16_t(v));
  return WaveFile(kMusicRate, 16, 1, data);
}

}  // namespace gen
