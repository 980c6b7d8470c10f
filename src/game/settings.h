// The player's settings: sound volumes, the start-up display, the mouse and the language. With
// the defaults below the game behaves as it always has.
#pragma once

#include <string>

struct TSettings {
  int MusicVolume = 100;          // 0..100 %
  bool MusicMuted = false;        // the music is silent (its volume is kept)
  int EffectsVolume = 100;        // 0..100 %
  bool EffectsMuted = false;      // the effects are silent (their volume is kept)
  bool FullScreen = true;         // start in full screen (false: in a window)
  double MouseSensitivity = 1.0;  // paddle pixels per pixel of mouse motion
  std::string Language;           // "ru", "en", or empty: follow the environment
};

// The settings in force, read at start-up.
extern TSettings Settings;
