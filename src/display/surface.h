// Surfaces: blocks of pixels in the display's format that images and the screen are made of.
//
// There is no DirectDraw here: a surface is our own memory buffer (16-bit RGB565 for the game,
// 32-bit XRGB and the palette depths 1/4/8 and 24-bit BGR for completeness). The operations keep
// the behaviour the game relies on: exact clipping of copies, colour-keyed copies, one lock at a
// time, a canvas for text, raw pixel values, a stored result code instead of raised errors, and a
// "lost" state that the display's restore path repairs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/graphics.h"
#include "toolkit/translate.h"

class TCanvas;
class TDirectDrawSurface;

// Error classes of the display layer. Surface, palette and clipper errors are device errors.
KX_DECLARE_ERROR(EDirectDrawError, Exception);
KX_DECLARE_ERROR(EDirectDrawSurfaceError, EDirectDrawError);
KX_DECLARE_ERROR(EDirectDrawPaletteError, EDirectDrawError);
KX_DECLARE_ERROR(EDirectDrawClipperError, EDirectDrawError);
KX_DECLARE_ERROR(EDXDrawError, Exception);

// Message texts of the display layer (translated with toolkit::Tr, then filled with Format).
inline constexpr const char* SCannotInitialized = toolkit::TrLater("%s cannot be initialized");
inline constexpr const char* SCannotMade = toolkit::TrLater("%s cannot be made");
inline constexpr const char* SNotMade = toolkit::TrLater("%s not made");
inline constexpr const char* SSinceDirectX6 = toolkit::TrLater("Necessary since DirectX 6");
inline constexpr const char* SSinceDirectX7 = toolkit::TrLater("Necessary since DirectX 7");
inline constexpr const char* SInvalidDIBBitCount =
    toolkit::TrLater("It should be either of 8 or 16 or 24 or 32");
inline constexpr const char* SNotFoundForm = toolkit::TrLater("Form not found");
inline constexpr const char* SDisplayModeChange =
    toolkit::TrLater("Display mode cannot be changed (%dx%d %dbit)");

// Result codes stored by surfaces and the display (0 = success), numbered like the device's own.
using HResult = int32_t;
inline constexpr HResult DD_OK = 0;
inline constexpr HResult DDERR_INVALIDPARAMS = static_cast<HResult>(0x80070057u);
inline constexpr HResult DDERR_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult DDERR_INVALIDOBJECT = static_cast<HResult>(0x88760000u | 130);
inline constexpr HResult DDERR_INVALIDPIXELFORMAT = static_cast<HResult>(0x88760000u | 145);
inline constexpr HResult DDERR_INVALIDRECT = static_cast<HResult>(0x88760000u | 150);
inline constexpr HResult DDERR_NOCOLORKEY = static_cast<HResult>(0x88760000u | 215);
inline constexpr HResult DDERR_SURFACEBUSY = static_cast<HResult>(0x88760000u | 430);
inline constexpr HResult DDERR_SURFACELOST = static_cast<HResult>(0x88760000u | 450);
inline constexpr HResult DDERR_NOTLOCKED = static_cast<HResult>(0x88760000u | 584);

// Pixel format flags of a locked surface description.
inline constexpr uint32_t DDPF_RGB = 0x40;
inline constexpr uint32_t DDPF_PALETTEINDEXED1 = 0x800;
inline constexpr uint32_t DDPF_PALETTEINDEXED4 = 0x8;
inline constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;

struct TDDPixelFormat {
  uint32_t Flags = 0;         // DDPF_RGB or one DDPF_PALETTEINDEXEDn
  int BitCount = 0;           // bits per pixel
  uint32_t RBitMask = 0;      // red channel bits (0 for indexed formats)
  uint32_t GBitMask = 0;      // green channel bits
  uint32_t BBitMask = 0;      // blue channel bits
  uint32_t AlphaBitMask = 0;  // alpha bits (none of our formats has any)
};

// What a lock hands back: the locked rectangle's first pixel, the pitch and the format.
struct TDDSurfaceDesc {
  int Width = 0;            // width of the locked rectangle
  int Height = 0;           // height of the locked rectangle
  int Pitch = 0;            // bytes from one row to the next
  uint8_t* Bits = nullptr;  // byte holding the rectangle's top-left pixel
  TDDPixelFormat PixelFormat;
  bool HasColorKey = false;   // a source colour key is set
  uint32_t ColorKeyLow = 0;   // source colour key, low value
  uint32_t ColorKeyHigh = 0;  // source colour key, high value
};

