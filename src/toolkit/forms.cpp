#include "toolkit/forms.h"

#include <algorithm>

#include "platform/platform.h"
#include "toolkit/application.h"
#include "toolkit/errors.h"
#include "toolkit/screen.h"
#include "toolkit/translate.h"

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  visible_ = false;
  color_ = clBtnFace;
  if (Application != nullptr) Application->RegisterForm(this);
  SetBounds(0, 0, 300 + 2 * BorderWidth(), 200 + 2 * BorderWidth());
}

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      if (Application != nullptr) Application->HandleException(e);
    }
  }
  // Components first, while this is still a whole form (their destructors may look at it).
  DestroyComponents();
  if (Application != nullptr) Application->UnregisterForm(this);
}

void TForm::AfterConstruction() {
  if (OnCreate) OnCreate(this);
}

bool TForm::IsMainForm() const { return Application != nullptr && Application->MainForm() == this; }

int TForm::BorderWidth() const {
  if (IsMainForm()) return 0;
  return borderStyle_ == bsNone ? 0 : 1;
}

int TForm::ClientWidth() const { return std::max(width_ - 2 * BorderWidth(), 0); }
int TForm::ClientHeight() const { return std::max(height_ - 2 * BorderWidth(), 0); }
void TForm::SetClientWidth(int w) { SetWidth(w + 2 * BorderWidth()); }
void TForm::SetClientHeight(int h) { SetHeight(h + 2 * BorderWidth()); }

void TForm::SetCaption(const std::string& utf8) {
  TControl::SetCaption(utf8);
  if (IsMainForm() && platform::Installed() && platform::Get().video->WindowOpen()) {
    platform::Get().video->SetCaption(utf8);
  }
}

void TForm::SetBorderStyle(TBorderStyle b) {
  if (b == borderStyle_) return;
  // The client area keeps its size; the outer size follows the border.
  int cw = ClientWidth(), ch = ClientHeight();
  borderStyle_ = b;
  SetBounds(left_, top_, cw + 2 * BorderWidth(), ch + 2 * BorderWidth());
  if (IsMainForm() && platform::Installed() && platform::Get().video->WindowOpen()) {
    platform::Get().video->SetBorder(b != bsNone);
  }
  Invalidate();
}

TPoint TForm::ScreenOrigin() const {
  if (IsMainForm()) return TPoint{0, 0};
  int bw = BorderWidth();
  return TPoint{left_ + bw, top_ + bw};
}

void TForm::Show() {
  if (Application == nullptr) return;
  if (!visible_) {
    if (!IsMainForm() && Position != poDesigned && Screen != nullptr) {
      SetBounds((Screen->Width() - width_) / 2, (Screen->Height() - height_) / 2, width_, height_);
    }
    if (Screen != nullptr) Screen->EnsureWindow();
    if (IsMainForm() && platform::Installed()) platform::Get().video->Show();
    visible_ = true;
    if (OnShow) OnShow(this);
  }
  Application->FormShown(this);
  Application->ActivateForm(this);
}

void TForm::Hide() {
  if (!visible_ || Application == nullptr) return;
  if (OnHide) OnHide(this);
  visible_ = false;
  if (IsMainForm() && platform::Installed()) platform::Get().video->Hide();
  Application->FormHidden(this);
}

void TForm::SetVisible(bool v) {
  if (v) {
    Show();
  } else {
    Hide();
  }
}

void TForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (IsMainForm()) {
    if (Application != nullptr) Application->Terminate();
  } else {
    Hide();
  }
}

TModalResult TForm::ShowModal() {
  if (Application == nullptr) return mrCancel;
  if (visible_ || modal_)
    throw EInvalidOperation(toolkit::Tr("Cannot make a visible window modal"));
  modal_ = true;
  modalResult_ = mrNone;
  Application->PushModal(this);
  auto endModal = [this] {
    modal_ = false;
    Application->PopModal();
  };
  try {
    Show();
    for (;;) {
      if (Application->Terminated()) modalResult_ = mrCancel;
      if (modalResult_ != mrNone) {
        // The form may refuse to close (caNone): the modal showing then goes on.
        TCloseAction action = caHide;
        if (OnClose) OnClose(this, action);
        if (action != caNone || Application->Terminated()) break;
        modalResult_ = mrNone;
      }
      Application->HandleMessage();
    }
  } catch (...) {
    endModal();
    Hide();
    throw;
  }
  endModal();
  // Hiding hands the activation back to the window that was active before.
  Hide();
  return modalResult_;
}

bool TForm::Active() const { return Application != nullptr && Application->ActiveForm() == this; }

void TForm::SetActiveControl(TWinControl* c) {
  if (c == activeControl_) return;
  TWinControl* old = activeControl_;
  activeControl_ = c;
  if (old != nullptr) old->DoExit();
  if (c != nullptr) c->DoEnter();
}

namespace {
TWinControl* FirstFocusable(TWinControl* w) {
  for (TControl* c : w->Controls()) {
    auto* wc = dynamic_cast<TWinControl*>(c);
    if (wc == nullptr || !wc->Visible()) continue;
    if (wc->TabStop() && wc->CanFocus()) return wc;
    if (TWinControl* inner = FirstFocusable(wc)) return inner;
  }
  return nullptr;
}
}  // namespace

TWinControl* TForm::FocusTarget() {
  if (activeControl_ != nullptr && activeControl_->CanFocus()) return activeControl_;
  // The focused control went away or was never set: the first one in tab order takes over.
  TWinControl* first = FirstFocusable(this);
  if (first != nullptr) SetActiveControl(first);
  return first;
}

void TForm::Repaint() {
  if (Screen != nullptr) Screen->Repaint();
}

void TForm::Paint(TCanvas& c) {
  if (IsMainForm()) return;
  c.Brush.Style = bsSolid;
  c.Brush.Color = color_;
  c.FillRect(TRect{0, 0, width_, height_});
  if (BorderWidth() > 0) {
    c.HLine(0, width_, 0, clBlack);
    c.HLine(0, width_, height_ - 1, clBlack);
    c.VLine(0, 0, height_, clBlack);
    c.VLine(width_ - 1, 0, height_, clBlack);
  }
}

void TForm::Activate() {
  FocusTarget();
  Invalidate();
  if (OnActivate) OnActivate(this);
}

void TForm::Deactivate() {
  Invalidate();
  if (OnDeactivate) OnDeactivate(this);
}
