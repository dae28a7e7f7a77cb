// Draws the images the program carries and writes them as the files the
// program names (icons, button pictures, window backgrounds), plus a C++
// source that holds their bytes:
//
//   velorn_gen_images OUTDIR
//
// writes OUTDIR/stop.ico, inform.ico, warning2.ico, ok.gif, storno.gif,
// CALENDAR.ICO, VCRbottom.gif, VCRrewind.gif, VCRback.gif, VCRplay.gif,
// VCRfastforward.GIF, clock.ico, Calendar.gif, speaker.gif,
// sound_none.ico, sound.ico, cross.gif, ~Tag.ico, ~Untag.ico, the main
// window's pictures (velorn.ico, sound.gif, control_play_blue.gif, microphone.gif,
// information.gif, volume.gif, konec.gif, clock_add.gif, clock_edit.gif,
// clock_go.gif, insert.gif, edit.gif, delete.gif, connect.gif, open.gif),
// back_blue.jpg, back_blue_big.jpg and OUTDIR/carried_images.cpp.
//
// Shapes are drawn with 4 x 4 samples per pixel; icons keep full alpha (32-bit
// ICO entries), button pictures are blended onto the button face and keep a
// 1-bit transparency (GIF), backgrounds are JPEG through libjpeg.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

// After <cstdio>: jpeglib.h needs FILE and size_t.
#include <jpeglib.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

Rgba Hex(uint32_t rgb, float a = 1.0f) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f, static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
          static_cast<float>(rgb & 0xFF) / 255.0f, a};
}

Rgba Mix(const Rgba& p, const Rgba& q, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

// Coordinates of shapes are in units of the image's size: 0..1 across.
using Inside = std::function<bool(float x, float y)>;
using Paint = std::function<Rgba(float x, float y)>;

Inside Disc(float cx, float cy, float r) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Inside Capsule(float ax, float ay, float bx, float by, float r) {
  return [=](float x, float y) {
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float px = ax + t * dx - x, py = ay + t * dy - y;
    return px * px + py * py <= r * r;
  };
}

Inside Polygon(std::vector<std::array<float, 2>> pts) {
  return [pts = std::move(pts)](float x, float y) {
    bool in = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
      const auto& a = pts[i];
      const auto& b = pts[j];
      if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0]) in = !in;
    }
    return in;
  };
}

// A polygon with its corners rounded by r (the polygon grown by r).
Inside Rounded(const std::vector<std::array<float, 2>>& pts, float r) {
  std::vector<Inside> parts{Polygon(pts)};
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const auto& a = pts[i];
    const auto& b = pts[(i + 1) % pts.size()];
    parts.push_back(Capsule(a[0], a[1], b[0], b[1], r));
  }
  return [parts = std::move(parts)](float x, float y) {
    return std::any_of(parts.begin(), parts.end(), [&](const Inside& p) { return p(x, y); });
  };
}

Inside Both(Inside p, Inside q) {
  return [=](float x, float y) { return p(x, y) && q(x, y); };
}

Paint Solid(Rgba c) {
  return [=](float, float) { return c; };
}
Paint Vertical(Rgba top, Rgba bottom, float y0 = 0, float y1 = 1) {
  return [=](float, float y) { return Mix(top, bottom, (y - y0) / (y1 - y0)); };
}

// Premultiplied RGBA, row by row.
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<std::size_t>(w * h)) {}
  int Width() const { return w_; }
  int Height() const { return h_; }

  void Fill(const Inside& in, const Paint& paint) {
    constexpr int n = 4;
    const float sw = static_cast<float>(w_), sh = static_cast<float>(h_);
    for (int y = 0; y < h_; ++y) {
      for (int x = 0; x < w_; ++x) {
        int hits = 0;
        for (int sy = 0; sy < n; ++sy)
          for (int sx = 0; sx < n; ++sx)
            if (in((static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / n) / sw,
                   (static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / n) / sh))
              ++hits;
        if (hits == 0) continue;
        const Rgba c = paint((static_cast<float>(x) + 0.5f) / sw, (static_cast<float>(y) + 0.5f) / sh);
        const float a = c.a * static_cast<float>(hits) / (n * n);
        Rgba& d = px_[static_cast<std::size_t>(y * w_ + x)];
        d.r = c.r * a + d.r * (1 - a);
        d.g = c.g * a + d.g * (1 - a);
        d.b = c.b * a + d.b * (1 - a);
        d.a = a + d.a * (1 - a);
      }
    }
  }

  // Straight (not premultiplied) colour of a pixel.
  Rgba At(int x, int y) const {
    Rgba p = px_[static_cast<std::size_t>(y * w_ + x)];
    if (p.a > 0) {
      p.r /= p.a;
      p.g /= p.a;
      p.b /= p.a;
    }
    return p;
  }

 private:
  int w_, h_;
  std::vector<Rgba> px_;
};

uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// --- the drawings

// A glossy disc icon: rim, gradient, a light sheen on its upper half.
void GlossyDisc(Canvas& c, uint32_t rim, uint32_t top, uint32_t bottom) {
  c.Fill(Disc(0.5f, 0.5f, 0.47f), Solid(Hex(rim)));
  c.Fill(Disc(0.5f, 0.5f, 0.43f), Vertical(Hex(top), Hex(bottom), 0.07f, 0.93f));
  c.Fill(Both(Disc(0.5f, 0.44f, 0.37f), [](float, float y) { return y < 0.47f; }),
         Vertical(Hex(0xFFFFFF, 0.45f), Hex(0xFFFFFF, 0.05f), 0.07f, 0.47f));
}

void DrawStop(Canvas& c) {
  GlossyDisc(c, 0x8C0D0A, 0xF2564F, 0xB01410);
  const float r = 0.068f;
  c.Fill(Capsule(0.33f, 0.33f, 0.67f, 0.67f, r), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.67f, 0.33f, 0.33f, 0.67f, r), Solid(Hex(0xFFFFFF)));
}

void DrawInform(Canvas& c) {
  GlossyDisc(c, 0x174A8C, 0x5A9FEA, 0x1C5FB5);
  c.Fill(Disc(0.5f, 0.29f, 0.072f), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.5f, 0.46f, 0.5f, 0.73f, 0.066f), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.42f, 0.46f, 0.5f, 0.46f, 0.05f), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.41f, 0.76f, 0.59f, 0.76f, 0.05f), Solid(Hex(0xFFFFFF)));
}

void DrawWarning(Canvas& c) {
  const std::vector<std::array<float, 2>> tri{{{0.5f, 0.13f}}, {{0.89f, 0.83f}}, {{0.11f, 0.83f}}};
  c.Fill(Rounded(tri, 0.085f), Solid(Hex(0x7A5600)));
  c.Fill(Rounded(tri, 0.05f), Vertical(Hex(0xFFE066), Hex(0xF2A900), 0.1f, 0.9f));
  c.Fill(Capsule(0.5f, 0.38f, 0.5f, 0.6f, 0.055f), Solid(Hex(0x1A1A1A)));
  c.Fill(Disc(0.5f, 0.73f, 0.06f), Solid(Hex(0x1A1A1A)));
}

void DrawOk(Canvas& c) {
  const auto stroke = [&](float grow, const Paint& p) {
    const float r = 0.095f + grow;
    c.Fill(Capsule(0.17f, 0.54f, 0.41f, 0.78f, r), p);
    c.Fill(Capsule(0.41f, 0.78f, 0.85f, 0.22f, r), p);
  };
  stroke(0.045f, Solid(Hex(0x145A14)));
  stroke(0.0f, Vertical(Hex(0x62D65E), Hex(0x1E8C1E), 0.15f, 0.9f));
}

void DrawStorno(Canvas& c) {
  const auto stroke = [&](float grow, const Paint& p) {
    const float r = 0.09f + grow;
    c.Fill(Capsule(0.22f, 0.22f, 0.78f, 0.78f, r), p);
    c.Fill(Capsule(0.78f, 0.22f, 0.22f, 0.78f, r), p);
  };
  stroke(0.045f, Solid(Hex(0x7A0C09)));
  stroke(0.0f, Vertical(Hex(0xF0605A), Hex(0xB51712), 0.15f, 0.9f));
}

Inside Rect(float x0, float y0, float x1, float y1) { return Polygon({{{x0, y0}}, {{x1, y0}}, {{x1, y1}}, {{x0, y1}}}); }

// A sheet of a wall calendar: a red band with two rings over a white page
// with a grid of days, one of them marked.
void DrawCalendar(Canvas& c) {
  const std::vector<std::array<float, 2>> page{{{0.14f, 0.2f}}, {{0.86f, 0.2f}}, {{0.86f, 0.88f}}, {{0.14f, 0.88f}}};
  c.Fill(Rounded(page, 0.07f), Solid(Hex(0x4A5262)));
  c.Fill(Rounded(page, 0.035f), Vertical(Hex(0xFFFFFF), Hex(0xDDE3EC), 0.2f, 0.9f));
  c.Fill(Both(Rounded(page, 0.035f), [](float, float y) { return y < 0.38f; }),
         Vertical(Hex(0xF0645C), Hex(0xB8221B), 0.17f, 0.38f));
  for (float x : {0.34f, 0.66f}) {
    c.Fill(Capsule(x, 0.08f, x, 0.26f, 0.06f), Solid(Hex(0x4A5262)));
    c.Fill(Capsule(x, 0.09f, x, 0.25f, 0.03f), Vertical(Hex(0xE6E9EE), Hex(0x9AA3B0), 0.06f, 0.28f));
  }
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) {
      const float x = 0.22f + static_cast<float>(col) * 0.15f, y = 0.46f + static_cast<float>(row) * 0.13f;
      const bool marked = row == 1 && col == 2;
      c.Fill(Rect(x, y, x + 0.1f, y + 0.085f), Solid(Hex(marked ? 0xD22F27 : 0x7C8798)));
    }
}

