// A long run of the whole game on the headless platform: the scripted player plays game after
// game with everything a player can do (bonuses of every kind, the gun, level skips, display
// switches, the console, game overs with score entries) while the run checks that nothing is
// reported, that every game leaves an empty field behind and that memory does not grow.
//
// Frames: KX_SOAK_FRAMES, else 100 000 (20 000 in a sanitizer build).
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "support/game_harness.h"
#include "support/scripted_player.h"
#include "toolkit/random.h"

#if defined(__SANITIZE_ADDRESS__)
#define KX_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_SOAK_ASAN 1
#endif
#endif
#ifndef KX_SOAK_ASAN
#define KX_SOAK_ASAN 0
#endif
#if KX_SOAK_ASAN
// The sanitizer runtime's count of the bytes it has handed out and not taken back.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using platform::VK_ESCAPE;

namespace {

constexpr uint32_t kLag = 16;

long SoakFrames() {
  if (const char* v = std::getenv("KX_SOAK_FRAMES")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n > 0) return n;
  }
  return KX_SOAK_ASAN ? 20000 : 100000;
}

// Bytes the program holds on the heap now.
size_t HeapInUse() {
#if KX_SOAK_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// What the run needs to know of the game around one frame.
struct Snapshot {
  int32_t state, lives, paddleSize, ballKind, ballsInPlay, level, score;
  double ballSpeed;
  bool pierce, gun;
  static Snapshot Take() {
    return {GameState, Lives, PaddleSize, BallKind,   BallsInPlay,
            Level,     Score, BallSpeed,  PierceMode, GunArmed};
  }
};

struct FallingBonus {
  TBonSprite* sprite;
  int kind;
  double x, y, w, h;
};

// Whether a bonus caught between `a` and `b` (the snapshots around the frame) shows the effect
// of its kind. Only effects that are visible whatever else happened in the frame count.
bool EffectSeen(int kind, const Snapshot& a, const Snapshot& b) {
  switch (kind) {
    case 1:
      return b.lives < a.lives || b.state == gsMenu;
    case 2:
      return a.paddleSize >= 2 && b.paddleSize == a.paddleSize - 1;
    case 3:
      return a.paddleSize < 5 && b.paddleSize == a.paddleSize + 1;
    case 4:
      return b.ballSpeed < 0;
    case 5:
      return b.lives == a.lives + 1;
    case 6:
      return b.pierce && b.ballKind == 4;
    case 7:
      return b.ballKind == 3;
    case 8:
      return b.ballSpeed >= 6.0;
    case 9:
      return b.ballKind == 2;
    case 10:
      return b.ballsInPlay == a.ballsInPlay + 1 && ScriptedPlayer::Live<TsharSprite>().size() >= 2;
    case 11: {
      int barrels = 0;
      for (TPulSprite* s : ScriptedPlayer::Live<TPulSprite>())
        if (s->GunMode == 1 || s->GunMode == 2) ++barrels;
      return b.gun && barrels >= 2;
    }
    case 12:
      // Every ball in play takes the level one further (never past 20).
      return b.state == gsLevelIntro && (b.level > a.level || a.level == 20) &&
             b.level <= std::min(20, a.level + a.ballsInPlay);
    default:
      return false;
  }
}

// The sprites under the root by class, e.g. "paddle ball pul1 pul2 pul3 " (pul1/pul2: the gun's
// barrels, pul3: bullets), for failure messages.
std::string Census() {
  std::string out;
  TSpriteEngine* root = ScriptedPlayer::Root();
  for (int32_t i = 0; i < root->ChildCount(); ++i) {
    TSprite* s = root->Child(i);
    if (auto* p = dynamic_cast<TPulSprite*>(s))
      out += "pul" + std::to_string(p->GunMode) + " ";
    else if (dynamic_cast<TsharSprite*>(s))
      out += "ball ";
    else if (dynamic_cast<TMonoSprite*>(s))
      out += "brick ";
    else if (dynamic_cast<TBonSprite*>(s))
      out += "bonus ";
    else if (dynamic_cast<TPlayerSprite*>(s))
      out += "paddle ";
    else
      out += "other ";
    if (s->IsDead()) out += "(dead) ";
  }
  return out + (GunArmed ? "GunArmed" : "");
}

bool Overlap(double l1, double t1, double r1, double b1, double l2, double t2, double r2,
             double b2) {
  return l1 < r2 && l2 < r1 && t1 < b2 && t2 < b1;
}

}  // namespace

