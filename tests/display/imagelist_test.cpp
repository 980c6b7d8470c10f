#include "display/imagelist.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/headless_env.h"
#include "toolkit/application.h"

namespace {

using PixelFn = std::function<TColor(int, int)>;

// A 24-bit picture w x h, every pixel given by `fn`, carried as "TDIB" picture data.
std::vector<uint8_t> PictureData(int w, int h, const PixelFn& fn) {
  std::vector<uint8_t> v = {4, 'T', 'D', 'I', 'B'};
  auto put32 = [&](uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  put32(40);
  put32(static_cast<uint32_t>(w));
  put32(static_cast<uint32_t>(h));
  v.push_back(1), v.push_back(0), v.push_back(24), v.push_back(0);
  for (int i = 0; i < 6; ++i) put32(0);
  const int row = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      TColor c = fn(x, y);
      v.push_back(static_cast<uint8_t>(GetBValue(c)));
      v.push_back(static_cast<uint8_t>(GetGValue(c)));
      v.push_back(static_cast<uint8_t>(GetRValue(c)));
    }
    for (int p = w * 3; p < row; ++p) v.push_back(0);
  }
  return v;
}

void SetPicture(TPictureCollectionItem* item, int w, int h, const PixelFn& fn) {
  std::vector<uint8_t> data = PictureData(w, h, fn);
  item->Picture.LoadFromStream(data.data(), data.size());
}

uint16_t P(TColor c) { return ColorTo565(c); }

class ImageListTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    InitApplication();
    form = new TDXForm(nullptr);
    draw = new TDXDraw(form);
    draw->SetParent(form);
    draw->SetBounds(0, 0, 320, 240);
    list = new TDXImageList(form);
  }
  void TearDown() override {
    DoneApplication();
    HeadlessTest::TearDown();
  }

  TPictureCollectionItem* Add(const std::string& name, int w, int h, const PixelFn& fn) {
    TPictureCollectionItem* item = list->Items.AddItem();
    item->SetName(name);
    SetPicture(item, w, h, fn);
    return item;
  }

  // Binds the list and brings the display up (its closing restore builds the surfaces).
  void Start() {
    list->SetDXDraw(draw);
    draw->Initialize();
    ASSERT_TRUE(draw->Initialized());
    ASSERT_NE(draw->Back(), nullptr);
    draw->Back()->Fill(0);
  }

  TDirectDrawSurface* Back() { return draw->Back(); }

  TDXForm* form = nullptr;
  TDXDraw* draw = nullptr;
  TDXImageList* list = nullptr;
};

// ---------------------------------------------------------------------------------------------
TEST_F(ImageListTest, FindImageIgnoresCaseAndNamesTheMissingOne) {
  Add("shar1", 2, 2, [](int, int) { return clRed; });
  Add("kirp21", 2, 2, [](int, int) { return clRed; });
  EXPECT_EQ(list->FindImage("SHAR1")->Name(), "shar1");
  EXPECT_EQ(list->FindImage("Kirp21")->Index(), 1);
  try {
    list->FindImage("shar9");
    FAIL() << "no error";
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "Image 'shar9' not found");
  }
}

TEST_F(ImageListTest, SurfacesFollowTheDisplaysNotices) {
  TPictureCollectionItem* item =
      Add("m1", 6, 4, [](int x, int y) { return RGB(x * 40, y * 60, 7); });
  Start();
  ASSERT_TRUE(item->Initialized());
  ASSERT_EQ(item->PatternCount(), 1);
  EXPECT_EQ(item->PatternRect(0), Rect(0, 0, 6, 4));
  TDirectDrawSurface* s = item->PatternSurface(0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->DDraw(), draw->DDraw());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(s->Pixels(x, y), P(RGB(x * 40, y * 60, 7))) << x << "," << y;
  EXPECT_EQ(item->PatternRect(1), TRect{});
  EXPECT_EQ(item->PatternSurface(-1), nullptr);

  draw->Finalize();
  EXPECT_FALSE(item->Initialized());
  EXPECT_EQ(item->PatternCount(), 0);
  EXPECT_EQ(item->SurfaceCount(), 0);
  EXPECT_EQ(list->Items.DXDraw(), nullptr);
}

