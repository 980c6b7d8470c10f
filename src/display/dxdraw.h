// The display component: owns the screen surfaces, switches between full screen and a window,
// presents each finished frame through the toolkit's compositor and tells its dependants (image
// lists, the sprite engine) when surfaces are made, lost, restored and released.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "display/surface.h"
#include "toolkit/forms.h"

class TCustomDXDraw;

// ---------------------------------------------------------------------------------------------
// Options: a 16-bit set, bit 0 first.
enum TDXDrawOption {
  doFullScreen,
  doNoWindowChange,
  doAllowReboot,
  doWaitVBlank,
  doAllowPalette256,
  doSystemMemory,
  doStretch,
  doCenter,
  doFlip,
  do3D,
  doDirectX7Mode,
  doRetainedMode,
  doHardware,
  doSelectDriver,
  doZBuffer
};

class TDXDrawOptions {
 public:
  TDXDrawOptions() = default;
  TDXDrawOptions(std::initializer_list<TDXDrawOption> items) {
    for (TDXDrawOption o : items) Include(o);
  }
  // True when `o` is in the set.
  bool Contains(TDXDrawOption o) const { return (bits_ >> o) & 1u; }
  void Include(TDXDrawOption o) { bits_ = static_cast<uint16_t>(bits_ | (1u << o)); }
  void Exclude(TDXDrawOption o) { bits_ = static_cast<uint16_t>(bits_ & ~(1u << o)); }
  // The set with `o` added / removed.
  TDXDrawOptions operator+(TDXDrawOption o) const {
    TDXDrawOptions r = *this;
    r.Include(o);
    return r;
  }
  TDXDrawOptions operator-(TDXDrawOption o) const {
    TDXDrawOptions r = *this;
    r.Exclude(o);
    return r;
  }
  bool Empty() const { return bits_ == 0; }
  // The raw 16-bit value (bit n = option n).
  uint16_t Bits() const { return bits_; }
  bool operator==(const TDXDrawOptions&) const = default;

 private:
  uint16_t bits_ = 0;
};

// The effective options that `value` gives when the display is not initialised.
TDXDrawOptions FilterDXDrawOptions(TDXDrawOptions value);

// ---------------------------------------------------------------------------------------------
// Notices to the display's listeners.
enum class TDXDrawNotifyType : int {
  Destroying = 0,
  Initializing = 1,
  Initialized = 2,
  SurfaceInitialized = 3,
  Finalizing = 4,
  SurfaceFinalizing = 5,
  Restored = 6,
  SizeChanged = 7
};

// A listener: called with its target, the display and the notice.
using TDXDrawNotifyEvent = void (*)(void* target, TCustomDXDraw* sender, TDXDrawNotifyType type);

// ---------------------------------------------------------------------------------------------
// Palette tables: 256 entries of blue, green, red, reserved.
struct TRGBQuad {
  uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};
using TRGBQuads = std::array<TRGBQuad, 256>;

// A display palette entry.
struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};
inline constexpr uint8_t PC_NOCOLLAPSE = 0x40;

// The system palette: the twenty fixed colours at 0..9 and 246..255, black elsewhere.
TRGBQuads SystemPaletteQuads();

// The display palette (only 8-bit modes would show it; at 16 bits it has no visible effect).
class TDirectDrawPalette {
 public:
  // Entries as last written.
  const std::array<TPaletteEntry, 256>& Entries() const { return entries_; }
  // Writes `count` entries from `start`.
  void SetEntries(int start, int count, const TPaletteEntry* e);
  // Number of SetEntries calls so far.
  int WriteCount() const { return writes_; }

 private:
  std::array<TPaletteEntry, 256> entries_{};
  int writes_ = 0;
};

// The clipper: binds copies to the display control's window.
class TDirectDrawClipper {
 public:
  // The control the clipper is bound to (null when none).
  TControl* Window() const { return window_; }
  void SetWindow(TControl* c) { window_ = c; }

 private:
  TControl* window_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
struct TDXDrawDisplayMode {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  bool operator==(const TDXDrawDisplayMode&) const = default;
};

// The requested full-screen mode and the device's mode list.
class TDXDrawDisplay {
 public:
  explicit TDXDrawDisplay(TCustomDXDraw* owner) : owner_(owner) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bitCount_; }
  // Negative sizes are stored as 0.
  void SetWidth(int w) { width_ = w < 0 ? 0 : w; }
  void SetHeight(int h) { height_ = h < 0 ? 0 : h; }
  // Raises EDirectDrawError "It should be either of 8 or 16 or 24 or 32" for other depths.
  void SetBitCount(int bits);