// The display device: the pixel depth that every surface made on it takes, and the list of its
// live surfaces (so that a lost device loses them all).
class TDirectDraw {
 public:
  // A device whose surfaces have `bitCount` bits per pixel (16 for the game).
  explicit TDirectDraw(int bitCount = 16);
  // Detaches every surface still made on this device (they keep their pixels).
  ~TDirectDraw();
  TDirectDraw(const TDirectDraw&) = delete;
  TDirectDraw& operator=(const TDirectDraw&) = delete;

  // Bits per pixel of the surfaces made on this device.
  int BitCount() const { return bitCount_; }
  // A display mode change: surfaces made from now on take `bitCount` bits per pixel.
  void SetBitCount(int bitCount) { bitCount_ = bitCount; }
  // Marks every surface of this device lost, as when the user switches away from full screen.
  void SimulateLoss();
  // Number of surfaces currently made on this device.
  int SurfaceCount() const { return static_cast<int>(surfaces_.size()); }

 private:
  friend class TDirectDrawSurface;
  int bitCount_;
  std::vector<TDirectDrawSurface*> surfaces_;
};

// The pixels of a surface. A frame on show may be lent out (Lend); the first write after that
// gives the surface a copy of its own, so what was lent never changes.
class SurfacePixels {
 public:
  // Writable bytes (copied first when lent out); nullptr when empty.
  uint8_t* data() {
    if (bytes_ && bytes_.use_count() > 1) bytes_ = std::make_shared<std::vector<uint8_t>>(*bytes_);
    return bytes_ ? bytes_->data() : nullptr;
  }
  // The bytes for reading only (never copies).
  const uint8_t* cdata() const { return bytes_ ? bytes_->data() : nullptr; }
  size_t size() const { return bytes_ ? bytes_->size() : 0; }
  // Releases the bytes (the surface becomes empty).
  void clear() { bytes_.reset(); }
  // Takes `fresh` as the bytes.
  void adopt(std::vector<uint8_t>&& fresh) {
    bytes_ = std::make_shared<std::vector<uint8_t>>(std::move(fresh));
  }
  // A handle under which the current bytes stay unchanged.
  std::shared_ptr<const void> Lend() const { return bytes_; }
  // Exchanges the bytes with `other`'s.
  void swap(SurfacePixels& other) { bytes_.swap(other.bytes_); }

 private:
  std::shared_ptr<std::vector<uint8_t>> bytes_;
};

class TDirectDrawSurface {
 public:
  // An empty surface made on `ddraw`, taking the device's depth (nullptr: 16 bits, no device).
  explicit TDirectDrawSurface(TDirectDraw* ddraw);
  // An empty surface of `bitCount` bits per pixel without a device (1, 4, 8, 16, 24 or 32).
  explicit TDirectDrawSurface(int bitCount = 16);
  // Releases the canvas first, then the pixels.
  ~TDirectDrawSurface();
  TDirectDrawSurface(const TDirectDrawSurface&) = delete;
  TDirectDrawSurface& operator=(const TDirectDrawSurface&) = delete;

  // The device the surface was made on (nullptr when none or the device is gone).
  TDirectDraw* DDraw() const { return ddraw_; }
  // Width in pixels; 0 for an empty surface.
  int Width() const { return width_; }
  // Height in pixels; 0 for an empty surface.
  int Height() const { return height_; }
  // Bits per pixel of the surface format.
  int BitCount() const { return bitCount_; }
  // True when the surface holds pixels (SetSize with a positive size succeeded).
  bool Exists() const { return width_ > 0; }
  // The full rectangle (0, 0, Width, Height).
  TRect ClientRect() const { return TRect{0, 0, width_, height_}; }
  // The pixel format (flags, bit count, masks) of this surface.
  TDDPixelFormat PixelFormat() const;

  // Create in system memory rather than display memory (kept for the restore path; no effect
  // on where our pixels live).
  bool SystemMemory = false;
  // Result code of the last platform-like operation (DD_OK = 0 on success).
  HResult LastResult() const { return result_; }

  // (Re)creates the surface as w x h pixels, zero-filled; w <= 0 or h <= 0 makes it empty.
  // Raises EDirectDrawSurfaceError "Surface cannot be made" when the memory cannot be had.
  void SetSize(int w, int h);
  // Fills the whole surface with a raw pixel value (0 = black); true on success.
  bool Fill(uint32_t pixel);
  // Fills `r` (clipped to the surface) with a raw pixel value; true on success.
  bool FillRect(const TRect& r, uint32_t pixel);
  // Copies `src` of `source` to (x, y), skipping source pixels equal to the source's colour key
  // when `transparent`; a reversed rectangle (Right < Left / Bottom < Top) copies it mirrored.
  // Clipped to both surfaces. False when nothing could be copied because of an error.
  bool Draw(int x, int y, const TRect& src, TDirectDrawSurface* source, bool transparent);

