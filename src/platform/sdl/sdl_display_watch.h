// A lost X display ends the process at once with a message and status 1. Private to
// src/platform/sdl/; includes no X header (Xlib's macros would clash with the platform's names).
#pragma once

struct SDL_Window;

namespace platform::sdl {

// Sets Xlib's handler of a broken connection (call once the X11 driver runs; nothing elsewhere).
void WatchTheXConnection();
// Also watches the connection of `window`'s X display from a thread of its own (nothing when the
// window is on no X display).
void WatchTheWindowsDisplay(SDL_Window* window);
// Turns the watch off before the game closes its display on purpose.
void StopWatchingTheDisplay();

}  // namespace platform::sdl