  bool FixedBitCount = true;  // a mode must have exactly the asked depth
  bool FixedRatio = true;     // try modes of the asked width:height ratio first
  bool FixedSize = false;     // a mode must have exactly the asked size

  // The platform's modes, sorted by width, height, depth (read on first use, kept until cleared).
  int Count();
  const TDXDrawDisplayMode& Modes(int i);
  // Index of the mode w x h x bits in the list, or -1.
  int IndexOf(int w, int h, int bits);
  // Forgets the list (the next use reads it again).
  void ClearModes() {
    modes_.clear();
    loaded_ = false;
  }
  // Sets w x h x bits, else the best fallback (see the .cpp); stores the mode set. False when
  // no mode would do.
  bool SelectDisplayMode(int w, int h, int bits);

 private:
  void LoadModes();
  bool SetDisplayMode(int w, int h, int bits);
  bool Search(int w, int h, int bits, bool ratio, TDXDrawDisplayMode& best);

  TCustomDXDraw* owner_;
  int width_ = 640, height_ = 480, bitCount_ = 8;
  std::vector<TDXDrawDisplayMode> modes_;
  bool loaded_ = false;
};

// ---------------------------------------------------------------------------------------------
// How surfaces are made and frames presented: flipping (full screen) or copying (window).
class TDXDrawDriver {
 public:
  explicit TDXDrawDriver(TCustomDXDraw* dxdraw) : dxdraw_(dxdraw) {}
  virtual ~TDXDrawDriver() = default;
  // Makes Primary, Back, clipper and palette.
  virtual void CreateSurfaces() = 0;
  // Presents Back.
  virtual void Flip() = 0;
  // Remakes Back at the stored surface size; false when the driver cannot resize.
  virtual bool SetSize() = 0;
  // True for the flipping driver.
  virtual bool Flipping() const = 0;

 protected:
  TCustomDXDraw* dxdraw_;
};

class TDXDrawDriverFlip : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void CreateSurfaces() override;
  // Presents Back while the owner form is the active, foreground window; otherwise nothing.
  void Flip() override;
  bool SetSize() override { return false; }
  bool Flipping() const override { return true; }
};

class TDXDrawDriverBlt : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void CreateSurfaces() override;
  // Copies Back at the control's origin (doCenter / doStretch) into Primary and presents it.
  void Flip() override;
  bool SetSize() override;
  bool Flipping() const override { return false; }

 private:
  void MakeBack();
};

// ---------------------------------------------------------------------------------------------
class TCustomDXDraw : public TWinControl {
 public:
  explicit TCustomDXDraw(TComponent* owner);
  // Finalizes, then tells the listeners Destroying.
  ~TCustomDXDraw() override;

  bool AutoInitialize = true;  // initialise when the owner form is first shown
  // When on, the stored surface size follows the control's size.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v) { autoSize_ = v; }
  // The requested full-screen mode and the mode list.
  TDXDrawDisplay& Display() { return display_; }

  // Options as set; NowOptions the effective ones (see FilterDXDrawOptions).
  TDXDrawOptions Options() const { return options_; }
  void SetOptions(TDXDrawOptions value);
  TDXDrawOptions NowOptions() const { return nowOptions_; }

  // Back's size while it exists, else the stored size.
  int SurfaceWidth() const;
  int SurfaceHeight() const;
  // While loading only stores; otherwise resizes Back (SetSurfaceSize) and sends SizeChanged.
  void SetSurfaceWidth(int w);
  void SetSurfaceHeight(int h);
  // Stores max(w, 1) x max(h, 1) and, with the window driver, remakes Back at that size;
  // false when the full-screen driver refuses.
  bool SetSurfaceSize(int w, int h);

  TNotifyEvent OnInitializing, OnInitialize, OnInitializeSurface, OnFinalizeSurface, OnFinalize,
      OnRestoreSurface;

  TRGBQuads ColorTable;         // written to the palette after every restore and UpdatePalette
  TRGBQuads DefaultColorTable;  // written to the palette during a restore

