// The game's main window: its components, the frame loop, the key commands and cheat console, and
// the operations behind its hidden buttons (NewBall, LoadLevel, NewGame, LoadAssets,
// ConfirmConsole, ReadRecords). The game sprites reach it through the global `MainForm`.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/dxdraw.h"
#include "display/dxtimer.h"
#include "display/imagelist.h"
#include "game/levels.h"
#include "game/window_mode.h"
#include "input/dxinput.h"
#include "sound/dxsounds.h"
#include "sound/media_player.h"
#include "sprites/dx_sprite_engine.h"
#include "sprites/image_sprite.h"
#include "sprites/sprite.h"
#include "toolkit/canvas.h"
#include "toolkit/controls.h"
#include "toolkit/forms.h"
#include "toolkit/timers.h"

class TLevelEditor;

class TMainForm : public TDXForm {
 public:
  explicit TMainForm(TComponent* owner);
  ~TMainForm() override;

  // ---- components (owned by the form)
  TDXDraw* DXDraw;                  // the display; 800 x 600 x 16, full screen + flip
  TDXTimer* DXTimer;                // the frame timer: ticks the frame loop from the idle loop
  TDXSpriteEngine* DXSpriteEngine;  // the sprite tree
  TDXInput* DXInput;                // keyboard and joystick states
  TDXImageList* ImageList;          // bricks, balls, paddles, bonuses, field background
  TDXImageList* FontList1;          // score digits i0..i9
  TDXImageList* Menulist;           // m1, m2, m3 and the menu backdrop
  TDXSound* DXSound;                // the sound device
  TDXWaveList* DXWaveList;          // "snd", "morf", "pop", "las"
  TMediaPlayer* m;                  // the background music
  TTimer* Timer2;                   // serve timer, 5000 ms, disabled at start
  TTimer* Timer3;                   // gun timer, 100 ms
  TPanel* Panel1;                   // the cheat console (hidden)
  TEdit* Edit1;                     // the console's code field
  TButton* Button5;                 // the console's "ОК"
  TLabel* Label1;                   // never visible: the score as text for the score entry
  TButton *Button1, *Button2, *Button3, *Button4, *Button6;  // hidden operation buttons

  // ---- handlers bound to the components
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void DXDrawInitialize(TObject* Sender);
  void DXDrawFinalize(TObject* Sender);
  void DXTimerActivate(TObject* Sender);
  void DXTimerDeactivate(TObject* Sender);
  void DXTimerTimer(TObject* Sender, int LagCount);  // one frame
  void Timer2Timer(TObject* Sender);                 // serve timer tick
  void Timer3Timer(TObject* Sender);                 // gun timer tick: GunReady := true
  void mNotify(TObject* Sender);                     // the music ended
  void FormKeyDown(TObject* Sender, int& Key, TShiftState Shift);
  void FormKeyPress(TObject* Sender, char32_t& Key);
  void Edit1KeyDown(TObject* Sender, int& Key, TShiftState Shift);

  // ---- operations behind the hidden buttons
  void NewBall();         // Button1: a new ball on the paddle, gsServe, serve timer restarted
  void LoadLevel();       // Button2: reads the file of Level and makes its bricks
  void NewGame();         // Button3: resets the counters and sets up level 1
  void LoadAssets();      // Button4: the one-time loading behind the loading window
  void ConfirmConsole();  // Button5: closes the console and applies its code word
  void ReadRecords();     // Button6: reads rec.kbx into RecordNames/RecordScores

  // Restarts the serve timer: disabled then enabled, so a full interval passes.
  void RestartTimer2();
  // The game-over hand-off to the score-entry window (only when Score beats the fifth record).
  void OfferScoreEntry();
  // Alt+Enter: the display switches between full screen and a window.
  void SwitchDisplayMode();
  // Before the first showing: the display starts in a sizeable window instead of full screen.
  void StartInWindow();