class SoakRun {
 public:
  explicit SoakRun(GameHarness& g) : g_(g), player_(g, PlayerOptions()), answer_(g, "Soak") {
    // Every bonus is worth catching; the one that costs a life only until it has been seen.
    player_.Settings().wanted = [this](int kind) { return kind != 1 || applied_[1] == 0; };
  }

  // One frame of play with the bonus bookkeeping around it.
  void Frame() {
    const Snapshot before = Snapshot::Take();
    std::vector<FallingBonus> falling;
    for (TBonSprite* b : ScriptedPlayer::Live<TBonSprite>())
      falling.push_back({b, b->BonusKind, b->X, b->Y, double(b->Width), double(b->Height)});
    const bool forced = before.state == gsPlaying && ForceBonus(falling);

    player_.Play();
    // The test platform's own records would grow with the game; they are not the game's memory.
    g_.hl.audio->ClearPlays();
    g_.hl.joysticks->ClearEffects();
    g_.hl.music->ClearLog();

    const Snapshot after = Snapshot::Take();
    if (forced) {
      // The queued draws were taken by the drop; anything left must not leak into later draws.
      if (ScriptedRandomLeft() == 0) ++forcedDrops_[forcing_];
      ClearScriptedRandom();
    }
    for (TPulSprite* s : ScriptedPlayer::Live<TPulSprite>())
      if (s->GunMode == 3) ++bulletFrames_;
    if (before.state != gsPlaying) return;
    const auto alive = ScriptedPlayer::Live<TBonSprite>();
    const double pw = ScriptedPlayer::PaddleWidth();
    const double paddleH = MainForm->ImageList->FindImage("pod1")->Height();
    for (const FallingBonus& f : falling) {
      if (std::find(alive.begin(), alive.end(), f.sprite) != alive.end()) continue;
      // Gone: caught if it lay on the paddle where the paddle stood in this frame.
      if (!Overlap(f.x, f.y, f.x + f.w, f.y + f.h, PaddleX, PaddleY, PaddleX + pw,
                   PaddleY + paddleH))
        continue;
      ++caught_[f.kind];
      // Its kind is added to the score (unless a score entry has just reset it).
      const bool scored = after.score == -1000 || after.score - before.score >= f.kind;
      if (scored && EffectSeen(f.kind, before, after)) ++applied_[f.kind];
    }
  }