TEST_F(ImageListTest, ReplacedPictureShowsAfterTheNextRestoreOnly) {
  TPictureCollectionItem* item = Add("background", 4, 4, [](int, int) { return clRed; });
  Start();
  SetPicture(item, 8, 2, [](int, int) { return clBlue; });
  EXPECT_EQ(item->PatternSurface(0)->Pixels(0, 0), P(clRed));
  EXPECT_EQ(item->Width(), 8);  // the size is the new picture's at once
  draw->SimulateLoss();
  draw->Restore();
  ASSERT_EQ(item->PatternCount(), 1);
  EXPECT_EQ(item->PatternRect(0), Rect(0, 0, 8, 2));
  EXPECT_EQ(item->PatternSurface(0)->Pixels(7, 1), P(clBlue));
}

TEST_F(ImageListTest, ListJoiningAnInitialisedDisplayIsBuiltAtOnce) {
  draw->Initialize();
  TPictureCollectionItem* item = Add("shar1", 3, 3, [](int, int) { return clWhite; });
  list->SetDXDraw(draw);
  EXPECT_TRUE(item->Initialized());
  EXPECT_EQ(item->PatternCount(), 1);
  list->SetDXDraw(nullptr);
  EXPECT_FALSE(item->Initialized());
  EXPECT_EQ(item->SurfaceCount(), 0);
}

TEST_F(ImageListTest, CollectionRefusesADisplayThatIsNotInitialised) {
  try {
    list->Items.Initialize(draw);
    FAIL() << "no error";
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "TPictureCollection cannot be initialized");
  }
  EXPECT_THROW(list->Items.Initialize(nullptr), EPictureCollectionError);
}

TEST_F(ImageListTest, DestroyedDisplayLeavesTheListUnbound) {
  Add("m1", 2, 2, [](int, int) { return clRed; });
  Start();
  delete draw;
  draw = nullptr;
  EXPECT_EQ(list->DXDraw(), nullptr);
  EXPECT_FALSE(list->Items.Items(0)->Initialized());
}

TEST_F(ImageListTest, ItemWithoutPictureHasNoSizeAndDrawsNothing) {
  TPictureCollectionItem* empty = list->Items.AddItem();
  empty->SetName("shar2");
  EXPECT_EQ(empty->Width(), 0);
  EXPECT_EQ(empty->Height(), 0);
  empty->PatternWidth = 7;
  EXPECT_EQ(empty->Width(), 7);
  EXPECT_EQ(empty->Height(), 0);
  Start();
  EXPECT_EQ(empty->PatternCount(), 0);
  Back()->Fill(0x1234);
  empty->Draw(Back(), 0, 0, 0);
  empty->DrawAdditive(Back(), Rect(0, 0, 10, 10), 0, 255);
  empty->DrawRotated(Back(), 10, 10, 7, 7, 0, 0.5, 0.5, 3);
  EXPECT_EQ(Back()->Pixels(0, 0), 0x1234u);
  EXPECT_EQ(Back()->Pixels(10, 10), 0x1234u);
}

// ---------------------------------------------------------------------------------------------
// Pattern grids
TEST_F(ImageListTest, PatternGridWithAndWithoutSkip) {
  TPictureCollectionItem* item = Add("grid", 100, 30, [](int x, int) { return RGB(x * 2, 0, 0); });
  item->PatternWidth = 20;
  Start();
  ASSERT_EQ(item->PatternCount(), 5);
  EXPECT_EQ(item->PatternRect(3), Rect(60, 0, 80, 30));
  EXPECT_EQ(item->Height(), 30);

  item->SkipWidth = 5;
  item->PatternHeight = 10;
  item->SkipHeight = 0;
  item->Restore();
  // (100 + 5) div 25 = 4 columns, 30 div 10 = 3 rows, numbered row by row.
  ASSERT_EQ(item->PatternCount(), 12);
  EXPECT_EQ(item->PatternRect(1), Rect(25, 0, 45, 10));
  EXPECT_EQ(item->PatternRect(5), Rect(25, 10, 45, 20));
  EXPECT_EQ(item->PatternRect(11), Rect(75, 20, 95, 30));
  // The pattern's pixels are the picture's at the grid position.
  EXPECT_EQ(item->PatternSurface(5)->Pixels(25, 10), P(RGB(50, 0, 0)));

  item->SkipHeight = 10;  // (30 + 10) div 20 = 2 rows, the second 20 pixels down
  item->Restore();
  ASSERT_EQ(item->PatternCount(), 8);
  EXPECT_EQ(item->PatternRect(5), Rect(25, 20, 45, 30));

  // A gap that cancels the pattern width makes no grid rather than dividing by zero.
  item->SkipWidth = -20;
  item->Restore();
  EXPECT_EQ(item->PatternCount(), 0);
}

