#include "seam/cut_graph.h"

#include <gtest/gtest.h>

#include <random>

#include "seam/cut_seam_region.h"
#include "seam_maps.h"
#include "support/recording_tracker.h"

using namespace seam_maps;

namespace {

constexpr int64_t weak = 100, strong = 0x10000000;

struct random_graph {
  struct edge {
    int i, j, cap;
  };
  std::vector<int> to_source, to_sink;
  std::vector<edge> edges;
};

random_graph make_random_graph(std::mt19937& rng) {
  random_graph g;
  const int n = 1 + static_cast<int>(rng() % 10);
  const int cap_max = 1 + static_cast<int>(rng() % 9);
  for (int i = 0; i < n; ++i) {
    // Many nodes without terminal links, some with both.
    const int kind = static_cast<int>(rng() % 4);
    g.to_source.push_back(kind == 1 || kind == 3 ? static_cast<int>(rng() % (cap_max + 1)) : 0);
    g.to_sink.push_back(kind == 2 || kind == 3 ? static_cast<int>(rng() % (cap_max + 1)) : 0);
  }
  const int m = n < 2 ? 0 : static_cast<int>(rng() % (2 * n + 1));
  for (int k = 0; k < m; ++k) {
    const int i = static_cast<int>(rng() % n);
    int j = static_cast<int>(rng() % (n - 1));
    if (j >= i) ++j;
    g.edges.push_back({i, j, static_cast<int>(rng() % (cap_max + 1))});
  }
  return g;
}

int64_t reference_max_flow(const random_graph& g) {
  const int n = static_cast<int>(g.to_source.size());
  edmonds_karp ek(n + 2);
  for (int i = 0; i < n; ++i) {
    ek.add(n, i, g.to_source[i], 0);
    ek.add(i, n + 1, g.to_sink[i], 0);
  }
  for (const auto& e : g.edges) ek.add(e.i, e.j, e.cap, e.cap);
  return ek.run(n, n + 1);
}

// Terminal capacities (source, sink) of a seam pixel from its 3 x 3 window.
std::pair<int64_t, int64_t> terminal_links(const std::vector<std::string>& rows, int x, int y) {
  bool s1 = false, s2 = false;
  for (int v = y - 1; v <= y + 1; ++v)
    for (int u = x - 1; u <= x + 1; ++u) {
      if (v < 0 || u < 0 || v >= static_cast<int>(rows.size()) || u >= static_cast<int>(rows[0].size()))
        continue;
      s1 = s1 || rows[v][u] == '1';
      s2 = s2 || rows[v][u] == '2';
    }
  if (!s1 && !s2) return {0, 0};
  return {s1 ? weak : strong, s2 ? weak : strong};
}

// Maximum flow of the seam network, built independently of cut_seam_region.
int64_t seam_max_flow(const std::vector<std::string>& rows, const std::vector<std::vector<int>>& err) {
  const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
  const int s = w * h, t = w * h + 1;
  edmonds_karp ek(w * h + 2);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (rows[y][x] != 'o') continue;
      auto [src, snk] = terminal_links(rows, x, y);
      ek.add(s, y * w + x, src, 0);
      ek.add(y * w + x, t, snk, 0);
      const int64_t ep = err[y][x];
      if (x + 1 < w && rows[y][x + 1] == 'o') {
        const int64_t eq = err[y][x + 1];
        ek.add(y * w + x, y * w + x + 1, ep * ep + eq * eq, ep * ep + eq * eq);
      }
      if (y + 1 < h && rows[y + 1][x] == 'o') {
        const int64_t eq = err[y + 1][x];
        ek.add(y * w + x, (y + 1) * w + x, ep * ep + eq * eq, ep * ep + eq * eq);
      }
    }
  return ek.run(s, t);
}

// Capacity of the cut that the sides after cut_seam_region describe (image 1 = sink side).
int64_t seam_cut_capacity(const std::vector<std::string>& rows, const std::vector<std::vector<int>>& err,
                          const std::vector<std::string>& after) {
  const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
  int64_t cut = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (rows[y][x] != 'o') continue;
      auto [src, snk] = terminal_links(rows, x, y);
      cut += after[y][x] == '1' ? src : snk;
      const int64_t ep = err[y][x];
      if (x + 1 < w && rows[y][x + 1] == 'o' && after[y][x] != after[y][x + 1])
        cut += ep * ep + int64_t{err[y][x + 1]} * err[y][x + 1];
      if (y + 1 < h && rows[y + 1][x] == 'o' && after[y][x] != after[y + 1][x])
        cut += ep * ep + int64_t{err[y + 1][x]} * err[y + 1][x];
    }
  return cut;
}

