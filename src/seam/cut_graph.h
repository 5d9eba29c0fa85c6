// Graph of seam pixels with terminal links, cut by the Boykov-Kolmogorov augmenting-path
// maximum flow (two search trees, augmentation where they meet, adoption of orphans).
#pragma once

#include <cstdint>

#include "seam/record_pool.h"

class progress_tracker;
struct graph_node;

// One direction of an undirected edge; the other direction is its sister.
struct graph_arc {
  graph_arc* next;
  graph_arc* sister;
  graph_node* head;
  int32_t r_cap;
};

struct graph_node {
  graph_arc* parent;  // null = free; cut_graph::terminal / cut_graph::orphan are markers
  graph_arc* first;
  graph_node* next;  // active queue link; points to itself when last
  int64_t ts;  // step counter when dist was measured; 64 bits so that long runs cannot wrap
  int32_t dist;
  int32_t tr_cap;  // > 0 towards the source, < 0 towards the sink
  bool is_sink;
};

struct orphan_entry {
  graph_node* node;
  orphan_entry* next;
};

class cut_graph {
 public:
  cut_graph() = default;
  cut_graph(const cut_graph&) = delete;
  cut_graph& operator=(const cut_graph&) = delete;

  graph_node* add_node();
  // Two sister arcs of the same capacity, each put at the front of its node's list.
  void add_edge(graph_node* i, graph_node* j, int32_t capacity);
  // Capacities are non-negative; their difference must fit 32 bits.
  void set_terminal_capacities(graph_node* n, int32_t to_source, int32_t to_sink);

  // Afterwards each node's is_sink tells its side. Free nodes keep the side they last
  // had, except where that would not be a minimum cut (see settle_free_nodes).
  float max_flow(progress_tracker* progress);

  float flow() const { return flow_; }
  int64_t node_count() const { return nodes_.size(); }

  static graph_arc* const terminal;
  static graph_arc* const orphan;

 private:
  void set_active(graph_node* i);
  graph_node* next_active();
  void add_orphan_front(graph_node* i);
  void add_orphan_rear(graph_node* i);
  void augment(graph_arc* middle);
  void adopt_orphans();
  void process_orphan(graph_node* i);
  void settle_free_nodes();
  orphan_entry* take_orphan_entry();
  void release_orphan_entry(orphan_entry* e);

  record_pool<graph_node> nodes_;
  record_pool<graph_arc> arcs_;
  record_pool<orphan_entry> orphan_pool_;
  orphan_entry* free_orphans_ = nullptr;

  float flow_ = 0;
  int64_t time_ = 0;
  graph_node* queue_first_[2] = {nullptr, nullptr};
  graph_node* queue_last_[2] = {nullptr, nullptr};
  orphan_entry* orphan_first_ = nullptr;
  orphan_entry* orphan_last_ = nullptr;
};
