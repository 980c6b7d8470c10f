// The sound output never clips: a minute of busy play (the gun firing, whole levels breaking at
// once, several balls, the music all along) is played on the headless platform, and every sound
// it started is mixed offline as the SDL mixer mixes it (16-bit stereo at 44100 Hz, each voice
// scaled by its volume and added with saturation, the music first). Mixed at full volume with
// nothing after it, as the game used to, the sum clips; with the headroom and the limiter the
// game's driver uses, no sample reaches full scale. Both figures are printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "game/game_sprites.h"
#include "platform/data_file.h"
#include "platform/limiter.h"
#include "sound/wave.h"
#include "support/scripted_player.h"

namespace {

constexpr int kRate = 44100;

// A wave turned into the device's format: stereo 16-bit frames at 44100 Hz, nearest-sample
// resampling (the peaks, which are what matters here, stay the same).
std::vector<int16_t> ToDevice(const TWave& w) {
  std::vector<int16_t> out;
  const int channels = w.Channels(), bits = w.BitsPerSample();
  const uint32_t rate = w.SamplesPerSec();
  if (channels <= 0 || rate == 0 || (bits != 8 && bits != 16)) return out;
  const size_t frameBytes = static_cast<size_t>(channels) * (bits / 8);
  const size_t frames = w.Data().size() / frameBytes;
  const size_t outFrames = frames * kRate / rate;
  out.resize(outFrames * 2);
  for (size_t i = 0; i < outFrames; ++i) {
    const size_t f = std::min(frames - 1, i * rate / kRate);
    for (int c = 0; c < 2; ++c) {
      const size_t at =
          f * frameBytes + static_cast<size_t>(std::min(c, channels - 1)) * (bits / 8);
      const uint8_t* p = w.Data().data() + at;
      out[2 * i + c] = bits == 8 ? static_cast<int16_t>((p[0] - 128) * 256)
                                 : static_cast<int16_t>(p[0] | (p[1] << 8));
    }
  }
  return out;
}

struct Voice {
  const std::vector<int16_t>* pcm;
  size_t start;  // first output frame
  size_t end;    // past the last output frame
};

// SDL's mixing of one voice into the stream: the sample scaled by volume / 128 (truncated), added
// with saturation.
void MixInto(std::vector<int16_t>& out, const Voice& v, int volume, bool loop) {
  const size_t len = v.pcm->size() / 2;
  if (len == 0) return;
  for (size_t f = v.start; f < v.end && f < out.size() / 2; ++f) {
    const size_t k = f - v.start;
    if (!loop && k >= len) break;
    for (int c = 0; c < 2; ++c) {
      const int s = (*v.pcm)[2 * (k % len) + c] * volume / 128;
      int16_t& d = out[2 * f + c];
      d = static_cast<int16_t>(std::clamp(d + s, -32768, 32767));
    }
  }
}

struct Figures {
  size_t samples = 0, clippedBefore = 0, clippedAfter = 0, saturatedInside = 0, lasers = 0;
  int skips = 0;
};

// A minute of play mixed both ways. `lucky`: the gun comes back whenever it is gone and every
// 12 s a whole level breaks at once (the heaviest bursts the game makes); else the scripted
// player plays as it plays, bonuses and all.
void PlayAMinute(bool lucky, Figures& fig) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ScriptedPlayer::Options o;
  o.chaseBonuses = true;
  o.lagMs = 16;
  ScriptedPlayer p(g, o);
  ASSERT_TRUE(p.EnterConsoleCode("bluewhalesix"));  // lives enough for the whole minute
  const uint32_t t0 = g.hl.clock->Milliseconds();
  g.hl.audio->ClearPlays();
  int skips = 0;
  for (int frame = 0; frame < 60 * 1000 / 16; ++frame) {
    // A lucky player: the gun comes back whenever it is gone, and every 12 s a whole level
    // breaks at once (the heaviest burst of brick sounds the game makes).
    if (lucky && !GunArmed && GameState == gsPlaying) {
      auto* bonus = new TBonSprite(ScriptedPlayer::Root());
      bonus->BonusKind = 11;
      bonus->FallSpeed = 1.0;
      bonus->Image = MainForm->GameImage("b", 11);
      bonus->Width = bonus->Image->Width();
      bonus->Height = bonus->Image->Height();
      bonus->X = PaddleX + 30;
      bonus->Y = PaddleY - bonus->Height - 5;
    }
    if (lucky && frame % 750 == 700 && GameState == gsPlaying && p.EnterConsoleCode("turnipvase"))
      ++skips;
    p.Play();
  }
  const size_t frames = static_cast<size_t>(g.hl.clock->Milliseconds() - t0) * kRate / 1000;

