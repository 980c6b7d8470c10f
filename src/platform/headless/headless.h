// The headless twin of the platform: everything the game asks of the OS, driven by the tests.
//
// The clock only moves when a test moves it, keys and joysticks are scripted, frames, sounds,
// music commands, force-feedback effects and message boxes are recorded for inspection. Text is
// rasterised by the real font rasteriser, so tests can look at real glyph pixels.
//
//   auto hl = platform::headless::Install();
//   hl.keyboard->Press(platform::VK_LEFT);
//   hl.clock->Advance(16);
//   ... run a frame ...
//   EXPECT_EQ(hl.video->PixelRGB(10, 10), 0xFF0000u);
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "platform/platform.h"

namespace platform::headless {

// ---------------------------------------------------------------------------------------------
class HeadlessClock : public Clock {
 public:
  // Sets the millisecond counter.
  void Set(uint32_t ms) { now_ = ms; }
  // Moves the counter forward by `ms` (wrapping around like the real 32-bit counter).
  void Advance(uint32_t ms) { now_ += ms; }
  // Total of every SleepMs request so far (pacing tests read it).
  uint64_t SleptMs() const { return slept_; }
  // Number of SleepMs calls so far.
  int SleepCalls() const { return sleepCalls_; }

  // The counter as last set or advanced.
  uint32_t Milliseconds() override { return now_; }
  // Records the request and returns at once; the clock does not move.
  void SleepMs(uint32_t ms) override {
    slept_ += ms;
    ++sleepCalls_;
  }

 private:
  uint32_t now_ = 0;
  uint64_t slept_ = 0;
  int sleepCalls_ = 0;
};

// ---------------------------------------------------------------------------------------------
class HeadlessEvents : public Events {
 public:
  // Appends an event to the queue (same as Post).
  void Push(const Event& e) { Post(e); }
  // Convenience: queues KeyDown of `vk` with the given modifiers.
  void PushKeyDown(int vk, bool alt = false, bool shift = false, bool ctrl = false);
  // Convenience: queues KeyUp of `vk`.
  void PushKeyUp(int vk);
  // Convenience: queues one Char event per UTF-32 character of `utf8`.
  void PushText(const std::string& utf8);
  // Number of events waiting.
  size_t Pending() const;
  // Drops every waiting event.
  void Clear();

  // Takes the oldest event; false when none is waiting.
  bool Poll(Event& e) override;
  // Same as Poll: the twin never waits.
  bool Wait(Event& e, uint32_t timeoutMs) override;
  // Appends an event; thread-safe.
  void Post(const Event& e) override;

 private:
  mutable std::mutex mutex_;
  std::deque<Event> queue_;
};

// ---------------------------------------------------------------------------------------------
// A copy of a presented frame.
struct CapturedFrame {
  int width = 0;
  int height = 0;
  int bitCount = 0;             // 16 (RGB565) or 32 (XRGB8888)
  int pitch = 0;                // bytes per row of `pixels`
  std::vector<uint8_t> pixels;  // height * pitch bytes
};

class HeadlessVideo : public Video {
 public:
  HeadlessVideo();

  // Number of Present calls so far.
  int FrameCount() const { return frameCount_; }
  // Called after every Present with the frame just captured (tests watch frames made while the
  // program does not return to its loop, such as the loading window's progress).
  std::function<void(const HeadlessVideo&)> OnPresent;
  // The last presented frame (empty before the first Present).
  const CapturedFrame& LastFrame() const;
  // Pixel (x, y) of the last frame as RGB565 (32-bit frames are reduced); 0 when out of range.
  uint16_t Pixel565(int x, int y) const;
  // Pixel (x, y) of the last frame as 0x00RRGGBB (565 widened by bit replication); 0 when out
  // of range.
  uint32_t PixelRGB(int x, int y) const;
  // Forgets the captured frames (FrameCount back to 0).
  void ClearFrames();

  // Whether the window holds the focus (IsForeground); default true.
  void SetForeground(bool on) { foreground_ = on; }
  // Replaces the list Modes() returns.
  void SetModes(std::vector<DisplayMode> modes) { modes_ = std::move(modes); }
  // Window state as last set by the game.
  bool Border() const { return border_; }
  bool CursorVisible() const { return cursor_; }
  bool Shown() const { return shown_; }
  int PositionX() const { return posX_; }
  int PositionY() const { return posY_; }
  int ClientWidth() const { return clientW_; }
  int ClientHeight() const { return clientH_; }
  // Number of OpenWindow calls so far.
  int OpenCount() const { return openCount_; }

