// The game's state: process-wide variables shared by the main window and the game sprites. They
// are touched only on the window thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Values of GameState.
constexpr int32_t gsPlaying = 1;
constexpr int32_t gsLevelIntro = 25;
constexpr int32_t gsMenu = 30;
constexpr int32_t gsServe = 100;
constexpr int32_t gsReset = 300;

extern int32_t GameState;     // 0 until the assets are loaded, then one of the gs values
extern int32_t Score;         // the player's points; -1000 after a score entry
extern int32_t Lives;         // lives left
extern int32_t Level;         // current level 1..20
extern int32_t BallsInPlay;   // balls flying or waiting on the paddle
extern int32_t BrickCount;    // bricks the level file announced (bricks made)
extern int32_t BricksBroken;  // bricks broken on this level
extern double PaddleX;        // the paddle's left edge
extern double PaddleY;        // the paddle's top edge (window height - 70)
extern int32_t PaddleSize;    // 1..5: picture "pod" + size
extern int32_t BallKind;      // 1..4: picture "shar" + kind
extern double BallSpeed;      // the speed term added to 5
extern int32_t BallX, BallY;  // position of the ball that moved last, truncated
extern std::array<int32_t, 255> BlastX, BlastY;  // explosion points of type-3 bricks
extern int32_t BlastCount;                       // live explosion points
extern bool LoseBall;                            // the current life is lost at the next ball step
extern bool ReturnToMenu;      // the sprites of an abandoned game remove themselves
extern bool CheatMode;         // the cheat message shows and key 9 skips the level
extern bool SkipLevel;         // every brick breaks at its next step
extern bool PierceMode;        // balls pass through bricks
extern bool GunArmed;          // the paddle carries the gun
extern bool GunReady;          // the gun may fire (re-armed every 100 ms)
extern bool PaddleBounceDone;  // a ball has bounced off the paddle since its last step
extern bool MusicOn;           // the music restarts when it ends
extern bool Started;           // the assets have been loaded
extern std::array<std::string, 6> RecordNames;  // [1..5] as stored (Windows-1251 bytes)
extern std::array<int32_t, 6> RecordScores;     // [1..5]
extern int32_t MenuPulse;                       // 1..254, the menu animation's phase
extern bool MenuPulseDown;                      // the phase runs downwards

// Puts every variable back to its value at program start (tests start each game fresh).
void ResetGameGlobals();
