#include "ReferenceScaler.h"

#include <algorithm>
#include <cmath>

namespace mivora::test {
namespace {

// Q16 value of the cubic B-spline at d / 32768 - 2.
int CubicEntry(long d) {
  auto p3 = [](double t) { return t > 0 ? t * t * t : 0.0; };
  double x = d / 32768.0 - 2.0;
  double b = (p3(x + 2) - 4 * p3(x + 1) + 6 * p3(x) - 4 * p3(x - 1)) / 6;
  return static_cast<int>(std::trunc(65536.0 * b));
}

struct Plane {
  const uint8_t* data;
  int width, rows;
  // Sample with coordinates clamped into the plane.
  int At(long x, long y) const {
    x = std::clamp<long>(x, 0, width - 1);
    y = std::clamp<long>(y, 0, rows - 1);
    return data[y * width + x];
  }
};

struct Region {
  long left, top, right, bottom;
};

void ResizePlane(const Plane& in, Region r, int ow, int oh, bool luma, bool scale, uint8_t fill,
                 uint8_t* out) {
  if (ow <= 0 || oh <= 0) return;
  long regionRows = r.bottom - r.top;
  long startRow = std::max(r.top, 0L);
  long clipped = std::min<long>(r.bottom, in.rows) - startRow;
  long first = 0, last = -1;
  if (regionRows > 0 && clipped > 0) {
    first = std::max(0L, -r.top) * oh / regionRows;
    last = oh - 1 - std::max(0L, r.bottom - in.rows) * oh / regionRows;
  }
  bool empty = in.width <= 0 || in.rows <= 0;
  long ystep = last >= first ? (clipped - 1) * 65536 / (last - first + 1) : 0;
  long xstep = (r.right - r.left - 3) * 65536 / ow;
  for (int row = 0; row < oh; ++row) {
    for (int col = 0; col < ow; ++col) {
      uint8_t& o = out[row * ow + col];
      if (empty || row < first || row > last) {
        o = fill;
        continue;
      }
      if (!scale) {
        o = static_cast<uint8_t>(in.At(r.left + col, startRow + (row - first)));
        continue;
      }
      long py = (row - first) * ystep, px = 65537 + col * xstep;
      long iy = py >> 16, ix = px >> 16;
      long fy = py & 0xFFFF, fx = px & 0xFFFF;
      long sy = startRow + iy, sx = r.left + ix;
      if (luma && py >= 65536 && iy < in.rows - 2) {
        long sum = 0;
        for (int k = 1; k <= 4; ++k) {
          long vw = CubicEntry((k * 65536 - fy) / 2);
          for (int t = 0; t < 4; ++t) {
            long hw = CubicEntry(fx / 2 + 32768 * (3 - t));
            sum += ((hw * vw) >> 16) * in.At(sx - 1 + t, sy - 2 + k);
          }
        }
        o = static_cast<uint8_t>((sum + 32768) >> 16);
      } else {
        long wx = fx >> 1, wy = fy >> 1;
        long top = in.At(sx, sy) * (32767 - wx) + in.At(sx + 1, sy) * wx;
        long bottom = in.At(sx, sy + 1) * (32767 - wx) + in.At(sx + 1, sy + 1) * wx;
        long value = (top >> 8) * (32767 - wy) + (bottom >> 8) * wy;
        o = static_cast<uint8_t>((value + (1 << 21)) >> 22);
      }
    }
  }
}

Region Align(RefCrop c) {
  return {((c.left + 1) / 4) * 4, ((c.top + 1) / 2) * 2, ((c.right + 1) / 4) * 4,
          ((c.bottom + 1) / 2) * 2};
}

}  // namespace

RefFrame ReferenceResize(const RefFrame& s, int dw, int dh, RefCrop crop) {
  RefFrame out;
  if (dw <= 0 || dh <= 0) return out;
  out.width = dw;
  out.height = dh;
  out.y.assign(size_t(dw) * dh, 0);
  out.u.assign(size_t(dw / 2) * (dh / 2), 0);
  out.v = out.u;
  Region r = Align(crop);
  bool scale = !(r.right - r.left == dw && r.bottom - r.top == dh);
  Region half{r.left / 2, r.top / 2, r.right / 2, r.bottom / 2};
  ResizePlane({s.y.data(), s.width, s.height}, r, dw, dh, true, scale, 16, out.y.data());
  ResizePlane({s.u.data(), s.width / 2, s.height / 2}, half, dw / 2, dh / 2, false, scale, 128,
              out.u.data());
  ResizePlane({s.v.data(), s.width / 2, s.height / 2}, half, dw / 2, dh / 2, false, scale, 128,
              out.v.data());
  return out;
}

RefFrame ReferenceCrop(const RefFrame& s, RefCrop crop) {
  Region r = Align(crop);
  int w = static_cast<int>(std::max(0L, r.right - r.left));
  int h = static_cast<int>(std::max(0L, r.bottom - r.top));
  RefFrame out;
  if (w == 0 || h == 0) return out;
  out.width = w;
  out.height = h;
  out.y.assign(size_t(w) * h, 0);
  out.u.assign(size_t(w / 2) * (h / 2), 0);
  out.v = out.u;
  Region half{r.left / 2, r.top / 2, r.right / 2, r.bottom / 2};
  ResizePlane({s.y.data(), s.width, s.height}, r, w, h, true, false, 16, out.y.data());
  ResizePlane({s.u.data(), s.width / 2, s.height / 2}, half, w / 2, h / 2, false, false, 128,
              out.u.data());
  ResizePlane({s.v.data(), s.width / 2, s.height / 2}, half, w / 2, h / 2, false, false, 128,
              out.v.data());
  return out;
}

}  // namespace mivora::test