TEST_F(ImageListTest, WidePicturesAreCutIntoTilesUnlessInSystemMemory) {
  TPictureCollectionItem* item =
      Add("wide", 1100, 30, [](int x, int) { return RGB((x / 100) * 20, x % 100, 0); });
  item->PatternWidth = 100;
  Start();
  // Tile width min(100 * (1 + 511 div 100), 100 * 11) = 600: two tiles, 600 and 500 wide.
  ASSERT_EQ(item->SurfaceCount(), 2);
  EXPECT_EQ(item->Surfaces(0)->Width(), 600);
  EXPECT_EQ(item->Surfaces(1)->Width(), 500);
  ASSERT_EQ(item->PatternCount(), 11);
  EXPECT_EQ(item->PatternSurface(7), item->Surfaces(1));
  EXPECT_EQ(item->PatternRect(7), Rect(100, 0, 200, 30));
  EXPECT_EQ(item->PatternSurface(7)->Pixels(100, 0), P(RGB(140, 0, 0)));
  EXPECT_EQ(item->PatternSurface(5), item->Surfaces(0));

  item->SystemMemory = true;
  item->Restore();
  ASSERT_EQ(item->SurfaceCount(), 1);
  EXPECT_EQ(item->Surfaces(0)->Width(), 1100);
  EXPECT_EQ(item->PatternRect(7), Rect(700, 0, 800, 30));
  EXPECT_EQ(item->PatternSurface(7), item->Surfaces(0));
}

// ---------------------------------------------------------------------------------------------
// Plain colour-keyed draws
TEST_F(ImageListTest, DrawSkipsKeyedPixelsOnlyWhenTransparent) {
  // Left half black, right half red.
  TPictureCollectionItem* item =
      Add("shar1", 4, 2, [](int x, int) { return x < 2 ? clBlack : clRed; });
  Start();
  Back()->Fill(P(clBlue));
  item->Draw(Back(), 10, 10, 0);
  EXPECT_EQ(Back()->Pixels(10, 10), P(clBlue));
  EXPECT_EQ(Back()->Pixels(12, 10), P(clRed));
  item->Transparent = false;
  item->Draw(Back(), 10, 10, 0);
  EXPECT_EQ(Back()->Pixels(10, 10), P(clBlack));
  // An index out of range draws nothing.
  Back()->Fill(P(clBlue));
  item->Draw(Back(), 10, 10, 1);
  EXPECT_EQ(Back()->Pixels(12, 10), P(clBlue));
}

TEST_F(ImageListTest, NearBlackKeyAlsoHidesBlackAtSixteenBits) {
  // The m3 case: key (1, 1, 1) keeps only the top bits, which are black's.
  TPictureCollectionItem* m3 = Add("m3", 3, 1, [](int x, int) {
    return x == 0 ? clBlack : (x == 1 ? RGB(1, 1, 1) : RGB(8, 4, 8));
  });
  m3->SetTransparentColor(65793);
  Start();
  Back()->Fill(P(clWhite));
  m3->Draw(Back(), 0, 0, 0);
  EXPECT_EQ(Back()->Pixels(0, 0), P(clWhite));
  EXPECT_EQ(Back()->Pixels(1, 0), P(clWhite));
  EXPECT_EQ(Back()->Pixels(2, 0), P(RGB(8, 4, 8)));  // the smallest colour that differs
}

TEST_F(ImageListTest, ChangingTheKeyColourRekeysTheSurfaces) {
  TPictureCollectionItem* item = Add("b13", 2, 1, [](int x, int) { return x ? clRed : clBlack; });
  Start();
  item->SetTransparentColor(clRed);
  EXPECT_EQ(item->PatternSurface(0)->ColorKey(), P(clRed));
  Back()->Fill(P(clBlue));
  item->Draw(Back(), 0, 0, 0);
  EXPECT_EQ(Back()->Pixels(0, 0), P(clBlack));
  EXPECT_EQ(Back()->Pixels(1, 0), P(clBlue));
}

