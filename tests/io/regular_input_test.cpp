#include "io/regular_input.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "io/icc_profile_load.h"
#include "io/load_image.h"
#include "io/tiff_position_load.h"
#include "io_test_files.h"
#include "platform/child_process.h"
#include "support/run_binary.h"

using namespace io_test;

// A named pipe given as an input is refused before anything opens it: the colour-profile
// reader used to take its bytes, and the loader then waited for ever. Each run has a
// deadline, so that a reader that opens the pipe fails the test instead of hanging it.
TEST(RegularInput, NamedPipesAndDevicesAreRefusedUnread) {
  temp_folder dir;
  const std::string pipe = dir.file("photo.jpg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  child_process readers(
      [&](int) {
        const bool unread = icc_profile_load(pipe).empty() && !tiff_position_load(pipe);
        const std::string error = error_of([&] { dib_ptr image(load_image(pipe, nullptr)); });
        return unread && error == "Image Load Error: Not a regular file: " + pipe +
                                      "\nit is a named pipe; inputs are read more than once, so save it to a file first"
                   ? 0
                   : 1;
      },
      10000);
  const child_process::outcome end = readers.finish();
  EXPECT_EQ(end.how, child_process::ending::exited);
  EXPECT_EQ(end.code, 0);

  const binary_run run =
      run_in_folder(dir.file(""), "timeout 20 '" QM_BINARY "' --tiff-positions photo.jpg /dev/null");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Not a regular file: photo.jpg\nit is a named pipe"), std::string::npos) << run.output;
  EXPECT_EQ(error_of([] { dib_ptr image(load_image("/dev/null", nullptr)); })
                .rfind("Image Load Error: Not a regular file: /dev/null\nit is a device;", 0),
            0u);
  EXPECT_FALSE(file_exists(dir.file("blended.tif")));
}
