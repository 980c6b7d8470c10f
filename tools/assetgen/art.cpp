#include "art.h"

#include <cmath>
#include <string>

#include "font.h"

namespace gen {

namespace {

constexpr float kPi = 3.14159265358979f;
const Color kWhite{1, 1, 1};
const Color kField = Rgb8(9, 11, 24);  // the playing field's average colour

// Shades a raised shape: the surface colour comes from `paint`; the rim is lit from the upper
// left over `bevel` pixels, so shapes look pressed out of the screen.
template <class Sdf, class Paint>
void Raised(Canvas& c, Sdf sdf, Paint paint, float bevel, float strength, int x0 = 0, int y0 = 0,
            int x1 = -1, int y1 = -1) {
  c.Shape(
      sdf,
      [&](float px, float py) {
        float d = sdf(px, py);
        float gx = sdf(px + 0.5f, py) - sdf(px - 0.5f, py);
        float gy = sdf(px, py + 0.5f) - sdf(px, py - 0.5f);
        float edge = 1.f - Smooth(0.f, bevel, -d);
        float shade = (gx * -0.6f + gy * -0.8f) * edge;
        Color col = paint(px, py);
        if (shade > 0) return Mix(col, kWhite, std::min(1.f, shade * strength * 0.6f));
        return col * std::max(0.f, 1.f + shade * strength * 0.75f);
      },
      1.f, x0, y0, x1, y1);
}

// Paints a mask onto the canvas in colour paint(x, y).
template <class Paint>
void PaintMask(Canvas& c, const Mask& m, Paint paint, float alpha = 1.f, int dx = 0, int dy = 0) {
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      float a = m.At(x, y) * alpha;
      if (a > 0.003f) c.Blend(x + dx, y + dy, paint(x + dx + 0.5f, y + dy + 0.5f), a);
    }
}

// A mask grown outwards by about r pixels (for outlines and glows).
Mask Grow(const Mask& m, int r, float gain = 3.f) {
  Mask b = Blur(m, r);
  for (float& v : b.v) v = Clamp01(v * gain);
  return b;
}

// Thickens the strokes of a mask by about r pixels and keeps the edges soft.
Mask Bolden(const Mask& m, int r) {
  Mask b = Blur(m, r);
  for (float& v : b.v) v = Smooth(0.12f, 0.45f, v);
  return b;
}

// Lights a mask like an embossed shape: bright towards the upper left, dark to the lower right.
template <class Paint>
void EmbossMask(Canvas& c, const Mask& m, int soft, Paint paint, float strength) {
  Mask h = Blur(m, soft);
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      float a = m.At(x, y);
      if (a <= 0.003f) continue;
      float gx = h.Get(x + 1, y) - h.Get(x - 1, y), gy = h.Get(x, y + 1) - h.Get(x, y - 1);
      // Slopes that rise towards the lower right face the light at the upper left.
      float shade = (gx * 0.6f + gy * 0.8f) * strength;
      Color col = paint(x + 0.5f, y + 0.5f);
      col = shade > 0 ? Mix(col, kWhite, std::min(0.7f, shade)) : col * std::max(0.35f, 1 + shade);
      c.Blend(x, y, col, a);
    }
}

// A shaded sphere of radius r centred at (cx, cy).
void Sphere(Canvas& c, float cx, float cy, float r, Color base, float glow = 0.f) {
  c.Shape([=](float px, float py) { return SdCircle(px, py, cx, cy, r); },
          [=](float px, float py) {
            float nx = (px - cx) / r, ny = (py - cy) / r;
            float nz = std::sqrt(std::max(0.f, 1 - nx * nx - ny * ny));
            float lx = -0.45f, ly = -0.6f, lz = 0.66f;
            float diff = std::max(0.f, nx * lx + ny * ly + nz * lz);
            // Reflection of the light for the specular spot.
            float rz = 2 * diff * nz - lz;
            float shine = std::pow(std::max(0.f, rz), 24.f);
            float rim = std::pow(1 - nz, 3.f);
            Color col = base * (0.22f + 0.85f * diff) + kWhite * (shine * 0.9f);
            col = col + base * (rim * (0.35f + glow));
            return col;
          });
}

// Draws a small pixel icon given as rows of characters: '#' in `ink`, 'o' in `dark`,
// '+' in white; other characters are empty. A one-pixel shadow goes below and right.
void Icon(Canvas& c, int x, int y, std::initializer_list<const char*> rows, Color ink,
          Color dark = Rgb8(30, 20, 30), bool shadow = true) {
  int yy = y;
  if (shadow)
    for (const char* r : rows) {
      for (int i = 0; r[i]; ++i)
        if (r[i] != '.' && r[i] != ' ') c.Blend(x + i + 1, yy + 1, Rgb8(10, 5, 15), 0.6f);
      ++yy;
    }
  yy = y;
  for (const char* r : rows) {
    for (int i = 0; r[i]; ++i) {
      if (r[i] == '#') c.Blend(x + i, yy, ink, 1.f);
      if (r[i] == 'o') c.Blend(x + i, yy, dark, 1.f);
      if (r[i] == '+') c.Blend(x + i, yy, kWhite, 1.f);
    }
    ++yy;
  }
}

// Text in the 5 x 7 font at 1:1 with a shadow, horizontally centred on cx.
void SmallText(Canvas& c, const char* text, float cx, int y, Color ink, Color shadow) {
  Mask m(c.w, c.h);
  int w = TextWidth(text, 1, 1);
  DrawText(m, text, int(std::lround(cx - w / 2.f)), y, 1, 1, false);
  PaintMask(
      c, m, [&](float, float) { return shadow; }, 0.75f, 1, 1);
  PaintMask(c, m, [&](float, float) { return ink; });
}

