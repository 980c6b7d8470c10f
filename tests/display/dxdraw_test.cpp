#include "display/dxdraw.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/headless_env.h"
#include "toolkit/application.h"
#include "toolkit/screen.h"

namespace {

using N = TDXDrawNotifyType;

// A listener that writes "<name>:<code>" into a shared log.
struct Recorder {
  std::vector<std::string>* log;
  std::string name;
  static void Notify(void* target, TCustomDXDraw*, TDXDrawNotifyType type) {
    auto* r = static_cast<Recorder*>(target);
    r->log->push_back(r->name + ":" + std::to_string(static_cast<int>(type)));
  }
};

std::vector<std::string> L(std::initializer_list<const char*> items) {
  return std::vector<std::string>(items.begin(), items.end());
}

class DXDrawTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    app = std::make_unique<TApplicationScope>();
    // The game's main window and display, read in as the form resource sets them.
    form = new TDXForm(nullptr);
    form->BeginLoading();
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 800, 600);
    dx = new TDXDraw(form);
    dx->SetParent(form);
    dx->SetAutoSize(false);
    dx->SetBounds(0, 0, 800, 600);
    dx->Display().SetWidth(800);
    dx->Display().SetHeight(600);
    dx->Display().SetBitCount(16);
    dx->SetOptions({doFullScreen, doFlip});
    dx->SetSurfaceWidth(792);
    dx->SetSurfaceHeight(481);
    dx->AutoInitialize = false;
    form->EndLoading();
  }
  void TearDown() override {
    app.reset();
    HeadlessTest::TearDown();
  }
  // Hooks the six events into the log.
  void LogEvents() {
    dx->OnInitializing = [this](TObject*) { log.push_back("OnInitializing"); };
    dx->OnInitialize = [this](TObject*) { log.push_back("OnInitialize"); };
    dx->OnInitializeSurface = [this](TObject*) { log.push_back("OnInitializeSurface"); };
    dx->OnFinalizeSurface = [this](TObject*) { log.push_back("OnFinalizeSurface"); };
    dx->OnFinalize = [this](TObject*) { log.push_back("OnFinalize"); };
    dx->OnRestoreSurface = [this](TObject*) { log.push_back("OnRestoreSurface"); };
  }

  std::unique_ptr<TApplicationScope> app;
  TDXForm* form = nullptr;
  TDXDraw* dx = nullptr;
  std::vector<std::string> log;
  Recorder a{&log, "A"}, b{&log, "B"};
};

// ---------------------------------------------------------------------------------------------
TEST(DXDrawOptions, FilteringForTheGameAndTheDefaults) {
  EXPECT_EQ(FilterDXDrawOptions({doFullScreen, doFlip}), (TDXDrawOptions{doFullScreen, doFlip}));
  EXPECT_TRUE(FilterDXDrawOptions({doFlip}).Empty());
  EXPECT_EQ(FilterDXDrawOptions({doAllowReboot, doWaitVBlank, doCenter, doDirectX7Mode, doHardware,
                                 doSelectDriver}),
            (TDXDrawOptions{doWaitVBlank, doCenter}));
  EXPECT_EQ(FilterDXDrawOptions({doFullScreen, doFlip, doSystemMemory, doAllowPalette256}),
            (TDXDrawOptions{doFullScreen, doSystemMemory, doAllowPalette256}));
  EXPECT_EQ(FilterDXDrawOptions({do3D, doDirectX7Mode, doRetainedMode, doHardware, doZBuffer}),
            (TDXDrawOptions{do3D, doDirectX7Mode, doZBuffer}));
  EXPECT_EQ(FilterDXDrawOptions({do3D, doRetainedMode}), (TDXDrawOptions{do3D, doRetainedMode}));
  TDXDrawOptions o{doCenter};
  EXPECT_EQ(o.Bits(), 1u << 7);
  EXPECT_TRUE((o + doFlip).Contains(doFlip));
  EXPECT_FALSE((o - doCenter).Contains(doCenter));
}

