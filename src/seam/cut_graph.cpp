#include "seam/cut_graph.h"

#include <algorithm>
#include <vector>

#include "progress/progress_tracker.h"

namespace {
graph_arc terminal_marker{};
graph_arc orphan_marker{};
// A distance at or above this means the node is not connected to a terminal.
constexpr int32_t infinite_distance = 0x0FFFFFFF;
}  // namespace

graph_arc* const cut_graph::terminal = &terminal_marker;
graph_arc* const cut_graph::orphan = &orphan_marker;

graph_node* cut_graph::add_node() { return nodes_.take(); }

void cut_graph::add_edge(graph_node* i, graph_node* j, int32_t capacity) {
  graph_arc* a = arcs_.take();
  graph_arc* b = arcs_.take();
  a->sister = b;
  b->sister = a;
  a->next = i->first;
  i->first = a;
  b->next = j->first;
  j->first = b;
  a->head = j;
  b->head = i;
  a->r_cap = capacity;
  b->r_cap = capacity;
}

void cut_graph::set_terminal_capacities(graph_node* n, int32_t to_source, int32_t to_sink) {
  flow_ += static_cast<float>(std::min(to_source, to_sink));
  n->tr_cap = to_source - to_sink;
}

void cut_graph::set_active(graph_node* i) {
  if (i->next) return;
  if (queue_last_[1])
    queue_last_[1]->next = i;
  else
    queue_first_[1] = i;
  queue_last_[1] = i;
  i->next = i;
}

graph_node* cut_graph::next_active() {
  for (;;) {
    graph_node* i = queue_first_[0];
    if (!i) {
      queue_first_[0] = i = queue_first_[1];
      queue_last_[0] = queue_last_[1];
      queue_first_[1] = queue_last_[1] = nullptr;
      if (!i) return nullptr;
    }
    if (i->next == i)
      queue_first_[0] = queue_last_[0] = nullptr;
    else
      queue_first_[0] = i->next;
    i->next = nullptr;
    if (i->parent) return i;  // a node freed while queued is skipped
  }
}

orphan_entry* cut_graph::take_orphan_entry() {
  if (orphan_entry* e = free_orphans_) {
    free_orphans_ = e->next;
    return e;
  }
  return orphan_pool_.take();
}

void cut_graph::release_orphan_entry(orphan_entry* e) {
  e->next = free_orphans_;
  free_orphans_ = e;
}

void cut_graph::add_orphan_front(graph_node* i) {
  i->parent = orphan;
  orphan_entry* e = take_orphan_entry();
  e->node = i;
  e->next = orphan_first_;
  orphan_first_ = e;
  if (!orphan_last_) orphan_last_ = e;
}

void cut_graph::add_orphan_rear(graph_node* i) {
  i->parent = orphan;
  orphan_entry* e = take_orphan_entry();
  e->node = i;
  e->next = nullptr;
  if (orphan_last_)
    orphan_last_->next = e;
  else
    orphan_first_ = e;
  orphan_last_ = e;
}

void cut_graph::augment(graph_arc* middle) {
  graph_node* i;
  graph_arc* a;

  int32_t bottleneck = middle->r_cap;
  for (i = middle->sister->head;; i = a->head) {
    a = i->parent;
    if (a == terminal) break;
    bottleneck = std::min(bottleneck, a->sister->r_cap);
  }
  bottleneck = std::min(bottleneck, i->tr_cap);
  for (i = middle->head;; i = a->head) {
    a = i->parent;
    if (a == terminal) break;
    bottleneck = std::min(bottleneck, a->r_cap);
  }
  bottleneck = std::min(bottleneck, -i->tr_cap);

  middle->sister->r_cap += bottleneck;
  middle->r_cap -= bottleneck;
  for (i = middle->sister->head;; i = a->head) {
    a = i->parent;
    if (a == terminal) break;
    a->r_cap += bottleneck;
    a->sister->r_cap -= bottleneck;
    if (a->sister->r_cap == 0) add_orphan_front(i);
  }
  i->tr_cap -= bottleneck;
  if (i->tr_cap == 0) add_orphan_front(i);
  for (i = middle->head;; i = a->head) {
    a = i->parent;
    if (a == terminal) break;
    a->sister->r_cap += bottleneck;
    a->r_cap -= bottleneck;
    if (a->r_cap == 0) add_orphan_front(i);
  }
  i->tr_cap += bottleneck;
  if (i->tr_cap == 0) add_orphan_front(i);

  flow_ += static_cast<float>(bottleneck);
}

void cut_graph::adopt_orphans() {
  // Each orphan taken from the list is followed by the orphans its own processing
  // appends before the next one set aside is looked at.
  while (orphan_entry* head = orphan_first_) {
    orphan_entry* rest = head->next;
    head->next = nullptr;
    orphan_last_ = head;
    while (orphan_entry* e = orphan_first_) {
      orphan_first_ = e->next;
      if (!orphan_first_) orphan_last_ = nullptr;
      graph_node* i = e->node;
      release_orphan_entry(e);
      process_orphan(i);
    }
    orphan_first_ = rest;
  }
  orphan_last_ = nullptr;
}

