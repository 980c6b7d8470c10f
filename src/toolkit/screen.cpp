#include "toolkit/screen.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "toolkit/application.h"
#include "toolkit/canvas.h"
#include "toolkit/forms.h"

TScreen* Screen = nullptr;

TScreen::TScreen() : last_(static_cast<size_t>(pitch_) * height_, 0), base_(last_.data()) {}

PixelBuffer TScreen::LastFrame() const {
  PixelBuffer p;
  p.bits = const_cast<uint8_t*>(base_);
  p.pitch = pitch_;
  p.width = width_;
  p.height = height_;
  p.bitCount = bitCount_;
  return p;
}

void TScreen::EnsureWindow() {
  if (!platform::Installed()) return;
  platform::Video& v = *platform::Get().video;
  if (v.WindowOpen()) return;
  TForm* main = Application != nullptr ? Application->MainForm() : nullptr;
  std::string caption = main != nullptr && !main->Caption().empty()
                            ? main->Caption()
                            : (Application != nullptr ? Application->Title : std::string());
  v.OpenWindow(caption, 800, 600);
  if (main != nullptr) v.SetBorder(main->BorderStyle() != bsNone);
  v.Show();
}

namespace {
bool InsideOf(const TControl* c, int x, int y) {
  TPoint o = c->ScreenOrigin();
  if (auto* f = dynamic_cast<const TForm*>(c)) {
    // A form's origin is its client area's; its box includes the border.
    int bw = f->IsMainForm() ? 0 : f->BorderWidth();
    return x >= o.X - bw && y >= o.Y - bw && x < o.X - bw + c->Width() &&
           y < o.Y - bw + c->Height();
  }
  return x >= o.X && y >= o.Y && x < o.X + c->Width() && y < o.Y + c->Height();
}

TControl* Deepest(TControl* c, int x, int y) {
  auto* w = dynamic_cast<TWinControl*>(c);
  if (w == nullptr) return c;
  const auto& kids = w->Controls();
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
    if ((*it)->Visible() && InsideOf(*it, x, y)) return Deepest(*it, x, y);
  }
  return c;
}

bool MainFormHasOverlay(TForm* main) {
  if (main == nullptr || !main->Visible()) return false;
  for (TControl* c : main->Controls()) {
    if (c->Visible() && c->PaintsOverFrame() && c->Width() > 0 && c->Height() > 0) return true;
  }
  return false;
}
}  // namespace

TControl* TScreen::ControlAt(int x, int y) const {
  if (Application == nullptr) return nullptr;
  const auto& z = Application->ZOrder();
  for (auto it = z.rbegin(); it != z.rend(); ++it) {
    if ((*it)->Visible() && InsideOf(*it, x, y)) return Deepest(*it, x, y);
  }
  TForm* main = Application->MainForm();
  if (main != nullptr && main->Visible()) return Deepest(main, x, y);
  return nullptr;
}

bool TScreen::OverlayVisible() const {
  if (Application == nullptr) return false;
  return !Application->ZOrder().empty() || MainFormHasOverlay(Application->MainForm());
}

void TScreen::KeepFrame(const PixelBuffer& f, std::shared_ptr<const void> keep) {
  width_ = f.width;
  height_ = f.height;
  bitCount_ = f.bitCount;
  if (keep) {
    // The frame's owner does not change these pixels while the handle is held: no copy.
    lent_ = std::move(keep);
    base_ = f.bits;
    pitch_ = f.pitch;
    return;
  }
  lent_.reset();
  int bpp = f.bitCount / 8;
  int rowBytes = f.width * bpp;
  size_t size = static_cast<size_t>(rowBytes) * f.height;
  if (last_.size() != size) last_.resize(size);
  pitch_ = rowBytes;
  base_ = last_.data();
  if (f.pitch == rowBytes) {
    std::memcpy(last_.data(), f.bits, size);
  } else {
    for (int y = 0; y < f.height; ++y) {
      std::memcpy(last_.data() + static_cast<size_t>(y) * rowBytes,
                  f.bits + static_cast<ptrdiff_t>(y) * f.pitch, rowBytes);
    }
  }
}

void TScreen::PresentFrame(const PixelBuffer& frame, std::shared_ptr<const void> keep) {
  if (frame.bits == nullptr || frame.width <= 0 || frame.height <= 0) return;
  if (frame.bitCount != 16 && frame.bitCount != 32) return;
  // Keeping the frame is what lets a window be drawn over a frozen game later without asking
  // the display for anything (its back buffer may be gone by then).
  KeepFrame(frame, std::move(keep));
  dirty_ = false;
  if (!OverlayVisible()) {
    if (!platform::Installed()) return;
    platform::FrameView v{frame.bits, frame.pitch, frame.width, frame.height, frame.bitCount};
    platform::Get().video->PresentKept(v, lent_);
    ++presents_;
    return;
  }
  ComposeAndPresent();
}

void TScreen::Repaint() {
  dirty_ = false;
  if (!OverlayVisible()) {
    if (!platform::Installed()) return;
    platform::FrameView v{base_, pitch_, width_, height_, bitCount_};
    platform::Get().video->PresentKept(v, lent_);
    ++presents_;
    return;
  }
  ComposeAndPresent();
}

void TScreen::PaintTree(TCanvas& canvas, TControl* c, int x, int y, const TRect& clip) {
  TRect box = Bounds(x, y, c->Width(), c->Height());
  TRect r{std::max(box.Left, clip.Left), std::max(box.Top, clip.Top),
          std::min(box.Right, clip.Right), std::min(box.Bottom, clip.Bottom)};
  if (r.Left >= r.Right || r.Top >= r.Bottom) return;
  canvas.SetOrigin(x, y);
  canvas.SetClipRect(r);
  canvas.Font = c->Font;
  canvas.Brush = TBrush{};
  canvas.Pen = TPen{};
  c->Paint(canvas);
  auto* w = dynamic_cast<TWinControl*>(c);
  if (w == nullptr) return;
  int ox = x, oy = y;
  if (auto* f = dynamic_cast<TForm*>(c)) {
    ox += f->BorderWidth();
    oy += f->BorderWidth();
  }
  // A copy: painting must not change the tree, but a control that does cannot break the walk.
  std::vector<TControl*> kids = w->Controls();
  for (TControl* k : kids) {
    if (k->Visible() && k->PaintsOverFrame()) {
      PaintTree(canvas, k, ox + k->Left(), oy + k->Top(), r);
    }
  }
}

void TScreen::ComposeAndPresent() {
  compose_.assign(base_, base_ + static_cast<size_t>(pitch_) * height_);
  PixelBuffer target{compose_.data(), pitch_, width_, height_, bitCount_};
  TCanvas canvas([&target](PixelBuffer& p) {
    p = target;
    return true;
  });
  TRect whole{0, 0, width_, height_};
  TForm* main = Application != nullptr ? Application->MainForm() : nullptr;
  if (main != nullptr && main->Visible()) {
    std::vector<TControl*> kids = main->Controls();
    for (TControl* k : kids) {
      if (k->Visible() && k->PaintsOverFrame()) PaintTree(canvas, k, k->Left(), k->Top(), whole);
    }
  }
  if (Application != nullptr) {
    std::vector<TForm*> z = Application->ZOrder();
    for (TForm* f : z) {
      if (f->Visible()) PaintTree(canvas, f, f->Left(), f->Top(), whole);
    }
  }
  canvas.ReleaseHandle();
  if (!platform::Installed()) return;
  platform::FrameView v{compose_.data(), pitch_, width_, height_, bitCount_};
  platform::Get().video->Present(v);
  ++presents_;
}
