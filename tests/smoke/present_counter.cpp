// Counts the frames the game presents, for scripts/cpu_use.sh: loaded with LD_PRELOAD, it stands
// in front of SDL's SDL_RenderPresent and SDL_UpdateWindowSurface (the game presents through one
// or the other), counts each call and passes it on. Every quarter second
// (and at exit) it rewrites the file named by KX_PRESENT_COUNT with the count so far, so a script
// can read the frame rate of a running game without touching the game.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

unsigned long presents = 0;
double lastWrite = 0;

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

void WriteCount() {
  const char* path = std::getenv("KX_PRESENT_COUNT");
  if (path == nullptr) return;
  // Written beside the target and renamed over it, so a reader never sees half a number.
  char tmp[4096];
  std::snprintf(tmp, sizeof tmp, "%s.tmp", path);
  const int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%lu\n", presents);
  const bool ok = n > 0 && write(fd, text, static_cast<size_t>(n)) == n;
  close(fd);
  if (ok) rename(tmp, path);
}

struct AtExit {
  ~AtExit() { WriteCount(); }
} atExit;

}  // namespace

namespace {
void Counted() {
  ++presents;
  const double now = Now();
  if (now - lastWrite >= 0.25) {
    lastWrite = now;
    WriteCount();
  }
}
}  // namespace

extern "C" void SDL_RenderPresent(void* renderer) {
  using Fn = void (*)(void*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
  if (real != nullptr) real(renderer);
  Counted();
}

extern "C" int SDL_UpdateWindowSurface(void* window) {
  using Fn = int (*)(void*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface"));
  const int result = real != nullptr ? real(window) : -1;
  Counted();
  return result;
}
