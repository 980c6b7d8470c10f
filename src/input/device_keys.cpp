#include "input/device_keys.h"

#include <array>

#include "platform/keys.h"

namespace dxinput {
namespace {

using namespace platform;

// The device layer numbers keys by position and translates them with its own table, which is not
// the window system's: a few punctuation keys come out as their character codes, and some of
// those collide with virtual keys of other keys (apostrophe = Right arrow, full stop = Delete,
// left bracket = left Windows key). Players' key tables were made against that behaviour, so it
// is kept as is. The main-block minus and the grave accent have no entry at all.
constexpr std::array<int, SC_COUNT> BuildTable() {
  std::array<int, SC_COUNT> t{};
  for (int i = 0; i < 26; ++i) t[SC_A + i] = 'A' + i;
  for (int i = 0; i < 9; ++i) t[SC_1 + i] = '1' + i;
  t[SC_0] = '0';
  for (int i = 0; i < 12; ++i) t[SC_F1 + i] = VK_F1 + i;
  t[SC_ESCAPE] = VK_ESCAPE;
  t[SC_BACKSPACE] = VK_BACK;
  t[SC_TAB] = VK_TAB;
  t[SC_RETURN] = VK_RETURN;
  t[SC_KP_ENTER] = VK_RETURN;
  t[SC_SPACE] = VK_SPACE;
  t[SC_LSHIFT] = VK_SHIFT;
  t[SC_RSHIFT] = VK_SHIFT;
  t[SC_LCTRL] = VK_CONTROL;
  t[SC_RCTRL] = VK_CONTROL;
  t[SC_LALT] = VK_MENU;
  t[SC_RALT] = VK_MENU;
  t[SC_CAPSLOCK] = VK_CAPITAL;
  t[SC_NUMLOCK] = VK_NUMLOCK;
  t[SC_SCROLLLOCK] = VK_SCROLL;
  for (int i = 0; i < 9; ++i) t[SC_KP_1 + i] = VK_NUMPAD1 + i;
  t[SC_KP_0] = VK_NUMPAD0;
  t[SC_KP_PERIOD] = VK_DECIMAL;
  t[SC_KP_PLUS] = VK_ADD;
  t[SC_KP_MINUS] = VK_SUBTRACT;
  t[SC_KP_DIVIDE] = VK_DIVIDE;
  t[SC_LEFT] = VK_LEFT;
  t[SC_RIGHT] = VK_RIGHT;
  t[SC_UP] = VK_UP;
  t[SC_DOWN] = VK_DOWN;
  t[SC_HOME] = VK_HOME;
  t[SC_END] = VK_END;
  t[SC_PAGEUP] = VK_PRIOR;
  t[SC_PAGEDOWN] = VK_NEXT;
  t[SC_INSERT] = VK_INSERT;
  t[SC_DELETE] = VK_DELETE;
  t[SC_LGUI] = VK_LWIN;
  t[SC_RGUI] = VK_RWIN;
  t[SC_APPLICATION] = VK_APPS;
  // Character codes rather than virtual keys.
  t[SC_EQUALS] = '=';
  t[SC_LEFTBRACKET] = '[';
  t[SC_RIGHTBRACKET] = ']';
  t[SC_SEMICOLON] = ';';
  t[SC_APOSTROPHE] = '\'';
  t[SC_BACKSLASH] = '\\';
  t[SC_COMMA] = ',';
  t[SC_PERIOD] = '.';
  t[SC_SLASH] = '/';
  t[SC_KP_MULTIPLY] = '*';
  return t;
}

constexpr std::array<int, SC_COUNT> kTable = BuildTable();

}  // namespace

int VkFromDeviceKey(int scancode) {
  if (scancode < 0 || scancode >= SC_COUNT) return 0;
  return kTable[scancode];
}

}  // namespace dxinput
