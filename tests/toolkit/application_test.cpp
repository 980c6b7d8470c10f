// The message loop: idle slot, window timers, error report, modal loops, key routing,
// activation.
#include <string>
#include <vector>

#include "platform/keys.h"
#include "toolkit/errors.h"
#include "toolkit/timers.h"
#include "toolkit_fixture.h"

using platform::Event;
using platform::EventKind;

namespace {

class LoopTest : public ToolkitTest {};

TEST_F(LoopTest, IdleSlotHoldsOneCallbackAndTheLastOneWins) {
  int a = 0, b = 0;
  Application->SetOnIdle([&](bool&) { ++a; });
  Application->SetOnIdle([&](bool&) { ++b; });
  EXPECT_TRUE(Application->Step());
  EXPECT_TRUE(Application->Step());
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 2);
  Application->ClearOnIdle();
  EXPECT_FALSE(Application->Step());
  EXPECT_EQ(b, 2);
}

TEST_F(LoopTest, IdleThatIsDoneLetsTheLoopWaitForTheNextEvent) {
  // A done idle pass is followed by a wait, which takes the event the idle pass posted; a pass
  // that is not done returns at once and leaves it for the next pass.
  TForm* main = new TForm(nullptr);
  main->KeyPreview = true;
  int keys = 0;
  main->OnKeyDown = [&](TObject*, int&, TShiftState) { ++keys; };
  main->Show();
  bool done = true;
  Application->SetOnIdle([&](bool& d) {
    hl.events->PushKeyDown('A');
    d = done;
  });
  Application->HandleMessage();
  EXPECT_EQ(keys, 1);

  hl.events->Clear();
  keys = 0;
  done = false;
  Application->HandleMessage();
  EXPECT_EQ(keys, 0);
  EXPECT_EQ(hl.events->Pending(), 1u);
}

TEST_F(LoopTest, EventsComeBeforeTimersAndTimersBeforeIdle) {
  std::vector<std::string> log;
  TTimer t(nullptr);
  t.SetInterval(10);
  t.OnTimer = [&](TObject*) { log.push_back("timer"); };
  Application->SetOnIdle([&](bool&) { log.push_back("idle"); });
  TForm* main = new TForm(nullptr);
  main->KeyPreview = true;
  main->OnKeyDown = [&](TObject*, int&, TShiftState) { log.push_back("key"); };
  main->Show();
  hl.events->PushKeyDown('A');
  hl.clock->Advance(10);
  Application->Step();
  Application->Step();
  Application->Step();
  EXPECT_EQ(log, (std::vector<std::string>{"key", "timer", "idle"}));
}

TEST_F(LoopTest, TimerTicksAfterItsIntervalAndRestartWaitsAFullInterval) {
  hl.clock->Set(1000);
  TTimer t(nullptr);
  t.SetInterval(100);
  int ticks = 0;
  t.OnTimer = [&](TObject* s) {
    EXPECT_EQ(s, &t);
    ++ticks;
  };
  hl.clock->Set(1099);
  Application->Step();
  EXPECT_EQ(ticks, 0);
  hl.clock->Set(1100);
  Application->Step();
  EXPECT_EQ(ticks, 1);
  // Restarted at 1150: the next tick is due at 1250, not at 1200.
  hl.clock->Set(1150);
  t.SetEnabled(false);
  t.SetEnabled(true);
  hl.clock->Set(1249);
  Application->Step();
  EXPECT_EQ(ticks, 1);
  hl.clock->Set(1250);
  Application->Step();
  EXPECT_EQ(ticks, 2);
  // Disabled timers never tick.
  t.SetEnabled(false);
  hl.clock->Advance(10000);
  Application->Step();
  EXPECT_EQ(ticks, 2);
}

TEST_F(LoopTest, AHeldTimerStandsStillAndCountsOnWhereItStood) {
  hl.clock->Set(1000);
  TTimer t(nullptr);
  t.SetInterval(100);
  int ticks = 0;
  t.OnTimer = [&](TObject*) { ++ticks; };
  hl.clock->Set(1060);
  t.SetPaused(true);
  EXPECT_EQ(t.MsUntilDue(1060), UINT32_MAX);
  hl.clock->Set(5000);  // long past the due time: nothing ticks while held
  Application->Step();
  EXPECT_EQ(ticks, 0);
  t.SetPaused(false);  // 40 ms were left
  EXPECT_EQ(t.MsUntilDue(5000), 40u);
  hl.clock->Set(5039);
  Application->Step();
  EXPECT_EQ(ticks, 0);
  hl.clock->Set(5040);
  Application->Step();
  EXPECT_EQ(ticks, 1);
  // Restarted while held, it waits its full interval from the letting go.
  t.SetPaused(true);
  t.SetEnabled(false);
  t.SetEnabled(true);
  hl.clock->Set(9000);
  t.SetPaused(false);
  EXPECT_EQ(t.MsUntilDue(9000), 100u);
}

