// Wall time of every row-parallel pixel kernel on a 4000 x 3000 picture, for the thread count given
// as the benchmark argument (set_thread_count), bytes and floats.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "blend/blend_context.h"
#include "blend/blend_options.h"
#include "blend/box_filter.h"
#include "blend/laplacian_pyramid.h"
#include "blend/level_blend.h"
#include "blend/reduce_expand.h"
#include "bench_picture.h"
#include "image/dib.h"
#include "image/region_copy.h"
#include "platform/parallel.h"
#include "seam/seam_error.h"

namespace {

dib_ptr to_floats(const dib_ptr& bytes) {
  dib_ptr image(create_float_dib(bytes->width(), bytes->height()));
  copy_dib(bytes.get(), image.get(), 0, 0, nullptr);
  return image;
}

const dib_ptr& picture() {
  static const dib_ptr image = make_picture(1);
  return image;
}
const dib_ptr& other_picture() {
  static const dib_ptr image = make_picture(2);
  return image;
}
const dib_ptr& float_picture() {
  static const dib_ptr image = to_floats(picture());
  return image;
}

// Sets the thread count from the argument for the benchmark's lifetime.
struct threads_scope {
  explicit threads_scope(const benchmark::State& state) {
    set_thread_count(static_cast<int>(state.range(0)));
  }
  ~threads_scope() { set_thread_count(0); }
};

void count_pixels(benchmark::State& state) {
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(picture_width) * picture_height * state.iterations() / 1e6,
                         benchmark::Counter::kIsRate);
}

void reduce(benchmark::State& state) {
  threads_scope threads(state);
  for (auto _ : state) benchmark::DoNotOptimize(reduce_dib(picture(), nullptr));
  count_pixels(state);
}

void expand(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr coarse = reduce_dib(picture(), nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(expand_dib(coarse, picture_width, picture_height, nullptr));
  count_pixels(state);
}

void subtract(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr out(other_picture()->clone());
  for (auto _ : state) benchmark::DoNotOptimize(subtract_expanded(out, picture(), nullptr));
  count_pixels(state);
}

void pyramid(benchmark::State& state) {
  threads_scope threads(state);
  for (auto _ : state) {
    laplacian_pyramid p(picture(), 6, nullptr);
    benchmark::DoNotOptimize(p.collapse(nullptr));
  }
  count_pixels(state);
}

void blend(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr mask = make_picture(3);
  const dib_ptr level(picture()->clone());
  for (auto _ : state) blend_weighted(level, other_picture(), mask, nullptr);
  count_pixels(state);
}

void low_pass(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr out(picture()->clone());
  for (auto _ : state) low_pass_filter(picture(), out, static_cast<int32_t>(state.range(1)), nullptr);
  count_pixels(state);
}

void high_pass(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr out(picture()->clone());
  for (auto _ : state) high_pass_filter(picture(), out, static_cast<int32_t>(state.range(1)), 1, nullptr);
  count_pixels(state);
}

void copy_opaque_pixels(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr out(other_picture()->clone());
  for (auto _ : state) copy_opaque(picture().get(), out.get(), 0, 0, nullptr);
  count_pixels(state);
}

void seam_error(benchmark::State& state) {
  threads_scope threads(state);
  blend_options options;
  for (auto _ : state) {
    state.PauseTiming();
    dib_ptr a(picture()->clone()), b(other_picture()->clone());
    dib_ptr map(a->create_blank(picture_width, picture_height));
    state.ResumeTiming();
    benchmark::DoNotOptimize(compute_seam_error(a, b, map, blend_context{options, nullptr, nullptr}));
  }
  count_pixels(state);
}

void float_reduce(benchmark::State& state) {
  threads_scope threads(state);
  for (auto _ : state) benchmark::DoNotOptimize(reduce_dib(float_picture(), nullptr));
  count_pixels(state);
}

void float_expand(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr coarse = reduce_dib(float_picture(), nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(expand_dib(coarse, picture_width, picture_height, nullptr));
  count_pixels(state);
}

void float_pyramid(benchmark::State& state) {
  threads_scope threads(state);
  for (auto _ : state) {
    state.PauseTiming();
    dib_ptr image(float_picture()->clone());
    state.ResumeTiming();
    laplacian_pyramid p(image, 6, nullptr);
    benchmark::DoNotOptimize(p.collapse(nullptr));
  }
  count_pixels(state);
}

void float_blend(benchmark::State& state) {
  threads_scope threads(state);
  const dib_ptr other = to_floats(other_picture()), mask = make_picture(3);
  const dib_ptr level(float_picture()->clone());
  for (auto _ : state) blend_weighted(level, other, mask, nullptr);
  count_pixels(state);
}

}  // namespace

#define QM_THREADS(b) BENCHMARK(b)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond)
QM_THREADS(reduce);
QM_THREADS(expand);
QM_THREADS(subtract);
QM_THREADS(pyramid);
QM_THREADS(blend);
BENCHMARK(low_pass)->Args({1, 1})->Args({2, 1})->Args({1, 64})->Args({2, 64})->UseRealTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(high_pass)->Args({1, 1})->Args({2, 1})->UseRealTime()->Unit(benchmark::kMillisecond);
QM_THREADS(copy_opaque_pixels);
QM_THREADS(seam_error);
QM_THREADS(float_reduce);
QM_THREADS(float_expand);
QM_THREADS(float_pyramid);
QM_THREADS(float_blend);

BENCHMARK_MAIN();
