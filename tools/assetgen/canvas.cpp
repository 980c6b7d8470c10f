#include "canvas.h"

namespace gen {

Color Hue(float h) {
  h = h - std::floor(h);
  float r = Clamp01(std::fabs(h * 6 - 3) - 1);
  float g = Clamp01(2 - std::fabs(h * 6 - 2));
  float b = Clamp01(2 - std::fabs(h * 6 - 4));
  return {r, g, b};
}

Canvas::Canvas(int width, int height)
    : w(width), h(height), col(size_t(width) * height), cov(size_t(width) * height, 0.f) {}

void Canvas::Blend(int x, int y, Color c, float alpha) {
  if (!Inside(x, y) || alpha <= 0) return;
  alpha = std::min(alpha, 1.f);
  float& a = A(x, y);
  Color& d = C(x, y);
  // Straight-alpha "over": the result keeps a colour that is meaningful at any coverage.
  float outA = alpha + a * (1 - alpha);
  if (outA <= 0) return;
  d = (c * alpha + d * (a * (1 - alpha))) * (1.f / outA);
  a = outA;
}

void Canvas::AddLight(int x, int y, Color c) {
  if (!Inside(x, y)) return;
  float& a = A(x, y);
  Color& d = C(x, y);
  // Light added where nothing was drawn becomes a faint glow of its own colour.
  float lum = std::max(c.r, std::max(c.g, c.b));
  if (lum <= 0) return;
  float newA = std::min(1.f, a + lum * (1 - a));
  Color sum = d * a + c;
  d = sum * (1.f / std::max(newA, 1e-6f));
  a = newA;
}

void Canvas::Fill(Color c) {
  std::fill(col.begin(), col.end(), c);
  std::fill(cov.begin(), cov.end(), 1.f);
}

void Canvas::Paste(const Canvas& src, int dx, int dy, float alpha) {
  for (int y = 0; y < src.h; ++y)
    for (int x = 0; x < src.w; ++x) {
      float a = src.cov[size_t(y) * src.w + x] * alpha;
      if (a > 0) Blend(x + dx, y + dy, src.col[size_t(y) * src.w + x], a);
    }
}

float SdSegment(float px, float py, float ax, float ay, float bx, float by, float r) {
  float pax = px - ax, pay = py - ay, bax = bx - ax, bay = by - ay;
  float len2 = bax * bax + bay * bay;
  float t = len2 > 0 ? Clamp01((pax * bax + pay * bay) / len2) : 0.f;
  return std::hypot(pax - bax * t, pay - bay * t) - r;
}

float SdTriangle(float px, float py, float ax, float ay, float bx, float by, float cx, float cy) {
  // Distance to the nearest edge, negative when inside all three half-planes.
  auto edge = [&](float x0, float y0, float x1, float y1) {
    return SdSegment(px, py, x0, y0, x1, y1, 0.f);
  };
  float d = std::min(edge(ax, ay, bx, by), std::min(edge(bx, by, cx, cy), edge(cx, cy, ax, ay)));
  auto side = [&](float x0, float y0, float x1, float y1) {
    return (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0);
  };
  float s1 = side(ax, ay, bx, by), s2 = side(bx, by, cx, cy), s3 = side(cx, cy, ax, ay);
  bool inside = (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
  return inside ? -d : d;
}

namespace {

void BoxPass(const std::vector<float>& in, std::vector<float>& out, int w, int h, int r, bool wrap,
             bool horizontal) {
  int n = horizontal ? w : h, lines = horizontal ? h : w;
  float inv = 1.f / float(2 * r + 1);
  for (int l = 0; l < lines; ++l) {
    auto idx = [&](int i) {
      if (wrap)
        i = ((i % n) + n) % n;
      else
        i = std::clamp(i, 0, n - 1);
      return horizontal ? size_t(l) * w + i : size_t(i) * w + l;
    };
    float sum = 0;
    for (int i = -r; i <= r; ++i) sum += in[idx(i)];
    for (int i = 0; i < n; ++i) {
      out[idx(i)] = sum * inv;
      sum += in[idx(i + r + 1)] - in[idx(i - r)];
    }
  }
}

}  // namespace

Mask Blur(const Mask& m, int r, bool wrap) {
  if (r <= 0) return m;
  Mask a = m, b = m;
  for (int k = 0; k < 3; ++k) {
    BoxPass(a.v, b.v, m.w, m.h, r, wrap, true);
    BoxPass(b.v, a.v, m.w, m.h, r, wrap, false);
  }
  return a;
}

namespace {
float Lattice(int x, int y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xFFFFFF) / 16777215.f;
}
}  // namespace

float TileNoise(float x, float y, int period, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = int(fx), iy = int(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto L = [&](int a, int b) {
    return Lattice(((a % period) + period) % period, ((b % period) + period) % period, seed);
  };
  float v0 = L(ix, iy) + (L(ix + 1, iy) - L(ix, iy)) * tx;
  float v1 = L(ix, iy + 1) + (L(ix + 1, iy + 1) - L(ix, iy + 1)) * tx;
  return v0 + (v1 - v0) * ty;
}

namespace {
uint8_t To8(float v) { return uint8_t(std::lround(Clamp01(v) * 255.f)); }
uint16_t To565(int r, int g, int b) {
  return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
}  // namespace

Image Flatten(const Canvas& c, Color back) {
  Image img(c.w, c.h);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      size_t i = size_t(y) * c.w + x;
      Color v = Mix(back, c.col[i], Clamp01(c.cov[i]));
      uint8_t* p = img.At(x, y);
      p[0] = To8(v.r);
      p[1] = To8(v.g);
      p[2] = To8(v.b);
    }
  return img;
}

Image Keyed(const Canvas& c, uint8_t kr, uint8_t kg, uint8_t kb, float threshold) {
  Image img(c.w, c.h);
  uint16_t key565 = To565(kr, kg, kb);
  bool lightKey = kr + kg + kb > 384;
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      size_t i = size_t(y) * c.w + x;
      uint8_t* p = img.At(x, y);
      float a = c.cov[i];
      if (a < threshold) {
        p[0] = kr;
        p[1] = kg;
        p[2] = kb;
        continue;
      }
      // Edge pixels fade towards the key colour's darkness so outlines stay smooth.
      float k = Smooth(threshold, 1.f, a) * 0.5f + 0.5f;
      Color key = Rgb8(kr, kg, kb);
      Color v = Mix(key, c.col[i], k);
      int r = To8(v.r), g = To8(v.g), b = To8(v.b);
      while (To565(r, g, b) == key565 || (r == kr && g == kg && b == kb)) {
        int d = lightKey ? -8 : 8;
        r = std::clamp(r + d, 0, 255);
        g = std::clamp(g + d, 0, 255);
        b = std::clamp(b + d, 0, 255);
      }
      p[0] = uint8_t(r);
      p[1] = uint8_t(g);
      p[2] = uint8_t(b);
    }
  return img;
}

}  // namespace gen
