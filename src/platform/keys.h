// Key numbers shared by every layer: the Windows virtual-key codes the game speaks in, and the
// physical key numbers (USB HID usage ids, the numbering SDL uses for its scancodes).
//
// Platform-neutral: no OS header is included. The table at the bottom ties the two together; the
// SDL driver and the headless twin both read it, so a key means the same thing in both.
#pragma once

#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------------------------
// Windows virtual-key codes (letters are 'A'..'Z', digits '0'..'9').
constexpr int VK_BACK = 8;
constexpr int VK_TAB = 9;
constexpr int VK_RETURN = 13;
constexpr int VK_SHIFT = 16;
constexpr int VK_CONTROL = 17;
constexpr int VK_MENU = 18;  // Alt
constexpr int VK_PAUSE = 19;
constexpr int VK_CAPITAL = 20;
constexpr int VK_ESCAPE = 27;
constexpr int VK_SPACE = 32;
constexpr int VK_PRIOR = 33;  // Page Up
constexpr int VK_NEXT = 34;   // Page Down
constexpr int VK_END = 35;
constexpr int VK_HOME = 36;
constexpr int VK_LEFT = 37;
constexpr int VK_UP = 38;
constexpr int VK_RIGHT = 39;
constexpr int VK_DOWN = 40;
constexpr int VK_SNAPSHOT = 44;
constexpr int VK_INSERT = 45;
constexpr int VK_DELETE = 46;
constexpr int VK_0 = '0';
constexpr int VK_9 = '9';
constexpr int VK_A = 'A';
constexpr int VK_Z = 'Z';
constexpr int VK_LWIN = 91;
constexpr int VK_RWIN = 92;
constexpr int VK_APPS = 93;
constexpr int VK_NUMPAD0 = 96;  // VK_NUMPAD0 + n for keypad digit n
constexpr int VK_NUMPAD1 = 97;
constexpr int VK_NUMPAD2 = 98;
constexpr int VK_NUMPAD3 = 99;
constexpr int VK_NUMPAD4 = 100;
constexpr int VK_NUMPAD5 = 101;
constexpr int VK_NUMPAD6 = 102;
constexpr int VK_NUMPAD7 = 103;
constexpr int VK_NUMPAD8 = 104;
constexpr int VK_NUMPAD9 = 105;
constexpr int VK_MULTIPLY = 106;
constexpr int VK_ADD = 107;
constexpr int VK_SUBTRACT = 109;
constexpr int VK_DECIMAL = 110;
constexpr int VK_DIVIDE = 111;
constexpr int VK_F1 = 112;  // VK_F1 + n - 1 for Fn, n = 1..24
constexpr int VK_F12 = 123;
constexpr int VK_NUMLOCK = 144;
constexpr int VK_SCROLL = 145;
constexpr int VK_LSHIFT = 160;
constexpr int VK_RSHIFT = 161;
constexpr int VK_LCONTROL = 162;
constexpr int VK_RCONTROL = 163;
constexpr int VK_LMENU = 164;
constexpr int VK_RMENU = 165;
constexpr int VK_OEM_1 = 186;       // ; :
constexpr int VK_OEM_PLUS = 187;    // = +
constexpr int VK_OEM_COMMA = 188;   // , <
constexpr int VK_OEM_MINUS = 189;   // - _
constexpr int VK_OEM_PERIOD = 190;  // . >
constexpr int VK_OEM_2 = 191;       // / ?
constexpr int VK_OEM_3 = 192;       // ` ~ (grave accent and tilde)
constexpr int VK_OEM_4 = 219;       // [ {
constexpr int VK_OEM_5 = 220;       // \ |
constexpr int VK_OEM_6 = 221;       // ] }
constexpr int VK_OEM_7 = 222;       // ' "

// A gamepad's buttons as key events (the drivers post them; no keyboard produces them).
constexpr int VK_GAMEPAD_A = 195;
constexpr int VK_GAMEPAD_B = 196;
constexpr int VK_GAMEPAD_MENU = 207;  // Start
constexpr int VK_GAMEPAD_VIEW = 208;  // Back

