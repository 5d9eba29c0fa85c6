// Slow references for the pyramid and filter kernels, written per pixel straight from their
// formulas over plain arrays, and the random pictures the fast kernels are compared on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/dib.h"

namespace kernel_reference {

// Pixels as plain numbers in memory order (B, G, R[, A]), row after row without padding.
template <class T>
struct picture {
  int w = 0, h = 0, ch = 4;
  std::vector<T> px;
  picture() = default;
  picture(int width, int height, int channels = 4)
      : w(width), h(height), ch(channels), px(static_cast<size_t>(width) * height * channels, T(0)) {}
  T* at(int x, int y) { return px.data() + (static_cast<size_t>(y) * w + x) * ch; }
  const T* at(int x, int y) const { return px.data() + (static_cast<size_t>(y) * w + x) * ch; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
};
using bytes = picture<uint8_t>;
using floats = picture<float>;

template <class T>
picture<T> read(const dib_ptr& image) {
  const int ch = image->bits_per_pixel() == 24 ? 3 : 4;
  picture<T> p(image->width(), image->height(), ch);
  for (int y = 0; y < p.h; ++y) {
    locked_row row(*image, y);
    std::memcpy(p.at(0, y), row.bytes(), sizeof(T) * ch * p.w);
  }
  return p;
}

template <class T>
dib_ptr make(const picture<T>& p) {
  dib_ptr image(sizeof(T) == 4 ? create_float_dib(p.w, p.h) : create_dib(p.w, p.h, 8 * p.ch));
  for (int y = 0; y < p.h; ++y) {
    locked_row row(*image, y);
    std::memcpy(row.bytes(), p.at(0, y), sizeof(T) * p.ch * p.w);
  }
  return image;
}

// Random colours; alpha 0 in a random rectangle and in a quarter of the other pixels, 255 in a
// second rectangle and in a quarter of the rest, anything elsewhere.
inline bytes random_bytes(std::mt19937& rng, int w, int h, int ch = 4) {
  bytes p(w, h, ch);
  auto rect = [&] {
    int x0 = rng() % w, y0 = rng() % h;
    return std::vector<int>{x0, y0, x0 + int(rng() % (w - x0)), y0 + int(rng() % (h - y0))};
  };
  const std::vector<int> clear = rect(), solid = rect();
  auto in = [](const std::vector<int>& r, int x, int y) {
    return x >= r[0] && x <= r[2] && y >= r[1] && y <= r[3];
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = p.at(x, y);
      for (int c = 0; c < ch; ++c) q[c] = static_cast<uint8_t>(rng());
      if (ch < 4) continue;
      const uint32_t pick = rng() % 4;
      if (in(clear, x, y) || pick == 0)
        q[3] = 0;
      else if (in(solid, x, y) || pick == 1)
        q[3] = 255;
    }
  return p;
}

// Colours 0..1 in steps of 1/1000, alphas as random_bytes gives them, scaled to 0..1.
inline floats random_floats(std::mt19937& rng, int w, int h) {
  const bytes alpha = random_bytes(rng, w, h);
  floats p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) p.at(x, y)[c] = static_cast<float>(rng() % 1001) / 1000.0f;
      p.at(x, y)[3] = static_cast<float>(alpha.at(x, y)[3]) / 255.0f;
    }
  return p;
}

inline uint32_t reciprocal(uint32_t s) { return (((s + 1) >> 1) + (1u << 24)) / s; }

inline bytes reduce(const bytes& s) {
  bytes o((s.w + 1) / 2, (s.h + 1) / 2);
  for (int y = 0; y < o.h; ++y)
    for (int x = 0; x < o.w; ++x) {
      uint32_t sa = 0, sc[3] = {0, 0, 0};
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          if (!s.inside(2 * x + dx, 2 * y + dy)) continue;
          const uint8_t* p = s.at(2 * x + dx, 2 * y + dy);
          sa += p[3];
          for (int c = 0; c < 3; ++c) sc[c] += p[c] * p[3];
        }
      if (sa == 0) continue;
      for (int c = 0; c < 3; ++c) o.at(x, y)[c] = uint8_t((reciprocal(sa) * sc[c] + (1u << 23)) >> 24);
      o.at(x, y)[3] = uint8_t((sa + 2) >> 2);
    }
  return o;
}