TEST_F(DXDrawTest, ConstructionDefaults) {
  TDXDraw fresh(nullptr);
  EXPECT_TRUE(fresh.AutoInitialize);
  EXPECT_TRUE(fresh.AutoSize());
  EXPECT_EQ(fresh.Display().Width(), 640);
  EXPECT_EQ(fresh.Display().Height(), 480);
  EXPECT_EQ(fresh.Display().BitCount(), 8);
  EXPECT_TRUE(fresh.Display().FixedBitCount);
  EXPECT_TRUE(fresh.Display().FixedRatio);
  EXPECT_FALSE(fresh.Display().FixedSize);
  EXPECT_EQ(fresh.Options(), (TDXDrawOptions{doAllowReboot, doWaitVBlank, doCenter, doDirectX7Mode,
                                             doHardware, doSelectDriver}));
  EXPECT_EQ(fresh.NowOptions(), (TDXDrawOptions{doWaitVBlank, doCenter}));
  EXPECT_EQ(fresh.Width(), 100);
  EXPECT_EQ(fresh.Height(), 100);
  EXPECT_EQ(fresh.SurfaceWidth(), 100);  // AutoSize: the stored size follows the control
  EXPECT_EQ(fresh.ColorTable, SystemPaletteQuads());
  EXPECT_EQ(fresh.DefaultColorTable, SystemPaletteQuads());
  // The system colours beyond the picture lists' sixteen fixed ones (whose test compares them with
  // this table): money green, sky blue, cream, medium grey.
  const TRGBQuads sys = SystemPaletteQuads();
  EXPECT_EQ(sys[8], (TRGBQuad{192, 220, 192, 0}));
  EXPECT_EQ(sys[9], (TRGBQuad{240, 202, 166, 0}));
  EXPECT_EQ(sys[246], (TRGBQuad{240, 251, 255, 0}));
  EXPECT_EQ(sys[247], (TRGBQuad{164, 160, 160, 0}));
  fresh.Display().SetWidth(-5);
  EXPECT_EQ(fresh.Display().Width(), 0);
  try {
    fresh.Display().SetBitCount(12);
    FAIL() << "no error";
  } catch (const EDirectDrawError& e) {
    EXPECT_STREQ(e.what(), "It should be either of 8 or 16 or 24 or 32");
  }
  EXPECT_EQ(fresh.Display().BitCount(), 8);
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, ModeListIsSortedAndSelectionTakesTheExactMode) {
  hl.video->SetModes({{1024, 768, 16}, {800, 600, 32}, {800, 600, 16}, {640, 480, 16}});
  TDXDrawDisplay& d = dx->Display();
  ASSERT_EQ(d.Count(), 4);
  EXPECT_EQ(d.Modes(0), (TDXDrawDisplayMode{640, 480, 16}));
  EXPECT_EQ(d.Modes(1), (TDXDrawDisplayMode{800, 600, 16}));
  EXPECT_EQ(d.Modes(2), (TDXDrawDisplayMode{800, 600, 32}));
  EXPECT_EQ(d.IndexOf(1024, 768, 16), 3);
  EXPECT_THROW(d.Modes(4), EListError);
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 800);
  EXPECT_EQ(d.Height(), 600);
  EXPECT_EQ(d.BitCount(), 16);
  EXPECT_FALSE(d.SelectDisplayMode(0, 600, 16));
  EXPECT_FALSE(d.SelectDisplayMode(800, -1, 16));
  EXPECT_FALSE(d.SelectDisplayMode(800, 600, 12));
}

