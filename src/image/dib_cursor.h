// Pixel cursor over one locked row, with the per-model conversions, and dib_view,
// the geometry snapshot that hands out cursors in owning handles.
#pragma once

#include <cstdint>
#include <memory>

#include "image/color_model.h"
#include "image/dib.h"
#include "image/irect.h"

// The base class converts as bgr24; the two subclasses override the conversions.
class dib_cursor {
 public:
  explicit dib_cursor(dib* image);
  virtual int next_pixel();
  virtual int prev_pixel();
  virtual void next_row();
  virtual void prev_row();
  virtual int skip_pixels(int32_t n);
  virtual void skip_rows(int32_t n);
  virtual void move_to(int32_t x, int32_t y);
  virtual void get_float(rgba_float& out);
  virtual void get_bytes(rgba8& out);
  virtual void set_float(const rgba_float& in);
  virtual void set_bytes(const rgba8& in);
  virtual void set_from(dib_cursor& other);
  virtual uint8_t* pixel();
  virtual void destroy();
  virtual ~dib_cursor();

  int32_t row() const { return row_; }
  int32_t x() const { return x_; }

  dib_cursor(const dib_cursor&) = delete;
  dib_cursor& operator=(const dib_cursor&) = delete;

 protected:
  void go_to_row(int32_t r);

  dib* image_;
  uint8_t* pixel_ = nullptr;
  int32_t bytes_per_pixel_;
  int32_t row_ = -1;
  int32_t x_ = 0;
};

class dib_cursor_bgra32 : public dib_cursor {
 public:
  using dib_cursor::dib_cursor;
  void get_float(rgba_float& out) override;
  void get_bytes(rgba8& out) override;
  void set_float(const rgba_float& in) override;
  void set_bytes(const rgba8& in) override;
  void set_from(dib_cursor& other) override;
  ~dib_cursor_bgra32() override = default;
};

class dib_cursor_float : public dib_cursor {
 public:
  using dib_cursor::dib_cursor;
  void get_float(rgba_float& out) override;
  void get_bytes(rgba8& out) override;
  void set_float(const rgba_float& in) override;
  void set_bytes(const rgba8& in) override;
  void set_from(dib_cursor& other) override;
  ~dib_cursor_float() override = default;
};

using cursor_handle = std::shared_ptr<dib_cursor>;

struct dib_view {
  explicit dib_view(dib* image);
  explicit dib_view(const dib_ptr& image) : dib_view(image.get()) {}

  cursor_handle cursor() const;

  dib* image;
  int32_t width;
  int32_t height;
  int32_t stride;
  int32_t bytes_per_pixel;
  irect bounds;
};

// A cursor in an owning handle, for code that has no view at hand.
cursor_handle make_cursor(dib* image);
