#include <gtest/gtest.h>

#include "image/dib.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io_test_files.h"
#include "platform/parallel.h"
#include "support/storage_override.h"

using namespace io_test;

// Rows of 512 KiB make every mapped window of a file-backed image 8 rows high, so the
// parallel row loops of the TIFF writer and reader cross windows all the time.
TEST(FileBackedTiff, ParallelRowLoopsKeepEveryPixel) {
  scoped_temp_dir temp;
  temp_folder dir;
  set_thread_count(4);
  dib_ptr original, back;
  {
    force_file_storage files;
    original = create_dib(131072, 96, 32);
    test_images::fill_random(original.get(), 3);
    tiff_save(dir.file("wide.tif"), original.get(), nullptr);
    back = load_image(dir.file("wide.tif"), nullptr);
  }
  set_thread_count(0);
  ASSERT_EQ(back->height(), 96);
  EXPECT_TRUE(test_images::pixel_bytes(back.get()) == test_images::pixel_bytes(original.get()));
}