  void OpenWindow(const std::string& captionUtf8, int w, int h) override;
  void CloseWindow() override;
  bool WindowOpen() const override { return open_; }
  void Show() override { shown_ = true; }
  void Hide() override { shown_ = false; }
  void SetCaption(const std::string& utf8) override { caption_ = utf8; }
  std::string Caption() const override { return caption_; }
  void SetFullScreen(bool on) override { fullScreen_ = on; }
  bool FullScreen() const override { return fullScreen_; }
  void SetBorder(bool on) override { border_ = on; }
  void SetCursorVisible(bool on) override { cursor_ = on; }
  // Records the capture; MouseCaptured() reads it back.
  void SetMouseCaptured(bool on) override { captured_ = on; }
  bool MouseCaptured() const { return captured_; }
  void SetPosition(int x, int y) override {
    posX_ = x;
    posY_ = y;
  }
  bool IsForeground() const override { return foreground_; }
  std::vector<DisplayMode> Modes() override { return modes_; }
  // Copies the frame and counts it; never sleeps.
  void Present(const FrameView& frame) override;
  // Counts the frame and holds `keep`; the copy is made when the frame is first looked at.
  void PresentKept(const FrameView& frame, std::shared_ptr<const void> keep) override;
  int DesktopWidth() const override { return 1920; }
  int DesktopHeight() const override { return 1080; }

 private:
  void Capture(const FrameView& frame) const;

  int frameCount_ = 0;
  mutable CapturedFrame last_;
  mutable FrameView held_;  // a kept frame not copied into last_ yet (pixels null when none)
  mutable std::shared_ptr<const void> heldKeep_;  // what keeps held_'s pixels unchanged
  std::vector<DisplayMode> modes_;
  std::string caption_;
  bool open_ = false, shown_ = false, fullScreen_ = false, border_ = true, cursor_ = true;
  bool foreground_ = true, captured_ = false;
  int posX_ = 0, posY_ = 0, clientW_ = 0, clientH_ = 0, openCount_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Keys are held as physical keys where one produces the virtual key, so both state tables agree
// the way a real keyboard's do (Shift also sets VK_LSHIFT, keypad Enter also sets VK_RETURN).
class HeadlessKeyboard : public Keyboard {
 public:
  // Holds the key that produces virtual key `vk` (its main physical key when there is one).
  void Press(int vk);
  // Lets go of every key producing `vk`.
  void Release(int vk);
  // Lets go of every key.
  void ReleaseAll();
  // Holds physical key `sc` (and so its virtual key).
  void PressScancode(int sc);
  void ReleaseScancode(int sc);
  // Makes ScancodeState fail (a lost device) until cleared.
  void SetReadFails(bool fails) { readFails_ = fails; }
  // Makes only the next `n` ScancodeState calls fail (a device lost, then re-acquired).
  void FailNextReads(int n) { failNext_ = n; }

  void VirtualKeyState(uint8_t state[256]) override;
  // Copies min(count, SC_COUNT) bytes (the rest zeroed); false when SetReadFails(true).
  bool ScancodeState(uint8_t* state, int count) override;

 private:
  std::set<int> scancodes_;  // physical keys held
  std::set<int> vkOnly_;     // virtual keys held that no physical key produces
  bool readFails_ = false;
  int failNext_ = 0;
};

// ---------------------------------------------------------------------------------------------
// A scripted joystick.
struct JoystickSpec {
  int buttons = 4;
  int axisMin = -32768;
  int axisMax = 32767;
  bool periodic = false;  // force feedback with periodic effects
  bool rumble = false;    // simple rumble only
};

// An effect a joystick was asked to play.
struct PlayedEffect {
  int index = 0;          // joystick index at the time
  bool periodic = true;   // PlayPeriodic (true) or PlayRumble (false)
  PeriodicEffect effect;  // PlayPeriodic's arguments
  float strength = 0;     // PlayRumble's arguments
  uint32_t ms = 0;
  uint32_t time = 0;     // clock time of the call
  bool gamepad = false;  // RumbleGamepad (index is then the gamepad's)
};

class HeadlessJoysticks : public Joysticks {
 public:
  HeadlessJoysticks(HeadlessClock* clock, HeadlessEvents* events)
      : clock_(clock), events_(events) {}

