// One full merge of two 2000 x 1500 tiles cut from a photograph with 30 % overlap:
// seam search, graph cut and pyramid blend together.
#include <benchmark/benchmark.h>

#include <string>

#include "image/region_copy.h"
#include "io/load_image.h"
#include "merge/pairwise_merge.h"

namespace {
const char* photo_path = QM_PHOTO_DIR "/aitzgorri.jpg";

dib_ptr crop(const dib_ptr& photo, int left, int top, int w, int h) {
  dib_ptr tile(create_dib(w, h, 32));
  copy_dib(photo.get(), tile.get(), -left, -top, nullptr);
  return tile;
}

void full_merge(benchmark::State& state) {
  dib_ptr photo(load_image(photo_path, nullptr));
  const int w = 2000, h = 1500, step = 1400;  // 600 columns (30 %) in common
  dib_ptr left = crop(photo, 0, 100, w, h), right = crop(photo, step, 140, w, h);
  blend_options options;
  for (auto _ : state) {
    state.PauseTiming();
    dib_ptr acc(left->clone());
    irect rect{0, 0, w - 1, h - 1};
    state.ResumeTiming();
    dib_ptr result = pairwise_merge(acc, right, step, 40, rect, blend_context{options, nullptr, nullptr});
    benchmark::DoNotOptimize(result.get());
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(w) * h * 2 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
}  // namespace

BENCHMARK(full_merge)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
