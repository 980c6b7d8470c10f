#include "display/imagelist.h"

#include <algorithm>
#include <array>

#include "toolkit/translate.h"

// ---------------------------------------------------------------------------------------------
// Item

TPictureCollectionItem::~TPictureCollectionItem() { FreeSurfaces(); }

TPictureCollection* TPictureCollectionItem::Pictures() const {
  return static_cast<TPictureCollection*>(Collection());
}

void TPictureCollectionItem::SetTransparentColor(TColor c) {
  transparentColor_ = c;
  for (auto& s : surfaces_) {
    // A surface that cannot take the key keeps its old one; the others still change.
    try {
      s->SetColorKey(s->ColorMatch(c));
    } catch (const std::exception&) {
    }
  }
}

int TPictureCollectionItem::Width() const {
  return PatternWidth > 0 ? PatternWidth : Picture.Width();
}

int TPictureCollectionItem::Height() const {
  return PatternHeight > 0 ? PatternHeight : Picture.Height();
}

TRect TPictureCollectionItem::PatternRect(int i) const {
  if (i < 0 || i >= PatternCount()) return TRect{};
  return patterns_[static_cast<size_t>(i)].Rect;
}

TDirectDrawSurface* TPictureCollectionItem::PatternSurface(int i) const {
  if (i < 0 || i >= PatternCount()) return nullptr;
  return patterns_[static_cast<size_t>(i)].Surface;
}

TDirectDrawSurface* TPictureCollectionItem::Surfaces(int i) const {
  if (i < 0 || i >= SurfaceCount()) return nullptr;
  return surfaces_[static_cast<size_t>(i)].get();
}

void TPictureCollectionItem::FreeSurfaces() {
  // Patterns point into the surfaces, so they go first.
  patterns_.clear();
  surfaces_.clear();
}

void TPictureCollectionItem::Initialize() {
  Finalize();
  TPictureCollection* owner = Pictures();
  initialized_ = owner != nullptr && owner->Initialized();
}

void TPictureCollectionItem::Finalize() {
  initialized_ = false;
  FreeSurfaces();
}

TDirectDrawSurface* TPictureCollectionItem::MakeSurface(TDirectDraw* device, const TRect& r) {
  auto surface = std::make_unique<TDirectDrawSurface>(device);
  surface->SystemMemory = SystemMemory;
  surface->SetSize(r.Width(), r.Height());
  // The picture goes in through the surface's own colour conversion, row by row, so that the
  // key below (ColorMatch) meets exactly the values the pixels took.
  const TDIB* dib = Picture.Graphic();
  std::vector<uint8_t> row(static_cast<size_t>(r.Width()) * 3);
  for (int y = 0; y < r.Height(); ++y) {
    const uint32_t* src = dib->ScanLine(r.Top + y);
    if (src == nullptr) break;
    int n = std::min(r.Width(), dib->Width() - r.Left);
    for (int x = 0; x < n; ++x) {
      uint32_t p = src[r.Left + x];
      row[3 * x] = static_cast<uint8_t>(p >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p);
    }
    if (n > 0) surface->CopyFromRGB24(row.data(), static_cast<int>(row.size()), n, 1, 0, y);
  }
  // The key is set whether or not Transparent is on; Transparent decides whether draws use it.
  surface->SetColorKey(surface->ColorMatch(transparentColor_));
  surfaces_.push_back(std::move(surface));
  return surfaces_.back().get();
}

void TPictureCollectionItem::Restore() {
  if (!Picture.HasGraphic()) return;
  TPictureCollection* owner = Pictures();
  if (!initialized_) {
    if (owner != nullptr && owner->Initialized()) Initialize();
    if (!initialized_) return;
  }
  FreeSurfaces();
  TDirectDraw* device = owner->Device();

  const int w = Width(), h = Height();
  const int pw = Picture.Width(), ph = Picture.Height();
  if (w == pw && h == ph) {
    TRect whole = Rect(0, 0, pw, ph);
    patterns_.push_back({whole, MakeSurface(device, whole)});
    return;
  }

  const int sw = w + SkipWidth, sh = h + SkipHeight;
  // A negative gap as wide as the pattern would divide by zero; such a grid has no patterns.
  if (sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return;
  const int rows = (ph + SkipHeight) / sh;
  const int cols = (pw + SkipWidth) / sw;

  if (SystemMemory) {
    TDirectDrawSurface* s = MakeSurface(device, Rect(0, 0, pw, ph));
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) patterns_.push_back({Bounds(c * sw, r * sh, w, h), s});
    return;
  }

  // Tiles of about 512 pixels, each a whole number of grid cells.
  const int tw = std::min(sw * (1 + 511 / sw), sw * cols);
  const int th = std::min(sh * (1 + 511 / sh), sh * rows);
  if (tw <= 0 || th <= 0) return;
  const int tileCols = (pw + tw - 1) / tw;
  const int tileRows = (ph + th - 1) / th;
  std::vector<TDirectDrawSurface*> tiles;
  for (int l = 0; l < tileRows; ++l) {
    for (int m = 0; m < tileCols; ++m) {
      int tileW = pw - tw * m;
      int tileH = ph - th * l;
      tileW = tileW <= 0 ? tw : std::min(tw, tileW);
      tileH = tileH <= 0 ? th : std::min(th, tileH);
      tiles.push_back(MakeSurface(device, Bounds(tw * m, th * l, tileW, tileH)));
    }
  }
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      int x = c * sw, y = r * sh;
      int m = x / tw, l = y / th;
      if (m >= tileCols || l >= tileRows) continue;
      patterns_.push_back(
          {Bounds(x % tw, y % th, w, h), tiles[static_cast<size_t>(l * tileCols + m)]});
    }
  }
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex) {
  if (!initialized_ || dest == nullptr || patternIndex < 0 || patternIndex >= PatternCount())
    return;
  const TPictureCollectionItemPattern& p = patterns_[static_cast<size_t>(patternIndex)];
  dest->Draw(x, y, p.Rect, p.Surface, Transparent);
}

