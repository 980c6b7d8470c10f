// Forms: the program's windows. The first form created is the application's main form; it is
// the platform window itself and the display draws it. Every other form is drawn by the toolkit
// over the last frame at its own position (see screen.h).
#pragma once

#include <string>

#include "toolkit/controls.h"

enum TPosition { poDesigned, poScreenCenter, poDesktopCenter, poMainFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TForm : public TWinControl {
 public:
  // Registers with the application (which frees forms that have no owner); the first form
  // becomes the main form. Forms start hidden.
  explicit TForm(TComponent* owner);
  // Frees its components, leaves the application's lists (activating the next form if needed).
  ~TForm() override;

  // Fires OnCreate; call once the form's own constructor has set everything up
  // (TApplication::CreateForm does it).
  void AfterConstruction();

  // Window caption (the main form's is the platform window's title).
  void SetCaption(const std::string& utf8) override;
  // Border: the main form tells the platform window; other forms draw a 1-pixel frame.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  // Where Show puts a form that is not the main form.
  TPosition Position = poDesigned;
  // Client area size (the form's size without its border).
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int w);
  void SetClientHeight(int h);
  // The form's keys reach its own OnKeyDown / OnKeyPress / OnKeyUp before the focused control.
  bool KeyPreview = false;

  TNotifyEvent OnCreate, OnActivate, OnDeactivate, OnShow, OnHide, OnDestroy;
  TCloseEvent OnClose;

  // Makes the form visible, puts it on top and activates it (OnActivate).
  void Show();
  // Hides it; if it was the active form the previously active visible form is activated.
  void Hide();
  // Visible = Show / Hide.
  void SetVisible(bool v) override;
  bool Showing() const override { return visible_; }
  // Closes: in a modal showing it sets ModalResult to mrCancel; otherwise OnClose decides
  // (caHide by default): the main form's close ends the application, others are hidden.
  void Close();
  // The window system's close request (close button, Alt+F4): same as Close.
  void CloseRequest() { Close(); }
  // Shows the form modally: runs a nested message loop until ModalResult becomes non-zero
  // (Close, a button with a ModalResult) or the application terminates; returns ModalResult.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  // True while shown modally.
  bool Modal() const { return modal_; }
  // True when this is the application's active form.
  bool Active() const;
  // The control that receives keys (null: the form itself).
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* c);
  // The control keys go to now: ActiveControl when it can take the focus, else the first
  // control in tab order that can, else null.
  TWinControl* FocusTarget();
  // Composes the screen now and presents it (for work that does not return to the loop).
  void Repaint();
  // True for the application's main form.
  bool IsMainForm() const;

  // Border width on each side (1 for bsSingle / bsSizeable forms that are not the main form).
  int BorderWidth() const;
  // Client-area origin in frame coordinates (the main form's is (0, 0): it is the window).
  TPoint ScreenOrigin() const override;
  // Background and border (not for the main form, which the display draws).
  void Paint(TCanvas& canvas) override;
  // Fires OnActivate (the application calls it).
  virtual void Activate();
  virtual void Deactivate();

 private:
  friend class TApplication;
  TBorderStyle borderStyle_ = bsSizeable;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool inActivate_ = false;  // OnActivate is running: a nested re-activation is ignored
  TWinControl* activeControl_ = nullptr;
};
