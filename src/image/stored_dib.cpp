#include "image/stored_dib.h"

#include "image/dib_cursor.h"
#include "image/irect.h"
#include "image/region_copy.h"

stored_dib::stored_dib(int32_t width, int32_t height, int32_t bits_per_pixel)
    : storage_(create_storage(width, height, bits_per_pixel)), width_(width), height_(height) {}

dib* stored_dib::clone() const {
  dib* copy = create_blank(width_, height_);
  try {
    copy_dib(const_cast<stored_dib*>(this), copy, 0, 0, nullptr);
  } catch (...) {
    copy->destroy();
    throw;
  }
  return copy;
}

dib_cursor* dib_bgr24::create_cursor() { return new dib_cursor(this); }
dib_cursor* dib_bgra32::create_cursor() { return new dib_cursor_bgra32(this); }
dib_cursor* dib_float::create_cursor() { return new dib_cursor_float(this); }

dib* create_dib(int32_t width, int32_t height, int32_t bits_per_pixel) {
  if (bits_per_pixel == 24) return new dib_bgr24(width, height);
  if (bits_per_pixel == 32) return new dib_bgra32(width, height);
  return nullptr;
}

dib* create_float_dib(int32_t width, int32_t height) { return new dib_float(width, height); }

irect irect::of(const dib& image) { return irect{0, 0, image.width() - 1, image.height() - 1}; }
