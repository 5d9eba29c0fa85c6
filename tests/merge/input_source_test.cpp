#include "merge/input_source.h"

#include <gtest/gtest.h>

#include "exposure/exposure_scene.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

TEST(InputSource, InputsKeptByTheEstimateAreTheFilesCorrected) {
  scoped_temp_dir dir;
  const std::vector<exposure_scene::shot> shots = exposure_scene::grid(3, 1, 160, 120);
  const std::vector<exposure_input> placed = exposure_scene::write(dir.path(), shots);
  input_list inputs;
  for (const exposure_input& p : placed) inputs.push_back({p.file_name, p.x_offset, p.y_offset});
  exposure_options options;
  options.mode = exposure_mode::gain;
  // Room for two of the three (each 160 x 120 x 4 bytes): the first two stay loaded.
  exposure_estimate estimate = estimate_exposure(placed, options, 0, nullptr, 2 * 160 * 120 * 4);
  ASSERT_TRUE(estimate.loaded[0] && estimate.loaded[1]);
  EXPECT_FALSE(estimate.loaded[2]);

  const input_source kept(inputs, &estimate.correction, std::move(estimate.loaded));
  const input_source read(inputs, &estimate.correction);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<uint8_t> expected = pixel_bytes(read.load(i, nullptr).get());
    EXPECT_EQ(pixel_bytes(kept.load(i, nullptr).get()), expected) << i;
    EXPECT_EQ(pixel_bytes(kept.load(i, nullptr).get()), expected) << i << ", read again";
  }
  EXPECT_NE(pixel_bytes(read.load(1, nullptr).get()), pixel_bytes(input_source(inputs).load(1, nullptr).get()));
}
