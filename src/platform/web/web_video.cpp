#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/web/web_internal.h"

namespace platform::web {
namespace {

// Puts `w` x `h` RGBA pixels on the page's canvas (resized to the frame when it differs).
EM_JS(void, kx_put_frame, (const uint8_t* rgba, int w, int h), {
  var c = document.getElementById('screen');
  if (!c) return;
  if (c.width != w || c.height != h) {
    c.width = w;
    c.height = h;
    if (window.kxLayout) window.kxLayout();
  }
  if (!Module.kxContext) Module.kxContext = c.getContext('2d', {alpha : false});
  Module.kxContext.putImageData(
      new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, w * h * 4), w, h), 0, 0);
  Module.kxPresents = (Module.kxPresents || 0) + 1;
});

// Sleeps until the browser is about to paint the next frame (the display's vsync), at most 60
// times a second: the paddle and the balls move a fixed step a frame, so a 120 Hz display must
// not run the game twice as fast (every other paint is let pass there). A hidden tab paints
// nothing, so a tenth of a second ends the wait there.
EM_JS(void, kx_wait_paint, (), {
  Asyncify.handleSleep(function(wakeUp) {
    var done = false;
    var go = function() {
      if (!done) {
        done = true;
        wakeUp();
      }
    };
    var paint = function(t) {
      if (Module.kxLastPaint != undefined && t - Module.kxLastPaint < 1000 / 60 - 2) {
        requestAnimationFrame(paint);
        return;
      }
      Module.kxLastPaint = t;
      go();
    };
    requestAnimationFrame(paint);
    setTimeout(go, 100);
  });
});

// Keeps, for the page's figures, the last frames' own work (milliseconds from the end of one
// present to the start of the next: the game's tick and its drawing) and what presenting them
// cost (the conversion to RGBA and putImageData).
EM_JS(void, kx_note_times, (double work, double present), {
  var w = Module.kxWork || (Module.kxWork = []);
  var p = Module.kxPresentMs || (Module.kxPresentMs = []);
  w.push(work);
  p.push(present);
  if (w.length > 1200) w.splice(0, w.length - 1200);
  if (p.length > 1200) p.splice(0, p.length - 1200);
});

EM_JS(void, kx_set_title, (const char* utf8), { document.title = UTF8ToString(utf8); });
EM_JS(void, kx_set_cursor, (int visible), {
  var c = document.getElementById('screen');
  if (c) c.style.cursor = visible ? 'default' : 'none';
});
EM_JS(int, kx_screen_width, (), { return window.screen.width | 0; });
EM_JS(int, kx_screen_height, (), { return window.screen.height | 0; });
EM_JS(int, kx_full_screen, (), { return document.fullscreenElement ? 1 : 0; });
EM_JS(void, kx_request_full_screen, (int on), {
  try {
    if (on && !document.fullscreenElement)
      document.getElementById('stage').requestFullscreen().catch(function(){});
    if (!on && document.fullscreenElement) document.exitFullscreen().catch(function(){});
  } catch (e) {
  }
});

class WebClock : public Clock {
 public:
  uint32_t Milliseconds() override {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
  }
  void SleepMs(uint32_t ms) override { emscripten_sleep(ms); }
};

class WebVideo : public Video {
 public:
  explicit WebVideo(std::shared_ptr<PageState> page) : page_(std::move(page)) {
    // RGB565 widened to eight bits a channel by bit replication, as a screen shows it.
    lut_.resize(65536);
    for (uint32_t p = 0; p < 65536; ++p) {
      const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      const uint32_t r8 = (r << 3) | (r >> 2), g8 = (g << 2) | (g >> 4), b8 = (b << 3) | (b >> 2);
      lut_[p] = 0xFF000000u | (b8 << 16) | (g8 << 8) | r8;
    }
  }

