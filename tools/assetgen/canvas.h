// A small floating-point drawing surface for the asset generator: straight colour plus coverage,
// shapes given by signed distance functions (anti-aliased by their distance), blurs, and the
// conversion to the 8-bit RGB pictures that the game's files hold.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gen {

// A linear colour with channels 0..1 (values outside are clamped only on output).
struct Color {
  float r = 0, g = 0, b = 0;
};
inline Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Color operator-(Color a, Color b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Color operator*(Color a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Color operator*(Color a, Color b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
// Mix of a and b; t = 0 gives a, t = 1 gives b.
inline Color Mix(Color a, Color b, float t) { return a + (b - a) * t; }
// A colour from 8-bit channels.
inline Color Rgb8(int r, int g, int b) { return {r / 255.f, g / 255.f, b / 255.f}; }
// A fully saturated colour of hue h (0..1 around the colour wheel).
Color Hue(float h);

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smooth(float e0, float e1, float x) {
  float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// An 8-bit picture, top row first, three bytes red, green, blue per pixel.
struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  Image() = default;
  Image(int width, int height) : w(width), h(height), rgb(size_t(width) * height * 3, 0) {}
  uint8_t* At(int x, int y) { return &rgb[(size_t(y) * w + x) * 3]; }
  const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};

// Drawing surface: colour and coverage per pixel. Coverage 0 is "nothing drawn here".
class Canvas {
 public:
  Canvas(int width, int height);
  int w, h;
  std::vector<Color> col;
  std::vector<float> cov;

  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  Color& C(int x, int y) { return col[size_t(y) * w + x]; }
  float& A(int x, int y) { return cov[size_t(y) * w + x]; }

  // Paints colour c with opacity alpha over what is there ("over" compositing).
  void Blend(int x, int y, Color c, float alpha);
  // Adds light: brightens the colour without changing coverage more than needed.
  void AddLight(int x, int y, Color c);
  // Fills everything with an opaque colour.
  void Fill(Color c);

  // Fills the shape sdf(px, py) < 0 (pixel centres at +0.5) with colour paint(px, py) and
  // opacity `alpha`, anti-aliased over one pixel of distance. Only pixels inside the box
  // [x0, x1) x [y0, y1) are visited (the whole canvas when x1 or y1 is negative).
  template <class Sdf, class Paint>
  void Shape(Sdf sdf, Paint paint, float alpha = 1.f, int x0 = 0, int y0 = 0, int x1 = -1,
             int y1 = -1) {
    if (x1 < 0 || x1 > w) x1 = w;
    if (y1 < 0 || y1 > h) y1 = h;
    for (int y = std::max(0, y0); y < y1; ++y)
      for (int x = std::max(0, x0); x < x1; ++x) {
        float px = x + 0.5f, py = y + 0.5f;
        float d = sdf(px, py);
        if (d >= 0.5f) continue;
        float a = Clamp01(0.5f - d) * alpha;
        Blend(x, y, paint(px, py), a);
      }
  }
  // Runs f(x, y, colour&, coverage&) for every pixel (for per-pixel shading passes).
  template <class F>
  void Each(F f) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) f(x, y, C(x, y), A(x, y));
  }
  // Draws another canvas at (dx, dy) with "over" compositing and extra opacity.
  void Paste(const Canvas& src, int dx, int dy, float alpha = 1.f);
};

// Signed distance helpers (negative inside).
inline float SdCircle(float px, float py, float cx, float cy, float r) {
  return std::hypot(px - cx, py - cy) - r;
}
// Box centred at (cx, cy), half sizes hw, hh, corner radius r.
inline float SdRoundBox(float px, float py, float cx, float cy, float hw, float hh, float r) {
  float qx = std::fabs(px - cx) - hw + r, qy = std::fabs(py - cy) - hh + r;
  float ox = std::max(qx, 0.f), oy = std::max(qy, 0.f);
  return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.f) - r;
}
// Capsule (thick segment) from (ax, ay) to (bx, by) of radius r.
float SdSegment(float px, float py, float ax, float ay, float bx, float by, float r);
// Triangle a-b-c.
float SdTriangle(float px, float py, float ax, float ay, float bx, float by, float cx, float cy);

// A single-channel mask the size of a canvas, for glows, shadows and bevels.
struct Mask {
  int w = 0, h = 0;
  std::vector<float> v;
  Mask() = default;
  Mask(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.f) {}
  float& At(int x, int y) { return v[size_t(y) * w + x]; }
  float At(int x, int y) const { return v[size_t(y) * w + x]; }
  // Value with coordinates clamped to the edge.
  float Get(int x, int y) const {
    x = std::clamp(x, 0, w - 1);
    y = std::clamp(y, 0, h - 1);
    return At(x, y);
  }
};
// Box blur of radius r applied three times (close to a Gaussian); wraps around when `wrap`.
Mask Blur(const Mask& m, int r, bool wrap = false);

// Deterministic pseudo-random numbers, so every build draws exactly the same pictures.
class Rng {
 public:
  explicit Rng(uint32_t seed) : s_(seed * 2654435761u + 12345u) {}
  uint32_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  float Uniform() { return (Next() >> 8) * (1.f / 16777216.f); }
  float Range(float a, float b) { return a + (b - a) * Uniform(); }
  int Int(int n) { return int(Next() % uint32_t(n)); }

 private:
  uint32_t s_;
};

// Smooth value noise with period `period` in both directions (tileable), values 0..1.
float TileNoise(float x, float y, int period, uint32_t seed);

// Converts to an 8-bit picture composited over the opaque colour `back`.
Image Flatten(const Canvas& c, Color back);
// Converts to an 8-bit picture whose undrawn pixels hold the colour key (kr, kg, kb). Pixels
// covered less than `threshold` become the key; drawn pixels are nudged so that they never
// turn into the key when the game reduces them to 16 bits (top 5-6-5 bits kept).
Image Keyed(const Canvas& c, uint8_t kr, uint8_t kg, uint8_t kb, float threshold = 0.3f);

}  // namespace gen
