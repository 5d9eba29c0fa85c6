#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/run_binary.h"
#include "support/storage_override.h"

namespace {
const std::string samples = QM_SAMPLES;
const std::string sample_args = "'" + samples + "/demo_1.jpg' -xoff 560 -yoff 8 '" + samples +
                                "/demo_2.jpg' -xoff 1120 -yoff 3 '" + samples + "/demo_3.jpg'";

void write_text(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(text.c_str(), f);
  std::fclose(f);
}
}  // namespace

TEST(OutputFailures, EachSaysWhyAndKeepsTheEarlierOutput) {
  scoped_temp_dir dir;
  ASSERT_EQ(mkdir((dir.path() + "/folder.tif").c_str(), 0755), 0);
  binary_run run = run_quiltmerge(dir.path(), "-o folder.tif " + sample_args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Can't write the output: folder.tif\nIs a directory\n"), std::string::npos)
      << run.output;

  run = run_quiltmerge(dir.path(), "-o missing/out.png " + sample_args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Can't write the output: missing/out.png\nNo such file or directory\n"),
            std::string::npos)
      << run.output;

  // A full file system, as a file-size limit shows it (the signal ignored, so writes fail).
  write_text(dir.path() + "/out.tif", "earlier result");
  run = run_in_folder(dir.path(), "trap '' XFSZ; ulimit -f 64; '" QM_BINARY "' -o out.tif " + sample_args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("LibTiff Error : Can't read image: out.tif\nFile too large\n"), std::string::npos)
      << run.output;
  EXPECT_EQ(read_file(dir.path() + "/out.tif"), "earlier result");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder.tif", "out.tif"}));
}

TEST(OutputFailures, ReadOnlyFolderSaysPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into read-only folders";
  scoped_temp_dir dir;
  const std::string locked = dir.path() + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  binary_run run = run_quiltmerge(dir.path(), "-o locked/out.tif " + sample_args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Can't write the output: locked/out.tif\nPermission denied\n"), std::string::npos)
      << run.output;
}
