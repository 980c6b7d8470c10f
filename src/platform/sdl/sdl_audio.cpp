#include <SDL_mixer.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/data_file.h"
#include "platform/limiter.h"
#include "platform/sdl/sdl_internal.h"

namespace platform::sdl {
namespace {

// The device's output passes the limiter after every mix (the post-mix hook runs on the audio
// thread, the only one that touches the limiter). Voices are mixed at 1 / kMixHeadroom of their
// volume, so many of them at once stay within the mixer's range; the limiter restores the
// loudness and keeps the peaks below full scale. Only the 16-bit stereo output the game asks for
// is limited; another format (never asked for) is mixed at full volume as it comes.
std::unique_ptr<PeakLimiter> g_limiter;
int g_headroom = 1;  // the divisor of every voice's volume in force

void LimitMix(void*, Uint8* stream, int len) {
  if (g_limiter)
    g_limiter->Process(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / 4);
}

// Called after each successful Mix_OpenAudio: the first opening installs the limiter.
void InstallLimiter() {
  int freq = 0, channels = 0;
  Uint16 format = 0;
  if (g_limiter || Mix_QuerySpec(&freq, &format, &channels) == 0) return;
  if (format != AUDIO_S16SYS || channels != 2) return;
  g_limiter = std::make_unique<PeakLimiter>(channels, freq);
  g_headroom = kMixHeadroom;
  Mix_SetPostMix(&LimitMix, nullptr);
}

// After the last Mix_CloseAudio the next opening starts afresh.
void ForgetLimiter() {
  int freq = 0, channels = 0;
  Uint16 format = 0;
  if (Mix_QuerySpec(&freq, &format, &channels) != 0) return;  // still open for the other user
  g_limiter.reset();
  g_headroom = 1;
}

// A voice's volume (0..MIX_MAX_VOLUME) as the mixer takes it, within the headroom.
int MixedVolume(int volume) {
  return static_cast<int>(std::lround(std::clamp(volume, 0, MIX_MAX_VOLUME) / double(g_headroom)));
}

class SdlAudio : public Audio {
 public:
  explicit SdlAudio(std::shared_ptr<Session> s) : session_(std::move(s)) {}
  ~SdlAudio() override { Close(); }

  bool Open() override {
    if (open_) return true;
    if (!session_->Need(SDL_INIT_AUDIO)) return false;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) return false;
    InstallLimiter();
    int freq = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&freq, &format, &channels);
    devFreq_ = freq;
    devFormat_ = format;
    devChannels_ = channels;
    channels_ = Mix_AllocateChannels(kMixerChannels);
    started_.assign(static_cast<size_t>(channels_), 0);
    looped_.assign(static_cast<size_t>(channels_), false);
    open_ = true;
    return true;
  }

  void Close() override {
    if (!open_) return;
    Mix_HaltChannel(-1);
    for (auto& [id, c] : chunks_) Mix_FreeChunk(c.chunk);
    chunks_.clear();
    Mix_CloseAudio();
    ForgetLimiter();
    open_ = false;
  }

  bool IsOpen() const override { return open_; }