  // Creates device, mode and surfaces; raises EDXDrawError and friends on failure (the display
  // is then finalised).
  void Initialize();
  // Fires the finalisation events, releases everything; nothing when no device exists.
  void Finalize();
  // Restores lost surfaces and lets the listeners rebuild their contents.
  void Restore();
  // Initialised, not updating, Back exists and the surfaces are usable.
  bool CanDraw();
  // Presents Back (nothing when it cannot draw).
  void Flip();
  // False when not initialised, updating or without Primary; repairs lost surfaces.
  bool CheckSurfaces();
  // Writes ColorTable to the display palette.
  void UpdatePalette();
  // Alt+Enter: finalize, switch between full screen and a window, initialize again.
  void SwitchFullScreen();
  // Loses every surface of the device (what switching away from full screen does).
  void SimulateLoss();

  // The screen surfaces (null when not initialised).
  TDirectDrawSurface* Primary() const { return primary_.get(); }
  TDirectDrawSurface* Back() const { return back_.get(); }
  // The device (null when not initialised); image surfaces are made on it.
  TDirectDraw* DDraw() const { return ddraw_.get(); }
  TDirectDrawPalette* Palette() const { return palette_.get(); }
  TDirectDrawClipper* Clipper() const { return clipper_.get(); }
  TDXDrawDriver* Driver() const { return driver_.get(); }

  bool Initialized() const { return initialized_; }
  // True while surfaces are being made, restored or released.
  bool Updating() const { return updating_; }
  // True once Initialize has been called.
  bool InitializeAttempted() const { return initAttempted_; }

  // Registers a listener (an identical one is replaced) and brings it up to date.
  void RegisterListener(TDXDrawNotifyEvent callback, void* target);
  // Removes it, telling it SurfaceFinalizing / Finalizing when initialised.
  void UnregisterListener(TDXDrawNotifyEvent callback, void* target);
  int ListenerCount() const { return static_cast<int>(listeners_.size()); }

  // The owner form's hook: the form has been shown (initialises when AutoInitialize asks).
  void FormShown();
  // Form resource read: initialises at once when no TDXForm can defer it; sends SizeChanged.
  void Loaded() override;
  // A resize with AutoSize on resizes the surface.
  void SetBounds(int left, int top, int width, int height) override;
  // The display's frame is the base layer: the compositor does not paint over it.
  bool PaintsOverFrame() const override { return false; }

 private:
  friend class TDXDrawDriverFlip;
  friend class TDXDrawDriverBlt;
  struct Listener {
    TDXDrawNotifyEvent callback;
    void* target;
  };
  void Broadcast(TDXDrawNotifyType type);
  void WritePalette(const TRGBQuads& table);
  bool OwnerFormActive();
  int WindowBitCount() const;

  TDXDrawDisplay display_;
  bool autoSize_ = true;
  TDXDrawOptions options_;
  TDXDrawOptions nowOptions_;
  int surfaceWidth_ = 0, surfaceHeight_ = 0;

  std::unique_ptr<TDirectDraw> ddraw_;
  std::unique_ptr<TDXDrawDriver> driver_;
  std::unique_ptr<TDirectDrawSurface> primary_, back_;
  std::unique_ptr<TDirectDrawClipper> clipper_;
  std::unique_ptr<TDirectDrawPalette> palette_;

  bool initialized_ = false;
  bool deviceExists_ = false;
  bool initAttempted_ = false;
  bool updating_ = false;
  bool calledOnInitialize_ = false;
  bool calledOnInitializeSurface_ = false;
  int initializing_ = 0;
  std::vector<Listener> listeners_;
};

// The published display component.
class TDXDraw : public TCustomDXDraw {
 public:
  explicit TDXDraw(TComponent* owner) : TCustomDXDraw(owner) {}
};

// ---------------------------------------------------------------------------------------------
// The base of windows that hold a display: defers its display's initialisation to the first
// showing, finalises it on destruction, and keeps a window placement across mode switches.
class TDXForm : public TForm {
 public:
  explicit TDXForm(TComponent* owner);
  // Finalises the displays on it first, while the form is still whole.
  ~TDXForm() override;

  // Number of TDXForm windows alive.
  static int Count();
  // Remembers position, size and full-screen state.
  void StoreWindow();
  // Puts a remembered placement back and forgets it (nothing when none is stored).
  void RestoreWindow();
  // True while a placement is remembered.
  bool WindowStored() const { return stored_; }
  // Activation; afterwards the displays on the form get their first-showing hook.
  void Activate() override;

 private:
  void FinalizeDisplays(TWinControl* c);
  void NotifyShown(TWinControl* c);
  bool stored_ = false;
  TRect storedBounds_;
  bool storedFullScreen_ = false;
};
