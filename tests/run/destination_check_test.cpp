#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/run_binary.h"
#include "support/storage_override.h"

namespace {
const std::string samples = QM_SAMPLES;

// Two of the samples copied into the folder as a.jpg and b.jpg, placed side by side.
std::string copy_inputs(const scoped_temp_dir& dir) {
  std::filesystem::copy_file(samples + "/demo_1.jpg", dir.path() + "/a.jpg");
  std::filesystem::copy_file(samples + "/demo_2.jpg", dir.path() + "/b.jpg");
  return "a.jpg -xoff 560 b.jpg";
}

// A refusal made before the first merge prints no progress.
bool merged(const binary_run& run) { return run.output.find("Processing") != std::string::npos; }
}  // namespace

TEST(DestinationCheck, NamesOfOneFileAreRefusedBeforeAnythingIsWritten) {
  scoped_temp_dir dir;
  const std::string inputs = copy_inputs(dir);
  const std::string a = read_file(dir.path() + "/a.jpg"), b = read_file(dir.path() + "/b.jpg");
  ASSERT_EQ(symlink("a.jpg", (dir.path() + "/link.jpg").c_str()), 0);
  const struct {
    std::string words, message;
  } cases[] = {
      {"-o out.tif --save-seams ./out.tif",
       "--save-seams ./out.tif and -o out.tif name the same file: the label map would replace the output"},
      {"-o ./b.jpg", "-o ./b.jpg names the input b.jpg: writing the output would replace it"},
      {"-o link.jpg", "-o link.jpg names the input a.jpg: writing the output would replace it"},
      {"-o out.tif --save-seams ../" + dir.path().substr(dir.path().rfind('/') + 1) + "/out.tif",
       "name the same file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const binary_run run = run_quiltmerge(dir.path(), c.words + " " + inputs);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    EXPECT_FALSE(merged(run));
  }
  EXPECT_FALSE(file_exists(dir.path() + "/out.tif"));
  EXPECT_EQ(read_file(dir.path() + "/a.jpg"), a);
  EXPECT_EQ(read_file(dir.path() + "/b.jpg"), b);
}

TEST(DestinationCheck, UnwritableDestinationsFailBeforeTheMerge) {
  scoped_temp_dir dir;
  const std::string inputs = copy_inputs(dir);
  ASSERT_EQ(mkfifo((dir.path() + "/pipe.tif").c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/null", (dir.path() + "/null.png").c_str()), 0);
  const struct {
    std::string words, message;
  } cases[] = {
      {"-o missing/out.tif", "Can't write the output: missing/out.tif\nNo such file or directory\n"},
      {"-o out.tif --save-seams a.jpg/seams.png", "Can't write the seam label map: a.jpg/seams.png\nNot a directory\n"},
      {"-o pipe.tif", "Can't write the output: pipe.tif\nIt is a named pipe (FIFO); outputs are written as "
                      "regular files only\n"},
      {"-o out.tif --save-seams null.png", "Can't write the seam label map: null.png\nIt is a device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    const binary_run run = run_quiltmerge(dir.path(), c.words + " " + inputs);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    EXPECT_FALSE(merged(run));
  }
  EXPECT_FALSE(file_exists(dir.path() + "/out.tif"));
  struct stat info {};
  ASSERT_EQ(lstat((dir.path() + "/pipe.tif").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(lstat((dir.path() + "/null.png").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}