inline bytes expand(const bytes& s, int ow, int oh) {
  bytes o(ow, oh);
  auto channel = [&](int x, int y, int c) -> uint32_t { return s.inside(x, y) ? s.at(x, y)[c] : 0; };
  for (int y = 0; y < oh; ++y)
    for (int x = 0; x < ow; ++x) {
      const int near_y = y / 2, far_y = y % 2 ? near_y + 1 : near_y - 1;
      const int i = x / 2, nb = x % 2 ? i + 1 : i - 1;
      auto alpha_sum = [&](int j) { return 3 * channel(j, near_y, 3) + channel(j, far_y, 3); };
      auto colour_sum = [&](int j, int c) {
        return 3 * channel(j, near_y, 3) * channel(j, near_y, c) +
               channel(j, far_y, 3) * channel(j, far_y, c);
      };
      const uint32_t t = 3 * alpha_sum(i) + alpha_sum(nb);
      if (t == 0) continue;
      for (int c = 0; c < 3; ++c)
        o.at(x, y)[c] =
            uint8_t((reciprocal(t) * (3 * colour_sum(i, c) + colour_sum(nb, c)) + (1u << 23)) >> 24);
      o.at(x, y)[3] = uint8_t((t + 8) >> 4);
    }
  return o;
}

// sign -1: band-pass difference fine - expanded; +1: sum band + expanded.
inline bytes combine(const bytes& e, const bytes& other, int sign) {
  bytes o(e.w, e.h);
  for (int y = 0; y < e.h; ++y)
    for (int x = 0; x < e.w; ++x) {
      const uint8_t* f = other.at(x, y);
      if (f[3] == 0) continue;
      for (int c = 0; c < 3; ++c) {
        const int v = sign < 0 ? f[c] - e.at(x, y)[c] + 127 : f[c] + e.at(x, y)[c] - 127;
        o.at(x, y)[c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
      }
      o.at(x, y)[3] = f[3];
    }
  return o;
}

// high_pass false: low pass. dst starts as the destination's old content.
inline bytes box_filter(const bytes& s, bytes dst, int r, bool high_pass, int gain) {
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < s.w; ++x) {
      int64_t sum[3] = {0, 0, 0}, n = 0;
      for (int v = std::max(0, y - r); v <= std::min(s.h - 1, y + r); ++v)
        for (int u = std::max(0, x - r); u <= std::min(s.w - 1, x + r); ++u) {
          const uint8_t* p = s.at(u, v);
          if (s.ch == 4 && p[3] == 0) continue;
          for (int c = 0; c < 3; ++c) sum[c] += p[c];
          ++n;
        }
      if (n == 0) continue;
      const uint8_t* p = s.at(x, y);
      uint8_t* d = dst.at(x, y);
      if (s.ch == 4) d[3] = p[3];
      for (int c = 0; c < 3; ++c) {
        const int64_t v = high_pass ? ((n * p[c] + n / 2 - sum[c]) * gain) / n + 127 : (sum[c] + n / 2) / n;
        d[c] = s.ch == 4 && p[3] == 0 ? 0 : uint8_t(std::clamp<int64_t>(v, 0, 255));
      }
    }
  return dst;
}

inline void blend(bytes& l1, const bytes& l2, const bytes& m) {
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      uint8_t* p = l1.at(x, y);
      const uint8_t* q = l2.at(x, y);
      if (q[3] == 0) continue;
      if (p[3] == 0) {
        std::copy(q, q + 4, p);
        continue;
      }
      const int share = (m.at(x, y)[1] - m.at(x, y)[0] + 256) >> 1;
      const int w1 = p[3] * share, w2 = q[3] * (255 - share), f = w1 + w2;
      for (int c = 0; c < 3; ++c) p[c] = uint8_t((w1 * p[c] + w2 * q[c] + f / 2) / f);
      p[3] = uint8_t((f + 127) / 255);
    }
}