// ---------------------------------------------------------------------------------------------
// Additive draws
TEST_F(ImageListTest, DrawAdditiveAlphaRules) {
  TPictureCollectionItem* item = Add("m2", 3, 1, [](int x, int) {
    return x == 0 ? clWhite : (x == 1 ? clBlack : RGB(248, 252, 248));
  });
  item->Transparent = false;
  Start();
  const uint16_t grey = P(RGB(64, 36, 24));  // odd green and blue fields
  Back()->Fill(grey);
  item->DrawAdditive(Back(), Rect(0, 0, 3, 1), 0, 0);
  EXPECT_EQ(Back()->Pixels(0, 0), grey);  // alpha 0: nothing
  item->DrawAdditive(Back(), Rect(0, 0, 3, 1), 0, 255);
  EXPECT_EQ(Back()->Pixels(0, 0), P(clWhite));  // white turns anything white
  EXPECT_EQ(Back()->Pixels(1, 0), grey);        // black adds nothing
  Back()->Fill(0);
  item->DrawAdditive(Back(), Rect(0, 0, 3, 1), 0, 255);
  EXPECT_EQ(Back()->Pixels(2, 0), P(RGB(248, 252, 248)));  // onto black: the picture itself
  Back()->Fill(0);
  item->DrawAdditive(Back(), Rect(0, 0, 3, 1), 0, 128);
  // 248 * 128 / 256 = 124 in every channel (green's 252 gives 126, stored as 124)
  EXPECT_EQ(Back()->Pixels(2, 0), P(RGB(124, 124, 124)));
  Back()->Fill(grey);
  item->DrawAdditive(Back(), Rect(0, 0, 3, 1), 0, 128);
  // 64 + 124 = 188, 36 + 124 = 160, 24 + 124 = 148 (channels read with low bits zero)
  EXPECT_EQ(Back()->Pixels(2, 0), P(RGB(188, 160, 148)));
}

TEST_F(ImageListTest, DrawAdditiveAtThirtyTwoBitsAddsEachChannel) {
  TPictureCollectionItem* item = Add("m", 1, 1, [](int, int) { return RGB(16, 32, 64); });
  item->Transparent = false;
  draw->Display().SetBitCount(32);
  Start();
  ASSERT_EQ(Back()->BitCount(), 32);
  Back()->Fill(0x102030);
  item->DrawAdditive(Back(), Rect(0, 0, 1, 1), 0, 255);
  EXPECT_EQ(Back()->Pixels(0, 0), 0x204070u);
  item->DrawAdditive(Back(), Rect(0, 0, 1, 1), 0, 128);  // half: 8, 16, 32
  EXPECT_EQ(Back()->Pixels(0, 0), 0x285090u);
}

TEST_F(ImageListTest, DrawAdditiveStretchesAndClipsOnTheLeft) {
  // Column x has red 8 * x: every column is told apart after the 16-bit conversion.
  TPictureCollectionItem* item = Add("m2", 30, 2, [](int x, int) { return RGB(x * 8, 0, 0); });
  item->Transparent = false;
  Start();
  item->DrawAdditive(Back(), Rect(-10, 5, 20, 7), 0, 255);
  // Same width: dest column 0 samples the column that would have been at x = 0, source 10.
  EXPECT_EQ(Back()->Pixels(0, 5), P(RGB(80, 0, 0)));
  EXPECT_EQ(Back()->Pixels(19, 6), P(RGB(232, 0, 0)));
  EXPECT_EQ(Back()->Pixels(20, 5), 0u);
  EXPECT_EQ(Back()->Pixels(0, 4), 0u);

  // Stretch 30 -> 45 columns: column i samples (i * stepX) >> 16, stepX = 30 * 65536 div 45.
  Back()->Fill(0);
  item->DrawAdditive(Back(), Rect(100, 0, 145, 2), 0, 255);
  const int64_t step = 30 * 65536 / 45;
  for (int i = 0; i < 45; ++i)
    EXPECT_EQ(Back()->Pixels(100 + i, 1), P(RGB(static_cast<int>((i * step) >> 16) * 8, 0, 0)))
        << i;
  EXPECT_EQ(Back()->Pixels(145, 1), 0u);

  // Past the right and bottom edges: clipped, never written outside.
  Back()->Fill(0);
  item->DrawAdditive(Back(), Rect(310, 235, 340, 245), 0, 255);
  EXPECT_EQ(Back()->Pixels(319, 239), P(RGB(72, 0, 0)));
  // Entirely outside: nothing.
  item->DrawAdditive(Back(), Rect(-40, 0, -10, 2), 0, 255);
  item->DrawAdditive(Back(), Rect(5, 5, 5, 9), 0, 255);
  EXPECT_EQ(Back()->Pixels(0, 0), 0u);
}

