#include <SDL.h>

#include "platform/keys.h"
#include "platform/sdl/sdl_platform.h"

namespace platform::sdl {

int VkFromSdlKey(int32_t keycode, int scancode) {
  // Letters and digits follow the layout, as Windows virtual keys do (AZERTY's A key is VK 'A').
  if (keycode >= SDLK_a && keycode <= SDLK_z) return VK_A + (keycode - SDLK_a);
  if (keycode >= SDLK_0 && keycode <= SDLK_9) return VK_0 + (keycode - SDLK_0);
  // Everything else, and letters of non-Latin layouts (a Russian layout still reports VK 'A'..'Z'
  // on Windows), by position.
  return VkFromScancode(scancode);
}

}  // namespace platform::sdl
