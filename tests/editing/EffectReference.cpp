#include "EffectReference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mivora::test {
namespace {

int Clamp(long v) { return v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<int>(v)); }
int ClampD(double v) { return Clamp(static_cast<long>(v)); }

struct Rgb {
  int r, g, b;
};

// Chroma sample of a pixel: (x / 2, y / 2), kept inside the chroma grid.
void ChromaOf(const Picture& p, int x, int y, int& u, int& v) {
  if (p.cw() == 0 || p.ch() == 0) {
    u = v = 128;
    return;
  }
  int k = std::min(y / 2, p.ch() - 1) * p.cw() + std::min(x / 2, p.cw() - 1);
  u = p.u[k];
  v = p.v[k];
}

Rgb ToRgb(const Picture& p, int x, int y) {
  int u, v;
  ChromaOf(p, x, y, u, v);
  int luma = p.y[y * p.width + x];
  return {ClampD(luma + 1.4022 * (v - 128)), ClampD(luma - 0.7145 * (v - 128) - 0.3456 * (u - 128)),
          ClampD(luma + 1.771 * (u - 128))};
}

float Table(double coefficient, int i) { return static_cast<float>(coefficient * i); }
int Trunc(float f) { return Clamp(static_cast<long>(f)); }

Picture FromRgb(const std::vector<Rgb>& rgb, const Picture& in) {
  Picture out = in;
  for (size_t i = 0; i < rgb.size(); ++i) {
    const Rgb& c = rgb[i];
    out.y[i] = static_cast<uint8_t>(Trunc(Table(0.299, c.r) + Table(0.587, c.g) + Table(0.114, c.b)));
  }
  for (int cy = 0; cy < in.ch(); ++cy)
    for (int cx = 0; cx < in.cw(); ++cx) {
      int us = 0, vs = 0;
      for (int k = 0; k < 4; ++k) {
        const Rgb& c = rgb[(2 * cy + k / 2) * in.width + 2 * cx + k % 2];
        us += Trunc(static_cast<float>(c.b / 2) - (Table(0.1684, c.r) + Table(0.3316, c.g)) + 128.0f);
        vs += Trunc(static_cast<float>(c.r / 2) - Table(0.4187, c.g) - Table(0.0813, c.b) + 128.0f);
      }
      out.u[cy * in.cw() + cx] = static_cast<uint8_t>(us >> 2);
      out.v[cy * in.cw() + cx] = static_cast<uint8_t>(vs >> 2);
    }
  return out;
}

template <typename F>
void ForChroma(const Picture& in, Picture& out, F f) {
  for (int r = 0; r < in.ch(); ++r)
    for (int c = 0; c < in.cw(); ++c) f(r, c, r * in.cw() + c);
  (void)out;
}

}  // namespace

Picture RefFlipVertical(const Picture& in) {
  Picture out = in;
  for (int r = 0; r < in.height; ++r)
    for (int x = 0; x < in.width; ++x) out.y[r * in.width + x] = in.y[(in.height - 1 - r) * in.width + x];
  ForChroma(in, out, [&](int r, int c, int k) {
    out.u[k] = in.u[(in.ch() - 1 - r) * in.cw() + c];
    out.v[k] = in.v[(in.ch() - 1 - r) * in.cw() + c];
  });
  return out;
}

Picture RefFlipHorizontal(const Picture& in) {
  Picture out = in;
  for (int r = 0; r < in.height; ++r)
    for (int x = 0; x < in.width; ++x) out.y[r * in.width + x] = in.y[r * in.width + in.width - 1 - x];
  ForChroma(in, out, [&](int r, int c, int k) {
    out.u[k] = in.u[r * in.cw() + in.cw() - 1 - c];
    out.v[k] = in.v[r * in.cw() + in.cw() - 1 - c];
  });
  return out;
}

Picture RefUnsharp(const Picture& in, int amount) {
  static const int w[5] = {1, 4, 6, 4, 1};
  Picture out = in;
  for (int r = 0; r < in.height; ++r)
    for (int x = 0; x < in.width; ++x) {
      int sum = 0;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          int sy = std::clamp(r + dy, 0, in.height - 1), sx = std::clamp(x + dx, 0, in.width - 1);
          sum += w[dy + 2] * w[dx + 2] * in.y[sy * in.width + sx];
        }
      int s = in.y[r * in.width + x];
      int blurred = (sum + 128) >> 8;
      out.y[r * in.width + x] = static_cast<uint8_t>(Clamp(s + (((s - blurred) * amount) >> 16)));
    }
  return out;
}

// The engine's negval: limited-range samples (luma 16..235, chroma 16..240)
// clipped and mirrored inside their range.
uint8_t NegLuma(uint8_t s) { return static_cast<uint8_t>(251 - std::clamp<int>(s, 16, 235)); }
uint8_t NegChroma(uint8_t s) { return static_cast<uint8_t>(256 - std::clamp<int>(s, 16, 240)); }

Picture RefInvert(const Picture& in) {
  Picture out = in;
  for (auto& s : out.y) s = NegLuma(s);
  for (auto& s : out.u) s = NegChroma(s);
  for (auto& s : out.v) s = NegChroma(s);
  return out;
}