TEST_F(ImageListTest, DrawAdditiveHonoursTheKey) {
  TPictureCollectionItem* item =
      Add("m3", 2, 1, [](int x, int) { return x ? RGB(0, 0, 248) : clBlack; });
  item->SetTransparentColor(clBlack);
  Start();
  Back()->Fill(P(RGB(200, 0, 0)));
  item->DrawAdditive(Back(), Rect(0, 0, 2, 1), 0, 255);
  EXPECT_EQ(Back()->Pixels(0, 0), P(RGB(200, 0, 0)));
  EXPECT_EQ(Back()->Pixels(1, 0), P(RGB(200, 0, 248)));
}

// ---------------------------------------------------------------------------------------------
// Rotated draws
TEST_F(ImageListTest, DrawRotatedAngleZeroIsAPlainCentredCopy) {
  auto colour = [](int x, int y) { return RGB(x * 8, y * 4, 200); };
  TPictureCollectionItem* item = Add("m1", 30, 12, colour);
  item->Transparent = false;
  Start();
  item->DrawRotated(Back(), 100, 50, 30, 12, 0, 0.5, 0.5, 0);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(Back()->Pixels(85 + x, 44 + y), P(colour(x, y))) << x << "," << y;
  EXPECT_EQ(Back()->Pixels(84, 50), 0u);
  EXPECT_EQ(Back()->Pixels(115, 50), 0u);
  EXPECT_EQ(Back()->Pixels(100, 43), 0u);
  EXPECT_EQ(Back()->Pixels(100, 56), 0u);
  // A full turn (256) is angle 0 again.
  Back()->Fill(0);
  item->DrawRotated(Back(), 100, 50, 30, 12, 0, 0.5, 0.5, 256);
  EXPECT_EQ(Back()->Pixels(85, 44), P(colour(0, 0)));
}

TEST_F(ImageListTest, DrawRotatedSixtyFourIsAQuarterTurnClockwise) {
  const int W = 20, H = 10;
  auto colour = [](int x, int y) { return RGB(x * 8, y * 4 + 40, 100); };
  TPictureCollectionItem* item = Add("m1", W, H, colour);
  item->Transparent = false;
  Start();
  const int cx = 100, cy = 60;
  item->DrawRotated(Back(), cx, cy, W, H, 0, 0.5, 0.5, 64);
  // Clockwise on screen: destination offset (dx, dy) shows source (W/2 + dy, H/2 - dx). The
  // table's cos(64) is a hair above zero, so the truncated corner x + trunc(5 - tiny) = x + 4
  // closes the box one column early: source row 0 (dx = 5) is not drawn.
  int drawn = 0;
  for (int dy = -15; dy <= 15; ++dy) {
    for (int dx = -15; dx <= 15; ++dx) {
      int sx = W / 2 + dy, sy = H / 2 - dx;
      uint32_t got = Back()->Pixels(cx + dx, cy + dy);
      if (sx >= 0 && sx < W && sy >= 1 && sy < H) {
        ASSERT_EQ(got, P(colour(sx, sy))) << dx << "," << dy;
        ++drawn;
      } else {
        ASSERT_EQ(got, 0u) << dx << "," << dy;
      }
    }
  }
  EXPECT_EQ(drawn, W * (H - 1));
  // The picture's top-right part lands at the bottom right.
  EXPECT_EQ(Back()->Pixels(cx + H / 2 - 1, cy + W / 2 - 1), P(colour(W - 1, 1)));
}