// The buttons of a tape player: triangles with a dark rim, blue.
void FillTriangles(Canvas& c, const std::vector<std::vector<std::array<float, 2>>>& shapes) {
  for (const auto& t : shapes) c.Fill(Rounded(t, 0.07f), Solid(Hex(0x163F7A)));
  for (const auto& t : shapes) c.Fill(Rounded(t, 0.03f), Vertical(Hex(0x7DB4F0), Hex(0x1F5FB8), 0.15f, 0.85f));
}
void DrawPlay(Canvas& c) { FillTriangles(c, {{{{0.3f, 0.2f}}, {{0.78f, 0.5f}}, {{0.3f, 0.8f}}}}); }
void DrawBack(Canvas& c) { FillTriangles(c, {{{{0.7f, 0.2f}}, {{0.22f, 0.5f}}, {{0.7f, 0.8f}}}}); }
void DrawFastForward(Canvas& c) {
  FillTriangles(c, {{{{0.12f, 0.24f}}, {{0.5f, 0.5f}}, {{0.12f, 0.76f}}}, {{{0.5f, 0.24f}}, {{0.88f, 0.5f}}, {{0.5f, 0.76f}}}});
}
void DrawRewind(Canvas& c) {
  FillTriangles(c, {{{{0.88f, 0.24f}}, {{0.5f, 0.5f}}, {{0.88f, 0.76f}}}, {{{0.5f, 0.24f}}, {{0.12f, 0.5f}}, {{0.5f, 0.76f}}}});
}
// An arrow down onto a bar.
void DrawBottom(Canvas& c) {
  FillTriangles(c, {{{{0.2f, 0.18f}}, {{0.8f, 0.18f}}, {{0.5f, 0.58f}}}});
  c.Fill(Capsule(0.22f, 0.76f, 0.78f, 0.76f, 0.1f), Solid(Hex(0x163F7A)));
  c.Fill(Capsule(0.22f, 0.76f, 0.78f, 0.76f, 0.06f), Vertical(Hex(0x7DB4F0), Hex(0x1F5FB8), 0.66f, 0.86f));
}

// A clock face: a dark rim, a white dial with hour marks, two hands.
void DrawClock(Canvas& c) {
  c.Fill(Disc(0.5f, 0.5f, 0.47f), Solid(Hex(0x2E4A73)));
  c.Fill(Disc(0.5f, 0.5f, 0.4f), Vertical(Hex(0xFFFFFF), Hex(0xDCE4EF), 0.1f, 0.9f));
  for (int i = 0; i < 12; ++i) {
    const float a = static_cast<float>(i) * 6.2832f / 12.0f;
    const float r0 = i % 3 == 0 ? 0.29f : 0.32f;
    c.Fill(Capsule(0.5f + r0 * std::sin(a), 0.5f - r0 * std::cos(a), 0.5f + 0.36f * std::sin(a),
                   0.5f - 0.36f * std::cos(a), 0.018f),
           Solid(Hex(0x4A5262)));
  }
  c.Fill(Capsule(0.5f, 0.5f, 0.5f, 0.22f, 0.04f), Solid(Hex(0x1A1A1A)));
  c.Fill(Capsule(0.5f, 0.5f, 0.7f, 0.6f, 0.035f), Solid(Hex(0x1A1A1A)));
  c.Fill(Disc(0.5f, 0.5f, 0.05f), Solid(Hex(0xC62828)));
}

// A loudspeaker: a box and its cone, in grey and blue.
void Loudspeaker(Canvas& c, float shift) {
  const std::vector<std::array<float, 2>> cone{
      {{0.12f + shift, 0.36f}}, {{0.3f + shift, 0.36f}}, {{0.55f + shift, 0.14f}}, {{0.55f + shift, 0.86f}},
      {{0.3f + shift, 0.64f}}, {{0.12f + shift, 0.64f}}};
  c.Fill(Rounded(cone, 0.06f), Solid(Hex(0x233A5E)));
  c.Fill(Rounded(cone, 0.025f), Vertical(Hex(0xA9C4E8), Hex(0x3F6DAA), 0.15f, 0.85f));
}

// A loudspeaker sounding: two waves before it.
void DrawSpeaker(Canvas& c) {
  Loudspeaker(c, -0.04f);
  const auto wave = [&](float r, float w) {
    c.Fill(Both(Both(Disc(0.5f, 0.5f, r + w), [=](float x, float y) {
                  return (x - 0.5f) * (x - 0.5f) + (y - 0.5f) * (y - 0.5f) >= (r - w) * (r - w);
                }),
                [](float x, float y) { return x > 0.58f && std::abs(y - 0.5f) < (x - 0.5f) * 1.4f; }),
           Solid(Hex(0x1F6FD1)));
  };
  wave(0.2f, 0.04f);
  wave(0.36f, 0.04f);
}

