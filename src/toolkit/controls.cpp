#include "toolkit/controls.h"

#include <algorithm>

#include "platform/keys.h"
#include "platform/platform.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"
#include "toolkit/screen.h"
#include "toolkit/utf8.h"

// ---------------------------------------------------------------------------------------------
TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  if (Application != nullptr) Application->ControlDestroyed(this);
  if (parent_ != nullptr) {
    bool wasShowing = Showing();
    auto& list = parent_->children_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (wasShowing && Screen != nullptr) Screen->Invalidate();
    parent_ = nullptr;
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  Invalidate();
  if (parent_ != nullptr) {
    auto& list = parent_->children_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  parent_ = parent;
  if (parent_ != nullptr) parent_->children_.push_back(this);
  Invalidate();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  Invalidate();
  visible_ = v;
  Invalidate();
  if (Application != nullptr) Application->UpdateCursor();
}

bool TControl::Showing() const {
  if (!visible_ || parent_ == nullptr) return false;
  return parent_->Showing();
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Invalidate();
}

void TControl::SetCursor(TCursor c) {
  cursor_ = c;
  if (Application != nullptr) Application->UpdateCursor();
}

void TControl::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Invalidate();
}

void TControl::SetCaption(const std::string& utf8) {
  if (utf8 == caption_) return;
  caption_ = utf8;
  Invalidate();
}

void TControl::Paint(TCanvas&) {}

void TControl::Invalidate() {
  if (Screen != nullptr && Showing()) Screen->Invalidate();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c != nullptr) {
    if (auto* f = dynamic_cast<TForm*>(c)) return f;
    c = c->parent_;
  }
  return nullptr;
}

TPoint TControl::ScreenOrigin() const {
  if (parent_ == nullptr) return TPoint{left_, top_};
  TPoint p = parent_->ScreenOrigin();
  return TPoint{p.X + left_, p.Y + top_};
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (b == mbLeft) pressed_ = true;
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}

void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  bool click = b == mbLeft && pressed_ && x >= 0 && y >= 0 && x < width_ && y < height_;
  if (b == mbLeft) pressed_ = false;
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
  if (click) Click();
}

void TControl::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

// ---------------------------------------------------------------------------------------------
TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // The children belong to their owner, which may outlive this control: cut them loose so they
  // never reach back into a control that is gone.
  for (TControl* c : children_) c->parent_ = nullptr;
  children_.clear();
}

bool TWinControl::CanFocus() const { return Showing() && enabled_; }

bool TWinControl::Focused() {
  TForm* f = ParentForm();
  return f != nullptr && f->Active() && f->FocusTarget() == this;
}

void TWinControl::SetFocus() {
  TForm* f = ParentForm();
  if (f != nullptr && f != this) f->SetActiveControl(this);
}

