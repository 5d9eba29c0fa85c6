// Throughput of the pyramid and filter kernels on a 4000 x 3000 bgra32 picture, in megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "blend/laplacian_pyramid.h"
#include "blend/level_blend.h"
#include "blend/reduce_expand.h"
#include "blend/box_filter.h"
#include "bench_picture.h"
#include "image/dib.h"

namespace {

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