TEST_F(ImageListTest, DrawRotatedNeverSamplesOutsideItsPattern) {
  // Two patterns side by side; pattern 1 is green, its neighbour red. At every angle and scale,
  // also partly off the destination, no red may show.
  TPictureCollectionItem* item =
      Add("pair", 40, 16, [](int x, int) { return x < 20 ? clRed : RGB(0, 255, 0); });
  item->PatternWidth = 20;
  item->Transparent = false;
  Start();
  ASSERT_EQ(item->PatternCount(), 2);
  struct Place {
    int x, y, w, h;
  };
  const Place places[] = {{160, 120, 20, 16}, {3, 4, 37, 9}, {318, 238, 60, 50}, {-5, 100, 20, 16}};
  for (const Place& p : places) {
    for (int angle = -3; angle < 260; angle += 2) {
      Back()->Fill(0);
      item->DrawRotated(Back(), p.x, p.y, p.w, p.h, 1, 0.5, 0.5, angle);
      for (int y = std::max(0, p.y - 45); y < std::min(240, p.y + 45); ++y)
        for (int x = std::max(0, p.x - 45); x < std::min(320, p.x + 45); ++x)
          ASSERT_NE(Back()->Pixels(x, y), P(clRed)) << "angle " << angle << " at " << x << "," << y;
    }
  }
}

TEST_F(ImageListTest, DrawRotatedSkipsKeyedPixels) {
  TPictureCollectionItem* item =
      Add("m1", 4, 4, [](int x, int) { return x < 2 ? clBlack : clRed; });
  Start();
  Back()->Fill(P(clBlue));
  item->DrawRotated(Back(), 10, 10, 4, 4, 0, 0.5, 0.5, 0);
  EXPECT_EQ(Back()->Pixels(8, 8), P(clBlue));
  EXPECT_EQ(Back()->Pixels(10, 8), P(clRed));
}

// ---------------------------------------------------------------------------------------------
// Colour table
std::vector<uint8_t> PalettedData(const std::vector<TRGBQuad>& colours, int bits) {
  std::vector<uint8_t> v = {4, 'T', 'D', 'I', 'B'};
  auto put32 = [&](uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  put32(40);
  put32(1);
  put32(1);
  v.push_back(1), v.push_back(0), v.push_back(static_cast<uint8_t>(bits)), v.push_back(0);
  put32(0), put32(0), put32(0), put32(0);
  put32(static_cast<uint32_t>(colours.size()));
  put32(0);
  for (const TRGBQuad& q : colours) v.insert(v.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
  put32(0);  // one pixel of index 0
  return v;
}

TEST_F(ImageListTest, MakeColorTableKeepsFixedColoursAndAddsNewOnes) {
  TPictureCollection& items = list->Items;
  items.AddItem()->SetName("empty");
  TPictureCollectionItem* a = items.AddItem();
  // (10, 20, 30) new; (128, 0, 0) is fixed entry 1; (40, 50, 60) new; (10, 20, 30) again.
  std::vector<uint8_t> d =
      PalettedData({{30, 20, 10, 0}, {0, 0, 128, 0}, {60, 50, 40, 0}, {30, 20, 10, 0}}, 4);
  a->Picture.LoadFromStream(d.data(), d.size());
  Add("true", 2, 2, [](int, int) { return RGB(1, 2, 3); });  // 24 bits: no palette
  items.MakeColorTable();
  const TRGBQuads& t = items.ColorTable;
  // The sixteen fixed entries are the display's system colours at both ends of the palette.
  const TRGBQuads sys = SystemPaletteQuads();
  for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 248, 249, 250, 251, 252, 253, 254, 255})
    EXPECT_EQ(t[i], sys[i]) << i;
  EXPECT_EQ(t[1], (TRGBQuad{0, 0, 128, 0}));
  EXPECT_EQ(t[8], (TRGBQuad{30, 20, 10, 0}));
  EXPECT_EQ(t[9], (TRGBQuad{60, 50, 40, 0}));
  EXPECT_EQ(t[10], TRGBQuad{});
  for (int i = 10; i < 248; ++i) EXPECT_EQ(t[static_cast<size_t>(i)], TRGBQuad{}) << i;
}

