#include "seam/cut_seam_region.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "blend/seam_pixel.h"
#include "platform/internal_error.h"
#include "progress/profiler.h"
#include "progress/progress_tracker.h"
#include "seam/cut_graph.h"

namespace {

// Terminal capacities: a pixel is tied hard to the image whose pure area it touches.
constexpr int32_t weak_link = 100;
constexpr int32_t strong_link = 0x10000000;

// Image 1 is the sink of the cut, image 2 the source: a pixel touching only image 1's area
// keeps a strong link to the sink and a weak one to the source.
void tie_to_images(cut_graph& graph, graph_node* n, bool touches_image1, bool touches_image2) {
  graph.set_terminal_capacities(n, touches_image1 ? weak_link : strong_link,
                                touches_image2 ? weak_link : strong_link);
}
bool cut_to_image1(const graph_node& n) { return n.is_sink; }

double row_percent(int32_t y, int32_t h) { return static_cast<double>(static_cast<int64_t>(100) * y / h); }

void add_nodes(dib& map, cut_graph& graph, std::vector<graph_node*>& table, progress_tracker* progress) {
  stage_scope stage(progress, "");
  const int32_t w = map.width(), h = map.height();
  for (int32_t y = 0; y < h; ++y) {
    std::optional<locked_row> above, below;
    if (y > 0) above.emplace(map, y - 1);
    locked_row here(map, y);
    if (y + 1 < h) below.emplace(map, y + 1);
    const uint8_t* rows[3] = {above ? above->bytes() : nullptr, here.bytes(),
                              below ? below->bytes() : nullptr};

    graph_node** nodes = table.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      if (!const_seam_pixel(rows[1] + 4 * x).in_overlap()) continue;
      graph_node* n = graph.add_node();
      nodes[x] = n;
      bool s1 = false, s2 = false;
      const int32_t x0 = std::max(x - 1, 0), x1 = std::min(x + 1, w - 1);
      for (const uint8_t* row : rows) {
        if (!row) continue;
        for (int32_t xx = x0; xx <= x1; ++xx) {
          const const_seam_pixel p(row + 4 * xx);
          s1 = s1 || p.image1_only();
          s2 = s2 || p.image2_only();
        }
      }
      if (s1 || s2) tie_to_images(graph, n, s1, s2);
    }
    stage.progress(row_percent(y, h));
  }
}

void add_edges(dib& map, cut_graph& graph, const std::vector<graph_node*>& table,
               progress_tracker* progress) {
  stage_scope stage(progress, "");
  const int32_t w = map.width(), h = map.height();
  for (int32_t y = 0; y < h; ++y) {
    locked_row here(map, y);
    std::optional<locked_row> below;
    if (y + 1 < h) below.emplace(map, y + 1);
    const uint8_t* row = here.bytes();
    const uint8_t* next_row = below ? below->bytes() : nullptr;
    graph_node* const* nodes = table.data() + static_cast<size_t>(y) * w;
    graph_node* const* nodes_below = next_row ? nodes + w : nullptr;
    for (int32_t x = 0; x < w; ++x) {
      graph_node* p = nodes[x];
      if (!p) continue;
      const int32_t ep = const_seam_pixel(row + 4 * x).cost();
      if (nodes_below && nodes_below[x]) {
        const int32_t eq = const_seam_pixel(next_row + 4 * x).cost();
        graph.add_edge(p, nodes_below[x], ep * ep + eq * eq);
      }
      if (x + 1 < w && nodes[x + 1]) {
        const int32_t eq = const_seam_pixel(row + 4 * (x + 1)).cost();
        graph.add_edge(p, nodes[x + 1], ep * ep + eq * eq);
      }
    }
    stage.progress(row_percent(y, h));
  }
}

void read_back(dib& map, const std::vector<graph_node*>& table, progress_tracker* progress) {
  stage_scope stage(progress, "");
  const int32_t w = map.width(), h = map.height();
  for (int32_t y = 0; y < h; ++y) {
    locked_row here(map, y);
    uint8_t* m = here.bytes();
    graph_node* const* nodes = table.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x, m += 4) {
      const graph_node* n = nodes[x];
      if (!n) continue;
      const bool image1 = cut_to_image1(*n);
      const seam_pixel p(m);
      p.set_shares(image1 ? 255 : 0, image1 ? 0 : 255);
      p.set_valid(255);
    }
    stage.progress(row_percent(y, h));
  }
}

}  // namespace

dib_ptr cut_seam_region(const dib_ptr& seam_map, progress_tracker* progress) {
  if (!seam_map) return {};
  QM_ASSERT(seam_map->model() == bgra32);
  stage_scope stage(progress, "Analizing seam region");
  dib& map = *seam_map;
  std::vector<graph_node*> table(static_cast<size_t>(map.width()) * map.height(), nullptr);
  cut_graph graph;

  stage.step_end(10);
  add_nodes(map, graph, table, progress);
  stage.step_end(40);
  add_edges(map, graph, table, progress);
  stage.step_end(70);
  {
    profile_scope timing("max flow");
    graph.max_flow(progress);
  }
  stage.step_end(100);
  read_back(map, table, progress);
  return seam_map;
}
