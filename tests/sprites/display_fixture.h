// A display with an image list and a sprite engine on a form, as the game's main window holds
// them, running on the headless platform; and a builder of small pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/dib.h"
#include "display/dxdraw.h"
#include "display/imagelist.h"
#include "sprite_test_util.h"
#include "sprites/dx_sprite_engine.h"
#include "support/headless_env.h"

namespace sprite_test {

// A w x h 24-bit picture whose pixel (x, y) is pixels[y * w + x] (toolkit colours).
inline std::unique_ptr<TDIB> MakeDIB(int w, int h, const std::vector<TColor>& pixels) {
  const int rowBytes = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> data(40 + static_cast<size_t>(rowBytes) * h, 0);
  auto put32 = [&data](size_t at, int32_t v) { std::memcpy(&data[at], &v, 4); };
  auto put16 = [&data](size_t at, int16_t v) { std::memcpy(&data[at], &v, 2); };
  put32(0, 40);
  put32(4, w);
  put32(8, -h);  // rows top-down
  put16(12, 1);
  put16(14, 24);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const TColor c = pixels[static_cast<size_t>(y * w + x)];
      uint8_t* p = &data[40 + static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x) * 3];
      p[0] = static_cast<uint8_t>(GetBValue(c));
      p[1] = static_cast<uint8_t>(GetGValue(c));
      p[2] = static_cast<uint8_t>(GetRValue(c));
    }
  }
  auto dib = std::make_unique<TDIB>();
  dib->LoadFromDIBData(data.data(), data.size());
  return dib;
}

class DisplayTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    form = std::make_unique<TDXForm>(nullptr);
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetSurfaceSize(800, 600);
    images = new TDXImageList(form.get());
    images->SetDXDraw(draw);
    sprites = new TDXSpriteEngine(form.get());
    sprites->SetDXDraw(draw);
    draw->Initialize();
    ASSERT_TRUE(draw->Initialized());
    ASSERT_EQ(draw->Back()->Width(), 800);
  }
  void TearDown() override {
    form.reset();
    HeadlessTest::TearDown();
  }

  // A picture item of the list, built at once; black (0) is its transparent colour.
  TPictureCollectionItem* AddImage(const std::string& name, int w, int h,
                                   const std::vector<TColor>& pixels) {
    auto* item = images->Items.AddItem();
    item->SetName(name);
    item->Picture.SetGraphic(MakeDIB(w, h, pixels));
    item->SetTransparentColor(clBlack);
    item->Restore();
    return item;
  }
  // A w x h picture filled with one colour.
  TPictureCollectionItem* AddSolid(const std::string& name, int w, int h, TColor c) {
    return AddImage(name, w, h, std::vector<TColor>(static_cast<size_t>(w * h), c));
  }

  TSpriteEngine* Root() const { return sprites->Engine(); }

  Log log;  // outlives the form, whose destruction frees the recording sprites
  std::unique_ptr<TDXForm> form;
  TDXDraw* draw = nullptr;
  TDXImageList* images = nullptr;
  TDXSpriteEngine* sprites = nullptr;
};

}  // namespace sprite_test