// Luma a lutyuv table leaves alone is still clipped to 16..235.
void ClipLuma(Picture& p) {
  for (auto& s : p.y) s = static_cast<uint8_t>(std::clamp<int>(s, 16, 235));
}

Picture RefFlipColor(const Picture& in) {
  Picture out = in;
  ClipLuma(out);
  for (auto& s : out.u) s = NegChroma(s);
  for (auto& s : out.v) s = NegChroma(s);
  return out;
}

Picture RefGray(const Picture& in) {
  Picture out = in;
  ClipLuma(out);
  std::fill(out.u.begin(), out.u.end(), 128);
  std::fill(out.v.begin(), out.v.end(), 128);
  return out;
}

Picture RefAgedFilm(const Picture& in) {
  Picture out = in;
  ClipLuma(out);
  std::fill(out.u.begin(), out.u.end(), 116);
  std::fill(out.v.begin(), out.v.end(), 134);
  return out;
}

// Computed as the engine's expression evaluator does: in doubles, truncated.
Picture RefColour(const Picture& in, int b, int k, int s) {
  auto clamp = [](double v) { return static_cast<uint8_t>(v <= 0 ? 0 : v >= 255 ? 255 : static_cast<int>(v)); };
  Picture out = in;
  for (auto& y : out.y) y = clamp((y - 16.0) * k / 100 + b + 16);
  for (auto& u : out.u) u = clamp((u - 128.0) * k * s / 10000 + 128);
  for (auto& v : out.v) v = clamp((v - 128.0) * k * s / 10000 + 128);
  return out;
}

Picture RefStereo(const Picture& in, int mode, int depth) {
  Picture out = in;
  const int d = std::abs(depth);
  if (mode >= 0 && mode <= 3) {
    // Full-range RGB from limited-range YUV and back, as the engine converts.
    auto round = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    Picture full = in;
    for (auto& s : full.y) s = round((s - 16) * 255.0 / 219);
    for (auto& s : full.u) s = round((s - 128) * 255.0 / 224 + 128);
    for (auto& s : full.v) s = round((s - 128) * 255.0 / 224 + 128);
    std::vector<Rgb> rgb(in.y.size());
    for (int r = 0; r < in.height; ++r)
      for (int x = 0; x < in.width; ++x) {
        Rgb& o = rgb[r * in.width + x];
        if (x < d || x + d >= in.width) {  // no partner pixel inside the row
          o = {0, 0, 0};
          continue;
        }
        int nearX = depth > 0 ? x + d : x - d, farX = depth > 0 ? x - d : x + d;
        Rgb n = ToRgb(full, nearX, r), f = ToRgb(full, farX, r);
        if (mode == 0) o = {n.r, f.g, f.b};
        if (mode == 1) o = {n.r, f.g, 0};
        if (mode == 2) o = {n.r, 0, f.b};
        if (mode == 3) o = {f.r, f.g, n.b};
      }
    Picture back = FromRgb(rgb, in);
    for (auto& s : back.y) s = round(16 + s * 219.0 / 255);
    for (int k = 0; k < in.cw() * in.ch(); ++k) {
      back.u[k] = round(128 + (back.u[k] - 128) * 224.0 / 255);
      back.v[k] = round(128 + (back.v[k] - 128) * 224.0 / 255);
    }
    return back;
  }
  if (mode == 4) {
    for (int r = 0; r < in.height; ++r)
      for (int x = 0; x < in.width; ++x) {
        int from = r % 2 == 0 ? x + depth : x - depth;
        bool blank = from < 0 || from >= in.width;
        out.y[r * in.width + x] = blank ? 16 : in.y[r * in.width + from];
      }
    const int cd = depth / 2;
    ForChroma(in, out, [&](int r, int c, int k) {
      int from = r % 2 == 0 ? c + cd : c - cd;
      bool blank = from < 0 || from >= in.cw();
      out.u[k] = blank ? 128 : in.u[r * in.cw() + from];
      out.v[k] = blank ? 128 : in.v[r * in.cw() + from];
    });
    return out;
  }
  if (mode == 5) {
    // Each half: the row at half width (every second column), moved by
    // `shift` of its columns; black where the moved picture has nothing.
    auto side = [](int width, int x, int shift, int& from) {
      int half = width / 2;
      bool left = x < half;
      int col = left ? x : x - half;
      int columns = left ? half : width - half;
      int moved = left ? col + shift : col - shift;
      from = 2 * moved;
      return moved < 0 || moved >= columns || from >= width;
    };
    for (int r = 0; r < in.height; ++r)
      for (int x = 0; x < in.width; ++x) {
        int from;
        bool blank = side(in.width, x, depth / 2, from);
        out.y[r * in.width + x] = blank ? 16 : in.y[r * in.width + from];
      }
    ForChroma(in, out, [&](int r, int c, int k) {
      int from;
      bool blank = side(in.cw(), c, depth / 2 / 2, from);
      out.u[k] = blank ? 128 : in.u[r * in.cw() + from];
      out.v[k] = blank ? 128 : in.v[r * in.cw() + from];
    });
    return out;
  }
  return out;
}

}  // namespace mivora::test
