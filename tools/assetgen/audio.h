// The game's sounds, synthesised: the four effects carried in the program and the looping
// background music of the data directory.
#pragma once

#include "formats.h"

namespace gen {

// Complete RIFF WAVE files in the formats the game's wave list holds.
Bytes SoundBrickBreak();   // "snd": 16-bit, 11025 Hz, 20-byte format chunk, 12036 data bytes
Bytes SoundArmourClank();  // "morf": 8-bit, 11025 Hz, 1086 data bytes
Bytes SoundWallPop();      // "pop": 8-bit, 11025 Hz, 640 data bytes
Bytes SoundLaser();        // "las": 8-bit, 22050 Hz, 16542 data bytes

// Sample rate and length of the music loop.
constexpr int kMusicRate = 22050;
constexpr int kMusicSamples = 30 * kMusicRate;  // 16 bars at 128 beats per minute
// The background tune as a 16-bit mono RIFF WAVE file that loops without a seam.
Bytes MusicLoop();
// The tune's samples (what MusicLoop stores), for checks on the loop point.
std::vector<int16_t> MusicSamples();

}  // namespace gen