  void OpenWindow(const std::string& caption, int w, int h) override {
    open_ = true;
    SetCaption(caption);
    page_->frameW = w;
    page_->frameH = h;
  }
  void CloseWindow() override { open_ = false; }
  bool WindowOpen() const override { return open_; }
  void Show() override {}
  void Hide() override {}
  void SetCaption(const std::string& utf8) override {
    caption_ = utf8;
    kx_set_title(utf8.c_str());
  }
  std::string Caption() const override { return caption_; }
  // The page is the window: full screen is the browser's, asked for from a key or click.
  void SetFullScreen(bool on) override { kx_request_full_screen(on ? 1 : 0); }
  bool FullScreen() const override { return kx_full_screen() != 0; }
  void SetBorder(bool) override {}
  void SetCursorVisible(bool on) override {
    page_->cursorVisible = on;
    kx_set_cursor(on);
  }
  // Capturing asks the browser for the pointer lock (it hides the pointer and keeps it in the
  // canvas); motion keeps coming as movementX/Y, so the game steers alike whether the browser
  // granted the lock or let it go again (Escape, another window): a click takes it back.
  void SetMouseCaptured(bool on) override {
    if (on != page_->mouseCaptured) LockPointer(on);
    page_->mouseCaptured = on;
  }
  void SetPosition(int, int) override {}
  bool IsForeground() const override { return page_->focused && !page_->hidden; }
  std::vector<DisplayMode> Modes() override {
    std::vector<DisplayMode> out;
    for (int bits : {16, 32}) {
      for (auto [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}})
        out.push_back({w, h, bits});
      out.push_back({DesktopWidth(), DesktopHeight(), bits});
    }
    return out;
  }

  void Present(const FrameView& frame) override {
    const double start = emscripten_get_now();
    if (frame.pixels != nullptr && frame.width > 0 && frame.height > 0) {
      page_->frameW = frame.width;
      page_->frameH = frame.height;
      rgba_.resize(static_cast<size_t>(frame.width) * frame.height);
      for (int y = 0; y < frame.height; ++y) {
        const auto* row =
            static_cast<const uint8_t*>(frame.pixels) + static_cast<ptrdiff_t>(y) * frame.pitch;
        uint32_t* out = rgba_.data() + static_cast<size_t>(y) * frame.width;
        if (frame.bitCount == 32) {
          const auto* px = reinterpret_cast<const uint32_t*>(row);
          for (int x = 0; x < frame.width; ++x) {
            const uint32_t p = px[x];
            out[x] = 0xFF000000u | ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
          }
        } else {
          const auto* px = reinterpret_cast<const uint16_t*>(row);
          for (int x = 0; x < frame.width; ++x) out[x] = lut_[px[x]];
        }
      }
      kx_put_frame(reinterpret_cast<const uint8_t*>(rgba_.data()), frame.width, frame.height);
    }
    if (lastPresentEnd_ > 0) kx_note_times(start - lastPresentEnd_, emscripten_get_now() - start);
    kx_wait_paint();
    lastPresentEnd_ = emscripten_get_now();
  }

  int DesktopWidth() const override { return kx_screen_width(); }
  int DesktopHeight() const override { return kx_screen_height(); }

 private:
  std::shared_ptr<PageState> page_;
  bool open_ = false;
  std::string caption_;
  std::vector<uint32_t> lut_;
  std::vector<uint32_t> rgba_;
  double lastPresentEnd_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Text through the canvas' own text drawing, in the faces the page loads from the same font files
// the native build finds through fontconfig: Comfortaa first (it covers Cyrillic), DejaVu Sans
// for anything it lacks. A family asked for by name is not looked up among the browser's fonts,
// so every browser draws the game's words in the same face.

