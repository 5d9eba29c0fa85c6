// The exposure step's parts on one thread: reducing a 12 MP input to cells, reading a
// 3000 x 2400 TIFF (for scale: the estimate reads every input once more), applying a
// correction, and the fit for a 10 x 2 grid of such inputs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "bench_picture.h"
#include "exposure/cell_grid.h"
#include "exposure/estimate_exposure.h"
#include "exposure/exposure_correction.h"
#include "exposure/exposure_solve.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "platform/parallel.h"

namespace {
void reduce_cells(benchmark::State& state) {
  set_thread_count(1);
  dib_ptr picture = make_picture(1);
  for (auto _ : state) {
    cell_grid g = reduce_to_cells(*picture, 3, 5, 8);
    benchmark::DoNotOptimize(g.means.data());
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(picture_width * double{picture_height} / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void read_tiff(benchmark::State& state) {
  set_thread_count(1);
  const std::string name = "/tmp/qm_exposure_bench.tif";
  {
    dib_ptr tile(create_dib(3000, 2400, 32));
    dib_ptr picture = make_picture(2);
    for (int y = 0; y < 2400; ++y) {
      locked_row from(*picture, y), to(*tile, y);
      std::copy(from.bytes(), from.bytes() + 4 * 3000, to.bytes());
    }
    save_settings none;
    none.compression = tiff_compression::none;
    save_image(name, tile.get(), nullptr, none);
  }
  for (auto _ : state) {
    dib_ptr image(load_input_image(name, nullptr));
    benchmark::DoNotOptimize(image.get());
  }
  std::remove(name.c_str());
}

void apply(benchmark::State& state) {
  set_thread_count(1);
  dib_ptr picture = make_picture(3);
  input_correction c;
  const bool grid = state.range(0) != 0;
  c.grid = node_grid{grid ? 5 : 1, grid ? 5 : 1, picture_width, picture_height};
  for (int32_t n = 0; n < c.grid.nodes() * 3; ++n) c.log_gain.push_back(0.01 * (n % 7) - 0.03);
  const std::vector<double> falloff = grid ? std::vector<double>{-0.2, 0.01, -0.01} : std::vector<double>{};
  for (auto _ : state) apply_correction(*picture, c, falloff);
}

void fit(benchmark::State& state) {
  // 20 inputs of 3000 x 2400 in a 10 x 2 grid, 72 % steps, as many comparisons per pair as the estimate makes.
  std::mt19937 rng(5);
  std::normal_distribution<float> noise(0.0f, 0.01f);
  std::vector<input_size> sizes(20, input_size{3000, 2400});
  std::vector<cell_comparison> comparisons;
  for (int i = 0; i < 20; ++i)
    for (int j = i + 1; j < 20; ++j) {
      const int dx = (j % 10 - i % 10) * 2160, dy = (j / 10 - i / 10) * 1728;
      if (std::abs(dx) >= 3000 || std::abs(dy) >= 2400) continue;
      for (int k = 0; k < max_cells_per_pair; ++k) {
        cell_comparison c;
        c.first = i, c.second = j;
        c.first_x = std::max(0, dx) + static_cast<float>(rng() % (3000 - std::abs(dx)));
        c.first_y = std::max(0, dy) + static_cast<float>(rng() % (2400 - std::abs(dy)));
        c.second_x = c.first_x - dx, c.second_y = c.first_y - dy;
        for (float& l : c.log_ratio) l = 0.01f * (i - j) + noise(rng);
        comparisons.push_back(c);
      }
    }
  exposure_options options;
  options.mode = state.range(0) ? exposure_mode::gain_grid : exposure_mode::gain;
  options.vignetting = state.range(0) != 0;
  for (auto _ : state) benchmark::DoNotOptimize(solve_exposure(comparisons, sizes, options).inputs.data());
  state.counters["comparisons"] = static_cast<double>(comparisons.size());
}
}  // namespace

BENCHMARK(reduce_cells)->Unit(benchmark::kMillisecond);
BENCHMARK(read_tiff)->Unit(benchmark::kMillisecond);
BENCHMARK(apply)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(fit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
