#include "toolkit/application.h"

#include <algorithm>
#include <cstdio>

#include "platform/keys.h"
#include "toolkit/errors.h"
#include "toolkit/forms.h"
#include "toolkit/screen.h"
#include "toolkit/timers.h"
#include "toolkit/translate.h"

TApplication* Application = nullptr;

void InitApplication() {
  if (Application == nullptr) Application = new TApplication();
  if (Screen == nullptr) Screen = new TScreen();
}

void DoneApplication() {
  delete Application;  // frees the forms while Application and Screen still exist
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
}

TApplication::TApplication() = default;

TApplication::~TApplication() {
  // Ownerless forms belong to the application; the last created goes first.
  for (;;) {
    auto it = std::find_if(forms_.rbegin(), forms_.rend(),
                           [](TForm* f) { return f->Owner() == nullptr; });
    if (it == forms_.rend()) break;
    delete *it;  // unregisters itself
  }
}

template <class F>
void TApplication::Guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception(toolkit::Tr("Unknown error")));
  }
}

void TApplication::HandleException(const std::exception& e) {
  if (OnException) {
    OnException(e);
    return;
  }
  std::string text = e.what();
  std::fprintf(stderr, "%s: %s\n", Title.c_str(), text.c_str());
  if (platform::Installed() && platform::Get().dialogs) {
    platform::Get().dialogs->MessageBox(Title, text);
  }
}

// ---------------------------------------------------------------------------------------------
// The loop

void TApplication::Run() {
  if (mainForm_ != nullptr && !mainForm_->Visible()) Guarded([this] { mainForm_->Show(); });
  while (!terminated_ && mainForm_ != nullptr) HandleMessage();
}

void TApplication::ProcessMessages() {
  platform::Event e;
  for (;;) {
    if (platform::Get().events->Poll(e)) {
      Dispatch(e);
    } else if (!FireTimers()) {
      break;
    }
  }
}

bool TApplication::Step() {
  platform::Event e;
  if (platform::Get().events->Poll(e)) {
    Dispatch(e);
    return true;
  }
  if (FireTimers()) return true;
  bool done = true;
  bool ran = RunIdle(done);
  // Nothing presented a frame in this pass: bring the windows on screen up to date.
  if (Screen != nullptr && Screen->Dirty()) Screen->Repaint();
  return ran;
}

void TApplication::HandleMessage() {
  platform::Event e;
  if (platform::Get().events->Poll(e)) {
    Dispatch(e);
    return;
  }
  if (FireTimers()) return;
  bool done = true;
  RunIdle(done);
  if (Screen != nullptr && Screen->Dirty()) Screen->Repaint();
  if (done && !terminated_) WaitForWork();
}

void TApplication::WaitForWork() {
  uint32_t now = platform::Get().clock->Milliseconds();
  uint32_t timeout = 250;  // an upper bound keeps the loop looking at Terminated now and then
  for (TTimer* t : timers_) timeout = std::min(timeout, t->MsUntilDue(now));
  if (timeout == 0) return;
  platform::Event e;
  if (platform::Get().events->Wait(e, timeout)) Dispatch(e);
}

bool TApplication::FireTimers() {
  uint32_t now = platform::Get().clock->Milliseconds();
  bool any = false;
  // A copy: a handler may create or free timers. Each due timer ticks once in this pass.
  std::vector<TTimer*> list = timers_;
  for (TTimer* t : list) {
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    if (!t->Due(now)) continue;
    any = true;
    Guarded([t, now] { t->Fire(now); });
  }
  return any;
}

bool TApplication::RunIdle(bool& done) {
  done = true;
  // A nested loop inside the idle slot (a modal window opened by a frame) does not run the
  // slot again: one frame never starts inside another.
  if (!idle_ || idleRunning_) return false;
  TIdleEvent fn = idle_;  // the slot may be replaced while it runs
  idleRunning_ = true;
  Guarded([&] { fn(done); });
  idleRunning_ = false;
  return true;
}

void TApplication::SetOnIdle(TIdleEvent idle) { idle_ = std::move(idle); }
void TApplication::ClearOnIdle() { idle_ = nullptr; }

// ---------------------------------------------------------------------------------------------
// Hooks and activation

int TApplication::AddActivationHook(std::function<void(bool)> hook) {
  int id = nextHookId_++;
  activationHooks_.emplace_back(id, std::move(hook));
  return id;
}

void TApplication::RemoveActivationHook(int id) {
  std::erase_if(activationHooks_, [id](const auto& h) { return h.first == id; });
}

int TApplication::AddEventHook(std::function<bool(const platform::Event&)> hook) {
  int id = nextHookId_++;
  eventHooks_.emplace_back(id, std::move(hook));
  return id;
}

void TApplication::RemoveEventHook(int id) {
  std::erase_if(eventHooks_, [id](const auto& h) { return h.first == id; });
}

