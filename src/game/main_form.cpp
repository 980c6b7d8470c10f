#include "game/main_form.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "game/data_paths.h"
#include "game/game_sprites.h"
#include "game/globals.h"
#include "game/level_editor.h"
#include "game/levels.h"
#include "game/loading_window.h"
#include "game/records.h"
#include "game/replay_player.h"
#include "game/replay_recorder.h"
#include "game/score_entry_window.h"
#include "game/settings.h"
#include "game/textfile.h"
#include "platform/keys.h"
#include "platform/pacer.h"
#include "platform/platform.h"
#include "toolkit/application.h"
#include "toolkit/random.h"
#include "toolkit/resources.h"
#include "toolkit/screen.h"
#include "toolkit/translate.h"

TMainForm* MainForm = nullptr;
std::array<double, 256> CosTable = [] {
  std::array<double, 256> t{};
  // Filled once at start in extended precision, stored as doubles.
  for (int i = 0; i < 256; ++i)
    t[i] =
        static_cast<double>(std::cos(2.0L * 3.14159265358979323846264338327950288L * i / 256.0L));
  return t;
}();

namespace {

const char* const kComic = "Comic Sans MS";
// The texts of the menu and the level screen, in the player's language.
const char* CheatMessage() {
  return toolkit::Tr("Режим читов! Нажмите 9, чтобы пропустиь уровень");
}
const char* StartPrompt() { return toolkit::Tr("Чтобы  начать игру  нажмите  ENTER"); }
// A typical name of a record holder: 15 Russian characters.
const char* const kTypicalName = "Иван Степанович";
// Characters of a record name that can reach the menu (far more than its column shows).
constexpr size_t kRecordNameChars = 128;

// One item of an image list as the window's resource data declares it.
struct ItemDecl {
  const char* name;
  bool transparent;
  TColor key;
  const char* carried;  // resource name of the carried picture, or null
};

TPictureCollectionItem* AddItem(TDXImageList* list, const ItemDecl& d) {
  TPictureCollectionItem* item = list->Items.AddItem();
  if (d.name) item->SetName(d.name);
  item->Transparent = d.transparent;
  item->SetTransparentColor(d.key);
  if (d.carried) {
    res::Blob blob = res::Find(d.carried);
    if (blob) item->Picture.LoadFromResource(blob);
  }
  return item;
}

// Loads the BMP file `stored` (backslash-separated) into `item`; the replays name it.
void LoadFile(TPictureCollectionItem* item, const std::string& stored) {
  item->Picture.LoadFromFile(stored);
  if (MainForm != nullptr) MainForm->PicturesRead.push_back(stored);
}

}  // namespace

TMainForm::TMainForm(TComponent* owner) : TDXForm(owner) {
  Name = "MainForm";
  BeginLoading();
  SetBorderStyle(bsNone);
  SetClientWidth(778);
  SetClientHeight(585);
  SetColor(clBlack);
  KeyPreview = true;
  SetCaption(toolkit::Tr("Kobaltix"));

  DXDraw = new TDXDraw(this);
  DXDraw->Name = "DXDraw";
  DXDraw->SetParent(this);
  DXDraw->BeginLoading();
  DXDraw->AutoInitialize = true;
  DXDraw->SetAutoSize(false);
  DXDraw->Display().SetWidth(800);
  DXDraw->Display().SetHeight(600);
  DXDraw->Display().SetBitCount(16);
  DXDraw->Display().FixedBitCount = true;
  DXDraw->Display().FixedRatio = true;
  DXDraw->Display().FixedSize = false;
  DXDraw->SetOptions({doFullScreen, doFlip});
  DXDraw->SetSurfaceWidth(792);
  DXDraw->SetSurfaceHeight(481);
  DXDraw->SetBounds(0, 0, 800, 600);
  DXDraw->SetColor(clBlack);
  DXDraw->OnInitialize = [this](TObject* s) { DXDrawInitialize(s); };
  DXDraw->OnFinalize = [this](TObject* s) { DXDrawFinalize(s); };

  DXTimer = new TDXTimer(this);
  DXTimer->Name = "DXTimer";
  DXTimer->BeginLoading();
  DXTimer->SetActiveOnly(false);
  DXTimer->SetEnabled(true);
  DXTimer->SetInterval(0);
  DXTimer->OnActivate = [this](TObject* s) { DXTimerActivate(s); };
  DXTimer->OnDeactivate = [this](TObject* s) { DXTimerDeactivate(s); };
  DXTimer->OnTimer = [this](TObject* s, int lag) { DXTimerTimer(s, lag); };

  DXSpriteEngine = new TDXSpriteEngine(this);
  DXSpriteEngine->Name = "DXSpriteEngine";
  DXSpriteEngine->SetDXDraw(DXDraw);

  DXInput = new TDXInput(this);
  DXInput->Name = "DXInput";
  ReadGameInputProperties(*DXInput);

  ImageList = new TDXImageList(this);
  ImageList->Name = "ImageList";
  FontList1 = new TDXImageList(this);
  FontList1->Name = "FontList1";
  Menulist = new TDXImageList(this);
  Menulist->Name = "Menulist";
  BuildImageLists();
  ImageList->SetDXDraw(DXDraw);
  FontList1->SetDXDraw(DXDraw);
  Menulist->SetDXDraw(DXDraw);

  DXSound = new TDXSound(this);
  DXSound->Name = "DXSound";
  DXWaveList = new TDXWaveList(this);
  DXWaveList->Name = "DXWaveList";
  DXWaveList->SetDXSound(DXSound);
  BuildWaveList();

  m = new TMediaPlayer(this);
  m->Name = "m";
  m->OnNotify = [this](TMediaPlayer* s) { mNotify(s); };
  ApplySoundSettings();

  Timer2 = new TTimer(this);
  Timer2->Name = "Timer2";
  Timer2->SetInterval(5000);
  Timer2->SetEnabled(false);
  Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };
  Timer3 = new TTimer(this);
  Timer3->Name = "Timer3";
  Timer3->SetInterval(100);
  Timer3->SetEnabled(true);
  Timer3->OnTimer = [this](TObject* s) { Timer3Timer(s); };

  Panel1 = new TPanel(this);
  Panel1->Name = "Panel1";
  Panel1->SetParent(this);
  Panel1->SetBounds(16, 8, 609, 41);
  Panel1->SetVisible(false);
  Edit1 = new TEdit(this);
  Edit1->Name = "Edit1";
  Edit1->SetParent(Panel1);
  Edit1->SetBounds(8, 8, 409, 21);
  Edit1->SetTabStop(true);
  Edit1->OnKeyDown = [this](TObject* s, int& k, TShiftState sh) { Edit1KeyDown(s, k, sh); };
  Button5 = new TButton(this);
  Button5->Name = "Button5";
  Button5->SetParent(Panel1);
  Button5->SetBounds(430, 8, 75, 25);
  Button5->SetCaption(toolkit::Tr("ОК"));
  Button5->OnClick = [this](TObject*) { ConfirmConsole(); };
  Button5->OnKeyDown = [this](TObject* s, int& k, TShiftState sh) { Edit1KeyDown(s, k, sh); };

  Label1 = new TLabel(this);
  Label1->Name = "Label1";
  Label1->SetParent(Panel1);
  Label1->SetCaption("0");
  Label1->SetVisible(false);

  auto hidden = [this](const char* name, std::function<void()> op) {
    auto* b = new TButton(this);
    b->Name = name;
    b->SetParent(this);
    b->SetVisible(false);
    b->OnClick = [op](TObject*) { op(); };
    return b;
  };
  Button1 = hidden("Button1", [this] { NewBall(); });
  Button2 = hidden("Button2", [this] { LoadLevel(); });
  Button3 = hidden("Button3", [this] { NewGame(); });
  Button4 = hidden("Button4", [this] { LoadAssets(); });
  Button6 = hidden("Button6", [this] { ReadRecords(); });

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyDown = [this](TObject* s, int& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  OnKeyPress = [this](TObject* s, char32_t& k) { FormKeyPress(s, k); };
  OnClose = [this](TObject*, TCloseAction& action) {
    if (Mode != nullptr && !Mode->MayClose()) action = caNone;
  };
  DXDraw->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int x, int y) {
    if (Mode != nullptr) Mode->MouseDown(b, x, y);
  };
  DXDraw->OnMouseMove = [this](TObject*, TShiftState, int x, int y) {
    if (Mode != nullptr) Mode->MouseMove(x, y);
  };
  DXDraw->OnMouseUp = [this](TObject*, TMouseButton b, TShiftState, int x, int y) {
    if (Mode != nullptr) Mode->MouseUp(b, x, y);
  };

  // The mouse steers the paddle by its motion while it is captured for play; its events still
  // go on to the controls.
  if (Application != nullptr) {
    mouseHook_ = Application->AddEventHook([this](const platform::Event& e) {
      if (!mouseCaptured_) return false;
      if (e.kind == platform::EventKind::MouseMove)
        mouseMotion_ += e.dx * Settings.MouseSensitivity;
      if (e.button == 1 && e.kind == platform::EventKind::MouseDown) mouseButton_ = true;
      if (e.button == 1 && e.kind == platform::EventKind::MouseUp) mouseButton_ = false;
      return false;
    });
  }

  // The resource data has been read: components that act on loading do so now (the frame
  // timer starts ticking; the display waits for the window to be shown).
  DXDraw->Loaded();
  DXTimer->Loaded();
  DXInput->Loaded();
  EndLoading();
}