  // Sets the source colour key (low and high both `pixel`).
  void SetColorKey(uint32_t pixel);
  // Removes the colour key.
  void ClearColorKey();
  // The source colour key (0 when none is set).
  uint32_t ColorKey() const { return colorKey_; }
  // True once a colour key has been set.
  bool HasColorKey() const { return hasColorKey_; }
  // The raw pixel that `color` takes on this surface through the same conversion picture copies
  // use (16 bits: the top bits of each channel); 0 when the surface is empty.
  uint32_t ColorMatch(TColor color);
  // The raw pixel of r, g, b (0..255) in this surface's format, as picture copies convert it.
  uint32_t ConvertRGB(int r, int g, int b) const;
  // The r, g, b (0..255, low bits zero) of a raw pixel of this surface's format.
  void PixelToRGB(uint32_t pixel, int& r, int& g, int& b) const;

  // One raw pixel through a lock of the whole surface; 0 outside or when it cannot be locked.
  uint32_t Pixels(int x, int y);
  // Writes one raw pixel through a lock; ignored outside or when it cannot be locked.
  void SetPixel(int x, int y, uint32_t value);

  // Locks `r` (nullptr: the whole surface) and describes it in `out`. Fails (false) when the
  // surface is empty or lost, already locked, its canvas holds it, or `r` is not inside it.
  bool Lock(const TRect* r, TDDSurfaceDesc& out);
  // Releases the lock if one is held.
  void Unlock();
  // True while a lock is held.
  bool Locked() const { return locked_; }

  // The surface's canvas (created on first use; it takes hold of the pixels when first drawn on).
  TCanvas* Canvas();
  // Gives the canvas's hold on the pixels back; needed before the surface is copied or flipped.
  void ReleaseCanvas();
  // True while the canvas holds the surface (copies, fills and locks fail meanwhile).
  bool CanvasHeld() const { return canvasHeld_; }

  // True after the device lost the surface's memory (operations fail with DDERR_SURFACELOST).
  bool IsLost() const { return lost_; }
  // Marks this surface lost (the pixels become undefined).
  void SimulateLoss();
  // Restores lost memory (contents zeroed); true on success or when nothing was lost.
  bool Restore();

  // A view of the pixels for span routines (bits nullptr when empty). Valid until SetSize.
  PixelBuffer Buffer();
  // Exchanges the pixels with `other`'s, as a flip does: both must have the same size and
  // format and be free (neither locked nor held by a canvas); false and nothing done otherwise.
  bool ExchangePixels(TDirectDrawSurface& other);
  // A handle under which the current pixels stay as they are (the surface copies them before
  // its next change); nullptr for an empty surface.
  std::shared_ptr<const void> LendPixels() const { return pixels_.Lend(); }

  // Copies a w x h block of 24-bit pixels (bytes blue, green, red per pixel as in DIB rows, top
  // row first, `pitch` bytes per row) to (dstX, dstY), converting to the surface format.
  void CopyFromBGR24(const uint8_t* bgr, int pitch, int w, int h, int dstX = 0, int dstY = 0);
  // The same for bytes in red, green, blue order.
  void CopyFromRGB24(const uint8_t* rgb, int pitch, int w, int h, int dstX = 0, int dstY = 0);
  // The same for 8-bit (or smaller, already unpacked) indexes into a palette of 4-byte entries
  // (blue, green, red, reserved).
  void CopyFromIndexed(const uint8_t* idx, int pitch, int w, int h, const uint8_t* paletteBGRX,
                       int paletteCount, int dstX = 0, int dstY = 0);
  // Resizes the surface to `r`'s size and copies that rectangle of a picW x picH picture of
  // BGR triples (pitch bytes per row, top row first) into it. Parts outside the picture stay 0.
  void LoadFromGraphic(const uint8_t* bgr, int pitch, int picW, int picH, const TRect& r);

 private:
  friend class TDirectDraw;
  bool Usable() const;
  void Detach();

  TDirectDraw* ddraw_ = nullptr;
  int bitCount_ = 16;
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;
  SurfacePixels pixels_;
  mutable HResult result_ = DD_OK;
  bool hasColorKey_ = false;
  uint32_t colorKey_ = 0;
  bool locked_ = false;
  bool lost_ = false;
  bool canvasHeld_ = false;
  std::unique_ptr<TCanvas> canvas_;
};

// Clips a copy: `dst` against `dstBounds` and `src` against `srcBounds`, moving the matching
// edges of the other rectangle by the same amount. True when both stay non-empty.
bool ClipBlit(TRect& dst, TRect& src, const TRect& dstBounds, const TRect& srcBounds);
