// Laplacian pyramid of one image: band-pass levels (fine minus expanded coarse, offset by 127 in
// bytes or 0.5 in floats) over a low-pass residual; built, collapsed back, or drawn as a debug montage.
#pragma once

#include <cstdint>
#include <vector>

#include "image/dib.h"

class progress_tracker;

class laplacian_pyramid {
 public:
  laplacian_pyramid() = default;
  // The byte path leaves image alone; the float path turns image itself into level 0.
  laplacian_pyramid(const dib_ptr& image, int32_t levels, progress_tracker* progress);

  // The image at the finest size; the pyramid is empty afterwards.
  dib_ptr collapse(progress_tracker* progress);

  int size() const { return static_cast<int>(levels_.size()); }
  const dib_ptr& operator[](int k) const { return levels_.at(k); }
  dib_ptr& level(int k) { return levels_.at(k); }

  // Levels as stored, their alpha views, and the reconstructions from the residual down; null when empty.
  dib_ptr montage() const;

 private:
  void build(const dib_ptr& image, int32_t levels, progress_tracker* progress);
  dib_ptr collapse_bytes(progress_tracker* progress);
  dib_ptr collapse_floats(progress_tracker* progress);

  std::vector<dib_ptr> levels_;
};