// ---------------------------------------------------------------------------------------------
// Physical key numbers: USB HID usage ids, as SDL numbers its scancodes.
constexpr int SC_COUNT = 512;  // size of a full scancode state array
constexpr int SC_A = 4;        // SC_A + n for the n-th letter, up to SC_Z
constexpr int SC_B = 5;
constexpr int SC_C = 6;
constexpr int SC_D = 7;
constexpr int SC_E = 8;
constexpr int SC_F = 9;
constexpr int SC_G = 10;
constexpr int SC_H = 11;
constexpr int SC_I = 12;
constexpr int SC_J = 13;
constexpr int SC_K = 14;
constexpr int SC_L = 15;
constexpr int SC_M = 16;
constexpr int SC_N = 17;
constexpr int SC_O = 18;
constexpr int SC_P = 19;
constexpr int SC_Q = 20;
constexpr int SC_R = 21;
constexpr int SC_S = 22;
constexpr int SC_T = 23;
constexpr int SC_U = 24;
constexpr int SC_V = 25;
constexpr int SC_W = 26;
constexpr int SC_X = 27;
constexpr int SC_Y = 28;
constexpr int SC_Z = 29;
constexpr int SC_1 = 30;  // SC_1 .. SC_9 are 30..38; SC_0 follows them
constexpr int SC_2 = 31;
constexpr int SC_3 = 32;
constexpr int SC_4 = 33;
constexpr int SC_5 = 34;
constexpr int SC_6 = 35;
constexpr int SC_7 = 36;
constexpr int SC_8 = 37;
constexpr int SC_9 = 38;
constexpr int SC_0 = 39;
constexpr int SC_RETURN = 40;
constexpr int SC_ESCAPE = 41;
constexpr int SC_BACKSPACE = 42;
constexpr int SC_TAB = 43;
constexpr int SC_SPACE = 44;
constexpr int SC_MINUS = 45;
constexpr int SC_EQUALS = 46;
constexpr int SC_LEFTBRACKET = 47;
constexpr int SC_RIGHTBRACKET = 48;
constexpr int SC_BACKSLASH = 49;
constexpr int SC_SEMICOLON = 51;
constexpr int SC_APOSTROPHE = 52;
constexpr int SC_GRAVE = 53;
constexpr int SC_COMMA = 54;
constexpr int SC_PERIOD = 55;
constexpr int SC_SLASH = 56;
constexpr int SC_CAPSLOCK = 57;
constexpr int SC_F1 = 58;  // SC_F1 .. SC_F12 are 58..69
constexpr int SC_F12 = 69;
constexpr int SC_PRINTSCREEN = 70;
constexpr int SC_SCROLLLOCK = 71;
constexpr int SC_PAUSE = 72;
constexpr int SC_INSERT = 73;
constexpr int SC_HOME = 74;
constexpr int SC_PAGEUP = 75;
constexpr int SC_DELETE = 76;
constexpr int SC_END = 77;
constexpr int SC_PAGEDOWN = 78;
constexpr int SC_RIGHT = 79;
constexpr int SC_LEFT = 80;
constexpr int SC_DOWN = 81;
constexpr int SC_UP = 82;
constexpr int SC_NUMLOCK = 83;
constexpr int SC_KP_DIVIDE = 84;
constexpr int SC_KP_MULTIPLY = 85;
constexpr int SC_KP_MINUS = 86;
constexpr int SC_KP_PLUS = 87;
constexpr int SC_KP_ENTER = 88;
constexpr int SC_KP_1 = 89;  // SC_KP_1 .. SC_KP_9 are 89..97; SC_KP_0 follows them
constexpr int SC_KP_2 = 90;
constexpr int SC_KP_3 = 91;
constexpr int SC_KP_4 = 92;
constexpr int SC_KP_5 = 93;
constexpr int SC_KP_6 = 94;
constexpr int SC_KP_7 = 95;
constexpr int SC_KP_8 = 96;
constexpr int SC_KP_9 = 97;
constexpr int SC_KP_0 = 98;
constexpr int SC_KP_PERIOD = 99;
constexpr int SC_APPLICATION = 101;
constexpr int SC_F13 = 104;  // SC_F13 .. SC_F24 are 104..115
constexpr int SC_LCTRL = 224;
constexpr int SC_LSHIFT = 225;
constexpr int SC_LALT = 226;
constexpr int SC_LGUI = 227;
constexpr int SC_RCTRL = 228;
constexpr int SC_RSHIFT = 229;
constexpr int SC_RALT = 230;
constexpr int SC_RGUI = 231;

// ---------------------------------------------------------------------------------------------
// Physical key -> virtual key. `vk` is what GetKeyboardState-style tables and key events carry;
// `sidedVk` is the extra left/right code Windows also reports for Shift, Ctrl and Alt (0 if none).
struct KeyMapping {
  int scancode;
  int vk;
  int sidedVk;
};

// Virtual key of a physical key (US layout positions, keypad digits as VK_NUMPADn); 0 if none.
int VkFromScancode(int scancode);
// The left/right-specific virtual key of a modifier key (VK_LSHIFT...), 0 for other keys.
int SidedVkFromScancode(int scancode);
// The main physical key that produces `vk` (Enter, not keypad Enter; left Shift for VK_SHIFT);
// 0 if no key produces it.
int ScancodeFromVk(int vk);

}  // namespace platform