  // A game from Enter (or Alt+Enter) to the menu, about `length` frames long, with a display
  // switch, a console code and a level skip every 2000 frames; it ends by Escape, by giving up
  // (the remaining lives are lost), or when the run's frames are spent.
  void Game(int index, int length) {
    ++games_;
    const bool altEnterStart = index % 4 == 3;
    if (altEnterStart) {
      player_.SwitchDisplay();  // Alt+Enter in the menu also starts a game
      ++switches_;
    } else {
      g_.NewGameFromMenu();
    }
    EXPECT_EQ(GameState, gsServe);
    const int entries = answer_.Shown();
    player_.Settings().giveUp = false;
    if (lingeringGun_ > 0) {
      // The gun left over from the last game goes with the first frame of this one.
      Frame();
      EXPECT_TRUE(ScriptedPlayer::Live<TPulSprite>().empty()) << Census();
      lingeringGun_ = 0;
    }
    bool manyLives = false, escaped = false;
    int played = 0;
    while (GameState != gsMenu) {
      if (Budget() <= 0 && !escaped) {
        // The run's frames are spent: the game is abandoned as a player would.
        player_.LetGo();
        g_.Press(VK_ESCAPE);
        ++escapes_;
        escaped = true;
        break;
      }
      Frame();
      ++played;
      if (GameState == gsMenu) break;
      if (played == 300 || (altEnterStart && played == 2)) {
        player_.SwitchDisplay();
        ++switches_;
        EXPECT_EQ(g_.hl.video->FullScreen(), MainForm->DXDraw->Options().Contains(doFullScreen));
      }
      if (played == 600) {
        static const char* const codes[] = {"quartzpigeons", "bluewhalesi", "bluewhalesix"};
        const char* code = codes[index % 3];
        const int lives = Lives;
        EXPECT_TRUE(player_.EnterConsoleCode(code));
        ++consoles_;
        if (std::string(code) == "bluewhalesix") {
          EXPECT_EQ(Lives, 100);
          manyLives = true;
        } else {
          EXPECT_EQ(Lives, lives);  // a code one letter short does nothing
        }
        if (std::string(code) == "quartzpigeons") {
          EXPECT_TRUE(CheatMode);
        }
      }
      if (played % 2000 == 1000 && GameState != gsMenu) {
        // Level skips, by the cheat keys and by the console in turn.
        if ((played / 2000 + index) % 2 == 0) {
          player_.SkipLevelWithCheatKeys();
        } else {
          EXPECT_TRUE(player_.EnterConsoleCode("turnipvase"));
          ++consoles_;
        }
        EXPECT_TRUE(SkipLevel);
        ++skips_;
      }
      if (played == length) {
        if (manyLives || index % 2 == 0) {
          player_.LetGo();
          g_.Press(VK_ESCAPE);
          ++escapes_;
          escaped = true;
        } else {
          player_.Settings().giveUp = true;  // lose the remaining lives
        }
      }
      if (played == length + 20000) {  // giving up takes far less; never hang here
        ADD_FAILURE() << "game " << index << " did not end";
        g_.Press(VK_ESCAPE);
        escaped = true;
      }
    }
    player_.LetGo();
    if (GameState == gsMenu && !escaped) ++gameOvers_;
    // The menu: a few frames (the first clears the abandoned game), then the samples.
    for (int i = 0; i < 3; ++i) g_.Frame(kLag);
    EXPECT_EQ(GameState, gsMenu);
    TSpriteEngine* root = ScriptedPlayer::Root();
    // Only the background and the paddle stay, also when the game ended with the gun armed (its
    // barrels and bullets leave in the clearing pass like every other sprite of the game).
    lingeringGun_ = 0;
    if (GunArmed && !ScriptedPlayer::Live<TPulSprite>().empty()) ++gunLeftInMenu_;
    EXPECT_EQ(root->SpriteCount(), 2 + lingeringGun_) << "after game " << index << ": " << Census();
    EXPECT_EQ(root->Validate(), "") << "after game " << index;
    if (answer_.Shown() > entries) {
      // The score entry rewrote the record file, and the menu shows it.
      bool listed = false;
      for (int r = 1; r <= 5; ++r)
        listed |=
            RecordNames[r] == "Soak" && std::to_string(RecordScores[r]) == answer_.LastShownScore();
      EXPECT_TRUE(listed) << "score " << answer_.LastShownScore() << " of game " << index;
    }
    heap_.push_back(HeapInUse());
    sprites_.push_back(root->SpriteCount() - lingeringGun_);
    EXPECT_TRUE(g_.hl.dialogs->Messages().empty())
        << "after game " << index << ": " << g_.hl.dialogs->Messages().front().text;
  }

  long Budget() const { return total_ - g_.frames; }
  void SetTotal(long n) { total_ = n; }

  GameHarness& g_;
  ScriptedPlayer player_;
  ScoreEntryAnswerer answer_;
  long total_ = 0;
  int gunLeftInMenu_ = 0;
  int games_ = 0, gameOvers_ = 0, escapes_ = 0, skips_ = 0, switches_ = 0, consoles_ = 0;
  long bulletFrames_ = 0;
  std::array<int, 13> caught_{}, applied_{}, forcedDrops_{};
  std::vector<size_t> heap_;
  std::vector<int> sprites_;

 private:
  static ScriptedPlayer::Options PlayerOptions() {
    ScriptedPlayer::Options o;
    o.lagMs = kLag;
    o.chaseBonuses = true;
    return o;
  }