TEST_F(DXDrawTest, SelectionFallsBackToTheSmallestLargerModeRatioFirst) {
  TDXDrawDisplay& d = dx->Display();
  // No 800 x 600: the 4:3 1024 x 768 wins over the smaller 5:4 one.
  hl.video->SetModes({{640, 480, 16}, {900, 720, 16}, {1024, 768, 16}, {1280, 960, 16}});
  d.ClearModes();
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 1024);
  EXPECT_EQ(d.Height(), 768);
  // Without the ratio rule the smallest big enough mode wins.
  d.FixedRatio = false;
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 900);
  EXPECT_EQ(d.Height(), 720);
  // No 4:3 mode at all: any ratio.
  d.FixedRatio = true;
  hl.video->SetModes({{900, 720, 16}, {1280, 1024, 16}, {700, 600, 16}});
  d.ClearModes();
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 900);
  EXPECT_EQ(d.Height(), 720);
  // FixedSize: nothing but 800 x 600 will do.
  d.FixedSize = true;
  EXPECT_FALSE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 900);  // unchanged on failure
}

TEST_F(DXDrawTest, SelectionAndTheBitCount) {
  TDXDrawDisplay& d = dx->Display();
  hl.video->SetModes({{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}});
  d.ClearModes();
  // Fixed depth: 800 x 600 exists only at 32 bits, so 1024 x 768 x 16.
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 1024);
  EXPECT_EQ(d.BitCount(), 16);
  // Free depth: both high depths pass, 800 x 600 x 32 is the smallest.
  d.FixedBitCount = false;
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.Width(), 800);
  EXPECT_EQ(d.BitCount(), 32);
  // Free depth at a size with both depths: the later (deeper) mode passes, the asked depth is
  // preferred when the list has it at that size.
  hl.video->SetModes({{1024, 768, 16}, {1024, 768, 32}});
  d.ClearModes();
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_EQ(d.BitCount(), 16);
  // Below 9 bits the mode must be at least as deep as asked.
  hl.video->SetModes({{1024, 768, 8}});
  d.ClearModes();
  EXPECT_FALSE(d.SelectDisplayMode(800, 600, 16));
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 8));
  hl.video->SetModes({{1024, 768, 16}});
  d.ClearModes();
  EXPECT_TRUE(d.SelectDisplayMode(800, 600, 8));
  EXPECT_EQ(d.BitCount(), 16);
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, InitializeBroadcastsInOrderLastListenerFirst) {
  dx->RegisterListener(&Recorder::Notify, &a);
  dx->RegisterListener(&Recorder::Notify, &b);
  EXPECT_EQ(log, L({"A:7", "B:7"}));  // each is told SizeChanged at once
  log.clear();
  LogEvents();
  dx->Initialize();
  EXPECT_TRUE(dx->Initialized());
  EXPECT_EQ(log, L({"OnInitializing", "B:1", "A:1", "B:7", "A:7", "B:2", "A:2", "OnInitialize",
                    "B:3", "A:3", "OnInitializeSurface", "B:6", "A:6", "OnRestoreSurface"}));
  log.clear();
  dx->Finalize();
  EXPECT_FALSE(dx->Initialized());
  EXPECT_EQ(log, L({"OnFinalizeSurface", "B:5", "A:5", "OnFinalize", "B:4", "A:4"}));
  log.clear();
  dx->Finalize();  // no device: nothing
  EXPECT_TRUE(log.empty());
  dx->Restore();  // not initialised: nothing
  EXPECT_TRUE(log.empty());
}

TEST_F(DXDrawTest, InitializeAgainFinalizesFirst) {
  dx->Initialize();
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  LogEvents();
  dx->Initialize();
  EXPECT_EQ(log,
            L({"OnFinalizeSurface", "A:5", "OnFinalize", "A:4", "OnInitializing", "A:1", "A:7",
               "A:2", "OnInitialize", "A:3", "OnInitializeSurface", "A:6", "OnRestoreSurface"}));
}

