#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "image/dib.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "platform/child_process.h"
#include "run/program.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

namespace {
#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized_build = true;
#else
constexpr bool sanitized_build = false;
#endif

std::string le16(uint32_t v) { return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string le32(uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }
std::string be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}; }

void write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// A small opaque picture of smooth gradients (which a merge with itself leaves as it is),
// saved under name; the extension picks the format.
void write_picture(const std::string& folder, const std::string& name, uint32_t seed) {
  dib_ptr image(create_dib(40, 30, 32));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      test_images::set_pixel(image.get(), x, y,
                             {static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 8),
                              static_cast<uint8_t>((x + y) * 3 + seed), 255});
  save_image(folder + "/" + name, image.get(), nullptr);
}

// Each file declares 60000 x 60000 pixels in less than 200 bytes.
std::vector<std::pair<std::string, std::string>> huge_headers(const std::string& small_jpeg) {
  const std::string tiff = std::string("II*\0", 4) + le32(8) + le16(6) + le16(256) + le16(4) + le32(1) + le32(60000) +
                           le16(257) + le16(4) + le32(1) + le32(60000) + le16(258) + le16(3) + le32(1) + le32(8) +
                           le16(262) + le16(3) + le32(1) + le32(1) + le16(273) + le16(4) + le32(1) + le32(100) +
                           le16(279) + le16(4) + le32(1) + le32(3600000000u) + le32(0) + std::string(64, '\0');
  const std::string bmp = "BM" + le32(118) + le32(0) + le32(54) + le32(40) + le32(60000) + le32(60000) + le16(1) +
                          le16(24) + le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0) +
                          std::string(64, '\x40');
  const std::string tga =
      std::string("\0\0\2", 3) + std::string(9, '\0') + le16(60000) + le16(60000) + "\x18\x20" + std::string(64, '@');
  std::string jpeg = small_jpeg;
  const size_t sof = jpeg.find("\xff\xc0");
  if (sof != std::string::npos) jpeg.replace(sof + 5, 4, be16(60000) + be16(60000));
  return {{"huge.tif", tiff},
          {"huge.ppm", "P6\n60000 60000\n255\n" + std::string(64, '@')},
          {"huge.bmp", bmp},
          {"huge.tga", tga},
          {"huge.jpg", jpeg}};
}
}  // namespace

TEST(HostileInput, HugeHeadersInTinyFilesAreRefused) {
  scoped_temp_dir dir;
  write_picture(dir.path(), "small.png", 1);
  write_picture(dir.path(), "small.jpg", 2);
  // The limit on address space shows any attempt to take the memory such a header promises.
  const std::string limit = sanitized_build ? "" : "ulimit -v 1048576; ";
  for (const auto& [name, bytes] : huge_headers(read_file(dir.path() + "/small.jpg"))) {
    write_bytes(dir.path() + "/" + name, bytes);
    const binary_run run = run_in_folder(dir.path(), limit + "'" QM_BINARY "' " + name + " small.png");
    EXPECT_EQ(run.status, 1) << name << run.output;
    EXPECT_NE(run.output.find(name + "\n"), std::string::npos) << run.output;
    EXPECT_FALSE(file_exists(dir.path() + "/blended.tif")) << name;
  }
}

TEST(HostileInput, InputGivenTwiceMergesIntoItself) {
  scoped_temp_dir dir;
  write_picture(dir.path(), "a.png", 3);
  const binary_run run = run_quiltmerge(dir.path(), "a.png a.png");
  ASSERT_EQ(run.status, 0) << run.output;
  dib_ptr input(load_image(dir.path() + "/a.png", nullptr));
  dib_ptr output(load_image(dir.path() + "/blended.tif", nullptr));
  EXPECT_TRUE(test_images::pixel_bytes(input.get()) == test_images::pixel_bytes(output.get()));
}

TEST(HostileInput, OffsetsAtTheInt32LimitsAreRefused) {
  scoped_temp_dir dir;
  write_picture(dir.path(), "a.tif", 4);
  for (const std::string offsets : {"-xoff 2147483647", "-xoff -2147483648", "-yoff 2147483647",
                                    "-yoff -2147483648", "-xoff 2147483600", "-xoff 2147483647 -yoff 2147483647"}) {
    const binary_run run = run_quiltmerge(dir.path(), "a.tif " + offsets + " a.tif");
    EXPECT_EQ(run.status, 1) << offsets << run.output;
    EXPECT_FALSE(file_exists(dir.path() + "/blended.tif")) << offsets;
  }
  // Within the limits, but a canvas of four terabytes: no folder here has room for it.
  const binary_run huge = run_quiltmerge(dir.path(), "a.tif -xoff 1000000 -yoff 1000000 a.tif");
  EXPECT_EQ(huge.status, 1) << huge.output;
  EXPECT_NE(huge.output.find("No space left on device"), std::string::npos) << huge.output;
  EXPECT_FALSE(file_exists(dir.path() + "/blended.tif"));
}