struct random_map {
  std::vector<std::string> rows;
  std::vector<std::vector<int>> err;
};

random_map make_random_map(std::mt19937& rng, int w, int h, int error_max) {
  random_map m;
  for (int y = 0; y < h; ++y) {
    std::string row;
    std::vector<int> e;
    for (int x = 0; x < w; ++x) {
      const int k = static_cast<int>(rng() % 20);
      row += k < 12 ? 'o' : k < 15 ? '1' : k < 18 ? '2' : '.';
      e.push_back(static_cast<int>(rng() % (error_max + 1)));
    }
    m.rows.push_back(row);
    m.err.push_back(e);
  }
  return m;
}

void expect_cut_is_minimal(const random_map& m, const std::string& context) {
  dib_ptr map = draw(m.rows, [&](int x, int y) { return m.err[y][x]; });
  const std::vector<uint8_t> before_r = channel(map, R);
  cut_seam_region(map, nullptr);
  const std::vector<std::string> after = sides(map);
  const std::vector<uint8_t> after_r = channel(map, R), after_a = channel(map, A);
  const int w = static_cast<int>(m.rows[0].size());
  for (size_t y = 0; y < m.rows.size(); ++y)
    for (int x = 0; x < w; ++x) {
      const char was = m.rows[y][x];
      if (was == 'o') {
        ASSERT_TRUE(after[y][x] == '1' || after[y][x] == '2') << context;
        ASSERT_EQ(after_a[y * w + x], 255) << context;
      } else {
        ASSERT_EQ(after[y][x], was) << context;
      }
      ASSERT_EQ(after_r[y * w + x], before_r[y * w + x]) << context;
    }
  ASSERT_EQ(seam_cut_capacity(m.rows, m.err, after), seam_max_flow(m.rows, m.err)) << context;
}

}  // namespace

TEST(CutGraph, RandomGraphsReachTheMaximumFlowAndCutAtIt) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 4000; ++round) {
    const random_graph g = make_random_graph(rng);
    cut_graph graph;
    std::vector<graph_node*> nodes;
    for (size_t i = 0; i < g.to_source.size(); ++i) {
      nodes.push_back(graph.add_node());
      graph.set_terminal_capacities(nodes.back(), g.to_source[i], g.to_sink[i]);
    }
    for (const auto& e : g.edges) graph.add_edge(nodes[e.i], nodes[e.j], e.cap);
    const float flow = graph.max_flow(nullptr);
    const int64_t expected = reference_max_flow(g);
    ASSERT_EQ(static_cast<int64_t>(flow), expected) << "round " << round;

    int64_t cut = 0;
    for (size_t i = 0; i < nodes.size(); ++i) cut += nodes[i]->is_sink ? g.to_source[i] : g.to_sink[i];
    for (const auto& e : g.edges)
      if (nodes[e.i]->is_sink != nodes[e.j]->is_sink) cut += e.cap;
    ASSERT_EQ(cut, expected) << "round " << round;
  }
}

