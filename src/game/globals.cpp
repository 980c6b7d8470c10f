#include "game/globals.h"

int32_t GameState = 0;
int32_t Score = 0;
int32_t Lives = 0;
int32_t Level = 0;
int32_t BallsInPlay = 0;
int32_t BrickCount = 0;
int32_t BricksBroken = 0;
double PaddleX = 0.0;
double PaddleY = 0.0;
int32_t PaddleSize = 0;
int32_t BallKind = 0;
double BallSpeed = 0.0;
int32_t BallX = 0, BallY = 0;
std::array<int32_t, 255> BlastX{}, BlastY{};
int32_t BlastCount = 0;
bool LoseBall = false;
bool ReturnToMenu = false;
bool CheatMode = false;
bool SkipLevel = false;
bool PierceMode = false;
bool GunArmed = false;
bool GunReady = false;
bool PaddleBounceDone = false;
bool MusicOn = false;
bool Started = false;
std::array<std::string, 6> RecordNames;
std::array<int32_t, 6> RecordScores{};
int32_t MenuPulse = 1;
bool MenuPulseDown = false;

void ResetGameGlobals() {
  GameState = 0;
  Score = Lives = Level = BallsInPlay = BrickCount = BricksBroken = 0;
  PaddleX = PaddleY = 0.0;
  PaddleSize = BallKind = 0;
  BallSpeed = 0.0;
  BallX = BallY = 0;
  BlastX.fill(0);
  BlastY.fill(0);
  BlastCount = 0;
  LoseBall = ReturnToMenu = CheatMode = SkipLevel = PierceMode = false;
  GunArmed = GunReady = PaddleBounceDone = MusicOn = Started = false;
  for (auto& n : RecordNames) n.clear();
  RecordScores.fill(0);
  MenuPulse = 1;
  MenuPulseDown = false;
}
