#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/web/web_internal.h"

namespace platform::web {
namespace {

// The effects play through Web Audio: every chunk becomes an AudioBuffer once, every channel is a
// gain node, every play a buffer source on it. Browsers start the audio only after the player's
// first key or click (the page resumes the context then); a play asked for before that is
// dropped rather than heard late.
//
// Every channel feeds one bus, and the bus passes a peak limiter on its way out, the native
// driver's (platform/limiter.h) in the browser's own terms: Web Audio adds the voices in floating
// point, so the sum itself never clips and needs no headroom; only the way out to the device
// does. The limiter (an AudioWorklet) lowers the gain at once to what a sample frame needs to stay
// within 32000/32767 of full scale and lets it recover with an 80 ms time constant; below the
// ceiling the mix passes unchanged. A page the browser gives no AudioWorklet (one served over
// plain http from another machine) uses a DynamicsCompressor as a hard-kneed limiter there.
EM_JS(int, kx_audio_open, (), {
  var AC = window.AudioContext || window.webkitAudioContext;
  if (!AC) return 0;
  if (!Module.kxAudio) {
    try {
      var ctx = new AC();
      var bus = ctx.createGain();
      Module.kxAudio = {ctx : ctx, buffers : {}, channels : [], bus : bus, limiter : 'none'};
      Module.kxConnectLimiter(Module.kxAudio);
    } catch (e) {
      return 0;
    }
  }
  return 1;
});

// The limiter after the bus (see above). Also used by the browser test on an offline context.
// clang-format off
EM_JS(void, kx_audio_define_limiter, (), {
  Module.kxLimiterSource = function() {
    return "class KxLimiter extends AudioWorkletProcessor {" +
           "  constructor() { super(); this.gain = 1;" +
           "    this.release = 1 - Math.exp(-1000 / (80 * sampleRate)); this.ceiling = 32000 / 32768; }" +
           "  process(inputs, outputs) {" +
           "    var inp = inputs[0], out = outputs[0];" +
           "    if (!inp || !inp.length) { for (var c = 0; c < out.length; ++c) out[c].fill(0); return true; }" +
           "    var n = out[0].length, ch = Math.min(inp.length, out.length);" +
           "    for (var i = 0; i < n; ++i) {" +
           "      var peak = 0;" +
           "      for (var c = 0; c < ch; ++c) peak = Math.max(peak, Math.abs(inp[c][i]));" +
           "      this.gain += (1 - this.gain) * this.release;" +
           "      if (this.gain > 1 - 1e-5) this.gain = 1;" +
           "      if (peak * this.gain > this.ceiling) this.gain = this.ceiling / peak;" +
           "      for (var c = 0; c < ch; ++c) out[c][i] = inp[c][i] * this.gain;" +
           "    }" +
           "    for (var c = ch; c < out.length; ++c) out[c].set(out[0]);" +
           "    return true;" +
           "  }" +
           "}" +
           "registerProcessor('kx-limiter', KxLimiter);";
  };
  // Connects a.bus to a.ctx.destination through the limiter; the bus goes straight to the
  // compressor at once and moves to the worklet once its module is loaded.
  Module.kxConnectLimiter = function(a) {
    var ctx = a.ctx;
    var comp = ctx.createDynamicsCompressor();
    comp.threshold.value = -1;
    comp.knee.value = 0;
    comp.ratio.value = 20;
    comp.attack.value = 0;
    comp.release.value = 0.08;
    // The compressor lets the onset of a loud sum through for a few milliseconds: a curve after
    // it passes everything below 0.8 unchanged and bends the rest softly towards the ceiling,
    // which no input (a curve clamps what lies beyond it) passes.
    var shaper = ctx.createWaveShaper();
    var curve = new Float32Array(4097), top = 32000 / 32768, knee = 0.8;
    for (var i = 0; i < curve.length; ++i) {
      var x = i / 2048 - 1, m = Math.abs(x);
      var y = m <= knee ? m : knee + (top - knee) * Math.tanh((m - knee) / (top - knee));
      curve[i] = x < 0 ? -y : y;
    }
    shaper.curve = curve;
    comp.connect(shaper);
    shaper.connect(ctx.destination);
    a.bus.connect(comp);
    a.limiter = 'compressor';
    if (!ctx.audioWorklet || !window.AudioWorkletNode) return Promise.resolve(a.limiter);
    var url = URL.createObjectURL(
        new Blob([Module.kxLimiterSource()], {type : 'application/javascript'}));
    return ctx.audioWorklet.addModule(url)
        .then(function() {
          var node = new AudioWorkletNode(
              ctx, 'kx-limiter', {outputChannelCount : [ ctx.destination.channelCount ]});
          node.connect(ctx.destination);
          a.bus.disconnect();
          a.bus.connect(node);
          comp.disconnect();
          shaper.disconnect();
          a.limiter = 'worklet';
          return a.limiter;
        })
        .catch(function() { return a.limiter; })
        .finally(function() { URL.revokeObjectURL(url); });
  };
});
// clang-format on

EM_JS(void, kx_audio_close, (), {
  var a = Module.kxAudio;
  if (!a) return;
  a.channels.forEach(function(ch) {
    if (ch.src) try {
        ch.src.stop();
      } catch (e) {
      }
  });
  a.channels = [];
  a.buffers = {};
});

// Converts whole frames of 8-bit unsigned or 16-bit signed PCM into an AudioBuffer.
EM_JS(int, kx_audio_load,
      (int id, const uint8_t* data, int frames, int channels, int rate, int bits), {
        var a = Module.kxAudio;
        if (!a) return 0;
        var buf;
        try {
          buf = a.ctx.createBuffer(channels, frames, rate);
        } catch (e) {
          return 0;
        }
        for (var c = 0; c < channels; ++c) {
          var out = buf.getChannelData(c);
          if (bits == 8) {
            for (var i = 0; i < frames; ++i) out[i] = (HEAPU8[data + i * channels + c] - 128) / 128;
          } else {
            for (var i = 0; i < frames; ++i) {
              var p = data + (i * channels + c) * 2;
              var v = HEAPU8[p] | (HEAPU8[p + 1] << 8);
              out[i] = (v >= 32768 ? v - 65536 : v) / 32768;
            }
          }
        }
        a.buffers[id] = buf;
        return 1;
      });

EM_JS(void, kx_audio_free, (int id), {
  var a = Module.kxAudio;
  if (a) delete a.buffers[id];
});

EM_JS(int, kx_audio_play, (int channel, int id, int looped), {
  var a = Module.kxAudio;
  if (!a || !a.buffers[id] || a.ctx.state != 'running') return 0;
  var ch = a.channels[channel];
  if (!ch) {
    ch = a.channels[channel] = {gain : a.ctx.createGain(), src : null};
    ch.gain.connect(a.bus);
  }
  if (ch.src) try {
      ch.src.stop();
    } catch (e) {
    }
  var src = a.ctx.createBufferSource();
  src.buffer = a.buffers[id];
  src.loop = !!looped;
  src.connect(ch.gain);
  src.onended = function() {
    if (ch.src == src) ch.src = null;
  };
  ch.gain.gain.value = 1;
  ch.src = src;
  src.start();
  return 1;
});

EM_JS(void, kx_audio_stop, (int channel), {
  var a = Module.kxAudio;
  var ch = a && a.channels[channel];
  if (ch && ch.src) {
    try {
      ch.src.stop();
    } catch (e) {
    }
    ch.src = null;
  }
});

EM_JS(int, kx_audio_playing, (int channel), {
  var a = Module.kxAudio;
  var ch = a && a.channels[channel];
  return ch && ch.src ? 1 : 0;
});

EM_JS(void, kx_audio_volume, (int channel, double v), {
  var a = Module.kxAudio;
  var ch = a && a.channels[channel];
  if (ch) ch.gain.gain.value = v;
});

class WebAudio : public Audio {
 public:
  ~WebAudio() override { Close(); }
  bool Open() override {
    kx_audio_define_limiter();
    if (!open_) open_ = kx_audio_open() != 0;
    if (open_) {
      channels_ = kMixerChannels;
      started_.assign(channels_, 0);
      looped_.assign(channels_, false);
      chunkOf_.assign(channels_, 0);
    }
    return open_;
  }
  void Close() override {
    if (!open_) return;
    kx_audio_close();
    chunks_.clear();
    open_ = false;
  }
  bool IsOpen() const override { return open_; }

