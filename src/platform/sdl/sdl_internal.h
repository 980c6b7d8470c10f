// Pieces shared by the SDL driver's files. Private to src/platform/sdl/.
#pragma once

#include <SDL.h>

#include <memory>
#include <mutex>

#include "platform/platform.h"

namespace platform::sdl {

// Holds SDL initialised while any service needs it: the last holder to go shuts SDL down, so the
// order in which the services of a Platform are destroyed does not matter.
class Session {
 public:
  // The live session, or a new one (SDL_Init of events and timer); null when SDL cannot start.
  static std::shared_ptr<Session> Acquire();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Starts an SDL subsystem once; false (with SDL_GetError set) when it cannot start.
  bool Need(uint32_t subsystemFlag);
  // The registered event type carrying events posted through Events::Post.
  uint32_t PostedEventType() const { return postedType_; }

 private:
  Session() = default;
  uint32_t postedType_ = 0;
  uint32_t started_ = 0;
  std::mutex mutex_;
};

// What the window tells the event pump: where the frame sits in the window, for mapping mouse
// coordinates, and which window is ours. Written by the video, read by the events.
struct ViewState {
  uint32_t windowId = 0;
  int frameW = 800, frameH = 600;  // size of the last presented frame
  SDL_Rect dst{0, 0, 800, 600};    // where it was drawn, in renderer output pixels
  float outputScale = 1.0f;        // renderer output pixels per window coordinate
};

std::unique_ptr<Clock> MakeClock(std::shared_ptr<Session> s);
std::unique_ptr<Events> MakeEvents(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view);
std::unique_ptr<Video> MakeVideo(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view);
std::unique_ptr<Keyboard> MakeKeyboard(std::shared_ptr<Session> s);
std::unique_ptr<Joysticks> MakeJoysticks(std::shared_ptr<Session> s);
std::unique_ptr<Audio> MakeAudio(std::shared_ptr<Session> s);
// `events` receives MusicFinished; it must outlive the music service.
std::unique_ptr<Music> MakeMusic(std::shared_ptr<Session> s, Events* events);
std::unique_ptr<Dialogs> MakeDialogs(std::shared_ptr<Session> s);

}  // namespace platform::sdl
