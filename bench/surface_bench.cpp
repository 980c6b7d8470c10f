// Surface fills and colour-keyed copies next to SDL's own software blitter doing the same work:
// an 800 x 600 RGB565 back buffer, a 50 x 20 brick and a 20 x 20 ball with their key colour.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "display/surface.h"

namespace {

constexpr int kW = 800, kH = 600;
constexpr uint16_t kKey = 0xF81F;

// The same picture for both sides: about a third of the pixels carry the key, in runs.
uint16_t PicturePixel(int x, int y) {
  const int r = (x * 7 + y * 13) % 9;
  return r < 3 ? kKey : static_cast<uint16_t>(0x1000 + x * 31 + y * 977);
}

// Where the copies go: a fixed walk over the screen, partly clipped at the edges like sprites.
struct Spot {
  int x, y;
};
Spot SpotFor(int i) {
  static const Spot spots[8] = {{100, 100}, {377, 211}, {790, 40},  {-12, 300},
                                {400, 595}, {5, 5},     {640, 480}, {250, 333}};
  return spots[i & 7];
}

void BM_OurFill(benchmark::State& state) {
  TDirectDrawSurface s(16);
  s.SetSize(kW, kH);
  uint32_t v = 0;
  for (auto _ : state) {
    s.Fill(v++ & 0xFFFF);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kW * kH * 2);
}
BENCHMARK(BM_OurFill);

void BM_SdlFill(benchmark::State& state) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
  uint32_t v = 0;
  for (auto _ : state) {
    SDL_FillRect(s, nullptr, v++ & 0xFFFF);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kW * kH * 2);
  SDL_FreeSurface(s);
}
BENCHMARK(BM_SdlFill);

void BM_OurKeyedDraw(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  TDirectDrawSurface back(16), pic(16);
  back.SetSize(kW, kH);
  pic.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pic.SetPixel(x, y, PicturePixel(x, y));
  pic.SetColorKey(kKey);
  const TRect r = pic.ClientRect();
  int i = 0;
  for (auto _ : state) {
    const Spot s = SpotFor(i++);
    back.Draw(s.x, s.y, r, &pic, true);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OurKeyedDraw)->Args({50, 20})->Args({20, 20});

void BM_SdlKeyedDraw(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  SDL_Surface* back = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* pic = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(pic->pixels) + y * pic->pitch);
    for (int x = 0; x < w; ++x) row[x] = PicturePixel(x, y);
  }
  SDL_SetColorKey(pic, SDL_TRUE, kKey);
  int i = 0;
  for (auto _ : state) {
    const Spot s = SpotFor(i++);
    SDL_Rect src{0, 0, w, h};
    SDL_Rect dst{s.x, s.y, w, h};
    SDL_BlitSurface(pic, &src, back, &dst);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(pic);
  SDL_FreeSurface(back);
}
BENCHMARK(BM_SdlKeyedDraw)->Args({50, 20})->Args({20, 20});

// Opaque copies (the background tiles) for reference.
void BM_OurOpaqueDraw(benchmark::State& state) {
  TDirectDrawSurface back(16), pic(16);
  back.SetSize(kW, kH);
  pic.SetSize(64, 64);
  pic.Fill(0x1234);
  const TRect r = pic.ClientRect();
  int i = 0;
  for (auto _ : state) {
    const Spot s = SpotFor(i++);
    back.Draw(s.x, s.y, r, &pic, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OurOpaqueDraw);

void BM_SdlOpaqueDraw(benchmark::State& state) {
  SDL_Surface* back = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* pic = SDL_CreateRGBSurfaceWithFormat(0, 64, 64, 16, SDL_PIXELFORMAT_RGB565);
  SDL_FillRect(pic, nullptr, 0x1234);
  int i = 0;
  for (auto _ : state) {
    const Spot s = SpotFor(i++);
    SDL_Rect dst{s.x, s.y, 64, 64};
    SDL_BlitSurface(pic, nullptr, back, &dst);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(pic);
  SDL_FreeSurface(back);
}
BENCHMARK(BM_SdlOpaqueDraw);

}  // namespace

BENCHMARK_MAIN();
