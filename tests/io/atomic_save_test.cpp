#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <stdexcept>

#include "image/dib.h"
#include "io/atomic_output.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io/tiff_messages.h"
#include "io_test_files.h"

using namespace io_test;

namespace {
// A picture whose storage fails at one row, as a full disk or a lost mapping would.
class failing_dib : public dib {
 public:
  failing_dib(dib* inner, int32_t bad_row) : inner_(inner), bad_row_(bad_row) {}
  dib* create_blank(int32_t w, int32_t h) const override { return inner_->create_blank(w, h); }
  dib* clone() const override { return inner_->clone(); }
  void destroy() override { delete this; }
  uint8_t* data() override { return nullptr; }
  uint8_t* lock_row(int32_t y) override {
    if (y == bad_row_) throw std::runtime_error("row lost");
    return inner_->lock_row(y);
  }
  void unlock_row(int32_t y) override { inner_->unlock_row(y); }
  int width() const override { return inner_->width(); }
  int height() const override { return inner_->height(); }
  int stride() const override { return inner_->stride(); }
  int bits_per_pixel() const override { return inner_->bits_per_pixel(); }
  dib_cursor* create_cursor() override { return new dib_cursor_bgra32(this); }
  int channels() const override { return inner_->channels(); }
  color_model model() const override { return inner_->model(); }

 private:
  dib_ptr inner_;
  int32_t bad_row_;
};

bool has_temporary(const temp_folder& dir) {
  const auto names = dir.entries();
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& n) { return n.find("qm_tmp") != n.npos; });
}
}  // namespace

// Both ways of making the new file: unnamed where the file system allows, named otherwise.
class IoAtomicSaveBothWays : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { atomic_output::allow_unnamed_files(GetParam()); }
  void TearDown() override { atomic_output::allow_unnamed_files(true); }
};
INSTANTIATE_TEST_SUITE_P(Files, IoAtomicSaveBothWays, testing::Bool());

TEST_P(IoAtomicSaveBothWays, FailedSavesLeaveTheEarlierFileIntactAndNoTemporary) {
  temp_folder dir;
  dib_ptr broken(new failing_dib(create_dib(8, 8, 32), 5));
  for (const char* name : {"out.tif", "out.png"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.file(name);
    write_content(path, "earlier result");
    EXPECT_EQ(error_of([&] { save_image(path, broken.get(), nullptr); }), "row lost");
    EXPECT_EQ(file_content(path), "earlier result");
    EXPECT_FALSE(has_temporary(dir));
  }
  // DevIL knows no encoder for this extension: an error now, and the old file stays.
  dib_ptr fine(create_dib(4, 4, 32));
  const std::string unknown = dir.file("out.qqq");
  write_content(unknown, "earlier result");
  EXPECT_EQ(error_of([&] { save_image(unknown, fine.get(), nullptr); }),
            "DEVIL Error : invalid extension \n While saving image: " + unknown);
  EXPECT_EQ(file_content(unknown), "earlier result");
  EXPECT_FALSE(has_temporary(dir));
}

TEST_P(IoAtomicSaveBothWays, SuccessfulSavesReplaceTheTargetWithOrdinaryPermissions) {
  temp_folder dir;
  dib_ptr image(asymmetric_picture(8, 6));
  for (const char* name : {"out.tif", "out.png"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.file(name);
    write_content(path, "earlier result");
    save_image(path, image.get(), nullptr);
    dib_ptr back(load_image(path, nullptr));
    EXPECT_EQ(max_difference(back.get(), image.get()), 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  }
  EXPECT_FALSE(has_temporary(dir));
  EXPECT_EQ(dir.entries().size(), 2u);
}

TEST(IoAtomicSave, UnwritableFoldersFailExceptForDebugPngs) {
  temp_folder dir;
  dib_ptr image(create_dib(4, 4, 32));
  const std::string tif = dir.file("missing/out.tif"), png = dir.file("missing/out.png");
  EXPECT_EQ(error_of([&] { save_image(tif, image.get(), nullptr); }),
            tiff_read_error(tif) + "\nNo such file or directory");
  EXPECT_EQ(error_of([&] { save_image(png, image.get(), nullptr); }),
            "DEVIL Error : could not open file \n While saving image: " + png + "\nNo such file or directory");
  EXPECT_EQ(error_of([&] { save_debug_image(png, image.get()); }), "");
  EXPECT_EQ(error_of([&] { save_debug_image(dir.file("x.qqq"), image.get()); }), "");
  EXPECT_EQ(error_of([&] { save_debug_image(tif, image.get()); }),
            tiff_read_error(tif) + "\nNo such file or directory");
  EXPECT_TRUE(dir.entries().empty());

  save_debug_image(dir.file("dump.png"), image.get());
  dib_ptr back(load_image(dir.file("dump.png"), nullptr));
  EXPECT_EQ(back->width(), 4);
}

TEST(IoAtomicSave, AProcessKilledWhileWritingLeavesOnlyTheEarlierFile) {
  temp_folder dir;
  const std::string target = dir.file("out.tif");
  write_content(target, "earlier result");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    atomic_output output(target, "cannot write");
    const char partial[] = "half a picture";
    if (write(output.fd(), partial, sizeof partial) < 0) _exit(2);
    raise(SIGKILL);
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(file_content(target), "earlier result");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.tif"});
}

TEST_P(IoAtomicSaveBothWays, ALinkIsWrittenThroughAndAPipeIsRefused) {
  temp_folder dir;
  ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
  write_content(dir.file("real/target.tif"), "earlier result");
  ASSERT_EQ(symlink("real/target.tif", dir.file("link.tif").c_str()), 0);
  ASSERT_EQ(symlink("real/new.png", dir.file("dangling.png").c_str()), 0);
  dib_ptr image(asymmetric_picture(8, 6));
  for (const char* name : {"link.tif", "dangling.png"}) {
    SCOPED_TRACE(name);
    save_image(dir.file(name), image.get(), nullptr);
    struct stat info {};
    ASSERT_EQ(lstat(dir.file(name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    dib_ptr back(load_image(dir.file(name), nullptr));
    EXPECT_EQ(max_difference(back.get(), image.get()), 0);
  }
  EXPECT_EQ(dir.entries().size(), 3u);  // real/, the two links: no temporary beside them
  // A pipe is left a pipe (the run's destination check shows the message).
  ASSERT_EQ(mkfifo(dir.file("pipe.tif").c_str(), 0644), 0);
  EXPECT_THROW(save_image(dir.file("pipe.tif"), image.get(), nullptr), std::runtime_error);
  struct stat info {};
  ASSERT_EQ(lstat(dir.file("pipe.tif").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