TEST_F(DXDrawTest, ListenerRegistrationCatchesUp) {
  dx->Initialize();
  dx->RegisterListener(&Recorder::Notify, &a);
  EXPECT_EQ(log, L({"A:7", "A:2", "A:3", "A:6"}));
  log.clear();
  // Registering again replaces the first registration.
  dx->RegisterListener(&Recorder::Notify, &b);
  dx->RegisterListener(&Recorder::Notify, &a);
  EXPECT_EQ(dx->ListenerCount(), 2);
  log.clear();
  dx->Restore();
  EXPECT_EQ(log, L({"A:6", "B:6"}));  // a is now the last registered
  log.clear();
  dx->UnregisterListener(&Recorder::Notify, &a);
  EXPECT_EQ(log, L({"A:5", "A:4"}));
  EXPECT_EQ(dx->ListenerCount(), 1);
  log.clear();
  dx->UnregisterListener(&Recorder::Notify, &a);  // not registered: nothing
  EXPECT_TRUE(log.empty());
  dx->Finalize();
  log.clear();
  dx->UnregisterListener(&Recorder::Notify, &b);  // not initialised: removed silently
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(dx->ListenerCount(), 0);
}

TEST_F(DXDrawTest, ListenerRegisteredDuringInitializationWaitsForItsRestore) {
  dx->OnInitialize = [this](TObject*) {
    log.push_back("OnInitialize");
    dx->RegisterListener(&Recorder::Notify, &a);
  };
  dx->Initialize();
  // Surface event not yet fired and an initialisation running: no 3, no 6 at registration; both
  // come from the initialisation itself.
  EXPECT_EQ(log, L({"OnInitialize", "A:7", "A:2", "A:3", "A:6"}));
}

TEST_F(DXDrawTest, DestroyingTheDisplayFinalizesAndSaysDestroying) {
  dx->Initialize();
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  LogEvents();
  delete dx;
  EXPECT_EQ(log, L({"OnFinalizeSurface", "A:5", "OnFinalize", "A:4", "A:0"}));
}

TEST_F(DXDrawTest, FinalizeGoesOnWhenAHandlerFails) {
  dx->Initialize();
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  dx->OnFinalizeSurface = [](TObject*) { throw std::runtime_error("boom"); };
  dx->OnFinalize = [this](TObject*) { log.push_back("OnFinalize"); };
  EXPECT_THROW(dx->Finalize(), std::runtime_error);
  EXPECT_EQ(log, L({"A:5", "OnFinalize", "A:4"}));
  EXPECT_FALSE(dx->Initialized());
  EXPECT_EQ(dx->Back(), nullptr);
  EXPECT_FALSE(dx->Updating());
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, FullScreenUsesTheModeSizeNotTheStoredSize) {
  EXPECT_EQ(dx->SurfaceWidth(), 792);
  EXPECT_EQ(dx->SurfaceHeight(), 481);
  dx->Initialize();
  EXPECT_TRUE(hl.video->FullScreen());
  EXPECT_NE(dynamic_cast<TDXDrawDriverFlip*>(dx->Driver()), nullptr);
  EXPECT_EQ(dx->NowOptions(), (TDXDrawOptions{doFullScreen, doFlip}));
  ASSERT_NE(dx->Back(), nullptr);
  EXPECT_EQ(dx->Back()->Width(), 800);
  EXPECT_EQ(dx->Back()->Height(), 600);
  EXPECT_EQ(dx->Back()->BitCount(), 16);
  EXPECT_EQ(dx->SurfaceWidth(), 800);
  EXPECT_EQ(dx->SurfaceHeight(), 600);
  EXPECT_EQ(dx->Primary()->Width(), 800);
  // The full-screen driver cannot resize.
  EXPECT_FALSE(dx->SetSurfaceSize(640, 480));
  EXPECT_EQ(dx->Back()->Width(), 800);
  dx->Finalize();
  EXPECT_EQ(dx->SurfaceWidth(), 800);  // carried over
  EXPECT_EQ(dx->SurfaceHeight(), 600);
}

TEST_F(DXDrawTest, FullScreenFallsBackTo1024x768) {
  hl.video->SetModes({{640, 480, 16}, {1024, 768, 16}, {1280, 1024, 16}});
  dx->Initialize();
  EXPECT_EQ(dx->Display().Width(), 1024);
  EXPECT_EQ(dx->Display().Height(), 768);
  EXPECT_EQ(dx->Back()->Width(), 1024);
  EXPECT_EQ(dx->SurfaceWidth(), 1024);
}

