// A rectangle of a larger image seen as an image of its own: the rows are the parent's
// rows shifted by the window's offset, so a canvas with room to grow can lend its used part.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/dib.h"

class dib_window : public dib {
 public:
  // The rectangle (left, top, width, height) must lie inside parent (invalid_argument
  // otherwise). A window of a window is made on the outermost parent.
  dib_window(const dib_ptr& parent, int32_t left, int32_t top, int32_t width, int32_t height);

  // Both give ordinary images of the window's model: the window is a view, not a kind.
  dib* create_blank(int32_t width, int32_t height) const override;
  dib* clone() const override;
  void destroy() override { delete this; }
  // The rows are not one block of their own.
  uint8_t* data() override { return nullptr; }
  uint8_t* lock_row(int32_t y) override { return parent_->lock_row(top_ + y) + left_bytes_; }
  void unlock_row(int32_t y) override { parent_->unlock_row(top_ + y); }
  int width() const override { return width_; }
  int height() const override { return height_; }
  int stride() const override { return parent_->stride(); }
  int bits_per_pixel() const override { return parent_->bits_per_pixel(); }
  dib_cursor* create_cursor() override;
  int channels() const override { return parent_->channels(); }
  color_model model() const override { return parent_->model(); }

  const dib_ptr& parent() const { return parent_; }
  int32_t left() const { return left_; }
  int32_t top() const { return top_; }

 private:
  dib_ptr parent_;
  int32_t left_, top_, width_, height_;
  size_t left_bytes_;
};
