// Pieces shared by the browser driver's files. Private to src/platform/web/.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "platform/platform.h"

namespace platform::web {

// What the page's callbacks gather between the game's looks: the events in arrival order and the
// keys held now. One instance per platform, shared by its services.
struct PageState {
  std::deque<Event> queue;
  uint8_t scancodes[512] = {};  // physical keys held (bit 7)
  uint8_t vks[256] = {};        // virtual keys held (bit 7)
  bool focused = true;          // the page has the keyboard focus
  bool hidden = false;          // the tab is hidden
  bool cursorVisible = true;
  bool mouseCaptured = false;      // the game wants the pointer (the browser may have let it go)
  int frameW = 800, frameH = 600;  // size of the last presented frame
};

std::unique_ptr<Clock> MakeClock();
std::unique_ptr<Events> MakeEvents(std::shared_ptr<PageState> page);
std::unique_ptr<Keyboard> MakeKeyboard(std::shared_ptr<PageState> page);
std::unique_ptr<Joysticks> MakeJoysticks();
std::unique_ptr<Video> MakeVideo(std::shared_ptr<PageState> page);
std::unique_ptr<Audio> MakeAudio();
// `events` receives MusicFinished; it must outlive the music service.
std::unique_ptr<Music> MakeMusic(Events* events);
std::unique_ptr<Text> MakeText();
std::unique_ptr<Dialogs> MakeDialogs();

// Asks the browser for the pointer lock on the canvas (on) or gives it back; a refusal is quiet.
void LockPointer(bool on);

// Music driver hook: called by the event pump to learn whether the piece reached its end since the
// last call.
bool TakeMusicEnded();

}  // namespace platform::web
