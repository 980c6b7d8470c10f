// Image list draws against SDL's own blits: colour-keyed copies, additive stretching, rotation.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#ifdef KX_HAVE_SDL2_GFX
#include <SDL2/SDL2_rotozoom.h>
#endif

#include <functional>
#include <vector>

#include "display/imagelist.h"
#include "platform/headless/headless.h"
#include "toolkit/application.h"

namespace {

TColor Pattern(int x, int y) {
  return (x + y) % 7 == 0 ? clBlack : RGB(x * 5 % 256, y * 9 % 256, 120);
}

std::vector<uint8_t> PictureData(int w, int h) {
  std::vector<uint8_t> v = {4, 'T', 'D', 'I', 'B'};
  auto put32 = [&](uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  };
  put32(40), put32(static_cast<uint32_t>(w)), put32(static_cast<uint32_t>(h));
  v.insert(v.end(), {1, 0, 24, 0});
  for (int i = 0; i < 6; ++i) put32(0);
  const int row = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      TColor c = Pattern(x, y);
      v.insert(v.end(), {static_cast<uint8_t>(GetBValue(c)), static_cast<uint8_t>(GetGValue(c)),
                         static_cast<uint8_t>(GetRValue(c))});
    }
    for (int p = w * 3; p < row; ++p) v.push_back(0);
  }
  return v;
}

// One display with one image list holding the game's draw sizes.
struct Scene {
  Scene() {
    platform::headless::Install();
    InitApplication();
    form = new TDXForm(nullptr);
    draw = new TDXDraw(form);
    draw->SetParent(form);
    draw->SetBounds(0, 0, 800, 600);
    list = new TDXImageList(form);
    for (auto [name, w, h] :
         {std::tuple{"kirp21", 50, 20}, {"shar1", 20, 20}, {"m2", 135, 30}, {"m1", 300, 57}}) {
      TPictureCollectionItem* item = list->Items.AddItem();
      item->SetName(name);
      std::vector<uint8_t> d = PictureData(w, h);
      item->Picture.LoadFromStream(d.data(), d.size());
    }
    list->SetDXDraw(draw);
    draw->Initialize();
  }
  ~Scene() {
    DoneApplication();
    platform::Uninstall();
  }
  TDXForm* form;
  TDXDraw* draw;
  TDXImageList* list;
};

Scene& GetScene() {
  static Scene scene;
  return scene;
}

// SDL surfaces with the same pictures in RGB565.
SDL_Surface* SdlPicture(int w, int h) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch)[x] =
          ColorTo565(Pattern(x, y));
  SDL_SetColorKey(s, SDL_TRUE, 0);
  return s;
}
SDL_Surface* SdlBack() {
  return SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 16, SDL_PIXELFORMAT_RGB565);
}

void BM_Draw(benchmark::State& state, const char* name) {
  Scene& sc = GetScene();
  TPictureCollectionItem* item = sc.list->FindImage(name);
  TDirectDrawSurface* back = sc.draw->Back();
  int i = 0;
  for (auto _ : state) {
    item->Draw(back, (i * 37) % 700, (i * 11) % 500, 0);
    ++i;
  }
}
void BM_SdlBlit(benchmark::State& state, int w, int h) {
  SDL_Surface* src = SdlPicture(w, h);
  SDL_Surface* dst = SdlBack();
  int i = 0;
  for (auto _ : state) {
    SDL_Rect r{(i * 37) % 700, (i * 11) % 500, w, h};
    SDL_BlitSurface(src, nullptr, dst, &r);
    ++i;
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
BENCHMARK_CAPTURE(BM_Draw, keyed_50x20, "kirp21");
BENCHMARK_CAPTURE(BM_SdlBlit, keyed_50x20, 50, 20);
BENCHMARK_CAPTURE(BM_Draw, keyed_20x20, "shar1");
BENCHMARK_CAPTURE(BM_SdlBlit, keyed_20x20, 20, 20);

void BM_DrawAdditive(benchmark::State& state) {
  Scene& sc = GetScene();
  TPictureCollectionItem* item = sc.list->FindImage("m2");
  TDirectDrawSurface* back = sc.draw->Back();
  int alpha = 1;
  for (auto _ : state) {
    item->DrawAdditive(back, Bounds(120, 420, 155, 30), 0, alpha);
    alpha = alpha % 253 + 1;
  }
}
void BM_SdlBlitScaledAdd(benchmark::State& state) {
  SDL_Surface* src = SdlPicture(135, 30);
  SDL_Surface* dst = SdlBack();
  SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_ADD);
  int alpha = 1;
  for (auto _ : state) {
    SDL_SetSurfaceAlphaMod(src, static_cast<uint8_t>(alpha));
    SDL_Rect r{120, 420, 155, 30};
    SDL_BlitScaled(src, nullptr, dst, &r);
    alpha = alpha % 253 + 1;
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
BENCHMARK(BM_DrawAdditive);
BENCHMARK(BM_SdlBlitScaledAdd);

void BM_DrawRotated(benchmark::State& state) {
  Scene& sc = GetScene();
  TPictureCollectionItem* item = sc.list->FindImage("m1");
  TDirectDrawSurface* back = sc.draw->Back();
  int angle = 1;
  for (auto _ : state) {
    item->DrawRotated(back, 400, 300, 300, 57, 0, 0.5, 0.5, angle);
    angle = angle % 254 + 1;
  }
}
BENCHMARK(BM_DrawRotated);
#ifdef KX_HAVE_SDL2_GFX
void BM_SdlRotozoomAndBlit(benchmark::State& state) {
  SDL_Surface* src = SdlPicture(300, 57);
  SDL_Surface* dst = SdlBack();
  int angle = 1;
  for (auto _ : state) {
    SDL_Surface* turned = rotozoomSurface(src, -angle * 360.0 / 256.0, 1.0, SMOOTHING_OFF);
    SDL_Rect r{400 - turned->w / 2, 300 - turned->h / 2, turned->w, turned->h};
    SDL_BlitSurface(turned, nullptr, dst, &r);
    SDL_FreeSurface(turned);
    angle = angle % 254 + 1;
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
BENCHMARK(BM_SdlRotozoomAndBlit);
#endif

}  // namespace

BENCHMARK_MAIN();