TEST_F(DXDrawTest, ModeFailureFinalizesAndRaises) {
  hl.video->SetModes({{640, 480, 16}});
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  LogEvents();
  try {
    dx->Initialize();
    FAIL() << "no error";
  } catch (const EDXDrawError& e) {
    EXPECT_STREQ(e.what(), "Display mode cannot be changed (800x600 16bit)");
  }
  EXPECT_FALSE(dx->Initialized());
  EXPECT_EQ(dx->Back(), nullptr);
  EXPECT_FALSE(dx->CanDraw());
  // The finalisation broadcasts run, the finalisation events do not (nothing was initialised).
  EXPECT_EQ(log, L({"OnInitializing", "A:1", "A:5", "A:4"}));
}

TEST_F(DXDrawTest, NoFormNoInitialization) {
  TDXDraw loose(nullptr);
  try {
    loose.Initialize();
    FAIL() << "no error";
  } catch (const EDXDrawError& e) {
    EXPECT_STREQ(e.what(), "Form not found");
  }
  EXPECT_TRUE(loose.InitializeAttempted());
  EXPECT_FALSE(loose.Initialized());
}

TEST_F(DXDrawTest, SwitchToAWindowAndBack) {
  form->Show();
  dx->Initialize();
  ASSERT_TRUE(hl.video->FullScreen());
  dx->SetCursor(crNone);
  dx->SwitchFullScreen();
  // Window mode: no flipping, Back keeps the full-screen size, the window is sizeable.
  EXPECT_TRUE(dx->Initialized());
  EXPECT_FALSE(hl.video->FullScreen());
  EXPECT_TRUE(dx->NowOptions().Empty());
  EXPECT_EQ(dx->Options(), (TDXDrawOptions{doFlip}));
  EXPECT_NE(dynamic_cast<TDXDrawDriverBlt*>(dx->Driver()), nullptr);
  EXPECT_EQ(dx->Back()->Width(), 800);
  EXPECT_EQ(dx->Back()->Height(), 600);
  EXPECT_EQ(dx->Cursor(), crDefault);
  EXPECT_EQ(form->BorderStyle(), bsSizeable);
  EXPECT_TRUE(hl.video->Border());
  EXPECT_EQ(form->Width(), 800);
  EXPECT_EQ(form->Height(), 600);
  // And back to full screen: the window placement is stored for the next switch.
  form->SetBounds(30, 40, 800, 600);
  dx->SwitchFullScreen();
  EXPECT_TRUE(hl.video->FullScreen());
  EXPECT_EQ(dx->NowOptions(), (TDXDrawOptions{doFullScreen, doFlip}));
  EXPECT_EQ(dx->Cursor(), crNone);
  EXPECT_EQ(form->BorderStyle(), bsNone);
  EXPECT_FALSE(hl.video->Border());
  EXPECT_TRUE(form->WindowStored());
  form->SetBounds(0, 0, 800, 600);
  dx->SwitchFullScreen();
  EXPECT_FALSE(form->WindowStored());
  EXPECT_EQ(form->Left(), 30);
  EXPECT_EQ(form->Top(), 40);
  EXPECT_FALSE(hl.video->FullScreen());
}

TEST_F(DXDrawTest, WindowModeSurfaceSizeChanges) {
  dx->SetOptions({doFlip});
  dx->Initialize();
  EXPECT_EQ(dx->Back()->Width(), 792);
  EXPECT_EQ(dx->Back()->Height(), 481);
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  LogEvents();
  TDirectDrawSurface* back = dx->Back();
  dx->SetSurfaceWidth(320);
  EXPECT_EQ(log, L({"A:5", "OnFinalizeSurface", "A:3", "OnInitializeSurface", "A:7"}));
  EXPECT_EQ(dx->Back(), back);  // the same surface object, new size
  EXPECT_EQ(dx->SurfaceWidth(), 320);
  EXPECT_EQ(dx->SurfaceHeight(), 481);
  log.clear();
  dx->SetSurfaceWidth(320);  // unchanged: nothing
  EXPECT_TRUE(log.empty());
  dx->SetSurfaceSize(0, -4);
  EXPECT_EQ(dx->Back()->Width(), 1);
  EXPECT_EQ(dx->Back()->Height(), 1);
}