inline void blend(floats& l1, const floats& l2, const bytes& m) {
  const float t = 1.52587890625e-05f;
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      float* p = l1.at(x, y);
      const float* q = l2.at(x, y);
      const float a = m.at(x, y)[1], b = m.at(x, y)[0];
      float out[4] = {p[0], p[1], p[2], p[3]};
      if (p[3] > t && q[3] > t && a > 0 && b > 0) {
        const float c = a * p[3], d = b * q[3], e = c + d;
        for (int k = 0; k < 3; ++k) out[k] = (c / e) * p[k] + (d / e) * q[k];
        out[3] = e / (a + b);
      } else if (p[3] > t && q[3] > t && a == 0 && b == 0) {
        for (int k = 0; k < 3; ++k) out[k] = (q[3] * q[k] + p[3] * p[k]) / (p[3] + q[3]);
        out[3] = (p[3] + q[3]) * 0.5f;
      } else if ((p[3] > t && q[3] > t && a == 0) || (!(p[3] > t) && q[3] > t)) {
        std::copy(q, q + 4, out);
      } else if (!(p[3] > t)) {
        std::fill(out, out + 4, 0.0f);
      }
      std::copy(out, out + 4, p);
    }
}

inline floats reduce(const floats& s) {
  floats o((s.w + 1) / 2, (s.h + 1) / 2);
  for (int y = 0; y < o.h; ++y)
    for (int x = 0; x < o.w; ++x) {
      float sa = 0.0f, sc[3] = {0.0f, 0.0f, 0.0f};
      const int order[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
      for (const auto& d : order) {
        if (!s.inside(2 * x + d[0], 2 * y + d[1])) continue;
        const float* p = s.at(2 * x + d[0], 2 * y + d[1]);
        for (int c = 0; c < 3; ++c) sc[c] = sc[c] + p[c] * p[3];
        sa = sa + p[3];
      }
      if (!(sa > 0.0f)) continue;
      for (int c = 0; c < 3; ++c) o.at(x, y)[c] = sc[c] / sa;
      o.at(x, y)[3] = sa * 0.25f;
    }
  return o;
}

enum class write_mode { store, subtract, add };

// Applies the float expansion of s to target (sized as the output) in the given mode.
inline void expand(const floats& s, floats& target, bool weighted, write_mode mode) {
  const float eps = 1.52587890625e-05f;
  const int pairs = target.w / 2;
  auto row = [&](int y) { return std::clamp(y, 0, s.h - 1); };
  for (int y = 0; y < target.h; ++y)
    for (int x = 0; x < target.w; ++x) {
      const int near_y = row(y / 2), far_y = row(y % 2 ? y / 2 + 1 : y / 2 - 1);
      // The odd last pixel takes its left neighbour's columns.
      const int xx = std::min(x, std::max(2 * pairs - 1, 0));
      const int i = xx / 2;
      const int nb = xx % 2 ? std::min(i + 1, std::max(pairs - 1, 0)) : std::max(i - 1, 0);
      auto vertical = [&](int j, float* v) {
        const float* n = s.at(j, near_y);
        const float* f = s.at(j, far_y);
        if (weighted) {
          const float a = 0.75f * n[3] + 0.25f * f[3];
          for (int c = 0; c < 3; ++c) v[c] = a <= eps ? 0.0f : (0.75f * n[3]) * n[c] + (0.25f * f[3]) * f[c];
          v[3] = a <= eps ? 0.0f : a;
        } else {
          const float a = 3.0f * n[3] + f[3];
          for (int c = 0; c < 4; ++c) v[c] = a <= eps ? 0.0f : 3.0f * n[c] + f[c];
        }
      };
      float vi[4], vn[4], out[4];
      vertical(i, vi);
      vertical(nb, vn);
      if (weighted) {
        const float a = 0.75f * vi[3] + 0.25f * vn[3];
        for (int c = 0; c < 3; ++c) out[c] = a <= eps ? 0.0f : (0.25f / a) * (3.0f * vi[c] + vn[c]);
        out[3] = a <= eps ? 0.0f : a;
      } else {
        const float a = 3.0f * vi[3] + vn[3];
        for (int c = 0; c < 4; ++c) out[c] = a <= eps ? 0.0f : (3.0f * vi[c] + vn[c]) / 16.0f;
      }
      float* t = target.at(x, y);
      if (mode == write_mode::store) std::copy(out, out + 4, t);
      if (mode == write_mode::subtract && t[3] > eps)
        for (int c = 0; c < 3; ++c) t[c] = (t[c] + 0.5f) - out[c];
      if (mode == write_mode::add)
        for (int c = 0; c < 3; ++c) t[c] = (t[c] + out[c]) - 0.5f;
    }
}

}  // namespace kernel_reference