// A loudspeaker that is silent: no waves, a small red bar across its front.
void DrawSoundNone(Canvas& c) {
  Loudspeaker(c, 0.0f);
  c.Fill(Capsule(0.66f, 0.36f, 0.9f, 0.64f, 0.06f), Solid(Hex(0x8C0D0A)));
  c.Fill(Capsule(0.66f, 0.36f, 0.9f, 0.64f, 0.035f), Solid(Hex(0xE2473F)));
  c.Fill(Capsule(0.9f, 0.36f, 0.66f, 0.64f, 0.06f), Solid(Hex(0x8C0D0A)));
  c.Fill(Capsule(0.9f, 0.36f, 0.66f, 0.64f, 0.035f), Solid(Hex(0xE2473F)));
}

// --- the main window's pictures (16 x 16 button pictures, the program icon)

Inside Ring(float cx, float cy, float r0, float r1) {
  return [=](float x, float y) {
    const float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d >= r0 * r0 && d <= r1 * r1;
  };
}
Inside RightOf(float x0) {
  return [=](float x, float) { return x > x0; };
}

// A loudspeaker: a box and its cone, facing right, and two sound waves.
void Speaker(Canvas& c, uint32_t rim, uint32_t light, uint32_t dark, uint32_t waves, float s = 1.0f) {
  const auto P = [&](float x, float y) { return std::array<float, 2>{{0.5f + (x - 0.5f) * s, 0.5f + (y - 0.5f) * s}}; };
  const std::vector<std::array<float, 2>> body{P(0.1f, 0.37f), P(0.3f, 0.37f), P(0.55f, 0.14f), P(0.55f, 0.86f),
                                               P(0.3f, 0.63f), P(0.1f, 0.63f)};
  c.Fill(Rounded(body, 0.06f * s), Solid(Hex(rim)));
  c.Fill(Rounded(body, 0.02f * s), Vertical(Hex(light), Hex(dark), 0.15f, 0.85f));
  const auto [cx, cy] = P(0.5f, 0.5f);
  c.Fill(Both(Ring(cx, cy, 0.2f * s, 0.28f * s), RightOf(cx + 0.12f * s)), Solid(Hex(waves)));
  c.Fill(Both(Ring(cx, cy, 0.36f * s, 0.44f * s), RightOf(cx + 0.2f * s)), Solid(Hex(waves)));
}

void DrawSound(Canvas& c) { Speaker(c, 0x2B3440, 0xB8C4D4, 0x5C6B80, 0x1F6FD1); }

void DrawPlayBlue(Canvas& c) {
  GlossyDisc(c, 0x174A8C, 0x5A9FEA, 0x1C5FB5);
  c.Fill(Rounded({{{0.4f, 0.3f}}, {{0.72f, 0.5f}}, {{0.4f, 0.7f}}}, 0.03f), Solid(Hex(0xFFFFFF)));
}

void DrawMicrophone(Canvas& c) {
  c.Fill(Both(Ring(0.5f, 0.42f, 0.22f, 0.3f), [](float, float y) { return y > 0.42f; }), Solid(Hex(0x3A4350)));
  c.Fill(Capsule(0.5f, 0.7f, 0.5f, 0.86f, 0.045f), Solid(Hex(0x3A4350)));
  c.Fill(Capsule(0.32f, 0.9f, 0.68f, 0.9f, 0.05f), Solid(Hex(0x3A4350)));
  c.Fill(Capsule(0.5f, 0.2f, 0.5f, 0.46f, 0.17f), Solid(Hex(0x2B3440)));
  c.Fill(Capsule(0.5f, 0.2f, 0.5f, 0.46f, 0.13f), Vertical(Hex(0xD6DCE5), Hex(0x7D8899), 0.05f, 0.6f));
}

void DrawVolume(Canvas& c) {
  const float xs[] = {0.22f, 0.5f, 0.78f}, knobs[] = {0.62f, 0.32f, 0.5f};
  for (int i = 0; i < 3; ++i) {
    c.Fill(Capsule(xs[i], 0.1f, xs[i], 0.9f, 0.04f), Solid(Hex(0x4A5262)));
    c.Fill(Capsule(xs[i] - 0.08f, knobs[i], xs[i] + 0.08f, knobs[i], 0.09f), Solid(Hex(0x163F7A)));
    c.Fill(Capsule(xs[i] - 0.08f, knobs[i], xs[i] + 0.08f, knobs[i], 0.055f), Solid(Hex(0x6FA8EE)));
  }
}