  ChunkId LoadChunk(const PcmFormat& f, const void* data, size_t bytes) override {
    if (!open_ || data == nullptr || f.channels <= 0 || f.channels > 8 || f.samplesPerSec <= 0 ||
        (f.bitsPerSample != 8 && f.bitsPerSample != 16)) {
      return 0;
    }
    // Only whole sample frames are converted; a trailing partial frame is noise.
    const size_t frameBytes = static_cast<size_t>(f.channels) * (f.bitsPerSample / 8);
    bytes -= bytes % frameBytes;
    if (bytes == 0 || bytes > 0x7FFFFFFF / 8) return 0;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, f.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB,
                          static_cast<Uint8>(f.channels), f.samplesPerSec, devFormat_,
                          static_cast<Uint8>(devChannels_), devFreq_) < 0) {
      return 0;
    }
    Loaded c;
    c.pcm.resize(bytes * std::max(cvt.len_mult, 1));
    std::memcpy(c.pcm.data(), data, bytes);
    cvt.buf = c.pcm.data();
    cvt.len = static_cast<int>(bytes);
    if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return 0;
    const size_t outBytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : bytes;
    c.pcm.resize(outBytes);
    // The chunk borrows the converted buffer, which the map entry keeps alive until FreeChunk.
    c.chunk = Mix_QuickLoad_RAW(c.pcm.data(), static_cast<Uint32>(outBytes));
    if (!c.chunk) return 0;
    const ChunkId id = nextId_++;
    chunks_.emplace(id, std::move(c));
    return id;
  }

  void FreeChunk(ChunkId chunk) override {
    auto it = chunks_.find(chunk);
    if (it == chunks_.end()) return;
    Mix_FreeChunk(it->second.chunk);  // halts the channels still playing it first
    chunks_.erase(it);
  }

  int PlayChunk(ChunkId chunk, bool looped) override {
    auto it = chunks_.find(chunk);
    if (!open_ || it == chunks_.end()) return -1;
    Mix_Chunk* c = it->second.chunk;
    const int loops = looped ? -1 : 0;
    int channel = Mix_PlayChannel(-1, c, loops);
    // Every play gets its own voice: with every channel busy the mixer grows (doubling, up to
    // the bound), and only past the bound does the oldest one-shot copy of this wave give way.
    if (channel < 0 && channels_ < kMaxMixerChannels) {
      const int first = channels_;
      channels_ = Mix_AllocateChannels(std::min(channels_ * 2, kMaxMixerChannels));
      started_.resize(static_cast<size_t>(channels_), 0);
      looped_.resize(static_cast<size_t>(channels_), false);
      if (channels_ > first) channel = Mix_PlayChannel(first, c, loops);
    }
    if (channel < 0) {
      int oldest = -1;
      for (int i = 0; i < channels_; ++i) {
        if (Mix_GetChunk(i) == c && !looped_[i] && (oldest < 0 || started_[i] < started_[oldest])) {
          oldest = i;
        }
      }
      if (oldest >= 0) {
        Mix_HaltChannel(oldest);
        channel = Mix_PlayChannel(oldest, c, loops);
      }
    }
    if (channel < 0) return -1;
    Mix_Volume(channel, MixedVolume(MIX_MAX_VOLUME));
    started_[channel] = ++playCount_;
    looped_[channel] = looped;
    return channel;
  }

  void StopChannel(int channel) override {
    if (open_ && channel >= 0 && channel < channels_) Mix_HaltChannel(channel);
  }

  bool ChannelPlaying(int channel) override {
    return open_ && channel >= 0 && channel < channels_ && Mix_Playing(channel) != 0;
  }

  void SetChannelVolume(int channel, int volume) override {
    if (open_ && channel >= 0 && channel < channels_) {
      Mix_Volume(channel, MixedVolume(volume));
    }
  }

 private:
  struct Loaded {
    std::vector<uint8_t> pcm;
    Mix_Chunk* chunk = nullptr;
  };
  std::shared_ptr<Session> session_;
  bool open_ = false;
  int devFreq_ = 44100, devChannels_ = 2;
  Uint16 devFormat_ = AUDIO_S16SYS;
  ChunkId nextId_ = 1;
  std::map<ChunkId, Loaded> chunks_;
  int channels_ = 0;               // channels the mixer has now
  std::vector<uint64_t> started_;  // per channel: play order of its last start
  std::vector<bool> looped_;       // per channel: its last start loops
  uint64_t playCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// SDL_mixer's end-of-music hook is a plain function, so the music object that wants the notice is
// kept here. The hook runs on the audio thread; Events::Post is safe there.
std::atomic<Events*> g_musicEvents{nullptr};
std::atomic<bool> g_musicHalting{false};

void MusicFinishedHook() {
  // Mix_HaltMusic also calls the hook; only the natural end of a piece is news.
  if (g_musicHalting.load()) return;
  if (Events* e = g_musicEvents.load()) {
    Event ev;
    ev.kind = EventKind::MusicFinished;
    e->Post(ev);
  }
}

class SdlMusic : public Music {
 public:
  SdlMusic(std::shared_ptr<Session> s, Events* events) : session_(std::move(s)), events_(events) {}
  ~SdlMusic() override { Close(); }