  ChunkId LoadChunk(const PcmFormat& f, const void* data, size_t bytes) override {
    if (!open_ || data == nullptr || f.channels <= 0 || f.channels > 8 || f.samplesPerSec <= 0 ||
        (f.bitsPerSample != 8 && f.bitsPerSample != 16)) {
      return 0;
    }
    // Only whole sample frames are played; a trailing partial frame is noise.
    const size_t frameBytes = static_cast<size_t>(f.channels) * (f.bitsPerSample / 8);
    const size_t frames = bytes / frameBytes;
    if (frames == 0 || frames > 0x7FFFFFFF / 8) return 0;
    const ChunkId id = nextId_;
    if (!kx_audio_load(id, static_cast<const uint8_t*>(data), static_cast<int>(frames), f.channels,
                       f.samplesPerSec, f.bitsPerSample)) {
      return 0;
    }
    ++nextId_;
    chunks_[id] = true;
    return id;
  }

  void FreeChunk(ChunkId chunk) override {
    if (chunks_.erase(chunk) == 0) return;
    for (int i = 0; i < channels_; ++i) {
      if (chunkOf_[i] == chunk) StopChannel(i);
    }
    kx_audio_free(chunk);
  }

  int PlayChunk(ChunkId chunk, bool looped) override {
    if (!open_ || chunks_.count(chunk) == 0) return -1;
    int channel = -1;
    for (int i = 0; i < channels_ && channel < 0; ++i) {
      if (!kx_audio_playing(i)) channel = i;
    }
    // Every play gets its own voice: with every channel busy the channels double, up to the
    // bound, and only past the bound does the oldest one-shot copy of this wave give way.
    if (channel < 0 && channels_ < kMaxMixerChannels) {
      channel = channels_;
      channels_ = std::min(channels_ * 2, kMaxMixerChannels);
      started_.resize(channels_, 0);
      looped_.resize(channels_, false);
      chunkOf_.resize(channels_, 0);
    }
    if (channel < 0) {
      for (int i = 0; i < channels_; ++i) {
        if (chunkOf_[i] == chunk && !looped_[i] &&
            (channel < 0 || started_[i] < started_[channel])) {
          channel = i;
        }
      }
    }
    if (channel < 0) return -1;
    kx_audio_play(channel, chunk, looped ? 1 : 0);
    started_[channel] = ++playCount_;
    looped_[channel] = looped;
    chunkOf_[channel] = chunk;
    return channel;
  }

