// The image object: an abstract dib with one class per colour model, its intrusive
// handle dib_ptr, and the row lock that hot loops use instead of cursors.
#pragma once

#include <cstdint>

#include "image/color_model.h"

class dib_cursor;

class dib {
 public:
  virtual ~dib() = default;
  virtual dib* create_blank(int32_t width, int32_t height) const = 0;
  virtual dib* clone() const = 0;
  virtual void destroy() = 0;
  virtual uint8_t* data() = 0;
  virtual uint8_t* lock_row(int32_t y) = 0;
  virtual void unlock_row(int32_t y) = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual int stride() const = 0;
  virtual int bits_per_pixel() const = 0;
  virtual dib_cursor* create_cursor() = 0;
  virtual int channels() const = 0;
  virtual color_model model() const = 0;

  int32_t ref_count() const { return ref_count_; }

 private:
  friend class dib_ptr;
  int32_t ref_count_ = 0;
};

// Shares ownership through the dib's own count; the last handle calls destroy().
class dib_ptr {
 public:
  dib_ptr() = default;
  dib_ptr(dib* p) : p_(p) { acquire(); }  // NOLINT: factories hand out raw dibs
  dib_ptr(const dib_ptr& o) : p_(o.p_) { acquire(); }
  dib_ptr(dib_ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~dib_ptr() { release(); }

  dib_ptr& operator=(const dib_ptr& o) {
    if (o.p_ != p_) {
      dib* old = p_;
      p_ = o.p_;
      acquire();
      release_raw(old);
    }
    return *this;
  }
  dib_ptr& operator=(dib_ptr&& o) noexcept {
    if (this != &o) {
      dib* old = p_;
      p_ = o.p_;
      o.p_ = nullptr;
      release_raw(old);
    }
    return *this;
  }

  void reset() { *this = dib_ptr(); }
  dib* get() const { return p_; }
  dib* operator->() const { return p_; }
  dib& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator==(const dib_ptr& o) const { return p_ == o.p_; }

 private:
  void acquire() {
    if (p_) ++p_->ref_count_;
  }
  void release() { release_raw(p_); }
  static void release_raw(dib* p) {
    if (p && --p->ref_count_ == 0) p->destroy();
  }
  dib* p_ = nullptr;
};

// Holds one lock on a row for its lifetime.
class locked_row {
 public:
  locked_row(dib& image, int32_t y) : image_(image), y_(y), data_(image.lock_row(y)) {}
  ~locked_row() { image_.unlock_row(y_); }
  locked_row(const locked_row&) = delete;
  locked_row& operator=(const locked_row&) = delete;

  uint8_t* bytes() const { return data_; }
  template <class T>
  T* as() const {
    return reinterpret_cast<T*>(data_);
  }

 private:
  dib& image_;
  int32_t y_;
  uint8_t* data_;
};

// Factories: a new dib with reference count 0, owned by whoever wraps it first.
// create_dib gives bgr24 for 24 bits, bgra32 for 32 and null for anything else.
dib* create_dib(int32_t width, int32_t height, int32_t bits_per_pixel);
dib* create_float_dib(int32_t width, int32_t height);
