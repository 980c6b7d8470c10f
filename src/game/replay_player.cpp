#include "game/replay_player.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "display/dxdraw.h"
#include "game/globals.h"
#include "game/main_form.h"
#include "game/replay_recorder.h"
#include "game/settings.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "toolkit/application.h"
#include "toolkit/canvas.h"
#include "toolkit/random.h"
#include "toolkit/translate.h"

namespace replay {

TReplayPlayer::TReplayPlayer(Tape& tape, ReplayFile file, bool check)
    : tape_(tape), file_(std::move(file)), check_(check) {}

void TReplayPlayer::PostKey(int vk) {
  platform::Event e;
  e.kind = platform::EventKind::KeyDown;
  e.vk = vk;
  platform::Get().events->Post(e);
}

void TReplayPlayer::Start() {
  // The game starts the way a player starts it: Enter in the menu.
  starting_ = true;
  ended_ = false;
  PostKey(platform::VK_RETURN);
}

// ---------------------------------------------------------------------------------------------
// Following the game

void TReplayPlayer::GameStarting() {
  starting_ = false;
  paused_ = false;
  SetRandSeed(file_.seed);
  CheatMode = file_.cheats;
  // The mouse moves the paddle as it did for the player, whatever this machine's settings say.
  Settings.MouseSensitivity = file_.mouse;
  tape_.StartPlaying(file_.tape);
}

void TReplayPlayer::FrameDone() {
  tape_.FrameDone(tape_.HashDue() ? GameStateHash() : 0);
  if (tape_.Diverged()) {
    Finish("differs at frame " + std::to_string(tape_.DivergedFrame()) + ": " + tape_.DivergedWhy(),
           1);
  } else if (tape_.Frames() > file_.frames + 600) {
    // The recorded game was over long before: this one does not end as it did.
    Finish("differs at frame " + std::to_string(file_.frames) + ": the game goes on past its end",
           1);
  }
}

void TReplayPlayer::GameEnded() {
  if (leaveAfterEnd_) {
    leaveAfterEnd_ = false;
    Leave();
    return;
  }
  if (restarting_) {
    restarting_ = false;
    Start();
    return;
  }
  if (finished_) return;
  const uint32_t frames = tape_.Frames();
  if (tape_.Diverged()) {
    Finish("differs at frame " + std::to_string(tape_.DivergedFrame()) + ": " + tape_.DivergedWhy(),
           1);
  } else if (frames != file_.frames || GameStateHash() != file_.finalHash) {
    Finish("differs at frame " + std::to_string(frames) +
               ": the game ends otherwise than it was recorded",
           1);
  } else {
    Finish("score " + std::to_string(Score) + ", level " + std::to_string(Level) + ", frames " +
               std::to_string(frames) + ", ok",
           0);
  }
}

void TReplayPlayer::Finish(std::string verdict, int status) {
  if (finished_) return;
  finished_ = true;
  verdict_ = std::move(verdict);
  status_ = status;
  tape_.Stop();
  ended_ = true;
  paused_ = false;
  if (check_) {
    Application->Terminate();
    return;
  }
  // The window keeps the game's last frame; the caption says how it ended.
  if (MainForm != nullptr)
    MainForm->SetCaption(std::string(toolkit::Tr("Повтор окончен")) + ": " + verdict_ + ". " +
                         toolkit::Tr("Home — сначала, Esc — выход"));
}

// ---------------------------------------------------------------------------------------------
// The window's mode

bool TReplayPlayer::Paint(TDirectDrawSurface*) {
  if (check_) {
    // Nothing is drawn; the flip still runs, as what it asks of the platform is on the tape.
    MainForm->DXDraw->Flip();
    return true;
  }
  return ended_;  // after the end the window keeps showing the game's last frame
}

void TReplayPlayer::PaintOver(TDirectDrawSurface* back) {
  if (!tape_.Replays()) return;
  std::string text = toolkit::Tr("Повтор");
  if (paused_) text += std::string(" — ") + toolkit::Tr("на паузе");
  if (speed_ == 4) text += " ×4";
  if (speed_ == -4) text += " ×¼";
  TCanvas& c = *back->Canvas();
  c.Brush.Style = bsClear;
  c.Font.Name = "Comic Sans MS";
  c.Font.Size = 10;
  c.Font.Color = clWhite;
  c.TextOut(10, MainForm->H() - 20, text);
  back->ReleaseCanvas();
}

bool TReplayPlayer::TakeKey(int key, TShiftState) {
  if (starting_ && key == platform::VK_RETURN) return false;  // the Enter that starts the game
  if (tape_.Replays()) return false;                          // the recorded keys are the game's
  Control(key);
  return true;  // a replay's window starts no game of its own
}

bool TReplayPlayer::TakeChar(char32_t) { return !tape_.Replays(); }

bool TReplayPlayer::Control(int key) {
  switch (key) {
    case platform::VK_SPACE:
      if (tape_.Replays()) paused_ = !paused_;
      return true;
    case platform::VK_RIGHT:
      speed_ = speed_ == 4 ? 1 : 4;
      return true;
    case platform::VK_LEFT:
      speed_ = speed_ == -4 ? 1 : -4;
      return true;
    case platform::VK_HOME:
      paused_ = false;
      finished_ = false;
      if (tape_.Replays() || tape_.Mode() == TapeMode::Playing) {
        // The game in play ends as Escape ends it; once its field is clear it starts again.
        tape_.Stop();
        restarting_ = true;
        Lives = 0;
        LoseBall = true;
        ReturnToMenu = true;
        GameState = gsMenu;
      } else if (!starting_ && !restarting_) {
        MainForm->SetCaption("Kobaltix");
        Start();
      }
      return true;
    case platform::VK_ESCAPE:
      paused_ = false;
      if (!OnLeave || ended_) {
        Leave();
      } else if (!leaveAfterEnd_) {
        // The game in play ends as Escape ends it; once its field is clear the menu is back.
        tape_.Stop();
        leaveAfterEnd_ = true;
        Lives = 0;
        LoseBall = true;
        ReturnToMenu = true;
        GameState = gsMenu;
      }
      return true;
    default:
      return false;
  }
}

void TReplayPlayer::Leave() {
  leaving_ = true;
  paused_ = false;
  tape_.Stop();
  if (OnLeave) {
    OnLeave();
    return;
  }
  platform::Event quit;
  quit.kind = platform::EventKind::Quit;
  platform::Get().events->Post(quit);
}

// ---------------------------------------------------------------------------------------------
// The window's events and frames while the tape plays

void TReplayPlayer::WindowEvent(const platform::Event& e) {
  if (e.kind == platform::EventKind::KeyDown) Control(e.vk);
  if (e.kind == platform::EventKind::Quit) {
    OnLeave = nullptr;  // the window's close button ends the program, as in a game
    Leave();
  }
}

bool TReplayPlayer::ShowFrame() { return speed_ != 4 || ++shown_ % 4 == 0; }

void TReplayPlayer::FrameShown(const std::function<void()>& pumpWindowEvents) {
  using namespace std::chrono_literals;
  // A quarter of the speed: each frame stays for four of the display's.
  if (speed_ == -4) std::this_thread::sleep_for(50ms);
  while (paused_ && !leaving_) {
    std::this_thread::sleep_for(15ms);
    pumpWindowEvents();
  }
}

// ---------------------------------------------------------------------------------------------
// The commands

namespace {
// Plays `path` in the main window, or says in the menu why it cannot (`why` given: it cannot,
// for that reason).
void PlayInWindow(const std::string& path, std::string why, const std::string& levelFolder,
                  Tape& tape, TReplayRecorder& recorder, std::unique_ptr<TReplayPlayer>& player) {
  ReplayFile file;
  if (why.empty()) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!DecodeReplay(bytes, file).empty() || !CompareVersion(file).empty() ||
        file.levelFolder != levelFolder || !CompareFiles(file).empty())
      why = toolkit::Tr("Этот повтор записан другой версией игры или с другими уровнями.");
  }
  recorder.SetNotice(why);
  if (!why.empty()) return;
  TWindowMode* mode = MainForm->Mode;
  const bool cheats = CheatMode;
  const double mouse = Settings.MouseSensitivity;
  player = std::make_unique<TReplayPlayer>(tape, std::move(file), false);
  player->OnLeave = [mode, cheats, mouse, &recorder, &tape] {
    tape.watcher = nullptr;
    MainForm->Mode = mode;
    MainForm->Follower = &recorder;
    MainForm->SetCaption("Kobaltix");
    CheatMode = cheats;
    Settings.MouseSensitivity = mouse;
  };
  MainForm->Mode = player.get();
  MainForm->Follower = player.get();
  tape.watcher = player.get();
  player->Start();
}
}  // namespace

