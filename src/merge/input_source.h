// Where the merge reads its inputs: each from its file and, when the run estimated an
// exposure correction, corrected as it is loaded, before anything else sees the pixels.
// The driver, its read-ahead and wrap closing all load through one source.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "exposure/exposure_correction.h"
#include "image/dib.h"
#include "merge/options.h"

class progress_tracker;

class input_source {
 public:
  // Both must outlive the source; a null or empty correction reads the files as they are.
  // loaded[i], where given, is input i as read already: the first load hands it over.
  explicit input_source(const input_list& inputs, const exposure_correction* correction = nullptr,
                        std::vector<dib_ptr> loaded = {})
      : inputs_(inputs),
        correction_(correction && !correction->empty() ? correction : nullptr),
        loaded_(std::move(loaded)) {
    loaded_.resize(inputs.size());
  }

  size_t size() const { return inputs_.size(); }
  const input_image_spec& operator[](size_t i) const { return inputs_[i]; }

  // Safe to call from a second thread while the first merges, for another input (no
  // progress given then).
  dib_ptr load(size_t i, progress_tracker* progress) const;

 private:
  const input_list& inputs_;
  const exposure_correction* correction_;
  mutable std::vector<dib_ptr> loaded_;
};