// A power switch: a ring open at the top and a bar through the gap.
void DrawKonec(Canvas& c) {
  const auto open = [](float x, float y) { return !(y < 0.5f && std::fabs(x - 0.5f) < 0.17f); };
  c.Fill(Both(Ring(0.5f, 0.55f, 0.23f, 0.4f), open), Solid(Hex(0x7A0C09)));
  c.Fill(Both(Ring(0.5f, 0.55f, 0.27f, 0.36f), open), Vertical(Hex(0xF0605A), Hex(0xB51712), 0.15f, 0.95f));
  c.Fill(Capsule(0.5f, 0.1f, 0.5f, 0.5f, 0.08f), Solid(Hex(0x7A0C09)));
  c.Fill(Capsule(0.5f, 0.1f, 0.5f, 0.5f, 0.045f), Solid(Hex(0xE0453E)));
}

// A clock face at the upper left, leaving the lower right corner for a badge.
void Clock(Canvas& c) {
  c.Fill(Disc(0.42f, 0.42f, 0.4f), Solid(Hex(0x2B3440)));
  c.Fill(Disc(0.42f, 0.42f, 0.33f), Vertical(Hex(0xFFFFFF), Hex(0xD8DEE8), 0.1f, 0.8f));
  c.Fill(Capsule(0.42f, 0.42f, 0.42f, 0.2f, 0.04f), Solid(Hex(0x2B3440)));
  c.Fill(Capsule(0.42f, 0.42f, 0.58f, 0.42f, 0.04f), Solid(Hex(0x2B3440)));
}
void Plus(Canvas& c, float cx, float cy, float r) {
  c.Fill(Disc(cx, cy, r), Solid(Hex(0x145A14)));
  c.Fill(Disc(cx, cy, r - 0.05f), Vertical(Hex(0x62D65E), Hex(0x1E8C1E), cy - r, cy + r));
  c.Fill(Capsule(cx - r * 0.55f, cy, cx + r * 0.55f, cy, 0.045f), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(cx, cy - r * 0.55f, cx, cy + r * 0.55f, 0.045f), Solid(Hex(0xFFFFFF)));
}
// A pencil from the upper right down to its point at the lower left.
void Pencil(Canvas& c, float x0, float y0, float x1, float y1) {
  c.Fill(Capsule(x0, y0, x1, y1, 0.13f), Solid(Hex(0x5A3A10)));
  c.Fill(Capsule(x0, y0, x1, y1, 0.09f), Vertical(Hex(0xFFD35C), Hex(0xE08A00), 0.1f, 0.9f));
  const float tx = x1 + (x1 - x0) * 0.18f, ty = y1 + (y1 - y0) * 0.18f;
  c.Fill(Capsule(x1, y1, tx, ty, 0.06f), Solid(Hex(0x2B2B2B)));
}
void Arrow(Canvas& c, float y) {
  const std::vector<std::array<float, 2>> a{{{0.48f, y - 0.1f}}, {{0.7f, y - 0.1f}}, {{0.7f, y - 0.2f}},
                                            {{0.95f, y}},        {{0.7f, y + 0.2f}}, {{0.7f, y + 0.1f}},
                                            {{0.48f, y + 0.1f}}};
  c.Fill(Rounded(a, 0.05f), Solid(Hex(0x145A14)));
  c.Fill(Rounded(a, 0.01f), Vertical(Hex(0x62D65E), Hex(0x1E8C1E), y - 0.2f, y + 0.2f));
}
void DrawClockAdd(Canvas& c) {
  Clock(c);
  Plus(c, 0.73f, 0.73f, 0.25f);
}
void DrawClockEdit(Canvas& c) {
  Clock(c);
  Pencil(c, 0.92f, 0.5f, 0.6f, 0.82f);
}
void DrawClockGo(Canvas& c) {
  Clock(c);
  Arrow(c, 0.74f);
}
void DrawInsert(Canvas& c) { Plus(c, 0.5f, 0.5f, 0.42f); }
void DrawEdit(Canvas& c) {
  Pencil(c, 0.82f, 0.18f, 0.26f, 0.74f);
  c.Fill(Capsule(0.12f, 0.92f, 0.5f, 0.92f, 0.03f), Solid(Hex(0x2B3440)));
}

