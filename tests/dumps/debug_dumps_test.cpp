#include "dumps/debug_dumps.h"

#include <gtest/gtest.h>

TEST(DebugDumps, PrefixesCountInHexFromTheFirstMergeStep) {
  debug_dumps dumps(true, true);
  EXPECT_FALSE(dumps.seam_enabled());  // no picture before the first merge step
  EXPECT_FALSE(dumps.pyramid_enabled());
  dumps.next_prefix();
  EXPECT_EQ(dumps.file_name("DBG_06_SeamError", ".png"), "0000_Verb__DBG_06_SeamError.png");
  EXPECT_TRUE(dumps.seam_enabled());
  for (int i = 0; i < 10; ++i) dumps.next_prefix();
  EXPECT_EQ(dumps.prefix(), "000a_Verb_");

  debug_dumps pyramid_only(false, true);
  pyramid_only.next_prefix();
  EXPECT_FALSE(pyramid_only.seam_enabled());
  EXPECT_TRUE(pyramid_only.pyramid_enabled());
}
