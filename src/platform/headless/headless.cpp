#include "platform/headless/headless.h"

#include <algorithm>
#include <cstring>

#include "platform/data_file.h"
#include "platform/sdl/sdl_platform.h"

namespace platform::headless {
namespace {

// Decodes UTF-8 leniently: a malformed byte becomes U+FFFD and decoding goes on.
std::u32string DecodeUtf8(const std::string& s) {
  std::u32string out;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    bool ok = i + extra < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

// The real rasteriser, shared by every headless platform of the process and made on first use:
// loading the font configuration for each test would cost more than the tests themselves.
class SharedText : public Text {
 public:
  TextMask Render(const std::string& family, int pixelHeight, bool bold, bool italic,
                  const std::string& utf8) override {
    return Real().Render(family, pixelHeight, bold, italic, utf8);
  }
  void Measure(const std::string& family, int pixelHeight, bool bold, bool italic,
               const std::string& utf8, int& w, int& h) override {
    Real().Measure(family, pixelHeight, bold, italic, utf8, w, h);
  }

 private:
  static Text& Real() {
    static const std::unique_ptr<Text> text = sdl::MakeText();
    return *text;
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
void HeadlessEvents::PushKeyDown(int vk, bool alt, bool shift, bool ctrl) {
  Event e;
  e.kind = EventKind::KeyDown;
  e.vk = vk;
  e.alt = alt;
  e.shift = shift;
  e.ctrl = ctrl;
  Post(e);
}

void HeadlessEvents::PushKeyUp(int vk) {
  Event e;
  e.kind = EventKind::KeyUp;
  e.vk = vk;
  Post(e);
}

void HeadlessEvents::PushText(const std::string& utf8) {
  for (char32_t c : DecodeUtf8(utf8)) {
    Event e;
    e.kind = EventKind::Char;
    e.ch = c;
    Post(e);
  }
}

size_t HeadlessEvents::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void HeadlessEvents::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

bool HeadlessEvents::Poll(Event& e) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return false;
  e = queue_.front();
  queue_.pop_front();
  return true;
}

bool HeadlessEvents::Wait(Event& e, uint32_t) { return Poll(e); }

void HeadlessEvents::Post(const Event& e) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(e);
}

// ---------------------------------------------------------------------------------------------
HeadlessVideo::HeadlessVideo() {
  for (int bits : {16, 32}) {
    for (auto [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}}) {
      modes_.push_back({w, h, bits});
    }
  }
}

uint16_t HeadlessVideo::Pixel565(int x, int y) const {
  const CapturedFrame& last = LastFrame();
  if (x < 0 || y < 0 || x >= last.width || y >= last.height) return 0;
  const uint8_t* row = last.pixels.data() + static_cast<size_t>(y) * last.pitch;
  if (last_.bitCount == 16) {
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, row + x * 4, 4);
  return static_cast<uint16_t>(((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x001F));
}

uint32_t HeadlessVideo::PixelRGB(int x, int y) const {
  const CapturedFrame& last = LastFrame();
  if (x < 0 || y < 0 || x >= last.width || y >= last.height) return 0;
  const uint8_t* row = last.pixels.data() + static_cast<size_t>(y) * last.pitch;
  if (last_.bitCount == 32) {
    uint32_t v;
    std::memcpy(&v, row + x * 4, 4);
    return v & 0xFFFFFF;
  }
  uint16_t v;
  std::memcpy(&v, row + x * 2, 2);
  const uint32_t r5 = v >> 11, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
  const uint32_t r = (r5 << 3) | (r5 >> 2), g = (g6 << 2) | (g6 >> 4), b = (b5 << 3) | (b5 >> 2);
  return (r << 16) | (g << 8) | b;
}

void HeadlessVideo::ClearFrames() {
  frameCount_ = 0;
  last_ = {};
  held_ = FrameView{};
  heldKeep_.reset();
}

void HeadlessVideo::OpenWindow(const std::string& captionUtf8, int w, int h) {
  caption_ = captionUtf8;
  clientW_ = w;
  clientH_ = h;
  open_ = true;
  shown_ = false;
  ++openCount_;
}

void HeadlessVideo::CloseWindow() {
  open_ = false;
  shown_ = false;
}

void HeadlessVideo::Present(const FrameView& frame) {
  ++frameCount_;
  held_ = FrameView{};
  heldKeep_.reset();
  Capture(frame);
  if (OnPresent) OnPresent(*this);
}

void HeadlessVideo::PresentKept(const FrameView& frame, std::shared_ptr<const void> keep) {
  if (!keep || frame.pixels == nullptr) {
    Present(frame);
    return;
  }
  ++frameCount_;
  // The frame does not change while its handle is held: the copy waits until someone looks.
  held_ = frame;
  heldKeep_ = std::move(keep);
  last_.width = frame.width;
  last_.height = frame.height;
  last_.bitCount = frame.bitCount;
  if (OnPresent) OnPresent(*this);
}

void HeadlessVideo::Capture(const FrameView& frame) const {
  last_.width = frame.width;
  last_.height = frame.height;
  last_.bitCount = frame.bitCount;
  // The copy is packed (pitch = row bytes) whatever the caller's pitch was.
  const int rowBytes = frame.width * (frame.bitCount == 32 ? 4 : 2);
  last_.pitch = rowBytes;
  last_.pixels.resize(static_cast<size_t>(std::max(rowBytes, 0)) * std::max(frame.height, 0));
  if (frame.pixels == nullptr || rowBytes <= 0) return;
  const auto* src = static_cast<const uint8_t*>(frame.pixels);
  for (int y = 0; y < frame.height; ++y) {
    std::memcpy(last_.pixels.data() + static_cast<size_t>(y) * rowBytes,
                src + static_cast<ptrdiff_t>(y) * frame.pitch, rowBytes);
  }
}

const CapturedFrame& HeadlessVideo::LastFrame() const {
  if (held_.pixels != nullptr) {
    Capture(held_);
    held_ = FrameView{};
    heldKeep_.reset();
  }
  return last_;
}

// ---------------------------------------------------------------------------------------------
void HeadlessKeyboard::Press(int vk) {
  const int sc = ScancodeFromVk(vk);
  if (sc != 0) {
    scancodes_.insert(sc);
  } else if (vk > 0 && vk < 256) {
    vkOnly_.insert(vk);
  }
}

void HeadlessKeyboard::Release(int vk) {
  vkOnly_.erase(vk);
  for (auto it = scancodes_.begin(); it != scancodes_.end();) {
    if (VkFromScancode(*it) == vk || SidedVkFromScancode(*it) == vk) {
      it = scancodes_.erase(it);
    } else {
      ++it;
    }
  }
}

void HeadlessKeyboard::ReleaseAll() {
  scancodes_.clear();
  vkOnly_.clear();
}

void HeadlessKeyboard::PressScancode(int sc) {
  if (sc > 0 && sc < SC_COUNT) scancodes_.insert(sc);
}

void HeadlessKeyboard::ReleaseScancode(int sc) { scancodes_.erase(sc); }

void HeadlessKeyboard::VirtualKeyState(uint8_t state[256]) {
  std::memset(state, 0, 256);
  for (int vk : vkOnly_) state[vk] = 0x80;
  for (int sc : scancodes_) {
    if (int vk = VkFromScancode(sc)) state[vk] = 0x80;
    if (int vk = SidedVkFromScancode(sc)) state[vk] = 0x80;
  }
}

bool HeadlessKeyboard::ScancodeState(uint8_t* state, int count) {
  const bool fails = readFails_ || failNext_ > 0;
  if (failNext_ > 0) --failNext_;
  if (count <= 0) return !fails;
  std::memset(state, 0, count);
  if (fails) return false;
  for (int sc : scancodes_) {
    if (sc < count) state[sc] = 0x80;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
int HeadlessJoysticks::Plug(const JoystickSpec& desc) {
  pads_.push_back({desc, {}});
  Event e;
  e.kind = EventKind::JoystickChanged;
  events_->Post(e);
  return static_cast<int>(pads_.size()) - 1;
}

void HeadlessJoysticks::Unplug(int i) {
  if (!Valid(i)) return;
  pads_.erase(pads_.begin() + i);
  Event e;
  e.kind = EventKind::JoystickChanged;
  events_->Post(e);
}

void HeadlessJoysticks::SetAxes(int i, int x, int y, int z) {
  if (!Valid(i)) return;
  pads_[i].state.axisX = x;
  pads_[i].state.axisY = y;
  pads_[i].state.axisZ = z;
}

void HeadlessJoysticks::SetButtons(int i, uint32_t mask) {
  if (Valid(i)) pads_[i].state.buttons = mask;
}

void HeadlessJoysticks::AxisRange(int index, int& axisMin, int& axisMax) {
  if (Valid(index)) {
    axisMin = pads_[index].desc.axisMin;
    axisMax = pads_[index].desc.axisMax;
  } else {
    axisMin = -32768;
    axisMax = 32767;
  }
}

int HeadlessJoysticks::ButtonCount(int index) {
  return Valid(index) ? std::min(pads_[index].desc.buttons, 32) : 0;
}

bool HeadlessJoysticks::Read(int index, JoystickState& out) {
  if (!Valid(index)) return false;
  out = pads_[index].state;
  // Buttons the device does not have can never read as held.
  const int n = ButtonCount(index);
  if (n < 32) out.buttons &= (n <= 0 ? 0u : ((1u << n) - 1));
  return true;
}

bool HeadlessJoysticks::SupportsPeriodic(int index) {
  return Valid(index) && pads_[index].desc.periodic;
}

bool HeadlessJoysticks::SupportsRumble(int index) {
  return Valid(index) && (pads_[index].desc.rumble || pads_[index].desc.periodic);
}

bool HeadlessJoysticks::PlayPeriodic(int index, const PeriodicEffect& effect) {
  if (!SupportsPeriodic(index)) return false;
  PlayedEffect p;
  p.index = index;
  p.periodic = true;
  p.effect = effect;
  p.ms = effect.durationUs / 1000;
  p.time = clock_->Milliseconds();
  effects_.push_back(p);
  return true;
}

bool HeadlessJoysticks::PlayRumble(int index, float strength, uint32_t ms) {
  if (!SupportsRumble(index)) return false;
  PlayedEffect p;
  p.index = index;
  p.periodic = false;
  p.strength = strength;
  p.ms = ms;
  p.time = clock_->Milliseconds();
  effects_.push_back(p);
  return true;
}

int HeadlessJoysticks::PlugGamepad(bool rumble) {
  gamepads_.push_back({rumble, {}});
  Event e;
  e.kind = EventKind::GamepadChanged;
  events_->Post(e);
  return static_cast<int>(gamepads_.size()) - 1;
}

void HeadlessJoysticks::UnplugGamepad(int i) {
  if (i < 0 || i >= GamepadCount()) return;
  // A pad pulled out with buttons held lets go of them first, as the real driver reports.
  SetGamepad(i, GamepadState{});
  gamepads_.erase(gamepads_.begin() + i);
  Event e;
  e.kind = EventKind::GamepadChanged;
  events_->Post(e);
}

void HeadlessJoysticks::SetGamepad(int i, const GamepadState& state) {
  if (i < 0 || i >= GamepadCount()) return;
  static constexpr int kBits[] = {kPadA, kPadB, kPadStart, kPadBack};
  static constexpr int kVks[] = {VK_GAMEPAD_A, VK_GAMEPAD_B, VK_GAMEPAD_MENU, VK_GAMEPAD_VIEW};
  GamepadState& held = gamepads_[static_cast<size_t>(i)].state;
  const uint32_t before = held.buttons;
  held = state;
  for (size_t k = 0; k < std::size(kBits); ++k) {
    const uint32_t mask = 1u << kBits[k];
    const bool was = (before & mask) != 0, is = (state.buttons & mask) != 0;
    if (was == is) continue;
    Event e;
    e.kind = is ? EventKind::KeyDown : EventKind::KeyUp;
    e.vk = kVks[k];
    events_->Post(e);
  }
}

bool HeadlessJoysticks::ReadGamepad(int index, GamepadState& out) {
  out = GamepadState{};
  if (index < 0 || index >= GamepadCount()) return false;
  out = gamepads_[static_cast<size_t>(index)].state;
  return true;
}

bool HeadlessJoysticks::RumbleGamepad(int index, float strength, uint32_t ms) {
  if (index < 0 || index >= GamepadCount() || !gamepads_[static_cast<size_t>(index)].rumble)
    return false;
  PlayedEffect p;
  p.index = index;
  p.periodic = false;
  p.gamepad = true;
  p.strength = strength;
  p.ms = ms;
  p.time = clock_->Milliseconds();
  effects_.push_back(p);
  return true;
}

// ---------------------------------------------------------------------------------------------
bool HeadlessAudio::ChunkInfo(ChunkId chunk, PcmFormat& format, size_t& bytes,
                              uint32_t& durationMs) const {
  for (const auto& [id, c] : chunks_) {
    if (id == chunk) {
      format = c.format;
      bytes = c.bytes;
      durationMs = c.durationMs;
      return true;
    }
  }
  return false;
}

int HeadlessAudio::ChunkCount() const { return static_cast<int>(chunks_.size()); }

int HeadlessAudio::ChannelVolume(int channel) const {
  return channel >= 0 && channel < ChannelCount() ? channels_[channel].volume : 0;
}

bool HeadlessAudio::Open() {
  open_ = available_;
  if (open_ && channels_.empty()) channels_.resize(kMixerChannels);
  return open_;
}

void HeadlessAudio::Close() {
  channels_.clear();
  chunks_.clear();
  open_ = false;
}

ChunkId HeadlessAudio::LoadChunk(const PcmFormat& format, const void*, size_t bytes) {
  if (!open_) return 0;
  if (format.channels <= 0 || format.samplesPerSec <= 0 ||
      (format.bitsPerSample != 8 && format.bitsPerSample != 16)) {
    return 0;
  }
  Chunk c;
  c.format = format;
  c.bytes = bytes;
  const uint64_t bytesPerSec =
      static_cast<uint64_t>(format.channels) * (format.bitsPerSample / 8) * format.samplesPerSec;
  c.durationMs = static_cast<uint32_t>(static_cast<uint64_t>(bytes) * 1000 / bytesPerSec);
  const ChunkId id = nextId_++;
  chunks_.push_back({id, c});
  return id;
}

void HeadlessAudio::FreeChunk(ChunkId chunk) {
  for (Channel& c : channels_) {
    if (c.active && c.chunk == chunk) c.active = false;
  }
  std::erase_if(chunks_, [chunk](const auto& p) { return p.first == chunk; });
}

int HeadlessAudio::PlayChunk(ChunkId chunk, bool looped) {
  if (!open_) return -1;
  PcmFormat f;
  size_t bytes;
  uint32_t duration;
  if (!ChunkInfo(chunk, f, bytes, duration)) return -1;
  for (int i = 0; i < ChannelCount(); ++i) {
    if (!ChannelPlaying(i)) return Start(i, chunk, duration, looped);
  }
  // The same rule as the real mixer: more channels while the bound allows, then the oldest
  // one-shot play of the same chunk gives up its channel.
  if (ChannelCount() < kMaxMixerChannels) {
    const int i = ChannelCount();
    channels_.resize(std::min<size_t>(channels_.size() * 2, kMaxMixerChannels));
    return Start(i, chunk, duration, looped);
  }
  int oldest = -1;
  for (int i = 0; i < ChannelCount(); ++i) {
    const Channel& c = channels_[i];
    if (c.chunk == chunk && !c.looped && (oldest < 0 || c.order < channels_[oldest].order))
      oldest = i;
  }
  return oldest < 0 ? -1 : Start(oldest, chunk, duration, looped);
}

int HeadlessAudio::Start(int i, ChunkId chunk, uint32_t durationMs, bool looped) {
  Channel& c = channels_[i];
  c.active = true;
  c.chunk = chunk;
  c.start = clock_->Milliseconds();
  c.durationMs = durationMs;
  c.looped = looped;
  c.order = ++playCount_;
  plays_.push_back({chunk, i, c.start, looped});
  return i;
}

void HeadlessAudio::StopChannel(int channel) {
  if (channel >= 0 && channel < ChannelCount()) channels_[channel].active = false;
}

bool HeadlessAudio::ChannelPlaying(int channel) {
  if (channel < 0 || channel >= ChannelCount()) return false;
  Channel& c = channels_[channel];
  if (!c.active) return false;
  if (c.looped) return true;
  // Unsigned difference: correct across the 32-bit wrap of the clock.
  if (clock_->Milliseconds() - c.start >= c.durationMs) c.active = false;
  return c.active;
}

void HeadlessAudio::SetChannelVolume(int channel, int volume0to128) {
  if (channel >= 0 && channel < ChannelCount()) {
    channels_[channel].volume = std::clamp(volume0to128, 0, 128);
  }
}

// ---------------------------------------------------------------------------------------------
void HeadlessMusic::Finish() {
  if (playing_) stoppedPos_ = length_;
  playing_ = false;
  Event e;
  e.kind = EventKind::MusicFinished;
  events_->Post(e);
}

bool HeadlessMusic::Open(const std::string& path, std::string& error) {
  // Opened as the real player opens it: without blocking, a regular file only.
  DataFile file;
  if (!file.Open(path)) {
    log_.push_back("Open " + path + " failed");
    error = "The specified file was not found: " + path;
    return false;
  }
  log_.push_back("Open " + path);
  path_ = path;
  playing_ = false;
  stoppedPos_ = 0;
  return true;
}

void HeadlessMusic::Close() {
  log_.push_back("Close");
  path_.clear();
  playing_ = false;
  stoppedPos_ = 0;
}

bool HeadlessMusic::Play(uint32_t positionMs, std::string& error) {
  if (path_.empty()) {
    log_.push_back("Play " + std::to_string(positionMs) + " failed");
    error = "No music file is open";
    return false;
  }
  log_.push_back("Play " + std::to_string(positionMs));
  playing_ = true;
  startPos_ = std::min(positionMs, length_);
  startTime_ = clock_->Milliseconds();
  return true;
}

void HeadlessMusic::Stop() {
  log_.push_back("Stop");
  stoppedPos_ = PositionMs();
  playing_ = false;
}

uint32_t HeadlessMusic::PositionMs() const {
  if (!playing_) return stoppedPos_;
  const uint64_t pos = static_cast<uint64_t>(startPos_) + (clock_->Milliseconds() - startTime_);
  return static_cast<uint32_t>(std::min<uint64_t>(pos, length_));
}

// ---------------------------------------------------------------------------------------------
Handles Install() {
  auto p = std::make_unique<Platform>();
  Handles h;
  auto clock = std::make_unique<HeadlessClock>();
  auto events = std::make_unique<HeadlessEvents>();
  h.clock = clock.get();
  h.events = events.get();
  auto video = std::make_unique<HeadlessVideo>();
  auto keyboard = std::make_unique<HeadlessKeyboard>();
  auto joysticks = std::make_unique<HeadlessJoysticks>(h.clock, h.events);
  auto audio = std::make_unique<HeadlessAudio>(h.clock);
  auto music = std::make_unique<HeadlessMusic>(h.clock, h.events);
  auto dialogs = std::make_unique<HeadlessDialogs>();
  std::unique_ptr<Text> text = std::make_unique<SharedText>();
  h.video = video.get();
  h.keyboard = keyboard.get();
  h.joysticks = joysticks.get();
  h.audio = audio.get();
  h.music = music.get();
  h.dialogs = dialogs.get();
  h.text = text.get();
  p->clock = std::move(clock);
  p->events = std::move(events);
  p->video = std::move(video);
  p->keyboard = std::move(keyboard);
  p->joysticks = std::move(joysticks);
  p->audio = std::move(audio);
  p->music = std::move(music);
  p->text = std::move(text);
  p->dialogs = std::move(dialogs);
  platform::Install(std::move(p));
  return h;
}

}  // namespace platform::headless