// A plug: the body with two pins to the right, its cable from the left.
void DrawConnect(Canvas& c) {
  c.Fill(Capsule(0.05f, 0.62f, 0.3f, 0.5f, 0.06f), Solid(Hex(0x2B3440)));
  c.Fill(Capsule(0.62f, 0.36f, 0.93f, 0.36f, 0.05f), Solid(Hex(0x8A6A10)));
  c.Fill(Capsule(0.62f, 0.64f, 0.93f, 0.64f, 0.05f), Solid(Hex(0x8A6A10)));
  c.Fill(Capsule(0.64f, 0.36f, 0.9f, 0.36f, 0.025f), Solid(Hex(0xF2C94C)));
  c.Fill(Capsule(0.64f, 0.64f, 0.9f, 0.64f, 0.025f), Solid(Hex(0xF2C94C)));
  const std::vector<std::array<float, 2>> body{{{0.3f, 0.25f}}, {{0.64f, 0.25f}}, {{0.64f, 0.75f}}, {{0.3f, 0.75f}}};
  c.Fill(Rounded(body, 0.06f), Solid(Hex(0x2B3440)));
  c.Fill(Rounded(body, 0.02f), Vertical(Hex(0x9AA6B8), Hex(0x4A5262), 0.2f, 0.8f));
}

// A folder, open: the back with its tab, the front leaning forward.
void DrawOpen(Canvas& c) {
  const std::vector<std::array<float, 2>> back{{{0.08f, 0.2f}},  {{0.38f, 0.2f}}, {{0.45f, 0.28f}},
                                               {{0.85f, 0.28f}}, {{0.85f, 0.84f}}, {{0.08f, 0.84f}}};
  c.Fill(Rounded(back, 0.05f), Solid(Hex(0x8A5A00)));
  c.Fill(Rounded(back, 0.01f), Solid(Hex(0xE8B13A)));
  const std::vector<std::array<float, 2>> front{{{0.22f, 0.44f}}, {{0.98f, 0.44f}}, {{0.85f, 0.84f}}, {{0.08f, 0.84f}}};
  c.Fill(Rounded(front, 0.04f), Solid(Hex(0x8A5A00)));
  c.Fill(Rounded(front, 0.005f), Vertical(Hex(0xFFE08A), Hex(0xF2B230), 0.44f, 0.84f));
}

// The program's icon: a blue disc with a white loudspeaker.
void DrawVelorn(Canvas& c) {
  GlossyDisc(c, 0x174A8C, 0x5A9FEA, 0x1C5FB5);
  Speaker(c, 0xFFFFFF, 0xFFFFFF, 0xE6EEF8, 0xFFFFFF, 0.62f);
}

// The task list's marks: a green disc with a white tick for an active task,
// a grey disc with a white bar for any other.
void DrawTag(Canvas& c) {
  GlossyDisc(c, 0x145A14, 0x62D65E, 0x1E8C1E);
  c.Fill(Capsule(0.3f, 0.52f, 0.45f, 0.67f, 0.07f), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.45f, 0.67f, 0.72f, 0.34f, 0.07f), Solid(Hex(0xFFFFFF)));
}
void DrawUntag(Canvas& c) {
  GlossyDisc(c, 0x4A5262, 0xC8D0DC, 0x7A8494);
  c.Fill(Capsule(0.3f, 0.5f, 0.7f, 0.5f, 0.07f), Solid(Hex(0xFFFFFF)));
}

// A white cross on a rounded red square.
void DrawCross(Canvas& c) {
  const std::vector<std::array<float, 2>> square{{{0.2f, 0.2f}}, {{0.8f, 0.2f}}, {{0.8f, 0.8f}}, {{0.2f, 0.8f}}};
  c.Fill(Rounded(square, 0.14f), Solid(Hex(0x7A0C09)));
  c.Fill(Rounded(square, 0.1f), Vertical(Hex(0xE8504A), Hex(0xA8140F), 0.1f, 0.9f));
  const float r = 0.075f;
  c.Fill(Capsule(0.34f, 0.34f, 0.66f, 0.66f, r), Solid(Hex(0xFFFFFF)));
  c.Fill(Capsule(0.66f, 0.34f, 0.34f, 0.66f, r), Solid(Hex(0xFFFFFF)));
}

// A pale blue sky: a vertical gradient with soft slanted bands of light
// and a gentle swell near the bottom.
void DrawBackground(Canvas& c) {
  c.Fill([](float, float) { return true; },
         [](float x, float y) {
           Rgba col = Mix(Hex(0xDCE9F9), Hex(0x9CBCE6), y);
           const float band = 0.5f + 0.5f * std::sin((x * 1.3f + y * 0.7f) * 6.2832f * 1.5f);
           col = Mix(col, Hex(0xFFFFFF), 0.10f * band * band);
           const float swell = 0.82f + 0.05f * std::sin(x * 6.2832f * 0.8f + 0.6f);
           if (y > swell) col = Mix(col, Hex(0x86A9DC), std::min(1.0f, (y - swell) * 6.0f) * 0.6f);
           return col;
         });
}

// --- the file formats

