// The input tape of a replay: every answer the game read from the platform's clock, events,
// keyboard, joysticks, gamepads and focus, in the order it read them. Decorators of those services
// (InstallTape) write the answers down while recording and give them back while playing, so a game
// played again reads exactly what it read the first time and does exactly what it did.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace replay {

enum class TapeMode {
  Off,        // the decorators pass every call through
  Recording,  // calls pass through and their answers are written down
  Playing,    // the answers come from the tape; the inner services are not asked
};

class TapeWatcher;

class Tape {
 public:
  // Who watches the tape being played in a window (null: nobody; the window's own events are
  // then dropped while the tape plays). Not owned.
  TapeWatcher* watcher = nullptr;
  TapeMode Mode() const { return mode_; }
  // Starts an empty recording.
  void StartRecording();
  // Ends a recording and returns its bytes (uncompressed); the tape is Off afterwards.
  std::string StopRecording();
  // Plays `bytes` (as StopRecording returned them) from their beginning.
  void StartPlaying(std::string bytes);
  // Ends recording or playing without keeping anything.
  void Stop();

  // Frames the game finished since recording or playing began.
  uint32_t Frames() const { return frames_; }
  // True when the frame about to be finished is one whose state hash is kept (every 60th).
  bool HashDue() const { return mode_ != TapeMode::Off && (frames_ + 1) % 60 == 0; }
  // One frame is finished. Every 60th frame the state hash is written (recording) or compared
  // (playing); a hash that differs marks the tape diverged at this frame.
  void FrameDone(uint64_t stateHash);
  // Playing: the game read something the tape does not hold there (another kind of call, the
  // tape's end, a hash that differs). From then on calls pass through to the inner services.
  bool Diverged() const { return diverged_; }
  // The frame at which it diverged, and why (English, for the command line).
  uint32_t DivergedFrame() const { return divergedFrame_; }
  const std::string& DivergedWhy() const { return divergedWhy_; }
  // Playing: every byte of the tape has been read.
  bool AtEnd() const { return pos_ >= bytes_.size(); }

  // ---- used by the decorators
  // True when the next answer must come from the tape (playing and not diverged).
  bool Replays() const { return mode_ == TapeMode::Playing && !diverged_; }
  bool Records() const { return mode_ == TapeMode::Recording; }
  void PutTag(char tag) { bytes_.push_back(tag); }
  void PutByte(uint8_t b) { bytes_.push_back(static_cast<char>(b)); }
  void PutUnsigned(uint64_t v);
  void PutSigned(int64_t v);
  // Reads the tag of the next answer; false (and the tape diverges) when it is another one.
  bool TakeTag(char tag, const char* what);
  // Reads the tag of the next answer when it is one of `tags`; 0 (and the tape diverges) if not.
  char TakeTagOf(const char* tags, const char* what);
  uint8_t TakeByte();
  uint64_t TakeUnsigned();
  int64_t TakeSigned();
  // Playing: marks the tape diverged at this frame for `why` (the first reason is kept).
  void Diverge(const std::string& why);
  // The last clock value and keyboard states, the base of the next change written.
  uint32_t lastClock = 0;
  uint8_t lastKeys[256] = {};
  std::string lastScancodes;

 private:
  void ResetBases();
  TapeMode mode_ = TapeMode::Off;
  std::string bytes_;
  size_t pos_ = 0;
  uint32_t frames_ = 0;
  bool diverged_ = false;
  uint32_t divergedFrame_ = 0;
  std::string divergedWhy_;
};

// Who watches a tape being played in a window: it takes the window's own events (the game reads
// the tape's) and paces the frames shown.
class TapeWatcher {
 public:
  virtual ~TapeWatcher() = default;
  // An event of the window while the tape plays (keys of the player, the close button).
  virtual void WindowEvent(const platform::Event& e) = 0;
  // Before a frame is shown while the tape plays; false skips showing it (fast forward).
  virtual bool ShowFrame() = 0;
  // After a frame was shown while the tape plays (slow motion and pause wait here);
  // `pumpWindowEvents` hands the window's pending events to WindowEvent meanwhile.
  virtual void FrameShown(const std::function<void()>& pumpWindowEvents) = 0;
};

// Wraps the clock, events, keyboard, joysticks and the focus question of `p` in decorators that
// record into or play from `tape`, and its video so that the tape's watcher paces what is shown.
// `tape` must outlive `p`'s services. A `watcher` given here becomes the tape's.
void InstallTape(platform::Platform& p, Tape& tape, TapeWatcher* watcher = nullptr);

}  // namespace replay
