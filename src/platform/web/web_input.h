// What the page's events mean to the game, free of any browser call: key names to key numbers
// and the address's query. The browser driver uses these; the native tests check them.
#pragma once

#include <string>

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

}  // namespace platform::web