void TApplication::SetActive(bool on) {
  if (on == active_) return;
  active_ = on;
  auto hooks = activationHooks_;
  for (auto& h : hooks) Guarded([&] { h.second(on); });
}

void TApplication::RegisterForm(TForm* f) {
  forms_.push_back(f);
  if (mainForm_ == nullptr) mainForm_ = f;
}

void TApplication::UnregisterForm(TForm* f) {
  std::erase(forms_, f);
  std::erase(zorder_, f);
  std::erase(activationOrder_, f);
  std::erase(modalStack_, f);
  if (mainForm_ == f) mainForm_ = nullptr;
  if (activeForm_ == f) activeForm_ = nullptr;
  if (Screen != nullptr) Screen->Invalidate();
}

void TApplication::FormShown(TForm* f) {
  if (f != mainForm_) {
    std::erase(zorder_, f);
    zorder_.push_back(f);
  } else if (!mainShownOnce_) {
    mainShownOnce_ = true;
    // The program's first window coming up is when the application is first activated.
    if (active_) {
      auto hooks = activationHooks_;
      for (auto& h : hooks) Guarded([&] { h.second(true); });
    }
  }
  if (Screen != nullptr) Screen->Invalidate();
  UpdateCursor();
}

void TApplication::FormHidden(TForm* f) {
  std::erase(zorder_, f);
  if (Screen != nullptr) Screen->Invalidate();
  UpdateCursor();
  if (activeForm_ != f) return;
  // The most recently active form that is still visible takes over.
  for (auto it = activationOrder_.rbegin(); it != activationOrder_.rend(); ++it) {
    if (*it != f && (*it)->Visible()) {
      ActivateForm(*it);
      return;
    }
  }
  activeForm_ = nullptr;
  f->Deactivate();
}

void TApplication::ActivateForm(TForm* f) {
  if (f == nullptr || f == activeForm_) return;
  TForm* old = activeForm_;
  activeForm_ = f;
  std::erase(activationOrder_, f);
  activationOrder_.push_back(f);
  if (old != nullptr) old->Deactivate();
  // A form whose activation handler is still running is not activated a second time inside
  // it (a window shown and hidden again from that handler hands the activation back).
  if (f->inActivate_) return;
  f->inActivate_ = true;
  try {
    f->Activate();
  } catch (...) {
    f->inActivate_ = false;
    throw;
  }
  f->inActivate_ = false;
}

void TApplication::RegisterTimer(TTimer* t) { timers_.push_back(t); }
void TApplication::UnregisterTimer(TTimer* t) { std::erase(timers_, t); }

void TApplication::ControlDestroyed(TControl* c) {
  if (hover_ == c) hover_ = nullptr;
  if (mouseCapture_ == c) mouseCapture_ = nullptr;
  for (TForm* f : forms_) {
    if (f->activeControl_ == c) f->activeControl_ = nullptr;
  }
}

void TApplication::UpdateCursor() {
  if (Screen == nullptr || !platform::Installed()) return;
  TControl* c = Screen->ControlAt(mouseX_, mouseY_);
  int show = (c != nullptr && c->Cursor() == crNone) ? 0 : 1;
  if (show == cursorShown_) return;
  cursorShown_ = show;
  platform::Get().video->SetCursorVisible(show == 1);
}

// ---------------------------------------------------------------------------------------------
// Event dispatch

void TApplication::Dispatch(const platform::Event& e) {
  auto hooks = eventHooks_;
  for (auto& h : hooks) {
    bool consumed = false;
    Guarded([&] { consumed = h.second(e); });
    if (consumed) return;
  }
  using platform::EventKind;
  Guarded([&] {
    switch (e.kind) {
      case EventKind::Quit:
        if (mainForm_ != nullptr) {
          mainForm_->CloseRequest();
        } else {
          Terminate();
        }
        break;
      case EventKind::KeyDown:
        DispatchKeyDown(e);
        break;
      case EventKind::KeyUp:
        DispatchKeyUp(e);
        break;
      case EventKind::Char:
        DispatchChar(e);
        break;
      case EventKind::MouseMove:
      case EventKind::MouseDown:
      case EventKind::MouseUp:
        DispatchMouse(e);
        break;
      case EventKind::AppActivate:
        SetActive(true);
        break;
      case EventKind::AppDeactivate:
        SetActive(false);
        break;
      case EventKind::Expose:
        if (Screen != nullptr) Screen->Repaint();
        break;
      default:
        break;
    }
  });
}

TForm* TApplication::KeyTarget() const {
  if (TForm* m = ModalForm()) return m;
  if (activeForm_ != nullptr) return activeForm_;
  return mainForm_;
}

namespace {
TShiftState ShiftOf(const platform::Event& e) {
  TShiftState s;
  if (e.shift) s.Include(ssShift);
  if (e.alt) s.Include(ssAlt);
  if (e.ctrl) s.Include(ssCtrl);
  return s;
}
}  // namespace

