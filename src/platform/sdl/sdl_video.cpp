#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "platform/pacer.h"
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
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (renderer_ == nullptr) {
      std::fprintf(stderr, "kobaltix: no renderer: %s\n", SDL_GetError());
      SDL_DestroyWindow(window_);
      window_ = nullptr;
      return;
    }
    SDL_RendererInfo info;
    vsync_ =
        SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
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

    // Letterbox: the largest rectangle of the frame's aspect that fits the output, centred.
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer_, &ow, &oh);
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
  unsigned presents_ = 0;
};

}  // namespace

std::unique_ptr<Video> MakeVideo(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view) {
  return std::make_unique<SdlVideo>(std::move(s), std::move(view));
}

}  // namespace platform::sdl