TEST(HostileInput, TenThousandInputsGiveOneResult) {
  if (sanitized_build) GTEST_SKIP() << "ten thousand merges take minutes under the sanitizers";
  scoped_temp_dir dir;
  write_picture(dir.path(), "a.tif", 5);
  std::string words;
  for (int i = 0; i < 10000; ++i) words += " a.tif";
  const binary_run run = run_quiltmerge(dir.path(), words);
  ASSERT_EQ(run.status, 0) << run.output.substr(0, 2000);
  dib_ptr input(load_image(dir.path() + "/a.tif", nullptr));
  dib_ptr output(load_image(dir.path() + "/blended.tif", nullptr));
  EXPECT_TRUE(test_images::pixel_bytes(input.get()) == test_images::pixel_bytes(output.get()));
}

namespace {
struct storage_failure_run {
  int status = -1;
  std::string output;
};

// Runs the program in a child whose images all go to temporary files in temp_folder, with
// writes limited to file_limit bytes (0: no limit), or with a tmpfs of tmpfs_size mounted
// over temp_folder in a mount namespace of its own (status 77 where that is not allowed).
// Status 10 more than the program's when a "QM_" file is left in temp_folder.
storage_failure_run run_with_file_storage(const std::string& work, const std::string& temp_folder,
                                          const std::vector<std::string>& words, uint64_t file_limit,
                                          const std::string& tmpfs_size = "") {
  const std::string log = work + "/log.txt";
  child_process child(
      [&](int) {
        if (!tmpfs_size.empty() &&
            (unshare(CLONE_NEWNS) != 0 || mount("", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
             mount("tmpfs", temp_folder.c_str(), "tmpfs", 0, ("size=" + tmpfs_size).c_str()) != 0))
          return 77;
        if (!std::freopen(log.c_str(), "w", stdout)) return 99;
        if (file_limit) {
          signal(SIGXFSZ, SIG_IGN);
          const rlimit limit{file_limit, file_limit};
          setrlimit(RLIMIT_FSIZE, &limit);
        }
        setenv("TMPDIR", temp_folder.c_str(), 1);
        if (chdir(work.c_str()) != 0) return 98;
        force_file_storage files;
        std::vector<const char*> argv{"quiltmerge"};
        for (const std::string& word : words) argv.push_back(word.c_str());
        const int status = run_program(static_cast<int>(argv.size()), argv.data());
        std::fflush(stdout);
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(temp_folder, ignored))
          if (entry.path().filename().string().rfind("QM_", 0) == 0) return status + 10;
        return status;
      },
      120000);
  const child_process::outcome end = child.finish();
  storage_failure_run run;
  run.status = end.how == child_process::ending::exited ? end.code : -1;
  run.output = read_file(log);
  return run;
}
}  // namespace

TEST(HostileInput, TemporaryStorageFullOrUnwritableFailsCleanly) {
  scoped_temp_dir work;
  write_picture(work.path(), "a.tif", 6);
  write_picture(work.path(), "b.tif", 7);
  scoped_temp_dir temp;
  const std::vector<std::string> small{"a.tif", "-xoff", "20", "b.tif"};

  storage_failure_run limited = run_with_file_storage(work.path(), temp.path(), small, 4096);
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.output.find("Failed SetEndOfFile : File too large"), std::string::npos) << limited.output;

  // A folder that fills up: the space must be found missing before a mapped page is written.
  const std::string samples = QM_SAMPLES;
  storage_failure_run full = run_with_file_storage(
      work.path(), temp.path(), {samples + "/demo_1.jpg", "-xoff", "560", samples + "/demo_2.jpg"}, 0, "256k");
  if (full.status != 77) {
    EXPECT_EQ(full.status, 1) << full.output;
    EXPECT_NE(full.output.find("Failed SetEndOfFile : No space left on device"), std::string::npos) << full.output;
  }

  const std::string not_a_folder = temp.path() + "/plain_file";
  write_bytes(not_a_folder, "x");
  storage_failure_run unwritable = run_with_file_storage(work.path(), not_a_folder, small, 0);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.output.find("Failed CreateFile : "), std::string::npos) << unwritable.output;
  EXPECT_EQ(temp.entries(), std::vector<std::string>{"plain_file"});

  EXPECT_FALSE(file_exists(work.path() + "/blended.tif"));
  storage_failure_run fine = run_with_file_storage(work.path(), temp.path(), small, 0);
  EXPECT_EQ(fine.status, 0) << fine.output;
  EXPECT_TRUE(file_exists(work.path() + "/blended.tif"));
}