TEST_F(DXDrawTest, AutoSizeFollowsTheControl) {
  dx->SetOptions({});
  dx->SetAutoSize(true);
  dx->SetBounds(0, 0, 300, 200);
  EXPECT_EQ(dx->SurfaceWidth(), 300);
  dx->Initialize();
  EXPECT_EQ(dx->Back()->Width(), 300);
  dx->SetBounds(0, 0, 320, 240);
  EXPECT_EQ(dx->Back()->Width(), 320);
  EXPECT_EQ(dx->Back()->Height(), 240);
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, FullScreenFlipPresentsOnlyInFront) {
  form->Show();
  dx->Initialize();
  ASSERT_TRUE(dx->CanDraw());
  dx->Back()->Fill(0);
  dx->Back()->SetPixel(5, 7, 0xF800);
  const int before = hl.video->FrameCount();
  hl.video->SetForeground(false);
  dx->Flip();
  EXPECT_EQ(hl.video->FrameCount(), before);
  EXPECT_TRUE(dx->CanDraw());  // the frame loop still runs
  hl.video->SetForeground(true);
  dx->Flip();
  ASSERT_EQ(hl.video->FrameCount(), before + 1);
  EXPECT_EQ(hl.video->LastFrame().width, 800);
  EXPECT_EQ(hl.video->Pixel565(5, 7), 0xF800);
  EXPECT_EQ(hl.video->Pixel565(6, 7), 0);
  // Another form of the program in front: nothing either.
  TForm* other = new TForm(nullptr);
  other->SetBounds(0, 0, 50, 50);
  other->Show();
  dx->Flip();
  EXPECT_EQ(hl.video->FrameCount(), before + 1);
}

// The full-screen flip shows the finished frame without copying it; what is on show keeps its
// pixels while the next frame is drawn, even when the visible surface itself is written.
TEST_F(DXDrawTest, FullScreenFlipKeepsTheFrameOnShow) {
  form->Show();
  dx->Initialize();
  dx->Back()->Fill(0);
  dx->Back()->SetPixel(5, 7, 0xF800);
  dx->Flip();
  dx->Back()->Fill(0x07E0);
  dx->Primary()->Fill(0x001F);
  EXPECT_EQ(hl.video->Pixel565(5, 7), 0xF800);
  EXPECT_EQ(hl.video->Pixel565(6, 7), 0);
  dx->Flip();
  EXPECT_EQ(hl.video->Pixel565(5, 7), 0x07E0);
}

TEST_F(DXDrawTest, FlipWaitsForTheCanvas) {
  form->Show();
  dx->Initialize();
  const int before = hl.video->FrameCount();
  dx->Back()->Canvas()->FillRect(Rect(0, 0, 4, 4));
  dx->Flip();
  EXPECT_EQ(hl.video->FrameCount(), before);
  dx->Back()->ReleaseCanvas();
  dx->Flip();
  EXPECT_EQ(hl.video->FrameCount(), before + 1);
  EXPECT_EQ(hl.video->Pixel565(1, 1), 0xFFFF);  // the canvas's default white brush
}

TEST_F(DXDrawTest, WindowFlipCopiesBackAtTheControlOrigin) {
  form->Show();
  dx->SetBounds(10, 20, 100, 60);
  dx->SetOptions({doFlip});  // window mode; no doCenter
  dx->SetSurfaceSize(50, 30);
  dx->Initialize();
  ASSERT_EQ(dx->Back()->Width(), 50);
  dx->Back()->SetPixel(0, 0, 0x07E0);
  dx->Back()->SetPixel(49, 29, 0x001F);
  hl.video->SetForeground(false);  // a window is presented even when not in front
  const int before = hl.video->FrameCount();
  dx->Flip();
  ASSERT_EQ(hl.video->FrameCount(), before + 1);
  EXPECT_EQ(hl.video->LastFrame().width, 800);
  EXPECT_EQ(hl.video->Pixel565(10, 20), 0x07E0);
  EXPECT_EQ(hl.video->Pixel565(59, 49), 0x001F);
  EXPECT_EQ(hl.video->Pixel565(9, 20), 0);
}

