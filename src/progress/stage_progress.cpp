#include "progress/stage_progress.h"

namespace {
// NaN fails both comparisons of a plain clamp; it is treated as 0 here.
double clamp_percent(double x) {
  if (!(x >= 0.0)) return 0.0;
  if (x > 100.0) return 100.0;
  return x;
}
}  // namespace

stage_progress::stage_progress() { stages_.push_back({0.0, 100.0, ""}); }

bool stage_progress::refresh() { return true; }

void stage_progress::set_progress(double percent) {
  double x = clamp_percent(percent);
  position_ = step_start_ + (step_end_ - step_start_) * x * 0.01;
  refresh();
}

void stage_progress::set_step_end(double percent) {
  double x = clamp_percent(percent);
  // With every stage closed (callers over-closing) the whole run is the frame.
  double s = stages_.empty() ? 0.0 : stages_.back().start;
  double e = stages_.empty() ? 100.0 : stages_.back().end;
  step_end_ = s + (e - s) * x * 0.01;
  step_start_ = position_ > step_end_ ? step_end_ : position_;
}

void stage_progress::begin_stage(const std::string& label) {
  stages_.push_back({position_, step_end_, label});
}

void stage_progress::end_stage() {
  if (!stages_.empty()) stages_.pop_back();
}