  // Appends a joystick; returns its index. Posts JoystickChanged.
  int Plug(const JoystickSpec& desc = {});
  // Removes joystick `i` (later ones move down one index). Posts JoystickChanged.
  void Unplug(int i);
  // Sets the raw axis positions of joystick `i`.
  void SetAxes(int i, int x, int y, int z = 0);
  // Sets the buttons held on joystick `i` (bit n = button n).
  void SetButtons(int i, uint32_t mask);
  // Appends a gamepad (with or without rumble); returns its index. Posts GamepadChanged.
  int PlugGamepad(bool rumble = true);
  // Removes gamepad `i` (later ones move down one index). Posts GamepadChanged.
  void UnplugGamepad(int i);
  // Sets what gamepad `i` holds; every button of A, B, Start and Back that goes down or up
  // posts KeyDown/KeyUp of VK_GAMEPAD_A, _B, _MENU or _VIEW, as the real driver does.
  void SetGamepad(int i, const GamepadState& state);
  // Every effect played so far, in order.
  const std::vector<PlayedEffect>& Effects() const { return effects_; }
  void ClearEffects() { effects_.clear(); }

  int Count() override { return static_cast<int>(pads_.size()); }
  void AxisRange(int index, int& axisMin, int& axisMax) override;
  int ButtonCount(int index) override;
  bool Read(int index, JoystickState& out) override;
  bool SupportsPeriodic(int index) override;
  bool SupportsRumble(int index) override;
  // Recorded when the joystick supports periodic effects; false otherwise.
  bool PlayPeriodic(int index, const PeriodicEffect& effect) override;
  // Recorded when the joystick supports periodic effects or rumble; false otherwise.
  bool PlayRumble(int index, float strength, uint32_t ms) override;
  int GamepadCount() override { return static_cast<int>(gamepads_.size()); }
  bool ReadGamepad(int index, GamepadState& out) override;
  // Recorded (gamepad = true) when the gamepad has rumble; false otherwise.
  bool RumbleGamepad(int index, float strength, uint32_t ms) override;

 private:
  struct Gamepad {
    bool rumble = true;
    GamepadState state;
  };
  struct Pad {
    JoystickSpec desc;
    JoystickState state;
  };
  bool Valid(int i) const { return i >= 0 && i < static_cast<int>(pads_.size()); }
  HeadlessClock* clock_;
  HeadlessEvents* events_;
  std::vector<Pad> pads_;
  std::vector<Gamepad> gamepads_;
  std::vector<PlayedEffect> effects_;
};

// ---------------------------------------------------------------------------------------------
// A PlayChunk call that got a channel.
struct ChunkPlay {
  ChunkId chunk = 0;
  int channel = -1;
  uint32_t time = 0;  // clock time of the call
  bool looped = false;
};

class HeadlessAudio : public Audio {
 public:
  explicit HeadlessAudio(HeadlessClock* clock) : clock_(clock) {}

  // Whether a device exists (default true); when false Open fails and everything is silent.
  void SetDeviceAvailable(bool on) { available_ = on; }
  // Every successful PlayChunk, in order.
  const std::vector<ChunkPlay>& Plays() const { return plays_; }
  void ClearPlays() { plays_.clear(); }
  // Format, size and play time of a loaded chunk (false when `chunk` is not loaded).
  bool ChunkInfo(ChunkId chunk, PcmFormat& format, size_t& bytes, uint32_t& durationMs) const;
  // Number of chunks loaded and not freed.
  int ChunkCount() const;
  // Volume last set on `channel` (128 initially).
  int ChannelVolume(int channel) const;
  // Channels the mixer has now: kMixerChannels after Open, more once every one was busy.
  int ChannelCount() const { return static_cast<int>(channels_.size()); }

  // Fails when the device is unavailable.
  bool Open() override;
  // Stops every channel and frees every chunk.
  void Close() override;
  bool IsOpen() const override { return open_; }
  // 0 when closed or the format is not 8/16-bit PCM with channels and rate above zero.
  ChunkId LoadChunk(const PcmFormat& format, const void* data, size_t bytes) override;
  // Stops the channels playing `chunk`, then forgets it.
  void FreeChunk(ChunkId chunk) override;
  // Lowest free channel, growing and taking over channels as Audio::PlayChunk says; -1 when
  // closed or `chunk` is unknown.
  int PlayChunk(ChunkId chunk, bool looped) override;
  void StopChannel(int channel) override;
  // True until the clock passes the start + the chunk's length; forever when looped.
  bool ChannelPlaying(int channel) override;
  void SetChannelVolume(int channel, int volume0to128) override;