TMainForm::~TMainForm() {
  SaveChangedSettings();
  if (Application != nullptr && mouseHook_ != 0) Application->RemoveEventHook(mouseHook_);
  SetMouseCaptured(false);
  delete Editor;  // it unbinds its handlers from this window's components
  Editor = nullptr;
  // The components outlive this part of the window (the base classes free them): no handler
  // of this window may run from them any more, so the display is closed now and the handlers
  // are unbound.
  DXTimer->SetEnabled(false);
  DXDraw->Finalize();
  DXDraw->OnInitialize = nullptr;
  DXDraw->OnFinalize = nullptr;
  DXTimer->OnActivate = nullptr;
  DXTimer->OnDeactivate = nullptr;
  DXTimer->OnTimer = nullptr;
  m->OnNotify = nullptr;
  Timer2->OnTimer = nullptr;
  Timer3->OnTimer = nullptr;
  OnActivate = nullptr;
  OnKeyDown = nullptr;
  OnKeyPress = nullptr;
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildImageLists() {
  // ImageList: the game's pictures. Only a few are carried; the rest come from the data files.
  AddItem(ImageList, {"shar1", true, clBlack, "ImageList.shar1"});
  for (int k = 2; k <= 4; ++k)
    AddItem(ImageList, {nullptr, true, clBlack, nullptr})->SetName("shar" + std::to_string(k));
  for (int k = 1; k <= 12; ++k)
    AddItem(ImageList, {nullptr, false, clBlack, nullptr})->SetName("b" + std::to_string(k));
  AddItem(ImageList, {"b13", true, clBlack, nullptr});
  AddItem(ImageList, {"b14", true, clBlack, nullptr});
  for (int k = 1; k <= 5; ++k)
    AddItem(ImageList, {nullptr, true, clBlack, nullptr})->SetName("pod" + std::to_string(k));
  AddItem(ImageList, {"kirp11", false, clRed, "ImageList.kirp11"});
  for (int f = 2; f <= 5; ++f)
    AddItem(ImageList, {nullptr, false, clBlack, nullptr})->SetName("kirp1" + std::to_string(f));
  for (int t = 2; t <= 9; ++t) {
    if (t == 4 || t == 5) {
      AddItem(ImageList, {nullptr, false, clBlack, nullptr})
          ->SetName("kirp" + std::to_string(t) + "1");
      continue;
    }
    bool transparent = t != 3;  // the explosive bricks are drawn opaque
    for (int f = 1; f <= 5; ++f)
      AddItem(ImageList, {nullptr, transparent, clBlack, nullptr})
          ->SetName("kirp" + std::to_string(t) + std::to_string(f));
  }
  AddItem(ImageList, {"background", false, clBlack, "ImageList.background"});
  AddItem(ImageList, {"img1-2", true, clWhite, "ImageList.img1-2"});
  AddItem(ImageList, {"Panel1", false, clWhite, "ImageList.Panel1"});

  for (int d = 0; d <= 9; ++d)
    AddItem(FontList1, {nullptr, true, clBlack, nullptr})->SetName("i" + std::to_string(d));

  AddItem(Menulist, {"m1", true, clBlack, "Menulist.m1"});
  AddItem(Menulist, {"m2", true, clBlack, "Menulist.m2"});
  AddItem(Menulist, {"m3", true, 65793, "Menulist.m3"});
  AddItem(Menulist, {"background", false, 3880448, "Menulist.background"});
}

// ---------------------------------------------------------------------------------------------
// The player's sound settings

void TMainForm::ApplySoundSettings() {
  m->SetVolume(Settings.MusicMuted ? 0 : Settings.MusicVolume);
  // The wave list counts attenuation in hundredths of a decibel (0 = as recorded).
  const int percent = Settings.EffectsMuted ? 0 : std::clamp(Settings.EffectsVolume, 0, 100);
  const int attenuation =
      percent == 0 ? -10000 : static_cast<int>(std::lround(2000.0 * std::log10(percent / 100.0)));
  TWaveCollection& waves = DXWaveList->Items();
  for (int i = 0; i < waves.Count(); ++i) waves.Items(i)->SetVolume(attenuation);
}

void TMainForm::ChangeMusicVolume(int step) {
  Settings.MusicVolume = std::clamp(Settings.MusicVolume + step, 0, 100);
  Settings.MusicMuted = false;
  ApplySoundSettings();
  ShowNote(Format(toolkit::Tr("Музыка: %d %%"), Settings.MusicVolume));
}

void TMainForm::ToggleMusicMute() {
  Settings.MusicMuted = !Settings.MusicMuted;
  ApplySoundSettings();
  ShowNote(Settings.MusicMuted ? std::string(toolkit::Tr("Музыка выключена"))
                               : Format(toolkit::Tr("Музыка: %d %%"), Settings.MusicVolume));
}

void TMainForm::ShowNote(std::string text) {
  note_ = std::move(text);
  noteFrames_ = kNoteFrames;
  settingsChanged_ = true;
}

// Counts the note's frames down; the settings are written once the player stops changing them,
// not at every key.
void TMainForm::NoteFrame() {
  if (noteFrames_ <= 0 || --noteFrames_ > 0) return;
  note_.clear();
  SaveChangedSettings();
}

void TMainForm::SaveChangedSettings() {
  if (!settingsChanged_) return;
  settingsChanged_ = false;
  game::SaveSettings(game::SettingsFileInUse);
}

void TMainForm::BuildWaveList() {
  for (const char* name : {"snd", "morf", "pop", "las"}) {
    TWaveCollectionItem* item = DXWaveList->Items().AddItem();
    item->SetName(name);
    item->SetLooped(false);
    item->SetMaxPlayingCount(0);
    res::Blob blob = res::Find(std::string("DXWaveList.") + name);
    if (blob) item->Wave().LoadFromMemory(blob.data, blob.size);
  }
  // The sound device initialises once the resource data is read; the wave list hears of it.
  DXSound->Loaded();
}

int TMainForm::W() const { return Screen ? Screen->Width() : 800; }
int TMainForm::H() const { return Screen ? Screen->Height() : 600; }

TPictureCollectionItem* TMainForm::GameImage(const char* prefix, int number) {
  if (number >= 0 && number < 100) {
    for (ImageCache& c : imageCache_) {
      if (c.prefix.empty()) c.prefix = prefix;
      if (c.prefix != prefix) continue;
      TPictureCollectionItem*& slot = c.items[static_cast<size_t>(number)];
      if (slot == nullptr) slot = ImageList->FindImage(prefix + std::to_string(number));
      return slot;
    }
  }
  return ImageList->FindImage(prefix + std::to_string(number));
}

void TMainForm::PlayEffect(const char* wave) {
  DXWaveList->FindWave(wave)->Play(false);
  TForceFeedbackEffect& pulse = DXInput->Joystick().Effects().FindEffect("eff1");
  pulse.StartEffect();
  // Gamepads feel the same pulse through their rumble motors.
  DXInput->Gamepad().Rumble(pulse);
}

void TMainForm::RestartTimer2() {
  Timer2->SetEnabled(false);
  Timer2->SetEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Window and display handlers

void TMainForm::FormCreate(TObject*) {
  SetLeft(-1000);
  SetTop(-1000);
  Started = false;
}

void TMainForm::FormActivate(TObject*) {
  DXTimer->SetEnabled(true);
  ReadRecords();
  // Hiding the loading window inside LoadAssets activates this window again; that nested
  // activation must neither read the records again nor start a second loading.
  if (!Started && !loadingAssets_) {
    LoadAssets();
    Started = true;
  }
}

void TMainForm::DXDrawInitialize(TObject*) { DXTimer->SetEnabled(true); }
void TMainForm::DXDrawFinalize(TObject*) { DXTimer->SetEnabled(false); }
void TMainForm::DXTimerActivate(TObject*) { SetCaption(toolkit::Tr("Kobaltix")); }
void TMainForm::DXTimerDeactivate(TObject*) { SetCaption(toolkit::Tr("Kobaltix  [Pause]")); }

void TMainForm::Timer2Timer(TObject*) {
  if (GameState == gsServe) GameState = gsPlaying;
  if (GameState == gsPlaying) Timer2->SetEnabled(false);
}

void TMainForm::Timer3Timer(TObject*) { GunReady = true; }

void TMainForm::mNotify(TObject*) {
  // The piece ended: start it again from the beginning while the music is on.
  if (MusicOn && !m->FileName().empty()) {
    m->Play();
  }
}

// ---------------------------------------------------------------------------------------------
// The frame loop

bool TMainForm::InPlay() {
  return GameState == gsServe || GameState == gsPlaying || GameState == gsLevelIntro;
}

bool TMainForm::Frozen() const {
  if (Mode != nullptr && Mode->ShowsOwnScreen()) return false;
  if (helpShown_) return true;
  const bool active = Application == nullptr || Application->Active();
  return InPlay() && (pausedByHand_ || !active || victoryMs_ > 0);
}

bool TMainForm::HoldForVictory() {
  if (victoryMs_ > 0) return true;
  if (Level != 20 || victoryShown_ || BrickCount <= 0 || TestPlaying()) return false;
  victoryShown_ = true;
  victoryMs_ = kVictoryMs;
  return true;
}

double TMainForm::TakeMouseMotion() {
  const double d = mouseMotion_;
  mouseMotion_ = 0;
  return d;
}

void TMainForm::SetMouseCaptured(bool on) {
  if (on == mouseCaptured_) return;
  mouseCaptured_ = on;
  mouseMotion_ = 0;
  mouseButton_ = false;
  if (platform::Installed() && platform::Get().video) platform::Get().video->SetMouseCaptured(on);
}

void TMainForm::UpdateMouseCapture() {
  // Held only while the play runs in front: a pause, the menu, a small window over the game or
  // another application gets the pointer back.
  const bool active = Application != nullptr && Application->Active();
  SetMouseCaptured(InPlay() && active && !Frozen() && DXTimer->Enabled() && !Panel1->Visible() &&
                   (Mode == nullptr || !Mode->ShowsOwnScreen()));
}

void TMainForm::HoldWindowTimers(bool on) {
  // The serve and gun timers count game time: none passes while the play stands still.
  Timer2->SetPaused(on);
  Timer3->SetPaused(on);
}

void TMainForm::PaceStillFrame() {
  if (!platform::Installed() || !platform::Get().clock) return;
  platform::Clock* clock = platform::Get().clock.get();
  if (stillPacer_ == nullptr || stillClock_ != clock) {
    stillPacer_ = std::make_unique<platform::Pacer>(*clock);
    stillClock_ = clock;
  }
  stillPacer_->WaitBeforePresent();
}

void TMainForm::DXTimerTimer(TObject*, int LagCount) {
  // Without the focus the flip shows nothing and so never waits, and a frozen frame has nothing
  // to move: such frames wait for their time instead of spinning a core while the player is away.
  // The pacer reads the platform's clock, so a replay reads the same readings at the same frames.
  if (!(Application == nullptr || Application->Active()) || Frozen()) PaceStillFrame();
  NoteFrame();
  Label1->SetCaption(std::to_string(Score));
  if (!DXDraw->CanDraw()) return;

  if (!InPlay()) {
    pausedByHand_ = false;
    victoryMs_ = 0;
  }
  // A frozen frame moves nothing, reads no input and only draws the field again as it stood;
  // the frame timer keeps ticking, so the frame after it measures its lag from the last frozen
  // one and the stop adds nothing to it.
  if (Frozen()) {
    HoldWindowTimers(InPlay());
    UpdateMouseCapture();
    const bool active = Application == nullptr || Application->Active();
    if (victoryMs_ > 0 && !helpShown_ && !pausedByHand_ && active) {
      victoryMs_ = std::max(victoryMs_ - std::max(LagCount, 1), 0);
    }
    DrawFrame(true);
    DrawOverlays();
    if (Mode != nullptr) Mode->PaintOver(DXDraw->Back());
    DXDraw->Flip();
    return;
  }
  HoldWindowTimers(false);
  UpdateMouseCapture();

  DXInput->Update();

  if (GameState != gsMenu) DXSpriteEngine->MoveAll(LagCount);
  if (GameState == gsMenu && ReturnToMenu) {
    DXSpriteEngine->MoveAll(LagCount);
    DXSpriteEngine->PurgeDead();
    ReturnToMenu = false;
  }
  if (GameState != gsMenu) DXSpriteEngine->PurgeDead();
  if (followedGame_) Follower->FrameDone();
  // A test play ends where a game goes back to the menu, once the field is cleared.
  if (GameState == gsMenu && !ReturnToMenu) {
    if (followedGame_) EndFollowedGame();
    if (TestPlaying()) EndTestPlay();
  }
  if (Mode != nullptr && Mode->Paint(DXDraw->Back())) return;

  DrawFrame(false);
  DrawOverlays();
  if (Mode != nullptr) Mode->PaintOver(DXDraw->Back());
  DXDraw->Flip();
}

void TMainForm::DrawFrame(bool still) {
  TDirectDrawSurface* back = DXDraw->Back();
  back->Fill(0);

  if (GameState != gsMenu) DXSpriteEngine->DrawAll();

  if (GameState == gsLevelIntro) {
    TCanvas& c = *back->Canvas();
    c.Brush.Style = bsDiagCross;
    c.Rectangle(0, 0, 800, 600);
    c.Brush.Style = bsSolid;
  }

  if (GameState == gsMenu) Menulist->FindImage("background")->Draw(back, 0, 0, 0);

  DrawTexts();

  if (GameState != gsMenu) DrawHud();
  if (GameState == gsMenu) DrawMenuPictures(!still);
}

namespace {
// A dark panel with a light frame, the ground of the texts drawn over a frozen frame.
void DrawPanel(TCanvas& c, const TRect& r) {
  c.Brush.Style = bsSolid;
  c.Brush.Color = RGB(16, 16, 48);
  c.FillRect(r);
  c.HLine(r.Left, r.Right - 1, r.Top, RGB(200, 200, 255));
  c.HLine(r.Left, r.Right - 1, r.Bottom - 1, RGB(200, 200, 255));
  c.VLine(r.Left, r.Top, r.Bottom - 1, RGB(200, 200, 255));
  c.VLine(r.Right - 1, r.Top, r.Bottom - 1, RGB(200, 200, 255));
  c.Brush.Style = bsClear;
}

// Writes `text` centred on x = `cx` with its top at `y`.
void TextCentred(TCanvas& c, int cx, int y, const std::string& text) {
  c.TextOut(cx - c.TextWidth(text) / 2, y, text);
}
}  // namespace

void TMainForm::DrawOverlays() {
  if (Mode != nullptr && Mode->ShowsOwnScreen()) return;
  const bool active = Application == nullptr || Application->Active();
  if (InPlay() && victoryMs_ > 0) DrawVictory();
  if (InPlay() && (pausedByHand_ || !active)) DrawPauseLabel();
  if (helpShown_) DrawHelp();
}

void TMainForm::DrawPauseLabel() {
  TDirectDrawSurface* back = DXDraw->Back();
  TCanvas& c = *back->Canvas();
  c.Font.Name = kComic;
  c.Font.Bold = true;
  c.Font.Size = 48;
  const int cx = back->Width() / 2, top = back->Height() / 2 - 60;
  DrawPanel(c, Bounds(cx - 200, top, 400, 120));
  c.Font.Color = RGB(255, 220, 0);
  TextCentred(c, cx, top + 12, toolkit::Tr("ПАУЗА"));
  c.Font.Bold = false;
  c.Font.Size = 12;
  c.Font.Color = clWhite;
  TextCentred(
      c, cx, top + 88,
      pausedByHand_ ? toolkit::Tr("P — продолжить") : toolkit::Tr("Игра ждёт возвращения в окно"));
  back->ReleaseCanvas();
}

void TMainForm::DrawVictory() {
  TDirectDrawSurface* back = DXDraw->Back();
  TCanvas& c = *back->Canvas();
  c.Font.Name = kComic;
  const int cx = back->Width() / 2, top = back->Height() / 2 - 110;
  DrawPanel(c, Bounds(cx - 260, top, 520, 220));
  c.Font.Bold = true;
  c.Font.Size = 40;
  c.Font.Color = RGB(255, 220, 0);
  TextCentred(c, cx, top + 16, toolkit::Tr("Победа!"));
  c.Font.Bold = false;
  c.Font.Size = 16;
  c.Font.Color = clWhite;
  TextCentred(c, cx, top + 100, toolkit::Tr("Все двадцать уровней пройдены."));
  c.Font.Size = 20;
  TextCentred(c, cx, top + 150, toolkit::Tr("Счёт:") + std::string(" ") + std::to_string(Score));
  back->ReleaseCanvas();
}

void TMainForm::DrawHelp() {
  // The keys in two columns: what to press, and what it does (texts in the player's language).
  using toolkit::Tr;
  const char* const lines[][2] = {
      {Tr("Клавиатура"), nullptr},
      {Tr("← → (A D, 4 6)"), Tr("двигать ракетку")},
      {Tr("Пробел (Z)"), Tr("подать мяч, стрелять")},
      {Tr("Enter"), Tr("начать игру, начать уровень, подтвердить")},
      {Tr("P"), Tr("пауза")},
      {Tr("Esc"), Tr("выйти из игры, из меню — закрыть программу")},
      {Tr("Alt+Enter"), Tr("весь экран или окно")},
      {Tr("- = M"), Tr("громкость музыки, музыка вкл./выкл.")},
      {Tr("F1"), Tr("эта справка")},
      {Tr("Мышь"), nullptr},
      {Tr("движение"), Tr("двигать ракетку")},
      {Tr("левая кнопка"), Tr("подать мяч, стрелять")},
      {Tr("Геймпад"), nullptr},
      {Tr("стик, крестовина"), Tr("двигать ракетку")},
      {Tr("A"), Tr("подать мяч, стрелять, подтвердить")},
      {Tr("Start"), Tr("Enter; в игре — пауза")},
      {Tr("Back"), Tr("Esc")},
  };
  TDirectDrawSurface* back = DXDraw->Back();
  TCanvas& c = *back->Canvas();
  c.Font.Name = kComic;
  const int cx = back->Width() / 2;
  const TRect panel = Bounds(cx - 330, 40, 660, 520);
  DrawPanel(c, panel);
  c.Font.Bold = true;
  c.Font.Size = 20;
  c.Font.Color = RGB(255, 220, 0);
  TextCentred(c, cx, panel.Top + 10, toolkit::Tr("Управление"));
  int y = panel.Top + 56;
  for (const auto& line : lines) {
    if (line[1] == nullptr) {
      c.Font.Bold = true;
      c.Font.Size = 12;
      c.Font.Color = RGB(255, 220, 0);
      c.TextOut(panel.Left + 24, y + 4, line[0]);
      y += 28;
      continue;
    }
    c.Font.Bold = false;
    c.Font.Size = 11;
    c.Font.Color = clWhite;
    c.TextOut(panel.Left + 40, y, line[0]);
    c.TextOut(panel.Left + 240, y, line[1]);
    y += 22;
  }
  c.Font.Size = 10;
  c.Font.Color = RGB(180, 180, 220);
  TextCentred(c, cx, panel.Bottom - 28, toolkit::Tr("Нажмите любую клавишу"));
  back->ReleaseCanvas();
}

void TMainForm::DrawTexts() {
  TDirectDrawSurface* back = DXDraw->Back();
  TCanvas& c = *back->Canvas();
  c.Brush.Style = bsClear;
  c.Font.Color = 0;
  c.Font.Name = kComic;
  const int w = W();
  if (GameState == gsLevelIntro) {
    c.Font.Size = 36;
    c.Font.Color = 0;
    c.TextOutFitted(250, 250, Format(toolkit::Tr("Уровень: %d"), Level), w - 260);
    c.Font.Size = 24;
    c.TextOutFitted(100, 550, StartPrompt(), w - 110);
  }
  if (GameState == gsMenu) {
    c.Font.Size = 12;
    c.Font.Color = 255;
    c.TextOutFitted(w - 250, 58, toolkit::Tr("Рекорды:"), 230);
    c.Font.Color = RGB(MenuPulse % 256, 100, 200);
    for (int n = 1; n <= 5; ++n) {
      int y = 58 + 24 * n;
      c.TextOut(w - 270, y, std::to_string(n));
      c.TextOut(w - 250, y + recordNameDy_, recordNameRuns_[static_cast<size_t>(n - 1)]);
      c.TextOut(w - 120, y, std::to_string(RecordScores[n]));
    }
    c.Font.Size = 24;
    c.TextOutFitted(100, 550, StartPrompt(), w - 110);
    if (OnMenuReplay) {
      c.Font.Size = 9;
      c.TextOut(w - 270, 58 + 24 * 6, toolkit::Tr("R, 1–5 — повтор игры из таблицы"));
    }
    const std::string notice = Follower != nullptr ? Follower->MenuNotice() : std::string();
    if (!notice.empty()) {
      c.Font.Size = 10;
      c.Font.Color = clWhite;
      c.TextOut(10, 8, notice);
    }
  }
  if (CheatMode) {
    c.Font.Size = 12;
    c.TextOutFitted(10, 30, CheatMessage(), w - 20);
  }
  if (!note_.empty()) {
    c.Font.Size = 14;
    c.Font.Bold = true;
    c.Font.Color = clWhite;
    c.TextOut((w - c.TextWidth(note_)) / 2, 40, note_);
    c.Font.Bold = false;
  }
  back->ReleaseCanvas();
}

void TMainForm::DrawHud() {
  TDirectDrawSurface* back = DXDraw->Back();
  int32_t v = Score;
  for (int i = 1; i <= 10; ++i) {
    int32_t d = v % 10;  // truncated toward zero: a negative score gives negative digits
    v /= 10;
    TPictureCollectionItem*& digit = digitImages_[static_cast<size_t>(d < 0 ? -d : d)];
    if (d < 0) {  // a negative score has no digit pictures: the lookup reports it
      FontList1->FindImage("i" + std::to_string(d))->Draw(back, 200 - 20 * i, 10, 0);
      continue;
    }
    if (digit == nullptr) digit = FontList1->FindImage("i" + std::to_string(d));
    digit->Draw(back, 200 - 20 * i, 10, 0);
  }
  const int n = static_cast<uint8_t>(Lives & 0xFF);
  if (n > 0) {
    TPictureCollectionItem* icon = ImageList->FindImage("shar1");
    for (int a = 1; a <= n; ++a) icon->Draw(back, W() - 20 - 20 * a, 10, 0);
  }
}

void TMainForm::DrawMenuPictures(bool advance) {
  TDirectDrawSurface* back = DXDraw->Back();
  const int h = H();
  Menulist->FindImage("m1")->DrawRotated(back, back->Width() / 2, back->Height() / 2, 300, 57, 0,
                                         0.5, 0.5, MenuPulse);
  int a3 = static_cast<int>(std::trunc(126.0 * CosTable[(4 * MenuPulse) & 0xFF] + 127.0));
  int a2 = static_cast<int>(std::trunc(126.0 * CosTable[(4 * MenuPulse + 128) & 0xFF] + 127.0));
  Menulist->FindImage("m3")->DrawAdditive(back, Bounds(60, h - 220, 160, 33), 0, a3);
  Menulist->FindImage("m2")->DrawAdditive(back, Bounds(120, h - 180, 155, 30), 0, a2);
  if (!advance) return;
  if (MenuPulseDown)
    --MenuPulse;
  else
    ++MenuPulse;
  if (MenuPulse >= 254 || MenuPulse <= 1) MenuPulseDown = !MenuPulseDown;
}

// ---------------------------------------------------------------------------------------------
// Key commands and the cheat console

void TMainForm::FormKeyDown(TObject*, int& Key, TShiftState Shift) {
  if (Mode != nullptr && Mode->TakeKey(Key, Shift)) {
    Key = 0;
    return;
  }
  // The help screen takes the first key there is, whichever, and only closes.
  if (helpShown_) {
    helpShown_ = false;
    Key = 0;
    return;
  }
  // Enter in the open console submits its code word, as the OK button does.
  if (Panel1->Visible() && Key == platform::VK_RETURN && !Shift.Contains(ssAlt)) {
    Key = 0;
    ConfirmConsole();
    return;
  }
  // The console's field has the keys while it is open.
  if (!Panel1->Visible()) {
    if (Key == platform::VK_F1 && (GameState == gsMenu || InPlay())) {
      helpShown_ = true;
      Key = 0;
      return;
    }
    // P, and a gamepad's Start while serving or playing (on a level's screen it is Enter).
    const bool padStart = Application != nullptr &&
                          Application->PadKey() == platform::VK_GAMEPAD_MENU &&
                          GameState != gsLevelIntro;
    if ((Key == 'P' || padStart) && InPlay()) {
      pausedByHand_ = !pausedByHand_;
      Key = 0;
      return;
    }
  }
  // Between a test play's last life and the clearing of its field, Escape has nothing to leave.
  if (TestPlaying() && GameState == gsMenu && Key == platform::VK_ESCAPE) return;
  if (GameState == gsLevelIntro && Key == platform::VK_RETURN) {
    GameState = gsServe;
    RestartTimer2();
  }
  if (GameState == gsMenu && Key == platform::VK_RETURN) BeginGame();
  // The replays of the record table; characters typed into the open console are no commands.
  if (GameState == gsMenu && OnMenuReplay && !Panel1->Visible() &&
      (Key == 'R' || (Key >= '1' && Key <= '5'))) {
    OnMenuReplay(Key == 'R' ? 1 : Key - '0');
    return;
  }
  if (Key == platform::VK_ESCAPE) {
    if (Panel1->Visible()) {
      ConfirmConsole();
    } else if (GameState == gsMenu) {
      Close();
    } else {
      Lives = 0;
      LoseBall = true;
      ReturnToMenu = true;
      GameState = gsMenu;
    }
  }
  if (Shift.Contains(ssAlt) && Key == platform::VK_RETURN) SwitchDisplayMode();
  // The music's volume keys (not while the console takes the typing, nor with Ctrl or Alt).
  if (!Panel1->Visible() && !Shift.Contains(ssAlt) && !Shift.Contains(ssCtrl)) {
    if (Key == platform::VK_OEM_MINUS || Key == platform::VK_SUBTRACT) ChangeMusicVolume(-10);
    if (Key == platform::VK_OEM_PLUS || Key == platform::VK_ADD) ChangeMusicVolume(10);
    if (Key == 'M') ToggleMusicMute();
  }
}

void TMainForm::FormKeyPress(TObject*, char32_t& Key) {
  if (Mode != nullptr && Mode->TakeChar(Key)) return;  // the editor's keys are no cheats
  if (Key == U'0') CheatMode = !CheatMode;
  if (Key == U'9' && CheatMode) SkipLevel = true;
  if (Key == U'`' || Key == U'~') {
    // The field starts empty; the mouse is given back for the console.
    Edit1->SetText("");
    SetMouseCaptured(false);
    DXTimer->SetEnabled(false);
    Panel1->SetVisible(true);
    Panel1->SetVisible(false);
    Panel1->SetVisible(true);
    // The field takes the keys at once, so the keyboard alone can type and submit a code.
    SetActiveControl(Edit1);
  }
}

void TMainForm::Edit1KeyDown(TObject*, int& Key, TShiftState) {
  // Escape and Enter both submit the code word, as the OK button does.
  if (Key == platform::VK_ESCAPE || Key == platform::VK_RETURN) {
    Key = 0;
    ConfirmConsole();
  }
}

void TMainForm::ConfirmConsole() {
  Panel1->SetVisible(false);
  const std::string text = Edit1->Text();
  if (text == "quartzpigeons") CheatMode = true;
  if (text == "turnipvase") SkipLevel = true;
  if (text == "bluewhalesix") Lives = 100;
  DXTimer->SetEnabled(true);
}

void TMainForm::SwitchDisplayMode() {
  DXDraw->Finalize();
  if (DXDraw->Options().Contains(doFullScreen)) {
    RestoreWindow();
    DXDraw->SetCursor(crDefault);
    SetBorderStyle(bsSizeable);
    DXDraw->SetOptions(DXDraw->Options() - doFullScreen);
  } else {
    StoreWindow();
    DXDraw->SetCursor(crNone);
    SetBorderStyle(bsNone);
    DXDraw->SetOptions(DXDraw->Options() + doFullScreen);
  }
  DXDraw->Initialize();
}

void TMainForm::StartInWindow() {
  // The window side of SwitchDisplayMode, before the display first initialises: Alt+Enter then
  // goes to full screen and back as usual. The back surface is the whole 800 x 600 frame, as a
  // window left from full screen has it (the form's own 792 x 481 would cut the frame).
  SetBorderStyle(bsSizeable);
  DXDraw->SetOptions(DXDraw->Options() - doFullScreen);
  DXDraw->SetSurfaceWidth(800);
  DXDraw->SetSurfaceHeight(600);
}

// ---------------------------------------------------------------------------------------------
// Operations behind the hidden buttons

void TMainForm::NewBall() {
  GunArmed = false;
  BallsInPlay = 1;
  BlastCount = 0;
  BallKind = 1;
  SkipLevel = false;
  PierceMode = false;
  RestartTimer2();
  BallSpeed = 1.0;
  GameState = gsServe;
  auto* ball = new TsharSprite(DXSpriteEngine->Engine());
  ball->Angle = Random(6);
  ball->Image = GameImage("shar", BallKind);
  ball->X = PaddleX + 30;
  ball->Y = PaddleY - 10;
  ball->SetZ(2);
  ball->Width = ball->Image->Width();
  ball->Height = ball->Image->Height();
  ball->WrapAround = false;
}

void TMainForm::LoadLevel() {
  BallsInPlay = 0;
  PaddleSize = 3;
  BallKind = 1;
  SkipLevel = false;
  PierceMode = false;
  BricksBroken = 0;
  victoryShown_ = false;
  std::vector<game::LevelBrick> bricks;
  if (TestPlaying()) {
    Level = testLevel_;
    bricks = testBricks_;
  } else {
    const std::string file = game::LevelFileIn(LevelFolder, Level);
    bricks = game::ReadLevelFile(file);
    if (std::find(LevelFilesRead.begin(), LevelFilesRead.end(), file) == LevelFilesRead.end())
      LevelFilesRead.push_back(file);
  }
  BrickCount = static_cast<int32_t>(bricks.size());
  for (const game::LevelBrick& b : bricks) {
    auto* brick = new TMonoSprite(DXSpriteEngine->Engine());
    brick->BrickType = b.type;
    brick->BrickTick = Random(50);
    brick->BrickFrame = 1 + Random(4);
    if (brick->BrickType == 1 || brick->BrickType == 4 || brick->BrickType == 5)
      brick->BrickFrame = 1;
    brick->Image =
        GameImage("kirp" + std::to_string(brick->BrickType) + std::to_string(brick->BrickFrame));
    const int32_t w = brick->Image->Width(), h = brick->Image->Height();
    brick->X = static_cast<double>(static_cast<int64_t>(w) * b.column + 100);
    brick->Y = static_cast<double>(static_cast<int64_t>(h) * b.row + 100);
    brick->SetZ(1);
    brick->Width = w;
    brick->Height = h;
  }
  GameState = gsServe;
}

void TMainForm::NewGame() {
  scoreEntryOffered_ = false;
  GameState = gsReset;
  DXSpriteEngine->Engine()->Move(10000);
  GameState = gsServe;
  ReturnToMenu = false;
  LoseBall = false;
  PaddleSize = 3;
  BallSpeed = 0.0;
  Lives = 3;
  BricksBroken = 0;
  Score = 0;
  Level = 1;
  BallsInPlay = 0;
  LoadLevel();
}

void TMainForm::ReadRecords() {
  game::RecordTable t = game::ReadRecordFile(game::RecordFile());
  for (int r = 1; r <= 5; ++r) {
    RecordNames[r] = t.names[r - 1];
    RecordScores[r] = t.scores[r - 1];
  }
  PrepareRecordNames();
}

const TTextRun& TMainForm::RecordNameRun(int rank) const {
  static const TTextRun none;
  return rank >= 1 && rank <= 5 ? recordNameRuns_[static_cast<size_t>(rank - 1)] : none;
}

// The menu draws the names in every frame: each is converted, measured and rasterised here, once,
// and only as far as its column shows it, so a name of any length costs the same as a short one.
void TMainForm::PrepareRecordNames() {
  TFont table;
  table.Name = kComic;
  table.Size = 12;
  platform::Text* text = platform::Installed() ? platform::Get().text.get() : nullptr;
  if (!recordNameFontChosen_) {
    // The face installed in place of the table's may be wider than it: it gets smaller until a
    // typical name fits its column again (the column still clips whatever is wider).
    recordNameFont_ = table;
    for (int h = table.PixelHeight(); text && h >= 9; --h) {
      recordNameFont_.Height = h;
      int w = 0, ht = 0;
      text->Measure(recordNameFont_.Name, h, false, false, kTypicalName, w, ht);
      if (w <= kRecordNameWidth) break;
    }
    recordNameDy_ = TTextRun(table, "0", 50).Ascent() - TTextRun(recordNameFont_, "0", 50).Ascent();
    recordNameFontChosen_ = true;
  }
  for (int r = 1; r <= 5; ++r) {
    // One byte is one character: no column shows more than this many.
    const std::string shown = RecordNames[r].substr(0, kRecordNameChars);
    recordNameRuns_[static_cast<size_t>(r - 1)] =
        TTextRun(recordNameFont_, game::Cp1251ToUtf8(shown), kRecordNameWidth);
  }
}

void TMainForm::OfferScoreEntry() {
  if (!(Score > RecordScores[5])) return;
  if (TestPlaying()) return;  // a test play of the editor enters no record
  // A game played back enters no record.
  if (Follower != nullptr && Follower->Replaying()) return;
  // The balls left in the field take their lost-life step again in the clearing pass that follows
  // a game over; a player who closed the entry without saving is not asked a second time.
  if (scoreEntryOffered_) return;
  scoreEntryOffered_ = true;
  MusicOn = false;
  Label1->SetCaption(std::to_string(Score));
  SetMouseCaptured(false);
  DXTimer->SetEnabled(false);
  if (m) m->Close();
  const int32_t score = Score;
  Form2->ShowModal();
  if (Follower == nullptr) return;
  int rank = 0;
  for (int r = 5; r >= 1; --r)
    if (RecordScores[r] == score && score != 0) rank = r;
  Follower->ScoreEntryClosed(rank);
}

void TMainForm::BeginGame() {
  LevelFilesRead.clear();
  followedGame_ = Follower != nullptr && !TestPlaying();
  if (followedGame_) {
    Follower->GameStarting();
    // A game starts from the same timing whatever the menu did before it: the frame timer and
    // the gun's timer count from now, as they do when the game is played back.
    DXTimer->SetEnabled(false);
    DXTimer->SetEnabled(true);
    Timer3->SetEnabled(false);
    Timer3->SetEnabled(true);
  }
  NewGame();
  PaddleX = 15.0;
  NewBall();
  RestartTimer2();
}

void TMainForm::GameOver() {
  if (followedGame_) EndFollowedGame();
}

void TMainForm::EndFollowedGame() {
  followedGame_ = false;
  Follower->GameEnded();
}

namespace {
bool Exists(const std::string& stored) {
  std::error_code ec;
  return std::filesystem::is_regular_file(game::NativePath(stored), ec);
}
}  // namespace

void TMainForm::LoadAssets() {
  loadingAssets_ = true;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{loadingAssets_};

  SetLeft(-1000);
  SetTop(-1000);
  BallsInPlay = 0;

  Form1->Show();
  Form1->Gauge1->SetProgress(5);
  Form1->Repaint();
  platform::Get().clock->SleepMs(100);

  BallKind = 1;
  SkipLevel = false;
  MenuPulseDown = false;
  Randomize();
  CheatMode = false;
  LoseBall = false;
  PaddleSize = 3;
  DXDraw->SetCursor(crNone);

  auto progress = [](int by) { Form1->Gauge1->SetProgress(Form1->Gauge1->Progress() + by); };

  for (int k = 1; k <= 4; ++k)
    LoadFile(ImageList->FindImage("shar" + std::to_string(k)),
             "shar\\" + std::to_string(k) + ".bmp");
  progress(2);
  for (int k = 1; k <= 14; ++k)
    LoadFile(ImageList->FindImage("b" + std::to_string(k)), "bon\\" + std::to_string(k) + ".bmp");
  progress(1);
  for (int k = 0; k <= 9; ++k)
    LoadFile(FontList1->FindImage("i" + std::to_string(k)), "fnt\\" + std::to_string(k) + ".bmp");
  progress(1);
  for (int k = 1; k <= 5; ++k)
    LoadFile(ImageList->FindImage("pod" + std::to_string(k)), "pod\\" + std::to_string(k) + ".bmp");
  progress(1);
  LoadFile(ImageList->FindImage("kirp11"), "kirp\\11.bmp");
  LoadFile(ImageList->FindImage("kirp41"), "kirp\\41.bmp");
  LoadFile(ImageList->FindImage("kirp51"), "kirp\\51.bmp");
  progress(5);
  for (int t = 1; t <= 9; ++t) {
    if (t == 1 || t == 4 || t == 5) continue;
    for (int f = 1; f <= 3; ++f)
      LoadFile(ImageList->FindImage("kirp" + std::to_string(t) + std::to_string(f)),
               "kirp\\" + std::to_string(t) + std::to_string(f) + ".bmp");
  }
  progress(5);
  for (int t = 1; t <= 9; ++t) {
    if (t == 1 || t == 4 || t == 5) continue;
    for (int f = 4; f <= 5; ++f)
      LoadFile(ImageList->FindImage("kirp" + std::to_string(t) + std::to_string(f)),
               "kirp\\" + std::to_string(t) + std::to_string(6 - f) + ".bmp");
  }
  progress(5);

  GameState = gsMenu;
  PaddleX = 0.0;
  PaddleY = static_cast<double>(H() - 70);

  LoadFile(ImageList->FindImage("background"), "fon\\2.bmp");
  progress(5);

  Randomize();
  MusicOn = true;
  ReadRecords();
  if (Exists("music\\music.mp3")) {
    m->SetFileName(game::NativePath("music\\music.mp3"));
  } else if (Exists("music\\music.wav")) {
    m->SetFileName(game::NativePath("music\\music.wav"));
  } else {
    MusicOn = false;
  }
  progress(5);
  if (MusicOn) m->Open();
  progress(10);

  ImageList->Items.MakeColorTable();
  DXDraw->ColorTable = ImageList->Items.ColorTable;
  DXDraw->DefaultColorTable = ImageList->Items.ColorTable;
  DXDraw->UpdatePalette();
  progress(5);

  auto* background = new TBackgroundSprite(DXSpriteEngine->Engine());
  background->ResizeMap(1, 1);
  background->BackImage = ImageList->FindImage("background");
  background->SetZ(-2);
  background->RepeatMap = true;

  auto* paddle = new TPlayerSprite(DXSpriteEngine->Engine());
  paddle->Image = ImageList->FindImage("pod1");
  paddle->SetZ(2);
  paddle->Y = PaddleY;
  paddle->Width = paddle->Image->Width();
  paddle->Height = paddle->Image->Height();
  paddle->PixelExact = true;

  Form1->Hide();
  SetLeft(-1000);
  SetTop(-1000);

  if (MusicOn) m->Play();
  // The pictures were replaced after the display built its surfaces: rebuild them now.
  if (DXDraw->Initialized()) DXDraw->Restore();
}

// ---------------------------------------------------------------------------------------------
// The level editor

void TMainForm::OpenEditor(const std::string& folder) {
  delete Editor;
  Editor = new TLevelEditor(this, folder);
}

void TMainForm::StartTestPlay(const std::vector<game::LevelBrick>& bricks, int32_t level,
                              std::function<void()> ended) {
  testBricks_ = bricks;
  testLevel_ = level;
  testEnded_ = std::move(ended);
  BeginGame();
}

void TMainForm::EndTestPlay() {
  std::function<void()> ended = std::move(testEnded_);
  testEnded_ = nullptr;
  testBricks_.clear();
  Timer2->SetEnabled(false);
  if (ended) ended();
}

// ---------------------------------------------------------------------------------------------
// Program start

void CreateGameWindows() {
  Application->Title = toolkit::Tr("KobalTix v. 1.3");
  Application->CreateForm(MainForm);
  Application->CreateForm(Form1);
  Application->CreateForm(Form2);
}

int RunGame(bool fullScreen, const std::string& levelFolder, bool edit) {
  // Every game played is recorded: the recorder reads what the game reads through the tape.
  replay::Tape tape;
  replay::TReplayRecorder recorder(tape, levelFolder);
  replay::InstallTape(platform::Get(), tape);
  InitApplication();
  platform::Get().video->OpenWindow(toolkit::Tr("KobalTix v. 1.3"), 800, 600);
  if (!platform::Get().video->WindowOpen()) {
    // A window that can never be shown must not keep the game running unseen (the video system
    // has said why on standard error).
    std::fprintf(stderr, "kobaltix: the game's window could not be opened\n");
    DoneApplication();
    return 1;
  }
  platform::Get().video->SetFullScreen(fullScreen);
  CreateGameWindows();
  if (!fullScreen) MainForm->StartInWindow();
  MainForm->LevelFolder = levelFolder;
  MainForm->Follower = &recorder;
  // The menu's replays play in this window with the same tape; Escape brings the menu back.
  std::unique_ptr<replay::TReplayPlayer> player;
  MainForm->OnMenuReplay = [&](int rank) {
    replay::PlayMenuReplay(rank, levelFolder, tape, recorder, player);
  };
  // A replay dropped on the browser's page plays as the menu's do, from the menu only.
  const int dropHook = Application->AddEventHook([&](const platform::Event& e) {
    if (e.kind != platform::EventKind::User || e.code != platform::kUserReplayDropped) return false;
    if (GameState == gsMenu && MainForm != nullptr && MainForm->Mode == nullptr)
      replay::PlayReplayFile(platform::kDroppedReplayPath, levelFolder, tape, recorder, player);
    return true;
  });
  // Showing the window runs its first activation (the loading); an error there is reported
  // like any other, and the loop goes on.
  try {
    MainForm->Show();
    // A loading that failed has no pictures to edit with: the window then stays as the game
    // leaves it.
    if (edit && Started) MainForm->OpenEditor(levelFolder);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
  Application->Run();
  Application->RemoveEventHook(dropHook);
  if (MainForm != nullptr) {
    MainForm->Follower = nullptr;
    MainForm->OnMenuReplay = nullptr;
    if (player && MainForm->Mode == player.get()) MainForm->Mode = nullptr;
    tape.watcher = nullptr;
  }
  DoneApplication();  // frees the windows; their destructors clear MainForm, Form1 and Form2
  return 0;
}