TEST_F(ImageListTest, MakeColorTableStopsWhenFull) {
  std::vector<TRGBQuad> many;
  for (int i = 0; i < 250; ++i) many.push_back({static_cast<uint8_t>(i), 1, 2, 0});
  std::vector<TRGBQuad> more;
  for (int i = 0; i < 20; ++i) more.push_back({static_cast<uint8_t>(i), 9, 9, 0});
  std::vector<uint8_t> d1 = PalettedData(many, 8), d2 = PalettedData(more, 8);
  list->Items.AddItem()->Picture.LoadFromStream(d1.data(), d1.size());
  list->Items.AddItem()->Picture.LoadFromStream(d2.data(), d2.size());
  list->Items.MakeColorTable();
  const TRGBQuads& t = list->Items.ColorTable;
  // 240 free entries: the first 240 colours of the first picture fill them, lowest index first.
  EXPECT_EQ(t[8], (TRGBQuad{0, 1, 2, 0}));
  EXPECT_EQ(t[247], (TRGBQuad{239, 1, 2, 0}));
  EXPECT_EQ(t[255], (TRGBQuad{255, 255, 255, 0}));
  for (const TRGBQuad& q : t) EXPECT_FALSE(q.rgbGreen == 9 && q.rgbRed == 9);
}

}  // namespace

// The vector routine of DrawAdditive gives the one-pixel routine's pixels, bit for bit: random
// pictures and frames, odd widths, stretches both ways, rectangles cut by every edge, alphas
// from 1 to past 255, colour-keyed or not.
TEST_F(ImageListTest, DrawAdditiveVectorAndScalarAgree) {
  std::mt19937 rng(20);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<TPictureCollectionItem*> items;
  for (auto [w, h] : {std::pair{135, 30}, {17, 5}, {1, 3}, {64, 9}})
    items.push_back(Add("p" + std::to_string(w), w, h, [](int, int) { return clBlack; }));
  Start();
  auto randomise = [&](TDirectDrawSurface* s) {
    TDDSurfaceDesc d;
    ASSERT_TRUE(s->Lock(nullptr, d));
    for (int y = 0; y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x)
        reinterpret_cast<uint16_t*>(d.Bits + y * d.Pitch)[x] = static_cast<uint16_t>(rng());
    s->Unlock();
  };
  int changed = 0;
  for (int round = 0; round < 300; ++round) {
    TPictureCollectionItem* item = items[static_cast<size_t>(round) % items.size()];
    TDirectDrawSurface* src = item->PatternSurface(0);
    randomise(src);
    src->SetColorKey(src->Pixels(pick(0, src->Width() - 1), 0));  // a key that occurs
    item->Transparent = pick(0, 1) == 1;
    randomise(Back());
    const int x = pick(-60, 330), y = pick(-20, 250);
    const TRect r = Bounds(x, y, pick(1, 170), pick(1, 40));
    const int alpha = pick(0, 3) == 0 ? 255 + pick(0, 50) : pick(1, 254);
    TDDSurfaceDesc d;
    ASSERT_TRUE(Back()->Lock(nullptr, d));
    const std::vector<uint8_t> before(d.Bits, d.Bits + d.Pitch * d.Height);
    Back()->Unlock();
    auto draw = [&](bool simd) {
      TDDSurfaceDesc b;
      EXPECT_TRUE(Back()->Lock(nullptr, b));
      std::copy(before.begin(), before.end(), b.Bits);
      Back()->Unlock();
      SetSoftwareDrawSimd(simd);
      item->DrawAdditive(Back(), r, 0, alpha);
      EXPECT_TRUE(Back()->Lock(nullptr, b));
      std::vector<uint8_t> out(b.Bits, b.Bits + b.Pitch * b.Height);
      Back()->Unlock();
      return out;
    };
    const std::vector<uint8_t> scalar = draw(false);
    const std::vector<uint8_t> vector = draw(true);
    ASSERT_EQ(scalar, vector) << "round " << round << " alpha " << alpha << " at " << x << "," << y;
    changed += scalar != before;
  }
  SetSoftwareDrawSimd(true);
  EXPECT_GT(changed, 150);  // most draws land on the frame
}