void TWinControl::KeyDown(int& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(int& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char32_t& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TWinControl::DefaultKeyDown(int, TShiftState) {}
void TWinControl::DefaultKeyPress(char32_t) {}

void TWinControl::DoEnter() {
  Invalidate();
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  Invalidate();
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------------------------
namespace {

void Frame3D(TCanvas& c, int w, int h, TColor topLeft, TColor bottomRight) {
  if (w <= 0 || h <= 0) return;
  c.HLine(0, w, 0, topLeft);
  c.VLine(0, 0, h, topLeft);
  c.HLine(0, w, h - 1, bottomRight);
  c.VLine(w - 1, 0, h, bottomRight);
}

void FrameFlat(TCanvas& c, int w, int h, TColor color) { Frame3D(c, w, h, color, color); }

void Fill(TCanvas& c, TRect r, TColor color) {
  c.Brush.Style = bsSolid;
  c.Brush.Color = color;
  c.FillRect(r);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
TPanel::TPanel(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 41); }

void TPanel::Paint(TCanvas& c) {
  Fill(c, TRect{0, 0, width_, height_}, color_);
  if (BevelOuter == bvRaised) Frame3D(c, width_, height_, clBtnHighlight, clBtnShadow);
  if (BevelOuter == bvLowered) Frame3D(c, width_, height_, clBtnShadow, clBtnHighlight);
  if (!caption_.empty()) {
    c.Font = Font;
    c.Brush.Style = bsClear;
    int tw = c.TextWidth(caption_), th = c.TextHeight(caption_);
    c.TextOut((width_ - tw) / 2, (height_ - th) / 2, caption_);
  }
}

// ---------------------------------------------------------------------------------------------
TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  color_ = clWindow;
  cursor_ = crDefault;
  SetBounds(0, 0, 121, 21);
}

std::string TEdit::Text() const { return utf8::Encode(chars_); }

void TEdit::SetText(const std::string& s) {
  std::u32string chars = utf8::Decode(s);
  if (maxLength_ > 0 && static_cast<int>(chars.size()) > maxLength_) chars.resize(maxLength_);
  chars_ = std::move(chars);
  caption_ = utf8::Encode(chars_);
  selStart_ = anchor_ = static_cast<int>(chars_.size());
  selLength_ = 0;
  Changed();
}

void TEdit::Changed() {
  Invalidate();
  if (OnChange) OnChange(this);
}

void TEdit::SetSelStart(int pos) {
  pos = std::clamp(pos, 0, static_cast<int>(chars_.size()));
  selStart_ = anchor_ = pos;
  selLength_ = 0;
  Invalidate();
}

void TEdit::SetSelLength(int len) {
  len = std::clamp(len, 0, static_cast<int>(chars_.size()) - selStart_);
  selLength_ = len;
  anchor_ = selStart_;
  Invalidate();
}

void TEdit::SelectAll() {
  selStart_ = anchor_ = 0;
  selLength_ = static_cast<int>(chars_.size());
  Invalidate();
}

void TEdit::DeleteSelection() {
  if (selLength_ == 0) return;
  chars_.erase(selStart_, selLength_);
  selLength_ = 0;
  anchor_ = selStart_;
}

void TEdit::DefaultKeyDown(int key, TShiftState shift) {
  if (!enabled_) return;
  int n = static_cast<int>(chars_.size());
  int caret = selLength_ > 0 && anchor_ == selStart_ ? selStart_ + selLength_ : selStart_;
  auto moveTo = [&](int pos) {
    pos = std::clamp(pos, 0, n);
    if (shift.Contains(ssShift)) {
      // The anchor stays; the selection spans anchor .. new caret.
      selStart_ = std::min(anchor_, pos);
      selLength_ = std::abs(pos - anchor_);
    } else {
      selStart_ = anchor_ = pos;
      selLength_ = 0;
    }
    Invalidate();
  };
  switch (key) {
    case platform::VK_LEFT:
      if (selLength_ > 0 && !shift.Contains(ssShift)) {
        moveTo(selStart_);
      } else {
        moveTo(caret - 1);
      }
      break;
    case platform::VK_RIGHT:
      if (selLength_ > 0 && !shift.Contains(ssShift)) {
        moveTo(selStart_ + selLength_);
      } else {
        moveTo(caret + 1);
      }
      break;
    case platform::VK_HOME:
      moveTo(0);
      break;
    case platform::VK_END:
      moveTo(n);
      break;
    case platform::VK_BACK:
      if (selLength_ > 0) {
        DeleteSelection();
      } else if (selStart_ > 0) {
        chars_.erase(selStart_ - 1, 1);
        selStart_ = anchor_ = selStart_ - 1;
      } else {
        return;
      }
      caption_ = utf8::Encode(chars_);
      Changed();
      break;
    case platform::VK_DELETE:
      if (selLength_ > 0) {
        DeleteSelection();
      } else if (selStart_ < n) {
        chars_.erase(selStart_, 1);
      } else {
        return;
      }
      caption_ = utf8::Encode(chars_);
      Changed();
      break;
    default:
      break;
  }
}

void TEdit::DefaultKeyPress(char32_t key) {
  if (!enabled_) return;
  // Control characters (Backspace arrives as a key, Enter and Escape do not type) and DEL are
  // not text; neither are surrogate halves or values past Unicode.
  if (key < 32 || key == 127 || key > 0x10FFFF || (key >= 0xD800 && key <= 0xDFFF)) return;
  int lengthAfter = static_cast<int>(chars_.size()) - selLength_ + 1;
  if (maxLength_ > 0 && lengthAfter > maxLength_) return;
  DeleteSelection();
  chars_.insert(chars_.begin() + selStart_, key);
  selStart_ = anchor_ = selStart_ + 1;
  caption_ = utf8::Encode(chars_);
  Changed();
}

void TEdit::DoEnter() {
  if (AutoSelect) SelectAll();
  TWinControl::DoEnter();
}

void TEdit::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (CanFocus() && !Focused()) SetFocus();
  TWinControl::MouseDown(b, s, x, y);
}

void TEdit::Paint(TCanvas& c) {
  Fill(c, TRect{0, 0, width_, height_}, enabled_ ? color_ : clBtnFace);
  int inset;
  if (Ctl3D) {
    Frame3D(c, width_, height_, clBtnShadow, clBtnHighlight);
    inset = 3;
  } else {
    FrameFlat(c, width_, height_, clBlack);
    inset = 2;
  }
  c.Font = Font;
  std::string text = utf8::Encode(chars_);
  int caret = selLength_ > 0 && anchor_ == selStart_ ? selStart_ + selLength_ : selStart_;
  int caretX = c.TextWidth(utf8::Encode(chars_.substr(0, caret)));
  int room = std::max(width_ - 2 * inset - 1, 1);
  // Keep the caret inside the box: scroll the text left or right just enough.
  if (caretX - scroll_ > room) scroll_ = caretX - room;
  if (caretX - scroll_ < 0) scroll_ = caretX;
  int th = c.TextHeight(text.empty() ? std::string(" ") : text);
  int ty = std::max((height_ - th) / 2, 1);
  TRect inner{inset - 1, 1, width_ - inset + 1, height_ - 1};
  TRect outerClip = c.ClipRect();
  TPoint o = c.Origin();
  c.SetClipRect(TRect{std::max(outerClip.Left, inner.Left) + o.X,
                      std::max(outerClip.Top, inner.Top) + o.Y,
                      std::min(outerClip.Right, inner.Right) + o.X,
                      std::min(outerClip.Bottom, inner.Bottom) + o.Y});
  c.Brush.Style = bsClear;
  c.TextOut(inset - scroll_, ty, text);
  bool focused = Focused();
  if (selLength_ > 0 && focused) {
    int x0 = c.TextWidth(utf8::Encode(chars_.substr(0, selStart_)));
    std::string sel = utf8::Encode(chars_.substr(selStart_, selLength_));
    int sw = c.TextWidth(sel);
    Fill(c, TRect{inset - scroll_ + x0, ty, inset - scroll_ + x0 + sw, ty + th}, clHighlight);
    c.Brush.Style = bsClear;
    c.Font.Color = clHighlightText;
    c.TextOut(inset - scroll_ + x0, ty, sel);
    c.Font.Color = Font.Color;
  } else if (focused) {
    c.VLine(inset - scroll_ + caretX, ty, ty + th, Font.Color);
  }
  c.SetClipRect(TRect{outerClip.Left + o.X, outerClip.Top + o.Y, outerClip.Right + o.X,
                      outerClip.Bottom + o.Y});
}

// ---------------------------------------------------------------------------------------------
TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::Click() {
  TWinControl::Click();
  if (ModalResult != mrNone) {
    if (TForm* f = ParentForm()) f->SetModalResult(ModalResult);
  }
}

void TButton::DefaultKeyDown(int key, TShiftState) {
  if (enabled_ && (key == platform::VK_SPACE || key == platform::VK_RETURN)) Click();
}

void TButton::Paint(TCanvas& c) {
  Fill(c, TRect{0, 0, width_, height_}, color_);
  if (pressed_) {
    FrameFlat(c, width_, height_, clBlack);
  } else {
    Frame3D(c, width_, height_, clBtnHighlight, clBlack);
    if (width_ > 2 && height_ > 2) {
      c.HLine(1, width_ - 1, height_ - 2, clBtnShadow);
      c.VLine(width_ - 2, 1, height_ - 1, clBtnShadow);
    }
  }
  c.Font = Font;
  if (!enabled_) c.Font.Color = clGray;
  c.Brush.Style = bsClear;
  int tw = c.TextWidth(caption_), th = c.TextHeight(caption_);
  int shift = pressed_ ? 1 : 0;
  c.TextOut((width_ - tw) / 2 + shift, (height_ - th) / 2 + shift, caption_);
}

// ---------------------------------------------------------------------------------------------
TLabel::TLabel(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 0, 13); }

void TLabel::SetCaption(const std::string& utf8) {
  if (utf8 == caption_) return;
  TControl::SetCaption(utf8);
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!AutoSize || !platform::Installed() || !platform::Get().text) return;
  // The same measure the canvas draws with, so the label's box is the text's box.
  TCanvas measure([](PixelBuffer&) { return false; });
  measure.Font = Font;
  int w = measure.TextWidth(caption_);
  int h = measure.TextHeight(caption_.empty() ? std::string(" ") : caption_);
  SetBounds(left_, top_, w, h);
}