namespace {
// True while `c` is still one of the controls of `form` (a handler may have freed it).
bool StillInForm(TWinControl* form, TControl* c) {
  for (TControl* k : form->Controls()) {
    if (k == c) return true;
    if (auto* w = dynamic_cast<TWinControl*>(k); w != nullptr && StillInForm(w, c)) return true;
  }
  return false;
}
}  // namespace

namespace {
// The key a gamepad button stands for in the windows (0: it stands for none).
int PadKeyMeaning(int vk) {
  switch (vk) {
    case platform::VK_GAMEPAD_A:
    case platform::VK_GAMEPAD_MENU:
      return platform::VK_RETURN;
    case platform::VK_GAMEPAD_VIEW:
      return platform::VK_ESCAPE;
    default:
      return 0;
  }
}
}  // namespace

void TApplication::DispatchKeyDown(const platform::Event& e) {
  TForm* f = KeyTarget();
  if (f == nullptr) return;
  int key = e.vk;
  const int meaning = PadKeyMeaning(e.vk);
  struct PadKeyScope {
    int& slot;
    ~PadKeyScope() { slot = 0; }
  } scope{padKey_};
  if (meaning != 0) {
    padKey_ = e.vk;
    key = meaning;
  }
  TShiftState shift = ShiftOf(e);
  // The key belongs to the control that had the focus when it was pressed, even if the form's
  // preview shows or hides controls (opening the console must not type into it).
  TWinControl* target = f->FocusTarget();
  // With KeyPreview the form sees the key first and may swallow it by zeroing it.
  if (f->KeyPreview) f->KeyDown(key, shift);
  if (key == 0) return;
  if (target != nullptr && !StillInForm(f, target)) return;
  if (target != nullptr) {
    target->KeyDown(key, shift);
    if (key != 0) target->DefaultKeyDown(key, shift);
  } else if (!f->KeyPreview) {
    f->KeyDown(key, shift);
  }
  // Alt+F4 is the window system's close of the active window.
  if (key == platform::VK_F1 + 3 && e.alt) f->CloseRequest();
}

void TApplication::DispatchKeyUp(const platform::Event& e) {
  TForm* f = KeyTarget();
  if (f == nullptr) return;
  int key = PadKeyMeaning(e.vk) != 0 ? PadKeyMeaning(e.vk) : e.vk;
  TShiftState shift = ShiftOf(e);
  if (f->KeyPreview) f->KeyUp(key, shift);
  if (key == 0) return;
  TWinControl* target = f->FocusTarget();
  if (target != nullptr) {
    target->KeyUp(key, shift);
  } else if (!f->KeyPreview) {
    f->KeyUp(key, shift);
  }
}

void TApplication::DispatchChar(const platform::Event& e) {
  TForm* f = KeyTarget();
  if (f == nullptr) return;
  char32_t ch = e.ch;
  TWinControl* target = f->FocusTarget();
  if (f->KeyPreview) f->KeyPress(ch);
  if (ch == 0) return;
  if (target != nullptr && !StillInForm(f, target)) return;
  if (target != nullptr) {
    target->KeyPress(ch);
    if (ch != 0) target->DefaultKeyPress(ch);
  } else if (!f->KeyPreview) {
    f->KeyPress(ch);
  }
}

void TApplication::DispatchMouse(const platform::Event& e) {
  using platform::EventKind;
  if (Screen == nullptr) return;
  mouseX_ = e.x;
  mouseY_ = e.y;
  TControl* target = mouseCapture_ != nullptr ? mouseCapture_ : Screen->ControlAt(e.x, e.y);
  // While a modal window is up, the other windows get no mouse input.
  if (target != nullptr && ModalForm() != nullptr && target->ParentForm() != ModalForm()) {
    target = nullptr;
  }
  if (target != nullptr && !target->Enabled()) target = nullptr;
  TMouseButton button = e.button == 3 ? mbRight : e.button == 2 ? mbMiddle : mbLeft;
  TShiftState shift = ShiftOf(e);
  if (e.kind == EventKind::MouseMove && target != hover_) {
    TControl* old = hover_;
    hover_ = target;
    if (old != nullptr) old->MouseLeave();
    if (target != nullptr) target->MouseEnter();
  }
  UpdateCursor();
  if (target == nullptr) return;
  TPoint o = target->ScreenOrigin();
  int x = e.x - o.X, y = e.y - o.Y;
  switch (e.kind) {
    case EventKind::MouseMove:
      target->MouseMove(shift, x, y);
      break;
    case EventKind::MouseDown:
      if (TForm* f = target->ParentForm()) {
        if (f->Visible() && ModalForm() == nullptr) ActivateForm(f);
      }
      mouseCapture_ = target;
      target->MouseDown(button, shift, x, y);
      break;
    case EventKind::MouseUp:
      mouseCapture_ = nullptr;
      target->MouseUp(button, shift, x, y);
      break;
    default:
      break;
  }
}