// ---------------------------------------------------------------------------------------------
// Collection

TPictureCollection::TPictureCollection()
    : THashCollectionOf(toolkit::TrLater("Image '%s' not found")) {}

TPictureCollection::~TPictureCollection() {
  // Surfaces belong to the display's device; free them while it is still there.
  Finalize();
}

bool TPictureCollection::Initialized() const {
  return dxdraw_ != nullptr && dxdraw_->Initialized();
}

TDirectDraw* TPictureCollection::Device() const {
  return Initialized() ? dxdraw_->DDraw() : nullptr;
}

void TPictureCollection::RaiseNotFound(std::string_view name) const {
  throw EPictureCollectionError(NotFoundMessage(name));
}

void TPictureCollection::Initialize(TCustomDXDraw* display) {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxdraw_ = display;
  if (!Initialized())
    throw EPictureCollectionError(
        Format(toolkit::Tr("%s cannot be initialized"), "TPictureCollection"));
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TPictureCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  dxdraw_ = nullptr;
}

void TPictureCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

void TPictureCollection::MakeColorTable() {
  ColorTable.fill(TRGBQuad{});
  std::array<bool, 256> used{};
  auto fix = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
    ColorTable[static_cast<size_t>(i)] = TRGBQuad{b, g, r, 0};
    used[static_cast<size_t>(i)] = true;
  };
  fix(0, 0, 0, 0);
  fix(1, 128, 0, 0);
  fix(2, 0, 128, 0);
  fix(3, 128, 128, 0);
  fix(4, 0, 0, 128);
  fix(5, 128, 0, 128);
  fix(6, 0, 128, 128);
  fix(7, 192, 192, 192);
  fix(248, 128, 128, 128);
  fix(249, 255, 0, 0);
  fix(250, 0, 255, 0);
  fix(251, 255, 255, 0);
  fix(252, 0, 0, 255);
  fix(253, 255, 0, 255);
  fix(254, 0, 255, 255);
  fix(255, 255, 255, 255);
  int usedCount = 16;

  auto add = [&](const TRGBQuad& q) {
    TRGBQuad c{q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
    int freeAt = -1;
    for (int i = 0; i < 256; ++i) {
      if (used[static_cast<size_t>(i)]) {
        if (ColorTable[static_cast<size_t>(i)] == c) return;
      } else if (freeAt < 0) {
        freeAt = i;
      }
    }
    if (freeAt < 0) return;
    ColorTable[static_cast<size_t>(freeAt)] = c;
    used[static_cast<size_t>(freeAt)] = true;
    ++usedCount;
  };

  for (int i = 0; i < Count() && usedCount < 256; ++i) {
    const TDXPicture& pic = Items(i)->Picture;
    const TDIB* g = pic.Graphic();
    if (g == nullptr) continue;
    const std::vector<TRGBQuad>& own = g->ColorTable();
    if (pic.GraphicClassName() == "TDIB") {
      // A bitmap of 8 bits or fewer brings a full 256-entry table, black past its own colours.
      if (g->BitCount() > 8) continue;
      for (size_t k = 0; k < 256; ++k) add(k < own.size() ? own[k] : TRGBQuad{});
    } else {
      // A toolkit bitmap has a palette only at 8 bits or fewer.
      if (g->BitCount() > 8) continue;
      for (size_t k = 0; k < own.size() && k < 256; ++k) add(own[k]);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Image list component

TCustomDXImageList::TCustomDXImageList(TComponent* owner) : TComponent(owner) {}

TCustomDXImageList::~TCustomDXImageList() { SetDXDraw(nullptr); }

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* display) {
  if (dxdraw_ == display) return;
  if (dxdraw_ != nullptr) dxdraw_->UnregisterListener(&TCustomDXImageList::DXDrawNotify, this);
  dxdraw_ = display;
  if (dxdraw_ != nullptr) dxdraw_->RegisterListener(&TCustomDXImageList::DXDrawNotify, this);
}

void TCustomDXImageList::DXDrawNotify(void* target, TCustomDXDraw* sender, TDXDrawNotifyType type) {
  auto* self = static_cast<TCustomDXImageList*>(target);
  switch (type) {
    case TDXDrawNotifyType::Destroying:
      // The display is going away: forget it without calling back into it.
      self->Items.Finalize();
      self->dxdraw_ = nullptr;
      break;
    case TDXDrawNotifyType::Initialized:
      self->Items.Initialize(sender);
      break;
    case TDXDrawNotifyType::Finalizing:
      self->Items.Finalize();
      break;
    case TDXDrawNotifyType::Restored:
      self->Items.Restore();
      break;
    default:
      break;
  }
}