  bool Open(const std::string& path, std::string& error) override {
    Close();
    // The file is opened by the game, never by the decoder: without blocking, and only when it
    // is a regular file (a pipe or a device named like the music would hang or never end).
    DataFile file;
    if (!file.Open(path)) {
      error = "Couldn't open '" + path + "'. " + DataFileReason(file.Error());
      return false;
    }
    if (!EnsureDevice(error)) {
      // A machine without a sound device still plays the game: the piece is "open" and silent,
      // as the sound effects are.
      silent_ = true;
      error.clear();
      return true;
    }
    SDL_RWops* rw = nullptr;
    const int fd = file.Release();
    if (FILE* fp = ::fdopen(fd, "rb")) {
      rw = SDL_RWFromFP(fp, SDL_TRUE);
      if (!rw) std::fclose(fp);
    } else {
      ::close(fd);
    }
    music_ = rw ? Mix_LoadMUS_RW(rw, 1) : nullptr;  // frees `rw` (and closes the file) on failure
    if (!music_) {
      error = rw ? Mix_GetError() : "Couldn't open '" + path + "'";
      Mix_CloseAudio();
      ForgetLimiter();
      ownDevice_ = false;
      return false;
    }
    g_musicEvents = events_;
    Mix_HookMusicFinished(&MusicFinishedHook);
    return true;
  }

  void Close() override {
    silent_ = false;
    if (!music_) return;
    Halt();
    Mix_FreeMusic(music_);
    music_ = nullptr;
    if (g_musicEvents.load() == events_) g_musicEvents = nullptr;
    if (ownDevice_) {
      Mix_CloseAudio();
      ForgetLimiter();
      ownDevice_ = false;
    }
  }

  bool IsOpenFile() const override { return music_ != nullptr || silent_; }

  bool Play(uint32_t positionMs, std::string& error) override {
    if (silent_) return true;
    if (!music_) {
      error = "No music file is open";
      return false;
    }
    Halt();
    Mix_VolumeMusic(MixedVolume(volume_));
    if (Mix_PlayMusic(music_, 0) != 0) {
      error = Mix_GetError();
      return false;
    }
    startPos_ = 0;
    if (positionMs > 0 && Mix_SetMusicPosition(positionMs / 1000.0) == 0) startPos_ = positionMs;
    startTicks_ = SDL_GetTicks();
    return true;
  }

  void Stop() override {
    if (music_) {
      stoppedPos_ = PositionMs();
      Halt();
    }
  }

  bool Playing() const override { return music_ != nullptr && Mix_PlayingMusic() != 0; }

  uint32_t LengthMs() const override {
    if (!music_) return 0;
    const double s = Mix_MusicDuration(music_);
    return s > 0 ? static_cast<uint32_t>(std::lround(s * 1000)) : 0;
  }

  void SetVolume(int volume) override {
    volume_ = std::clamp(volume, 0, MIX_MAX_VOLUME);
    if (music_) Mix_VolumeMusic(MixedVolume(volume_));
  }

  uint32_t PositionMs() const override {
    if (!music_) return 0;
    if (!Playing()) return stoppedPos_;
    const double s = Mix_GetMusicPosition(music_);
    // Formats without position reporting: time since the start.
    if (s < 0) return startPos_ + (SDL_GetTicks() - startTicks_);
    return static_cast<uint32_t>(std::lround(s * 1000));
  }

 private:
  // Music holds its own reference on the mixer's device (SDL_mixer counts the openings), so it
  // works whether or not the sound effects opened the device, and in any closing order.
  bool EnsureDevice(std::string& error) {
    if (!session_->Need(SDL_INIT_AUDIO) || Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
      error = SDL_GetError();
      return false;
    }
    ownDevice_ = true;
    InstallLimiter();
    return true;
  }

  void Halt() {
    g_musicHalting = true;
    Mix_HaltMusic();
    g_musicHalting = false;
  }

  std::shared_ptr<Session> session_;
  Events* events_;
  Mix_Music* music_ = nullptr;
  bool ownDevice_ = false;
  bool silent_ = false;  // opened without a sound device: plays nothing
  int volume_ = MIX_MAX_VOLUME;
  uint32_t startPos_ = 0, startTicks_ = 0, stoppedPos_ = 0;
};

}  // namespace

std::unique_ptr<Audio> MakeAudio(std::shared_ptr<Session> s) {
  return std::make_unique<SdlAudio>(std::move(s));
}

std::unique_ptr<Music> MakeMusic(std::shared_ptr<Session> s, Events* events) {
  return std::make_unique<SdlMusic>(std::move(s), events);
}

}  // namespace platform::sdl
