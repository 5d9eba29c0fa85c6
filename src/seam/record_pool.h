// Records handed out from zero-filled blocks of 1024, freed only all together, so
// that a graph of millions of pixels costs a few thousand allocations.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

template <class T>
class record_pool {
 public:
  static constexpr int32_t block_size = 1024;

  T* take() {
    if (blocks_.empty() || used_ == block_size) {
      blocks_.push_back(std::make_unique<T[]>(block_size));  // value-initialised: all zero
      used_ = 0;
    }
    return &blocks_.back()[used_++];
  }

  int64_t size() const {
    return blocks_.empty() ? 0 : static_cast<int64_t>(blocks_.size() - 1) * block_size + used_;
  }

  // Visits the records in the order they were taken.
  template <class F>
  void for_each(F&& f) {
    for (size_t k = 0; k < blocks_.size(); ++k) {
      const int32_t n = k + 1 == blocks_.size() ? used_ : block_size;
      for (int32_t i = 0; i < n; ++i) f(blocks_[k][i]);
    }
  }

 private:
  std::vector<std::unique_ptr<T[]>> blocks_;
  int32_t used_ = 0;
};
