// KobalTix: the program starts here. It installs the SDL platform and runs the game's windows.
#include <cstdio>

#include "game/main_form.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/stop_signals.h"

int main() {
  platform::EndOnStopSignals();
  auto sdl = platform::sdl::Make();
  if (!sdl) {
    std::fprintf(stderr, "kobaltix: the display system could not be started\n");
    return 1;
  }
  platform::Install(std::move(sdl));
  int status = RunGame();
  platform::Uninstall();
  return status;
}
