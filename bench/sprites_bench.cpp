// Cost of one frame's sprite passes (move + purge + draw) at the game's level-sized load, and how
// it grows with the number of sprites.
//
// The level load: a repeated 64 x 64 background, one pixel-exact paddle, 210 pixel-exact 50 x 20
// bricks and three balls that each run CheckCollisions against the whole tree every step while
// overlapping a few bricks (so the pixel comparison runs), plus one falling bonus created and
// killed per frame so the purge has work. The larger loads add more bricks over the field.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "display/dib.h"
#include "display/dxdraw.h"
#include "display/imagelist.h"
#include "platform/headless/headless.h"
#include "sprites/dx_sprite_engine.h"

namespace {

std::unique_ptr<TDIB> MakeDIB(int w, int h, TColor (*pixel)(int x, int y, int w, int h)) {
  const int rowBytes = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> data(40 + static_cast<size_t>(rowBytes) * h, 0);
  const int32_t header[3] = {40, w, -h};
  std::memcpy(&data[0], header, sizeof header);
  const int16_t planesBits[2] = {1, 24};
  std::memcpy(&data[12], planesBits, sizeof planesBits);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const TColor c = pixel(x, y, w, h);
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

// A ball: a disc, black (transparent) outside.
TColor Disc(int x, int y, int w, int h) {
  const double dx = x - w / 2.0 + 0.5, dy = y - h / 2.0 + 0.5;
  return dx * dx + dy * dy <= (w / 2.0) * (w / 2.0) ? RGB(240, 240, 255) : clBlack;
}
// A brick with a transparent one-pixel rim.
TColor Brick(int x, int y, int w, int h) {
  return (x == 0 || y == 0 || x == w - 1 || y == h - 1) ? clBlack : RGB(200, 60 + y * 4, 40);
}
TColor Tile(int x, int y, int, int) { return RGB(x * 4, y * 4, 90); }

class Ball : public TImageSprite {
 public:
  Ball(TSprite* parent, double cx, double cy) : TImageSprite(parent), cx_(cx), cy_(cy) {}
  void MoveStep(int32_t moveCount) override {
    TImageSprite::MoveStep(moveCount);
    phase_ += 0.05 * moveCount;
    X = cx_ + 30 * std::sin(phase_);
    Y = cy_ + 12 * std::cos(phase_);
    CheckCollisions();
  }
  void HandleCollision(TSprite*, bool&) override { ++hits; }
  long hits = 0;

 private:
  double cx_, cy_, phase_ = 0;
};

class Bonus : public TImageSprite {
 public:
  using TImageSprite::TImageSprite;
  void MoveStep(int32_t moveCount) override {
    TImageSprite::MoveStep(moveCount);
    Y += moveCount * 0.1;
    Kill();  // caught at once: freed by this frame's purge
  }
};

class Paddle : public TImageSprite {
 public:
  Paddle(TSprite* parent, TPictureCollectionItem* bonusImage)
      : TImageSprite(parent), bonusImage_(bonusImage) {}
  void MoveStep(int32_t moveCount) override {
    TImageSprite::MoveStep(moveCount);
    auto* b = new Bonus(Engine());
    b->Image = bonusImage_;
    b->X = X + 40;
    b->Y = Y - 40;
    b->Width = b->Height = 20;
    b->SetZ(2);
    CheckCollisions();
  }

 private:
  TPictureCollectionItem* bonusImage_;
};

// The game's main window parts with a loaded level of `sprites` sprites (at least the level's).
struct Scene {
  platform::headless::Handles hl = platform::headless::Install();
  std::unique_ptr<TDXForm> form = std::make_unique<TDXForm>(nullptr);
  TDXDraw* draw = nullptr;
  TDXImageList* images = nullptr;
  TDXSpriteEngine* engine = nullptr;
  std::vector<Ball*> balls;

  explicit Scene(int sprites) {
    draw = new TDXDraw(form.get());
    draw->SetParent(form.get());
    draw->SetAutoSize(false);
    draw->SetSurfaceSize(800, 600);
    images = new TDXImageList(form.get());
    images->SetDXDraw(draw);
    engine = new TDXSpriteEngine(form.get());
    engine->SetDXDraw(draw);
    draw->Initialize();

    auto* ball = AddImage("shar1", 20, 20, Disc);
    auto* brick = AddImage("kirp11", 50, 20, Brick);
    auto* paddle = AddImage("pod1", 70, 15, Brick);
    auto* tile = AddImage("background", 64, 64, Tile);
    TSpriteEngine* root = engine->Engine();

    auto* bg = new TBackgroundSprite(root);
    bg->ResizeMap(1, 1);
    bg->BackImage = tile;
    bg->SetZ(-2);
    bg->RepeatMap = true;

    auto* pad = new Paddle(root, ball);
    pad->Image = paddle;
    pad->X = 365;
    pad->Y = 530;
    pad->Width = 70;
    pad->Height = 15;
    pad->PixelExact = true;
    pad->SetZ(2);

    // 210 bricks, 15 columns x 14 rows, then the extra ones over the same field.
    const int bricks = std::max(210, sprites - 5);
    for (int i = 0; i < bricks; ++i) {
      auto* b = new TImageSprite(root);
      b->Image = brick;
      b->X = 25 + (i % 15) * 50 + (i / 210) % 7;
      b->Y = 40 + ((i / 15) % 14) * 20 + (i / 210) % 5;
      b->Width = 50;
      b->Height = 20;
      b->PixelExact = true;
      b->SetZ(1);
    }
    const double centres[3][2] = {{200, 100}, {420, 200}, {640, 290}};
    for (const auto& c : centres) {
      auto* s = new Ball(root, c[0], c[1]);
      s->Image = ball;
      s->Width = s->Height = 20;
      s->SetZ(2);
      balls.push_back(s);
    }
  }
  ~Scene() {
    form.reset();
    platform::Uninstall();
  }

  TPictureCollectionItem* AddImage(const char* name, int w, int h,
                                   TColor (*pixel)(int, int, int, int)) {
    auto* item = images->Items.AddItem();
    item->SetName(name);
    item->Picture.SetGraphic(MakeDIB(w, h, pixel));
    item->SetTransparentColor(clBlack);
    item->Restore();
    return item;
  }

  void Frame(int moveCount) {
    engine->MoveAll(moveCount);
    engine->PurgeDead();
    draw->Back()->Fill(0);
    engine->DrawAll();
  }
};

// One frame: move (with the balls' and paddle's collision checks), purge, clear and draw.
void BM_FramePass(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    scene.Frame(16);
    benchmark::DoNotOptimize(scene.engine->Engine()->DrawnCount());
  }
  long hits = 0;
  for (Ball* b : scene.balls) hits += b->hits;
  state.counters["hits/frame"] =
      benchmark::Counter(static_cast<double>(hits), benchmark::Counter::kAvgIterations);
  state.counters["sprites"] = scene.engine->Engine()->SpriteCount();
  state.counters["drawn"] = scene.engine->Engine()->DrawnCount();
}
BENCHMARK(BM_FramePass)
    ->Arg(215)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The same frame without the drawing: the tree walk and the collision checks alone.
void BM_MoveAndPurge(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    scene.engine->MoveAll(16);
    scene.engine->PurgeDead();
  }
  state.counters["sprites"] = scene.engine->Engine()->SpriteCount();
}
BENCHMARK(BM_MoveAndPurge)
    ->Arg(215)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