 private:
  struct Chunk {
    PcmFormat format;
    size_t bytes = 0;
    uint32_t durationMs = 0;
  };
  struct Channel {
    bool active = false;
    ChunkId chunk = 0;
    uint32_t start = 0;
    uint32_t durationMs = 0;
    bool looped = false;
    int volume = 128;
    uint64_t order = 0;  // when it was started, in play order
  };
  // Starts `chunk` on channel `i`.
  int Start(int i, ChunkId chunk, uint32_t durationMs, bool looped);
  HeadlessClock* clock_;
  bool available_ = true;
  bool open_ = false;
  ChunkId nextId_ = 1;
  std::vector<std::pair<ChunkId, Chunk>> chunks_;
  std::vector<Channel> channels_;
  uint64_t playCount_ = 0;
  std::vector<ChunkPlay> plays_;
};

// ---------------------------------------------------------------------------------------------
class HeadlessMusic : public Music {
 public:
  HeadlessMusic(HeadlessClock* clock, HeadlessEvents* events) : clock_(clock), events_(events) {}

  // Every call so far, one line each: "Open <path>", "Play <ms>", "Stop", "Close"
  // (failed calls are logged too, with " failed" appended).
  const std::vector<std::string>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }
  // The length LengthMs reports for the files opened from now on (default 180000).
  void SetLengthMs(uint32_t ms) { length_ = ms; }
  // The piece reaches its end: stops playing and posts MusicFinished.
  void Finish();
  // Path of the open file ("" when none).
  const std::string& OpenPath() const { return path_; }
  // The volume last set (128 until SetVolume is called); not logged.
  int Volume() const { return volume_; }

  // Fails with an error text when the file does not exist.
  bool Open(const std::string& path, std::string& error) override;
  void Close() override;
  bool IsOpenFile() const override { return !path_.empty(); }
  // Fails when no file is open.
  bool Play(uint32_t positionMs, std::string& error) override;
  void Stop() override;
  bool Playing() const override { return playing_; }
  uint32_t LengthMs() const override { return path_.empty() ? 0 : length_; }
  // Start position + clock time since Play while playing (capped at the length).
  uint32_t PositionMs() const override;
  void SetVolume(int volume0to128) override { volume_ = std::clamp(volume0to128, 0, 128); }

 private:
  HeadlessClock* clock_;
  HeadlessEvents* events_;
  int volume_ = 128;
  std::vector<std::string> log_;
  std::string path_;
  uint32_t length_ = 180000;
  bool playing_ = false;
  uint32_t startPos_ = 0, startTime_ = 0, stoppedPos_ = 0;
};

// ---------------------------------------------------------------------------------------------
struct ShownMessage {
  std::string title;
  std::string text;
};

class HeadlessDialogs : public Dialogs {
 public:
  // Every message box shown so far, in order.
  const std::vector<ShownMessage>& Messages() const { return messages_; }
  void Clear() { messages_.clear(); }
  // Records the box; writes nothing anywhere.
  void MessageBox(const std::string& titleUtf8, const std::string& textUtf8) override {
    messages_.push_back({titleUtf8, textUtf8});
  }

 private:
  std::vector<ShownMessage> messages_;
};

// ---------------------------------------------------------------------------------------------
// The parts of an installed headless platform (owned by the installed platform::Platform).
struct Handles {
  HeadlessClock* clock = nullptr;
  HeadlessEvents* events = nullptr;
  HeadlessVideo* video = nullptr;
  HeadlessKeyboard* keyboard = nullptr;
  HeadlessJoysticks* joysticks = nullptr;
  HeadlessAudio* audio = nullptr;
  HeadlessMusic* music = nullptr;
  HeadlessDialogs* dialogs = nullptr;
  Text* text = nullptr;  // the real rasteriser
};

// Builds a fresh headless platform (with the real text rasteriser), installs it with
// platform::Install and returns its parts. platform::Uninstall() removes it.
Handles Install();

}  // namespace platform::headless
