#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>

#include "image/region_copy.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "merge/wrap_closing.h"
#include "merge/wrap_period.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
// A picture whose pixel (x, y) tells its column, written as a TIFF file.
std::string write_columns(const std::string& folder, const std::string& name, int w, int h, int first_column) {
  dib_ptr img(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(img.get(), x, y, rgba8{uint8_t(first_column + x), uint8_t(y), 9, 255});
  std::string path = folder + "/" + name;
  save_image(path, img.get(), nullptr);
  return path;
}

std::string error_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

struct piece_result {
  dib_ptr image;
  irect rect;
};

piece_result piece_for(const std::string& path, int x, int d, int acc_width) {
  piece_result r;
  const input_list inputs{{path, x, 0}};
  r.image = make_wrap_piece(input_source(inputs), 0, d, irect{0, 0, acc_width - 1, 3}, r.rect, nullptr);
  return r;
}
}  // namespace

TEST(WrapPiece, InputInsideThePeriodNeedsNoPiece) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 58, 4, 0);
  piece_result r = piece_for(path, 11, 80, 80);  // columns 11..68, margin e = 10
  EXPECT_TRUE(r.rect.empty());
  EXPECT_EQ(r.image->width(), 58);
}

TEST(WrapPiece, InputLeftOfColumnZeroIsBasedOnItsShiftedCopy) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 20, 4, 100);
  piece_result r = piece_for(path, -5, 80, 90);
  ASSERT_FALSE(r.rect.empty());
  EXPECT_EQ(r.rect, (irect{70, 0, 89, 3}));
  ASSERT_EQ(r.image->width(), 20);
  EXPECT_EQ(get_pixel(r.image.get(), 4, 0).a, 0);         // canvas 74: nothing there
  EXPECT_EQ(get_pixel(r.image.get(), 5, 2).r, 100);       // canvas 75 = input column 0 moved by d
  EXPECT_EQ(get_pixel(r.image.get(), 19, 2).r, 100 + 14);
}

TEST(WrapPiece, InputSpanningThePeriodTouchesAllBands) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 81, 4, 0);  // columns 0..80
  piece_result r = piece_for(path, 0, 80, 81);
  ASSERT_FALSE(r.rect.empty());
  // Shifted base: canvas 80..89 hold columns 0..9; then the input at its own place covers 70..80.
  EXPECT_EQ(get_pixel(r.image.get(), 0, 0).r, 70);
  EXPECT_EQ(get_pixel(r.image.get(), 10, 0).r, 80);
  EXPECT_EQ(get_pixel(r.image.get(), 11, 0).r, 1);
  EXPECT_EQ(get_pixel(r.image.get(), 19, 0).r, 9);
}

TEST(WrapPiece, InputWithinThePeriodReachingBothEndsIsBasedOnItself) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 70, 4, 0);  // columns 5..74
  piece_result r = piece_for(path, 5, 80, 80);
  ASSERT_FALSE(r.rect.empty());
  EXPECT_EQ(get_pixel(r.image.get(), 0, 0).r, 65);  // canvas 70 = input column 65
  EXPECT_EQ(get_pixel(r.image.get(), 4, 0).r, 69);
  EXPECT_EQ(get_pixel(r.image.get(), 5, 0).a, 0);   // canvas 75..84: nothing
  EXPECT_EQ(get_pixel(r.image.get(), 15, 0).r, 0);  // canvas 85 = input column 0 moved by d
}

TEST(WrapClosing, PeriodDefaultsToTheResultWidth) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 4000, 2, 0);
  dib_ptr result(load_image(path, nullptr));
  wrap_options wrap;
  wrap.WrapMode = 1;
  blend_options blend;
  irect acc{0, 0, 3999, 1};
  input_list inputs{{write_columns(dir.path(), "small.tif", 100, 2, 0), 1000, 0}};  // inside 501..3499: no piece
  dib_ptr closed = close_horizontal_wrap(input_source(inputs), wrap, acc, result, blend_context{blend});
  EXPECT_EQ(closed->width(), 4000);
  // No pixel is opaque in both the result and its copy one period on: only the cut.
  EXPECT_EQ(pixel_bytes(closed.get()), pixel_bytes(result.get()));
}

TEST(WrapClosing, TinyPeriodIsOnlyCut) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 12, 2, 0);
  dib_ptr result(load_image(path, nullptr));
  wrap_options wrap;
  wrap.HorWrap = 5;
  blend_options blend;
  irect acc{0, 0, 11, 1};
  testing::internal::CaptureStdout();
  const input_list inputs{{path, 0, 0}};
  dib_ptr closed = close_horizontal_wrap(input_source(inputs), wrap, acc, result, blend_context{blend});
  std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("too small to close"), std::string::npos);
  ASSERT_EQ(closed->width(), 5);
  EXPECT_EQ(get_pixel(closed.get(), 4, 1).r, 4);
}

