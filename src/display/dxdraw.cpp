#include "display/dxdraw.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

#include "platform/platform.h"
#include "toolkit/application.h"
#include "toolkit/screen.h"
#include "toolkit/translate.h"

// ---------------------------------------------------------------------------------------------
// Options

TDXDrawOptions FilterDXDrawOptions(TDXDrawOptions value) {
  TDXDrawOptions r = value;
  if (!r.Contains(doFullScreen)) {
    // A window never flips and never owns the screen.
    for (TDXDrawOption o : {doNoWindowChange, doAllowReboot, doAllowPalette256, doFlip})
      r.Exclude(o);
  }
  if (!r.Contains(do3D)) {
    for (TDXDrawOption o : {doDirectX7Mode, doRetainedMode, doHardware, doSelectDriver, doZBuffer})
      r.Exclude(o);
  }
  if (r.Contains(doSystemMemory)) r.Exclude(doFlip);
  if (r.Contains(doDirectX7Mode)) r.Exclude(doRetainedMode);
  // Only the 3-D set-up (never built) would set it again.
  r.Exclude(doHardware);
  return r;
}

// ---------------------------------------------------------------------------------------------
// Palette

TRGBQuads SystemPaletteQuads() {
  // The twenty colours the system keeps for itself at both ends of the palette.
  static constexpr uint8_t kLow[10][3] = {
      {0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128}, {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {166, 202, 240}};
  static constexpr uint8_t kHigh[10][3] = {
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
  TRGBQuads q{};
  for (int i = 0; i < 10; ++i) {
    q[i] = TRGBQuad{kLow[i][2], kLow[i][1], kLow[i][0], 0};
    q[246 + i] = TRGBQuad{kHigh[i][2], kHigh[i][1], kHigh[i][0], 0};
  }
  return q;
}

void TDirectDrawPalette::SetEntries(int start, int count, const TPaletteEntry* e) {
  if (!e || start < 0 || count <= 0 || start + count > 256) return;
  std::copy(e, e + count, entries_.begin() + start);
  ++writes_;
}

// ---------------------------------------------------------------------------------------------
// Display modes

void TDXDrawDisplay::SetBitCount(int bits) {
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
    throw EDirectDrawError(SInvalidDIBBitCount);
  bitCount_ = bits;
}

void TDXDrawDisplay::LoadModes() {
  if (loaded_) return;
  modes_.clear();
  if (platform::Installed()) {
    for (const platform::DisplayMode& m : platform::Get().video->Modes())
      modes_.push_back(TDXDrawDisplayMode{m.width, m.height, m.bits});
  }
  std::sort(modes_.begin(), modes_.end(),
            [](const TDXDrawDisplayMode& a, const TDXDrawDisplayMode& b) {
              if (a.Width != b.Width) return a.Width < b.Width;
              if (a.Height != b.Height) return a.Height < b.Height;
              return a.BitCount < b.BitCount;
            });
  loaded_ = true;
}

int TDXDrawDisplay::Count() {
  LoadModes();
  return static_cast<int>(modes_.size());
}

const TDXDrawDisplayMode& TDXDrawDisplay::Modes(int i) {
  LoadModes();
  if (i < 0 || i >= static_cast<int>(modes_.size()))
    throw EListError(Format(toolkit::Tr("Index of the list exceeds the range. (%d)"), i));
  return modes_[i];
}

int TDXDrawDisplay::IndexOf(int w, int h, int bits) {
  LoadModes();
  for (size_t i = 0; i < modes_.size(); ++i)
    if (modes_[i] == TDXDrawDisplayMode{w, h, bits}) return static_cast<int>(i);
  return -1;
}

bool TDXDrawDisplay::SetDisplayMode(int w, int h, int bits) {
  // The screen takes exactly the modes it offers; the frame is then scaled onto it.
  if (IndexOf(w, h, bits) < 0) return false;
  width_ = w;
  height_ = h;
  bitCount_ = bits;
  return true;
}

bool TDXDrawDisplay::Search(int w, int h, int bits, bool ratio, TDXDrawDisplayMode& best) {
  LoadModes();
  best = TDXDrawDisplayMode{INT_MAX, INT_MAX, 0};
  bool found = false;
  const long double want = static_cast<long double>(w) / h;
  for (const TDXDrawDisplayMode& m : modes_) {
    if (m.Width > best.Width || m.Height > best.Height) continue;
    if (ratio && (m.Height == 0 || static_cast<long double>(m.Width) / m.Height != want)) continue;
    if (FixedSize) {
      if (m.Width != w || m.Height != h) continue;
    } else if (m.Width < w || m.Height < h) {
      continue;
    }
    if (FixedBitCount) {
      if (m.BitCount != bits) continue;
    } else if ((m.BitCount < 9 || bits < 9) && m.BitCount < bits) {
      continue;
    }
    best = m;
    found = true;
  }
  if (!found) return false;
  if (best.BitCount != bits && IndexOf(best.Width, best.Height, bits) >= 0) best.BitCount = bits;
  return true;
}

bool TDXDrawDisplay::SelectDisplayMode(int w, int h, int bits) {
  if (w <= 0 || h <= 0) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (SetDisplayMode(w, h, bits)) return true;
  TDXDrawDisplayMode best;
  if (FixedRatio && Search(w, h, bits, true, best) &&
      SetDisplayMode(best.Width, best.Height, best.BitCount))
    return true;
  if (Search(w, h, bits, false, best))
    return SetDisplayMode(best.Width, best.Height, best.BitCount);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Drivers

namespace {

// Nearest-pixel copy of all of `src` into `dst` (any part of it may lie outside `to`'s pixels);
// both surfaces share one whole-byte format.
void StretchCopy(TDirectDrawSurface& to, const TRect& dst, TDirectDrawSurface& from) {
  PixelBuffer d = to.Buffer(), s = from.Buffer();
  if (!d.bits || !s.bits || d.bitCount != s.bitCount || d.bitCount < 8) return;
  const int dw = dst.Width(), dh = dst.Height();
  if (dw <= 0 || dh <= 0) return;
  const int bpp = d.bitCount / 8;
  const int x0 = std::max(dst.Left, 0), x1 = std::min(dst.Right, d.width);
  const int y0 = std::max(dst.Top, 0), y1 = std::min(dst.Bottom, d.height);
  for (int y = y0; y < y1; ++y) {
    const int sy = static_cast<int>(static_cast<int64_t>(y - dst.Top) * s.height / dh);
    const uint8_t* srow = s.bits + static_cast<size_t>(sy) * s.pitch;
    uint8_t* drow = d.bits + static_cast<size_t>(y) * d.pitch;
    for (int x = x0; x < x1; ++x) {
      const int sx = static_cast<int>(static_cast<int64_t>(x - dst.Left) * s.width / dw);
      std::memcpy(drow + x * bpp, srow + sx * bpp, bpp);
    }
  }
}

// Shows `s`. A lent surface (a flipped one, which nothing draws on until the next flip) is kept
// by the screen and the platform through a handle instead of a copy.
void Present(TDirectDrawSurface& s, bool lend) {
  PixelBuffer b = s.Buffer();
  if (!b.bits) return;
  std::shared_ptr<const void> keep = lend ? s.LendPixels() : nullptr;
  if (Screen != nullptr) {
    Screen->PresentFrame(b, std::move(keep));
  } else if (platform::Installed()) {
    platform::FrameView v;
    v.pixels = b.bits;
    v.pitch = b.pitch;
    v.width = b.width;
    v.height = b.height;
    v.bitCount = b.bitCount;
    platform::Get().video->PresentKept(v, std::move(keep));
  }
}

// Makes a screen surface, turning the surface error into the display's own.
std::unique_ptr<TDirectDrawSurface> MakeScreenSurface(TDirectDraw* dd, int w, int h,
                                                      const char* what) {
  auto s = std::make_unique<TDirectDrawSurface>(dd);
  try {
    s->SetSize(w, h);
  } catch (const EDirectDrawSurfaceError&) {
    throw EDXDrawError(Format(toolkit::Tr(SCannotMade), what));
  }
  return s;
}

}  // namespace

void TDXDrawDriverFlip::CreateSurfaces() {
  TCustomDXDraw& dx = *dxdraw_;
  const int w = dx.display_.Width(), h = dx.display_.Height();
  dx.primary_ = MakeScreenSurface(dx.ddraw_.get(), w, h, "Primary Surface");
  // The chain's back buffer has the display mode's size; the stored size plays no part.
  dx.back_ = MakeScreenSurface(dx.ddraw_.get(), w, h, "Primary Surface");
  if (dx.back_->SystemMemory) dx.nowOptions_.Include(doSystemMemory);
  dx.clipper_ = std::make_unique<TDirectDrawClipper>();
  dx.palette_ = std::make_unique<TDirectDrawPalette>();
  dx.WritePalette(dx.ColorTable);
}

void TDXDrawDriverFlip::Flip() {
  TCustomDXDraw& dx = *dxdraw_;
  // A full-screen display that is not in front shows nothing; that is not a failure.
  if (!dx.OwnerFormActive()) return;
  // A surface whose canvas is still held cannot be flipped.
  if (dx.back_->CanvasHeld()) return;
  // The flip exchanges the two surfaces: the finished frame goes on show without being copied,
  // and the frame shown until now becomes the surface the next frame is drawn on (every frame
  // starts with a fill). If the exchange is refused the finished frame is shown from Back.
  if (!dx.primary_->ExchangePixels(*dx.back_)) {
    Present(*dx.back_, false);
    return;
  }
  Present(*dx.primary_, true);
}

void TDXDrawDriverBlt::MakeBack() {
  TCustomDXDraw& dx = *dxdraw_;
  const int w = std::max(dx.surfaceWidth_, 1), h = std::max(dx.surfaceHeight_, 1);
  if (!dx.back_) dx.back_ = std::make_unique<TDirectDrawSurface>(dx.ddraw_.get());
  TDirectDrawSurface& b = *dx.back_;
  b.SystemMemory = dx.options_.Contains(doSystemMemory);
  try {
    b.SetSize(w, h);
  } catch (const EDirectDrawSurfaceError&) {
    bool made = false;
    if (!dx.options_.Contains(doSystemMemory)) {
      b.SystemMemory = true;
      try {
        b.SetSize(w, h);
        made = true;
      } catch (const EDirectDrawSurfaceError&) {
      }
    }
    if (!made) throw EDXDrawError(Format(toolkit::Tr(SCannotMade), "Surface"));
  }
  if (b.SystemMemory)
    dx.nowOptions_.Include(doSystemMemory);
  else
    dx.nowOptions_.Exclude(doSystemMemory);
  b.Fill(0);
}

void TDXDrawDriverBlt::CreateSurfaces() {
  TCustomDXDraw& dx = *dxdraw_;
  // The primary surface is the whole frame the window shows. The program's main form is the
  // platform window, which letterboxes its frames into whatever size the player gives it, in a
  // window as in full screen: its client area is the display's size, so the whole field shows
  // 1:1 (its design client area would cut the field's right and bottom edges off and the window
  // would stretch the rest back). Any other form shows its own client area.
  int pw = 0, ph = 0;
  TForm* main = Application != nullptr ? Application->MainForm() : nullptr;
  if (main == nullptr) main = dx.ParentForm();
  if (main != nullptr && main->IsMainForm()) {
    pw = dx.display_.Width();
    ph = dx.display_.Height();
  } else if (main != nullptr) {
    pw = main->ClientWidth();
    ph = main->ClientHeight();
  }
  if (pw <= 0 || ph <= 0) {
    pw = std::max(dx.surfaceWidth_, 1);
    ph = std::max(dx.surfaceHeight_, 1);
  }
  dx.primary_ = MakeScreenSurface(dx.ddraw_.get(), pw, ph, "Primary Surface");
  dx.clipper_ = std::make_unique<TDirectDrawClipper>();
  dx.clipper_->SetWindow(&dx);
  dx.palette_ = std::make_unique<TDirectDrawPalette>();
  dx.WritePalette(dx.ColorTable);
  MakeBack();
}

bool TDXDrawDriverBlt::SetSize() {
  MakeBack();
  return true;
}

void TDXDrawDriverBlt::Flip() {
  TCustomDXDraw& dx = *dxdraw_;
  TDirectDrawSurface& back = *dx.back_;
  TDirectDrawSurface& primary = *dx.primary_;
  if (back.CanvasHeld() || primary.CanvasHeld()) return;
  const TPoint o = dx.ScreenOrigin();
  TRect dst;
  if (dx.nowOptions_.Contains(doStretch)) {
    dst = Bounds(o.X, o.Y, dx.Width(), dx.Height());
  } else {
    int x = o.X, y = o.Y;
    if (dx.nowOptions_.Contains(doCenter)) {
      // Halves truncate toward zero, as integer division does.
      x += (dx.Width() - back.Width()) / 2;
      y += (dx.Height() - back.Height()) / 2;
    }
    dst = Bounds(x, y, back.Width(), back.Height());
  }
  if (dst.Width() == back.Width() && dst.Height() == back.Height()) {
    if (!primary.Draw(dst.Left, dst.Top, back.ClientRect(), &back, false)) return;
  } else {
    StretchCopy(primary, dst, back);
  }
  Present(primary, false);
}

// ---------------------------------------------------------------------------------------------
// Display component

TCustomDXDraw::TCustomDXDraw(TComponent* owner) : TWinControl(owner), display_(this) {
  options_ = TDXDrawOptions{doAllowReboot,  doWaitVBlank, doCenter,
                            doDirectX7Mode, doHardware,   doSelectDriver};
  nowOptions_ = FilterDXDrawOptions(options_);
  ColorTable = SystemPaletteQuads();
  DefaultColorTable = ColorTable;
  SetBounds(0, 0, 100, 100);
}

TCustomDXDraw::~TCustomDXDraw() {
  try {
    Finalize();
  } catch (...) {
    // A destructor cannot pass a handler's failure on; the display is released either way.
  }
  try {
    Broadcast(TDXDrawNotifyType::Destroying);
  } catch (...) {
  }
  listeners_.clear();
}

void TCustomDXDraw::SetOptions(TDXDrawOptions value) {
  options_ = value;
  if (!initialized_) {
    nowOptions_ = FilterDXDrawOptions(value);
    return;
  }
  // While initialised only the presentation options change at once.
  for (TDXDrawOption o : {doWaitVBlank, doStretch, doCenter}) {
    if (value.Contains(o))
      nowOptions_.Include(o);
    else
      nowOptions_.Exclude(o);
  }
  if (!nowOptions_.Contains(do3D)) {
    for (TDXDrawOption o : {doRetainedMode, doHardware, doSelectDriver, doZBuffer})
      nowOptions_.Exclude(o);
  }
}

int TCustomDXDraw::SurfaceWidth() const {
  return back_ && back_->Exists() ? back_->Width() : surfaceWidth_;
}

int TCustomDXDraw::SurfaceHeight() const {
  return back_ && back_->Exists() ? back_->Height() : surfaceHeight_;
}

void TCustomDXDraw::SetSurfaceWidth(int w) {
  if (Loading()) {
    surfaceWidth_ = w;
    return;
  }
  if (w == SurfaceWidth() || updating_) return;
  SetSurfaceSize(w, SurfaceHeight());
  Broadcast(TDXDrawNotifyType::SizeChanged);
}

void TCustomDXDraw::SetSurfaceHeight(int h) {
  if (Loading()) {
    surfaceHeight_ = h;
    return;
  }
  if (h == SurfaceHeight() || updating_) return;
  SetSurfaceSize(SurfaceWidth(), h);
  Broadcast(TDXDrawNotifyType::SizeChanged);
}

bool TCustomDXDraw::SetSurfaceSize(int w, int h) {
  if (driver_ && driver_->Flipping()) return false;
  surfaceWidth_ = std::max(w, 1);
  surfaceHeight_ = std::max(h, 1);
  if (!initialized_ || !driver_) return true;
  Broadcast(TDXDrawNotifyType::SurfaceFinalizing);
  if (calledOnInitializeSurface_) {
    calledOnInitializeSurface_ = false;
    if (OnFinalizeSurface) OnFinalizeSurface(this);
  }
  driver_->SetSize();
  Broadcast(TDXDrawNotifyType::SurfaceInitialized);
  calledOnInitializeSurface_ = true;
  if (OnInitializeSurface) OnInitializeSurface(this);
  return true;
}

int TCustomDXDraw::WindowBitCount() const {
  // A window uses the desktop's format; ours is 16-bit unless the display asks for true colour.
  return display_.BitCount() >= 24 ? 32 : 16;
}

void TCustomDXDraw::Initialize() {
  // Counts running initialisations, so listeners registering meanwhile wait for its Restore.
  struct Nesting {
    int& n;
    explicit Nesting(int& c) : n(c) { ++n; }
    ~Nesting() { --n; }
  } nesting(initializing_);

  initAttempted_ = true;
  Finalize();
  if (ParentForm() == nullptr) throw EDXDrawError(toolkit::Tr(SNotFoundForm));

  try {
    if (OnInitializing) OnInitializing(this);
    updating_ = true;
    deviceExists_ = true;
    Broadcast(TDXDrawNotifyType::Initializing);

    const bool fullScreen = nowOptions_.Contains(doFullScreen);
    if (nowOptions_.Contains(doFlip))
      driver_ = std::make_unique<TDXDrawDriverFlip>(this);
    else
      driver_ = std::make_unique<TDXDrawDriverBlt>(this);
    ddraw_ = std::make_unique<TDirectDraw>(fullScreen ? display_.BitCount() : WindowBitCount());

    // The cooperative level: full screen owns the screen, a window shares the desktop.
    if (platform::Installed()) platform::Get().video->SetFullScreen(fullScreen);

    if (fullScreen) {
      const int w = display_.Width(), h = display_.Height(), bits = display_.BitCount();
      if (!display_.SelectDisplayMode(w, h, bits))
        throw EDXDrawError(Format(SDisplayModeChange, w, h, bits));
      ddraw_->SetBitCount(display_.BitCount());
    }
    if (autoSize_) {
      surfaceWidth_ = Width();
      surfaceHeight_ = Height();
    }
    driver_->CreateSurfaces();
    updating_ = false;
    initialized_ = true;
  } catch (...) {
    try {
      Finalize();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }

  Broadcast(TDXDrawNotifyType::SizeChanged);
  Broadcast(TDXDrawNotifyType::Initialized);
  calledOnInitialize_ = true;
  if (OnInitialize) OnInitialize(this);
  Broadcast(TDXDrawNotifyType::SurfaceInitialized);
  calledOnInitializeSurface_ = true;
  if (OnInitializeSurface) OnInitializeSurface(this);
  Restore();
}

void TCustomDXDraw::Finalize() {
  if (!deviceExists_) return;
  // The back buffer's size carries over to the next mode (800 x 600 after full screen).
  if (back_ && back_->Exists()) {
    surfaceWidth_ = back_->Width();
    surfaceHeight_ = back_->Height();
  }
  display_.ClearModes();
  updating_ = true;

  // Every step runs even when a handler before it fails; the first failure is passed on at the
  // end, after everything is released.
  std::exception_ptr failure;
  auto guarded = [&failure](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  if (calledOnInitializeSurface_) {
    calledOnInitializeSurface_ = false;
    guarded([this] {
      if (OnFinalizeSurface) OnFinalizeSurface(this);
    });
  }
  guarded([this] { Broadcast(TDXDrawNotifyType::SurfaceFinalizing); });
  if (calledOnInitialize_) {
    calledOnInitialize_ = false;
    guarded([this] {
      if (OnFinalize) OnFinalize(this);
    });
  }
  guarded([this] { Broadcast(TDXDrawNotifyType::Finalizing); });

  deviceExists_ = false;
  initialized_ = false;
  SetOptions(options_);
  driver_.reset();
  back_.reset();
  primary_.reset();
  clipper_.reset();
  palette_.reset();
  ddraw_.reset();
  updating_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TCustomDXDraw::Restore() {
  if (!initialized_ || updating_) return;
  updating_ = true;
  struct Done {
    bool& u;
    ~Done() { u = false; }
  } done{updating_};

  if (!primary_->Restore() || !back_->Restore()) return;
  primary_->Fill(0);
  back_->Fill(0);
  WritePalette(DefaultColorTable);
  Broadcast(TDXDrawNotifyType::Restored);
  if (OnRestoreSurface) OnRestoreSurface(this);
  WritePalette(ColorTable);
}

bool TCustomDXDraw::CheckSurfaces() {
  if (!initialized_ || updating_ || !primary_ || !primary_->Exists()) return false;
  const bool lost = primary_->IsLost() || (back_ && back_->IsLost());
  if (!lost) return true;
  Restore();
  return primary_ && !primary_->IsLost() && !(back_ && back_->IsLost());
}

bool TCustomDXDraw::CanDraw() { return initialized_ && !updating_ && back_ && CheckSurfaces(); }

void TCustomDXDraw::Flip() {
  if (!initialized_ || updating_ || !CheckSurfaces()) return;
  driver_->Flip();
}

void TCustomDXDraw::WritePalette(const TRGBQuads& table) {
  if (!palette_) return;
  const TRGBQuads sys = SystemPaletteQuads();
  const bool all = nowOptions_.Contains(doAllowPalette256);
  std::array<TPaletteEntry, 256> e;
  for (int i = 0; i < 256; ++i) {
    // Without doAllowPalette256 the system keeps its twenty colours.
    const TRGBQuad& q = (!all && (i < 10 || i >= 246)) ? sys[i] : table[i];
    e[i] = TPaletteEntry{q.rgbRed, q.rgbGreen, q.rgbBlue, PC_NOCOLLAPSE};
  }
  palette_->SetEntries(0, 256, e.data());
}

void TCustomDXDraw::UpdatePalette() {
  // Waiting for the vertical blank is the presenter's pacing here; nothing to wait for.
  if (initialized_ && palette_) WritePalette(ColorTable);
}

bool TCustomDXDraw::OwnerFormActive() {
  TForm* form = ParentForm();
  if (form == nullptr || Application == nullptr || Application->ActiveForm() != form) return false;
  return platform::Installed() && platform::Get().video->IsForeground();
}

void TCustomDXDraw::SimulateLoss() {
  if (ddraw_) ddraw_->SimulateLoss();
}

void TCustomDXDraw::SwitchFullScreen() {
  Finalize();
  TForm* form = ParentForm();
  TDXForm* dxform = dynamic_cast<TDXForm*>(form);
  if (options_.Contains(doFullScreen)) {
    if (dxform) dxform->RestoreWindow();
    SetCursor(crDefault);
    if (form) form->SetBorderStyle(bsSizeable);
    SetOptions(options_ - doFullScreen);
  } else {
    if (dxform) dxform->StoreWindow();
    SetCursor(crNone);
    if (form) form->SetBorderStyle(bsNone);
    SetOptions(options_ + doFullScreen);
  }
  Initialize();
}

void TCustomDXDraw::Broadcast(TDXDrawNotifyType type) {
  // Last registered first; a listener may unregister itself (or others) while being told.
  for (int i = static_cast<int>(listeners_.size()) - 1; i >= 0; --i) {
    if (i >= static_cast<int>(listeners_.size())) continue;
    const Listener l = listeners_[i];
    l.callback(l.target, this, type);
  }
}

void TCustomDXDraw::RegisterListener(TDXDrawNotifyEvent callback, void* target) {
  if (!callback) return;
  std::erase_if(listeners_,
                [&](const Listener& l) { return l.callback == callback && l.target == target; });
  listeners_.push_back(Listener{callback, target});
  callback(target, this, TDXDrawNotifyType::SizeChanged);
  if (initialized_) {
    callback(target, this, TDXDrawNotifyType::Initialized);
    if (calledOnInitializeSurface_) callback(target, this, TDXDrawNotifyType::SurfaceInitialized);
    // A running initialisation sends Restored itself from its final Restore.
    if (initializing_ == 0) callback(target, this, TDXDrawNotifyType::Restored);
  }
}

void TCustomDXDraw::UnregisterListener(TDXDrawNotifyEvent callback, void* target) {
  const size_t before = listeners_.size();
  std::erase_if(listeners_,
                [&](const Listener& l) { return l.callback == callback && l.target == target; });
  if (listeners_.size() == before || !callback) return;
  if (initialized_) {
    if (calledOnInitializeSurface_) callback(target, this, TDXDrawNotifyType::SurfaceFinalizing);
    callback(target, this, TDXDrawNotifyType::Finalizing);
  }
}

void TCustomDXDraw::FormShown() {
  if (AutoInitialize && !initAttempted_) Initialize();
}

void TCustomDXDraw::Loaded() {
  TWinControl::Loaded();
  // On a TDXForm the first showing initialises; elsewhere nothing would, so do it now.
  if (AutoInitialize && dynamic_cast<TDXForm*>(ParentForm()) == nullptr) Initialize();
  Broadcast(TDXDrawNotifyType::SizeChanged);
}

void TCustomDXDraw::SetBounds(int left, int top, int width, int height) {
  const int oldW = Width(), oldH = Height();
  TWinControl::SetBounds(left, top, width, height);
  if (autoSize_ && !Loading() && (Width() != oldW || Height() != oldH))
    SetSurfaceSize(Width(), Height());
}

// ---------------------------------------------------------------------------------------------
// Forms that hold a display

namespace {
int gDXFormCount = 0;
}

TDXForm::TDXForm(TComponent* owner) : TForm(owner) { ++gDXFormCount; }

TDXForm::~TDXForm() {
  FinalizeDisplays(this);
  --gDXFormCount;
}

int TDXForm::Count() { return gDXFormCount; }

void TDXForm::FinalizeDisplays(TWinControl* c) {
  for (TControl* child : c->Controls()) {
    if (auto* dx = dynamic_cast<TCustomDXDraw*>(child)) {
      try {
        dx->Finalize();
      } catch (...) {
        // The window is going away; its handlers' failures cannot stop that.
      }
    }
    if (auto* w = dynamic_cast<TWinControl*>(child)) FinalizeDisplays(w);
  }
}

void TDXForm::NotifyShown(TWinControl* c) {
  for (TControl* child : c->Controls()) {
    if (auto* dx = dynamic_cast<TCustomDXDraw*>(child)) dx->FormShown();
    if (auto* w = dynamic_cast<TWinControl*>(child)) NotifyShown(w);
  }
}

void TDXForm::Activate() {
  // The shown window reports its position after its activation handler has run; the display
  // initialises then, even when that handler failed.
  std::exception_ptr failure;
  try {
    TForm::Activate();
  } catch (...) {
    failure = std::current_exception();
  }
  if (Visible()) NotifyShown(this);
  if (failure) std::rethrow_exception(failure);
}

void TDXForm::StoreWindow() {
  storedBounds_ = BoundsRect();
  storedFullScreen_ = platform::Installed() && platform::Get().video->FullScreen();
  stored_ = true;
}

void TDXForm::RestoreWindow() {
  if (!stored_) return;
  SetBounds(storedBounds_.Left, storedBounds_.Top, storedBounds_.Width(), storedBounds_.Height());
  if (platform::Installed()) platform::Get().video->SetFullScreen(storedFullScreen_);
  stored_ = false;
}
