// The exposure step before the first merge: every input is read once and reduced to cells,
// every pair of overlapping inputs compared on the cells both saw, and each input's
// correction solved for.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "exposure/exposure_correction.h"
#include "exposure/exposure_options.h"
#include "image/dib.h"

class progress_tracker;

struct exposure_input {
  std::string file_name;
  int32_t x_offset = 0;
  int32_t y_offset = 0;
};

// Thrown when --vignetting meets inputs of different sizes: a command line that cannot run.
class vignetting_size_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The correction, and the inputs the estimate read that it kept for the merges to take
// instead of reading them again (null where not kept).
struct exposure_estimate {
  exposure_correction correction;
  std::vector<dib_ptr> loaded;
};

// wrap_period > 0: the canvas closes every wrap_period columns, so inputs also overlap
// across that edge; < 0: it closes at the width of all inputs together; 0: no wrap.
// The inputs are read last to first, and the first ones are kept as loaded while they
// take at most keep_bytes together: the merges need them first.
exposure_estimate estimate_exposure(const std::vector<exposure_input>& inputs, const exposure_options& options,
                                    int32_t wrap_period, progress_tracker* progress, uint64_t keep_bytes = 0);

// Comparisons per pair of inputs at most: many more add time and no precision. Mosaics of
// thousands of tiles get fewer per pair, down to the minimum, to keep all of them (and the
// rows of the fit, about 140 bytes each) within the budget.
constexpr int64_t max_cells_per_pair = 2048;
constexpr int64_t min_cells_per_pair = 256;
constexpr int64_t max_comparisons = int64_t{1} << 19;