TEST_F(DXDrawTest, WindowFlipCentresAndStretches) {
  form->Show();
  dx->SetBounds(10, 20, 101, 61);
  dx->SetOptions({doCenter});
  dx->SetSurfaceSize(50, 30);
  dx->Initialize();
  dx->Back()->SetPixel(0, 0, 0x07E0);
  dx->Flip();
  // (101 - 50) div 2 = 25, (61 - 30) div 2 = 15.
  EXPECT_EQ(hl.video->Pixel565(35, 35), 0x07E0);
  EXPECT_EQ(hl.video->Pixel565(34, 35), 0);

  dx->SetOptions({doStretch});  // taken over at once while initialised
  EXPECT_TRUE(dx->NowOptions().Contains(doStretch));
  dx->Back()->Fill(0);
  dx->Back()->SetPixel(1, 0, 0xF800);
  dx->Primary()->Fill(0);
  dx->Flip();
  // 50 -> 101 columns: back column 1 covers frame columns 10 + 3 and 10 + 4.
  EXPECT_EQ(hl.video->Pixel565(10 + 2, 20), 0);
  EXPECT_EQ(hl.video->Pixel565(10 + 3, 20), 0xF800);
  EXPECT_EQ(hl.video->Pixel565(10 + 4, 20), 0xF800);
  EXPECT_EQ(hl.video->Pixel565(10 + 5, 20), 0);
}

TEST_F(DXDrawTest, OptionsWhileInitialisedWaitForTheNextInitialize) {
  dx->Initialize();
  dx->SetOptions({doFlip, doWaitVBlank});
  EXPECT_EQ(dx->NowOptions(), (TDXDrawOptions{doFullScreen, doFlip, doWaitVBlank}));
  dx->Finalize();
  EXPECT_EQ(dx->NowOptions(), (TDXDrawOptions{doWaitVBlank}));
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, LossIsRepairedByCanDrawAndListenersRebuild) {
  dx->Initialize();
  TDirectDrawSurface image(dx->DDraw());  // an image surface made on the device
  image.SetSize(4, 4);
  dx->RegisterListener(&Recorder::Notify, &a);
  log.clear();
  LogEvents();
  dx->SimulateLoss();
  EXPECT_TRUE(dx->Back()->IsLost());
  EXPECT_TRUE(image.IsLost());
  EXPECT_TRUE(dx->CanDraw());
  EXPECT_FALSE(dx->Back()->IsLost());
  EXPECT_EQ(log, L({"A:6", "OnRestoreSurface"}));
  log.clear();
  EXPECT_TRUE(dx->CanDraw());  // nothing lost now: no restore
  EXPECT_TRUE(log.empty());
  dx->SimulateLoss();
  dx->Flip();
  EXPECT_EQ(log, L({"A:6", "OnRestoreSurface"}));
}

TEST_F(DXDrawTest, CanDrawIsFalseWhileUpdating) {
  EXPECT_FALSE(dx->CanDraw());
  bool during = true;
  dx->OnRestoreSurface = [&](TObject*) { during = dx->CanDraw(); };
  dx->Initialize();
  EXPECT_FALSE(during);
  EXPECT_TRUE(dx->CanDraw());
}

