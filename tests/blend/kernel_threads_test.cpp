// The pyramid, blend and filter kernels give the same bytes and the same progress calls for every
// thread count, in memory and in temporary files, and their vector paths match the per-pixel
// references at every width around the vector widths.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "blend/box_filter.h"
#include "blend/kernel_reference.h"
#include "blend/laplacian_pyramid.h"
#include "blend/level_blend.h"
#include "blend/reduce_expand.h"
#include "platform/parallel.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "support/test_images.h"

namespace ref = kernel_reference;

namespace {

struct thread_count_guard {
  ~thread_count_guard() { set_thread_count(0); }
};

// Like a placed photograph: opaque inside an ellipse with a transparent hole, transparent around it,
// with a sprinkling of partial alphas and random colours everywhere.
ref::bytes photo_like(std::mt19937& rng, int w, int h) {
  ref::bytes p(w, h);
  const double cx = w * 0.5, cy = h * 0.5, rx = w * 0.48 + 1, ry = h * 0.48 + 1;
  const int hole_x = static_cast<int>(rng() % w), hole_y = static_cast<int>(rng() % h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = p.at(x, y);
      for (int c = 0; c < 3; ++c) q[c] = static_cast<uint8_t>(rng());
      const double dx = (x - cx) / rx, dy = (y - cy) / ry;
      const bool inside = dx * dx + dy * dy < 1.0 && (std::abs(x - hole_x) > 3 || std::abs(y - hole_y) > 2);
      q[3] = inside ? 255 : 0;
      if (rng() % 40 == 0) q[3] = static_cast<uint8_t>(rng());
    }
  return p;
}

ref::floats to_floats(std::mt19937& rng, const ref::bytes& b) {
  ref::floats p(b.w, b.h);
  for (int i = 0; i < b.w * b.h; ++i) {
    for (int c = 0; c < 3; ++c) p.px[4 * i + c] = static_cast<float>(rng() % 1001) / 1000.0f;
    p.px[4 * i + 3] = static_cast<float>(b.px[4 * i + 3]) / 255.0f;
  }
  return p;
}

// The pictures a run of kernels produced, and the progress calls it made.
struct kernel_run {
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<recorded_call> calls;
};

void expect_same_runs(const kernel_run& a, const kernel_run& b, const std::string& what) {
  ASSERT_EQ(a.pictures.size(), b.pictures.size()) << what;
  for (size_t i = 0; i < a.pictures.size(); ++i)
    EXPECT_TRUE(a.pictures[i] == b.pictures[i]) << what << " picture " << i;
  ASSERT_EQ(a.calls.size(), b.calls.size()) << what;
  for (size_t i = 0; i < a.calls.size(); ++i) {
    EXPECT_EQ(a.calls[i].what, b.calls[i].what) << what << " call " << i;
    EXPECT_EQ(a.calls[i].value, b.calls[i].value) << what << " call " << i;
    EXPECT_EQ(a.calls[i].label, b.calls[i].label) << what << " call " << i;
    EXPECT_EQ(a.calls[i].depth, b.calls[i].depth) << what << " call " << i;
  }
}

dib_ptr copy_of(const dib_ptr& image) { return dib_ptr(image->clone()); }

// Every kernel on pictures large enough to be split into several blocks of rows (one block holds
// about 32768 pixels), with odd sizes so that the vector loops have tails.
kernel_run run_byte_kernels(const ref::bytes& a, const ref::bytes& b, const ref::bytes& mask) {
  kernel_run run;
  recording_tracker t;
  auto keep = [&](const dib_ptr& image) { run.pictures.push_back(test_images::pixel_bytes(image.get())); };
  const dib_ptr pa = ref::make(a), pb = ref::make(b), pm = ref::make(mask);
  const dib_ptr coarse = reduce_dib(pa, &t);
  keep(coarse);
  const dib_ptr up = expand_dib(coarse, a.w, a.h, &t);
  keep(up);
  keep(expand_dib(coarse, a.w + 7, a.h - 1, &t));
  const dib_ptr band = subtract_expanded(copy_of(up), pa, &t);
  keep(band);
  keep(add_expanded(copy_of(up), band, &t));
  const dib_ptr level = copy_of(pa);
  blend_weighted(level, pb, pm, &t);
  keep(level);
  for (int radius : {1, 40}) {
    const dib_ptr low = copy_of(pb);
    low_pass_filter(pa, low, radius, &t);
    keep(low);
  }
  const dib_ptr high = copy_of(pb);
  high_pass_filter(pa, high, 7, 3, &t);
  keep(high);
  laplacian_pyramid pyramid(pa, 5, &t);
  keep(pyramid.collapse(&t));
  run.calls = t.calls;
  return run;
}

kernel_run run_float_kernels(const ref::floats& a, const ref::floats& b, const ref::bytes& mask) {
  kernel_run run;
  recording_tracker t;
  auto keep = [&](const dib_ptr& image) { run.pictures.push_back(test_images::pixel_bytes(image.get())); };
  const dib_ptr pa = ref::make(a), pb = ref::make(b), pm = ref::make(mask);
  const dib_ptr coarse = reduce_dib(pa, &t);
  keep(coarse);
  keep(expand_dib(coarse, a.w, a.h, &t));
  for (bool weighted : {false, true})
    for (expand_write mode : {expand_write::store, expand_write::subtract, expand_write::add}) {
      const dib_ptr target = copy_of(pb);
      expand_float_into(coarse, target, weighted, mode, &t);
      keep(target);
    }
  const dib_ptr band = subtract_expanded(copy_of(pb), pa, &t);
  keep(band);
  keep(add_expanded(copy_of(pb), band, &t));
  const dib_ptr level = copy_of(pa);
  blend_weighted(level, pb, pm, &t);
  keep(level);
  laplacian_pyramid pyramid(copy_of(pa), 5, &t);
  keep(pyramid.collapse(&t));
  run.calls = t.calls;
  return run;
}

}  // namespace

