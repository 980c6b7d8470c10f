// Visual controls: the TControl / TWinControl base classes and the standard controls the game's
// windows are made of (panel, edit field, button, label, static text, image, gauge).
//
// Controls are not OS windows: the toolkit draws them itself on top of the last frame (see
// screen.h) and routes keys and mouse events to them (see application.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/classes.h"
#include "toolkit/graphics.h"

class TWinControl;
class TForm;

// System colours (as the classic Windows scheme shows them).
constexpr TColor clBtnFace = RGB(212, 208, 200);
constexpr TColor clBtnHighlight = RGB(255, 255, 255);
constexpr TColor clBtnShadow = RGB(128, 128, 128);
constexpr TColor clWindow = RGB(255, 255, 255);
constexpr TColor clWindowText = RGB(0, 0, 0);
constexpr TColor clHighlight = RGB(10, 36, 106);
constexpr TColor clHighlightText = RGB(255, 255, 255);
constexpr TColor clGray = RGB(128, 128, 128);

enum TCursor { crDefault = 0, crNone = -1, crArrow = -2, crHandPoint = -21 };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle };
// Border of forms and gauges.
enum TBorderStyle { bsNone, bsSingle, bsSizeable };

// A set of modifier keys and mouse buttons.
class TShiftState {
 public:
  TShiftState() = default;
  TShiftState(std::initializer_list<TShiftItem> items) {
    for (TShiftItem i : items) Include(i);
  }
  // True when `i` is in the set.
  bool Contains(TShiftItem i) const { return (bits_ >> i) & 1u; }
  void Include(TShiftItem i) { bits_ |= 1u << i; }
  void Exclude(TShiftItem i) { bits_ &= ~(1u << i); }
  bool Empty() const { return bits_ == 0; }
  bool operator==(const TShiftState&) const = default;

 private:
  uint32_t bits_ = 0;
};

using TKeyEvent = std::function<void(TObject* Sender, int& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char32_t& Key)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// ---------------------------------------------------------------------------------------------
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  // Leaves its parent (and the toolkit's mouse and focus tracking).
  ~TControl() override;

  // The control this one sits in (null when none). Setting it moves the control.
  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

  // Position relative to the parent's client area, and size, in pixels.
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  // Sets all four at once (negative sizes are stored as 0).
  virtual void SetBounds(int left, int top, int width, int height);
  // (Left, Top, Left + Width, Top + Height).
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }

  // Whether the control is shown when its parent is.
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // True when this control, every parent and the form are visible.
  virtual bool Showing() const;
  // Whether the control reacts to the mouse and keyboard.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);

  // Mouse pointer over the control (crNone hides it).
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // Background colour.
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  // Text shown by the control (label and button captions, edit text, panel caption).
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& utf8);

  TFont Font;  // font of the control's text; call Invalidate after changing it while shown

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter, OnMouseLeave;

  // Draws the control on `canvas`, whose origin is the control's top-left and whose clip is its
  // bounds. The base draws nothing.
  virtual void Paint(TCanvas& canvas);
  // False for controls whose pixels someone else supplies (the display's frame): the compositor
  // then neither paints them nor counts them as something to draw over the frame.
  virtual bool PaintsOverFrame() const { return true; }
  // Asks for the windows to be recomposed (nothing when the control is not showing).
  void Invalidate();
  // Fires OnClick.
  virtual void Click();

  // The form this control is on (itself for a form), or null.
  TForm* ParentForm();
  // Top-left of the control in frame coordinates.
  virtual TPoint ScreenOrigin() const;

  // Mouse input from the toolkit (coordinates relative to the control); fire the events.
  virtual void MouseDown(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseUp(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseMove(TShiftState s, int x, int y);
  virtual void MouseEnter();
  virtual void MouseLeave();

 protected:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  TCursor cursor_ = crDefault;
  TColor color_ = clBtnFace;
  std::string caption_;
  bool pressed_ = false;  // the left button went down on this control
};

// ---------------------------------------------------------------------------------------------
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  // Detaches its children (their owner frees them).
  ~TWinControl() override;

  // Child controls in the order they joined (painting order, and tab order).
  const std::vector<TControl*>& Controls() const { return children_; }
  int ControlCount() const { return static_cast<int>(children_.size()); }

  // Whether the control takes the keyboard focus by tab order (edit fields and buttons do).
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v) { tabStop_ = v; }
  // True when the control can take the focus now: showing and enabled.
  bool CanFocus() const;
  // True when the control has the keyboard focus of the active form.
  bool Focused();
  // Gives this control the focus of its form (and the form's keys).
  void SetFocus();

  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter, OnExit;

  // Key input from the toolkit: fire OnKeyDown / OnKeyUp / OnKeyPress (which may zero the key).
  virtual void KeyDown(int& key, TShiftState shift);
  virtual void KeyUp(int& key, TShiftState shift);
  virtual void KeyPress(char32_t& key);
  // What the control itself does with a key nobody zeroed (edit fields edit); base: nothing.
  virtual void DefaultKeyDown(int key, TShiftState shift);
  virtual void DefaultKeyPress(char32_t key);
  // Focus changes (fire OnEnter / OnExit).
  virtual void DoEnter();
  virtual void DoExit();

 private:
  friend class TControl;
  std::vector<TControl*> children_;
  bool tabStop_ = false;
};