  void StopChannel(int channel) override {
    if (open_ && channel >= 0 && channel < channels_) kx_audio_stop(channel);
  }
  bool ChannelPlaying(int channel) override {
    return open_ && channel >= 0 && channel < channels_ && kx_audio_playing(channel) != 0;
  }
  void SetChannelVolume(int channel, int volume) override {
    if (open_ && channel >= 0 && channel < channels_) {
      kx_audio_volume(channel, std::clamp(volume, 0, 128) / 128.0);
    }
  }

 private:
  bool open_ = false;
  ChunkId nextId_ = 1;
  std::map<ChunkId, bool> chunks_;
  int channels_ = 0;
  std::vector<uint64_t> started_;
  std::vector<bool> looped_;
  std::vector<ChunkId> chunkOf_;
  uint64_t playCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The music: the file's bytes become an <audio> element the browser decodes and streams, heard
// through the effects' bus and limiter. Playing waits for the player's first key or click (the
// page calls Module.kxMusicGesture).
EM_JS(int, kx_music_open, (const uint8_t* data, int size, const char* mime), {
  var m = Module.kxMusic;
  if (m && m.el) {
    m.el.pause();
    URL.revokeObjectURL(m.el.src);
  }
  var url = URL.createObjectURL(new Blob([HEAPU8.slice(data, data + size)], {
    type:
      UTF8ToString(mime)
  }));
  var el = new Audio();
  el.preload = 'auto';
  el.volume = Module.kxMusicVolume == undefined ? 1 : Module.kxMusicVolume;
  el.src = url;
  m = Module.kxMusic = {el : el, want : false, ended : false};
  // The music joins the effects on their bus, so the limiter holds their sum.
  var a = Module.kxAudio;
  if (a && a.bus) {
    try {
      a.ctx.createMediaElementSource(el).connect(a.bus);
    } catch (e) {
    }
  }
  el.addEventListener(
      'ended', function() {
        if (m.want) {
          m.want = false;
          m.ended = true;
        }
      });
  el.addEventListener(
      'error', function() { console.warn('kobaltix: the browser cannot play the music'); });
  Module.kxMusicGesture = function() {
    var k = Module.kxMusic;
    if (k && k.want && k.el.paused) k.el.play().catch(function(){});
  };
  return 1;
});
EM_JS(void, kx_music_close, (), {
  var m = Module.kxMusic;
  if (m && m.el) {
    m.el.pause();
    URL.revokeObjectURL(m.el.src);
  }
  Module.kxMusic = null;
});
EM_JS(void, kx_music_play, (double seconds), {
  var m = Module.kxMusic;
  if (!m) return;
  m.want = true;
  m.ended = false;
  try {
    m.el.currentTime = seconds;
  } catch (e) {
  }
  if (Module.kxGesture) m.el.play().catch(function(){});
});
EM_JS(void, kx_music_stop, (), {
  var m = Module.kxMusic;
  if (!m) return;
  m.want = false;
  m.el.pause();
});
EM_JS(int, kx_music_playing, (), {
  var m = Module.kxMusic;
  return m && m.want ? 1 : 0;
});
EM_JS(double, kx_music_length, (), {
  var m = Module.kxMusic;
  return m && isFinite(m.el.duration) ? m.el.duration : 0;
});
EM_JS(double, kx_music_position, (), {
  var m = Module.kxMusic;
  return m ? m.el.currentTime : 0;
});
// The music's loudness, 0..1, for this piece and the next (an <audio> element's volume is a plain
// factor, as the native mixer's music volume is).
EM_JS(void, kx_music_volume, (double v), {
  Module.kxMusicVolume = v;
  var m = Module.kxMusic;
  if (m && m.el) m.el.volume = v;
});
EM_JS(int, kx_music_take_ended, (), {
  var m = Module.kxMusic;
  if (!m || !m.ended) return 0;
  m.ended = false;
  return 1;
});

std::string MimeFor(const std::string& path) {
  const auto dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (ext == "mp3") return "audio/mpeg";
  if (ext == "ogg") return "audio/ogg";
  return "audio/wav";
}

class WebMusic : public Music {
 public:
  ~WebMusic() override { Close(); }
  bool Open(const std::string& path, std::string& error) override {
    Close();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      error = "cannot open " + path;
      return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
      bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    if (bytes.empty()) {
      error = "empty music file " + path;
      return false;
    }
    open_ = kx_music_open(bytes.data(), static_cast<int>(bytes.size()), MimeFor(path).c_str()) != 0;
    return open_;
  }
  void Close() override {
    if (open_) kx_music_close();
    open_ = false;
  }
  bool IsOpenFile() const override { return open_; }
  bool Play(uint32_t positionMs, std::string&) override {
    if (!open_) return false;
    kx_music_play(positionMs / 1000.0);
    return true;
  }
  void Stop() override {
    if (open_) kx_music_stop();
  }
  bool Playing() const override { return open_ && kx_music_playing() != 0; }
  uint32_t LengthMs() const override {
    return open_ ? static_cast<uint32_t>(kx_music_length() * 1000.0) : 0;
  }
  uint32_t PositionMs() const override {
    return open_ ? static_cast<uint32_t>(kx_music_position() * 1000.0) : 0;
  }
  void SetVolume(int volume) override { kx_music_volume(std::clamp(volume, 0, 128) / 128.0); }

 private:
  bool open_ = false;
};

}  // namespace

bool TakeMusicEnded() { return kx_music_take_ended() != 0; }

std::unique_ptr<Audio> MakeAudio() { return std::make_unique<WebAudio>(); }
std::unique_ptr<Music> MakeMusic(Events*) { return std::make_unique<WebMusic>(); }

}  // namespace platform::web