  // ---- level sets and the level editor
  // The folder the level files are read from; empty: the shipped levels\ folder.
  std::string LevelFolder;
  // The level editor when the program runs as one (null otherwise); owned by this window.
  TLevelEditor* Editor = nullptr;
  // What runs in this window besides the game (the editor, the replay player); null: the game
  // alone. Not owned.
  TWindowMode* Mode = nullptr;
  // Who follows each game (the recorder or the replay player); null: nobody. Not owned.
  TGameFollower* Follower = nullptr;
  // Enter in the menu: a new game from a fresh serve.
  void BeginGame();
  // R (rank 1) or 1..5 in the menu: plays the replay kept for that rank of the record table.
  std::function<void(int rank)> OnMenuReplay;
  // The last life is lost: the game is over (before any score entry, which depends on the table).
  void GameOver();
  // Every data file the play has read, as the game names it: the pictures of the loading and the
  // level files of the current game (cleared when a game begins).
  std::vector<std::string> PicturesRead, LevelFilesRead;
  // Turns this window into the level editor of the set in `folder` (after the loading).
  void OpenEditor(const std::string& folder);
  // Test play: starts a game on `bricks` as level `level` from a fresh serve, as Enter in the
  // menu does; every level set-up of it makes these bricks again. The play ends where the game
  // would go back to the menu (Escape, the last life lost): the field is cleared, no record is
  // offered, and `ended` runs.
  void StartTestPlay(const std::vector<game::LevelBrick>& bricks, int32_t level,
                     std::function<void()> ended);
  bool TestPlaying() const { return static_cast<bool>(testEnded_); }

  // ---- pause, help, victory and the mouse
  // A game is on: serving, playing or showing a level's screen.
  static bool InPlay();
  // P (or a gamepad's Start while serving or playing) stopped the play; pressed again, it goes on.
  bool PausedByHand() const { return pausedByHand_; }
  // The help screen shows the keys over the frozen frame (F1 in the menu or in play; any key
  // closes it).
  bool HelpShown() const { return helpShown_; }
  // Nothing of the game moves this frame: the help screen, or in play a pause by hand, the
  // application without the focus, or the victory screen. The frame is drawn again as it stood.
  bool Frozen() const;
  // The victory screen is showing (its milliseconds of play are not over).
  bool VictoryShowing() const { return victoryMs_ > 0; }
  // How long the victory screen shows, in milliseconds of unpaused play.
  static constexpr int kVictoryMs = 4000;
  // Asked by a ball's level-complete step before it clears the level: true while the clearing
  // of level 20 waits for the victory screen (the first ask of a game's level 20 starts it).
  bool HoldForVictory();
  // The paddle's share of the mouse motion since the last take (motion x the sensitivity, in
  // paddle pixels); the take clears it. Only motion while the mouse is captured for play counts.
  double TakeMouseMotion();
  // The left mouse button is held while the mouse is captured for play.
  bool MouseButtonHeld() const { return mouseButton_; }
  // The mouse is captured for play (pointer hidden and kept in the window).
  bool MouseCaptured() const { return mouseCaptured_; }

  // W and H of the frame loop: the main window's size as the game sees it (800 x 600).
  int W() const;
  int H() const;

  // Image lookups used by every game sprite: the item `name` of ImageList ("Image '%s' not
  // found" when missing).
  TPictureCollectionItem* GameImage(const std::string& name) const {
    return ImageList->FindImage(name);
  }
  // The item `prefix` + number in decimal, remembered after its first lookup: the game asks for
  // the same few pictures in every step of every sprite, and the items never change.
  TPictureCollectionItem* GameImage(const char* prefix, int number);
  // Plays a wave of the wave list and starts the joystick's "eff1" pulse.
  void PlayEffect(const char* wave);

