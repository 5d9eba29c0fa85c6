// The dib that keeps its pixels in a storage backend, and its three colour-model classes.
#pragma once

#include <memory>

#include "image/dib.h"
#include "image/dib_storage.h"

class stored_dib : public dib {
 public:
  stored_dib(int32_t width, int32_t height, int32_t bits_per_pixel);
  dib* clone() const override;
  void destroy() override { delete this; }
  uint8_t* data() override { return storage_->data(); }
  uint8_t* lock_row(int32_t y) override { return storage_->lock_row(y); }
  void unlock_row(int32_t y) override { storage_->unlock_row(y); }
  int width() const override { return width_; }
  int height() const override { return height_; }
  int stride() const override { return storage_->stride(); }
  int bits_per_pixel() const override { return storage_->bits_per_pixel(); }

  // Which backend holds the pixels (for tests and diagnostics).
  const idib_storage& storage() const { return *storage_; }

 private:
  std::shared_ptr<idib_storage> storage_;
  int32_t width_;
  int32_t height_;
};

class dib_bgr24 : public stored_dib {
 public:
  dib_bgr24(int32_t width, int32_t height) : stored_dib(width, height, 24) {}
  dib* create_blank(int32_t width, int32_t height) const override { return new dib_bgr24(width, height); }
  dib_cursor* create_cursor() override;
  int channels() const override { return 3; }
  color_model model() const override { return bgr24; }
};

class dib_bgra32 : public stored_dib {
 public:
  dib_bgra32(int32_t width, int32_t height) : stored_dib(width, height, 32) {}
  dib* create_blank(int32_t width, int32_t height) const override { return new dib_bgra32(width, height); }
  dib_cursor* create_cursor() override;
  int channels() const override { return 4; }
  color_model model() const override { return bgra32; }
};

class dib_float : public stored_dib {
 public:
  dib_float(int32_t width, int32_t height) : stored_dib(width, height, 128) {}
  dib* create_blank(int32_t width, int32_t height) const override { return new dib_float(width, height); }
  dib_cursor* create_cursor() override;
  int channels() const override { return 4; }
  color_model model() const override { return bgra_float; }
};
