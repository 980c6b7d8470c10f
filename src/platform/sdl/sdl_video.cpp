#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "platform/pacer.h"
#include "platform/sdl/sdl_display_watch.h"
#include "platform/sdl/sdl_internal.h"

namespace platform::sdl {
namespace {

class SdlVideo : public Video {
 public:
  SdlVideo(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view)
      : session_(std::move(s)),
        view_(std::move(view)),
        clock_(MakeClock(session_)),
        pacer_(*clock_) {
    videoOk_ = session_->Need(SDL_INIT_VIDEO);
    if (!videoOk_) std::fprintf(stderr, "kobaltix: no video: %s\n", SDL_GetError());
  }
  ~SdlVideo() override { CloseWindow(); }

  void OpenWindow(const std::string& caption, int w, int h) override {
    CloseWindow();
    caption_ = caption;
    if (!videoOk_) return;
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (fullScreen_) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (!border_) flags |= SDL_WINDOW_BORDERLESS;
    const int x = hasPos_ ? posX_ : SDL_WINDOWPOS_CENTERED;
    const int y = hasPos_ ? posY_ : SDL_WINDOWPOS_CENTERED;
    window_ = SDL_CreateWindow(caption.c_str(), x, y, std::max(w, 1), std::max(h, 1), flags);
    if (window_ == nullptr) {
      std::fprintf(stderr, "kobaltix: cannot open the window: %s\n", SDL_GetError());
      return;
    }
    renderer_ =
        SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    SDL_RendererInfo info;
    vsync_ = renderer_ != nullptr && SDL_GetRendererInfo(renderer_, &info) == 0 &&
             (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    if (!vsync_ || SoftwareRasterizer(renderer_)) {
      // A GL drawn by the processor (as on a virtual X server, where its "vsync" paces nothing)
      // spends several milliseconds a frame uploading and scaling the texture, and without vsync
      // the pacer sleeps anyway: our own scaler writing straight into the window's pixels costs
      // a fraction of that. A window has either a renderer or a surface, so the renderer goes
      // before the surface is asked for.
      vsync_ = false;
      if (renderer_) SDL_DestroyRenderer(renderer_);
      renderer_ = nullptr;
      // Keep SDL from backing the window surface with a GL texture again.
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      if (SDL_GetWindowSurface(window_) == nullptr) {
        std::fprintf(stderr, "kobaltix: no window surface (%s), using a renderer\n",
                     SDL_GetError());
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
        if (renderer_ == nullptr)
          renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
      }
    }
    surfaceMode_ = renderer_ == nullptr;
    if (surfaceMode_ && SDL_GetWindowSurface(window_) == nullptr) {
      std::fprintf(stderr, "kobaltix: no renderer: %s\n", SDL_GetError());
      SDL_DestroyWindow(window_);
      window_ = nullptr;
      return;
    }
    WatchTheWindowsDisplay(window_);
    view_->windowId = SDL_GetWindowID(window_);
    view_->frameW = w;
    view_->frameH = h;
    UpdatePacing();
    SDL_ShowCursor(cursor_ ? SDL_ENABLE : SDL_DISABLE);
    SDL_StartTextInput();
  }

  void CloseWindow() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    view_->windowId = 0;
    texW_ = texH_ = texBits_ = 0;
    surfaceMode_ = false;
    shown_ = SurfaceKey{};
  }

  bool WindowOpen() const override { return window_ != nullptr; }
  void Show() override {
    if (window_) SDL_ShowWindow(window_);
  }
  void Hide() override {
    if (window_) SDL_HideWindow(window_);
  }
  void SetCaption(const std::string& utf8) override {
    caption_ = utf8;
    if (window_) SDL_SetWindowTitle(window_, utf8.c_str());
  }
  std::string Caption() const override { return caption_; }

