// Image lists: named pictures bound to a display. Each picture keeps surfaces in the display's
// format and a grid of patterns; the game finds a picture by name and draws a pattern plainly
// with a colour key, stretched and added with an alpha factor, or scaled and rotated.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "display/dib.h"
#include "display/dxdraw.h"
#include "display/hash_collection.h"
#include "display/surface.h"
#include "toolkit/classes.h"

// Errors of image lists: a missing name, a collection initialised without a display.
KX_DECLARE_ERROR(EPictureCollectionError, Exception);

class TPictureCollection;

// Where pattern i of an item lies: its rectangle and the (item-owned) surface holding it.
struct TPictureCollectionItemPattern {
  TRect Rect;
  TDirectDrawSurface* Surface = nullptr;
};

class TPictureCollectionItem : public THashCollectionItem {
 public:
  TPictureCollectionItem() = default;
  ~TPictureCollectionItem() override;

  // The picture (no graphic = empty). Replacing it takes effect at the next Restore.
  TDXPicture Picture;
  int PatternWidth = 0;       // 0: the picture's width
  int PatternHeight = 0;      // 0: the picture's height
  int SkipWidth = 0;          // gap between pattern columns
  int SkipHeight = 0;         // gap between pattern rows
  bool SystemMemory = false;  // one whole-picture surface instead of ~512-pixel tiles
  bool Transparent = true;    // draws skip pixels equal to the colour key

  // The key colour.
  TColor TransparentColor() const { return transparentColor_; }
  // Sets the key colour and re-keys every owned surface (ColorMatch, SetColorKey); errors on
  // single surfaces are ignored.
  void SetTransparentColor(TColor c);

  // The collection this item belongs to (null when none).
  TPictureCollection* Pictures() const;
  // True between the collection's Initialize and Finalize.
  bool Initialized() const { return initialized_; }

  // ImageWidth: PatternWidth if > 0, else the picture's width (0 without a graphic).
  int Width() const;
  // ImageHeight: PatternHeight if > 0, else the picture's height.
  int Height() const;
  // Number of patterns built by the last Restore.
  int PatternCount() const { return static_cast<int>(patterns_.size()); }
  // Pattern i's rectangle on its surface; (0, 0, 0, 0) out of range.
  TRect PatternRect(int i) const;
  // The surface holding pattern i; null out of range.
  TDirectDrawSurface* PatternSurface(int i) const;
  // Surfaces the item owns (one per tile, or one for the whole picture).
  int SurfaceCount() const { return static_cast<int>(surfaces_.size()); }
  TDirectDrawSurface* Surfaces(int i) const;

  // Copies pattern i to (x, y) of `dest` (colour-keyed when Transparent).
  void Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex);
  // Stretches pattern i into `destRect` and adds it to `dest`, each channel scaled by alpha/256
  // (alpha >= 255: added in full; alpha <= 0: nothing).
  void DrawAdditive(TDirectDrawSurface* dest, const TRect& destRect, int patternIndex, int alpha);
  // Scales pattern i to width x height and turns it by angle (256 steps a turn, clockwise)
  // about (centerX, centerY) (fractions of the size), that point landing on (x, y).
  void DrawRotated(TDirectDrawSurface* dest, int x, int y, int width, int height, int patternIndex,
                   double centerX, double centerY, int angle);

  // Finalizes, then takes the collection's Initialized state.
  void Initialize();
  // Clears Initialized, frees the surfaces, drops the patterns.
  void Finalize();
  // Builds surfaces and patterns from the picture (nothing without a graphic or display).
  void Restore();

 private:
  TDirectDrawSurface* MakeSurface(TDirectDraw* device, const TRect& r);
  void FreeSurfaces();

  TColor transparentColor_ = clBlack;
  bool initialized_ = false;
  std::vector<std::unique_ptr<TDirectDrawSurface>> surfaces_;
  std::vector<TPictureCollectionItemPattern> patterns_;
};

class TPictureCollection : public THashCollectionOf<TPictureCollectionItem> {
 public:
  TPictureCollection();
  ~TPictureCollection() override;

  // 256 entries, stored in the form resource as 1024 raw bytes; built by MakeColorTable.
  TRGBQuads ColorTable{};
  // The display the collection is initialised for (null when none).
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  // A display is set and that display is initialised.
  bool Initialized() const;
  // The device image surfaces are made on (null when not initialised).
  TDirectDraw* Device() const;

  // The item called `name` ignoring case; raises EPictureCollectionError "Image '%s' not found".
  TPictureCollectionItem* Find(std::string_view name) const { return FindItem(name); }
  // Finalizes every item, remembers `display`, raises "%s cannot be initialized" with
  // "TPictureCollection" when it is absent or not initialised, then initialises every item.
  void Initialize(TCustomDXDraw* display);
  // Finalizes every item and forgets the display.
  void Finalize();
  // Restores every item in order.
  void Restore();
  // Rebuilds ColorTable: 16 fixed colours, then the colours of the pictures' palettes.
  void MakeColorTable();

 protected:
  [[noreturn]] void RaiseNotFound(std::string_view name) const override;

 private:
  TCustomDXDraw* dxdraw_ = nullptr;
};

class TCustomDXImageList : public TComponent {
 public:
  explicit TCustomDXImageList(TComponent* owner);
  // Unregisters from the display.
  ~TCustomDXImageList() override;

  // The display the list is bound to (null when none).
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  // Unregisters from the old display and registers as a listener of the new one.
  void SetDXDraw(TCustomDXDraw* display);
  // The pictures (owned).
  TPictureCollection Items;
  // Items.Find: the picture called `name`, ignoring case, or "Image '%s' not found".
  TPictureCollectionItem* FindImage(std::string_view name) const { return Items.Find(name); }

 private:
  static void DXDrawNotify(void* target, TCustomDXDraw* sender, TDXDrawNotifyType type);
  TCustomDXDraw* dxdraw_ = nullptr;
};

// The published image list component.
class TDXImageList : public TCustomDXImageList {
 public:
  explicit TDXImageList(TComponent* owner) : TCustomDXImageList(owner) {}
};

// Whether the software draws use the processor's vector instructions where they have them (on
// by default). Off, every pixel goes through the one-pixel routines; the pixels come out the same
// either way.
void SetSoftwareDrawSimd(bool on);
bool SoftwareDrawSimd();