// Text that reads like a printed caption: shaded letters with a dark outline.
template <class Paint>
void FancyText(Canvas& c, const char* text, int x, int y, int scale, int spacing, Paint fill,
               Color outline, int outlineR, float relief = 2.5f) {
  Mask m(c.w, c.h);
  DrawText(m, text, x, y, scale, spacing, true);
  if (scale >= 4) m = Bolden(m, scale / 4);
  PaintMask(c, Grow(m, outlineR), [&](float, float) { return outline; });
  EmbossMask(c, m, std::max(1, scale / 2), fill, relief);
}

// ---------------------------------------------------------------------------------------------
// Bricks

float BrickSdf(float px, float py, float r) {
  return SdRoundBox(px, py, kBrickW / 2.f, kBrickH / 2.f, kBrickW / 2.f - 0.5f,
                    kBrickH / 2.f - 0.5f, r);
}

// A glint: a soft diagonal band of light centred where x + 0.6 y = pos.
float Glint(float px, float py, float pos, float width) {
  float d = (px + 0.6f * py - pos) / width;
  return std::exp(-d * d);
}

// A four-pointed sparkle centred at (cx, cy) with arm length r.
void Sparkle(Canvas& c, float cx, float cy, float r, Color col, float alpha) {
  for (int y = int(cy - r - 1); y <= int(cy + r + 1); ++y)
    for (int x = int(cx - r - 1); x <= int(cx + r + 1); ++x) {
      float dx = std::fabs(x + 0.5f - cx), dy = std::fabs(y + 0.5f - cy);
      float arms = std::max(std::exp(-dy * dy / 0.3f) * Clamp01(1 - dx / r),
                            std::exp(-dx * dx / 0.3f) * Clamp01(1 - dy / r));
      float core = std::exp(-(dx * dx + dy * dy) / (0.08f * r * r + 0.6f));
      float v = std::min(1.f, arms + core);
      if (v > 0.02f) c.Blend(x, y, col, v * alpha);
    }
}