  void SetFullScreen(bool on) override {
    fullScreen_ = on;
    if (window_) {
      if (on) {
        // Without a window manager (a bare X server) the desktop full-screen switch does not
        // resize the window, while the renderer reports the desktop's size: cover the desktop
        // first so both agree.
        const SDL_DisplayMode d = DesktopSize();
        SDL_SetWindowPosition(window_, 0, 0);
        SDL_SetWindowSize(window_, d.w, d.h);
      }
      SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
      if (!on) {
        SDL_SetWindowSize(window_, 800, 600);
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
      }
      UpdatePacing();
    }
  }
  bool FullScreen() const override { return fullScreen_; }
  void SetBorder(bool on) override {
    border_ = on;
    if (window_) SDL_SetWindowBordered(window_, on ? SDL_TRUE : SDL_FALSE);
  }
  void SetCursorVisible(bool on) override {
    cursor_ = on;
    if (videoOk_) SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
  }
  void SetMouseCaptured(bool on) override {
    // Relative mode hides the pointer and keeps it in the window; motion still arrives.
    if (videoOk_ && window_) SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE);
  }
  void SetPosition(int x, int y) override {
    posX_ = x;
    posY_ = y;
    hasPos_ = true;
    if (window_) SDL_SetWindowPosition(window_, x, y);
  }
  bool IsForeground() const override {
    return window_ != nullptr && (SDL_GetKeyboardFocus() == window_ ||
                                  (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0);
  }

  std::vector<DisplayMode> Modes() override {
    // The frame is scaled onto the desktop, so the classic sizes are always available, and every
    // size at 16 bits as well: the renderer converts 16-bit frames to whatever the screen uses.
    std::set<std::tuple<int, int, int>> seen;
    for (int bits : {16, 32}) {
      for (auto [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}}) seen.insert({w, h, bits});
    }
    if (videoOk_) {
      const int display = window_ ? std::max(SDL_GetWindowDisplayIndex(window_), 0) : 0;
      const int n = SDL_GetNumDisplayModes(display);
      for (int i = 0; i < n; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
        int bits = SDL_BITSPERPIXEL(m.format);
        if (bits == 24) bits = 32;  // XRGB8888 reports 24 significant bits in 32-bit pixels
        seen.insert({m.w, m.h, bits});
        seen.insert({m.w, m.h, 16});
      }
    }
    std::vector<DisplayMode> out;
    for (auto [w, h, b] : seen) out.push_back({w, h, b});
    return out;
  }

  void Present(const FrameView& frame) override {
    if (surfaceMode_) {
      PresentToSurface(frame);
      return;
    }
    if (!renderer_ || frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) return;
    const int bits = frame.bitCount == 32 ? 32 : 16;
    if (!texture_ || texW_ != frame.width || texH_ != frame.height || texBits_ != bits) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ =
          SDL_CreateTexture(renderer_, bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888,
                            SDL_TEXTUREACCESS_STREAMING, frame.width, frame.height);
      if (!texture_) {
        std::fprintf(stderr, "kobaltix: cannot make the frame texture: %s\n", SDL_GetError());
        return;
      }
      texW_ = frame.width;
      texH_ = frame.height;
      texBits_ = bits;
    }
    SDL_UpdateTexture(texture_, nullptr, frame.pixels, frame.pitch);

    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
    const SDL_Rect dst = Letterbox(frame, ow, oh);

    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    if (++presents_ % 120 == 0) UpdatePacing();  // the window may have moved to another screen
    if (pace_) pacer_.WaitBeforePresent();
    SDL_RenderPresent(renderer_);
  }

  int DesktopWidth() const override { return DesktopSize().w; }
  int DesktopHeight() const override { return DesktopSize().h; }

 private:
  // What the window surface last showed; when any of it changes the bars are painted afresh.
  struct SurfaceKey {
    SDL_Surface* surface = nullptr;
    void* pixels = nullptr;
    int w = 0, h = 0, pitch = 0;
    uint32_t format = 0;
    int frameW = 0, frameH = 0, bits = 0;
    bool operator==(const SurfaceKey&) const = default;
  };

