// The exposure step's parts on one thread: reducing a 12 MP input to cells, reading a
// 3000 x 2400 TIFF (for scale: the estimate reads every input once more), applying a
// correction, and the fit for a 10 x 2 grid of such inputs and for 44 x 44 microscope fields.
#include <benchmark/benchmark.h>

#include <algorithm>
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

// Comparisons for inputs of w x h in a grid of columns x rows stepping by step_x, step_y,
// as many per pair as the estimate would make, with log ratios of a known gain per input.
std::vector<cell_comparison> grid_comparisons(int columns, int rows, int w, int h, int step_x, int step_y) {
  std::mt19937 rng(5);
  std::normal_distribution<float> noise(0.0f, 0.01f);
  std::vector<std::pair<int, int>> pairs;
  for (int i = 0; i < columns * rows; ++i)
    for (int j = i + 1; j < columns * rows; ++j)
      if (std::abs(j % columns - i % columns) <= 1 && std::abs(j / columns - i / columns) <= 1) pairs.push_back({i, j});
  const int64_t per_pair =
      std::clamp<int64_t>(max_comparisons / static_cast<int64_t>(pairs.size()), min_cells_per_pair, max_cells_per_pair);
  std::vector<cell_comparison> comparisons;
  for (const auto& [i, j] : pairs) {
    const int dx = (j % columns - i % columns) * step_x, dy = (j / columns - i / columns) * step_y;
    for (int64_t k = 0; k < per_pair; ++k) {
      cell_comparison c;
      c.first = i, c.second = j;
      c.first_x = std::max(0, dx) + static_cast<float>(rng() % (w - std::abs(dx)));
      c.first_y = std::max(0, dy) + static_cast<float>(rng() % (h - std::abs(dy)));
      c.second_x = c.first_x - dx, c.second_y = c.first_y - dy;
      for (float& l : c.log_ratio) l = 0.001f * static_cast<float>(i % 17 - j % 17) + noise(rng);
      comparisons.push_back(c);
    }
  }
  return comparisons;
}

// Arguments: 0 gain, 1 gain-grid with vignetting; 20 inputs as the 90 MP set or 44 x 44
// microscope fields of 2048 x 2048.
void fit(benchmark::State& state) {
  const bool large = state.range(1) != 0;
  const std::vector<cell_comparison> comparisons =
      large ? grid_comparisons(44, 44, 2048, 2048, 1843, 1843) : grid_comparisons(10, 2, 3000, 2400, 2160, 1728);
  std::vector<input_size> sizes(large ? 44 * 44 : 20, large ? input_size{2048, 2048} : input_size{3000, 2400});
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
BENCHMARK(fit)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
