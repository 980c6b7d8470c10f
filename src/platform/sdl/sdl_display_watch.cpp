// Ending the game at once when its X display goes away. Xlib's own handler of a broken connection
// calls exit(), whose exit handlers close the window on the dead connection and can wait in the
// X event reader for good; and a game busy between two looks at its events would notice late.
// The game sets its own handler and also watches the connection from a thread of its own: either
// writes why the game ends and ends it with _exit(1), so nothing torn down at exit talks to the
// dead display. Nothing needs saving on the way: the record table and the level files are only
// ever replaced whole by a rename, so what was saved is whole and what was not is as before.
//
// Xlib is the library SDL loaded for its X11 driver; its functions are looked up among the loaded
// libraries, so the game links no X library of its own.
#include "platform/sdl/sdl_display_watch.h"

#include <SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace platform::sdl {
namespace {

using DisplayStringFn = char* (*)(void*);
using ConnectionNumberFn = int (*)(void*);
DisplayStringFn gDisplayString = nullptr;
// While true, a hang-up of the watched connection means the display went away (the game closing
// its own display clears it first).
std::atomic<bool> gWatching{false};

[[noreturn]] void EndForLostDisplay(void* display) {
  const char* name = gDisplayString != nullptr && display != nullptr ? gDisplayString(display) : "";
  char message[512];
  const int n = std::snprintf(message, sizeof message,
                              "kobaltix: the connection to the display \"%s\" was lost; the game "
                              "ends\n",
                              name != nullptr ? name : "");
  if (n > 0) (void)!::write(2, message, static_cast<size_t>(std::min<int>(n, sizeof message - 1)));
  ::_exit(1);
}

// Xlib's handler of a broken connection: it must not return (Xlib would then exit).
int OnBrokenConnection(void* display) { EndForLostDisplay(display); }

void* LoadedXlib() { return ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD); }

}  // namespace

void WatchTheXConnection() {
  void* x11 = LoadedXlib();
  if (x11 == nullptr) return;
  using Handler = int (*)(void*);
  using SetHandler = Handler (*)(Handler);
  auto set = reinterpret_cast<SetHandler>(::dlsym(x11, "XSetIOErrorHandler"));
  gDisplayString = reinterpret_cast<DisplayStringFn>(::dlsym(x11, "XDisplayString"));
  if (set != nullptr) set(&OnBrokenConnection);
  // The handle is kept: the library stays loaded as long as SDL uses it anyway.
}

void WatchTheWindowsDisplay(SDL_Window* window) {
  static std::once_flag started;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 ||
      info.info.x11.display == nullptr)
    return;
  void* x11 = LoadedXlib();
  auto connection =
      x11 ? reinterpret_cast<ConnectionNumberFn>(::dlsym(x11, "XConnectionNumber")) : nullptr;
  if (connection == nullptr) return;
  void* display = info.info.x11.display;
  const int fd = connection(display);
  if (fd < 0) return;
  gWatching = true;
  // One display connection for the process's life: one watcher. It asks only for the hang-up, so
  // it never takes the events the game reads from the same connection.
  std::call_once(started, [display, fd] {
    std::thread([display, fd] {
      for (;;) {
        pollfd p{fd, POLLRDHUP, 0};
        const int n = ::poll(&p, 1, -1);
        if (n < 0) continue;                      // a signal
        if ((p.revents & POLLNVAL) != 0) return;  // the game closed its display itself
        if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
          if (gWatching) EndForLostDisplay(display);
          return;
        }
      }
    }).detach();
  });
}

void StopWatchingTheDisplay() { gWatching = false; }

}  // namespace platform::sdl