TEST_F(LoopTest, LateTimerTicksOncePerPassAndNeverInsideItsOwnHandler) {
  TTimer t(nullptr);
  t.SetInterval(100);
  int ticks = 0, depth = 0, maxDepth = 0;
  t.OnTimer = [&](TObject*) {
    ++ticks;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (ticks == 1) {
      hl.clock->Advance(500);          // the handler takes long: the timer is due again
      Application->ProcessMessages();  // a nested loop while the handler runs
    }
    --depth;
  };
  hl.clock->Advance(1000);  // ten intervals late
  Application->Step();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(maxDepth, 1);
  // Late ticks are not made up in a burst: one per pass, then a full interval again.
  Application->Step();
  EXPECT_EQ(ticks, 2);
  Application->Step();
  EXPECT_EQ(ticks, 2);
  hl.clock->Advance(99);
  Application->Step();
  EXPECT_EQ(ticks, 2);
  hl.clock->Advance(1);
  Application->Step();
  EXPECT_EQ(ticks, 3);
}

TEST_F(LoopTest, ErrorsAreReportedAndTheLoopGoesOn) {
  TTimer t(nullptr);
  t.SetInterval(50);
  int ticks = 0;
  t.OnTimer = [&](TObject*) {
    ++ticks;
    if (ticks == 1) throw Exception("Image 'zz' not found");
  };
  int idles = 0;
  Application->SetOnIdle([&](bool& done) {
    done = false;
    if (++idles == 1) throw EFOpenError("Cannot open file \"x\". No such file");
  });
  hl.clock->Advance(50);
  Application->Step();  // timer fails
  Application->Step();  // idle fails
  Application->Step();  // idle runs again
  hl.clock->Advance(50);
  Application->Step();  // timer runs again
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(idles, 2);
  const auto& msgs = hl.dialogs->Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].title, "KobalTix v. 1.3");
  EXPECT_EQ(msgs[0].text, "Image 'zz' not found");
  EXPECT_EQ(msgs[1].text, "Cannot open file \"x\". No such file");
}

TEST_F(LoopTest, KeyHandlerErrorIsReportedAndLaterKeysStillArrive) {
  TForm* main = new TForm(nullptr);
  main->KeyPreview = true;
  int keys = 0;
  main->OnKeyDown = [&](TObject*, int&, TShiftState) {
    if (++keys == 1) throw Exception("bad key");
  };
  main->Show();
  Key('A');
  Key('B');
  EXPECT_EQ(keys, 2);
  ASSERT_EQ(hl.dialogs->Messages().size(), 1u);
  EXPECT_EQ(hl.dialogs->Messages()[0].text, "bad key");
}

TEST_F(LoopTest, QuitClosesTheMainFormUnlessItRefuses) {
  TForm* main = new TForm(nullptr);
  bool refuse = true;
  main->OnClose = [&](TObject*, TCloseAction& a) {
    if (refuse) a = caNone;
  };
  main->Show();
  hl.events->Push(Event{EventKind::Quit});
  Drain();
  EXPECT_FALSE(Application->Terminated());
  refuse = false;
  hl.events->Push(Event{EventKind::Quit});
  Application->Run();  // returns once the quit has closed the main form
  EXPECT_TRUE(Application->Terminated());
}

// ---------------------------------------------------------------------------------------------
class FormTest : public ToolkitTest {};

TEST_F(FormTest, FirstFormIsTheMainForm) {
  TForm* a = new TForm(nullptr);
  TForm* b = new TForm(nullptr);
  EXPECT_EQ(Application->MainForm(), a);
  EXPECT_TRUE(a->IsMainForm());
  EXPECT_FALSE(b->IsMainForm());
}