Canvas BrickCanvas(int type, int frame) {
  Canvas c(kBrickW, kBrickH);
  const float t = float(frame - 1) / 2.f;  // 0, 0.5, 1 across the three pictures
  switch (type) {
    case 1: {  // plain: a glossy blue tile
      c.Fill(Rgb8(10, 16, 48));
      Color base = Rgb8(40, 96, 230);
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 2.5f); },
          [&](float, float y) { return Mix(base * 1.15f, base * 0.7f, y / kBrickH); }, 3.f, 1.f);
      c.Shape([](float x, float y) { return SdRoundBox(x, y, 25, 6, 20, 3, 3); },
              [](float, float) { return kWhite; }, 0.18f);
      break;
    }
    case 2: {  // teal glass with a glint that sweeps to and fro
      Color base = Rgb8(20, 190, 200);
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 4.f); },
          [&](float x, float y) {
            float centre = 1 - std::fabs(y - 10) / 10;
            Color col = Mix(base * 1.1f, base * 0.45f, centre * 0.6f);
            return Mix(col, kWhite, 0.75f * Glint(x, y, 6 + 34 * t, 3.5f));
          },
          3.f, 1.2f);
      Sparkle(c, 8 + 34 * t, 5, 3.5f, kWhite, 0.9f);
      break;
    }
    case 3: {  // explosive: hazard stripes, a bomb and a fuse spark that flares
      c.Fill(Rgb8(40, 6, 4));
      Color base = Rgb8(190, 35, 15);
      float pulse = 0.15f + 1.1f * t;
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 2.f); },
          [&](float x, float y) {
            float ends = std::min(x, kBrickW - x);
            if (ends < 10.f && y > 2.5f && y < 17.5f) {
              float stripe = std::fmod(x + y + 100.f, 8.f) < 4.f ? 1.f : 0.f;
              return Mix(Rgb8(25, 20, 20), Rgb8(250, 200, 20), stripe);
            }
            float glow = Clamp01(std::exp(-std::hypot(x - 25, y - 10) / 10.f) * pulse);
            return Mix(base * (0.75f + 0.25f * t), Rgb8(255, 170, 40), glow);
          },
          2.5f, 1.1f);
      Sphere(c, 24.f, 11.5f, 5.f, Rgb8(60, 60, 75));
      c.Shape([](float x, float y) { return SdSegment(x, y, 27, 7.5f, 30, 4.5f, 0.8f); },
              [](float, float) { return Rgb8(200, 170, 120); });
      Sparkle(c, 30.5f, 4.f, 2.5f + 3.5f * t, Rgb8(255, 240, 120), 0.8f + 0.2f * t);
      break;
    }
    case 4:
    case 5: {  // armoured steel; type 4 is the same plate dented and cracked
      bool cracked = type == 4;
      c.Fill(Rgb8(20, 22, 26));
      Color base = cracked ? Rgb8(130, 118, 108) : Rgb8(160, 168, 182);
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 2.f); },
          [&](float x, float y) {
            float brushed = TileNoise(x * 0.35f, y * 3.f, 64, 5) - 0.5f;
            Color col = Mix(base * 1.15f, base * 0.75f, y / kBrickH);
            return col * (1.f + 0.18f * brushed);
          },
          4.f, 1.3f);
      // The engraved inner plate.
      c.Shape([](float x,
                 float y) { return std::fabs(SdRoundBox(x, y, 25, 10, 15, 4.5f, 1.5f)) - 0.45f; },
              [&](float, float y) { return y < 10 ? base * 0.45f : base * 1.25f; }, 0.8f);
      const float rivets[4][2] = {{5.f, 5.f}, {45.f, 5.f}, {5.f, 15.f}, {45.f, 15.f}};
      for (int i = 0; i < 4; ++i) {
        if (cracked && i == 3) continue;  // a rivet has sprung off the damaged plate
        Sphere(c, rivets[i][0], rivets[i][1], 1.8f, base * 0.9f);
      }
      if (cracked) {
        const float crack[][2] = {{14, 0}, {17, 5}, {15, 9}, {20, 12}, {19, 16}, {23, 20}};
        const float branch[][2] = {{20, 12}, {27, 10}, {31, 13}, {38, 11}, {44, 14}};
        const float spur[][2] = {{31, 13}, {33, 18}};
        auto line = [&](const float(*pts)[2], int n, float width) {
          for (int i = 0; i + 1 < n; ++i) {
            float ax = pts[i][0], ay = pts[i][1], bx = pts[i + 1][0], by = pts[i + 1][1];
            c.Shape(
                [=](float x, float y) {
                  return SdSegment(x, y, ax + 0.7f, ay + 0.7f, bx + 0.7f, by + 0.7f, width * 0.7f);
                },
                [&](float, float) { return base * 1.5f; }, 0.6f);
            c.Shape([=](float x, float y) { return SdSegment(x, y, ax, ay, bx, by, width); },
                    [](float, float) { return Rgb8(15, 12, 10); });
          }
        };
        line(crack, 6, 0.75f);
        line(branch, 5, 0.6f);
        line(spur, 2, 0.45f);
      }
      break;
    }
    case 6: {  // emerald: a cut gem with a sparkle wandering across it
      Color base = Rgb8(25, 185, 80);
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 3.f); },
          [&](float x, float y) {
            // Facets: a flat table in the middle, four slopes around it.
            float dx = std::max(0.f, std::fabs(x - 25) - 15),
                  dy = std::max(0.f, std::fabs(y - 10) - 4);
            float k;
            if (dx == 0 && dy == 0)
              k = 1.05f;
            else if (dy * 2.5f > dx)
              k = y < 10 ? 1.35f : 0.6f;
            else
              k = x < 25 ? 1.15f : 0.75f;
            return Mix(base * k, Rgb8(220, 255, 230), 0.55f * Glint(x, y, 8 + 36 * t, 2.5f));
          },
          2.f, 1.f);
      float sx = 9 + 32 * t;
      Sparkle(c, sx, 6 + 3 * t, 4.f, kWhite, 0.95f);
      Sparkle(c, 45 - sx * 0.6f, 14, 2.f, Rgb8(200, 255, 210), 0.6f);
      break;
    }
    case 7: {  // gold ingot with a sweeping shine
      Color base = Rgb8(235, 175, 40);
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 3.5f); },
          [&](float x, float y) {
            float ramp = 0.75f + 0.5f * std::cos((y - 5) / kBrickH * kPi * 1.1f);
            Color col = base * ramp;
            return Mix(col, Rgb8(255, 250, 210), 0.8f * Glint(x, y, 4 + 40 * t, 3.f));
          },
          3.f, 1.1f);
      c.Shape([](float x, float y) { return std::fabs(SdRoundBox(x, y, 25, 10, 17, 5, 2)) - 0.4f; },
              [&](float, float y) { return y < 10 ? base * 0.55f : Rgb8(255, 235, 150); }, 0.7f);
      break;
    }
    case 8: {  // violet crystal with a glowing core that breathes
      Color base = Rgb8(150, 50, 220);
      float glow = 0.25f + 0.6f * t;
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 4.f); },
          [&](float x, float y) {
            float swirl = TileNoise(x * 0.25f + 3 * t, y * 0.35f, 64, 9);
            float core = std::exp(-std::pow(std::hypot((x - 25) / 2.2f, y - 10) / 7.f, 2.f));
            Color col = base * (0.65f + 0.5f * swirl);
            return Mix(col, Rgb8(255, 170, 255), core * glow);
          },
          3.f, 1.1f);
      Sparkle(c, 25, 10, 3.f + 3.f * t, Rgb8(255, 220, 255), 0.5f + 0.4f * t);
      break;
    }
    case 9: {  // prism: a rainbow whose colours drift
      Raised(
          c, [](float x, float y) { return BrickSdf(x, y, 3.f); },
          [&](float x, float y) {
            Color col = Hue(x / kBrickW * 0.85f + y * 0.01f + t * 0.18f);
            col = Mix(col, kWhite, 0.25f) * (1.05f - 0.35f * y / kBrickH);
            return Mix(col, kWhite, 0.6f * Glint(x, y, 44 - 36 * t, 2.5f));
          },
          3.f, 1.1f);
      c.Shape([](float x, float y) { return SdRoundBox(x, y, 25, 5, 21, 2.5f, 2.5f); },
              [](float, float) { return kWhite; }, 0.25f);
      break;
    }
    default:
      break;
  }
  return c;
}

// ---------------------------------------------------------------------------------------------
// Balls, paddles, gun

Color BallColour(int kind) {
  switch (kind) {
    case 2:
      return Rgb8(255, 120, 20);
    case 3:
      return Rgb8(60, 230, 80);
    case 4:
      return Rgb8(210, 70, 255);
    default:
      return Rgb8(185, 200, 230);
  }
}

Canvas PaddleCanvas(int size) {
  int w = PaddleWidth(size);
  Canvas c(w, kPaddleH);
  float r = kPaddleH / 2.f - 0.5f;
  float cap = size == 1 ? 9.f : 11.f;
  auto body = [=](float x, float y) {
    return SdRoundBox(x, y, w / 2.f, kPaddleH / 2.f, w / 2.f - 0.5f, r, r);
  };
  // A metal cylinder seen from the side: a bright line high up, dark below.
  auto profile = [](float y) {
    float v = (y - 1) / (kPaddleH - 2);
    return 0.45f + 0.75f * std::exp(-std::pow((v - 0.3f) / 0.22f, 2.f)) + 0.1f * (1 - v);
  };
  c.Shape(body, [&](float x, float y) {
    bool isCap = x < cap || x > w - cap;
    Color base = isCap ? Rgb8(220, 40, 40) : Rgb8(170, 178, 195);
    Color col = base * profile(y);
    // Grooves where the caps meet the body.
    float groove = std::min(std::fabs(x - cap), std::fabs(x - (w - cap)));
    if (groove < 1.f) col = col * (0.35f + 0.65f * groove);
    return col;
  });
  // The energy strip along the middle.
  float x0 = cap + 4, x1 = w - cap - 4;
  if (x1 > x0) {
    c.Shape([=](float x,
                float y) { return SdSegment(x, y, x0, kPaddleH / 2.f, x1, kPaddleH / 2.f, 1.1f); },
            [](float, float) { return Rgb8(120, 245, 255); }, 0.95f);
    for (int y = 0; y < kPaddleH; ++y)
      for (int x = int(x0) - 2; x < int(x1) + 2; ++x) {
        float d = std::fabs(y + 0.5f - kPaddleH / 2.f);
        if (c.A(x, y) > 0.5f && d < 3.5f) c.Blend(x, y, Rgb8(80, 220, 255), 0.25f * (1 - d / 3.5f));
      }
  }
  return c;
}