void PlayMenuReplay(int rank, const std::string& levelFolder, Tape& tape, TReplayRecorder& recorder,
                    std::unique_ptr<TReplayPlayer>& player) {
  const std::string folder = ReplayFolder(levelFolder);
  const std::string name = ReadRecordIndex(folder)[static_cast<size_t>(rank - 1)];
  PlayInWindow(folder + "/" + name,
               name.empty() ? toolkit::Tr("Для этого места таблицы повтора нет.") : std::string(),
               levelFolder, tape, recorder, player);
}

void PlayReplayFile(const std::string& path, const std::string& levelFolder, Tape& tape,
                    TReplayRecorder& recorder, std::unique_ptr<TReplayPlayer>& player) {
  PlayInWindow(path, {}, levelFolder, tape, recorder, player);
}

int RunReplay(const std::string& path, bool check) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kobaltix: cannot read the replay %s\n", path.c_str());
    return 1;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ReplayFile file;
  std::string why = DecodeReplay(bytes, file);
  if (why.empty()) why = CompareVersion(file);
  if (why.empty()) why = CompareFiles(file);
  if (!why.empty()) {
    std::fprintf(stderr, "kobaltix: %s: %s\n", path.c_str(), why.c_str());
    return 1;
  }
  if (check) platform::headless::Install();
  Tape tape;
  TReplayPlayer player(tape, file, check);
  InstallTape(platform::Get(), tape, check ? nullptr : &player);

  InitApplication();
  platform::Get().video->OpenWindow("KobalTix v. 1.3", 800, 600);
  platform::Get().video->SetFullScreen(!file.window);
  CreateGameWindows();
  if (file.window) MainForm->StartInWindow();
  MainForm->LevelFolder = file.levelFolder;
  MainForm->Mode = &player;
  MainForm->Follower = &player;
  try {
    MainForm->Show();
    if (Started) player.Start();
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
  Application->Run();
  if (MainForm != nullptr) {
    MainForm->Mode = nullptr;
    MainForm->Follower = nullptr;
  }
  DoneApplication();
  if (check) {
    platform::Uninstall();
    if (!player.Finished())
      std::printf("differs: the game never reached its recorded end\n");
    else
      std::printf("%s\n", player.Verdict().c_str());
    return player.Finished() ? player.Status() : 1;
  }
  return 0;
}

}  // namespace replay
