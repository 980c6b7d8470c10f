#include "game/replay_tape.h"

#include <cstring>
#include <memory>
#include <utility>

namespace replay {

// ---------------------------------------------------------------------------------------------
// The tape

void Tape::ResetBases() {
  pos_ = 0;
  frames_ = 0;
  diverged_ = false;
  divergedFrame_ = 0;
  divergedWhy_.clear();
  lastClock = 0;
  std::memset(lastKeys, 0, sizeof lastKeys);
  lastScancodes.clear();
}

void Tape::StartRecording() {
  bytes_.clear();
  ResetBases();
  mode_ = TapeMode::Recording;
}

std::string Tape::StopRecording() {
  mode_ = TapeMode::Off;
  return std::exchange(bytes_, {});
}

void Tape::StartPlaying(std::string bytes) {
  bytes_ = std::move(bytes);
  ResetBases();
  mode_ = TapeMode::Playing;
}

void Tape::Stop() {
  mode_ = TapeMode::Off;
  bytes_.clear();
  pos_ = 0;
}

void Tape::FrameDone(uint64_t stateHash) {
  if (mode_ == TapeMode::Off) return;
  ++frames_;
  if (frames_ % 60 != 0) return;
  if (Records()) {
    PutTag('h');
    for (int i = 0; i < 8; ++i) PutByte(static_cast<uint8_t>(stateHash >> (8 * i)));
    return;
  }
  if (!Replays() || !TakeTag('h', "a check of the game's state")) return;
  uint64_t stored = 0;
  for (int i = 0; i < 8; ++i) stored |= static_cast<uint64_t>(TakeByte()) << (8 * i);
  if (stored != stateHash) Diverge("the game's state differs from the recorded one");
}

void Tape::Diverge(const std::string& why) {
  if (diverged_) return;
  diverged_ = true;
  divergedFrame_ = frames_;
  divergedWhy_ = why;
}

void Tape::PutUnsigned(uint64_t v) {
  while (v >= 0x80) {
    PutByte(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  PutByte(static_cast<uint8_t>(v));
}

void Tape::PutSigned(int64_t v) {
  PutUnsigned((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
}

bool Tape::TakeTag(char tag, const char* what) {
  const char tags[2] = {tag, 0};
  return TakeTagOf(tags, what) != 0;
}

char Tape::TakeTagOf(const char* tags, const char* what) {
  if (pos_ >= bytes_.size()) {
    Diverge(std::string("the recording ends where the game reads ") + what);
    return 0;
  }
  const char tag = bytes_[pos_];
  if (tag == 0 || std::strchr(tags, tag) == nullptr) {
    Diverge(std::string("the game reads ") + what + " where the recording holds another answer");
    return 0;
  }
  ++pos_;
  return tag;
}

uint8_t Tape::TakeByte() {
  if (pos_ >= bytes_.size()) {
    Diverge("the recording ends in the middle of an answer");
    return 0;
  }
  return static_cast<uint8_t>(bytes_[pos_++]);
}

uint64_t Tape::TakeUnsigned() {
  uint64_t v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    const uint8_t b = TakeByte();
    v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) break;
  }
  return v;
}

int64_t Tape::TakeSigned() {
  const uint64_t u = TakeUnsigned();
  return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
}

// ---------------------------------------------------------------------------------------------
// The decorators. Each call either passes through (and, recording, writes its answer) or, playing,
// takes its answer from the tape. A tape that diverged passes every call through, so the game
// goes on with live answers instead of stopping half-way through a frame.

namespace {

using platform::Event;

class TapeClock : public platform::Clock {
 public:
  TapeClock(std::unique_ptr<platform::Clock> inner, Tape& tape)
      : inner_(std::move(inner)), tape_(tape) {}
  uint32_t Milliseconds() override {
    // Readings are kept as the step from the last one: a game reads the clock several times a
    // frame and the steps are a few milliseconds.
    if (tape_.Replays() && tape_.TakeTag('c', "the clock")) {
      tape_.lastClock += static_cast<uint32_t>(tape_.TakeUnsigned());
      return tape_.lastClock;
    }
    const uint32_t now = inner_->Milliseconds();
    if (tape_.Records()) {
      tape_.PutTag('c');
      tape_.PutUnsigned(now - tape_.lastClock);
      tape_.lastClock = now;
    }
    return now;
  }
  // Sleeping answers nothing; a replay checked as fast as it goes does not sleep.
  void SleepMs(uint32_t ms) override {
    if (!tape_.Replays()) inner_->SleepMs(ms);
  }

 private:
  std::unique_ptr<platform::Clock> inner_;
  Tape& tape_;
};

void PutEvent(Tape& t, bool got, const Event& e) {
  if (!got) {
    t.PutTag('e');
    return;
  }
  t.PutTag('E');
  t.PutUnsigned(static_cast<uint64_t>(e.kind));
  t.PutSigned(e.vk);
  t.PutByte(static_cast<uint8_t>(e.alt | e.shift << 1 | e.ctrl << 2 | e.repeat << 3));
  t.PutUnsigned(e.ch);
  t.PutSigned(e.x);
  t.PutSigned(e.y);
  t.PutSigned(e.dx);
  t.PutSigned(e.dy);
  t.PutSigned(e.button);
  t.PutSigned(e.code);
}

// Playing: the event of the tape after its tag 'E'.
Event TakeEvent(Tape& t) {
  Event e;
  e.kind = static_cast<platform::EventKind>(t.TakeUnsigned());
  e.vk = static_cast<int>(t.TakeSigned());
  const uint8_t flags = t.TakeByte();
  e.alt = flags & 1;
  e.shift = flags & 2;
  e.ctrl = flags & 4;
  e.repeat = flags & 8;
  e.ch = static_cast<char32_t>(t.TakeUnsigned());
  e.x = static_cast<int>(t.TakeSigned());
  e.y = static_cast<int>(t.TakeSigned());
  e.dx = static_cast<int>(t.TakeSigned());
  e.dy = static_cast<int>(t.TakeSigned());
  e.button = static_cast<int>(t.TakeSigned());
  e.code = static_cast<int>(t.TakeSigned());
  return e;
}

class TapeEvents : public platform::Events {
 public:
  TapeEvents(std::unique_ptr<platform::Events> inner, Tape& tape)
      : inner_(std::move(inner)), tape_(tape) {}
  bool Poll(Event& e) override {
    return Answer(e, [&] { return inner_->Poll(e); });
  }
  // Hands the window's pending events to the watcher.
  void PumpWindowEvents() {
    Event own;
    while (inner_->Poll(own))
      if (tape_.watcher) tape_.watcher->WindowEvent(own);
  }
  bool Wait(Event& e, uint32_t timeoutMs) override {
    return Answer(e, [&] { return inner_->Wait(e, timeoutMs); });
  }
  // Events the game posts (the music's end, its own messages) reach the window's queue; while
  // the tape plays the recorded copies are the ones the game reads.
  void Post(const Event& e) override { inner_->Post(e); }

 private:
  template <class Live>
  bool Answer(Event& e, Live live) {
    if (tape_.Replays()) {
      // The window's own events belong to whoever watches; the game reads the recorded ones.
      PumpWindowEvents();
      const char tag = tape_.TakeTagOf("eE", "an event");
      if (tag == 'E') {
        e = TakeEvent(tape_);
        return true;
      }
      if (tag == 'e') return false;
    }
    const bool got = live();
    if (tape_.Records()) PutEvent(tape_, got, e);
    return got;
  }
  std::unique_ptr<platform::Events> inner_;
  Tape& tape_;
};

// A key state array: only the bytes that changed since the last reading are written.
void PutStateChanges(Tape& t, const uint8_t* now, uint8_t* last, size_t n) {
  size_t changed = 0;
  for (size_t i = 0; i < n; ++i) changed += now[i] != last[i];
  t.PutUnsigned(changed);
  size_t prev = 0;
  for (size_t i = 0; i < n; ++i) {
    if (now[i] == last[i]) continue;
    t.PutUnsigned(i - prev);
    t.PutByte(now[i]);
    prev = i;
    last[i] = now[i];
  }
}

void TakeStateChanges(Tape& t, uint8_t* last, size_t n) {
  const uint64_t changed = t.TakeUnsigned();
  size_t at = 0;
  for (uint64_t k = 0; k < changed && !t.Diverged(); ++k) {
    at += static_cast<size_t>(t.TakeUnsigned());
    const uint8_t v = t.TakeByte();
    if (at < n) last[at] = v;
  }
}

class TapeKeyboard : public platform::Keyboard {
 public:
  TapeKeyboard(std::unique_ptr<platform::Keyboard> inner, Tape& tape)
      : inner_(std::move(inner)), tape_(tape) {}
  void VirtualKeyState(uint8_t state[256]) override {
    if (tape_.Replays() && tape_.TakeTag('k', "the keyboard")) {
      TakeStateChanges(tape_, tape_.lastKeys, 256);
      std::memcpy(state, tape_.lastKeys, 256);
      return;
    }
    inner_->VirtualKeyState(state);
    if (tape_.Records()) {
      tape_.PutTag('k');
      PutStateChanges(tape_, state, tape_.lastKeys, 256);
    }
  }
  bool ScancodeState(uint8_t* state, int count) override {
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    if (tape_.lastScancodes.size() != n) tape_.lastScancodes.assign(n, '\0');
    auto* last = reinterpret_cast<uint8_t*>(tape_.lastScancodes.data());
    if (tape_.Replays() && tape_.TakeTag('s', "the keys' physical states")) {
      const bool ok = tape_.TakeByte() != 0;
      TakeStateChanges(tape_, last, n);
      if (n) std::memcpy(state, last, n);
      return ok;
    }
    const bool ok = inner_->ScancodeState(state, count);
    if (tape_.Records()) {
      tape_.PutTag('s');
      tape_.PutByte(ok);
      PutStateChanges(tape_, state, last, n);
    }
    return ok;
  }

 private:
  std::unique_ptr<platform::Keyboard> inner_;
  Tape& tape_;
};

// Joystick and gamepad calls share the tag 'j' and a number naming the call.
enum JoyCall : uint8_t {
  kCount,
  kAxisRange,
  kButtonCount,
  kRead,
  kSupportsPeriodic,
  kSupportsRumble,
  kPlayPeriodic,
  kPlayRumble,
  kGamepadCount,
  kReadGamepad,
  kRumbleGamepad
};

class TapeJoysticks : public platform::Joysticks {
 public:
  TapeJoysticks(std::unique_ptr<platform::Joysticks> inner, Tape& tape)
      : inner_(std::move(inner)), tape_(tape) {}
  int Count() override {
    return Number(kCount, [&] { return inner_->Count(); });
  }
  void AxisRange(int index, int& axisMin, int& axisMax) override {
    if (Take(kAxisRange)) {
      axisMin = static_cast<int>(tape_.TakeSigned());
      axisMax = static_cast<int>(tape_.TakeSigned());
      return;
    }
    inner_->AxisRange(index, axisMin, axisMax);
    if (Put(kAxisRange)) {
      tape_.PutSigned(axisMin);
      tape_.PutSigned(axisMax);
    }
  }
  int ButtonCount(int index) override {
    return Number(kButtonCount, [&] { return inner_->ButtonCount(index); });
  }
  bool Read(int index, platform::JoystickState& out) override {
    if (Take(kRead)) {
      const bool ok = tape_.TakeByte() != 0;
      out.axisX = static_cast<int>(tape_.TakeSigned());
      out.axisY = static_cast<int>(tape_.TakeSigned());
      out.axisZ = static_cast<int>(tape_.TakeSigned());
      out.buttons = static_cast<uint32_t>(tape_.TakeUnsigned());
      return ok;
    }
    const bool ok = inner_->Read(index, out);
    if (Put(kRead)) {
      tape_.PutByte(ok);
      tape_.PutSigned(out.axisX);
      tape_.PutSigned(out.axisY);
      tape_.PutSigned(out.axisZ);
      tape_.PutUnsigned(out.buttons);
    }
    return ok;
  }
  bool SupportsPeriodic(int index) override {
    return Number(kSupportsPeriodic, [&] { return inner_->SupportsPeriodic(index); }) != 0;
  }
  bool SupportsRumble(int index) override {
    return Number(kSupportsRumble, [&] { return inner_->SupportsRumble(index); }) != 0;
  }
  // Effects are played only on a live device; their answers (could it?) are the tape's.
  bool PlayPeriodic(int index, const platform::PeriodicEffect& effect) override {
    return Number(kPlayPeriodic, [&] { return inner_->PlayPeriodic(index, effect); }) != 0;
  }
  bool PlayRumble(int index, float strength, uint32_t ms) override {
    return Number(kPlayRumble, [&] { return inner_->PlayRumble(index, strength, ms); }) != 0;
  }
  int GamepadCount() override {
    return Number(kGamepadCount, [&] { return inner_->GamepadCount(); });
  }
  bool ReadGamepad(int index, platform::GamepadState& out) override {
    if (Take(kReadGamepad)) {
      const bool ok = tape_.TakeByte() != 0;
      out.leftX = static_cast<int>(tape_.TakeSigned());
      out.leftY = static_cast<int>(tape_.TakeSigned());
      out.buttons = static_cast<uint32_t>(tape_.TakeUnsigned());
      return ok;
    }
    const bool ok = inner_->ReadGamepad(index, out);
    if (Put(kReadGamepad)) {
      tape_.PutByte(ok);
      tape_.PutSigned(out.leftX);
      tape_.PutSigned(out.leftY);
      tape_.PutUnsigned(out.buttons);
    }
    return ok;
  }
  bool RumbleGamepad(int index, float strength, uint32_t ms) override {
    return Number(kRumbleGamepad, [&] { return inner_->RumbleGamepad(index, strength, ms); }) != 0;
  }

 private:
  // Playing: takes the tag and the call's number; a call of another kind diverges the tape.
  bool Take(JoyCall call) {
    if (!tape_.Replays() || !tape_.TakeTag('j', "a joystick or gamepad")) return false;
    if (tape_.TakeByte() == call) return true;
    tape_.Diverge("the game makes another joystick or gamepad call than the recorded one");
    return false;
  }
  bool Put(JoyCall call) {
    if (!tape_.Records()) return false;
    tape_.PutTag('j');
    tape_.PutByte(call);
    return true;
  }
  template <class Live>
  int Number(JoyCall call, Live live) {
    if (Take(call)) return static_cast<int>(tape_.TakeSigned());
    const int v = static_cast<int>(live());
    if (Put(call)) tape_.PutSigned(v);
    return v;
  }
  std::unique_ptr<platform::Joysticks> inner_;
  Tape& tape_;
};

// The video passes through, but for the focus question (the game reads input only while its
// window has the focus: an answer like any other) and for the frames a watcher paces.
class TapeVideo : public platform::Video {
 public:
  TapeVideo(std::unique_ptr<platform::Video> inner, Tape& tape, std::function<void()> pump)
      : inner_(std::move(inner)), tape_(tape), pump_(std::move(pump)) {}
  void OpenWindow(const std::string& c, int w, int h) override { inner_->OpenWindow(c, w, h); }
  void CloseWindow() override { inner_->CloseWindow(); }
  bool WindowOpen() const override { return inner_->WindowOpen(); }
  void Show() override { inner_->Show(); }
  void Hide() override { inner_->Hide(); }
  void SetCaption(const std::string& utf8) override { inner_->SetCaption(utf8); }
  std::string Caption() const override { return inner_->Caption(); }
  void SetFullScreen(bool on) override { inner_->SetFullScreen(on); }
  bool FullScreen() const override { return inner_->FullScreen(); }
  void SetBorder(bool on) override { inner_->SetBorder(on); }
  void SetCursorVisible(bool on) override { inner_->SetCursorVisible(on); }
  // A replay never takes the watcher's mouse.
  void SetMouseCaptured(bool on) override { inner_->SetMouseCaptured(on && !tape_.Replays()); }
  void SetPosition(int x, int y) override { inner_->SetPosition(x, y); }
  bool IsForeground() const override {
    if (tape_.Replays() && tape_.TakeTag('f', "the window's focus")) return tape_.TakeByte() != 0;
    const bool on = inner_->IsForeground();
    if (tape_.Records()) {
      tape_.PutTag('f');
      tape_.PutByte(on);
    }
    return on;
  }
  std::vector<platform::DisplayMode> Modes() override { return inner_->Modes(); }
  void Present(const platform::FrameView& frame) override {
    TapeWatcher* w = tape_.Replays() ? tape_.watcher : nullptr;
    if (w && !w->ShowFrame()) return;
    inner_->Present(frame);
    if (w) w->FrameShown(pump_);
  }
  void PresentKept(const platform::FrameView& frame, std::shared_ptr<const void> keep) override {
    TapeWatcher* w = tape_.Replays() ? tape_.watcher : nullptr;
    if (w && !w->ShowFrame()) return;
    inner_->PresentKept(frame, std::move(keep));
    if (w) w->FrameShown(pump_);
  }
  int DesktopWidth() const override { return inner_->DesktopWidth(); }
  int DesktopHeight() const override { return inner_->DesktopHeight(); }

 private:
  std::unique_ptr<platform::Video> inner_;
  Tape& tape_;
  std::function<void()> pump_;
};

}  // namespace

void InstallTape(platform::Platform& p, Tape& tape, TapeWatcher* watcher) {
  p.clock = std::make_unique<TapeClock>(std::move(p.clock), tape);
  if (watcher != nullptr) tape.watcher = watcher;
  auto events = std::make_unique<TapeEvents>(std::move(p.events), tape);
  TapeEvents* pump = events.get();
  p.events = std::move(events);
  p.keyboard = std::make_unique<TapeKeyboard>(std::move(p.keyboard), tape);
  p.joysticks = std::make_unique<TapeJoysticks>(std::move(p.joysticks), tape);
  p.video =
      std::make_unique<TapeVideo>(std::move(p.video), tape, [pump] { pump->PumpWindowEvents(); });
}

}  // namespace replay