// ICO with 32-bit entries (colour with alpha, plus the AND mask).
Bytes Ico(const std::vector<Canvas>& images) {
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(images.size()));
  std::vector<Bytes> bodies;
  for (const Canvas& c : images) {
    const int w = c.Width(), h = c.Height();
    Bytes b;
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(w));
    Put32(b, static_cast<uint32_t>(2 * h));
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, 0);
    const int maskRow = ((w + 31) / 32) * 4;
    Put32(b, static_cast<uint32_t>(w * h * 4 + maskRow * h));
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (int y = h - 1; y >= 0; --y)
      for (int x = 0; x < w; ++x) {
        const Rgba p = c.At(x, y);
        b.push_back(Byte(p.b));
        b.push_back(Byte(p.g));
        b.push_back(Byte(p.r));
        b.push_back(Byte(p.a));
      }
    for (int y = h - 1; y >= 0; --y) {
      Bytes row(static_cast<std::size_t>(maskRow), 0);
      for (int x = 0; x < w; ++x)
        if (Byte(c.At(x, y).a) == 0) row[static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      b.insert(b.end(), row.begin(), row.end());
    }
    bodies.push_back(std::move(b));
  }
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<uint8_t>(images[i].Width() >= 256 ? 0 : images[i].Width()));
    out.push_back(static_cast<uint8_t>(images[i].Height() >= 256 ? 0 : images[i].Height()));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<uint32_t>(bodies[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(bodies[i].size());
  }
  for (const Bytes& b : bodies) out.insert(out.end(), b.begin(), b.end());
  return out;
}

