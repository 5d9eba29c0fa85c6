// The seam cut on a real overlap: two misregistered crops of a photograph (256 x 320
// overlap pixels, 81920 graph nodes) through the seam map and the minimum cut.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "image/dib.h"
#include "io/load_image.h"
#include "progress/progress_tracker.h"
#include "merge/options.h"
#include "seam/cut_seam_region.h"
#include "seam/seam_error.h"

#define QM_PHOTO QM_PHOTO_DIR "/aitzgorri.jpg"

namespace {

constexpr int32_t map_size = 320, overlap_left = 32, overlap_width = 256;
// Image 2 shows the scene moved by this much, as a slightly misregistered second shot.
constexpr int32_t shift_x = 2, shift_y = 1;

// Gradients with noise, for when the photograph cannot be loaded.
dib_ptr synthetic_picture() {
  dib_ptr image(create_dib(1024, 1024, 32));
  uint32_t state = 7;
  for (int32_t y = 0; y < 1024; ++y) {
    locked_row row(*image, y);
    uint8_t* p = row.bytes();
    for (int32_t x = 0; x < 1024; ++x, p += 4) {
      state = state * 1664525u + 1013904223u;
      const uint32_t noise = state >> 26;
      p[0] = static_cast<uint8_t>((x / 8 + noise) & 255);
      p[1] = static_cast<uint8_t>((y / 6 + noise) & 255);
      p[2] = static_cast<uint8_t>(((x ^ y) / 4) & 255);
      p[3] = 255;
    }
  }
  return image;
}

dib_ptr source_picture() {
  try {
    dib_ptr photo(load_image(QM_PHOTO, nullptr));
    if (photo && photo->model() == bgra32) return photo;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "seam_bench: %s; using a synthetic picture\n", e.what());
  }
  return synthetic_picture();
}

// A map_size square crop whose columns outside [first, last] are transparent.
dib_ptr crop(const dib_ptr& photo, int32_t x0, int32_t y0, int32_t first, int32_t last) {
  dib_ptr out(create_dib(map_size, map_size, 32));
  for (int32_t y = 0; y < map_size; ++y) {
    locked_row src(*photo, y0 + y), dst(*out, y);
    for (int32_t x = first; x <= last; ++x) {
      const uint8_t* s = src.bytes() + 4 * static_cast<size_t>(x0 + x);
      uint8_t* d = dst.bytes() + 4 * static_cast<size_t>(x);
      d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
    }
  }
  return out;
}

struct seam_inputs {
  dib_ptr image1, image2;
};

const seam_inputs& inputs() {
  static const seam_inputs in = [] {
    dib_ptr photo = source_picture();
    const int32_t x0 = photo->width() / 2 - map_size / 2, y0 = photo->height() / 2 - map_size / 2;
    return seam_inputs{crop(photo, x0, y0, 0, overlap_left + overlap_width - 1),
                       crop(photo, x0 + shift_x, y0 + shift_y, overlap_left, map_size - 1)};
  }();
  return in;
}

dib_ptr make_seam_map(int* overlap) {
  blend_options options;
  dib_ptr a(inputs().image1->clone()), b(inputs().image2->clone());
  dib_ptr map(a->create_blank(map_size, map_size));
  *overlap = compute_seam_error(a, b, map, blend_context{options, nullptr, nullptr});
  add_distance_error(map, blend_context{options, nullptr, nullptr});
  return map;
}

// Wall time of the maximum flow inside cut_seam_region, read from its progress stage.
class stage_clock : public progress_tracker {
 public:
  bool refresh() override { return true; }
  void set_progress(double) override {}
  void set_step_end(double) override {}
  void begin_stage(const std::string& label) override {
    open_.push_back({label, std::chrono::steady_clock::now()});
  }
  void end_stage() override {
    if (open_.back().label == "Processing graph min cut")
      max_flow_seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - open_.back().start).count();
    open_.pop_back();
  }
  double max_flow_seconds = 0;

 private:
  struct open_stage {
    std::string label;
    std::chrono::steady_clock::time_point start;
  };
  std::vector<open_stage> open_;
};

void seam_map(benchmark::State& state) {
  int overlap = 0;
  for (auto _ : state) benchmark::DoNotOptimize(make_seam_map(&overlap));
  state.counters["nodes"] = overlap;
}

void cut_region(benchmark::State& state) {
  int overlap = 0;
  const dib_ptr map = make_seam_map(&overlap);
  stage_clock clock;
  for (auto _ : state) {
    state.PauseTiming();
    dib_ptr work(map->clone());
    state.ResumeTiming();
    benchmark::DoNotOptimize(cut_seam_region(work, &clock));
  }
  state.counters["nodes"] = overlap;
  state.counters["max_flow_ms"] = 1000.0 * clock.max_flow_seconds / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(seam_map)->Unit(benchmark::kMillisecond);
BENCHMARK(cut_region)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