// ---------------------------------------------------------------------------------------------
// Glow captions (drawn additively by the menu)

Image KeyedGlow(const Canvas& c, uint8_t k) {
  Image img(c.w, c.h);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      size_t i = size_t(y) * c.w + x;
      Color v = c.col[i] * Clamp01(c.cov[i]);
      int r = int(std::lround(Clamp01(v.r) * 255)), g = int(std::lround(Clamp01(v.g) * 255)),
          b = int(std::lround(Clamp01(v.b) * 255));
      // Anything the game would reduce to black is left as the key, so it adds nothing.
      bool dark = (r >> 3) == 0 && (g >> 2) == 0 && (b >> 3) == 0;
      uint8_t* p = img.At(x, y);
      p[0] = dark ? k : uint8_t(r);
      p[1] = dark ? k : uint8_t(g);
      p[2] = dark ? k : uint8_t(b);
    }
  return img;
}

Image GlowCaption(int w, int h, const char* text, int spacing, Color core, Color halo,
                  uint8_t key) {
  Canvas c(w, h);
  Mask m(w, h);
  int tw = TextWidth(text, 2, spacing);
  DrawText(m, text, (w - tw) / 2, (h - TextHeight(2)) / 2, 2, spacing, true);
  Mask glow = Blur(m, 3);
  PaintMask(
      c, glow, [&](float, float) { return halo; }, 1.6f);
  PaintMask(c, m,
            [&](float, float y) { return Mix(kWhite, core, Clamp01((y - h / 2.f + 6) / 10)); });
  return KeyedGlow(c, key);
}

// ---------------------------------------------------------------------------------------------
// Backdrops

// A soft, slowly varying cloud value 0..1 (three octaves of noise).
float Cloud(float x, float y, uint32_t seed) {
  return 0.55f * TileNoise(x / 180.f, y / 180.f, 64, seed) +
         0.3f * TileNoise(x / 70.f, y / 70.f, 64, seed + 1) +
         0.15f * TileNoise(x / 28.f, y / 28.f, 64, seed + 2);
}

void Stars(Canvas& c, int count, uint32_t seed, float brightness) {
  Rng rng(seed);
  for (int i = 0; i < count; ++i) {
    float x = rng.Range(0, float(c.w)), y = rng.Range(0, float(c.h));
    float b = std::pow(rng.Uniform(), 3.f) * brightness;
    Color col = Mix(Rgb8(170, 190, 255), Rgb8(255, 230, 200), rng.Uniform());
    if (b > 0.55f * brightness)
      Sparkle(c, x, y, 2.f + 3.f * b, col, b);
    else
      c.Blend(int(x), int(y), col, 0.25f + b);
  }
}

void Vignette(Canvas& c, float strength) {
  c.Each([&](int x, int y, Color& col, float&) {
    float dx = (x + 0.5f) / c.w - 0.5f, dy = (y + 0.5f) / c.h - 0.5f;
    col = col * (1.f - strength * Clamp01((dx * dx + dy * dy) * 2.f));
  });
}

