// The application object: the message loop with its single idle slot, window timers,
// activation notices, the active form, and the default error report.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

class TForm;
class TTimer;
class TControl;

class TApplication {
 public:
  TApplication();
  // Frees every form that has no owner (last created first).
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  std::string Title;  // shown as the title of error reports

  // The first form created (null before).
  TForm* MainForm() const { return mainForm_; }
  // Constructs a form with no owner (the application frees it), fires its OnCreate, stores it.
  template <class T>
  void CreateForm(T*& ref) {
    ref = new T(nullptr);
    ref->AfterConstruction();
  }

  // Shows the main form (if it is not visible) and runs the message loop until the main form
  // closes or Terminate is called.
  void Run();
  // Makes Run (and every modal loop) end.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Handles every pending event and due window timer, without running the idle slot.
  void ProcessMessages();
  // One pass of the loop: a pending event, else due window timers, else the idle slot; when the
  // idle slot is empty or says it is done, waits for the next event or timer due time.
  void HandleMessage();
  // One pass like HandleMessage that never waits. True when it handled an event or a timer or
  // ran the idle slot (tests step the loop with it).
  bool Step();

  // The idle slot: runs whenever no event or timer is pending. Setting `done` to false asks to
  // be called again at once (the loop then never waits). One slot: a new one replaces the old.
  using TIdleEvent = std::function<void(bool& done)>;
  void SetOnIdle(TIdleEvent idle);
  void ClearOnIdle();
  bool HasOnIdle() const { return static_cast<bool>(idle_); }

  // True while the application holds the input focus (AppActivate / AppDeactivate events).
  bool Active() const { return active_; }
  // Hooks told of every change of Active (true = activated); returns an id for removal.
  int AddActivationHook(std::function<void(bool active)> hook);
  void RemoveActivationHook(int id);
  // Hooks that see every platform event before the toolkit handles it (the music player's
  // end-of-piece notice, joystick changes, User events); returning true consumes the event.
  int AddEventHook(std::function<bool(const platform::Event&)> hook);
  void RemoveEventHook(int id);

  // The default error report: a message box titled with Title (through the platform's
  // dialogs) and a line on stderr. The loop goes on afterwards.
  void HandleException(const std::exception& e);
  // Replaces the default report when set.
  std::function<void(const std::exception&)> OnException;

  // The active form (null when none).
  TForm* ActiveForm() const { return activeForm_; }
  // Every form in creation order.
  const std::vector<TForm*>& Forms() const { return forms_; }
  // Visible forms that are not the main form, bottom first (the drawing order).
  const std::vector<TForm*>& ZOrder() const { return zorder_; }
  // The innermost modal form being shown (null when none).
  TForm* ModalForm() const { return modalStack_.empty() ? nullptr : modalStack_.back(); }

  // Toolkit plumbing used by forms, timers and controls.
  void RegisterForm(TForm* f);
  void UnregisterForm(TForm* f);
  void FormShown(TForm* f);
  void FormHidden(TForm* f);
  void ActivateForm(TForm* f);
  void PushModal(TForm* f) { modalStack_.push_back(f); }
  void PopModal() {
    if (!modalStack_.empty()) modalStack_.pop_back();
  }
  void RegisterTimer(TTimer* t);
  void UnregisterTimer(TTimer* t);
  // A control is going away: forget it as the mouse target.
  void ControlDestroyed(TControl* c);
  // Shows or hides the mouse pointer as the control under it asks.
  void UpdateCursor();
  // Dispatches one event as the loop would (tests feed events with it too).
  void Dispatch(const platform::Event& e);
  // A gamepad's A and Start reach the windows as Enter and its Back as Escape; while such a key
  // is dispatched this holds its own code (VK_GAMEPAD_A, _MENU, _VIEW), 0 for any other key.
  int PadKey() const { return padKey_; }

 private:
  bool FireTimers();
  bool RunIdle(bool& done);
  void WaitForWork();
  void DispatchKeyDown(const platform::Event& e);
  void DispatchKeyUp(const platform::Event& e);
  void DispatchChar(const platform::Event& e);
  void DispatchMouse(const platform::Event& e);
  void SetActive(bool on);
  TForm* KeyTarget() const;
  template <class F>
  void Guarded(F&& f);

  TForm* mainForm_ = nullptr;
  TForm* activeForm_ = nullptr;
  std::vector<TForm*> forms_;
  std::vector<TForm*> zorder_;
  std::vector<TForm*> activationOrder_;  // most recently activated last
  std::vector<TForm*> modalStack_;
  std::vector<TTimer*> timers_;
  std::vector<std::pair<int, std::function<void(bool)>>> activationHooks_;
  std::vector<std::pair<int, std::function<bool(const platform::Event&)>>> eventHooks_;
  int nextHookId_ = 1;
  int padKey_ = 0;
  TIdleEvent idle_;
  bool idleRunning_ = false;
  bool terminated_ = false;
  bool active_ = true;
  bool mainShownOnce_ = false;
  TControl* hover_ = nullptr;
  TControl* mouseCapture_ = nullptr;
  int mouseX_ = 0, mouseY_ = 0;
  int cursorShown_ = -1;  // -1 unknown, 0 hidden, 1 shown
};

extern TApplication* Application;

// Creates Application and Screen (once).
void InitApplication();
// Frees every form, then Screen and Application.
void DoneApplication();

// Application and Screen for the length of a scope (tests).
class TApplicationScope {
 public:
  TApplicationScope() { InitApplication(); }
  ~TApplicationScope() { DoneApplication(); }
  TApplicationScope(const TApplicationScope&) = delete;
  TApplicationScope& operator=(const TApplicationScope&) = delete;
};