TEST(CutGraph, RandomSeamMapsAreCutAtTheMaximumFlow) {
  std::mt19937 rng(77);
  const int error_max[] = {0, 1, 3, 20, 255};
  for (int round = 0; round < 3000; ++round) {
    const int w = 1 + static_cast<int>(rng() % 8), h = 1 + static_cast<int>(rng() % 7);
    const random_map m = make_random_map(rng, w, h, error_max[round % 5]);
    expect_cut_is_minimal(m, "round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST(CutGraph, LargeMapsSpanSeveralPoolBlocks) {
  std::mt19937 rng(5);
  for (int round = 0; round < 3; ++round) {
    random_map m = make_random_map(rng, 64, 40, round == 0 ? 2 : 40);
    // A smooth ridge of cheap pixels gives long augmenting paths and many orphans.
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x) {
        if (x < 3)
          m.rows[y][x] = '1';
        else if (x > 60)
          m.rows[y][x] = '2';
        else if (m.rows[y][x] != '.')
          m.rows[y][x] = 'o';
        if (round == 2) m.err[y][x] = std::abs(x - 32 - (y % 7)) * 6;
      }
    expect_cut_is_minimal(m, "round " + std::to_string(round));
  }
}

TEST(CutGraph, EmptyGraphStopsAtOnce) {
  cut_graph graph;
  EXPECT_EQ(graph.max_flow(nullptr), 0.0f);

  const std::vector<std::string> rows = {"1122.", "..21."};
  dib_ptr map = draw(rows, [](int x, int y) { return 7 * x + y; });
  const std::vector<uint8_t> r = channel(map, R), a = channel(map, A);
  EXPECT_EQ(cut_seam_region(map, nullptr), map);
  EXPECT_EQ(sides(map), rows);
  EXPECT_EQ(channel(map, R), r);
  EXPECT_EQ(channel(map, A), a);
  EXPECT_FALSE(cut_seam_region(dib_ptr(), nullptr));
}

// Flat error: both cuts cost the same. Nodes are activated in creation (raster) order,
// so the tree rooted at the left column grows into the middle column first; the middle
// node is orphaned by the first augmentation, freed, and keeps the side it last had.
TEST(CutGraph, FlatErrorTiesFollowTheTreeOrder) {
  auto cut = [](const std::vector<std::string>& rows) {
    dib_ptr map = draw(rows, [](int, int) { return 9; });
    cut_seam_region(map, nullptr);
    return sides(map);
  };
  EXPECT_EQ(cut({"1ooo2"}), std::vector<std::string>({"11122"}));
  EXPECT_EQ(cut({"2ooo1"}), std::vector<std::string>({"22211"}));
  EXPECT_EQ(cut({"1ooo2", "1ooo2"}), std::vector<std::string>({"11122", "11122"}));
  EXPECT_EQ(cut({"2ooo1", "2ooo1"}), std::vector<std::string>({"22211", "22211"}));
}

// Cutting either beside x = 1 or beside x = 2 costs one flat edge. The middle node
// (2, 0) scans right before down, so it meets the source tree before it can grow into
// (2, 1); the augmentation frees it with the sink side as its last, but the untouched
// (2, 1) below still reaches it through an unsaturated edge, so both settle on image 2.
TEST(CutGraph, ArcScanOrderDecidesTies) {
  dib_ptr map = draw({"1oooo2", "..o..."}, [](int, int) { return 5; });
  cut_seam_region(map, nullptr);
  EXPECT_EQ(sides(map), std::vector<std::string>({"112222", "..2..."}));
}

TEST(CutGraph, UnreachedPixelsEndOnTheImage2Side) {
  // Error 0 makes edges of capacity 0, which no tree crosses.
  dib_ptr map = draw({"1oo."});
  cut_seam_region(map, nullptr);
  EXPECT_EQ(sides(map), std::vector<std::string>({"112."}));

  // Touching both sides ties a pixel to neither.
  map = draw({"1o2"}, [](int, int) { return 50; });
  cut_seam_region(map, nullptr);
  EXPECT_EQ(sides(map), std::vector<std::string>({"122"}));

  map = draw({"...", ".o.", "..."});
  cut_seam_region(map, nullptr);
  EXPECT_EQ(sides(map), std::vector<std::string>({"...", ".2.", "..."}));
}

TEST(CutGraph, ExpensiveColumnIsAvoided) {
  // Column 2 is expensive, column 4 cheap: the cut runs on either side of column 4.
  const std::vector<std::string> rows(4, "1ooooo2");
  const std::vector<int> col_error = {0, 10, 200, 10, 1, 10, 0};
  dib_ptr map = draw(rows, [&](int x, int) { return col_error[x]; });
  recording_tracker tracker;
  cut_seam_region(map, &tracker);
  EXPECT_EQ(tracker.depth, 0);
  for (const std::string& row : sides(map)) {
    EXPECT_EQ(row.substr(0, 4), "1111");
    EXPECT_EQ(row.substr(5), "22");
  }
  int labels = 0;
  for (const auto& c : tracker.calls)
    labels += c.label == "Analizing seam region" || c.label == "Processing graph min cut";
  EXPECT_EQ(labels, 2);
}