  // True for a GL renderer whose GL runs on the processor (Mesa's llvmpipe, softpipe, swrast).
  static bool SoftwareRasterizer(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (renderer == nullptr || SDL_GetRendererInfo(renderer, &info) != 0) return false;
    if (std::strncmp(info.name, "opengl", 6) != 0) return false;
    if (SDL_GL_GetCurrentContext() == nullptr) return false;
    using GetString = const unsigned char* (*)(unsigned int);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    constexpr unsigned int kGlRenderer = 0x1F01;
    const auto* name = reinterpret_cast<const char*>(getString(kGlRenderer));
    if (name == nullptr) return false;
    for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"}) {
      if (std::strstr(name, soft) != nullptr) return true;
    }
    return false;
  }

  // The largest rectangle of the frame's aspect that fits an output of ow x oh, centred; also
  // published for the mouse mapping.
  SDL_Rect Letterbox(const FrameView& frame, int ow, int oh) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(window_, &ww, &wh);
    SDL_Rect dst{0, 0, ow, oh};
    if (ow > 0 && oh > 0) {
      if (static_cast<int64_t>(ow) * frame.height > static_cast<int64_t>(oh) * frame.width) {
        dst.w = static_cast<int>(static_cast<int64_t>(oh) * frame.width / frame.height);
        dst.x = (ow - dst.w) / 2;
      } else {
        dst.h = static_cast<int>(static_cast<int64_t>(ow) * frame.height / frame.width);
        dst.y = (oh - dst.h) / 2;
      }
    }
    view_->frameW = frame.width;
    view_->frameH = frame.height;
    view_->dst = dst;
    view_->outputScale = ww > 0 ? static_cast<float>(ow) / ww : 1.0f;
    return dst;
  }

  void PresentToSurface(const FrameView& frame) {
    if (!window_ || frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) return;
    // Cheap while the surface is valid; a resize or full-screen switch makes SDL build a new one.
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr) return;
    const int bits = frame.bitCount == 32 ? 32 : 16;
    const SDL_Rect dst = Letterbox(frame, surface->w, surface->h);
    const SurfaceKey key{surface,     surface->pixels, surface->w,
                         surface->h,  surface->pitch,  surface->format->format,
                         frame.width, frame.height,    bits};
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    // The bars are painted when the picture's place changes, and now and then in case SDL gave
    // a new surface that happens to look like the old one.
    if (!(key == shown_) || presents_ % 120 == 0) {
      ClearBars(surface, dst);
      shown_ = key;
    }
    if (dst.w > 0 && dst.h > 0) {
      if (surface->format->BytesPerPixel == 4) {
        ScaleInto(frame, bits, surface, dst);
      } else {
        BlitScaled(frame, bits, surface, dst);
      }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (++presents_ % 120 == 0) UpdatePacing();  // the window may have moved to another screen
    if (pace_) pacer_.WaitBeforePresent();
    SDL_UpdateWindowSurface(window_);
  }

  static void ClearBars(SDL_Surface* surface, const SDL_Rect& dst) {
    const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
    const SDL_Rect bars[4] = {
        {0, 0, surface->w, std::max(dst.y, 0)},
        {0, dst.y + dst.h, surface->w, std::max(surface->h - dst.y - dst.h, 0)},
        {0, dst.y, std::max(dst.x, 0), dst.h},
        {dst.x + dst.w, dst.y, std::max(surface->w - dst.x - dst.w, 0), dst.h},
    };
    SDL_FillRects(surface, bars, 4, black);
  }

  // Nearest-neighbour scaling of the frame into a 32-bit surface, each output pixel taking the
  // source pixel under its centre (as the GL path does): 16-bit pixels go through a
  // table of the surface's colour for every RGB565 value, 32-bit ones are repacked by shifts.
  void ScaleInto(const FrameView& frame, int bits, SDL_Surface* surface, const SDL_Rect& dst) {
    const SDL_PixelFormat* f = surface->format;
    if (static_cast<int>(xmap_.size()) != dst.w || xmapSrcW_ != frame.width) {
      xmap_.resize(dst.w);
      for (int x = 0; x < dst.w; ++x) {
        xmap_[x] = static_cast<uint32_t>((2 * static_cast<int64_t>(x) + 1) * frame.width /
                                         (2 * static_cast<int64_t>(dst.w)));
      }
      xmapSrcW_ = frame.width;
    }
    if (bits == 16 && lutFormat_ != f->format) {
      lut_.resize(65536);
      for (uint32_t v = 0; v < 65536; ++v) {
        const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        lut_[v] = SDL_MapRGB(f, static_cast<Uint8>((r << 3) | (r >> 2)),
                             static_cast<Uint8>((g << 2) | (g >> 4)),
                             static_cast<Uint8>((b << 3) | (b >> 2)));
      }
      lutFormat_ = f->format;
    }
    const bool plainXrgb = f->Rshift == 16 && f->Gshift == 8 && f->Bshift == 0 && f->Rloss == 0 &&
                           f->Gloss == 0 && f->Bloss == 0;
    const uint32_t* xmap = xmap_.data();
    const uint32_t* lut = lut_.data();
    auto* base = static_cast<uint8_t*>(surface->pixels);
    const auto* src = static_cast<const uint8_t*>(frame.pixels);
    const int n = dst.w;
    int lastSy = -1;
    uint32_t* lastOut = nullptr;
    for (int y = 0; y < dst.h; ++y) {
      const int sy = static_cast<int>((2 * static_cast<int64_t>(y) + 1) * frame.height /
                                      (2 * static_cast<int64_t>(dst.h)));
      auto* out =
          reinterpret_cast<uint32_t*>(base + static_cast<ptrdiff_t>(dst.y + y) * surface->pitch) +
          dst.x;
      if (sy == lastSy) {  // an enlarged frame repeats rows: copy the one just made
        std::memcpy(out, lastOut, static_cast<size_t>(n) * 4);
        continue;
      }
      const uint8_t* row = src + static_cast<ptrdiff_t>(sy) * frame.pitch;
      if (bits == 16) {
        const auto* in = reinterpret_cast<const uint16_t*>(row);
        for (int x = 0; x < n; ++x) out[x] = lut[in[xmap[x]]];
      } else if (plainXrgb) {
        const auto* in = reinterpret_cast<const uint32_t*>(row);
        const uint32_t a = f->Amask;
        for (int x = 0; x < n; ++x) out[x] = (in[xmap[x]] & 0xFFFFFFu) | a;
      } else {
        const auto* in = reinterpret_cast<const uint32_t*>(row);
        for (int x = 0; x < n; ++x) {
          const uint32_t p = in[xmap[x]];
          out[x] = ((((p >> 16) & 255) >> f->Rloss) << f->Rshift) |
                   ((((p >> 8) & 255) >> f->Gloss) << f->Gshift) |
                   (((p & 255) >> f->Bloss) << f->Bshift) | f->Amask;
        }
      }
      lastSy = sy;
      lastOut = out;
    }
  }

  // Any other surface depth: slower, but SDL knows every format.
  static void BlitScaled(const FrameView& frame, int bits, SDL_Surface* surface,
                         const SDL_Rect& dst) {
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<void*>(frame.pixels), frame.width, frame.height, bits, frame.pitch,
        bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888);
    if (src == nullptr) return;
    SDL_Rect d = dst;
    SDL_BlitScaled(src, nullptr, surface, &d);
    SDL_FreeSurface(src);
  }

  SDL_DisplayMode DesktopSize() const {
    SDL_DisplayMode m{};
    m.w = 800;
    m.h = 600;
    if (videoOk_) {
      const int display = window_ ? std::max(SDL_GetWindowDisplayIndex(window_), 0) : 0;
      SDL_GetDesktopDisplayMode(display, &m);
    }
    return m;
  }

  // Vsync alone is enough at 60-75 Hz; elsewhere the pacer holds the game to 60 frames a second.
  void UpdatePacing() {
    int refresh = 0;
    if (window_) {
      SDL_DisplayMode m;
      const int display = std::max(SDL_GetWindowDisplayIndex(window_), 0);
      if (SDL_GetCurrentDisplayMode(display, &m) == 0) refresh = m.refresh_rate;
    }
    const bool pace = Pacer::Needed(vsync_, refresh);
    if (pace && !pace_) pacer_.Reset();
    pace_ = pace;
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<ViewState> view_;
  std::unique_ptr<Clock> clock_;
  Pacer pacer_;
  bool videoOk_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texW_ = 0, texH_ = 0, texBits_ = 0;
  std::string caption_;
  bool fullScreen_ = false, border_ = true, cursor_ = true, hasPos_ = false;
  int posX_ = 0, posY_ = 0;
  bool vsync_ = false, pace_ = true;
  bool surfaceMode_ = false;  // presenting through the window surface, with no renderer
  SurfaceKey shown_;
  std::vector<uint32_t> xmap_;  // source column of every destination column
  int xmapSrcW_ = 0;
  std::vector<uint32_t> lut_;  // surface colour of every RGB565 value
  uint32_t lutFormat_ = 0;
  unsigned presents_ = 0;
};

}  // namespace

std::unique_ptr<Video> MakeVideo(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view) {
  return std::make_unique<SdlVideo>(std::move(s), std::move(view));
}

}  // namespace platform::sdl