void TLabel::Paint(TCanvas& c) {
  if (!Transparent) Fill(c, TRect{0, 0, width_, height_}, color_);
  c.Font = Font;
  if (!enabled_) c.Font.Color = clGray;
  c.Brush.Style = bsClear;
  c.TextOut(0, 0, caption_);
}

// ---------------------------------------------------------------------------------------------
TStaticText::TStaticText(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 65, 17); }

void TStaticText::Paint(TCanvas& c) {
  Fill(c, TRect{0, 0, width_, height_}, color_);
  int inset = 0;
  if (BorderStyle == sbsSingle) {
    FrameFlat(c, width_, height_, clBlack);
    inset = 1;
  } else if (BorderStyle == sbsSunken) {
    Frame3D(c, width_, height_, clBtnShadow, clBtnHighlight);
    inset = 1;
  }
  c.Font = Font;
  c.Brush.Style = bsClear;
  c.TextOut(inset, inset, caption_);
}

// ---------------------------------------------------------------------------------------------
void TPicture::AssignRGB(int w, int h, const uint8_t* rgb) {
  if (w <= 0 || h <= 0 || rgb == nullptr) {
    Clear();
    return;
  }
  width_ = w;
  height_ = h;
  pixels_.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < pixels_.size(); ++i) {
    pixels_[i] = (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) | rgb[i * 3 + 2];
  }
}