// A glowing frame just inside the picture's edge.
void Frame(Canvas& c, Color col, float inset) {
  float w = float(c.w), h = float(c.h);
  auto sdf = [=](float x, float y) {
    return std::fabs(SdRoundBox(x, y, w / 2, h / 2, w / 2 - inset, h / 2 - inset, 4.f)) - 0.6f;
  };
  c.Shape(sdf, [=](float, float) { return col; });
  auto halo = [=](float x, float y) {
    return std::fabs(SdRoundBox(x, y, w / 2, h / 2, w / 2 - inset, h / 2 - inset, 4.f)) - 2.5f;
  };
  c.Shape(
      halo, [=](float, float) { return col; }, 0.18f);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Image Ball(int kind) {
  Canvas c(kBallSize, kBallSize);
  Color base = BallColour(kind);
  if (kind == 4) {
    // The piercing ball burns: a hot core inside a violet corona.
    c.Shape([](float x, float y) { return SdCircle(x, y, 10, 10, 9.6f); },
            [](float x, float y) {
              float d = std::hypot(x - 10, y - 10) / 9.6f;
              return Mix(Rgb8(255, 230, 255), Rgb8(120, 20, 200), Smooth(0.2f, 1.f, d));
            });
    Sphere(c, 10.f, 10.f, 7.f, base, 0.6f);
  } else {
    Sphere(c, 10.f, 10.f, 9.2f, base);
  }
  return Keyed(c, 0, 0, 0);
}

Image Bonus(int kind) {
  Canvas c(kBonusW, kBonusH);
  c.Fill(kField);
  static const Color pill[13] = {
      {},
      Rgb8(150, 15, 25),    // 1 lose a life
      Rgb8(235, 110, 15),   // 2 smaller paddle
      Rgb8(35, 110, 235),   // 3 larger paddle
      Rgb8(20, 160, 150),   // 4 slow
      Rgb8(230, 70, 140),   // 5 extra life
      Rgb8(135, 50, 225),   // 6 piercing ball
      Rgb8(175, 180, 195),  // 7 green ball
      Rgb8(235, 200, 25),   // 8 fast
      Rgb8(175, 180, 195),  // 9 orange ball
      Rgb8(25, 140, 215),   // 10 extra ball
      Rgb8(85, 92, 110),    // 11 gun
      Rgb8(40, 180, 60),    // 12 skip the level
  };
  Color base = pill[kind];
  // A capsule lit like a cylinder, with a thin highlight along its top.
  c.Shape([](float x, float y) { return SdRoundBox(x, y, 20, 10, 19.5f, 9.5f, 9.5f); },
          [&](float x, float y) {
            float v = (y - 0.5f) / 19.f;
            float k = 0.5f + 0.8f * std::exp(-std::pow((v - 0.32f) / 0.3f, 2.f));
            Color col = base * k;
            float hl =
                std::exp(-std::pow((y - 4.f) / 1.2f, 2.f)) * Smooth(4, 9, std::min(x, 40 - x));
            return Mix(col, kWhite, 0.45f * hl);
          });
  c.Shape([](float x,
             float y) { return std::fabs(SdRoundBox(x, y, 20, 10, 19.5f, 9.5f, 9.5f)) - 0.5f; },
          [&](float, float) { return base * 0.35f; }, 0.8f);
  const Color ink = kWhite, dark = Rgb8(25, 15, 25);
  switch (kind) {
    case 1:
      Icon(c, 15, 3,
           {"..#####..", ".#######.", "#########", "##oo#oo##", "##oo#oo##", ".###o###.",
            "..#####..", "..#.#.#..", "..#####.."},
           ink, dark);
      break;
    case 2:
      Icon(c, 10, 6,
           {"#.......##.......#", "##......##......##", "###.....##.....###", "####+++.##.+++####",
            "###.....##.....###", "##......##......##", "#.......##.......#"},
           ink);
      break;
    case 3:
      Icon(c, 11, 6,
           {"...#..........#...", "..##..........##..", ".###..........###.", "####++++++++++####",
            ".###..........###.", "..##..........##..", "...#..........#..."},
           ink);
      break;
    case 4:
      SmallText(c, "SLOW", 20, 6, ink, dark);
      break;
    case 5:
      Icon(c, 10, 6, {".##.##.", "#######", "#######", ".#####.", "..###..", "...#..."},
           Rgb8(255, 235, 240));
      SmallText(c, "+1", 26, 6, ink, dark);
      break;
    case 6:
      Icon(c, 10, 4,
           {"........oo........", "........oo.....#..", "........oo.....##.", "########oo########",
            "########oo########", "........oo.....##.", "........oo.....#..", "........oo........",
            "........oo........"},
           ink, Rgb8(255, 210, 90));
      break;
    case 7:
    case 9: {
      Sphere(c, 20, 10, 5.5f, BallColour(kind == 7 ? 3 : 2));
      break;
    }
    case 8:
      SmallText(c, "FAST", 20, 6, Rgb8(60, 20, 0), Rgb8(255, 250, 200));
      break;
    case 10:
      Sphere(c, 16, 11, 4.5f, BallColour(1));
      Sphere(c, 24, 9, 4.5f, BallColour(1));
      break;
    case 11:
      SmallText(c, "GUN", 20, 6, Rgb8(255, 90, 70), dark);
      break;
    case 12:
      Icon(c, 12, 6,
           {"#...#...##", "##..##..##", "###.###.##", "########.##", "###.###.##", "##..##..##",
            "#...#...##"},
           ink);
      break;
    default:
      break;
  }
  return Flatten(c, kField);
}

Image GunBarrel() {
  Canvas c(20, 12);
  Raised(
      c, [](float x, float y) { return SdRoundBox(x, y, 10, 9.f, 5.5f, 3.f, 1.5f); },
      [](float, float y) { return Rgb8(120, 125, 140) * (1.2f - y / 14.f); }, 2.f, 1.f);
  Raised(
      c, [](float x, float y) { return SdRoundBox(x, y, 10, 5.f, 2.5f, 5.f, 1.2f); },
      [](float x, float) {
        float v = std::fabs(x - 9.5f) / 2.5f;
        return Rgb8(200, 205, 220) * (1.1f - 0.6f * v);
      },
      1.f, 1.f);
  c.Shape([](float x, float y) { return SdRoundBox(x, y, 10, 2.f, 2.7f, 1.f, 0.5f); },
          [](float, float) { return Rgb8(230, 50, 40); });
  return Keyed(c, 0, 0, 0);
}

Image Bullet() {
  Canvas c(20, 12);
  c.Shape([](float x, float y) { return SdSegment(x, y, 10, 2.f, 10, 10.5f, 2.2f); },
          [](float, float y) { return Mix(Rgb8(255, 230, 90), Rgb8(255, 90, 20), y / 12.f); });
  c.Shape([](float x, float y) { return SdSegment(x, y, 10, 2.f, 10, 7.f, 0.9f); },
          [](float, float) { return kWhite; });
  return Keyed(c, 0, 0, 0);
}

Image Digit(int d) {
  Canvas c(kDigitW, kDigitH);
  char text[2] = {char('0' + d), 0};
  FancyText(
      c, text, 3, 2, 3, 0,
      [](float, float y) {
        return Mix(Rgb8(255, 250, 200), Rgb8(255, 150, 30), Clamp01((y - 3) / 20.f));
      },
      Rgb8(90, 30, 5), 1, 0.8f);
  return Keyed(c, 0, 0, 0, 0.25f);
}

Image Paddle(int size) { return Keyed(PaddleCanvas(size), 0, 0, 0); }

bool BrickKeyed(int type) { return type == 2 || type >= 6; }

Image Brick(int type, int frame) {
  Canvas c = BrickCanvas(type, frame);
  // The opaque types are drawn edge to edge; the keyed types keep black (transparent) corners.
  return BrickKeyed(type) ? Keyed(c, 0, 0, 0) : Flatten(c, Rgb8(0, 0, 0));
}

Image FieldTile() {
  Canvas c(kTileSize, kTileSize);
  c.Each([](int x, int y, Color& col, float& a) {
    float px = x + 0.5f, py = y + 0.5f;
    // A diamond lattice (period 32 along both diagonals, so the tile repeats seamlessly).
    float u = std::fmod(px + py, 32.f), v = std::fmod(px - py + 64.f, 32.f);
    float du = std::min(u, 32.f - u), dv = std::min(v, 32.f - v);
    float line = std::exp(-du * du / 0.8f) + std::exp(-dv * dv / 0.8f);
    float node = std::exp(-(du * du + dv * dv) / 6.f);
    float n = TileNoise(px / 8.f, py / 8.f, 8, 21) - 0.5f;
    Color base = Rgb8(8, 10, 24) * (1.f + 0.25f * n);
    col = base + Rgb8(16, 22, 46) * (0.55f * line) + Rgb8(40, 60, 110) * (0.35f * node);
    a = 1.f;
  });
  return Flatten(c, kField);
}

Image MenuTitle() {
  Canvas c(300, 57);
  const char* title = "KobalTix";
  int tw = TextWidth(title, 6, 5);
  Mask m(300, 57);
  DrawText(m, title, (300 - tw) / 2, (57 - TextHeight(6)) / 2, 6, 5, true);
  m = Bolden(m, 1);
  PaintMask(c, Grow(m, 2, 4.f), [](float, float) { return Rgb8(50, 10, 70); });
  EmbossMask(
      c, m, 3,
      [](float x, float y) {
        float v = Clamp01((y - 7) / 42.f);
        Color col = v < 0.5f ? Mix(Rgb8(255, 250, 190), Rgb8(255, 170, 30), v * 2)
                             : Mix(Rgb8(255, 170, 30), Rgb8(220, 50, 30), (v - 0.5f) * 2);
        // A faint diagonal sheen.
        return Mix(col, kWhite, 0.35f * Glint(x, y, 90, 14));
      },
      3.f);
  Sparkle(c, 57, 13, 7, kWhite, 0.95f);
  Sparkle(c, 238, 40, 5, kWhite, 0.85f);
  return Keyed(c, 0, 0, 0, 0.3f);
}

Image MenuCaption2() {
  return GlowCaption(135, 30, "PRESS ENTER", 2, Rgb8(60, 200, 255), Rgb8(20, 80, 160), 0);
}

Image MenuCaption3() {
  return GlowCaption(160, 33, "BREAK THEM ALL", 1, Rgb8(255, 150, 30), Rgb8(170, 50, 10), 1);
}

Image MenuBackdrop() {
  const int W = 800, H = 600;
  Canvas c(W, H);
  // Deep space: a vertical gradient with violet and teal clouds.
  c.Each([](int x, int y, Color& col, float& a) {
    float v = y / float(H);
    Color sky = Mix(Rgb8(22, 12, 52), Rgb8(5, 5, 16), Smooth(0.f, 0.85f, v));
    float cl1 = Cloud(float(x), float(y), 31), cl2 = Cloud(x + 400.f, y * 1.3f, 57);
    sky = sky + Rgb8(70, 20, 90) * (0.45f * Smooth(0.45f, 0.85f, cl1));
    sky = sky + Rgb8(0, 54, 59) * (0.6f * Smooth(0.5f, 0.9f, cl2));
    col = sky;
    a = 1.f;
  });
  Stars(c, 420, 99, 1.f);

  // A glowing grid floor that runs to the horizon.
  const float horizon = 468.f, vx = 400.f;
  c.Each([&](int x, int y, Color& col, float&) {
    float py = y + 0.5f, px = x + 0.5f;
    if (py < horizon) return;
    float depth = (py - horizon) / (H - horizon);  // 0 at the horizon, 1 at the bottom
    float z = 1.f / std::max(depth, 0.02f);        // distance into the scene
    float fz = std::fmod(z * 2.f, 1.f);
    float across = (px - vx) / std::max(depth, 0.02f) / 60.f;
    float fa = std::fabs(across - std::round(across));
    float lineW = 0.04f + 0.03f * depth;
    float glow = std::max(Smooth(lineW * 2.5f, 0.f, fa) * std::min(1.f, depth * 3.f),
                          Smooth(0.12f * z, 0.f, std::min(fz, 1 - fz)));
    float fade = Smooth(0.f, 0.15f, depth) * (1.f - 0.55f * Smooth(0.55f, 0.9f, depth));
    col = col * 0.8f + Rgb8(200, 40, 180) * (0.33f * glow * fade);
  });
  c.Shape([&](float, float y) { return std::fabs(y - horizon) - 0.7f; },
          [](float, float) { return Rgb8(120, 230, 255); }, 0.7f, 0, int(horizon) - 3, W,
          int(horizon) + 3);
  c.Each([&](int, int y, Color& col, float&) {
    float d = std::fabs(y + 0.5f - horizon);
    col = col + Rgb8(40, 110, 160) * (0.35f * std::exp(-d / 6.f));
  });

  // A wall of bricks up at the left, with a few already knocked out.
  const char* wall[3] = {"9.99999.9", "7777.7777", "66.2222.6"};
  for (int r = 0; r < 3; ++r)
    for (int k = 0; wall[r][k]; ++k) {
      if (wall[r][k] == '.') continue;
      int type = wall[r][k] - '0';
      c.Paste(BrickCanvas(type, 1 + (k + r) % 3), 28 + k * 50, 32 + r * 20, 0.92f);
    }
  // Falling pieces of a broken brick.
  Rng rng(5);
  for (int i = 0; i < 10; ++i) {
    float x = 180 + rng.Range(-20, 30), y = 100 + rng.Range(0, 40);
    float s = rng.Range(1.f, 3.f);
    c.Shape([=](float px, float py) { return SdRoundBox(px, py, x, y, s, s * 0.7f, 0.5f); },
            [](float, float) { return Rgb8(230, 175, 60); }, 0.8f, int(x) - 5, int(y) - 5,
            int(x) + 6, int(y) + 6);
  }

  // Down at the right, a paddle sends a ball flying with a glowing trail.
  Canvas pad = PaddleCanvas(3);
  c.Paste(pad, 612, 498);
  const float bx = 702, by = 312;
  for (int i = 0; i < 140; ++i) {
    float t = i / 139.f;  // from the paddle (0) to the ball (1)
    float x = 672 + (bx - 672) * t + 20 * std::sin(t * kPi), y = 492 + (by - 492) * t;
    float r = 1.f + 5.f * t;
    c.Shape([=](float px, float py) { return SdCircle(px, py, x, y, r); },
            [](float, float) { return Rgb8(90, 200, 255); }, 0.05f + 0.1f * t, int(x - r - 2),
            int(y - r - 2), int(x + r + 3), int(y + r + 3));
  }
  c.Shape([=](float px, float py) { return SdCircle(px, py, bx, by, 20.f); },
          [=](float px, float py) {
            return Rgb8(80, 190, 255) * std::exp(-std::hypot(px - bx, py - by) / 8.f);
          },
          0.6f, int(bx) - 22, int(by) - 22, int(bx) + 23, int(by) + 23);
  Sphere(c, bx, by, 9.5f, BallColour(1));

  // The record table's panel, upper right.
  auto panel = [](float x, float y) { return SdRoundBox(x, y, 657, 124, 132, 82, 10); };
  c.Shape(
      panel, [](float, float y) { return Mix(Rgb8(6, 10, 26), Rgb8(3, 4, 12), (y - 42) / 164); },
      0.88f, 515, 32, 800, 216);
  c.Shape([&](float x, float y) { return std::fabs(panel(x, y)) - 1.f; },
          [](float, float y) { return Mix(Rgb8(40, 200, 210), Rgb8(0, 54, 59), (y - 42) / 164); },
          1.f, 515, 32, 800, 216);
  c.Shape([&](float x, float y) { return std::fabs(panel(x, y)) - 4.f; },
          [](float, float) { return Rgb8(40, 200, 210); }, 0.12f, 515, 32, 800, 216);

  // A calm dark band under the start prompt along the bottom.
  c.Each([](int, int y, Color& col, float&) {
    float k = Smooth(520.f, 548.f, float(y)) * (1.f - Smooth(590.f, 600.f, float(y)));
    col = col * (1.f - 0.6f * k);
  });
  Vignette(c, 0.45f);

  Mask ver(W, H);
  DrawText(ver, "v. 1.3", 748, 586, 1, 1, false);
  PaintMask(c, ver, [](float, float) { return Rgb8(110, 120, 150); });
  return Flatten(c, {});
}

Image LoadingPicture() {
  const int W = 320, H = 150;
  Canvas c(W, H);
  c.Each([](int x, int y, Color& col, float& a) {
    Color top = Rgb8(30, 16, 64), bottom = Rgb8(6, 6, 20);
    col = Mix(top, bottom, y / float(H)) +
          Rgb8(0, 54, 59) * (0.5f * Smooth(0.5f, 0.9f, Cloud(x * 2.f, y * 2.f, 3)));
    a = 1.f;
  });
  Stars(c, 60, 17, 0.8f);
  FancyText(
      c, "KobalTix", (W - TextWidth("KobalTix", 4, 4)) / 2, 12, 4, 4,
      [](float, float y) {
        float v = Clamp01((y - 12) / 28.f);
        return v < 0.5f ? Mix(Rgb8(255, 250, 190), Rgb8(255, 170, 30), v * 2)
                        : Mix(Rgb8(255, 170, 30), Rgb8(220, 50, 30), (v - 0.5f) * 2);
      },
      Rgb8(50, 10, 70), 2);
  const char* loading = "ЗАГРУЗКА...";
  Mask m(W, H);
  DrawText(m, loading, (W - TextWidth(loading, 2, 2)) / 2, 60, 2, 2, true);
  PaintMask(
      c, Blur(m, 2), [](float, float) { return Rgb8(40, 150, 220); }, 1.2f);
  PaintMask(c, m, [](float, float) { return Rgb8(210, 245, 255); });
  // A sunken groove around the progress bar at (20, 91), 279 x 28.
  c.Shape([](float x, float y) { return SdRoundBox(x, y, 159.5f, 105, 144, 18, 4); },
          [](float, float y) { return y < 105 ? Rgb8(4, 4, 12) : Rgb8(90, 80, 140); });
  c.Shape([](float x, float y) { return SdRoundBox(x, y, 159.5f, 105, 142, 16, 3); },
          [](float, float) { return Rgb8(12, 10, 30); });
  // A row of little bricks along the bottom.
  const int types[9] = {1, 2, 6, 7, 3, 8, 9, 5, 2};
  for (int k = 0; k < 9; ++k) {
    Canvas b = BrickCanvas(types[k], 2);
    // Shrink a brick to 25 x 10 by averaging 2 x 2 blocks.
    Canvas s(25, 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 25; ++x) {
        Color sum{};
        float a = 0;
        for (int j = 0; j < 4; ++j) {
          int sx = 2 * x + (j & 1), sy = 2 * y + (j >> 1);
          float ca = b.A(sx, sy);
          sum = sum + b.C(sx, sy) * ca;
          a += ca;
        }
        s.C(x, y) = a > 0 ? sum * (1.f / a) : Color{};
        s.A(x, y) = a / 4;
      }
    c.Paste(s, 24 + k * 31, 131);
  }
  Frame(c, Rgb8(80, 200, 220), 1.5f);
  return Flatten(c, {});
}

Image ScorePicture() {
  const int W = 232, H = 77;
  Canvas c(W, H);
  c.Each([](int x, int y, Color& col, float& a) {
    float v = y / float(H), u = x / float(W);
    col = Mix(Rgb8(34, 18, 70), Rgb8(8, 10, 34), v) + Rgb8(0, 54, 59) * (0.4f * u * (1 - v));
    a = 1.f;
  });
  Stars(c, 25, 23, 0.5f);
  // A ball with a short trail in the free corner at the upper right.
  for (int i = 0; i < 30; ++i) {
    float t = i / 29.f;
    float x = 190 + 20 * t, y = 40 - 22 * t, r = 0.8f + 3.5f * t;
    c.Shape([=](float px, float py) { return SdCircle(px, py, x, y, r); },
            [](float, float) { return Rgb8(90, 200, 255); }, 0.05f + 0.1f * t);
  }
  Sphere(c, 211, 17, 7.f, BallColour(1));
  Frame(c, Rgb8(230, 190, 60), 1.5f);
  return Flatten(c, {});
}

Indexed TileIndexed16() {
  Image tile = FieldTile();
  // Sixteen shades between the tile's darkest and brightest colours.
  int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (size_t i = 0; i < tile.rgb.size(); i += 3)
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min<int>(lo[k], tile.rgb[i + k]);
      hi[k] = std::max<int>(hi[k], tile.rgb[i + k]);
    }
  std::vector<std::array<uint8_t, 3>> pal;
  for (int i = 0; i < 16; ++i) {
    float t = std::pow(i / 15.f, 1.6f);
    pal.push_back({uint8_t(lo[0] + (hi[0] - lo[0]) * t), uint8_t(lo[1] + (hi[1] - lo[1]) * t),
                   uint8_t(lo[2] + (hi[2] - lo[2]) * t)});
  }
  return Quantise(tile, pal);
}

