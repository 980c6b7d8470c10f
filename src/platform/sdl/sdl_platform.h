// The SDL2 driver of the platform (SDL2, SDL2_mixer, SDL2_ttf + fontconfig, libjpeg elsewhere).
// This header includes no SDL header, so the program's start-up code can use it freely.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace platform::sdl {

// Builds the full SDL platform: clock, events, window, keyboard, joysticks, mixer, music, text
// and message boxes. Null (with the video system's reason on standard error) when SDL cannot
// start or there is no display to show the game on: the drivers that draw nowhere are only used
// when SDL_VIDEODRIVER names them. Other subsystems that cannot start (no audio device, no
// joystick support) leave their service in a harmless do-nothing state. On X11, a connection to
// the display that breaks later ends the process at once with a message and status 1.
std::unique_ptr<Platform> Make();

// The text rasteriser alone (SDL_ttf + fontconfig); needs no SDL video, usable by tests and
// tools.
std::unique_ptr<Text> MakeText();

// The Windows virtual-key code for an SDL key (keycode and scancode of a key event): letters and
// digits by the character the layout gives, everything else by the physical key; 0 if none.
int VkFromSdlKey(int32_t keycode, int scancode);

// A virtual gamepad that SDL's game-controller layer reads as a real one (tests of this driver
// without a device). Attached with nothing held; returns its id, or -1 when SDL cannot make one.
int AttachVirtualGamepad();
// Holds (true) or lets go of GamepadButton `button` on virtual gamepad `id`.
void SetVirtualGamepadButton(int id, int button, bool down);
// Sets the left stick of virtual gamepad `id` (-32768 .. 32767, y growing downwards).
void SetVirtualGamepadStick(int id, int x, int y);
// Pulls virtual gamepad `id` out.
void DetachVirtualGamepad(int id);

}  // namespace platform::sdl
