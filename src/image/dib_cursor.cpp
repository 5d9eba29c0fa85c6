#include "image/dib_cursor.h"

#include "platform/internal_error.h"

#include <cstring>

dib_cursor::dib_cursor(dib* image) : image_(image), bytes_per_pixel_(image->bits_per_pixel() / 8) {
  // A picture without rows has nothing to lock; the cursor starts before the first row.
  if (image_->height() > 0) go_to_row(0);
}

dib_cursor::~dib_cursor() {
  if (row_ >= 0) image_->unlock_row(row_);
}

void dib_cursor::destroy() { delete this; }

// The new row is locked before the old one is released, so a mapped window holding
// both is never given up in between.
void dib_cursor::go_to_row(int32_t r) {
  if (r >= 0) {
    pixel_ = image_->lock_row(r) + static_cast<ptrdiff_t>(x_) * bytes_per_pixel_;
  } else {
    pixel_ = nullptr;
  }
  if (row_ >= 0) image_->unlock_row(row_);
  row_ = r;
}

int dib_cursor::next_pixel() {
  ++x_;
  pixel_ += bytes_per_pixel_;
  return x_;
}

int dib_cursor::prev_pixel() {
  --x_;
  pixel_ -= bytes_per_pixel_;
  return x_;
}

void dib_cursor::next_row() { go_to_row(row_ + 1); }
void dib_cursor::prev_row() { go_to_row(row_ - 1); }

int dib_cursor::skip_pixels(int32_t n) {
  pixel_ += static_cast<ptrdiff_t>(n) * bytes_per_pixel_;
  return n * bytes_per_pixel_;
}

void dib_cursor::skip_rows(int32_t n) { go_to_row(row_ + n); }

void dib_cursor::move_to(int32_t x, int32_t y) {
  QM_ASSERT(y >= 0 && y < image_->height());
  x_ = x;
  go_to_row(y);
}

uint8_t* dib_cursor::pixel() { return pixel_; }

// bgr24 conversions.
void dib_cursor::get_float(rgba_float& out) {
  out.r = pixel_[2];
  out.g = pixel_[1];
  out.b = pixel_[0];
  out.a = 255.0f;
}

void dib_cursor::get_bytes(rgba8& out) {
  out.r = pixel_[2];
  out.g = pixel_[1];
  out.b = pixel_[0];
  out.a = 255;
}

void dib_cursor::set_float(const rgba_float& in) {
  pixel_[0] = to_byte(in.b);
  pixel_[1] = to_byte(in.g);
  pixel_[2] = to_byte(in.r);
}

void dib_cursor::set_bytes(const rgba8& in) {
  pixel_[0] = in.b;
  pixel_[1] = in.g;
  pixel_[2] = in.r;
}

void dib_cursor::set_from(dib_cursor& other) {
  rgba8 p;
  other.get_bytes(p);
  set_bytes(p);
}

// bgra32 conversions.
void dib_cursor_bgra32::get_float(rgba_float& out) {
  out.r = pixel_[2];
  out.g = pixel_[1];
  out.b = pixel_[0];
  out.a = pixel_[3];
}

void dib_cursor_bgra32::get_bytes(rgba8& out) {
  out.r = pixel_[2];
  out.g = pixel_[1];
  out.b = pixel_[0];
  out.a = pixel_[3];
}

void dib_cursor_bgra32::set_float(const rgba_float& in) {
  pixel_[0] = to_byte(in.b);
  pixel_[1] = to_byte(in.g);
  pixel_[2] = to_byte(in.r);
  pixel_[3] = to_byte(in.a);
}

void dib_cursor_bgra32::set_bytes(const rgba8& in) {
  pixel_[0] = in.b;
  pixel_[1] = in.g;
  pixel_[2] = in.r;
  pixel_[3] = in.a;
}

void dib_cursor_bgra32::set_from(dib_cursor& other) {
  rgba8 p;
  other.get_bytes(p);
  set_bytes(p);
}

// bgra_float conversions.
namespace {
float* floats(uint8_t* p) { return reinterpret_cast<float*>(p); }
}  // namespace

void dib_cursor_float::get_float(rgba_float& out) {
  const float* f = floats(pixel_);
  out.b = f[0];
  out.g = f[1];
  out.r = f[2];
  out.a = f[3];
}

void dib_cursor_float::get_bytes(rgba8& out) {
  const float* f = floats(pixel_);
  out.b = scaled_to_byte(f[0]);
  out.g = scaled_to_byte(f[1]);
  out.r = scaled_to_byte(f[2]);
  out.a = scaled_to_byte(f[3]);
}

void dib_cursor_float::set_float(const rgba_float& in) {
  float* f = floats(pixel_);
  f[0] = in.b;
  f[1] = in.g;
  f[2] = in.r;
  f[3] = in.a;
}

void dib_cursor_float::set_bytes(const rgba8& in) {
  float* f = floats(pixel_);
  f[0] = in.b * byte_to_unit;
  f[1] = in.g * byte_to_unit;
  f[2] = in.r * byte_to_unit;
  f[3] = in.a * byte_to_unit;
}

void dib_cursor_float::set_from(dib_cursor& other) {
  rgba_float p;
  other.get_float(p);
  set_float(p);
}

dib_view::dib_view(dib* img) : image(img) {
  QM_ASSERT(img);
  width = img->width();
  height = img->height();
  stride = img->stride();
  bytes_per_pixel = img->bits_per_pixel() / 8;
  bounds = irect{0, 0, width - 1, height - 1};
}

cursor_handle make_cursor(dib* image) {
  return cursor_handle(image->create_cursor(), [](dib_cursor* c) { c->destroy(); });
}

cursor_handle dib_view::cursor() const { return make_cursor(image); }