Indexed Emblem() {
  // A ball inside a golden ring on white, in a palette of a white, a blue ramp and a gold ramp.
  Canvas c(160, 160);
  c.Shape([](float x, float y) { return std::fabs(SdCircle(x, y, 80, 80, 70)) - 6; },
          [](float x, float y) {
            return Mix(Rgb8(255, 220, 90), Rgb8(170, 90, 10), Clamp01((x + y - 40) / 240.f));
          });
  Sphere(c, 80, 80, 48, Rgb8(70, 140, 255));
  Image img = Flatten(c, kWhite);
  std::vector<std::array<uint8_t, 3>> pal;
  pal.push_back({255, 255, 255});
  for (int i = 0; i < 127; ++i) {
    Color b = Mix(Rgb8(5, 10, 40), Rgb8(235, 245, 255), i / 126.f);
    pal.push_back({uint8_t(b.r * 255), uint8_t(b.g * 255), uint8_t(b.b * 255)});
  }
  for (int i = 0; i < 128; ++i) {
    Color g = Mix(Rgb8(120, 60, 5), Rgb8(255, 235, 120), i / 127.f);
    pal.push_back({uint8_t(g.r * 255), uint8_t(g.g * 255), uint8_t(g.b * 255)});
  }
  return Quantise(img, pal);
}