TEST(WrapClosing, APeriodTheCanvasCannotHoldIsRefusedBeforeAnyPiece) {
  scoped_temp_dir dir;
  std::string path = write_columns(dir.path(), "in.tif", 12, 2, 0);
  dib_ptr result(load_image(path, nullptr));
  blend_options blend;
  const irect acc{0, 0, 11, 1};
  const input_list inputs{{path, 0, 0}};
  const std::string refused = "is more than the canvas can hold: ";
  for (const int32_t period : {2000000000, INT32_MAX}) {  // its margin alone passes 2^31
    wrap_options wrap;
    wrap.HorWrap = period;
    irect rect = acc;
    const std::string message =
        error_of([&] { close_horizontal_wrap(input_source(inputs), wrap, rect, result, blend_context{blend}); });
    EXPECT_EQ(message, "Wrap period of " + std::to_string(period) + " columns " + refused +
                           "the canvas would span more than 2^31 - 1 columns");
  }
  // A float canvas's row of the period and its margin outgrows an int32 stride first.
  EXPECT_NE(error_of([] { check_wrap_period(200000000, irect{0, 0, 11, 1}, 128); })
                .find(refused + "a row of 225000000 pixels of 128 bits does not fit one image row"),
            std::string::npos);
  // Rows that fit, but far more of them than any disk holds.
  EXPECT_NE(error_of([] { check_wrap_period(400000000, irect{0, 0, 11, 999999}, 32); })
                .find(refused + "its image of 400000000 x 1000000 pixels needs 1525878906 MiB, more than free"),
            std::string::npos);
  EXPECT_EQ(error_of([] { check_wrap_period(max_wrap_period, irect{0, 0, 11, 0}, 32); }), "");
}

// Tiles of a photo treated as a full circle: the last tile runs past the period into the first.
TEST(WrapClosing, PanoramaClosesWithoutASeamAtTheWrap) {
  scoped_temp_dir dir;
  dib_ptr photo(load_image(std::string(QM_SAMPLES) + "/demo_1.jpg", nullptr));
  const int d = photo->width(), h = photo->height();
  auto tile = [&](int first, int width, const std::string& name) {
    dib_ptr t(create_dib(width, h, 32));
    copy_dib(photo.get(), t.get(), -first, 0, nullptr);
    if (first + width > d) copy_dib(photo.get(), t.get(), d - first, 0, nullptr);  // wraps around
    save_image(dir.path() + "/" + name, t.get(), nullptr);
  };
  tile(1, 400, "a.png");
  tile(300, 400, "b.png");
  tile(600, 400, "c.png");
  binary_run run = run_quiltmerge(dir.path(), "-SeamVerbose -HorWrap " + std::to_string(d) +
                                                  " -xoff 1 a.png -xoff 300 b.png -xoff 600 c.png");
  ASSERT_EQ(run.status, 0) << run.output;
  dib_ptr out(load_image(dir.path() + "/blended.tif", nullptr));
  ASSERT_EQ(out->width(), d);
  // Two merges, one piece (tile c crosses the period's end), then the self-blend.
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(file_exists(dir.path() + "/000" + std::to_string(i) + "_Verb__DBG_01_BestSeamDIB_1.png")) << i;
  EXPECT_FALSE(file_exists(dir.path() + "/0004_Verb__DBG_01_BestSeamDIB_1.png"));

  // Output column c (counted from the result's own left edge, canvas column 1) shows photo column c + 1.
  auto mean_error = [&](int first, int last) {
    double sum = 0;
    int n = 0;
    for (int c = first; c <= last; ++c)
      for (int y = 0; y < h; y += 3) {
        rgba8 o = get_pixel(out.get(), (c + d) % d, y), p = get_pixel(photo.get(), (c + 1 + d) % d, y);
        EXPECT_EQ(o.a, 255);
        sum += std::abs(o.r - p.r) + std::abs(o.g - p.g) + std::abs(o.b - p.b);
        ++n;
      }
    return sum / (3.0 * n);
  };
  const double across_wrap = mean_error(d - 40, d + 39);
  const double interior = mean_error(300, 399);
  EXPECT_LT(across_wrap, 1.0);
  EXPECT_LT(interior, 1.0);
}