  // When the only ball will meet a brick in the coming frame, far from the walls and the paddle
  // (whose bounces also draw random numbers), queues the draws of a bonus drop: a drop (80 of
  // 100), the kind wanted next, and a fall speed of 2. Returns whether it queued them.
  bool ForceBonus(const std::vector<FallingBonus>& falling) {
    if (ScriptedRandomLeft() != 0) return false;
    const auto balls = ScriptedPlayer::Live<TsharSprite>();
    if (balls.size() != 1) return false;
    // A catch of bonus 10 or a life lost in this frame would draw too.
    for (const FallingBonus& f : falling)
      if (f.y + f.h > PaddleY - 60) return false;
    const TsharSprite& b = *balls.front();
    const double v = ScriptedPlayer::BallStep(kLag);
    const double nx = b.X + std::sin(b.Angle) * v, ny = b.Y + std::cos(b.Angle) * v;
    if (nx < 10 || nx > MainForm->W() - 50 || ny < 10 || ny > PaddleY - 80) return false;
    bool hit = false;
    for (TMonoSprite* m : ScriptedPlayer::Live<TMonoSprite>()) {
      const bool now = Overlap(b.X, b.Y, b.X + b.Width, b.Y + b.Height, m->X, m->Y, m->X + m->Width,
                               m->Y + m->Height);
      const bool next = Overlap(nx - 2, ny - 2, nx + b.Width + 2, ny + b.Height + 2, m->X, m->Y,
                                m->X + m->Width, m->Y + m->Height);
      if ((now || next) && (m->BrickType == 4 || m->BrickType == 5)) return false;
      if (now) return false;
      if (next && m->CanCollide) hit = true;
    }
    if (!hit) return false;
    // The kinds in turn, the ones not yet applied first.
    int kind = 0;
    for (int k = 1; k <= 12 && !kind; ++k)
      if (applied_[k] == 0 && forcedDrops_[k] < 3) kind = k;
    if (!kind) kind = 1 + (rotation_++ % 12);
    forcing_ = kind;
    PushScriptedRandom(80);        // Random(100): a drop
    PushScriptedRandom(kind - 1);  // Random(12) + 1: the kind
    PushScriptedRandom(1);         // Random(4) + 1: fall speed 2
    return true;
  }

  int forcing_ = 0;
  int rotation_ = 0;
  int lingeringGun_ = 0;
};

TEST(Soak, ScriptedPlayerPlaysGameAfterGame) {
  const long frames = SoakFrames();
  std::printf("[ soak     ] %ld frames of %u ms%s\n", frames, kLag,
              std::getenv("KX_SOAK_FRAMES") ? " (KX_SOAK_FRAMES)"
              : KX_SOAK_ASAN                ? " (sanitizer build: fewer frames by default)"
                                            : "");
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  GameHarness g;
  g.Start();
  SoakRun run(g);
  run.SetTotal(frames);
  // Games of about a tenth of the run each, so that several games end and are compared.
  const int length = static_cast<int>(std::max(1500L, frames / 10));
  for (int i = 0; run.Budget() > 0; ++i) run.Game(i, length);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

  std::printf(
      "[ soak     ] %d frames in %.1f s (%.1f s of CPU): %d games (%d game overs, %d by Escape), "
      "%d score entries\n",
      g.frames, seconds, cpu, run.games_, run.gameOvers_, run.escapes_, run.answer_.Shown());
  std::printf(
      "[ soak     ] %d level skips, %d display switches, %d console codes, %ld bullet frames, "
      "%d menus with the gun left over\n",
      run.skips_, run.switches_, run.consoles_, run.bulletFrames_, run.gunLeftInMenu_);
  std::printf("[ soak     ] bonus kind: caught/applied/forced\n[ soak     ]");
  for (int k = 1; k <= 12; ++k)
    std::printf(" %d:%d/%d/%d", k, run.caught_[k], run.applied_[k], run.forcedDrops_[k]);
  std::printf("\n[ soak     ] heap in use in the menu after each game (KiB):");
  for (size_t h : run.heap_) std::printf(" %zu", h / 1024);
  std::printf("\n");

  EXPECT_TRUE(g.hl.dialogs->Messages().empty());
  EXPECT_GE(run.games_, 3);
  EXPECT_GE(run.answer_.Shown(), 1);
  EXPECT_EQ(run.answer_.Missed(), 0);
  EXPECT_GT(run.skips_, 0);
  EXPECT_GT(run.bulletFrames_, 0);
  for (int k = 1; k <= 12; ++k) EXPECT_GE(run.applied_[k], 1) << "bonus " << k << " never applied";
  // Memory: game after game the heap stays put (the first game warms caches up).
  ASSERT_GE(run.heap_.size(), 3u);
  const long grown = static_cast<long>(run.heap_.back()) - static_cast<long>(run.heap_[1]);
  EXPECT_LT(grown, 256 * 1024) << "heap grew by " << grown << " bytes between game 2 and the last";
  for (int n : run.sprites_) EXPECT_EQ(n, 2);
}