// GIF89a: the picture blended onto the matte, pixels less than half covered
// transparent; colours from a 6 x 6 x 6 cube and a grey ramp.
Bytes Gif(const Canvas& c, Rgba matte) {
  std::vector<std::array<uint8_t, 3>> palette;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)});
  for (int i = 1; i <= 38; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / 39);
    palette.push_back({v, v, v});
  }
  const std::size_t transparent = palette.size();  // 254
  palette.push_back({0, 0, 0});
  palette.resize(256, {0, 0, 0});

  const int w = c.Width(), h = c.Height();
  std::vector<uint8_t> index;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgba p = c.At(x, y);
      if (p.a < 0.5f) {
        index.push_back(static_cast<uint8_t>(transparent));
        continue;
      }
      const Rgba q = Mix(matte, Rgba{p.r, p.g, p.b, 1}, p.a);
      const int r = Byte(q.r), g = Byte(q.g), b = Byte(q.b);
      std::size_t best = 0;
      int bestD = 1 << 30;
      for (std::size_t i = 0; i < transparent; ++i) {
        const int dr = r - palette[i][0], dg = g - palette[i][1], db = b - palette[i][2];
        const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestD) {
          bestD = d;
          best = i;
        }
      }
      index.push_back(static_cast<uint8_t>(best));
    }

  Bytes out{'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, static_cast<unsigned>(w));
  Put16(out, static_cast<unsigned>(h));
  out.push_back(0xF7);  // global table of 256 colours
  out.push_back(0);
  out.push_back(0);
  for (const auto& p : palette) out.insert(out.end(), p.begin(), p.end());
  out.insert(out.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, static_cast<uint8_t>(transparent), 0x00});
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<unsigned>(w));
  Put16(out, static_cast<unsigned>(h));
  out.push_back(0);

  // LZW with 8-bit codes; the table is reset when it is full.
  constexpr int kMinBits = 8;
  const int clear = 1 << kMinBits, end = clear + 1;
  Bytes data;
  uint32_t acc = 0;
  int accBits = 0;
  int bits = kMinBits + 1;
  const auto emit = [&](int code) {
    acc |= static_cast<uint32_t>(code) << accBits;
    accBits += bits;
    while (accBits >= 8) {
      data.push_back(static_cast<uint8_t>(acc & 0xFF));
      acc >>= 8;
      accBits -= 8;
    }
  };
  std::map<std::pair<int, int>, int> table;
  int next = end + 1;
  emit(clear);
  int prefix = -1;
  for (uint8_t k : index) {
    if (prefix < 0) {
      prefix = k;
      continue;
    }
    auto it = table.find({prefix, k});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    emit(prefix);
    if (next < 4096) {
      table[{prefix, k}] = next++;
      if (next > (1 << bits) && bits < 12) ++bits;
    } else {
      emit(clear);
      table.clear();
      next = end + 1;
      bits = kMinBits + 1;
    }
    prefix = k;
  }
  if (prefix >= 0) emit(prefix);
  emit(end);
  if (accBits > 0) data.push_back(static_cast<uint8_t>(acc & 0xFF));

  out.push_back(kMinBits);
  for (std::size_t i = 0; i < data.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

Bytes Jpeg(const Canvas& c, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(c.Width());
  cinfo.image_height = static_cast<JDIMENSION>(c.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<std::size_t>(c.Width()) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < c.Width(); ++x) {
      const Rgba p = c.At(x, y);
      row[static_cast<std::size_t>(x) * 3] = Byte(p.r);
      row[static_cast<std::size_t>(x) * 3 + 1] = Byte(p.g);
      row[static_cast<std::size_t>(x) * 3 + 2] = Byte(p.b);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

Canvas Draw(int w, int h, void (*draw)(Canvas&)) {
  Canvas c(w, h);
  draw(c);
  return c;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const Rgba buttonFace = Hex(0xEFEFEF);
  const auto icon = [](void (*draw)(Canvas&)) {
    return Ico({Draw(32, 32, draw), Draw(16, 16, draw), Draw(48, 48, draw)});
  };
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"stop.ico", icon(DrawStop)},
      {"inform.ico", icon(DrawInform)},
      {"warning2.ico", icon(DrawWarning)},
      {"ok.gif", Gif(Draw(20, 20, DrawOk), buttonFace)},
      {"storno.gif", Gif(Draw(20, 20, DrawStorno), buttonFace)},
      {"CALENDAR.ICO", icon(DrawCalendar)},
      {"VCRbottom.gif", Gif(Draw(20, 20, DrawBottom), buttonFace)},
      {"VCRrewind.gif", Gif(Draw(20, 20, DrawRewind), buttonFace)},
      {"VCRback.gif", Gif(Draw(20, 20, DrawBack), buttonFace)},
      {"VCRplay.gif", Gif(Draw(20, 20, DrawPlay), buttonFace)},
      {"VCRfastforward.GIF", Gif(Draw(20, 20, DrawFastForward), buttonFace)},
      {"clock.ico", icon(DrawClock)},
      {"Calendar.gif", Gif(Draw(16, 16, DrawCalendar), buttonFace)},
      {"speaker.gif", Gif(Draw(16, 16, DrawSpeaker), buttonFace)},
      {"sound_none.ico", icon(DrawSoundNone)},
      {"velorn.ico", icon(DrawVelorn)},
      {"sound.gif", Gif(Draw(16, 16, DrawSound), buttonFace)},
      {"control_play_blue.gif", Gif(Draw(16, 16, DrawPlayBlue), buttonFace)},
      {"microphone.gif", Gif(Draw(16, 16, DrawMicrophone), buttonFace)},
      {"information.gif", Gif(Draw(16, 16, DrawInform), buttonFace)},
      {"volume.gif", Gif(Draw(16, 16, DrawVolume), buttonFace)},
      {"konec.gif", Gif(Draw(16, 16, DrawKonec), buttonFace)},
      {"clock_add.gif", Gif(Draw(16, 16, DrawClockAdd), buttonFace)},
      {"clock_edit.gif", Gif(Draw(16, 16, DrawClockEdit), buttonFace)},
      {"clock_go.gif", Gif(Draw(16, 16, DrawClockGo), buttonFace)},
      {"insert.gif", Gif(Draw(16, 16, DrawInsert), buttonFace)},
      {"edit.gif", Gif(Draw(16, 16, DrawEdit), buttonFace)},
      {"delete.gif", Gif(Draw(16, 16, DrawStorno), buttonFace)},
      {"connect.gif", Gif(Draw(16, 16, DrawConnect), buttonFace)},
      {"open.gif", Gif(Draw(16, 16, DrawOpen), buttonFace)},
      {"sound.ico", icon(DrawSpeaker)},
      {"cross.gif", Gif(Draw(20, 20, DrawCross), buttonFace)},
      {"~Tag.ico", icon(DrawTag)},
      {"~Untag.ico", icon(DrawUntag)},
      {"back_blue.jpg", Jpeg(Draw(480, 300, DrawBackground), 92)},
      {"back_blue_big.jpg", Jpeg(Draw(1280, 960, DrawBackground), 90)},
  };

  std::string src =
      "// Generated by velorn_gen_images: the images the program carries.\n"
      "#include \"platform/carried.h\"\n\n"
      "namespace platform {\nnamespace {\n";
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!WriteFile(dir + "/" + files[i].first, files[i].second)) {
      std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), files[i].first.c_str());
      return 1;
    }
    src += "const unsigned char kFile" + std::to_string(i) + "[] = {";
    for (std::size_t k = 0; k < files[i].second.size(); ++k) {
      if (k % 24 == 0) src += "\n   ";
      src += " " + std::to_string(files[i].second[k]) + ",";
    }
    src += "\n};\n";
  }
  src += "const CarriedFile kFiles[] = {\n";
  for (std::size_t i = 0; i < files.size(); ++i)
    src += "    {\"" + files[i].first + "\", kFile" + std::to_string(i) + ", sizeof kFile" + std::to_string(i) + "},\n";
  src += "};\n}  // namespace\n\nstd::span<const CarriedFile> CarriedFiles() { return kFiles; }\n\n}  // namespace platform\n";
  if (!WriteFile(dir + "/carried_images.cpp", Bytes(src.begin(), src.end()))) {
    std::fprintf(stderr, "cannot write %s/carried_images.cpp\n", dir.c_str());
    return 1;
  }
  return 0;
}
