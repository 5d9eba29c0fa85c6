// The nested-stage arithmetic of progress reporting: maps percentages local to the
// innermost stage onto one overall percentage of the run. Shows nothing itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "progress/progress_tracker.h"

class stage_progress : public progress_tracker {
 public:
  stage_progress();

  bool refresh() override;
  void set_progress(double percent) override;
  void set_step_end(double percent) override;
  void begin_stage(const std::string& label) override;
  void end_stage() override;

  double position() const { return position_; }
  double step_start() const { return step_start_; }
  double step_end() const { return step_end_; }
  std::size_t depth() const { return stages_.size(); }

 private:
  struct stage {
    double start;
    double end;
    std::string label;  // kept for debugging, never shown
  };

  std::vector<stage> stages_;
  double position_ = 0.0;
  double step_end_ = 100.0;
  double step_start_ = 0.0;
};
