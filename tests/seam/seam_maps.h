// Seam maps drawn from character patterns for the seam tests: '1' image 1 only,
// '2' image 2 only, 'o' overlap, '.' neither; and a plain max-flow to check cuts against.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <queue>
#include <string>
#include <vector>

#include "image/dib.h"

namespace seam_maps {

constexpr int B = 0, G = 1, R = 2, A = 3;

using error_fn = std::function<int(int x, int y)>;

inline dib_ptr draw(
    const std::vector<std::string>& rows, const error_fn& error = [](int, int) { return 0; }) {
  const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
  dib_ptr map(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y) {
    locked_row row(*map, y);
    for (int x = 0; x < w; ++x) {
      uint8_t* p = row.bytes() + 4 * x;
      const int e = error(x, y);
      switch (rows[y][x]) {
        case '1':
          p[R] = 255, p[G] = 255, p[B] = 0, p[A] = 255;
          break;
        case '2':
          p[R] = 255, p[G] = 0, p[B] = 255, p[A] = 255;
          break;
        case 'o':
          p[R] = static_cast<uint8_t>(e), p[G] = 32, p[B] = 32, p[A] = 255;
          break;
        default:
          p[R] = static_cast<uint8_t>(e), p[G] = 0, p[B] = 0, p[A] = 0;
          break;
      }
    }
  }
  return map;
}

// One character per pixel: '1' or '2' for a pixel given to one image, 'o' undecided, '.' neither.
inline std::vector<std::string> sides(const dib_ptr& map) {
  std::vector<std::string> out;
  for (int y = 0; y < map->height(); ++y) {
    locked_row row(*map, y);
    std::string s;
    for (int x = 0; x < map->width(); ++x) {
      const uint8_t* p = row.bytes() + 4 * x;
      if (p[G] > 0 && p[B] > 0)
        s += 'o';
      else if (p[G] > 0)
        s += '1';
      else if (p[B] > 0)
        s += '2';
      else
        s += '.';
    }
    out.push_back(s);
  }
  return out;
}

inline std::vector<uint8_t> channel(const dib_ptr& map, int c) {
  std::vector<uint8_t> out;
  for (int y = 0; y < map->height(); ++y) {
    locked_row row(*map, y);
    for (int x = 0; x < map->width(); ++x) out.push_back(row.bytes()[4 * x + c]);
  }
  return out;
}

// Breadth-first augmenting paths on an adjacency-list residual network.
class edmonds_karp {
 public:
  explicit edmonds_karp(int nodes) : adjacent_(nodes) {}

  void add(int u, int v, int64_t forward, int64_t backward) {
    adjacent_[u].push_back(static_cast<int>(arcs_.size()));
    arcs_.push_back({v, forward});
    adjacent_[v].push_back(static_cast<int>(arcs_.size()));
    arcs_.push_back({u, backward});
  }

  int64_t run(int s, int t) {
    int64_t total = 0;
    const int n = static_cast<int>(adjacent_.size());
    for (;;) {
      std::vector<int> via(n, -1);
      std::vector<bool> seen(n, false);
      std::queue<int> q;
      q.push(s);
      seen[s] = true;
      while (!q.empty() && !seen[t]) {
        const int u = q.front();
        q.pop();
        for (int k : adjacent_[u]) {
          const arc& a = arcs_[k];
          if (a.cap > 0 && !seen[a.to]) {
            seen[a.to] = true;
            via[a.to] = k;
            q.push(a.to);
          }
        }
      }
      if (!seen[t]) return total;
      int64_t push = std::numeric_limits<int64_t>::max();
      for (int v = t; v != s; v = arcs_[via[v] ^ 1].to) push = std::min(push, arcs_[via[v]].cap);
      for (int v = t; v != s; v = arcs_[via[v] ^ 1].to) {
        arcs_[via[v]].cap -= push;
        arcs_[via[v] ^ 1].cap += push;
      }
      total += push;
    }
  }

 private:
  struct arc {
    int to;
    int64_t cap;
  };
  std::vector<arc> arcs_;
  std::vector<std::vector<int>> adjacent_;
};

}  // namespace seam_maps