TEST_F(FormTest, HidingAShownFormActivatesTheMainFormAgain) {
  TForm* main = new TForm(nullptr);
  TForm* loading = new TForm(nullptr);
  std::vector<std::string> log;
  main->OnActivate = [&](TObject*) { log.push_back("main"); };
  loading->OnActivate = [&](TObject*) { log.push_back("loading"); };
  main->Show();
  loading->Show();
  EXPECT_TRUE(loading->Active());
  loading->Hide();
  EXPECT_TRUE(main->Active());
  EXPECT_EQ(log, (std::vector<std::string>{"main", "loading", "main"}));
}

TEST_F(FormTest, ReactivationInsideTheActivationHandlerIsIgnored) {
  // The loading window is shown and hidden from inside the main form's first activation: the
  // main form becomes active again, but its handler does not run a second time inside itself.
  TForm* main = new TForm(nullptr);
  TForm* loading = new TForm(nullptr);
  int mainActivations = 0;
  main->OnActivate = [&](TObject*) {
    if (++mainActivations == 1) {
      loading->Show();
      EXPECT_TRUE(loading->Active());
      loading->Hide();
    }
  };
  main->Show();
  EXPECT_EQ(mainActivations, 1);
  EXPECT_TRUE(main->Active());
  EXPECT_FALSE(loading->Visible());
  // A later activation from outside the handler does reach it.
  loading->Show();
  loading->Hide();
  EXPECT_EQ(mainActivations, 2);
}

TEST_F(FormTest, ShowModalRunsANestedLoopUntilTheFormCloses) {
  TForm* main = new TForm(nullptr);
  TForm* entry = new TForm(nullptr);
  int mainActivations = 0;
  main->OnActivate = [&](TObject*) { ++mainActivations; };
  entry->KeyPreview = true;
  entry->OnKeyDown = [&](TObject* s, int& key, TShiftState) {
    if (key == platform::VK_RETURN) static_cast<TForm*>(s)->Close();
  };
  main->Show();
  // Keys typed before the window opens are handled by its own loop.
  hl.events->PushKeyDown('A');
  hl.events->PushKeyDown(platform::VK_RETURN);
  hl.events->PushKeyDown('B');
  TModalResult r = entry->ShowModal();
  EXPECT_EQ(r, mrCancel);
  EXPECT_FALSE(entry->Visible());
  EXPECT_FALSE(entry->Modal());
  EXPECT_TRUE(main->Active());
  EXPECT_EQ(mainActivations, 2);
  // The key after the closing one is left for the outer loop.
  EXPECT_EQ(hl.events->Pending(), 1u);
}

TEST_F(FormTest, NestedModalFormsUnwindInOrder) {
  TForm* main = new TForm(nullptr);
  TForm* outer = new TForm(nullptr);
  TForm* inner = new TForm(nullptr);
  std::vector<std::string> log;
  TTimer t(nullptr);
  t.SetInterval(10);
  t.OnTimer = [&](TObject*) {
    // Close whichever modal form is on top.
    if (TForm* m = Application->ModalForm()) m->SetModalResult(mrOk);
    hl.clock->Advance(10);  // so that the next tick comes on the next pass
  };
  outer->OnActivate = [&](TObject*) {
    if (log.empty()) {
      log.push_back("outer shown");
      TModalResult r = inner->ShowModal();
      log.push_back("inner returned " + std::to_string(r));
    }
  };
  inner->OnShow = [&](TObject*) { hl.clock->Advance(10); };
  main->Show();
  TModalResult r = outer->ShowModal();
  // The outer form closes once the timer fires again.
  log.push_back("outer returned " + std::to_string(r));
  EXPECT_EQ(log, (std::vector<std::string>{"outer shown", "inner returned 1", "outer returned 1"}));
  EXPECT_TRUE(main->Active());
}

TEST_F(FormTest, ModalFormThatRefusesToCloseStaysUp) {
  TForm* main = new TForm(nullptr);
  TForm* entry = new TForm(nullptr);
  int closes = 0;
  entry->OnClose = [&](TObject*, TCloseAction& a) {
    if (++closes == 1) a = caNone;
  };
  entry->KeyPreview = true;
  entry->OnKeyDown = [&](TObject* s, int&, TShiftState) { static_cast<TForm*>(s)->Close(); };
  main->Show();
  hl.events->PushKeyDown('A');
  hl.events->PushKeyDown('B');
  entry->ShowModal();
  EXPECT_EQ(closes, 2);
}

