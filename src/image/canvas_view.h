// A rectangle of the canvas seen through an image placed on it: what the image does not
// cover reads as transparent zero, and a periodic image (a closed 360-degree wrap) repeats.
// It lets the saver write a cut or padded output without a second full-size copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "image/dib.h"
#include "image/irect.h"

// Output columns [out_x, out_x + width) show source columns [source_x, source_x + width).
struct column_run {
  int32_t out_x, source_x, width;
};

// The runs for a canvas row of `width` columns from canvas column `left`, over a source
// covering canvas columns [source_left, source_left + source_width). With period > 0 the
// source repeats every period columns (source_width is then at most period).
std::vector<column_run> canvas_column_runs(int64_t left, int32_t width, int64_t source_left, int32_t source_width,
                                           int32_t period);

// For reading only: rows that need padding or wrapping are assembled when locked, and
// what is written into them is lost.
class canvas_view : public dib {
 public:
  // canvas and source_rect are canvas coordinates; source_rect is the source's own place.
  canvas_view(const dib_ptr& source, const irect& source_rect, const irect& canvas, int32_t period);

  dib* create_blank(int32_t width, int32_t height) const override;
  dib* clone() const override;
  void destroy() override { delete this; }
  uint8_t* data() override { return nullptr; }
  uint8_t* lock_row(int32_t y) override;
  void unlock_row(int32_t y) override;
  int width() const override { return width_; }
  int height() const override { return height_; }
  int stride() const override { return static_cast<int>(row_bytes_); }
  int bits_per_pixel() const override { return source_->bits_per_pixel(); }
  dib_cursor* create_cursor() override;
  int channels() const override { return source_->channels(); }
  color_model model() const override { return source_->model(); }

  // True when no pixel of the view comes from the source.
  bool misses_source() const {
    return runs_.empty() || first_source_row_ >= source_->height() || first_source_row_ + height_ <= 0;
  }

 private:
  // The source row shown at row y, or -1 when y lies above or below it.
  int32_t source_row(int32_t y) const;
  bool passes_through() const;

  struct assembled_row {
    int32_t locks = 0;
    std::vector<uint8_t> bytes;
  };

  dib_ptr source_;
  int32_t width_, height_;
  int64_t first_source_row_;  // source row shown at row 0
  size_t row_bytes_;
  std::vector<column_run> runs_;
  std::map<int32_t, assembled_row> assembled_;
};

// The source itself when canvas is exactly its place and nothing repeats, else a view.
dib_ptr view_on_canvas(const dib_ptr& source, const irect& source_rect, const irect& canvas, int32_t period);
