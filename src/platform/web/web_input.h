// What the page's events mean to the game, free of any browser call: key names to key numbers
// and the address's query. The browser driver uses these; the native tests check them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::web {

// The physical key number (USB HID usage, as platform/keys.h numbers them) of a
// KeyboardEvent.code ("KeyA", "Digit1", "ArrowLeft", "Numpad7", "F5"); 0 for a name not known.
int ScancodeFromKeyCode(const char* code);

// The virtual key of a key event: letters by the character the layout gives (`key`, the event's
// KeyboardEvent.key), digits of the main row likewise, everything else (letters of non-Latin
// layouts too) by the physical key `scancode`; 0 if none.
int VkFromKeyEvent(const char* key, int scancode);

// True when the query (without its '?') names `word` as one of its '&'-separated keys, with or
// without a value ("edit", "edit=1", "a&edit").
bool QueryHas(const std::string& query, const std::string& word);

// The value of `word` in the query ("en" for "lang=en" or "edit&lang=en"; the first one counts);
// "" when the query lacks it or gives it no value.
std::string QueryValue(const std::string& query, const std::string& word);

// A gamepad button that acts as a key: its virtual key (VK_GAMEPAD_*) and whether it went down.
struct PadKey {
  int vk = 0;
  bool down = false;
};

// The key events of a gamepad whose buttons (GamepadState::buttons bits) went from `before` to
// `now`: A, B, Start and Back, as the native driver posts them; the other buttons give none.
std::vector<PadKey> PadKeyChanges(uint32_t before, uint32_t now);

}  // namespace platform::web
