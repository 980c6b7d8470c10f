#include "platform/web/web_input.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/keys.h"
#include "platform/platform.h"

namespace platform::web {
namespace {

// KeyboardEvent.code names the physical key the same way on every layout; the table gives its
// USB HID number, the numbering the rest of the platform speaks.
struct CodeName {
  const char* name;
  int scancode;
};
constexpr CodeName kCodes[] = {
    {"Enter", SC_RETURN},
    {"Escape", SC_ESCAPE},
    {"Backspace", SC_BACKSPACE},
    {"Tab", SC_TAB},
    {"Space", SC_SPACE},
    {"Minus", SC_MINUS},
    {"Equal", SC_EQUALS},
    {"BracketLeft", SC_LEFTBRACKET},
    {"BracketRight", SC_RIGHTBRACKET},
    {"Backslash", SC_BACKSLASH},
    {"Semicolon", SC_SEMICOLON},
    {"Quote", SC_APOSTROPHE},
    {"Backquote", SC_GRAVE},
    {"Comma", SC_COMMA},
    {"Period", SC_PERIOD},
    {"Slash", SC_SLASH},
    {"CapsLock", SC_CAPSLOCK},
    {"PrintScreen", SC_PRINTSCREEN},
    {"ScrollLock", SC_SCROLLLOCK},
    {"Pause", SC_PAUSE},
    {"Insert", SC_INSERT},
    {"Home", SC_HOME},
    {"PageUp", SC_PAGEUP},
    {"Delete", SC_DELETE},
    {"End", SC_END},
    {"PageDown", SC_PAGEDOWN},
    {"ArrowRight", SC_RIGHT},
    {"ArrowLeft", SC_LEFT},
    {"ArrowDown", SC_DOWN},
    {"ArrowUp", SC_UP},
    {"NumLock", SC_NUMLOCK},
    {"NumpadDivide", SC_KP_DIVIDE},
    {"NumpadMultiply", SC_KP_MULTIPLY},
    {"NumpadSubtract", SC_KP_MINUS},
    {"NumpadAdd", SC_KP_PLUS},
    {"NumpadEnter", SC_KP_ENTER},
    {"Numpad0", SC_KP_0},
    {"NumpadDecimal", SC_KP_PERIOD},
    {"ContextMenu", SC_APPLICATION},
    {"ControlLeft", SC_LCTRL},
    {"ShiftLeft", SC_LSHIFT},
    {"AltLeft", SC_LALT},
    {"MetaLeft", SC_LGUI},
    {"ControlRight", SC_RCTRL},
    {"ShiftRight", SC_RSHIFT},
    {"AltRight", SC_RALT},
    {"MetaRight", SC_RGUI},
};

}  // namespace

int ScancodeFromKeyCode(const char* code) {
  if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && code[4] == 0) {
    return SC_A + (code[3] - 'A');
  }
  if (std::strncmp(code, "Digit", 5) == 0 && code[5] >= '0' && code[5] <= '9' && code[6] == 0) {
    return code[5] == '0' ? SC_0 : SC_1 + (code[5] - '1');
  }
  if (std::strncmp(code, "Numpad", 6) == 0 && code[6] >= '1' && code[6] <= '9' && code[7] == 0) {
    return SC_KP_1 + (code[6] - '1');
  }
  if (code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
    // The whole rest must be the number: "F1x" is no function key.
    char* end = nullptr;
    const long n = std::strtol(code + 1, &end, 10);
    if (*end != 0) return 0;
    if (n >= 1 && n <= 12) return SC_F1 + static_cast<int>(n) - 1;
    if (n >= 13 && n <= 24) return SC_F13 + static_cast<int>(n) - 13;
  }
  for (const CodeName& c : kCodes) {
    if (std::strcmp(code, c.name) == 0) return c.scancode;
  }
  return 0;
}

int VkFromKeyEvent(const char* key, int scancode) {
  // Letters and digits follow the layout, as Windows virtual keys do; letters of non-Latin
  // layouts and everything else go by position.
  if (key[0] != 0 && key[1] == 0) {
    const char c = key[0];
    if (c >= 'a' && c <= 'z') return VK_A + (c - 'a');
    if (c >= 'A' && c <= 'Z') return VK_A + (c - 'A');
    if (c >= '0' && c <= '9' && scancode >= SC_1 && scancode <= SC_0) return VK_0 + (c - '0');
  }
  return VkFromScancode(scancode);
}

bool QueryHas(const std::string& query, const std::string& word) {
  std::istringstream in(query);
  for (std::string part; std::getline(in, part, '&');) {
    if (part.substr(0, part.find('=')) == word) return true;
  }
  return false;
}

std::string QueryValue(const std::string& query, const std::string& word) {
  std::istringstream in(query);
  for (std::string part; std::getline(in, part, '&');) {
    const auto eq = part.find('=');
    if (part.substr(0, eq) == word) return eq == std::string::npos ? "" : part.substr(eq + 1);
  }
  return "";
}

std::vector<PadKey> PadKeyChanges(uint32_t before, uint32_t now) {
  // Browsers give a gamepad's state only, no button events: the driver compares two readings.
  static constexpr std::pair<GamepadButton, int> kKeys[] = {{kPadA, VK_GAMEPAD_A},
                                                            {kPadB, VK_GAMEPAD_B},
                                                            {kPadStart, VK_GAMEPAD_MENU},
                                                            {kPadBack, VK_GAMEPAD_VIEW}};
  std::vector<PadKey> out;
  for (const auto& [button, vk] : kKeys) {
    const uint32_t bit = 1u << button;
    if ((before ^ now) & bit) out.push_back({vk, (now & bit) != 0});
  }
  return out;
}

}  // namespace platform::web
