#include <gtest/gtest.h>

#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
const std::string samples = QM_SAMPLES;
const std::string sample_args = "'" + samples + "/demo_1.jpg' -xoff 560 -yoff 8 '" + samples +
                                "/demo_2.jpg' -xoff 1120 -yoff 3 '" + samples + "/demo_3.jpg'";
}  // namespace

TEST(EndToEnd, MergesTheSamplesIntoOnePanorama) {
  scoped_temp_dir dir;
  binary_run run = run_quiltmerge(dir.path(), sample_args);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find(" quiltmerge 1.2.4b started, please wait...\n"), std::string::npos);
  EXPECT_NE(run.output.find("\nTime spent: "), std::string::npos);
  dib_ptr out(load_image(dir.path() + "/blended.tif", nullptr));
  ASSERT_EQ(out->width(), 1920);
  ASSERT_EQ(out->height(), 608);
  EXPECT_EQ(get_pixel(out.get(), 0, 607).a, 0);     // below tile 1
  EXPECT_EQ(get_pixel(out.get(), 1919, 0).a, 0);    // above tile 3
  EXPECT_EQ(get_pixel(out.get(), 700, 300).a, 255);  // inside the first seam's overlap
  // No tile reaches this corner of row 0 above tile 2 at column 1000: tile 1 ends at 799, tile 3 starts at 1120.
  EXPECT_EQ(get_pixel(out.get(), 1000, 3).a, 0);
  EXPECT_EQ(get_pixel(out.get(), 1000, 8).a, 255);
}

TEST(EndToEnd, CommandLineStatuses) {
  scoped_temp_dir dir;
  binary_run none = run_quiltmerge(dir.path(), "");
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.output.find("usage: \n"), std::string::npos);
  EXPECT_EQ(none.output.find("Time spent"), std::string::npos);
  EXPECT_EQ(run_quiltmerge(dir.path(), "a.jpg").status, 2);
  binary_run missing = run_quiltmerge(dir.path(), "a.jpg b.jpg -xoff");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("Missing value for -xoff\n"), std::string::npos);
  binary_run bad = run_quiltmerge(dir.path(), "a.jpg -xoff 1O0 b.jpg");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.output.find("Invalid value for -xoff: \"1O0\""), std::string::npos);
  EXPECT_EQ(run_quiltmerge(dir.path(), "--help").status, 0);
  binary_run version = run_quiltmerge(dir.path(), "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "quiltmerge 1.2.4b\n");
  EXPECT_TRUE(dir.entries().empty());
}

TEST(EndToEnd, UnreadableInputFailsTheRunAndKeepsTheOldOutput) {
  scoped_temp_dir dir;
  const std::string old_output = "an earlier result";
  {
    std::FILE* f = std::fopen((dir.path() + "/blended.tif").c_str(), "wb");
    std::fputs(old_output.c_str(), f);
    std::fclose(f);
  }
  binary_run run = run_quiltmerge(dir.path(), "'" + samples + "/demo_1.jpg' -xoff 560 '" + samples +
                                                  "/demo_2.jpg' missing.jpg '" + samples + "/demo_3.jpg' -profile");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("While loading image: missing.jpg\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\nTime spent: "), std::string::npos);
  EXPECT_EQ(read_file(dir.path() + "/blended.tif"), old_output);
  EXPECT_FALSE(file_exists(dir.path() + "/profile.txt"));
  EXPECT_EQ(dir.entries().size(), 1u);  // no temporary or partial file
}

TEST(EndToEnd, ProfileIsWrittenAfterASuccessfulRun) {
  scoped_temp_dir dir;
  binary_run run = run_quiltmerge(dir.path(), "-o out.png -profile " + sample_args);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(file_exists(dir.path() + "/out.png"));
  const std::string report = read_file(dir.path() + "/profile.txt");
  EXPECT_EQ(report.rfind("All Profiled Time: ", 0), 0u) << report;
  EXPECT_NE(report.find("\n===CALLS==|=%All=|=%Exl=|%miliSec=|%mSecMax=| Name |\n"), std::string::npos);
  // Two merges: each step of each is one call of its record.
  for (const std::string name : {"seam search", "pyramid build", "level blend", "collapse"}) {
    const size_t at = report.find("| " + name + "\n");
    ASSERT_NE(at, std::string::npos) << name << "\n" << report;
    EXPECT_EQ(report.compare(report.rfind('\n', at) + 1, 13, "0000000002 | "), 0) << name << "\n" << report;
  }
}

// Hugin logs everything a blender prints: -q leaves the progress line out, and only it.
TEST(EndToEnd, QuietLeavesOutTheProgressLine) {
  scoped_temp_dir dir;
  const binary_run quiet = run_quiltmerge(dir.path(), "-q -o q.tif " + sample_args);
  ASSERT_EQ(quiet.status, 0) << quiet.output;
  EXPECT_EQ(quiet.output.find("Processing:"), std::string::npos);
  EXPECT_EQ(quiet.output.rfind(" quiltmerge 1.2.4b started, please wait...\n", 0), 0u);
  EXPECT_NE(quiet.output.find("\nTime spent: "), std::string::npos);
  const binary_run talkative = run_quiltmerge(dir.path(), "--verbose=2 -o t.tif " + sample_args);
  EXPECT_NE(talkative.output.find("Processing:"), std::string::npos);
  EXPECT_NE(talkative.output.find("Ignored, as they mean nothing here: --verbose\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.path() + "/q.tif"), read_file(dir.path() + "/t.tif"));
}
