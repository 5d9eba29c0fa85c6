#include "io/image_size_check.h"

#include <gtest/gtest.h>

#include "io_test_files.h"

using namespace io_test;

TEST(ImageSizeCheck, ImagesBeyondMemoryAndTemporarySpaceAreRefused) {
  const uint64_t far_too_much = uint64_t{1} << 62;
  EXPECT_EQ(error_of([&] { check_decoded_size(1, 1, 3, 100, 64, far_too_much, "big.tif"); }),
            "Image Load Error: Not enough memory or temporary space for an image of 1 x 1: big.tif");
  EXPECT_EQ(error_of([&] { check_decoded_size(100, 100, 30000, 468, 64, 40000, "x.tif"); }),
            "Image Load Error: Image size 100 x 100 is more than the file can hold: x.tif");
  EXPECT_EQ(error_of([&] { check_decoded_size(100, 100, 30000, 469, 64, 40000, "x.tif"); }), "");
}