TEST(KernelThreads, SameBytesAndProgressForAnyThreadCountInMemoryAndInFiles) {
  thread_count_guard guard;
  std::mt19937 rng(71);
  const int w = 389, h = 517;
  const ref::bytes a = photo_like(rng, w, h), b = photo_like(rng, w, h), mask = ref::random_bytes(rng, w, h);
  const ref::floats fa = to_floats(rng, a), fb = to_floats(rng, b);

  set_thread_count(1);
  const kernel_run bytes_alone = run_byte_kernels(a, b, mask);
  const kernel_run floats_alone = run_float_kernels(fa, fb, mask);
  for (int threads : {2, 4}) {
    set_thread_count(threads);
    expect_same_runs(run_byte_kernels(a, b, mask), bytes_alone, "bytes, threads " + std::to_string(threads));
    expect_same_runs(run_float_kernels(fa, fb, mask), floats_alone,
                     "floats, threads " + std::to_string(threads));
  }

  // Every picture, the kernels' own included, in temporary files whose windows of rows are mapped and
  // released by several threads at once.
  scoped_temp_dir tmp;
  force_file_storage files;
  set_thread_count(4);
  expect_same_runs(run_byte_kernels(a, b, mask), bytes_alone, "bytes in files");
  expect_same_runs(run_float_kernels(fa, fb, mask), floats_alone, "floats in files");
}

TEST(KernelReference, VectorPathsMatchAtEveryWidthAroundTheVectorWidths) {
  std::mt19937 rng(72);
  for (int w = 1; w <= 41; ++w)
    for (int h : {1, 2, 5, 8}) {
      SCOPED_TRACE(::testing::Message() << w << "x" << h);
      for (int kind = 0; kind < 3; ++kind) {
        // Photograph-like (long opaque and transparent stretches), all opaque, and random alphas.
        ref::bytes src = kind == 2 ? ref::random_bytes(rng, w, h) : photo_like(rng, w, h);
        if (kind == 1)
          for (int i = 0; i < w * h; ++i) src.px[4 * i + 3] = 255;
        EXPECT_EQ(ref::read<uint8_t>(reduce_dib(ref::make(src), nullptr)).px, ref::reduce(src).px);
        for (int ow : {2 * w - 1, 2 * w})
          for (int oh : {2 * h - 1, 2 * h}) {
            if (ow < 1 || oh < 1) continue;
            EXPECT_EQ(ref::read<uint8_t>(expand_dib(ref::make(src), ow, oh, nullptr)).px,
                      ref::expand(src, ow, oh).px)
                << ow << "x" << oh;
          }
        const ref::bytes other = kind == 2 ? ref::random_bytes(rng, w, h) : photo_like(rng, w, h);
        EXPECT_EQ(ref::read<uint8_t>(subtract_expanded(ref::make(src), ref::make(other), nullptr)).px,
                  ref::combine(src, other, -1).px);
        EXPECT_EQ(ref::read<uint8_t>(add_expanded(ref::make(src), ref::make(other), nullptr)).px,
                  ref::combine(src, other, +1).px);
        ref::bytes level = src;
        const ref::bytes mask = ref::random_bytes(rng, w, h);
        const dib_ptr blended = ref::make(level);
        blend_weighted(blended, ref::make(other), ref::make(mask), nullptr);
        ref::blend(level, other, mask);
        EXPECT_EQ(ref::read<uint8_t>(blended).px, level.px);

        for (const auto& [radius, gain] : {std::pair{0, 1}, std::pair{1, 3}, std::pair{3, -2}}) {
          const ref::bytes colours = ref::random_bytes(rng, w, h, 3);
          for (const ref::bytes* picture : {static_cast<const ref::bytes*>(&src), &colours}) {
            const ref::bytes old = ref::random_bytes(rng, w, h, picture->ch);
            const dib_ptr low = ref::make(old), high = ref::make(old);
            low_pass_filter(ref::make(*picture), low, radius, nullptr);
            high_pass_filter(ref::make(*picture), high, radius, gain, nullptr);
            EXPECT_EQ(ref::read<uint8_t>(low).px, ref::box_filter(*picture, old, radius, false, 1).px)
                << radius;
            EXPECT_EQ(ref::read<uint8_t>(high).px, ref::box_filter(*picture, old, radius, true, gain).px)
                << radius;
          }
        }

        const ref::floats fs = to_floats(rng, src);
        const ref::floats reduced = ref::read<float>(reduce_dib(ref::make(fs), nullptr));
        EXPECT_EQ(
            std::memcmp(reduced.px.data(), ref::reduce(fs).px.data(), reduced.px.size() * sizeof(float)), 0);
        const ref::floats target = to_floats(rng, photo_like(rng, 2 * w - w % 2, 2 * h - h % 2));
        for (bool weighted : {false, true})
          for (auto mode : {ref::write_mode::store, ref::write_mode::subtract, ref::write_mode::add}) {
            ref::floats expected = target;
            ref::expand(fs, expected, weighted, mode);
            const dib_ptr out = ref::make(target);
            expand_float_into(ref::make(fs), out, weighted,
                              mode == ref::write_mode::store      ? expand_write::store
                              : mode == ref::write_mode::subtract ? expand_write::subtract
                                                                  : expand_write::add,
                              nullptr);
            const ref::floats got = ref::read<float>(out);
            EXPECT_EQ(std::memcmp(got.px.data(), expected.px.data(), got.px.size() * sizeof(float)), 0)
                << weighted << " " << static_cast<int>(mode);
          }
      }
    }
}

