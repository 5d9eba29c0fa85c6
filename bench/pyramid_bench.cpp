// Throughput of the pyramid and filter kernels on a 4000 x 3000 bgra32 picture, in megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "blend/laplacian_pyramid.h"
#include "blend/level_blend.h"
#include "blend/reduce_expand.h"
#include "blend/box_filter.h"
#include "image/dib.h"

namespace {

constexpr int32_t picture_width = 4000, picture_height = 3000;

// Gradients with noise, opaque but for a transparent disc and a transparent band on the left.
dib_ptr make_picture(uint32_t seed) {
  dib_ptr image(create_dib(picture_width, picture_height, 32));
  uint32_t state = seed;
  for (int32_t y = 0; y < picture_height; ++y) {
    locked_row row(*image, y);
    uint8_t* p = row.bytes();
    for (int32_t x = 0; x < picture_width; ++x, p += 4) {
      state = state * 1664525u + 1013904223u;
      const uint32_t noise = state >> 27;
      p[0] = static_cast<uint8_t>((x / 16 + noise) & 255);
      p[1] = static_cast<uint8_t>((y / 12 + 2 * noise) & 255);
      p[2] = static_cast<uint8_t>(((x + y) / 28 + noise) & 255);
      const int64_t dx = x - 2600, dy = y - 1400;
      const bool hole = dx * dx + dy * dy < 500 * 500 || x < 150;
      p[3] = hole ? 0 : 255;
    }
  }
  return image;
}

const dib_ptr& picture() {
  static const dib_ptr image = make_picture(1);
  return image;
}

void count_pixels(benchmark::State& state, int64_t pixels) {
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(pixels) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void reduce(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(reduce_dib(picture(), nullptr));
  count_pixels(state, int64_t{picture_width} * picture_height);
}

void expand(benchmark::State& state) {
  const dib_ptr coarse = reduce_dib(picture(), nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(expand_dib(coarse, picture_width, picture_height, nullptr));
  count_pixels(state, int64_t{picture_width} * picture_height);
}

void pyramid_build_collapse(benchmark::State& state) {
  for (auto _ : state) {
    laplacian_pyramid pyramid(picture(), 6, nullptr);
    benchmark::DoNotOptimize(pyramid.collapse(nullptr));
  }
  count_pixels(state, int64_t{picture_width} * picture_height);
}

void low_pass(benchmark::State& state) {
  const dib_ptr out(picture()->clone());
  for (auto _ : state) low_pass_filter(picture(), out, static_cast<int32_t>(state.range(0)), nullptr);
  count_pixels(state, int64_t{picture_width} * picture_height);
}

void high_pass(benchmark::State& state) {
  const dib_ptr out(picture()->clone());
  for (auto _ : state) high_pass_filter(picture(), out, static_cast<int32_t>(state.range(0)), 1, nullptr);
  count_pixels(state, int64_t{picture_width} * picture_height);
}

void blend(benchmark::State& state) {
  const dib_ptr other = make_picture(2), mask = make_picture(3);
  const dib_ptr level(picture()->clone());
  for (auto _ : state) blend_weighted(level, other, mask, nullptr);
  count_pixels(state, int64_t{picture_width} * picture_height);
}

}  // namespace

BENCHMARK(reduce)->Unit(benchmark::kMillisecond);
BENCHMARK(expand)->Unit(benchmark::kMillisecond);
BENCHMARK(pyramid_build_collapse)->Unit(benchmark::kMillisecond);
BENCHMARK(low_pass)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(high_pass)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(blend)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
