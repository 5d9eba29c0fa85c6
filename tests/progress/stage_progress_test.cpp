#include "progress/stage_progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

// Records the position at every refresh, to see when set_progress calls it.
class refresh_spy : public stage_progress {
 public:
  bool refresh() override {
    seen.push_back(position());
    return true;
  }
  std::vector<double> seen;
};

TEST(StageProgress, StartsWithTheRootStageSpanningTheRun) {
  stage_progress p;
  EXPECT_EQ(p.depth(), 1u);
  EXPECT_EQ(p.position(), 0.0);
  EXPECT_EQ(p.step_start(), 0.0);
  EXPECT_EQ(p.step_end(), 100.0);
  p.set_progress(40);
  EXPECT_DOUBLE_EQ(p.position(), 40.0);
}

TEST(StageProgress, ClampsOutOfRangePercentages) {
  stage_progress p;
  p.set_step_end(50);
  p.set_progress(150);
  EXPECT_DOUBLE_EQ(p.position(), 50.0);
  p.set_progress(-5);
  EXPECT_DOUBLE_EQ(p.position(), 0.0);

  p.set_step_end(-5);
  EXPECT_EQ(p.step_end(), 0.0);
  p.set_step_end(250);
  EXPECT_EQ(p.step_end(), 100.0);

  p.set_progress(std::nan(""));
  EXPECT_EQ(p.position(), 0.0);
}

TEST(StageProgress, NestedStagesMapLocalPercentToOverallPercent) {
  stage_progress p;
  p.set_step_end(95);
  p.begin_stage("main");
  p.set_step_end(5);
  EXPECT_DOUBLE_EQ(p.step_end(), 4.75);
  p.begin_stage("load");
  EXPECT_EQ(p.depth(), 3u);
  p.set_progress(80);
  EXPECT_DOUBLE_EQ(p.position(), 3.8);

  // Inside the 0..4.75 stage a further half share ends at 2.375 overall.
  p.set_step_end(50);
  EXPECT_DOUBLE_EQ(p.step_start(), 2.375);
  EXPECT_DOUBLE_EQ(p.step_end(), 2.375);
}

TEST(StageProgress, StepStartsAtThePositionReached) {
  stage_progress p;
  p.set_progress(30);
  p.set_step_end(80);
  EXPECT_DOUBLE_EQ(p.step_start(), 30.0);
  EXPECT_DOUBLE_EQ(p.step_end(), 80.0);
  p.set_progress(50);
  EXPECT_DOUBLE_EQ(p.position(), 55.0);
}

TEST(StageProgress, StepEndBehindThePositionMovesThePositionBack) {
  stage_progress p;
  p.set_step_end(100);
  p.begin_stage("");
  p.set_progress(70);
  EXPECT_DOUBLE_EQ(p.position(), 70.0);
  p.set_step_end(50);
  EXPECT_DOUBLE_EQ(p.step_start(), 50.0);
  EXPECT_DOUBLE_EQ(p.step_end(), 50.0);
  p.set_progress(0);
  EXPECT_DOUBLE_EQ(p.position(), 50.0);
  p.set_progress(100);
  EXPECT_DOUBLE_EQ(p.position(), 50.0);
}

TEST(StageProgress, NewStageSpansFromPositionToPlannedStepEnd) {
  stage_progress p;
  p.set_progress(20);
  p.set_step_end(60);
  p.begin_stage("inner");
  p.set_step_end(50);  // half of the stage 20..60
  EXPECT_DOUBLE_EQ(p.step_end(), 40.0);
  p.set_progress(100);
  EXPECT_DOUBLE_EQ(p.position(), 40.0);
}

TEST(StageProgress, EndStageKeepsPositionAndStepButRestoresTheOuterFrame) {
  stage_progress p;
  p.set_step_end(95);
  p.begin_stage("");
  p.set_step_end(5);
  p.begin_stage("");
  p.set_progress(80);
  p.end_stage();
  EXPECT_EQ(p.depth(), 2u);
  EXPECT_DOUBLE_EQ(p.position(), 3.8);
  EXPECT_DOUBLE_EQ(p.step_end(), 4.75);
  EXPECT_DOUBLE_EQ(p.step_start(), 0.0);
  // Planning now works in the outer stage 0..95 again.
  p.set_step_end(10);
  EXPECT_DOUBLE_EQ(p.step_end(), 9.5);
  EXPECT_DOUBLE_EQ(p.step_start(), 3.8);
}

TEST(StageProgress, EndStageOnEmptyStackIsIgnored) {
  stage_progress p;
  p.set_progress(10);
  p.end_stage();
  p.end_stage();
  EXPECT_EQ(p.depth(), 0u);
  EXPECT_DOUBLE_EQ(p.position(), 10.0);
  // Without any stage the whole run is the frame.
  p.set_step_end(40);
  EXPECT_DOUBLE_EQ(p.step_end(), 40.0);
}

TEST(StageProgress, SetProgressRefreshesAfterMoving) {
  refresh_spy p;
  p.set_progress(25);
  p.set_progress(25);
  ASSERT_EQ(p.seen.size(), 2u);
  EXPECT_DOUBLE_EQ(p.seen[0], 25.0);
  p.set_step_end(50);
  p.begin_stage("");
  EXPECT_EQ(p.seen.size(), 2u);
}

TEST(StageProgress, StageScopeClosesTheStageOnException) {
  stage_progress p;
  try {
    stage_scope s(&p, "throws");
    EXPECT_EQ(p.depth(), 2u);
    throw std::runtime_error("x");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(p.depth(), 1u);
}

}  // namespace