void TPicture::AssignXRGB(int w, int h, const uint32_t* xrgb) {
  if (w <= 0 || h <= 0 || xrgb == nullptr) {
    Clear();
    return;
  }
  width_ = w;
  height_ = h;
  pixels_.assign(xrgb, xrgb + static_cast<size_t>(w) * h);
}

void TPicture::Clear() {
  width_ = height_ = 0;
  pixels_.clear();
}

PixelBuffer TPicture::Buffer() const {
  if (Empty()) return PixelBuffer{};
  PixelBuffer b;
  b.bits = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(pixels_.data()));
  b.pitch = width_ * 4;
  b.width = width_;
  b.height = height_;
  b.bitCount = 32;
  return b;
}

TColor TPicture::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
  return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
}

TImage::TImage(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::Paint(TCanvas& c) { c.Draw(0, 0, Picture.Buffer()); }

// ---------------------------------------------------------------------------------------------
TGauge::TGauge(TComponent* owner) : TControl(owner) {
  color_ = clWhite;
  SetBounds(0, 0, 100, 100);
}

void TGauge::SetMinValue(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  SetProgress(progress_);
  Invalidate();
}

void TGauge::SetMaxValue(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  SetProgress(progress_);
  Invalidate();
}

int TGauge::Percent() const {
  long long range = static_cast<long long>(max_) - min_;
  if (range <= 0) return 0;
  return static_cast<int>((static_cast<long long>(progress_) - min_) * 100 / range);
}

int TGauge::FilledWidth() const {
  int border = BorderStyle == bsNone ? 0 : 1;
  int inner = std::max(width_ - 2 * border, 0);
  return static_cast<int>(static_cast<long long>(inner) * Percent() / 100);
}

void TGauge::SetProgress(int v) {
  v = std::clamp(v, min_, max_);
  if (v == progress_) return;
  int before = Percent();
  progress_ = v;
  if (Percent() != before && Showing() && Screen != nullptr) {
    // Loading runs without returning to the loop: show the new state right now.
    Screen->Repaint();
  } else {
    Invalidate();
  }
}

void TGauge::Paint(TCanvas& c) {
  int border = BorderStyle == bsNone ? 0 : 1;
  if (border) FrameFlat(c, width_, height_, clBlack);
  TRect inner{border, border, width_ - border, height_ - border};
  int filled = FilledWidth();
  Fill(c, TRect{inner.Left, inner.Top, inner.Left + filled, inner.Bottom}, ForeColor);
  Fill(c, TRect{inner.Left + filled, inner.Top, inner.Right, inner.Bottom}, BackColor);
  if (ShowText) {
    std::string text = std::to_string(Percent()) + "%";
    c.Font = Font;
    c.Brush.Style = bsClear;
    int tw = c.TextWidth(text), th = c.TextHeight(text);
    c.TextOut((width_ - tw) / 2, (height_ - th) / 2, text);
  }
}
