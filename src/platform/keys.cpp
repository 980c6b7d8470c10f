#include "platform/keys.h"

#include <array>

namespace platform {
namespace {

// One row per physical key the game or its windows can see. The first row naming a virtual key is
// its main key (ScancodeFromVk), which is why Enter comes before keypad Enter.
constexpr KeyMapping kKeys[] = {
    {SC_RETURN, VK_RETURN, 0},
    {SC_ESCAPE, VK_ESCAPE, 0},
    {SC_BACKSPACE, VK_BACK, 0},
    {SC_TAB, VK_TAB, 0},
    {SC_SPACE, VK_SPACE, 0},
    {SC_MINUS, VK_OEM_MINUS, 0},
    {SC_EQUALS, VK_OEM_PLUS, 0},
    {SC_LEFTBRACKET, VK_OEM_4, 0},
    {SC_RIGHTBRACKET, VK_OEM_6, 0},
    {SC_BACKSLASH, VK_OEM_5, 0},
    {SC_SEMICOLON, VK_OEM_1, 0},
    {SC_APOSTROPHE, VK_OEM_7, 0},
    {SC_GRAVE, VK_OEM_3, 0},
    {SC_COMMA, VK_OEM_COMMA, 0},
    {SC_PERIOD, VK_OEM_PERIOD, 0},
    {SC_SLASH, VK_OEM_2, 0},
    {SC_CAPSLOCK, VK_CAPITAL, 0},
    {SC_PRINTSCREEN, VK_SNAPSHOT, 0},
    {SC_SCROLLLOCK, VK_SCROLL, 0},
    {SC_PAUSE, VK_PAUSE, 0},
    {SC_INSERT, VK_INSERT, 0},
    {SC_HOME, VK_HOME, 0},
    {SC_PAGEUP, VK_PRIOR, 0},
    {SC_DELETE, VK_DELETE, 0},
    {SC_END, VK_END, 0},
    {SC_PAGEDOWN, VK_NEXT, 0},
    {SC_RIGHT, VK_RIGHT, 0},
    {SC_LEFT, VK_LEFT, 0},
    {SC_DOWN, VK_DOWN, 0},
    {SC_UP, VK_UP, 0},
    {SC_NUMLOCK, VK_NUMLOCK, 0},
    {SC_KP_DIVIDE, VK_DIVIDE, 0},
    {SC_KP_MULTIPLY, VK_MULTIPLY, 0},
    {SC_KP_MINUS, VK_SUBTRACT, 0},
    {SC_KP_PLUS, VK_ADD, 0},
    {SC_KP_ENTER, VK_RETURN, 0},
    {SC_KP_PERIOD, VK_DECIMAL, 0},
    {SC_APPLICATION, VK_APPS, 0},
    {SC_LCTRL, VK_CONTROL, VK_LCONTROL},
    {SC_LSHIFT, VK_SHIFT, VK_LSHIFT},
    {SC_LALT, VK_MENU, VK_LMENU},
    {SC_LGUI, VK_LWIN, 0},
    {SC_RCTRL, VK_CONTROL, VK_RCONTROL},
    {SC_RSHIFT, VK_SHIFT, VK_RSHIFT},
    {SC_RALT, VK_MENU, VK_RMENU},
    {SC_RGUI, VK_RWIN, 0},
};

struct Tables {
  std::array<int, SC_COUNT> vk{};
  std::array<int, SC_COUNT> sided{};
  std::array<int, 256> sc{};
};

// Built once: the regular runs (letters, digits, keypad, F-keys) plus the rows above.
const Tables& Get() {
  static const Tables t = [] {
    Tables t;
    auto add = [&t](int sc, int vk, int sided) {
      t.vk[sc] = vk;
      t.sided[sc] = sided;
      if (t.sc[vk] == 0) t.sc[vk] = sc;
      if (sided != 0 && t.sc[sided] == 0) t.sc[sided] = sc;
    };
    for (int i = 0; i < 26; ++i) add(SC_A + i, VK_A + i, 0);
    for (int i = 1; i <= 9; ++i) add(SC_1 + i - 1, VK_0 + i, 0);
    add(SC_0, VK_0, 0);
    for (int i = 0; i < 12; ++i) add(SC_F1 + i, VK_F1 + i, 0);
    for (int i = 0; i < 12; ++i) add(SC_F13 + i, VK_F1 + 12 + i, 0);
    for (const KeyMapping& k : kKeys) add(k.scancode, k.vk, k.sidedVk);
    for (int i = 1; i <= 9; ++i) add(SC_KP_1 + i - 1, VK_NUMPAD0 + i, 0);
    add(SC_KP_0, VK_NUMPAD0, 0);
    return t;
  }();
  return t;
}

}  // namespace

int VkFromScancode(int scancode) {
  return scancode >= 0 && scancode < SC_COUNT ? Get().vk[scancode] : 0;
}

int SidedVkFromScancode(int scancode) {
  return scancode >= 0 && scancode < SC_COUNT ? Get().sided[scancode] : 0;
}

int ScancodeFromVk(int vk) { return vk > 0 && vk < 256 ? Get().sc[vk] : 0; }

}  // namespace platform