namespace {
// Distance from j to its terminal along the tree (a node stamped with the current
// counter already knows it); infinite_distance when the path runs into an orphan.
int32_t tree_distance(graph_node* j, int64_t time) {
  int32_t d = 0;
  for (;;) {
    if (j->ts == time) return d + j->dist;
    graph_arc* a = j->parent;
    ++d;
    if (a == cut_graph::terminal) {
      j->ts = time;
      j->dist = 1;
      return d;
    }
    if (a == cut_graph::orphan) return infinite_distance;
    j = a->head;
  }
}

void stamp_path(graph_node* j, int64_t time, int32_t d) {
  for (; j->ts != time; j = j->parent->head) {
    j->ts = time;
    j->dist = d--;
  }
}
}  // namespace

// An orphan of the source tree looks for a parent along arcs that still carry flow towards
// it; an orphan of the sink tree along arcs that carry flow away from it.
void cut_graph::process_orphan(graph_node* i) {
  const bool sink = i->is_sink;
  auto residual_to_i = [sink](graph_arc* a0) { return sink ? a0->r_cap : a0->sister->r_cap; };
  graph_arc* best = nullptr;
  int32_t best_d = infinite_distance;
  for (graph_arc* a0 = i->first; a0; a0 = a0->next) {
    if (residual_to_i(a0) == 0) continue;
    graph_node* j = a0->head;
    if (j->is_sink != sink || !j->parent) continue;
    const int32_t d = tree_distance(j, time_);
    if (d >= infinite_distance) continue;
    if (d < best_d) {
      best = a0;
      best_d = d;
    }
    stamp_path(j, time_, d);
  }

  i->parent = best;
  if (best) {
    i->ts = time_;
    i->dist = best_d + 1;
    return;
  }
  i->ts = 0;
  for (graph_arc* a0 = i->first; a0; a0 = a0->next) {
    graph_node* j = a0->head;
    graph_arc* a = j->parent;
    if (j->is_sink != sink || !a) continue;
    if (residual_to_i(a0) != 0) set_active(j);
    if (a != terminal && a != orphan && a->head == i) add_orphan_rear(j);
  }
}

float cut_graph::max_flow(progress_tracker* progress) {
  stage_scope stage(progress, "Processing graph min cut");
  time_ = 0;
  queue_first_[0] = queue_last_[0] = queue_first_[1] = queue_last_[1] = nullptr;
  orphan_first_ = orphan_last_ = nullptr;

  nodes_.for_each([this](graph_node& i) {
    i.next = nullptr;
    i.ts = 0;
    i.is_sink = i.tr_cap < 0;
    if (i.tr_cap != 0) {
      i.parent = terminal;
      i.dist = 1;
      set_active(&i);
    } else {
      i.parent = nullptr;
    }
  });

  const double n = static_cast<double>(nodes_.size());
  graph_node* current = nullptr;
  for (;;) {
    graph_node* i = current;
    if (i) {
      i->next = nullptr;
      if (!i->parent) i = nullptr;
    }
    if (!i && !(i = next_active())) break;

    graph_arc* meeting = nullptr;
    if (!i->is_sink) {
      for (graph_arc* a = i->first; a; a = a->next) {
        if (a->r_cap == 0) continue;
        graph_node* j = a->head;
        if (!j->parent) {
          j->is_sink = false;
          j->parent = a->sister;
          j->ts = i->ts;
          j->dist = i->dist + 1;
          set_active(j);
        } else if (j->is_sink) {
          meeting = a;
          break;
        } else if (j->ts <= i->ts && j->dist > i->dist) {
          j->parent = a->sister;
          j->ts = i->ts;
          j->dist = i->dist + 1;
        }
      }
    } else {
      for (graph_arc* a = i->first; a; a = a->next) {
        if (a->sister->r_cap == 0) continue;
        graph_node* j = a->head;
        if (!j->parent) {
          j->is_sink = true;
          j->parent = a->sister;
          j->ts = i->ts;
          j->dist = i->dist + 1;
          set_active(j);
        } else if (!j->is_sink) {
          meeting = a->sister;
          break;
        } else if (j->ts <= i->ts && j->dist > i->dist) {
          j->parent = a->sister;
          j->ts = i->ts;
          j->dist = i->dist + 1;
        }
      }
    }

    ++time_;

    if (meeting) {
      i->next = i;  // stays marked active while it is the current node
      current = i;
      augment(meeting);
      adopt_orphans();
    } else {
      current = nullptr;
    }

    if (progress && time_ % 1024 == 0) stage.progress(100.0 - 100.0 * n / (static_cast<double>(time_) + n));
  }
  settle_free_nodes();
  return flow_;
}

// A free node keeps the side it last had, but a free node still on the sink side may be
// reachable through unsaturated arcs from a free node on the source side; cutting between
// them would cost more than the flow. Such nodes move to the source side, which leaves
// every side that already formed a minimum cut unchanged.
void cut_graph::settle_free_nodes() {
  std::vector<graph_node*> pending;
  nodes_.for_each([&pending](graph_node& i) {
    if (!i.parent && !i.is_sink) pending.push_back(&i);
  });
  while (!pending.empty()) {
    graph_node* i = pending.back();
    pending.pop_back();
    for (graph_arc* a = i->first; a; a = a->next) {
      graph_node* j = a->head;
      if (a->r_cap != 0 && j->is_sink && !j->parent) {
        j->is_sink = false;
        pending.push_back(j);
      }
    }
  }
}