TEST_F(DXDrawTest, PaletteWritesTheTables) {
  for (int i = 0; i < 256; ++i) {
    dx->DefaultColorTable[i] = TRGBQuad{1, 2, 3, 0};
    dx->ColorTable[i] = TRGBQuad{static_cast<uint8_t>(i), 20, 30, 0};
  }
  TPaletteEntry duringRestore{};
  dx->OnRestoreSurface = [&](TObject*) { duringRestore = dx->Palette()->Entries()[100]; };
  dx->Initialize();
  EXPECT_EQ(duringRestore, (TPaletteEntry{3, 2, 1, 0x40}));
  const auto& e = dx->Palette()->Entries();
  EXPECT_EQ(e[100], (TPaletteEntry{30, 20, 100, 0x40}));
  // The system keeps its twenty colours.
  EXPECT_EQ(e[0], (TPaletteEntry{0, 0, 0, 0x40}));
  EXPECT_EQ(e[249], (TPaletteEntry{255, 0, 0, 0x40}));
  EXPECT_EQ(e[245], (TPaletteEntry{30, 20, 245, 0x40}));
  dx->ColorTable[120] = TRGBQuad{9, 8, 7, 0};
  const int writes = dx->Palette()->WriteCount();
  dx->UpdatePalette();
  EXPECT_EQ(dx->Palette()->WriteCount(), writes + 1);
  EXPECT_EQ(dx->Palette()->Entries()[120], (TPaletteEntry{7, 8, 9, 0x40}));
  // With doAllowPalette256 every entry is the table's.
  dx->SetOptions({doFullScreen, doFlip, doAllowPalette256});
  dx->Initialize();
  EXPECT_EQ(dx->Palette()->Entries()[249], (TPaletteEntry{30, 20, 249, 0x40}));
}

// ---------------------------------------------------------------------------------------------
TEST_F(DXDrawTest, AutomaticInitializationAfterTheFirstActivation) {
  dx->AutoInitialize = true;
  LogEvents();
  form->OnActivate = [this](TObject*) {
    log.push_back(dx->Initialized() ? "FormActivate(initialised)" : "FormActivate");
  };
  form->Show();
  EXPECT_TRUE(dx->Initialized());
  EXPECT_EQ(log, L({"FormActivate", "OnInitializing", "OnInitialize", "OnInitializeSurface",
                    "OnRestoreSurface"}));
  // Attempted once: a finalised display is not brought back by activation.
  dx->Finalize();
  TForm* other = new TForm(nullptr);
  other->Show();
  form->Show();
  EXPECT_FALSE(dx->Initialized());
}

TEST_F(DXDrawTest, LoadingStoresSizesAndEndsWithSizeChanged) {
  TDXForm* f2 = new TDXForm(nullptr);
  f2->BeginLoading();
  auto* d2 = new TDXDraw(f2);
  d2->SetParent(f2);
  d2->RegisterListener(&Recorder::Notify, &a);
  d2->SetAutoSize(false);
  d2->SetSurfaceWidth(792);
  d2->SetSurfaceHeight(481);
  EXPECT_EQ(log, L({"A:7"}));  // only the registration's own notice while loading
  f2->EndLoading();
  EXPECT_EQ(log, L({"A:7", "A:7"}));
  EXPECT_FALSE(d2->Initialized());  // deferred to the first showing of the TDXForm
  EXPECT_EQ(d2->SurfaceWidth(), 792);
  EXPECT_EQ(d2->SurfaceHeight(), 481);
}

TEST_F(DXDrawTest, PlainFormInitializesAtLoad) {
  TForm* plain = new TForm(nullptr);
  plain->BeginLoading();
  auto* d2 = new TDXDraw(plain);
  d2->SetParent(plain);
  d2->Display().SetBitCount(16);
  d2->SetOptions({});
  plain->EndLoading();
  EXPECT_TRUE(d2->Initialized());
  EXPECT_EQ(d2->Back()->Width(), 100);
}

TEST_F(DXDrawTest, DestroyingTheFormFinalizesTheDisplay) {
  dx->Initialize();
  EXPECT_GE(TDXForm::Count(), 1);
  const int count = TDXForm::Count();
  LogEvents();
  delete form;
  EXPECT_EQ(TDXForm::Count(), count - 1);
  EXPECT_EQ(log, L({"OnFinalizeSurface", "OnFinalize"}));
}

}  // namespace
