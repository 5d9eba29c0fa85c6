#include "exposure/estimate_exposure.h"

#include <algorithm>
#include <future>
#include <utility>

#include "exposure/cell_comparison.h"
#include "exposure/cell_grid.h"
#include "exposure/exposure_solve.h"
#include "image/dib.h"
#include "io/load_image.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "progress/progress_tracker.h"

namespace {
struct reduced_input {
  input_size size;
  cell_grid cells;
  cell_grid wrapped;  // reduced one period to the right, when it meets an input there
};

bool overlap(int64_t ax, int64_t ay, input_size a, int64_t bx, int64_t by, input_size b) {
  return ax < bx + b.width && bx < ax + a.width && ay < by + b.height && by < ay + a.height;
}

bool overlap(const placed_cells& a, const placed_cells& b) {
  return overlap(a.x, a.y, {a.width, a.height}, b.x, b.y, {b.width, b.height});
}

// Reads the inputs last to first, each beside the reduction of the one before when it is a
// TIFF (DevIL is one global state and keeps to the calling thread).
class input_reader {
 public:
  explicit input_reader(const std::vector<exposure_input>& inputs) : inputs_(inputs) {}

  dib_ptr take(size_t i) {
    dib_ptr image = index_ == i && pending_.valid() ? pending_.get() : read(i);
    if (i > 0 && thread_count() > 1 && has_tiff_extension(inputs_[i - 1].file_name)) {
      index_ = i - 1;
      pending_ = std::async(std::launch::async, [this, i] { return read(i - 1); });
    }
    return image;
  }

 private:
  dib_ptr read(size_t i) const { return dib_ptr(load_input_image(inputs_[i].file_name, nullptr)); }

  const std::vector<exposure_input>& inputs_;
  size_t index_ = SIZE_MAX;
  std::future<dib_ptr> pending_;
};

uint64_t bytes_of(const dib& image) { return static_cast<uint64_t>(image.stride()) * image.height(); }

void check_same_size(const std::vector<exposure_input>& inputs, const std::vector<reduced_input>& reduced, size_t i,
                     size_t j) {
  const input_size a = reduced[i].size, b = reduced[j].size;
  if (a.width == b.width && a.height == b.height) return;
  throw vignetting_size_error("--vignetting needs inputs of one size: " + inputs[i].file_name + " is " +
                              std::to_string(a.width) + "x" + std::to_string(a.height) + ", " + inputs[j].file_name +
                              " is " + std::to_string(b.width) + "x" + std::to_string(b.height));
}
}  // namespace

exposure_estimate estimate_exposure(const std::vector<exposure_input>& inputs, const exposure_options& options,
                                    int32_t wrap_period, progress_tracker* progress, uint64_t keep_bytes) {
  stage_scope stage(progress, "Estimating exposure");
  const size_t n = inputs.size();
  std::vector<reduced_input> reduced(n);
  exposure_estimate estimate;
  estimate.loaded.resize(n);
  {
    profile_scope reading("exposure cells");
    input_reader reader(inputs);
    uint64_t kept = 0;
    size_t last_kept = n;  // the kept inputs are i .. last_kept - 1
    for (size_t i = n; i-- > 0;) {
      dib_ptr image = reader.take(i);
      reduced[i].size = {image->width(), image->height()};
      if (options.vignetting && i + 1 < n) check_same_size(inputs, reduced, i, n - 1);
      reduced[i].cells = reduce_to_cells(*image, inputs[i].x_offset, inputs[i].y_offset,
                                         cell_size_for(image->width(), image->height()));
      kept += bytes_of(*image);
      estimate.loaded[i] = std::move(image);
      while (kept > keep_bytes && last_kept > i) {
        --last_kept;
        kept -= bytes_of(*estimate.loaded[last_kept]);
        estimate.loaded[last_kept].reset();
      }
      stage.progress(85.0 * (n - i) / n);
    }
  }

  int64_t period = wrap_period;
  if (period < 0) {
    int64_t left = INT64_MAX, right = INT64_MIN;
    for (size_t i = 0; i < n; ++i) {
      left = std::min<int64_t>(left, inputs[i].x_offset);
      right = std::max<int64_t>(right, int64_t{inputs[i].x_offset} + reduced[i].size.width);
    }
    period = right - left;
  }
  // A period too small to close (below wrap closing's 8 columns) is only cut to: nothing is
  // blended across it.
  if (period < 8) period = 0;
  // An input one period on is compared only where it meets another: read again there, since
  // the period need not be a multiple of the cell size.
  if (period > 0)
    for (size_t j = 0; j < n; ++j) {
      bool meets = false;
      for (size_t i = 0; i < n && !meets; ++i)
        meets = overlap(inputs[i].x_offset, inputs[i].y_offset, reduced[i].size, inputs[j].x_offset + period,
                        inputs[j].y_offset, reduced[j].size);
      if (!meets) continue;
      dib_ptr image = estimate.loaded[j] ? estimate.loaded[j] : dib_ptr(load_input_image(inputs[j].file_name, nullptr));
      reduced[j].wrapped =
          reduce_to_cells(*image, inputs[j].x_offset + period, inputs[j].y_offset, reduced[j].cells.size);
    }
  stage.progress(90);

  auto placed = [&](size_t i, bool wrapped) {
    return placed_cells{wrapped ? &reduced[i].wrapped : &reduced[i].cells,
                        static_cast<int32_t>(i),
                        inputs[i].x_offset + (wrapped ? period : 0),
                        inputs[i].y_offset,
                        reduced[i].size.width,
                        reduced[i].size.height};
  };
  // Every pair that overlaps, the wrap's included, in a fixed order.
  std::vector<std::pair<placed_cells, placed_cells>> pairs;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) pairs.emplace_back(placed(i, false), placed(j, false));
  if (period > 0)
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j)
        if (reduced[j].wrapped.size > 0) pairs.emplace_back(placed(i, false), placed(j, true));
  std::erase_if(pairs, [](const auto& p) { return !overlap(p.first, p.second); });
  const int64_t per_pair =
      std::clamp<int64_t>(max_comparisons / std::max<int64_t>(1, static_cast<int64_t>(pairs.size())),
                          min_cells_per_pair, max_cells_per_pair);
  std::vector<cell_comparison> comparisons;
  for (const auto& [a, b] : pairs) compare_cells(a, b, per_pair, comparisons);
  stage.progress(93);

  profile_scope solving("exposure solve");
  std::vector<input_size> sizes;
  for (const reduced_input& r : reduced) sizes.push_back(r.size);
  estimate.correction = solve_exposure(comparisons, sizes, options);
  return estimate;
}