// Measures a run: writes width, height and ascent (whole pixels) to out[0..2].
EM_JS(void, kx_text_measure, (const char* utf8, int px, int bold, int italic, int* out), {
  var k = Module.kxText || (Module.kxText = {canvas : document.createElement('canvas')});
  if (!k.ctx) k.ctx = k.canvas.getContext('2d', {willReadFrequently : true});
  var g = k.ctx;
  g.font = (italic ? "italic " : "") + (bold ? "bold " : "") + px +
           'px Comfortaa, "DejaVu Sans", sans-serif';
  var m = g.measureText(UTF8ToString(utf8));
  var asc = Math.ceil(m.fontBoundingBoxAscent != undefined ? m.fontBoundingBoxAscent : px * 0.9);
  var desc =
      Math.ceil(m.fontBoundingBoxDescent != undefined ? m.fontBoundingBoxDescent : px * 0.25);
  var w = Math.ceil(Math.max(m.width, m.actualBoundingBoxRight || 0));
  HEAP32[out >> 2] = w;
  HEAP32[(out >> 2) + 1] = asc + desc;
  HEAP32[(out >> 2) + 2] = asc;
});

// Draws a run white on transparent and copies its alpha, w x h bytes, to `coverage`.
EM_JS(void, kx_text_render,
      (const char* utf8, int px, int bold, int italic, int w, int h, int ascent, uint8_t* coverage),
      {
        var k = Module.kxText;
        var c = k.canvas;
        if (c.width < w) c.width = w;
        if (c.height < h) c.height = h;
        var g = k.ctx;
        g.clearRect(0, 0, w, h);
        g.font = (italic ? "italic " : "") + (bold ? "bold " : "") + px +
                 'px Comfortaa, "DejaVu Sans", sans-serif';
        g.fillStyle = '#fff';
        g.textBaseline = 'alphabetic';
        g.fillText(UTF8ToString(utf8), 0, ascent);
        var d = g.getImageData(0, 0, w, h).data;
        for (var i = 0, n = w * h; i < n; ++i) HEAPU8[coverage + i] = d[i * 4 + 3];
      });

class WebText : public Text {
 public:
  TextMask Render(const std::string&, int pixelHeight, bool bold, bool italic,
                  const std::string& utf8) override {
    TextMask mask;
    if (pixelHeight <= 0 || pixelHeight > 2000) return mask;
    int m[3] = {0, 0, 0};
    kx_text_measure(utf8.c_str(), pixelHeight, bold, italic, m);
    mask.ascent = m[2];
    mask.height = m[1];
    if (utf8.empty() || m[0] <= 0 || m[1] <= 0) return mask;
    mask.width = m[0];
    mask.coverage.assign(static_cast<size_t>(m[0]) * m[1], 0);
    kx_text_render(utf8.c_str(), pixelHeight, bold, italic, m[0], m[1], m[2], mask.coverage.data());
    return mask;
  }

  void Measure(const std::string&, int pixelHeight, bool bold, bool italic, const std::string& utf8,
               int& w, int& h) override {
    w = h = 0;
    if (pixelHeight <= 0 || pixelHeight > 2000) return;
    int m[3] = {0, 0, 0};
    kx_text_measure(utf8.c_str(), pixelHeight, bold, italic, m);
    w = utf8.empty() ? 0 : m[0];
    h = m[1];
  }
};

EM_JS(void, kx_alert, (const char* title, const char* text), {
  console.warn(UTF8ToString(title) + ': ' + UTF8ToString(text));
  if (window.kxMessage) window.kxMessage(UTF8ToString(title), UTF8ToString(text));
});

class WebDialogs : public Dialogs {
 public:
  void MessageBox(const std::string& title, const std::string& text) override {
    kx_alert(title.c_str(), text.c_str());
  }
};

}  // namespace

std::unique_ptr<Clock> MakeClock() { return std::make_unique<WebClock>(); }
std::unique_ptr<Video> MakeVideo(std::shared_ptr<PageState> page) {
  return std::make_unique<WebVideo>(std::move(page));
}
std::unique_ptr<Text> MakeText() { return std::make_unique<WebText>(); }
std::unique_ptr<Dialogs> MakeDialogs() { return std::make_unique<WebDialogs>(); }

}  // namespace platform::web