TEST_F(FormTest, AltF4ClosesTheModalWindowWithoutItsOwnHandlers) {
  TForm* main = new TForm(nullptr);
  TForm* entry = new TForm(nullptr);
  main->Show();
  hl.events->PushKeyDown(platform::VK_F1 + 3, /*alt=*/true);
  EXPECT_EQ(entry->ShowModal(), mrCancel);
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(FormTest, KeyPreviewSeesKeysFirstAndCanSwallowThem) {
  TForm* main = new TForm(nullptr);
  TEdit* edit = new TEdit(main);
  edit->SetParent(main);
  std::vector<std::string> log;
  main->KeyPreview = true;
  main->OnKeyDown = [&](TObject*, int& key, TShiftState) {
    log.push_back("form " + std::to_string(key));
    if (key == 'Z') key = 0;
  };
  main->OnKeyPress = [&](TObject*, char32_t& ch) {
    log.push_back(std::string("formchar ") + static_cast<char>(ch));
    if (ch == 'z') ch = 0;
  };
  edit->OnKeyDown = [&](TObject*, int& key, TShiftState) {
    log.push_back("edit " + std::to_string(key));
  };
  main->Show();
  EXPECT_EQ(main->FocusTarget(), edit);
  Key('A');
  Key('Z');
  Type("qz");
  EXPECT_EQ(
      log, (std::vector<std::string>{"form 65", "edit 65", "form 90", "formchar q", "formchar z"}));
  EXPECT_EQ(edit->Text(), "q");

  // Without KeyPreview the form's handlers see nothing while a control has the focus.
  log.clear();
  main->KeyPreview = false;
  Key('A');
  EXPECT_EQ(log, (std::vector<std::string>{"edit 65"}));
}

TEST_F(FormTest, GamepadButtonsReachTheWindowsAsEnterAndEscape) {
  TForm* main = new TForm(nullptr);
  TEdit* edit = new TEdit(main);
  edit->SetParent(main);
  std::vector<std::string> log;
  main->KeyPreview = true;
  main->OnKeyDown = [&](TObject*, int& key, TShiftState) {
    log.push_back("form " + std::to_string(key) + " pad " + std::to_string(Application->PadKey()));
  };
  edit->OnKeyDown = [&](TObject*, int& key, TShiftState) {
    log.push_back("edit " + std::to_string(key));
  };
  main->Show();
  for (int vk : {platform::VK_GAMEPAD_A, platform::VK_GAMEPAD_MENU, platform::VK_GAMEPAD_VIEW,
                 platform::VK_GAMEPAD_B, platform::VK_RETURN})
    Key(vk);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "form 13 pad 195", "edit 13", "form 13 pad 207", "edit 13", "form 27 pad 208",
                     "edit 27", "form 196 pad 0", "edit 196", "form 13 pad 0", "edit 13"}));
  EXPECT_EQ(Application->PadKey(), 0);
}

TEST_F(FormTest, KeysGoToTheModalFormAndItsFocusedEdit) {
  TForm* main = new TForm(nullptr);
  int mainKeys = 0;
  main->KeyPreview = true;
  main->OnKeyPress = [&](TObject*, char32_t&) { ++mainKeys; };
  TForm* entry = new TForm(nullptr);
  TEdit* name = new TEdit(entry);
  name->SetParent(entry);
  name->SetText("PLAYER");
  name->SetMaxLength(15);
  main->Show();
  entry->KeyPreview = true;
  entry->OnKeyDown = [&](TObject* s, int& key, TShiftState) {
    if (key == platform::VK_ESCAPE) static_cast<TForm*>(s)->Close();
  };
  hl.events->PushText("Вася");
  hl.events->PushKeyDown(platform::VK_ESCAPE);
  entry->ShowModal();
  // The field had its text selected when it took the focus, so typing replaced it.
  EXPECT_EQ(name->Text(), "Вася");
  EXPECT_EQ(mainKeys, 0);
}

TEST_F(FormTest, ApplicationActivationReachesHooksOnChangesOnly) {
  std::vector<bool> seen;
  int id = Application->AddActivationHook([&](bool a) { seen.push_back(a); });
  EXPECT_TRUE(Application->Active());
  hl.events->Push(Event{EventKind::AppDeactivate});
  hl.events->Push(Event{EventKind::AppDeactivate});
  hl.events->Push(Event{EventKind::AppActivate});
  Drain();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
  Application->RemoveActivationHook(id);
  hl.events->Push(Event{EventKind::AppDeactivate});
  Drain();
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_FALSE(Application->Active());
}