TEST(KernelReference, ByteBlendMatchesForEveryPairOfAlphas) {
  // Pixel (x, y) blends alpha x over alpha y, with random colours and mask shares, at four widths of
  // vectors per row.
  std::mt19937 rng(73);
  for (int round = 0; round < 4; ++round) {
    ref::bytes l1(256, 256), l2(256, 256), mask(256, 256);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        for (int c = 0; c < 4; ++c) {
          l1.at(x, y)[c] = static_cast<uint8_t>(rng());
          l2.at(x, y)[c] = static_cast<uint8_t>(rng());
          mask.at(x, y)[c] = static_cast<uint8_t>(rng());
        }
        l1.at(x, y)[3] = static_cast<uint8_t>(x);
        l2.at(x, y)[3] = static_cast<uint8_t>(y);
        if (round == 1)
          mask.at(x, y)[0] = 255, mask.at(x, y)[1] = static_cast<uint8_t>(rng() % 2);  // share 0
        if (round == 2)
          mask.at(x, y)[0] = static_cast<uint8_t>(rng() % 2), mask.at(x, y)[1] = 255;  // share 255
        if (round == 3)  // every pixel white on both sides: the largest numerators
          for (int c = 0; c < 3; ++c) l1.at(x, y)[c] = l2.at(x, y)[c] = 255;
      }
    const dib_ptr level = ref::make(l1);
    blend_weighted(level, ref::make(l2), ref::make(mask), nullptr);
    ref::blend(l1, l2, mask);
    EXPECT_EQ(ref::read<uint8_t>(level).px, l1.px) << "round " << round;
  }
}

TEST(KernelReference, OpaqueFastPathsMatchForEverySum) {
  // Reduce: one 2x2 block of opaque pixels per colour sum s = 0 .. 1020, split over the four pixels.
  ref::bytes blocks(2 * 1021, 2);
  for (int s = 0; s <= 1020; ++s)
    for (int k = 0; k < 4; ++k) {
      uint8_t* p = blocks.at(2 * s + k % 2, k / 2);
      const int share = std::clamp(s - 255 * k, 0, 255);
      p[0] = p[1] = p[2] = static_cast<uint8_t>(share);
      p[3] = 255;
    }
  EXPECT_EQ(ref::read<uint8_t>(reduce_dib(ref::make(blocks), nullptr)).px, ref::reduce(blocks).px);

  // Expand: columns 2s and 2s + 1 give the even output pixel of column 2s + 1 the sum
  // s = 3 u_(2s+1) + u_2s with u = 3 near + far, for every s = 0 .. 4080.
  ref::bytes rows(2 * 4081, 2);
  auto put = [&](int column, int u) {
    const int near = std::min(u / 3, 255), far = u - 3 * near;
    for (int c = 0; c < 3; ++c)
      rows.at(column, 0)[c] = static_cast<uint8_t>(near), rows.at(column, 1)[c] = static_cast<uint8_t>(far);
    rows.at(column, 0)[3] = rows.at(column, 1)[3] = 255;
  };
  for (int s = 0; s <= 4080; ++s) {
    const int centre = std::min(s / 3, 1020);
    put(2 * s, s - 3 * centre);
    put(2 * s + 1, centre);
  }
  EXPECT_EQ(ref::read<uint8_t>(expand_dib(ref::make(rows), 2 * rows.w, 4, nullptr)).px,
            ref::expand(rows, 2 * rows.w, 4).px);
}