Indexed PanelMark() {
  Indexed p;
  p.w = 10;
  p.h = 7;
  p.palette = {{0, 0, 0}, {255, 255, 255}};
  const char* rows[7] = {"..........", "...#......", "...##.....", "...###....",
                         "...##.....", "...#......", ".........."};
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x) p.index.push_back(rows[y][x] == '#' ? 0 : 1);
  return p;
}

Canvas AppIcon(int size) {
  Canvas c(size, size);
  const float k = size / 64.f;  // drawn on a 64-unit grid
  // The field: a rounded square, lighter at the top, with a thin bright rim.
  auto field = [=](float x, float y) {
    return SdRoundBox(x, y, 32 * k, 32 * k, 30.5f * k, 30.5f * k, 11 * k);
  };
  c.Shape(field,
          [=](float, float y) { return Mix(Rgb8(34, 46, 104), kField, Clamp01(y / (64 * k))); });
  c.Shape([=](float x, float y) { return std::fabs(field(x, y) + 0.75f * k) - 0.75f * k; },
          [](float, float) { return Rgb8(90, 120, 210); }, 0.8f);
  // Two rows of three bricks in the colours of the game's brick types.
  const Color bricks[2][3] = {{Rgb8(40, 96, 230), Rgb8(20, 190, 200), Rgb8(190, 35, 15)},
                              {Rgb8(235, 200, 25), Rgb8(40, 180, 60), Rgb8(135, 50, 225)}};
  for (int r = 0; r < 2; ++r)
    for (int col = 0; col < 3; ++col) {
      const float cx = (14.5f + 17.5f * col) * k, cy = (15 + 10 * r) * k;
      const Color base = bricks[r][col];
      Raised(
          c, [=](float x, float y) { return SdRoundBox(x, y, cx, cy, 7.8f * k, 4 * k, 1.5f * k); },
          [=](float, float y) {
            return Mix(base * 1.2f, base * 0.7f, Clamp01((y - cy + 4 * k) / (8 * k)));
          },
          std::max(1.f, 1.6f * k), 1.f);
    }
  // The ball on its way up from the paddle, with a faint trail.
  const float bx = 40 * k, by = 40 * k, br = 5.2f * k;
  for (int t = 1; t <= 3; ++t)
    c.Shape(
        [=](float x, float y) {
          return SdCircle(x, y, bx - 3.2f * t * k, by + 4.f * t * k, br * (1 - 0.18f * t));
        },
        [](float, float) { return Rgb8(120, 160, 255); }, 0.22f / t);
  Sphere(c, bx, by, br, Rgb8(185, 200, 230));
  // The paddle: a metal body between red caps, as in the game.
  const float pw = 15 * k, ph = 3.6f * k, px = 28 * k, py = 53 * k;
  c.Shape([=](float x, float y) { return SdRoundBox(x, y, px, py, pw, ph, ph); },
          [=](float x, float y) {
            const bool cap = std::fabs(x - px) > pw - 5 * k;
            const float v = Clamp01((y - py + ph) / (2 * ph));
            const float light = 0.5f + 0.75f * std::exp(-std::pow((v - 0.3f) / 0.25f, 2.f));
            return (cap ? Rgb8(220, 40, 40) : Rgb8(170, 178, 195)) * light;
          });
  return c;
}

}  // namespace gen