TEST_F(FormTest, FirstShowOfTheMainFormActivatesTheApplication) {
  int activations = 0;
  Application->AddActivationHook([&](bool a) { activations += a ? 1 : 0; });
  TForm* main = new TForm(nullptr);
  main->Show();
  main->Hide();
  main->Show();
  EXPECT_EQ(activations, 1);
  EXPECT_TRUE(hl.video->WindowOpen());
}

TEST_F(FormTest, ClickOnAStaticTextRunsItsHandlerAndHoverIsTracked) {
  TForm* main = new TForm(nullptr);
  TForm* entry = new TForm(nullptr);
  entry->SetBorderStyle(bsNone);
  entry->Position = poScreenCenter;
  entry->SetClientWidth(232);
  entry->SetClientHeight(77);
  TStaticText* ok = new TStaticText(entry);
  ok->SetParent(entry);
  ok->SetBounds(184, 48, 34, 24);
  ok->SetCursor(crHandPoint);
  int clicks = 0, enters = 0, leaves = 0;
  ok->OnClick = [&](TObject*) {
    ++clicks;
    entry->Close();
  };
  ok->OnMouseEnter = [&](TObject*) { ++enters; };
  ok->OnMouseLeave = [&](TObject*) { ++leaves; };
  main->Show();
  // Centred: (800 - 232) / 2 = 284, (600 - 77) / 2 = 261.
  int x = 284 + 184 + 5, y = 261 + 48 + 5;
  auto mouse = [&](EventKind k, int mx, int my) {
    Event e{k};
    e.x = mx;
    e.y = my;
    e.button = 1;
    hl.events->Push(e);
  };
  mouse(EventKind::MouseMove, 10, 10);
  mouse(EventKind::MouseMove, x, y);
  mouse(EventKind::MouseMove, x - 10, y);
  mouse(EventKind::MouseMove, x, y);
  mouse(EventKind::MouseDown, x, y);
  mouse(EventKind::MouseUp, x, y);
  entry->ShowModal();
  EXPECT_EQ(entry->Left(), 284);
  EXPECT_EQ(entry->Top(), 261);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(enters, 2);
  EXPECT_EQ(leaves, 1);
}

TEST_F(FormTest, ModalWindowBlocksTheMouseElsewhere) {
  TForm* main = new TForm(nullptr);
  TButton* b = new TButton(main);
  b->SetParent(main);
  b->SetBounds(0, 0, 50, 50);
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  TForm* entry = new TForm(nullptr);
  entry->SetBounds(400, 400, 50, 50);
  entry->KeyPreview = true;
  entry->OnKeyDown = [&](TObject* s, int&, TShiftState) { static_cast<TForm*>(s)->Close(); };
  main->Show();
  for (EventKind k : {EventKind::MouseDown, EventKind::MouseUp}) {
    Event e{k};
    e.x = 10;
    e.y = 10;
    e.button = 1;
    hl.events->Push(e);
  }
  hl.events->PushKeyDown('A');
  entry->ShowModal();
  EXPECT_EQ(clicks, 0);
  // Outside a modal showing the same click reaches the button.
  for (EventKind k : {EventKind::MouseDown, EventKind::MouseUp}) {
    Event e{k};
    e.x = 10;
    e.y = 10;
    e.button = 1;
    hl.events->Push(e);
  }
  Drain();
  EXPECT_EQ(clicks, 1);
}

TEST_F(FormTest, OwnedComponentsAreFreedWithTheirOwner) {
  struct Probe : TComponent {
    Probe(TComponent* o, int* c) : TComponent(o), count(c) {}
    ~Probe() override { ++*count; }
    int* count;
  };
  int freed = 0;
  TForm* f = new TForm(nullptr);
  auto* p1 = new Probe(f, &freed);
  new Probe(p1, &freed);
  new Probe(f, &freed);
  EXPECT_EQ(f->ComponentCount(), 2);
  delete f;
  EXPECT_EQ(freed, 3);
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(FormTest, LoadingStateReachesOwnedComponentsAndEndsWithLoaded) {
  struct Probe : TComponent {
    using TComponent::TComponent;
    void Loaded() override {
      wasLoading = Loading();
      TComponent::Loaded();
      ++loaded;
    }
    bool wasLoading = false;
    int loaded = 0;
  };
  TForm* f = new TForm(nullptr);
  f->BeginLoading();
  auto* p = new Probe(f);
  EXPECT_TRUE(p->Loading());
  f->EndLoading();
  EXPECT_TRUE(p->wasLoading);
  EXPECT_FALSE(p->Loading());
  EXPECT_EQ(p->loaded, 1);
}

}  // namespace