// ---------------------------------------------------------------------------------------------
enum TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);
  TBevelCut BevelOuter = bvRaised;  // the 1-pixel 3-D edge
  // Background, bevel and the caption centred.
  void Paint(TCanvas& canvas) override;
};

// ---------------------------------------------------------------------------------------------
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);

  // The text, UTF-8.
  std::string Text() const;
  // Replaces the text (cut to MaxLength characters), caret at its end, fires OnChange.
  void SetText(const std::string& utf8);
  // Caption is the text for an edit field.
  void SetCaption(const std::string& utf8) override { SetText(utf8); }
  // Characters accepted at most by typing (0 = no limit).
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n) { maxLength_ = n < 0 ? 0 : n; }
  // Caret position and selection, in characters.
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelStart(int pos);
  void SetSelLength(int len);
  void SelectAll();
  // The text as characters (what typing works on).
  const std::u32string& Chars() const { return chars_; }

  bool Ctl3D = true;       // sunken 3-D border (false: a flat 1-pixel frame)
  bool AutoSelect = true;  // selecting the whole text when the field takes the focus
  TNotifyEvent OnChange;

  // Editing keys: Backspace, Delete, Home, End, Left, Right (Shift extends the selection).
  void DefaultKeyDown(int key, TShiftState shift) override;
  // Typed characters (code 32 and above, DEL excluded) replace the selection / go in at the caret.
  void DefaultKeyPress(char32_t key) override;
  void DoEnter() override;
  // Border, background, text, selection and caret (when focused).
  void Paint(TCanvas& canvas) override;
  // Clicking gives the field the focus.
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override;

 private:
  void DeleteSelection();
  void Changed();
  std::u32string chars_;
  int maxLength_ = 0;
  int selStart_ = 0, selLength_ = 0;
  int anchor_ = 0;
  int scroll_ = 0;  // pixels the text is moved left so the caret stays inside
};

// ---------------------------------------------------------------------------------------------
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  int ModalResult = 0;  // when non-zero, a click sets the form's ModalResult to it
  // Fires OnClick, then hands ModalResult to the form.
  void Click() override;
  // Space and Enter click a focused button.
  void DefaultKeyDown(int key, TShiftState shift) override;
  void Paint(TCanvas& canvas) override;
};

// ---------------------------------------------------------------------------------------------
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  bool Transparent = false;  // leave the background as it is (false: fill with Color)
  bool AutoSize = true;      // the label takes its text's size when the caption changes
  // Stores the caption; with AutoSize the size follows the text.
  void SetCaption(const std::string& utf8) override;
  // Re-measures the text (after a font change) when AutoSize is on.
  void AdjustSize();
  void Paint(TCanvas& canvas) override;
};

// ---------------------------------------------------------------------------------------------
enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };

class TStaticText : public TWinControl {
 public:
  explicit TStaticText(TComponent* owner);
  TStaticBorderStyle BorderStyle = sbsNone;  // single: a 1-pixel black frame
  void Paint(TCanvas& canvas) override;
};

// ---------------------------------------------------------------------------------------------
// A picture held as 32-bit XRGB pixels.
class TPicture {
 public:
  // Takes `w` x `h` pixels of 24-bit RGB (red first, rows top-down, no padding).
  void AssignRGB(int w, int h, const uint8_t* rgb);
  // Takes `w` x `h` pixels of 32-bit XRGB (rows top-down, no padding).
  void AssignXRGB(int w, int h, const uint32_t* xrgb);
  void Clear();
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  // The pixels as a buffer a canvas can draw (empty when there is no picture).
  PixelBuffer Buffer() const;
  // Pixel (x, y) as a colour number (0 outside).
  TColor Pixel(int x, int y) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;
};

class TImage : public TControl {
 public:
  explicit TImage(TComponent* owner);
  TPicture Picture;  // call Invalidate after changing it while shown
  // The picture at the top-left, clipped to the control.
  void Paint(TCanvas& canvas) override;
};

// ---------------------------------------------------------------------------------------------
enum TGaugeKind { gkHorizontalBar };

class TGauge : public TControl {
 public:
  explicit TGauge(TComponent* owner);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  int Progress() const { return progress_; }
  void SetMinValue(int v);
  void SetMaxValue(int v);
  // Clamps to MinValue .. MaxValue; when the whole percentage changes the screen is repainted
  // at once (so loading work that never returns to the message loop still shows its progress).
  void SetProgress(int v);
  // Trunc((Progress - MinValue) * 100 / (MaxValue - MinValue)); 0 when the range is empty.
  int Percent() const;
  // Width of the filled part: Trunc(inner width * Percent / 100).
  int FilledWidth() const;
  TColor ForeColor = clBlack;           // the filled part
  TColor BackColor = clWhite;           // the unfilled part
  TBorderStyle BorderStyle = bsSingle;  // bsSingle: a 1-pixel black frame; bsNone: none
  bool ShowText = true;                 // "NN%" centred on the bar
  TGaugeKind Kind = gkHorizontalBar;
  void Paint(TCanvas& canvas) override;

 private:
  int min_ = 0, max_ = 100, progress_ = 0;
};