  // The menu's record table draws each name from x = W - 250 within this many pixels, a small gap
  // short of the scores at W - 120.
  static constexpr int kRecordNameWidth = 124;
  // The names' face: the table's, at the largest size up to 12 points at which a typical
  // 15-character Russian name fits the name column (chosen when the table is first read).
  const TFont& RecordNameFont() const { return recordNameFont_; }
  // The name of rank 1..5 as the menu draws it, converted, cut to the column and rasterised when
  // the table was read; an empty run for other ranks.
  const TTextRun& RecordNameRun(int rank) const;
  // Offset of the names from their row's top that puts their baseline on the scores' baseline.
  int RecordNameDy() const { return recordNameDy_; }

  // ---- the player's sound settings (Settings; saved to game::SettingsFileInUse)
  // Gives the music player and every wave of the wave list the volumes of Settings.
  void ApplySoundSettings();
  // - and = (keypad - and +): the music volume `step` percent lower or higher (0..100), unmuted.
  void ChangeMusicVolume(int step);
  // M: the music muted or unmuted (its volume kept).
  void ToggleMusicMute();
  // The short note over the frame after a change ("" when none shows).
  const std::string& Note() const { return note_; }
  // Frames the note shows for; the changed settings are saved when it goes.
  static constexpr int kNoteFrames = 90;

 private:
  bool loadingAssets_ = false;  // LoadAssets is running: a nested activation must not rerun it
  bool pausedByHand_ = false;
  bool helpShown_ = false;
  int victoryMs_ = 0;          // what is left of the victory screen
  bool victoryShown_ = false;  // this level's victory screen has been shown
  double mouseMotion_ = 0;     // the paddle's share of the mouse motion not taken yet
  bool mouseButton_ = false;
  bool mouseCaptured_ = false;
  int mouseHook_ = 0;
  void SetMouseCaptured(bool on);
  void UpdateMouseCapture();
  void HoldWindowTimers(bool on);
  void DrawFrame(bool still);
  void DrawOverlays();
  void DrawPauseLabel();
  void DrawHelp();
  void DrawVictory();
  bool scoreEntryOffered_ = false;
  bool followedGame_ = false;  // the follower heard of the current game's start and not its end
  void EndFollowedGame();
  std::vector<game::LevelBrick> testBricks_;  // the level a test play plays
  int32_t testLevel_ = 1;
  std::function<void()> testEnded_;
  void EndTestPlay();
  struct ImageCache {
    std::string prefix;
    std::array<TPictureCollectionItem*, 100> items{};
  };
  std::array<ImageCache, 8> imageCache_;
  std::array<TPictureCollectionItem*, 10>
      digitImages_{};  // this game's entry window was shown (NewGame clears it)
  std::array<TTextRun, 5> recordNameRuns_;
  TFont recordNameFont_;
  int recordNameDy_ = 0;
  bool recordNameFontChosen_ = false;
  std::string note_;
  int noteFrames_ = 0;
  bool settingsChanged_ = false;  // saved when the note goes, or when the window goes
  void ShowNote(std::string text);
  void NoteFrame();
  void SaveChangedSettings();
  void PrepareRecordNames();
  void BuildImageLists();
  void BuildWaveList();
  void DrawTexts();
  void DrawHud();
  void DrawMenuPictures(bool advance = true);
};

// The 256-entry cosine table of the menu animation: cos(2*pi*i/256).
extern std::array<double, 256> CosTable;

extern TMainForm* MainForm;

// Creates the application's three windows in the order the game expects (MainForm, Form1,
// Form2) and sets the title "KobalTix v. 1.3". The application must exist (InitApplication).
void CreateGameWindows();
// The whole program on the installed platform: opens the window (full screen, or a window when
// `fullScreen` is false), creates the windows, runs the message loop until the main window
// closes, frees everything. Returns the exit status. A `levelFolder` replaces the shipped levels
// (a level set); with `edit` the window becomes the level editor of that folder after the loading.
int RunGame(bool fullScreen = true, const std::string& levelFolder = "", bool edit = false);