  // The chunks the game loaded, by the id the back-end gave them.
  std::map<platform::ChunkId, std::vector<int16_t>> pcm;
  TWaveCollection& waves = MainForm->DXWaveList->Items();
  for (int i = 0; i < waves.Count(); ++i) {
    TWaveCollectionItem* w = waves.Items(i);
    if (w->Buffer() != nullptr) pcm[w->Buffer()->ChunkId()] = ToDevice(w->Wave());
  }
  // Each play sounds until its end or until its channel starts another play.
  std::vector<Voice> voices;
  std::map<int, size_t> lastOnChannel;
  size_t lasers = 0;
  for (const auto& play : g.hl.audio->Plays()) {
    auto it = pcm.find(play.chunk);
    ASSERT_NE(it, pcm.end());
    const size_t start = static_cast<size_t>(play.time - t0) * kRate / 1000;
    if (auto last = lastOnChannel.find(play.channel); last != lastOnChannel.end())
      voices[last->second].end = std::min(voices[last->second].end, start);
    lastOnChannel[play.channel] = voices.size();
    voices.push_back({&it->second, start, start + it->second.size() / 2});
    lasers += MainForm->DXWaveList->FindWave("las")->Buffer()->ChunkId() == play.chunk;
  }
  TWave musicWave;
  {
    std::vector<uint8_t> bytes;
    int error = 0;
    ASSERT_TRUE(platform::ReadDataFile("music/music.wav", 64 << 20, bytes, error));
    musicWave.LoadFromMemory(bytes.data(), bytes.size());
  }
  const std::vector<int16_t> music = ToDevice(musicWave);

  // The mix as SDL_mixer makes it: the music first, then the channels.
  auto mix = [&](int volume) {
    std::vector<int16_t> out(frames * 2, 0);
    MixInto(out, {&music, 0, frames}, volume, true);
    for (const Voice& v : voices) MixInto(out, v, volume, false);
    return out;
  };
  const std::vector<int16_t> before = mix(128);
  std::vector<int16_t> after = mix(128 / platform::kMixHeadroom);
  // Where the sum passes even the headroom (four voices at full scale in step), the mixer
  // saturates before the limiter sees it.
  const size_t saturatedInside = platform::FullScaleSamples(after.data(), after.size());
  platform::PeakLimiter limiter(2, kRate);
  for (size_t at = 0; at < frames; at += 1024)
    limiter.Process(after.data() + 2 * at, std::min<size_t>(1024, frames - at));

  const size_t clippedBefore = platform::FullScaleSamples(before.data(), before.size());
  const size_t clippedAfter = platform::FullScaleSamples(after.data(), after.size());
  std::printf(
      "a minute of %s play: %zu sounds (%zu gun shots), %d whole levels broken at once; "
      "%zu samples\nat full scale: %zu (%.4f %%) mixed at full volume, %zu (%.4f %%) with the "
      "headroom and the limiter (%zu summed past the headroom inside the mixer)\n",
      lucky ? "busy" : "ordinary", voices.size(), lasers, skips, before.size(), clippedBefore,
      100.0 * static_cast<double>(clippedBefore) / static_cast<double>(before.size()), clippedAfter,
      100.0 * static_cast<double>(clippedAfter) / static_cast<double>(after.size()),
      saturatedInside);
  fig = {before.size(), clippedBefore, clippedAfter, saturatedInside, lasers, skips};
  // Where nothing was loud the sound is what it was: the music's opening, before any effect.
  const size_t firstEffect = voices.empty() ? frames : voices.front().start;
  for (size_t i = 0; i < std::min<size_t>(firstEffect, kRate) * 2; ++i) {
    ASSERT_NEAR(after[i], before[i], platform::kMixHeadroom) << i;
  }
}

}  // namespace

TEST(MixHeadroom, AMinuteOfBusyPlayNeverReachesFullScale) {
  Figures f;
  PlayAMinute(true, f);
  // The minute was busy: the gun fired on and on, whole levels broke, and the old mixing clipped.
  EXPECT_GT(f.lasers, 500u);
  EXPECT_GE(f.skips, 3);
  EXPECT_GT(f.clippedBefore, 0u);
  // Below 0.01 % of the samples at full scale (the limiter keeps them all below).
  EXPECT_LT(static_cast<double>(f.clippedAfter), 1e-4 * static_cast<double>(f.samples));
}

TEST(MixHeadroom, AnOrdinaryMinuteNeverReachesFullScale) {
  Figures f;
  PlayAMinute(false, f);
  EXPECT_LT(static_cast<double>(f.clippedAfter), 1e-4 * static_cast<double>(f.samples));
  EXPECT_EQ(f.saturatedInside, 0u);
}
